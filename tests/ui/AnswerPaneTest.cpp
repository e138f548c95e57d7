#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QHelpEvent>
#include <QListWidget>
#include <QSettings>
#include <QSplitter>
#include <QTextEdit>
#include <QToolTip>

#include "UiTestSupport.h"
#include "analysis/Encoding.h"
#include "document/CTaviDoc.h"
#include "evaluation/CommentTable.h"
#include "report/Report.h"
#include "ui/AnswerPane.h"
#include "ui/CMainFrame.h"
#include "ui/CTaviApp.h"
#include "ui/CTaviView.h"

namespace tavi::test {
namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// Two sample essays scored, with the answer pane beside the list.
class AnswerPaneTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(run.doc->IsAnalyzerLoaded()) << "ChaSen is needed for these tests";
        ASSERT_FALSE(run.doc->ApplyQuestionSettings(SampleQuestion().toStdString(), run.doc->GetParams()).error);
        for (const char* name : {"a06_long_sentences.txt", "a08_passive.txt"})
            ASSERT_TRUE(run.doc->AddAnswer(TAVI_SAMPLES_DIR "/answers/" + std::string(name)));
    }
    void ScoreAll() { run.doc->ScoreSelected({0, 1}); }
    bool Enabled(int command) {
        run.frame->Router().UpdateStates();
        return run.frame->Action(command)->isEnabled();
    }
    AnswerPane& pane() { return *run.app->Pane(); }

    RunningApp run;
};

TEST_F(AnswerPaneTest, AChosenCommentOutlinesItsEvidenceAndHoveringNamesIt) {
    ScoreAll();
    run.view->selectRow(0);
    ASSERT_EQ(pane().ShownAnswer(), 0);
    const EssayRecord record = run.doc->GetAnswer(0);
    ASSERT_TRUE(record.evidence) << "the desktop program keeps evidence";
    const MarkedAnswer marked = MarkAnswer(record, run.doc->GetParams());
    ASSERT_EQ(pane().Comments()->count(), static_cast<int>(marked.comments.size()));
    const QString text = QString::fromStdString(SjisToUtf8(record.evidence->text));

    // The sentence-length comment of the long-sentence essay marks whole sentences.
    int chosen = -1;
    for (size_t c = 0; c < marked.comments.size(); ++c)
        if (marked.comments[c].index == kSentenceLengthMaxComment) chosen = static_cast<int>(c);
    ASSERT_GE(chosen, 0);
    EXPECT_TRUE(pane().OutlinedSpans().empty());
    pane().Comments()->setCurrentRow(chosen);
    const auto spans = pane().OutlinedSpans();
    ASSERT_FALSE(spans.empty());
    size_t expected = 0;
    for (const EvidenceMark& mark : marked.marks) {
        if (mark.comment != chosen) continue;
        ++expected;
        EXPECT_NE(std::find(spans.begin(), spans.end(), std::pair<int, int>(mark.span.begin, mark.span.end)),
                  spans.end());
        EXPECT_EQ(mark.kind, 's');
    }
    EXPECT_EQ(spans.size(), expected);
    // The outlined characters are those of the answer's text, and end at a sentence's end.
    const QString plain = pane().Text()->toPlainText();
    for (auto [begin, end] : spans) {
        EXPECT_EQ(plain.mid(begin, end - begin), text.mid(begin, end - begin).replace('\r', QChar(0x200B)));
        EXPECT_TRUE(text.mid(begin, end - begin).contains(U("。"))) << begin;
    }
    // The text scrolled to the first of them; its characters carry the sentence colour.
    EXPECT_EQ(pane().Text()->textCursor().position(), spans.front().first);
    QTextCursor inside(pane().Text()->document());
    inside.setPosition(spans.front().first + 1);
    EXPECT_EQ(inside.charFormat().background().color(), QColor("#ffe3a8"));

    // Hovering names the comment.
    const QString comment = QString::fromStdString(SjisToUtf8(marked.comments[chosen].text));
    EXPECT_TRUE(pane().TitlesAt(spans.front().first).contains(comment));
    QTextCursor at(pane().Text()->document());
    at.setPosition(spans.front().first + 1);
    QPoint point = pane().Text()->cursorRect(at).center() + QPoint(1, 0);
    QHelpEvent hover(QEvent::ToolTip, point, pane().Text()->viewport()->mapToGlobal(point));
    QApplication::sendEvent(pane().Text()->viewport(), &hover);
    EXPECT_TRUE(QToolTip::text().contains(comment)) << QToolTip::text().toStdString();

    // Another answer empties the outline; no selection shows none.
    run.view->selectRow(1);
    EXPECT_EQ(pane().ShownAnswer(), 1);
    EXPECT_TRUE(pane().OutlinedSpans().empty());
    run.view->setCurrentIndex({});
    EXPECT_EQ(pane().ShownAnswer(), -1);
}

TEST_F(AnswerPaneTest, TheSelectedAnswerFollowsItsScoring) {
    run.view->selectRow(1);
    ASSERT_EQ(pane().Comments()->count(), 1);
    EXPECT_EQ(pane().Comments()->item(0)->text(), U("未評価です。"));
    ScoreAll();
    ASSERT_TRUE(WaitUntil([&] { return pane().Comments()->item(0)->text() != U("未評価です。"); }));
    EXPECT_FALSE(pane().Text()->toPlainText().isEmpty());
}

TEST_F(AnswerPaneTest, ThePaneIsShownAndHiddenFromTheViewMenuAndKeptForTheNextStart) {
    QAction* toggle = run.frame->Action(32811);
    run.frame->Router().UpdateStates();
    ASSERT_TRUE(toggle->isChecked());
    toggle->trigger();
    EXPECT_TRUE(pane().isHidden());
    run.frame->Router().UpdateStates();
    EXPECT_FALSE(toggle->isChecked());
    run.frame->Action(57665)->trigger();

    RunningApp next(true);
    EXPECT_TRUE(next.app->Pane()->isHidden());
    next.frame->Action(32811)->trigger();
    EXPECT_FALSE(next.app->Pane()->isHidden());
}

TEST_F(AnswerPaneTest, TheReportIsSavedOnceAnAnswerIsScoredAndAFailureNamesTheFile) {
    EXPECT_FALSE(Enabled(32810));
    ScoreAll();
    ASSERT_TRUE(WaitUntil([&] { return Enabled(32810); }));

    const QString path = TempFolder() + "/report.html";
    run.person.fileToSave = path.toStdString();
    run.frame->Action(32810)->trigger();
    EXPECT_EQ(run.person.fileRequests.back().defaultExtension, "html");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().toStdString(), FormatReport(ReportRunOf(*run.doc)));
    EXPECT_TRUE(run.person.Boxes().empty());

    const std::string unwritable = (TempFolder() + "/no such folder/report.html").toStdString();
    run.person.fileToSave = unwritable;
    run.frame->Action(32810)->trigger();
    ASSERT_EQ(run.person.Boxes().size(), 1u);
    EXPECT_NE(run.person.Boxes()[0].text.find(unwritable), std::string::npos);
    EXPECT_NE(run.person.Boxes()[0].text.find("に書き込めません"), std::string::npos);
}

}  // namespace
}  // namespace tavi::test
