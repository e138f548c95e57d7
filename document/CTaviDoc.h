#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "analysis/MorphemeTools.h"
#include "document/ListView.h"
#include "document/ParamArchive.h"
#include "document/Person.h"
#include "document/Scorer.h"
#include "evaluation/EssayRecord.h"
#include "evaluation/ScoringParams.h"

namespace tavi {

// What a command that changes the question or the model reports: the content model's messages,
// in order, and the cause when a change was refused (naming the file). Texts are Shift_JIS.
using DocResult = ScorerResult;

// Shows a result: each message as a plain box, then the cause as a warning.
void Report(Person& person, const DocResult& result);

// One scoring job: the question, the answers with their records, the parameters, the content
// model and the analyser, and the commands that change them. The scoring itself is the
// Scorer's; the document keeps the answers, shows their progress and asks its person.
//
// Threads: the user-interface thread runs every command; at most one scoring worker thread
// scores answers (ScoringThreadProc). Answers are scored one at a time; the records are copied
// out of the array while an answer is scored and written back under the document's lock, so
// adding answers during a run is safe. The settings commands apply their changes between two
// answers (waiting for the answer in progress), so every answer is scored with one consistent
// set of parameters, question and model. The scorer is changed only under the document's
// lock and only between answers; the answer in progress reads it without the lock.
class CTaviDoc {
public:
    // Loads the default content model and the analyser (showing "libchasen.dllのロードに失敗しました。"
    // through `person` when the analyser cannot be loaded). `person` must outlive the document.
    explicit CTaviDoc(Person& person);
    ~CTaviDoc();
    CTaviDoc(const CTaviDoc&) = delete;
    CTaviDoc& operator=(const CTaviDoc&) = delete;

    // The view registers itself; null detaches it.
    void SetListView(ListView* view) { m_pListView = view; }
    // Whether answers scored from now on keep the evidence of their features (EssayRecord::
    // evidence); off by default, since it costs memory and time that only reports need.
    void SetKeepEvidence(bool keep) { m_bKeepEvidence = keep; }
    bool KeepsEvidence() const { return m_bKeepEvidence; }

    // --- Answers (user-interface thread) ---
    void OnAddAnswers();
    // Handler of "スプレッドシートから回答文を取り込む...": each chosen file is imported as a sheet.
    void OnImportSheet();
    // Adds files and folders (native paths) as "回答文ファイル追加..." does: a folder gives
    // its answer files (AnswerFilesOf), a sheet (or, with `asSheets`, every file) is imported
    // with the columns the person chooses and gives the files written. The refusals, and the
    // files that cannot be read, are shown in one warning of each kind afterwards; then the view
    // is updated.
    void AddAnswerFiles(const std::vector<std::string>& nativePaths, bool asSheets = false);
    // Adds the answer file at a Shift_JIS path; false when it is already listed or the
    // 65,535 management numbers are used up.
    bool AddAnswer(const std::string& path);
    bool RemoveAnswer(int index);
    int GetAnswerCount() const;
    bool ContainsPath(const std::string& path) const;
    // The text shown for an answer's comments, Shift_JIS.
    std::string GetCommentText(int index) const;
    // A copy of an answer's record (empty record for an index out of range).
    EssayRecord GetAnswer(int index) const;
    // An answer's file title and full path, Shift_JIS; empty for an index out of range. Cheap
    // enough for the list to ask each time it paints a cell.
    std::string GetAnswerTitle(int index) const;
    std::string GetAnswerPath(int index) const;

    // --- Pipeline ---
    // Scores one answer (any thread; one answer at a time).
    void ScoreEssay(int index);
    // Reads and analyses the question file and builds its content vector; refused when the file
    // yields no text or the model is not usable (the previous vector stays).
    DocResult PrepareQuestion();
    void RescoreRhetoric();
    void RescoreOrganization();
    void RescoreContent();

    // --- Runs ---
    void OnScoreStart();
    void OnScoreStop();
    static unsigned ScoringThreadProc(CTaviDoc* doc);
    bool IsUnscored(int index) const;
    void ScoreIfUnscored(int index);
    // Scores the given answers in order on the calling (user-interface) thread, as the list's
    // "score selected" command does.
    void ScoreSelected(const std::vector<int>& answerIndexes);
    // Opens an answer's file in the text editor ($TAVI_EDITOR, else xdg-open).
    void OpenInEditor(int index);
    // Waits until the worker thread has ended (tests, shutdown).
    void WaitForRun();
    // Takes over the record of an unscored answer that another process scored from the same
    // file, question and parameters, and shows its cells. False when the answer at `index`
    // is not unscored or has another management number.
    bool AdoptScoredRecord(int index, const EssayRecord& record);

    // Command states: true when the command is enabled.
    bool OnUpdateScoreStart() const;
    bool OnUpdateScoreStop() const;
    bool OnUpdateScoreSelected() const;
    bool OnUpdateDeleteSelected() const;
    bool OnUpdateSaveResults() const;

    // --- Export and stored form ---
    void OnSaveResults();
    // Writes the results file (ResultsFileBytes) to a native path, through a temporary file
    // renamed into place. False, with `error` as "path: cause", when it cannot be written.
    bool WriteResultsFile(const std::string& nativePath, std::string& error);
    // The results file of the answers in the list's display order (in index order without a
    // list); see FormatResultsFile.
    std::string ResultsFileBytes();
    // Stores or loads the document (question path, parameters, answers with their features).
    void Serialize(ParamArchive& archive);
    // Saves the stored form to a native path, atomically. False with `error` ("path: cause") on failure.
    bool SaveParameterFile(const std::string& nativePath, std::string& error);
    // Loads a stored form; refuses a truncated or corrupt file with `error` ("path: cause") and
    // changes nothing.
    // Answers come back unscored, keeping their management numbers.
    bool LoadParameterFile(const std::string& nativePath, std::string& error);

    // --- Settings ---
    // Each change waits for the answer in progress. Called on the thread that is scoring an
    // answer, it is made after that answer and its result shown through the person; the
    // returned result is then empty.
    //
    // Sets the question file (Shift_JIS; the current path keeps the question) and the expected
    // length, axis weights and paragraph mode of `values`. A question that cannot be prepared
    // is refused and the previous one stays; the other values are taken either way.
    DocResult ApplyQuestionSettings(const std::string& questionPath, const ScoringParams& values);
    // Sets the fourteen ratios, the model choice and the model path of `values`, scoring again
    // what they change; a new path loads the model and prepares the question with it.
    DocResult ApplyParamDetail(const ScoringParams& values);
    // The two settings dialogs: ask the person, apply, show the result.
    void OnQuestionSettings();
    void OnParamDetail();

    // Read access for the views and the command-line scorer.
    ScoringParams GetParams() const;
    std::string GetQuestionPath() const;
    bool HasQuestionVector() const;
    bool IsAnalyzerLoaded() { return m_scorer.IsAnalyzerLoaded(); }
    // The scorer with the question, model and parameters of the document, for the command-line
    // scorer's worker processes: forked from this process, each scores with its own copy of it.
    // Not for use in this process, where the document's scoring uses it.
    Scorer& ScorerForWorkers() { return m_scorer; }
    bool IsRunning() const { return m_bRunning; }
    int GetUnscoredCount() const;

private:
    friend struct DocAccess;  // tests

    // Answer bookkeeping: settings wait for the answer in progress.
    void BeginAnswer();
    void EndAnswer();
    // Runs `apply` between two answers and returns its result: at once when none is in
    // progress, after the answer in progress on another thread (processing events meanwhile),
    // or at the end of the answer when the calling thread is itself scoring one.
    DocResult ApplyBetweenAnswers(const std::function<DocResult()>& apply);

    DocResult ChangeQuestionSettings(const std::string& questionPath, const ScoringParams& values);
    DocResult ChangeParamDetail(const ScoringParams& values);
    // Weighted total, length penalty and final score of every scored answer again, shown.
    void RecomputeTotals();
    void RecomputeScoredAnswers(bool content);
    void RescoreKeptScores(RescoreAxes axes, bool EssayRecord::*scored, double EssayRecord::*score,
                           void (ListView::*show)(int, double));
    // Loads the content model and prepares the question with it. The result holds the messages
    // of both; a question refused is left out, since the model's messages say why.
    DocResult LoadModel(const std::string& path);
    bool AddRecord(EssayRecord record);
    struct AddingReport;
    void AddAnswerFile(const std::string& nativePath, AddingReport& report);
    void AddSheet(const std::string& nativePath, AddingReport& report);
    void NotifyScores(int index, const EssayRecord& r, bool withContent);
    // The steps of ScoreEssay, on the answer's copy `r`.
    EssayRecord* StoredRecord(int index, uint16_t id);
    void SetStatus(int index, const EssayRecord& r, EssayStatus status);
    bool ContinueScoring(int index, const EssayRecord& r, const ScoreOutcome& sofar);
    void StoreAnswer(int index, const EssayRecord& r);
    ListView* View() const { return m_pListView; }

    Scorer m_scorer;  // analyser, content model, question vector, parameters and work table
    ListView* m_pListView = nullptr;
    std::vector<EssayRecord> m_answers;
    uint16_t m_lastNumber = 0;
    std::atomic<bool> m_bStopRequested = false;
    std::atomic<bool> m_bRunning = false;
    std::atomic<bool> m_bNoQuestionAccepted = false;
    std::atomic<bool> m_bKeepEvidence = false;
    int32_t m_nUnscored = 0;
    bool m_bResultsSaved = false;
    std::string m_strQuestionPath;
    Person& m_person;
    mutable std::mutex m_mutex;  // answers, counters, parameters, question and model
    std::condition_variable m_idle;
    bool m_answerInProgress = false;
    std::thread::id m_answerThread;
    int m_settingsPending = 0;
    std::thread::id m_settingsThread;
    std::vector<std::function<DocResult()>> m_deferred;
    std::thread m_worker;
    std::unordered_set<std::string> m_pathIndex;  // paths of m_answers, for ContainsPath
};

// The stored form of a question path, parameters and answers with their features, as
// CTaviDoc::Serialize writes it.
void StoreParameters(ParamArchive& archive, const std::string& questionPath, const ScoringParams& params,
                     const std::vector<EssayRecord>& answers);
// Reads that form; false when the archive fails (its Error says why) or bytes follow it.
bool LoadParameters(ParamArchive& archive, std::string& questionPath, ScoringParams& params,
                    std::vector<EssayRecord>& answers);

}  // namespace tavi
