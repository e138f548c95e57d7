#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/MorphemeTable.h"
#include "content/Numeric.h"
#include "evaluation/EssayEvidence.h"
#include "evaluation/ScoringParams.h"

namespace tavi {

class ContentModel;
struct ContentNounHit;

// Scoring progress of one answer.
enum EssayStatus : int32_t {
    kStatusUnscored = 0,   // 未採点
    kStatusReading = 1,    // 読み込み中
    kStatusAnalysing = 2,  // 形態素解析中
    kStatusScoring = 3,    // 採点中
    kStatusScored = 4,     // 済
};

// Everything known about one answer: its file, progress, features, scores and comments.
// Lengths are bytes of Shift_JIS text. Every operation is a pure function of the record,
// its arguments and constant tables, so records may be scored on any thread (one thread
// per record at a time).
struct EssayRecord {
    uint16_t id = 0;  // management number, unique within the document
    EssayStatus status = kStatusUnscored;
    std::string path;   // full path of the answer file (Shift_JIS)
    std::string title;  // the file's display title (Shift_JIS)
    double sentenceLengthMedian = 0;
    double sentenceLengthMax = 0;
    int32_t sentenceStatsCount = 0;  // the number of phrases
    double phraseLengthMedian = 0;
    double phraseLengthMax = 0;
    int32_t phraseStatsCount = 0;
    double bunsetsuPerPhraseMedian = 0;
    double bunsetsuPerPhraseMax = 0;
    int32_t bunsetsuStatsCount = 0;
    double vocabularyDiversity = 0;  // Yule's K of the kanji nouns
    double kanaKanjiRatio = 0;       // kana bytes / kanji bytes
    double longReadingKanji = 0;     // equals longReadingShare9
    double longReadingShare9 = 0;
    double longReadingShare11 = 0;
    double passiveRate = 0;            // passives per phrase
    double attributiveSentences = 0;   // sentences with more than 5 noun-modifying predicates
    double continuativeSentences = 0;  // sentences with more than 7 continuative forms and conjunctive particles
    bool rhetoricFeaturesDone = false;
    double rhetoricScore = 0;
    bool rhetoricScored = false;
    double cueWordTotal = 0;
    double demonstrativeTotal = 0;
    bool organizationFeaturesDone = false;
    double organizationScore = 0;
    bool organizationScored = false;
    double contentSimilarity = 0;  // in [0, 1]
    double contentScore = 0;
    double weightedTotal = 0;
    double textLength = 0;     // bytes, symbols not counted
    double lengthPenalty = 0;  // zero or negative
    double finalScore = 0;
    std::string commentText;  // Shift_JIS lines, each ended by "\n"
    // Where the features were found; null unless BeginEvidence asked for it. Shared between
    // copies and never changed in place while shared: a pass that adds to it takes a copy
    // (EvidenceToAmend). Always made as a non-const object.
    std::shared_ptr<const EssayEvidence> evidence;

    EssayRecord() = default;
    EssayRecord(std::string path_, std::string title_) : path(std::move(path_)), title(std::move(title_)) {}

    // Rhetoric features of the answer's table; runs once per record (rhetoricFeaturesDone).
    void ExtractRhetoricFeatures(const MorphemeTable& table);
    // Cue-word and demonstrative totals; runs once per record (organizationFeaturesDone).
    void ExtractOrganizationFeatures(const MorphemeTable& table);
    // Measures contentSimilarity against the question's content vector when the model is usable.
    // With evidence, records the dictionary's content nouns shared with `questionNouns` (the
    // question's, as BuildContentVector found them) and those of the question that are missing.
    void ComputeContentSimilarity(const MorphemeTable& table, const DVector& questionVector, ContentModel& model,
                                  const std::vector<ContentNounHit>* questionNouns = nullptr);

    // Asks the extractions that still have to run, and the content similarity, to record where
    // they find what they measure. `text` is the answer as read (Shift_JIS) and `table` its
    // analysis, whose rows are placed in the text once here.
    void BeginEvidence(std::string text, const MorphemeTable& table);

    // Axis scores; each adds its comments. The rhetoric and organization scores are kept
    // (rhetoricScored, organizationScored) and returned unchanged while kept.
    double ScoreRhetoric(const ScoringParams& params);
    double ScoreOrganization(const ScoringParams& params);
    double ScoreContent();

    double ComputeWeightedTotal(const ScoringParams& params);
    double ComputeLengthPenalty(const ScoringParams& params);
    double ComputeFinalScore();

    // Appends the comment text of (index, class) and a line feed; class 0 adds nothing.
    void AddComment(int index, double commentClass);

    // Starts the comment text of a new scoring pass: drops the content and length comments,
    // keeps those of the kept rhetoric and organization scores.
    void BeginCommentPass();

    // Comments per axis. commentText holds the comments of the axes one after the other in
    // this order, the order in which a fresh scoring adds them (rhetoric, organization,
    // content, length); each axis's share is kept as its byte count, not as a second copy.
    enum CommentAxis { kRhetoricComments, kOrganizationComments, kContentComments, kLengthComments, kAxisCount };
    std::string_view AxisComments(CommentAxis axis) const;
    uint32_t axisCommentBytes[kAxisCount] = {};

private:
    // The evidence for a pass to add to: taken over when this record alone holds it (as while
    // its answer is scored), else a copy, so that copies of the record keep theirs.
    std::shared_ptr<EssayEvidence> EvidenceToAmend();
    size_t AxisCommentsBegin(CommentAxis axis) const;
    void ClearAxisComments(CommentAxis axis);
};

// Class of x against two thresholds; the good side (class 0) follows their order. A value
// that is not a number is class 2.
int ClassifyTwoThresholds(double x, double first, double second);
// Class 3, 2, 1 or 0 of a length ratio against ascending thresholds; NaN is class 0.
int ClassifyLengthRatio(double x, double first, double second, double third);
// Band 1, 2, 0, 3 or 4 of x against ascending thresholds, the middle band good; NaN is band 4.
int ClassifyBand(double x, double first, double second, double third, double fourth);
// score - class * weight / 2.
inline double Deduct(double score, double commentClass, double weight) { return score - commentClass * weight / 2.0; }

}  // namespace tavi
