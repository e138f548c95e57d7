#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <thread>

#include "UiTestSupport.h"
#include "analysis/Encoding.h"
#include "ui/QtPerson.h"

namespace tavi::test {
namespace {

// What a real message box showed, and the button that the test then pressed.
struct SeenBox {
    QString title, text;
    QStringList buttons;
    QString defaultButton;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool parentIsWindow = false;
};

// Looks at the next message box as soon as it is shown, then presses `press` (a button
// text) or Escape (empty).
void OnNextMessageBox(SeenBox& seen, const QWidget* window, QString press, bool* done) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [=, &seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        poll->stop();
        poll->deleteLater();
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.parentIsWindow = box->parentWidget() == window;
        for (QAbstractButton* b : box->buttons()) seen.buttons << b->text();
        if (box->defaultButton()) seen.defaultButton = box->defaultButton()->text();
        if (press.isEmpty()) {
            QTest::keyClick(box, Qt::Key_Escape);
        } else {
            for (QAbstractButton* b : box->buttons())
                if (b->text() == press) b->click();
        }
        *done = true;
    });
    poll->start(0);
}

class QtPersonTest : public ::testing::Test {
protected:
    void SetUp() override { person.SetMainWindow(&window); }
    QWidget window;
    QtPerson person;
    SeenBox seen;
    bool done = false;
};

TEST_F(QtPersonTest, AnOkCancelBoxShowsItsTextsAndAnswersTheButtonPressed) {
    OnNextMessageBox(seen, &window, QString::fromUtf8("キャンセル"), &done);
    MessageAnswer answer = person.ShowMessageBox(
        {Sjis("続けますか？\n OK ... 処理継続"), "Tavi", MessageButtons::kOkCancel, MessageIcon::kQuestion, 1, true});
    ASSERT_TRUE(done);
    EXPECT_EQ(answer, MessageAnswer::kCancel);
    EXPECT_EQ(seen.title, "Tavi");
    EXPECT_EQ(seen.text, QString::fromUtf8("続けますか？\n OK ... 処理継続"));
    EXPECT_EQ(seen.buttons, (QStringList{"OK", QString::fromUtf8("キャンセル")}));
    EXPECT_EQ(seen.defaultButton, QString::fromUtf8("キャンセル"));
    EXPECT_EQ(seen.icon, QMessageBox::Question);
    EXPECT_TRUE(seen.parentIsWindow);
}

TEST_F(QtPersonTest, EscapeAnswersOkOnAnOkBoxAndCancelOnAnOkCancelBox) {
    OnNextMessageBox(seen, &window, QString(), &done);
    EXPECT_EQ(person.ShowMessageBox(
                  {Sjis("警告です。"), Sjis("警告"), MessageButtons::kOk, MessageIcon::kExclamation, 0, false}),
              MessageAnswer::kOk);
    ASSERT_TRUE(done);
    EXPECT_EQ(seen.title, QString::fromUtf8("警告"));
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_FALSE(seen.parentIsWindow);  // a box without owner window

    done = false;
    OnNextMessageBox(seen, &window, QString(), &done);
    EXPECT_EQ(person.ShowMessageBox({"?", "Tavi", MessageButtons::kOkCancel, MessageIcon::kQuestion, 0, true}),
              MessageAnswer::kCancel);
    EXPECT_TRUE(done);
}

TEST_F(QtPersonTest, ABoxAskedOnAnotherThreadIsShownOnTheUserInterfaceThread) {
    OnNextMessageBox(seen, &window, "OK", &done);
    std::atomic<bool> returned = false;
    MessageAnswer answer = MessageAnswer::kCancel;
    std::thread worker([&] {
        answer = person.ShowMessageBox({Sjis("設問文ファイルが指定されていません。"), "Tavi", MessageButtons::kOkCancel,
                                        MessageIcon::kQuestion, 1, true});
        returned = true;
    });
    EXPECT_TRUE(WaitUntil([&] { return returned.load(); }));
    worker.join();
    EXPECT_TRUE(done);
    EXPECT_EQ(answer, MessageAnswer::kOk);
}

TEST_F(QtPersonTest, YesNoQuestionsHaveJapaneseButtonsAndAnswerNo) {
    OnNextMessageBox(seen, &window, QString::fromUtf8("いいえ(&N)"), &done);
    EXPECT_FALSE(person.AskYesNo(
        {Sjis("自動的に調整しますか？"), "Tavi", MessageButtons::kOk, MessageIcon::kExclamation, 0, true}));
    ASSERT_TRUE(done);
    EXPECT_EQ(seen.buttons, (QStringList{QString::fromUtf8("はい(&Y)"), QString::fromUtf8("いいえ(&N)")}));
    EXPECT_EQ(seen.defaultButton, QString::fromUtf8("はい(&Y)"));
}

TEST(QtPersonFilterTest, FiltersBecomeQtFiltersThatMatchEveryFileForStarDotStar) {
    EXPECT_EQ(QtPerson::QtFilter(QString::fromUtf8("回答文ファイル(*.txt)|*.txt|全て(*.*)|*.*||")),
              QString::fromUtf8("回答文ファイル(*.txt);;全て(*.*) (*)"));
    EXPECT_EQ(QtPerson::QtFilter(QString::fromUtf8("採点ファイル|*.csv;*.txt||")),
              QString::fromUtf8("採点ファイル (*.csv *.txt)"));
}

}  // namespace
}  // namespace tavi::test
