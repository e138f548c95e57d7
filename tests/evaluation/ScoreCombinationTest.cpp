#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "evaluation/EssayRecord.h"
#include "fakes/TestSupport.h"

namespace tavi {
namespace {

using test::S;
using test::U;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(ClassifyTwoThresholds, RisingThresholdsIncludeEachThresholdInTheWorseClass) {
    EXPECT_EQ(ClassifyTwoThresholds(111.9, 112, 172), 0);
    EXPECT_EQ(ClassifyTwoThresholds(112, 112, 172), 1);
    EXPECT_EQ(ClassifyTwoThresholds(171.9, 112, 172), 1);
    EXPECT_EQ(ClassifyTwoThresholds(172, 112, 172), 2);
    EXPECT_EQ(ClassifyTwoThresholds(kInf, 112, 172), 2);
}

TEST(ClassifyTwoThresholds, FallingThresholdsIncludeEachThresholdInTheWorseClass) {
    EXPECT_EQ(ClassifyTwoThresholds(0.51, 0.5, 0.3), 0);
    EXPECT_EQ(ClassifyTwoThresholds(0.5, 0.5, 0.3), 1);
    EXPECT_EQ(ClassifyTwoThresholds(0.31, 0.5, 0.3), 1);
    EXPECT_EQ(ClassifyTwoThresholds(0.3, 0.5, 0.3), 2);
    EXPECT_EQ(ClassifyTwoThresholds(-1, 0.5, 0.3), 2);
    // The cue-word thresholds: 2 is not above 2.
    EXPECT_EQ(ClassifyTwoThresholds(3, 2, 0), 0);
    EXPECT_EQ(ClassifyTwoThresholds(2, 2, 0), 1);
    EXPECT_EQ(ClassifyTwoThresholds(0, 2, 0), 2);
}

TEST(ClassifyTwoThresholds, NotANumberIsClassTwoInBothDirections) {
    EXPECT_EQ(ClassifyTwoThresholds(kNaN, 112, 172), 2);
    EXPECT_EQ(ClassifyTwoThresholds(kNaN, 0.27, 0.15), 2);
}

TEST(ClassifyLengthRatio, ThresholdsBelongToTheBetterClass) {
    EXPECT_EQ(ClassifyLengthRatio(0.09, 0.1, 0.4, 0.75), 3);
    EXPECT_EQ(ClassifyLengthRatio(0.1, 0.1, 0.4, 0.75), 2);
    EXPECT_EQ(ClassifyLengthRatio(0.4, 0.1, 0.4, 0.75), 1);
    EXPECT_EQ(ClassifyLengthRatio(0.74, 0.1, 0.4, 0.75), 1);
    EXPECT_EQ(ClassifyLengthRatio(0.75, 0.1, 0.4, 0.75), 0);
    EXPECT_EQ(ClassifyLengthRatio(kInf, 0.1, 0.4, 0.75), 0);
    EXPECT_EQ(ClassifyLengthRatio(kNaN, 0.1, 0.4, 0.75), 0);
}

TEST(ClassifyBand, MiddleBandIsGoodAndOuterBandsAreOrderedByDistance) {
    EXPECT_EQ(ClassifyBand(0.65, 0.66, 0.94, 1.28, 1.77), 1);
    EXPECT_EQ(ClassifyBand(0.66, 0.66, 0.94, 1.28, 1.77), 2);
    EXPECT_EQ(ClassifyBand(0.94, 0.66, 0.94, 1.28, 1.77), 0);
    EXPECT_EQ(ClassifyBand(1.27, 0.66, 0.94, 1.28, 1.77), 0);
    EXPECT_EQ(ClassifyBand(1.28, 0.66, 0.94, 1.28, 1.77), 3);
    EXPECT_EQ(ClassifyBand(1.77, 0.66, 0.94, 1.28, 1.77), 4);
    EXPECT_EQ(ClassifyBand(kNaN, 0.66, 0.94, 1.28, 1.77), 4);
}

TEST(Deduct, ClassCountsHalfWeights) {
    EXPECT_DOUBLE_EQ(Deduct(1.0, 0, 0.2), 1.0);
    EXPECT_DOUBLE_EQ(Deduct(1.0, 1, 0.2), 0.9);
    EXPECT_DOUBLE_EQ(Deduct(0.9, 2, 0.2), 0.7);
}

TEST(EssayRecord, NewRecordIsUnscoredAndEmpty) {
    EssayRecord record(S("/tmp/回答.txt"), S("回答"));
    EXPECT_EQ(U(record.path), "/tmp/回答.txt");
    EXPECT_EQ(U(record.title), "回答");
    EXPECT_EQ(record.status, kStatusUnscored);
    EXPECT_EQ(record.id, 0);
    EXPECT_FALSE(record.rhetoricFeaturesDone);
    EXPECT_FALSE(record.rhetoricScored);
    EXPECT_FALSE(record.organizationFeaturesDone);
    EXPECT_FALSE(record.organizationScored);
    EXPECT_EQ(record.sentenceStatsCount, 0);
    EXPECT_EQ(record.finalScore, 0.0);
    EXPECT_EQ(record.textLength, 0.0);
    EXPECT_TRUE(record.commentText.empty());
}

TEST(EssayRecord, CopyKeepsStringsScoresAndCommentsIndependent) {
    EssayRecord original(S("a.txt"), S("a"));
    original.rhetoricScore = 0.75;
    original.rhetoricScored = true;
    original.AddComment(16, 2);
    EssayRecord copy = original;
    EXPECT_EQ(copy.path, original.path);
    EXPECT_EQ(copy.rhetoricScore, 0.75);
    EXPECT_TRUE(copy.rhetoricScored);
    EXPECT_EQ(copy.commentText, original.commentText);
    // A later comment on the copy does not reach the original, and the copy keeps its slots.
    copy.AddComment(13, 1);
    EXPECT_NE(copy.commentText, original.commentText);
    EXPECT_EQ(U(copy.commentText),
              "議論の接続がやや不十分であるように見受けられます。\n"
              "質問文との関係が希薄であるように見受けられます。\n");
}

TEST(WeightedTotal, IsThePlainWeightedSum) {
    EssayRecord record;
    record.rhetoricScore = 1.0;
    record.organizationScore = 1.0;
    record.contentScore = 1.0;
    ScoringParams params;
    EXPECT_DOUBLE_EQ(record.ComputeWeightedTotal(params), 10.0);
    record.rhetoricScore = 0.5;
    record.organizationScore = 0.25;
    record.contentScore = 0.1;
    EXPECT_DOUBLE_EQ(record.ComputeWeightedTotal(params), 2.5 + 0.5 + 0.3);
    EXPECT_DOUBLE_EQ(record.weightedTotal, 3.3);
}

// Expected length 800 characters (1600 bytes) and a weighted total of 8.
class LengthPenalty : public testing::Test {
protected:
    EssayRecord Scored(double textBytes) {
        EssayRecord record;
        record.textLength = textBytes;
        record.weightedTotal = 8.0;
        record.ComputeLengthPenalty(params);
        record.ComputeFinalScore();
        return record;
    }
    ScoringParams params;
};

TEST_F(LengthPenalty, ThreeQuartersOfTheExpectedLengthCostsNothing) {
    EssayRecord record = Scored(1200);
    EXPECT_EQ(record.lengthPenalty, 0.0);
    EXPECT_DOUBLE_EQ(record.finalScore, 8.0);
    EXPECT_TRUE(record.commentText.empty());
}

TEST_F(LengthPenalty, FallsLinearlyBetweenATenthAndThreeQuarters) {
    EssayRecord record = Scored(640);  // ratio 0.4, class 1
    EXPECT_NEAR(record.lengthPenalty, -8.0 * (1.0 - 0.3 / 0.65), 1e-12);
    EXPECT_NEAR(record.lengthPenalty, -4.3077, 1e-4);
    EXPECT_NEAR(record.finalScore, 8.0 - 4.3077, 1e-4);
    EXPECT_EQ(U(record.commentText), "全体の分量が記号を除き 75% 以内とやや少ないです。\n");
}

TEST_F(LengthPenalty, ATenthLosesTheWholeTotalWithTheMiddleComment) {
    EssayRecord record = Scored(160);  // ratio 0.1, class 2
    EXPECT_DOUBLE_EQ(record.lengthPenalty, -8.0);
    EXPECT_EQ(U(record.commentText), "全体の分量が記号を除き 40% 以内とかなり少ないです。\n");
}

TEST_F(LengthPenalty, BelowATenthIsABlankAnswer) {
    EssayRecord record = Scored(100);  // class 3
    EXPECT_DOUBLE_EQ(record.lengthPenalty, -8.0);
    EXPECT_DOUBLE_EQ(record.finalScore, 0.0);
    EXPECT_EQ(U(record.commentText), "全体の分量が記号を除き 10% 以内で白紙答案とみなします。\n");
}

TEST_F(LengthPenalty, ExpectedLengthZeroGivesNoPenalty) {
    params.expectedLength = 0.0;
    for (double bytes : {0.0, 10.0}) {
        EssayRecord record = Scored(bytes);
        EXPECT_EQ(record.lengthPenalty, 0.0) << bytes;
        EXPECT_DOUBLE_EQ(record.finalScore, 8.0) << bytes;
        EXPECT_TRUE(record.commentText.empty()) << bytes;
    }
}

TEST_F(LengthPenalty, RecomputingReplacesTheLengthComment) {
    EssayRecord record;
    record.weightedTotal = 8.0;
    record.textLength = 100;
    record.ComputeLengthPenalty(params);
    record.ComputeLengthPenalty(params);
    EXPECT_EQ(U(record.commentText), "全体の分量が記号を除き 10% 以内で白紙答案とみなします。\n");
    record.textLength = 1500;
    record.ComputeLengthPenalty(params);
    EXPECT_TRUE(record.commentText.empty());
    EXPECT_EQ(record.lengthPenalty, 0.0);
}

}  // namespace
}  // namespace tavi
