#include "evaluation/EssayRecord.h"

#include <cmath>

#include "evaluation/CommentTable.h"

namespace tavi {
namespace {

// The axis whose comment slot holds comments of `index` (1 to 16).
EssayRecord::CommentAxis AxisOfComment(int index) {
    if (index <= kContinuativeComment) return EssayRecord::kRhetoricComments;
    if (index <= kCueWordComment) return EssayRecord::kOrganizationComments;
    if (index == kLengthComment) return EssayRecord::kLengthComments;
    return EssayRecord::kContentComments;
}

}  // namespace

int ClassifyTwoThresholds(double x, double first, double second) {
    if (std::isnan(x)) return 2;
    if (first < second) return x < first ? 0 : x < second ? 1 : 2;
    return x > first ? 0 : x > second ? 1 : 2;
}

int ClassifyLengthRatio(double x, double first, double second, double third) {
    if (std::isnan(x)) return 0;
    if (x < first) return 3;
    if (x < second) return 2;
    if (x < third) return 1;
    return 0;
}

int ClassifyBand(double x, double first, double second, double third, double fourth) {
    if (std::isnan(x)) return 4;
    if (x < first) return 1;
    if (x < second) return 2;
    if (x < third) return 0;
    if (x < fourth) return 3;
    return 4;
}

double EssayRecord::ComputeWeightedTotal(const ScoringParams& params) {
    weightedTotal = rhetoricScore * params.rhetoricWeight + organizationScore * params.organizationWeight +
                    contentScore * params.contentWeight;
    return weightedTotal;
}

double EssayRecord::ComputeLengthPenalty(const ScoringParams& params) {
    ClearAxisComments(kLengthComments);
    // expectedLength is in characters, textLength in bytes of full-width text (2 per character).
    // An expected length of 0 gives an infinite ratio (NaN for an empty answer): class 0.
    double ratio = textLength / (params.expectedLength * 2.0);
    int lengthClass = ClassifyLengthRatio(ratio, 0.1, 0.4, 0.75);
    AddComment(kLengthComment, lengthClass);
    double deduction = 0.0;
    if (lengthClass == 3) {
        deduction = weightedTotal;
    } else if (lengthClass != 0) {
        // Falls linearly from the whole total at ratio 0.1 to nothing at 0.75.
        deduction = weightedTotal * (1.0 - (ratio - 0.1) / 0.65);
    }
    lengthPenalty = -deduction;
    return lengthPenalty;
}

double EssayRecord::ComputeFinalScore() {
    finalScore = weightedTotal + lengthPenalty;
    return finalScore;
}

void EssayRecord::BeginEvidence(std::string text, const MorphemeTable& table) {
    auto started = std::make_shared<EssayEvidence>();
    started->positions = TextPositions(table, text);
    started->text = std::move(text);
    evidence = std::move(started);
}

std::shared_ptr<EssayEvidence> EssayRecord::EvidenceToAmend() {
    if (!evidence) return nullptr;
    if (evidence.use_count() == 1) return std::const_pointer_cast<EssayEvidence>(evidence);
    return std::make_shared<EssayEvidence>(*evidence);
}

void EssayRecord::AddComment(int index, double commentClass) {
    if (commentClass == 0.0) return;
    // Classes are whole numbers; anything that does not fit an int has no text.
    if (!(std::fabs(commentClass) < 1000.0)) return;
    const std::string* text = FindCommentText(index, static_cast<int>(std::trunc(commentClass)));
    if (text == nullptr || text->empty()) return;
    const auto axis = static_cast<CommentAxis>(AxisOfComment(index));
    const size_t end = AxisCommentsBegin(axis) + axisCommentBytes[axis];
    commentText.insert(end, *text + '\n');
    axisCommentBytes[axis] += static_cast<uint32_t>(text->size() + 1);
}

void EssayRecord::BeginCommentPass() {
    ClearAxisComments(kContentComments);
    ClearAxisComments(kLengthComments);
    // A score that is not kept is computed again in this pass and brings its own comments.
    if (!rhetoricScored) ClearAxisComments(kRhetoricComments);
    if (!organizationScored) ClearAxisComments(kOrganizationComments);
}

size_t EssayRecord::AxisCommentsBegin(CommentAxis axis) const {
    size_t begin = 0;
    for (int a = 0; a < axis; ++a) begin += axisCommentBytes[a];
    return begin;
}

std::string_view EssayRecord::AxisComments(CommentAxis axis) const {
    return std::string_view(commentText).substr(AxisCommentsBegin(axis), axisCommentBytes[axis]);
}

void EssayRecord::ClearAxisComments(CommentAxis axis) {
    commentText.erase(AxisCommentsBegin(axis), axisCommentBytes[axis]);
    axisCommentBytes[axis] = 0;
}

}  // namespace tavi
