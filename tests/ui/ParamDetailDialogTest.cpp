#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include "UiTestSupport.h"
#include "analysis/Encoding.h"
#include "ui/CTaviEvalParamDetailDlg.h"

namespace tavi::test {
namespace {

using D = CTaviEvalParamDetailDlg;

constexpr const char* kRhetoricQuestion = "修辞採点比率の合計が１ではありません。\n自動的に調整しますか？";
constexpr const char* kOrganizationQuestion = "論理採点比率の合計が１ではありません。\n自動的に正規化しますか？";
constexpr const char* kRescaled = "比率の合計を１に正規化しました。確認してください";

class ParamDetailDialogTest : public ::testing::Test {
protected:
    void Open() {
        dialog.Initialize();
        dialog.show();
    }
    bool Closed() const { return !dialog.isVisible(); }
    bool Enabled(int id) { return dialog.GetDlgItem(id)->isEnabled(); }
    bool Checked(int id) { return qobject_cast<QRadioButton*>(dialog.GetDlgItem(id))->isChecked(); }
    std::vector<std::string> Texts() { return person.BoxTexts(); }

    ScriptedPerson person;
    D dialog{person};
};

TEST_F(ParamDetailDialogTest, TheDefaultsCloseAtOnce) {
    Open();
    EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("採点パラメータ詳細設定"));
    EXPECT_EQ(FieldText(dialog, D::IDC_VOCABULARY_DIVERSITY), "0.2");
    EXPECT_EQ(FieldText(dialog, D::IDC_MODEL_PATH), "yoroku2000.tcf");
    EXPECT_TRUE(Checked(D::IDC_MODEL_YOROKU));
    EXPECT_FALSE(Enabled(D::IDC_MODEL_PATH));
    EXPECT_FALSE(Enabled(D::IDC_BROWSE));
    ClickButton(dialog, kIdOk);
    EXPECT_TRUE(Closed());
    EXPECT_EQ(dialog.result(), kIdOk);
    EXPECT_TRUE(Texts().empty());
}

TEST_F(ParamDetailDialogTest, ARhetoricSumOfOnePointOneIsRescaledOnYesAndTheDialogStaysOpen) {
    Open();
    SetField(dialog, D::IDC_VOCABULARY_DIVERSITY, "0.3");
    person.yesNoAnswers = {true};
    ClickButton(dialog, kIdOk);
    EXPECT_FALSE(Closed());
    EXPECT_EQ(Texts(), (std::vector<std::string>{kRhetoricQuestion, kRescaled}));
    ASSERT_TRUE(person.Boxes()[0].yesNo);
    EXPECT_EQ(person.Boxes()[0].icon, MessageIcon::kExclamation);
    EXPECT_EQ(person.Boxes()[1].icon, MessageIcon::kExclamation);
    EXPECT_NEAR(dialog.ratios.vocabularyDiversityWeight, 0.2727272727, 1e-9);
    EXPECT_NEAR(dialog.ratios.sentenceLengthMedianWeight, 0.05 / 1.1, 1e-15);
    EXPECT_NEAR(dialog.ratios.passiveRateWeight, 0.1 / 1.1, 1e-15);
    EXPECT_EQ(FieldText(dialog, D::IDC_VOCABULARY_DIVERSITY), "0.272727272727273");
    EXPECT_EQ(dialog.ratios.cueWordWeight, 0.5);  // the other group is untouched

    person.ClearBoxes();
    ClickButton(dialog, kIdOk);
    EXPECT_TRUE(Closed());
    EXPECT_TRUE(Texts().empty());
}

TEST_F(ParamDetailDialogTest, ARhetoricSumBelowOneAsksTheSameQuestion) {
    Open();
    SetField(dialog, D::IDC_PASSIVE_RATE, "0");
    person.yesNoAnswers = {true};
    ClickButton(dialog, kIdOk);
    ASSERT_FALSE(Texts().empty());
    EXPECT_EQ(Texts()[0], kRhetoricQuestion);
    EXPECT_NEAR(dialog.ratios.vocabularyDiversityWeight, 0.2 / 0.9, 1e-15);
}

TEST_F(ParamDetailDialogTest, BothOrganizationRatiosAtOneBecomeHalves) {
    Open();
    SetField(dialog, D::IDC_CUE_WORDS, "1");
    SetField(dialog, D::IDC_DEMONSTRATIVES, "1");
    person.yesNoAnswers = {true};
    ClickButton(dialog, kIdOk);
    EXPECT_EQ(Texts(), (std::vector<std::string>{kOrganizationQuestion, kRescaled}));
    EXPECT_EQ(dialog.ratios.cueWordWeight, 0.5);
    EXPECT_EQ(dialog.ratios.demonstrativeWeight, 0.5);
    EXPECT_FALSE(Closed());
}

TEST_F(ParamDetailDialogTest, NoToBothQuestionsClosesWithTheValuesAsEntered) {
    Open();
    SetField(dialog, D::IDC_VOCABULARY_DIVERSITY, "0.3");
    SetField(dialog, D::IDC_CUE_WORDS, "1");
    person.yesNoAnswers = {false, false};
    ClickButton(dialog, kIdOk);
    EXPECT_EQ(Texts(), (std::vector<std::string>{kRhetoricQuestion, kOrganizationQuestion}));
    EXPECT_TRUE(Closed());
    EXPECT_EQ(dialog.result(), kIdOk);
    EXPECT_EQ(dialog.ratios.vocabularyDiversityWeight, 0.3);
    EXPECT_EQ(dialog.ratios.cueWordWeight, 1);
}

TEST_F(ParamDetailDialogTest, SumsWithinTwoToTheMinus23OfOneCountAsOne) {
    Open();
    SetField(dialog, D::IDC_CUE_WORDS, "0.50000005");  // 5e-8 off
    ClickButton(dialog, kIdOk);
    EXPECT_TRUE(Closed());
    EXPECT_TRUE(Texts().empty());

    D second(person);
    second.Initialize();
    second.show();
    SetField(second, D::IDC_CUE_WORDS, "0.5000002");  // 2e-7 off
    person.yesNoAnswers = {false};
    ClickButton(second, kIdOk);
    EXPECT_EQ(Texts(), std::vector<std::string>{kOrganizationQuestion});
}

TEST_F(ParamDetailDialogTest, AGroupOfZerosCannotBeRescaledAndTheDialogStaysOpen) {
    Open();
    for (int id : {1019, 1020, 1021, 1022, 1023, 1024, 1028, 1029, 1030, 1031, 1032, 1033}) SetField(dialog, id, "0");
    ClickButton(dialog, kIdOk);
    EXPECT_FALSE(Closed());
    ASSERT_EQ(person.Boxes().size(), 1u);
    EXPECT_FALSE(person.Boxes()[0].yesNo);
    EXPECT_NE(person.Boxes()[0].text.find("修辞採点比率の合計が０"), std::string::npos);
    EXPECT_EQ(dialog.ratios.vocabularyDiversityWeight, 0);
    EXPECT_EQ(FieldText(dialog, D::IDC_VOCABULARY_DIVERSITY), "0");
    EXPECT_EQ(dialog.focusWidget(), dialog.GetDlgItem(D::IDC_SENTENCE_LENGTH_MEDIAN));
}

TEST_F(ParamDetailDialogTest, ARefusedFieldKeepsTheDialogOpen) {
    Open();
    SetField(dialog, D::IDC_PHRASE_LENGTH_MEDIAN, "abc");
    ClickButton(dialog, kIdOk);
    EXPECT_FALSE(Closed());
    // Refused when the fields are taken in for the test and again before closing.
    EXPECT_EQ(Texts(), (std::vector<std::string>{"数値を入力してください。", "数値を入力してください。"}));
    EXPECT_EQ(dialog.focusWidget(), dialog.GetDlgItem(D::IDC_PHRASE_LENGTH_MEDIAN));
}

TEST_F(ParamDetailDialogTest, OtherThenDefaultsGivesTheFirstModelWithPathAndBrowseDisabled) {
    dialog.ratios.vocabularyDiversityWeight = 0.7;
    Open();
    ClickButton(dialog, D::IDC_MODEL_OTHER);
    EXPECT_TRUE(Enabled(D::IDC_MODEL_PATH));
    EXPECT_TRUE(Enabled(D::IDC_BROWSE));
    SetField(dialog, D::IDC_MODEL_PATH, "/models/mine.tcf");
    ClickButton(dialog, D::IDC_DEFAULTS);
    EXPECT_EQ(FieldText(dialog, D::IDC_MODEL_PATH), "yoroku2000.tcf");
    EXPECT_TRUE(Checked(D::IDC_MODEL_YOROKU));
    EXPECT_FALSE(Enabled(D::IDC_MODEL_PATH));
    EXPECT_FALSE(Enabled(D::IDC_BROWSE));
    EXPECT_EQ(FieldText(dialog, D::IDC_VOCABULARY_DIVERSITY), "0.2");
    EXPECT_EQ(dialog.modelChoice, 0);
}

TEST_F(ParamDetailDialogTest, TheSecondModelReplacesTypedRatiosWithTheMembers) {
    Open();
    SetField(dialog, D::IDC_SENTENCE_LENGTH_MEDIAN, "0.9");
    ClickButton(dialog, D::IDC_MODEL_SYASETSU);
    EXPECT_EQ(FieldText(dialog, D::IDC_SENTENCE_LENGTH_MEDIAN), "0.05");
    EXPECT_EQ(FieldText(dialog, D::IDC_MODEL_PATH), "syasetsu2000.tcf");
    EXPECT_EQ(dialog.modelChoice, 1);
    ClickButton(dialog, kIdOk);
    EXPECT_EQ(dialog.modelPath, "syasetsu2000.tcf");
    EXPECT_EQ(dialog.modelChoice, 1);
}

TEST_F(ParamDetailDialogTest, CancellingBrowseStillChoosesAnotherModel) {
    Open();
    ClickButton(dialog, D::IDC_MODEL_OTHER);
    person.openOneAccepted = false;
    ClickButton(dialog, D::IDC_BROWSE);
    ASSERT_EQ(person.fileRequests.size(), 1u);
    EXPECT_EQ(person.fileRequests[0].defaultExtension, "tcf");
    EXPECT_EQ(SjisToUtf8(person.fileRequests[0].filter), "内容評価用基準ファイル(*.tcf)|*.tcf|全て(*.*)|*.*||");
    EXPECT_EQ(dialog.modelChoice, 2);
    EXPECT_TRUE(Checked(D::IDC_MODEL_OTHER));
    EXPECT_EQ(FieldText(dialog, D::IDC_MODEL_PATH), "yoroku2000.tcf");

    person.openOneAccepted = true;
    person.fileToOpen = "/models/mine.tcf";
    ClickButton(dialog, D::IDC_BROWSE);
    ClickButton(dialog, kIdOk);
    EXPECT_EQ(dialog.modelPath, "/models/mine.tcf");
    EXPECT_EQ(dialog.modelChoice, 2);
}

TEST_F(ParamDetailDialogTest, AnOtherModelEnablesPathAndBrowseFromTheStart) {
    dialog.modelChoice = 2;
    dialog.modelPath = "/models/mine.tcf";
    Open();
    EXPECT_TRUE(Checked(D::IDC_MODEL_OTHER));
    EXPECT_TRUE(Enabled(D::IDC_MODEL_PATH));
    EXPECT_TRUE(Enabled(D::IDC_BROWSE));
    EXPECT_EQ(FieldText(dialog, D::IDC_MODEL_PATH), "/models/mine.tcf");
}

TEST_F(ParamDetailDialogTest, LabelsFitTheirRectanglesWithTheDesktopFont) {
    Open();
    for (QLabel* label : dialog.findChildren<QLabel*>())
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width() + 2)
            << label->text().toStdString();
}

}  // namespace
}  // namespace tavi::test
