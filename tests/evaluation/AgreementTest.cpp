#include <gtest/gtest.h>

#include <cmath>

#include "evaluation/Agreement.h"

namespace tavi {
namespace {

// Worked by hand: points 0,1,2,2 against 0,2,2,1 on a scale of 2. Disagreement weighted by the
// squared distance is 1 + 1 = 2; chance gives (1 + 8 + 1 + 2 + 8 + 2) / 4 = 5.5, so kappa is
// 1 - 2/5.5 = 7/11. Both series have mean 1.25 and sums of squares 2.75, their products sum
// to 1.75, so r is also 7/11; the mean absolute difference is (0 + 1 + 0 + 1) / 4.
TEST(Agreement, SmallCaseMatchesTheHandComputedFigures) {
    Agreement a = MeasureAgreement({0, 1, 2, 2}, {0, 2, 2, 1}, 2);
    EXPECT_EQ(a.n, 4u);
    EXPECT_NEAR(a.qwk, 7.0 / 11, 1e-12);
    EXPECT_NEAR(a.pearson, 7.0 / 11, 1e-12);
    EXPECT_DOUBLE_EQ(a.meanAbsoluteDifference, 0.5);
}

// Kappa counts whole points (0.4 → 0, 1.4 → 1, 2.6 → 3), r and the difference use the values.
TEST(Agreement, KappaRoundsToWholePointsWhileRAndTheDifferenceUseTheValues) {
    Agreement a = MeasureAgreement({0.4, 1.4, 2.6}, {0, 1, 3}, 3);
    EXPECT_DOUBLE_EQ(a.qwk, 1);
    EXPECT_NEAR(a.meanAbsoluteDifference, 0.4, 1e-12);
    // r of (0.4, 1.4, 2.6) and (0, 1, 3): deviations (-1.0667, -0.0667, 1.1333) and (-1.3333,
    // -0.3333, 1.6667); products 1.4222 + 0.0222 + 1.8889 = 3.3333 over sqrt(2.4267 * 4.6667).
    EXPECT_NEAR(a.pearson, 3.333333 / std::sqrt(2.426667 * 4.666667), 1e-5);
}

TEST(Agreement, KappaRunsFromMinusOneForOppositeMarksToOneForTheSame) {
    EXPECT_DOUBLE_EQ(QuadraticWeightedKappa({0, 2}, {2, 0}, 2), -1);
    EXPECT_DOUBLE_EQ(QuadraticWeightedKappa({0, 1, 2, 5}, {0, 1, 2, 5}, 10), 1);
    // Points beyond the scale count as its ends.
    EXPECT_DOUBLE_EQ(QuadraticWeightedKappa({-3, 12}, {0, 10}, 10), 1);
    // Marks over the full mark or below zero are clamped before rounding.
    EXPECT_DOUBLE_EQ(MeasureAgreement({-1, 11}, {0, 10}, 10).qwk, 1);
}

TEST(Agreement, FiguresWithoutVariationAreNotANumber) {
    // One rater gives everyone the same: r cannot be computed.
    EXPECT_TRUE(std::isnan(PearsonCorrelation({3, 3, 3}, {1, 2, 3})));
    EXPECT_TRUE(std::isnan(PearsonCorrelation({1}, {1})));
    // Both give the same single point: nothing to agree beyond chance.
    EXPECT_TRUE(std::isnan(QuadraticWeightedKappa({4, 4}, {4, 4}, 10)));
    Agreement none = MeasureAgreement({}, {}, 10);
    EXPECT_EQ(none.n, 0u);
    EXPECT_TRUE(std::isnan(none.meanAbsoluteDifference));
}

}  // namespace
}  // namespace tavi
