// Fitting the parameters to a teacher's marks, on answers scored by the document.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "evaluation/Fit.h"
#include "fakes/SampleRun.h"
#include "fakes/TestSupport.h"

namespace tavi {
namespace {

// 40 answers of different lengths and styles: openings of the corpus essays cut at 150 to
// 1,320 characters, scored against the sample question with the default parameters.
class FitTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        test::SampleDocument sample;
        std::vector<std::filesystem::path> essays;
        for (const auto& entry : std::filesystem::directory_iterator(std::string(TAVI_CORPUS_DIR) + "/essays"))
            essays.push_back(entry.path());
        std::sort(essays.begin(), essays.end());
        std::string dir = test::TempDir();
        for (size_t i = 0; i < 40; ++i) {
            std::string text = test::ReadFileBytes(essays[i * 7].string());
            size_t bytes = 300 + (i * 157) % 2400;  // Shift_JIS bytes, about half as many characters
            size_t cut = 0;
            while (cut < text.size() && cut < bytes) cut += SjisCharLength(text, cut);
            std::string path = dir + "/answer" + std::to_string(i) + ".txt";
            std::ofstream(path, std::ios::binary) << text.substr(0, cut);
            sample.doc->AddAnswer(Sjis(path));
        }
        std::vector<int> all(static_cast<size_t>(sample.doc->GetAnswerCount()));
        for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int>(i);
        sample.doc->ScoreSelected(all);
        records = new std::vector<EssayRecord>;
        for (int i : all) records->push_back(sample.doc->GetAnswer(i));
    }
    static void TearDownTestSuite() { delete records; }

    // The marks a teacher who marks by `params` would give: Tavi's totals under them, rounded to
    // whole points.
    static std::vector<double> MarksBy(const ScoringParams& params, double fullMark) {
        std::vector<double> marks;
        for (const EssayRecord& record : *records) {
            EssayRecord r = record;
            RescoreFromFeatures(r, params);
            marks.push_back(std::round(ScaledTotal(r, params, fullMark)));
        }
        return marks;
    }

    static std::vector<double ScoringParams::*> AllFittable() {
        std::vector<double ScoringParams::*> all;
        for (const FitParameter& p : FittableParameters()) all.push_back(p.member);
        return all;
    }

    static std::vector<EssayRecord>* records;
};
std::vector<EssayRecord>* FitTest::records = nullptr;

TEST_F(FitTest, RecoversMarksMadeByAKnownParameterSetAsWellAsThatSetCrossValidated) {
    ASSERT_EQ(records->size(), 40u);
    for (const EssayRecord& r : *records) ASSERT_EQ(r.status, kStatusScored);
    // A teacher who cares most about content and expects shorter answers.
    ScoringParams teacher;
    teacher.rhetoricWeight = 2;
    teacher.organizationWeight = 1;
    teacher.contentWeight = 7;
    teacher.expectedLength = 400;
    std::vector<double> marks = MarksBy(teacher, 10);

    std::vector<double> known;
    for (const EssayRecord& record : *records) {
        EssayRecord r = record;
        RescoreFromFeatures(r, teacher);
        known.push_back(ScaledTotal(r, teacher, 10));
    }
    Agreement target = MeasureAgreement(known, marks, 10);

    FitResult fit = FitToMarks(*records, marks, 10, ScoringParams(), AllFittable());
    ASSERT_FALSE(fit.refusal);
    EXPECT_TRUE(fit.improved);
    EXPECT_GT(fit.after.qwk, fit.before.qwk);
    EXPECT_LT(fit.after.meanAbsoluteDifference, fit.before.meanAbsoluteDifference);
    // Held-out answers come as close to the marks as the teacher's own parameters, within 0.05
    // points; those miss the marks only by the rounding to whole points. The kappa, which
    // counts whole points, may lose an answer or two at a rounding edge.
    EXPECT_LE(fit.after.meanAbsoluteDifference, target.meanAbsoluteDifference + 0.05);
    EXPECT_GE(fit.after.qwk, target.qwk - 0.05);
}

TEST_F(FitTest, NeverLeavesARangeAndKeepsEachGroupOfRatiosSummingAsBefore) {
    // Marks no parameter set can reach: the longest answers marked lowest.
    std::vector<double> marks;
    for (const EssayRecord& r : *records) marks.push_back(std::clamp(10 - r.textLength / 300, 0.0, 10.0));
    FitResult fit = FitToMarks(*records, marks, 10, ScoringParams(), AllFittable());
    ASSERT_FALSE(fit.refusal);
    for (const FitParameter& p : FittableParameters()) {
        EXPECT_GE(fit.params.*p.member, p.minimum);
        EXPECT_LE(fit.params.*p.member, p.maximum);
    }
    double rhetoric = 0, organization = 0;
    for (auto ratio : kRhetoricRatios) rhetoric += fit.params.*ratio;
    for (auto ratio : kOrganizationRatios) organization += fit.params.*ratio;
    EXPECT_NEAR(rhetoric, 1, 1e-9);
    EXPECT_NEAR(organization, 1, 1e-9);
}

TEST_F(FitTest, ChangesOnlyTheParametersTicked) {
    ScoringParams teacher;
    teacher.expectedLength = 300;
    std::vector<double> marks = MarksBy(teacher, 20);
    FitResult fit = FitToMarks(*records, marks, 20, ScoringParams(), {&ScoringParams::expectedLength});
    ASSERT_FALSE(fit.refusal);
    ASSERT_TRUE(fit.improved);
    EXPECT_NEAR(fit.params.expectedLength, 300, 60);
    ScoringParams defaults;
    EXPECT_EQ(fit.params.rhetoricWeight, defaults.rhetoricWeight);
    EXPECT_EQ(fit.params.contentWeight, defaults.contentWeight);
    EXPECT_EQ(fit.params.vocabularyDiversityWeight, defaults.vocabularyDiversityWeight);
}

TEST_F(FitTest, RefusesFewerThanTenMarksAndSuggestsNothingWithoutGain) {
    std::vector<EssayRecord> nine(records->begin(), records->begin() + 9);
    FitResult few = FitToMarks(nine, std::vector<double>(9, 5), 10, ScoringParams(), AllFittable());
    ASSERT_TRUE(few.refusal);
    EXPECT_NE(few.refusal->find("10件以上"), std::string::npos);

    // Marks that the defaults already give: nothing to gain, nothing suggested.
    std::vector<double> exact;
    for (const EssayRecord& r : *records) exact.push_back(ScaledTotal(r, ScoringParams(), 10));
    FitResult none = FitToMarks(*records, exact, 10, ScoringParams(), AllFittable());
    ASSERT_FALSE(none.refusal);
    EXPECT_FALSE(none.improved);
    EXPECT_EQ(none.params.expectedLength, ScoringParams().expectedLength);
    EXPECT_EQ(none.params.contentWeight, ScoringParams().contentWeight);
}

}  // namespace
}  // namespace tavi
