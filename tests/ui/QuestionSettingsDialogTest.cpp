#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include "UiTestSupport.h"
#include "analysis/Encoding.h"
#include "ui/CTaviPref.h"

namespace tavi::test {
namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

class QuestionSettingsDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        dialog.questionPath = QStringLiteral("/questions/q.txt");
        dialog.expectedLength = 800;
        dialog.rhetoricWeight = 5;
        dialog.organizationWeight = 2;
        dialog.contentWeight = 3;
        dialog.paragraphMode = 0;
    }
    void Open() {
        dialog.Initialize();
        dialog.show();
    }
    bool Closed() const { return !dialog.isVisible(); }
    QRadioButton* Radio(int id) { return qobject_cast<QRadioButton*>(dialog.GetDlgItem(id)); }

    ScriptedPerson person;
    CTaviPref dialog{person};
};

TEST_F(QuestionSettingsDialogTest, FieldsShowTheMembersWithFifteenSignificantDigits) {
    dialog.expectedLength = 0.1 + 0.2;
    dialog.rhetoricWeight = 1.0 / 3;
    dialog.organizationWeight = 1e20;
    dialog.paragraphMode = 1;
    Open();
    EXPECT_EQ(dialog.windowTitle(), U("設問と回答文の環境設定"));
    EXPECT_EQ(FieldText(dialog, 1000), "/questions/q.txt");
    EXPECT_EQ(FieldText(dialog, 1002), "0.3");
    EXPECT_EQ(FieldText(dialog, 1005), "0.333333333333333");
    EXPECT_EQ(FieldText(dialog, 1006), "1e+20");
    EXPECT_EQ(FieldText(dialog, 1007), "3");
    EXPECT_FALSE(Radio(1003)->isChecked());
    EXPECT_TRUE(Radio(1004)->isChecked());
}

TEST_F(QuestionSettingsDialogTest, OkTakesEveryFieldIn) {
    Open();
    SetField(dialog, 1000, "/questions/other.txt");
    SetField(dialog, 1002, "  1200.5 ");
    SetField(dialog, 1005, "+4");
    SetField(dialog, 1006, "1e1");
    SetField(dialog, 1007, "-.5");
    Radio(1004)->click();
    ClickButton(dialog, kIdOk);
    EXPECT_TRUE(Closed());
    EXPECT_EQ(dialog.result(), kIdOk);
    EXPECT_EQ(dialog.questionPath, "/questions/other.txt");
    EXPECT_EQ(dialog.expectedLength, 1200.5);
    EXPECT_EQ(dialog.rhetoricWeight, 4);
    EXPECT_EQ(dialog.organizationWeight, 10);
    EXPECT_EQ(dialog.contentWeight, -0.5);
    EXPECT_EQ(dialog.paragraphMode, 1);
    EXPECT_TRUE(person.Boxes().empty());
}

TEST_F(QuestionSettingsDialogTest, ZeroWeightsAndAZeroLengthAreAccepted) {
    Open();
    for (int id : {1002, 1005, 1006, 1007}) SetField(dialog, id, "0");
    ClickButton(dialog, kIdOk);
    EXPECT_TRUE(Closed());
    EXPECT_EQ(dialog.expectedLength, 0);
    EXPECT_EQ(dialog.rhetoricWeight + dialog.organizationWeight + dialog.contentWeight, 0);
}

TEST_F(QuestionSettingsDialogTest, AFieldThatIsNotANumberIsRefusedAndGetsTheFocus) {
    Open();
    SetField(dialog, 1000, "/questions/new.txt");
    SetField(dialog, 1002, "900");
    SetField(dialog, 1005, "5x");
    SetField(dialog, 1006, "7");
    ClickButton(dialog, kIdOk);
    EXPECT_FALSE(Closed());
    ASSERT_EQ(person.Boxes().size(), 1u);
    EXPECT_EQ(person.Boxes()[0].text, "数値を入力してください。");
    EXPECT_EQ(person.Boxes()[0].caption, "Tavi");
    EXPECT_EQ(dialog.focusWidget(), dialog.GetDlgItem(1005));
    // The fields before the refused one are taken in; the ones after it are not.
    EXPECT_EQ(dialog.questionPath, "/questions/new.txt");
    EXPECT_EQ(dialog.expectedLength, 900);
    EXPECT_EQ(dialog.rhetoricWeight, 5);
    EXPECT_EQ(dialog.organizationWeight, 2);

    for (const char* text : {"", " ", "abc", "1,5", "0x10", "inf", "1e", "５"}) {
        SetField(dialog, 1005, U(text));
        ClickButton(dialog, kIdOk);
        EXPECT_FALSE(Closed()) << text;
    }
}

TEST_F(QuestionSettingsDialogTest, APathLongerThan260CharactersIsRefused) {
    dialog.questionPath = "/" + QString(260, QLatin1Char('q'));
    Open();
    EXPECT_EQ(FieldText(dialog, 1000).size(), 261);  // shown whole
    ClickButton(dialog, kIdOk);
    EXPECT_FALSE(Closed());
    ASSERT_EQ(person.Boxes().size(), 1u);
    EXPECT_EQ(person.Boxes()[0].text, "260 文字以内で入力してください。");

    // Typing stops at the limit.
    auto* edit = qobject_cast<QLineEdit*>(dialog.GetDlgItem(1000));
    edit->setText(QString(259, QLatin1Char('p')));
    edit->end(false);
    QTest::keyClicks(edit, "xyz");
    EXPECT_EQ(edit->text().size(), 260);
    ClickButton(dialog, kIdOk);
    EXPECT_TRUE(Closed());
}

TEST_F(QuestionSettingsDialogTest, APathWithoutAShiftJisFormIsRefused) {
    Open();
    SetField(dialog, 1000, U("/questions/\U0001F600.txt"));
    ClickButton(dialog, kIdOk);
    EXPECT_FALSE(Closed());
    EXPECT_EQ(person.Boxes().size(), 1u);
    EXPECT_EQ(dialog.questionPath, "/questions/q.txt");
}

TEST_F(QuestionSettingsDialogTest, EditCheckWithAnEmptyPathSaysSoAndStartsNothing) {
    dialog.questionPath.clear();
    Open();
    ClickButton(dialog, 1011);
    ASSERT_EQ(person.Boxes().size(), 1u);
    EXPECT_EQ(person.Boxes()[0].text, "設問文ファイルを指定してください。");
    EXPECT_EQ(person.Boxes()[0].icon, MessageIcon::kNone);
    EXPECT_TRUE(person.started.empty());
    EXPECT_FALSE(Closed());
}

TEST_F(QuestionSettingsDialogTest, EditCheckPassesAPathWithSpacesUnquotedAndStaysOpen) {
    Open();
    SetField(dialog, 1000, "/my questions/q 1.txt");
    ClickButton(dialog, 1011);
    ASSERT_EQ(person.started.size(), 1u);
    EXPECT_EQ(person.started[0], (std::vector<std::string>{"true", "/my questions/q 1.txt"}));
    EXPECT_FALSE(Closed());
    EXPECT_TRUE(person.Boxes().empty());
}

TEST_F(QuestionSettingsDialogTest, CancellingBrowseKeepsThePathButRevertsTheOtherFields) {
    Open();
    SetField(dialog, 1000, "/typed/but/not/taken.txt");
    SetField(dialog, 1002, "999");
    person.openOneAccepted = false;
    ClickButton(dialog, 1001);
    ASSERT_EQ(person.fileRequests.size(), 1u);
    EXPECT_EQ(person.fileRequests[0].defaultExtension, "txt");
    EXPECT_EQ(SjisToUtf8(person.fileRequests[0].filter), "設問文ファイル(*.txt)|*.txt|全て(*.*)|*.*||");
    EXPECT_EQ(FieldText(dialog, 1000), "/questions/q.txt");
    EXPECT_EQ(FieldText(dialog, 1002), "800");
}

TEST_F(QuestionSettingsDialogTest, BrowsingSetsThePath) {
    Open();
    person.fileToOpen = "/chosen/question.txt";
    ClickButton(dialog, 1001);
    EXPECT_EQ(FieldText(dialog, 1000), "/chosen/question.txt");
    ClickButton(dialog, kIdOk);
    EXPECT_EQ(dialog.questionPath, "/chosen/question.txt");
}

TEST_F(QuestionSettingsDialogTest, CancelAndEscapeLeaveTheMembersAsTheyWere) {
    Open();
    SetField(dialog, 1002, "1");
    ClickButton(dialog, kIdCancel);
    EXPECT_TRUE(Closed());
    EXPECT_EQ(dialog.result(), kIdCancel);
    EXPECT_EQ(dialog.expectedLength, 800);

    CTaviPref second(person);
    second.Initialize();
    second.show();
    QTest::keyClick(&second, Qt::Key_Escape);
    EXPECT_FALSE(second.isVisible());
    EXPECT_EQ(second.result(), kIdCancel);
}

TEST_F(QuestionSettingsDialogTest, ControlsTakeTheFocusInTemplateOrderAndLabelsFit) {
    Open();
    std::vector<int> order;
    QWidget* w = dialog.GetDlgItem(1000);
    for (int i = 0; i < 20; ++i) {
        order.push_back(w->property("controlId").toInt());
        do w = w->nextInFocusChain();
        while (!(w->focusPolicy() & Qt::TabFocus));
        if (w == dialog.GetDlgItem(1000)) break;
    }
    EXPECT_EQ(order, (std::vector<int>{1000, 1001, 1002, 1005, 1006, 1007, 1003, 1004, 1, 2, 1011}));
    // Every text fits into its rectangle with the font the desktop supplies.
    for (QLabel* label : dialog.findChildren<QLabel*>())
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width() + 2)
            << label->text().toStdString();
}

}  // namespace
}  // namespace tavi::test
