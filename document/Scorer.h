#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/AnalyzerBinding.h"
#include "analysis/MorphemeTable.h"
#include "content/ContentModel.h"
#include "evaluation/EssayRecord.h"
#include "evaluation/ScoringParams.h"

namespace tavi {

// What preparing a question or loading a model reports: the content model's messages, in
// order, and the cause when it was refused (naming the file). Texts are Shift_JIS.
struct ScorerResult {
    std::vector<ContentModel::Message> messages;
    std::optional<std::string> error;
    bool questionPrepared = false;  // the question's content vector was built (again)
};

// How scoring one answer went.
struct ScoreOutcome {
    bool withQuestion = false;  // the answer was measured against a question
    bool stopped = false;       // ScoringHooks::measured ended it before the scores
    std::string readError;      // why the file could not be read whole ("path: cause", UTF-8); empty when it was
    std::vector<ContentModel::Message> messages;  // what the model had to say, oldest first
};

// What Score tells its caller while it works; either may be empty.
struct ScoringHooks {
    // The record has entered a stage: kStatusReading, kStatusAnalysing or kStatusScoring.
    std::function<void(EssayStatus)> stage;
    // The features are extracted and the similarity to the question measured (when there is
    // one), before the scores; `sofar` holds withQuestion and the model's messages. Returning
    // false ends the answer there, unscored with its features.
    std::function<bool(const EssayRecord& record, const ScoreOutcome& sofar)> measured;
};

// The axes that Rescore scores again.
struct RescoreAxes {
    bool rhetoric = false;
    bool organization = false;
    bool content = false;
};

// Scores answers: holds the analyser binding, the content model, the question's content vector
// with the nouns counted in it, the parameters and the morpheme table of the answer being
// scored (reused from one answer to the next). It shows nothing to anyone: every refusal and
// every message of the model comes back as a value.
//
// Threads: not thread-safe. Use a scorer from one thread at a time, and the scorers of one
// process one at a time: ChaSen's state is process-global and each binding serialises only its
// own analyses. The command-line workers and the server therefore score in processes.
class Scorer {
public:
    Scorer() = default;
    ~Scorer();
    Scorer(const Scorer&) = delete;
    Scorer& operator=(const Scorer&) = delete;

    // --- Analyser ---
    // Begins loading the analyser in the background (AnalyzerBinding::StartLoading), so that
    // the model can be loaded meanwhile; the next LoadAnalyzer or IsAnalyzerLoaded waits for it.
    void StartLoadingAnalyzer() { m_analyzer.StartLoading(); }
    // False when the library, its entries or a working configuration is missing (the binding
    // tries the configuration in a child process first, since ChaSen calls exit() on a broken one).
    bool LoadAnalyzer() { return m_analyzer.Load(); }
    bool IsAnalyzerLoaded() { return m_analyzer.IsLoaded(); }

    // --- Model and parameters ---
    // Loads the content model named by a settings file (Shift_JIS; a name without "/" is a
    // built-in model), makes it the parameters' modelPath, and prepares the question in use
    // again with it, read under the current paragraph mode. Refused when the model cannot be
    // used (the messages say why) or the question cannot be prepared again; a question that
    // is not prepared again keeps its previous vector.
    ScorerResult LoadModel(const std::string& settingsPath);
    // Whether the dictionary and the matrix of the model are both loaded.
    bool HasModel() const { return m_model.dictionaryLoaded && m_model.matrixLoaded; }
    // Takes every parameter but modelPath, which names the model loaded (LoadModel sets it).
    // Scores already made are not changed (see Rescore); the paragraph mode applies to the
    // texts read from now on.
    void SetParams(const ScoringParams& params);
    const ScoringParams& Params() const { return m_params; }

    // --- Question ---
    // Reads the question file (Shift_JIS path) under the paragraph mode, analyses it and
    // builds its content vector, which replaces the question in use. Refused, with the cause
    // naming the file, when it yields no text or the model cannot be used; the question in
    // use then stays.
    ScorerResult PrepareQuestion(const std::string& path);
    // The same from the bytes of a question file; `name` (Shift_JIS) is what causes call it.
    ScorerResult PrepareQuestionText(std::string bytes, const std::string& name);
    bool HasQuestion() const { return static_cast<bool>(m_questionVector); }
    // The path (or name) of the question in use; empty when there is none.
    const std::string& QuestionPath() const { return m_questionPath; }

    // Sets up the scorer as tavi-score sets up its document from its options: the model when
    // another one is named (or none is usable), then the parameters, then the question read
    // under them. An empty `questionPath` leaves no question; so does a refused one. The result
    // holds the messages of every step and the cause of a refusal.
    ScorerResult Configure(const std::string& questionPath, const ScoringParams& params);

    // --- Answers ---
    // Scores the answer file at `record.path` (Shift_JIS) into the record: reading (a file that
    // cannot be read is scored as the text read before the failure, often empty), analysis,
    // features, the similarity to the question, then the scores. Ends in kStatusScored with a
    // question, else in kStatusUnscored with the rhetoric and organization scores (none when
    // stopped). Features and kept scores of an earlier pass are not computed again. With
    // `withEvidence`, a record whose features are still to come keeps where they were found.
    ScoreOutcome Score(EssayRecord& record, bool withEvidence, const ScoringHooks& hooks = {});
    // The same for the bytes of an answer file (`record.path` is not read).
    ScoreOutcome ScoreText(EssayRecord& record, std::string_view bytes, bool withEvidence,
                           const ScoringHooks& hooks = {});

    // Scores the chosen axes of a record again from its stored features and similarity with
    // the current parameters, when only ratios or weights changed: rhetoric and organization
    // when their scores are kept, content when the record is scored; then the weighted total,
    // length penalty and final score of a scored record. Each axis replaces its comments.
    void Rescore(EssayRecord& record, RescoreAxes axes) const;

private:
    ScorerResult LoadModelOnly(const std::string& settingsPath);
    ScorerResult Prepare(std::string_view bytes, const std::string& readError, std::string name,
                         std::optional<std::string>& keptBytes);
    ScorerResult PrepareAgain();
    void DropQuestion();
    ScoreOutcome ScoreRead(EssayRecord& record, std::string_view bytes, bool withEvidence, const ScoringHooks& hooks);
    // The text of a file's bytes under the paragraph rule, analysed into `table`.
    std::string Analyse(std::string_view bytes, MorphemeTable& table, const std::function<void()>& afterReading = {});
    std::vector<ContentModel::Message> TakeMessages();

    AnalyzerBinding m_analyzer;
    ContentModel m_model;
    ScoringParams m_params;
    MorphemeTable m_workTable;  // the answer being scored
    DVector m_questionVector;
    std::vector<ContentNounHit> m_questionNouns;  // the content nouns counted in m_questionVector
    std::string m_questionPath;
    std::optional<std::string> m_questionBytes;  // the question's bytes when it was given as text
};

}  // namespace tavi
