#include <algorithm>
#include <utility>
#include <vector>

#include "evaluation/CommentTable.h"
#include "evaluation/EssayRecord.h"
#include "evaluation/RhetoricThresholds.h"

namespace tavi {
namespace {

// Class given to a feature that cannot be judged, and the comment class that says so.
constexpr int kUnjudgedClass = 2;
constexpr int kCannotJudge = -1;

bool Judged(const EssayRecord& record, RhetoricGate gate) {
    switch (gate) {
        case kPhraseGate:
            return record.phraseStatsCount >= kMinimumPhrases;
        case kSentenceGate:
            return record.sentenceStatsCount >= kMinimumPhrases;
        case kBunsetsuGate:
            return record.bunsetsuStatsCount >= kMinimumPhrases;
        case kKanjiGate:
            return record.kanaKanjiRatio != 0;
        default:
            return true;
    }
}

// The comment class of a judged feature: its class, or for the kanji share its band (1, 2 too
// many kanji; 3, 4 too few).
int Judge(const RhetoricFeature& feature, double x) {
    const double* t = feature.thresholds;
    return feature.band ? ClassifyBand(x, t[0], t[1], t[2], t[3]) : ClassifyTwoThresholds(x, t[0], t[1]);
}

}  // namespace

double EssayRecord::ScoreRhetoric(const ScoringParams& params) {
    if (rhetoricScored) return rhetoricScore;
    ClearAxisComments(kRhetoricComments);
    double score = 1.0;
    std::vector<std::pair<int, int>> comments;  // (index, class)
    for (const RhetoricFeature& feature : kRhetoricFeatures) {
        int commentClass = kCannotJudge;
        int deducted = kUnjudgedClass;
        if (Judged(*this, feature.gate)) {
            commentClass = Judge(feature, feature.Value(*this));
            // A band folds into a class: bands 1 and 4 are class 2, bands 2 and 3 class 1.
            deducted = !feature.band || commentClass == 0 ? commentClass
                       : commentClass > 2                 ? commentClass - 2
                                                          : 3 - commentClass;
        }
        comments.emplace_back(feature.comment, commentClass);
        score = Deduct(score, deducted, params.*feature.ratio);
    }
    // The cannot-judge comments of the sentence features put 12 before 11 (its neighbour in the table).
    auto attributive =
        std::find(comments.begin(), comments.end(), std::pair<int, int>(kAttributiveComment, kCannotJudge));
    if (attributive != comments.end()) std::iter_swap(attributive, attributive + 1);
    for (auto [index, commentClass] : comments) AddComment(index, commentClass);

    rhetoricScore = score;
    rhetoricScored = true;
    return rhetoricScore;
}

}  // namespace tavi
