#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QRadioButton>
#include <QTest>
#include <atomic>
#include <thread>

#include "UiTestSupport.h"
#include "analysis/Encoding.h"
#include "document/CTaviDoc.h"
#include "ui/CMainFrame.h"
#include "ui/CTaviApp.h"
#include "ui/CTaviView.h"
#include "ui/TemplateDialog.h"

namespace tavi::test {
namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// A scoring job on the sample essays with the analyser and the built-in models, driven
// through the menus as a user drives it.
class ScoringJobTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(run.doc->IsAnalyzerLoaded()) << "ChaSen is needed for these tests"; }
    bool Enabled(int command) {
        run.frame->Router().UpdateStates();
        return run.frame->Action(command)->isEnabled();
    }
    void Trigger(int command) {
        run.frame->Router().UpdateStates();
        ASSERT_TRUE(run.frame->Action(command)->isEnabled()) << command;
        run.frame->Action(command)->trigger();
    }
    // Names the question in the real settings dialog.
    void SetQuestion(const QString& path) {
        bool driven = false;
        OnNextDialog(
            [&](TemplateDialog& dialog) {
                SetField(dialog, 1000, path);
                ClickButton(dialog, kIdOk);
            },
            &driven);
        Trigger(57600);
        ASSERT_TRUE(driven);
    }
    void AddSamples() {
        run.person.filesToOpen = SampleAnswers();
        Trigger(57601);
    }
    int Scored() {
        int n = 0;
        for (int i = 0; i < run.doc->GetAnswerCount(); ++i) n += run.doc->GetAnswer(i).status == kStatusScored;
        return n;
    }
    QString Cell(int row, int column) { return run.view->CellText(row, column); }

    RunningApp run;
};

TEST_F(ScoringJobTest, AWholeJobThroughTheMenus) {
    SetQuestion(SampleQuestion());
    ASSERT_TRUE(run.doc->HasQuestionVector());
    EXPECT_FALSE(Enabled(32772));  // no answers yet

    AddSamples();
    const int count = static_cast<int>(SampleAnswers().size());
    ASSERT_EQ(run.view->RowCount(), count);
    EXPECT_EQ(Cell(0, CTaviView::kStatus), U("未採点"));
    EXPECT_TRUE(Enabled(32772));
    EXPECT_FALSE(Enabled(32776));
    EXPECT_FALSE(Enabled(57603));
    EXPECT_TRUE(Enabled(32786));

    // Start, and stop at once: the worker cannot pass its first update of the list before
    // this thread processes events, so at most one answer gets scored.
    Trigger(32772);
    EXPECT_FALSE(Enabled(32772));
    EXPECT_TRUE(Enabled(32776));
    EXPECT_FALSE(Enabled(32786));
    EXPECT_FALSE(Enabled(32785));
    EXPECT_TRUE(Enabled(57600));  // the settings stay available during a run
    Trigger(32776);
    // The toolbar follows the end of the run by itself.
    QAction* start = run.frame->Action(32772);
    ASSERT_TRUE(WaitUntil([&] { return !run.doc->IsRunning() && start->isEnabled(); }));
    EXPECT_LE(Scored(), 1);
    EXPECT_FALSE(run.frame->Action(32776)->isEnabled());

    // Start again: the rest is scored.
    Trigger(32772);
    QAction* save = run.frame->Action(57603);
    QAction* stop = run.frame->Action(32776);
    ASSERT_TRUE(WaitUntil([&] { return save->isEnabled() && !stop->isEnabled(); }, 120000));
    EXPECT_EQ(Scored(), count);
    EXPECT_FALSE(run.frame->Action(32772)->isEnabled());
    for (int row = 0; row < count; ++row) EXPECT_EQ(Cell(row, CTaviView::kStatus), U("済")) << row;

    // Save the list sorted by total, highest first.
    run.view->OnColumnClick(CTaviView::kTotal);
    QString path = TempFolder() + "/results.csv";
    run.person.fileToSave = path.toStdString();
    Trigger(57603);
    EXPECT_EQ(run.person.fileRequests.back().defaultExtension, "CSV");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_EQ(lines.size(), count + 2);  // the header, the rows and nothing after the last line end
    EXPECT_EQ(lines.back(), "");
    EXPECT_EQ(lines[0].toStdString(), Sjis("管理番号,ファイル名,状態,総合得点,文量減点,修辞,論理,内容,場所,\r"));
    double previous = 1e9;
    for (int row = 0; row < count; ++row) {
        QByteArray line = lines[row + 1];
        EXPECT_TRUE(line.endsWith(",\r")) << row;
        QList<QByteArray> cells = line.chopped(2).split(',');
        ASSERT_EQ(cells.size(), 9) << row;
        for (int column = 0; column < 9; ++column)  // the texts the list shows
            EXPECT_EQ(cells[column].toStdString(), Utf8ToSjis(Cell(row, column).toStdString())) << row;
        EXPECT_EQ(cells[2].toStdString(), Sjis("済"));
        double total = cells[3].toDouble();
        EXPECT_LE(total, previous) << row;
        previous = total;
    }
    EXPECT_FALSE(Enabled(57603));  // saved: disabled until another answer is added

    // The comment of a scored answer on a double click.
    run.person.ClearBoxes();
    QRect first = run.view->visualRect(run.view->model()->index(0, 1));
    QTest::mouseDClick(run.view->viewport(), Qt::LeftButton, {}, first.center());
    ASSERT_EQ(run.person.Boxes().size(), 1u);
    EXPECT_EQ(run.person.Boxes()[0].text, SjisToUtf8(run.doc->GetCommentText(run.view->ItemValue(0))));
    EXPECT_NE(run.person.Boxes()[0].text, "未評価です。");
    EXPECT_NE(run.person.Boxes()[0].text, "評価中です。");
}

TEST_F(ScoringJobTest, ScoringSelectedAnswersAfterAStoppedRun) {
    SetQuestion(SampleQuestion());
    AddSamples();
    Trigger(32772);
    Trigger(32776);
    ASSERT_TRUE(WaitUntil([&] { return !run.doc->IsRunning(); }));
    int before = Scored();
    ASSERT_LE(before, 1);

    run.view->clearSelection();
    for (int row : {5, 7})
        run.view->selectionModel()->select(run.view->model()->index(row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    Trigger(32786);
    EXPECT_FALSE(run.doc->IsRunning());
    EXPECT_EQ(Cell(5, CTaviView::kStatus), U("済"));
    EXPECT_EQ(Cell(7, CTaviView::kStatus), U("済"));
    EXPECT_EQ(Cell(6, CTaviView::kStatus), U("未採点"));
    EXPECT_EQ(Scored(), before + 2);
    EXPECT_FALSE(Cell(5, CTaviView::kTotal).isEmpty());
}

TEST_F(ScoringJobTest, ClosingTheWindowDuringARunEndsTheRunFirst) {
    SetQuestion(SampleQuestion());
    AddSamples();
    Trigger(32772);
    ASSERT_TRUE(run.doc->IsRunning());
    run.frame->close();
    EXPECT_FALSE(run.doc->IsRunning());
    EXPECT_FALSE(run.frame->isVisible());
    EXPECT_LT(Scored(), static_cast<int>(SampleAnswers().size()));
}

TEST_F(ScoringJobTest, ClosingTheWindowDuringASelectionRunClosesItAfterTheRun) {
    SetQuestion(SampleQuestion());
    AddSamples();
    run.view->selectAll();
    // The first status update of the selection run processes events: close then.
    QTimer::singleShot(0, run.frame, [&] { run.frame->close(); });
    Trigger(32786);
    EXPECT_EQ(Scored(), 1);  // the answer in progress completes, then the run stops
    EXPECT_TRUE(WaitUntil([&] { return !run.frame->isVisible(); }));
}

TEST_F(ScoringJobTest, TheQuestionPromptFromTheWorkerIsAnsweredOnTheUserInterfaceThread) {
    std::atomic<bool> done = false;
    MessageAnswer answer = MessageAnswer::kOk;
    run.person.answers = {MessageAnswer::kCancel};
    std::thread worker([&] {
        answer = run.person.ShowMessageBox({Sjis("設問文ファイルが指定されていません。"), "Tavi",
                                            MessageButtons::kOkCancel, MessageIcon::kQuestion, 1, true});
        done = true;
    });
    EXPECT_TRUE(WaitUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(answer, MessageAnswer::kCancel);
    ASSERT_EQ(run.person.Boxes().size(), 1u);
    EXPECT_TRUE(run.person.Boxes()[0].onGuiThread);
}

TEST_F(ScoringJobTest, TheDetailDialogChangesTheModel) {
    SetQuestion(SampleQuestion());
    bool driven = false;
    OnNextDialog(
        [&](TemplateDialog& dialog) {
            ClickButton(dialog, 1037);
            ClickButton(dialog, kIdOk);
        },
        &driven);
    Trigger(32778);
    ASSERT_TRUE(driven);
    EXPECT_EQ(run.doc->GetParams().modelPath, "syasetsu2000.tcf");
    EXPECT_EQ(run.doc->GetParams().modelChoice, 1);
    EXPECT_TRUE(run.doc->HasQuestionVector());
    EXPECT_TRUE(run.person.Boxes().empty()) << run.person.Boxes()[0].text;
}

TEST_F(ScoringJobTest, AParameterFileOnTheCommandLineBecomesTheDocument) {
    SetQuestion(SampleQuestion());
    AddSamples();
    QString path = TempFolder() + "/job.tvp";
    std::string error;
    ASSERT_TRUE(run.doc->SaveParameterFile(path.toStdString(), error)) << error;

    ScriptedPerson person;
    CTaviApp app;
    ASSERT_TRUE(app.InitInstance({path}, &person));
    EXPECT_EQ(app.MainFrame()->windowTitle(), U("job.tvp - Tavi"));
    EXPECT_EQ(app.View()->RowCount(), static_cast<int>(SampleAnswers().size()));
    EXPECT_TRUE(app.Document()->HasQuestionVector());
}

TEST_F(ScoringJobTest, AParameterFileThatCannotBeReadEndsStartUpWithAMessage) {
    QString path = TempFolder() + "/broken.tvp";
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a parameter file");
    file.close();

    ScriptedPerson person;
    CTaviApp app;
    EXPECT_FALSE(app.InitInstance({path}, &person));
    ASSERT_EQ(person.Boxes().size(), 1u);
    EXPECT_NE(person.Boxes()[0].text.find(path.toStdString()), std::string::npos);
}

}  // namespace
}  // namespace tavi::test
