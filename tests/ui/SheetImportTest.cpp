#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTableWidget>

#include "UiTestSupport.h"
#include "analysis/Encoding.h"
#include "document/CTaviDoc.h"
#include "fakes/TestSupport.h"
#include "ui/CMainFrame.h"
#include "ui/Resources.h"
#include "ui/SheetImportDialog.h"

namespace tavi::test {
namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

class SheetImportTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = TempFolder();
        sheet = folder + "/form.csv";
        QFile file(sheet);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(
            "\xEF\xBB\xBF"
            "No,Name,Answer\r\n"
            "1,Aoki,\"First, with \"\"quotes\"\"\r\nand a line break.\"\r\n"
            "2,Baba,\r\n"
            "3,Chiba,Third answer.\r\n");
    }
    // Triggers the menu item on the sheet and hands its dialog to `drive`.
    void Import(const std::function<void(SheetImportDialog&)>& drive) {
        run.person.filesToOpen = {sheet.toStdString()};
        bool driven = false;
        OnNextModal(
            [&](QWidget& modal) {
                auto* dialog = qobject_cast<SheetImportDialog*>(&modal);
                if (dialog) drive(*dialog);
                return dialog != nullptr;
            },
            &driven);
        run.frame->Action(cmd::kImportSheet)->trigger();
        EXPECT_TRUE(driven);
    }
    QPushButton* Button(SheetImportDialog& dialog, QDialogButtonBox::StandardButton which) {
        return dialog.findChild<QDialogButtonBox*>()->button(which);
    }

    RunningApp run;
    QString folder, sheet;
};

TEST_F(SheetImportTest, TheMenuItemFollowsAddingAnswers) {
    QList<QAction*> items = run.frame->menuBar()->actions().first()->menu()->actions();
    int add = static_cast<int>(items.indexOf(run.frame->Action(cmd::kAddAnswers)));
    ASSERT_GE(add, 0);
    EXPECT_EQ(items.value(add + 1), run.frame->Action(cmd::kImportSheet));
    EXPECT_EQ(run.frame->Action(cmd::kImportSheet)->text(), U("スプレッドシートから回答文を取り込む...(&I)"));
}

TEST_F(SheetImportTest, TheDialogShowsTheFirstRowsAndAddsTheChosenColumnsAnswers) {
    Import([&](SheetImportDialog& dialog) {
        auto* preview = dialog.findChild<QTableWidget*>(QStringLiteral("preview"));
        ASSERT_EQ(preview->rowCount(), 3);
        EXPECT_EQ(preview->horizontalHeaderItem(2)->text(), "Answer");
        EXPECT_EQ(preview->verticalHeaderItem(0)->text(), "2");
        EXPECT_EQ(preview->item(0, 2)->text(), U("First, with \"quotes\"↵and a line break."));
        // The longest column is proposed; the name column starts empty.
        auto* text = dialog.findChild<QComboBox*>(QStringLiteral("textColumn"));
        auto* name = dialog.findChild<QComboBox*>(QStringLiteral("nameColumn"));
        EXPECT_EQ(text->currentIndex(), 2);
        EXPECT_EQ(name->currentIndex(), 0);
        EXPECT_TRUE(dialog.findChild<QLabel*>(QStringLiteral("answerCount"))->text().contains(U("2 件")));
        name->setCurrentIndex(2);
        Button(dialog, QDialogButtonBox::Ok)->click();
    });
    ASSERT_EQ(run.doc->GetAnswerCount(), 2);
    const QString written = folder + "/form_answers/0002_Aoki.txt";
    EXPECT_EQ(QString::fromStdString(SjisPathToNative(run.doc->GetAnswer(0).path)), written);
    EXPECT_EQ(QString::fromStdString(SjisPathToNative(run.doc->GetAnswer(1).path)),
              folder + "/form_answers/0004_Chiba.txt");
    EXPECT_EQ(ReadFileBytes(written.toStdString()), "First, with \"quotes\"\r\nand a line break.");
    EXPECT_TRUE(run.person.BoxTexts().empty());
}

TEST_F(SheetImportTest, CancellingWritesAndAddsNothing) {
    Import([&](SheetImportDialog& dialog) { Button(dialog, QDialogButtonBox::Cancel)->click(); });
    EXPECT_EQ(run.doc->GetAnswerCount(), 0);
    EXPECT_FALSE(QFile::exists(folder + "/form_answers"));
}

}  // namespace
}  // namespace tavi::test
