#include "evaluation/CommentTable.h"
#include "evaluation/EssayRecord.h"

namespace tavi {

double EssayRecord::ScoreOrganization(const ScoringParams& params) {
    if (organizationScored) return organizationScore;
    ClearAxisComments(kOrganizationComments);
    organizationScore = 1.0;

    // Falling thresholds: three or more cue words are fine, one or two somewhat scarce, none scarce.
    int cueWordClass = ClassifyTwoThresholds(cueWordTotal, 2.0, 0.0);
    AddComment(kCueWordComment, cueWordClass);
    organizationScore = Deduct(organizationScore, cueWordClass, params.cueWordWeight);

    // Two or more demonstratives are fine, one somewhat scarce, none scarce.
    int demonstrativeClass = ClassifyTwoThresholds(demonstrativeTotal, 1.0, 0.0);
    AddComment(kDemonstrativeComment, demonstrativeClass);
    organizationScore = Deduct(organizationScore, demonstrativeClass, params.demonstrativeWeight);

    organizationScored = true;
    return organizationScore;
}

}  // namespace tavi
