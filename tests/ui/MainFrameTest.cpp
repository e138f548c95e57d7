#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QEnterEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <fstream>
#include <map>

#include "UiTestSupport.h"
#include "fakes/TestSupport.h"
#include "ui/CMainFrame.h"
#include "ui/CTaviApp.h"
#include "ui/Icons.h"
#include "ui/Resources.h"
#include "ui/TemplateDialog.h"

namespace tavi::test {
namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

class MainFrameTest : public ::testing::Test {
protected:
    RunningApp run;
};

TEST_F(MainFrameTest, AFreshStartIsAnUntitledDocumentAndTheStatusBarIsReady) {
    EXPECT_EQ(run.frame->windowTitle(), U("無題 - Tavi"));
    EXPECT_TRUE(run.frame->isVisible());
    EXPECT_EQ(run.frame->MessagePane()->text(), U("レディ"));
    QStringList indicators;
    for (int i = 0; i < 3; ++i) indicators << run.frame->Indicator(i)->property("indicator").toString();
    EXPECT_EQ(indicators, (QStringList{"CAP", "NUM", "SCRL"}));
    // The message pane first, the indicators after it, at the bottom of the window.
    EXPECT_LT(run.frame->MessagePane()->x(), run.frame->Indicator(0)->x());
    EXPECT_LT(run.frame->Indicator(0)->x(), run.frame->Indicator(2)->x());
    EXPECT_EQ(run.frame->statusBar()->geometry().bottom(), run.frame->rect().bottom());
}

// The name of a command constant, so that the dump reads without the numbers.
QString CommandName(int command) {
#define NAMED(name) \
    { cmd::k##name, #name }
    static const std::map<int, const char*> names = {
        NAMED(QuestionSettings), NAMED(AddAnswers),  NAMED(ImportSheet),   NAMED(SaveResults),    NAMED(ScoreStart),
        NAMED(ScoreStop),        NAMED(ParamDetail), NAMED(ViewSelected),  NAMED(DeleteSelected), NAMED(ScoreSelected),
        NAMED(LoadParams),       NAMED(WriteParams), NAMED(AppAbout),      NAMED(AppExit),        NAMED(ViewToolBar),
        NAMED(ViewStatusBar),    NAMED(SaveReport),  NAMED(ViewAnswerPane)};
#undef NAMED
    auto found = names.find(command);
    return found == names.end() ? QString::number(command) : QString::fromUtf8(found->second);
}

// One line per menu item and toolbar button, in order: where it sits, then for a command its
// name, text, shortcut, state, prompt, tooltip and whether it has a toolbar image.
QString MenuDump(CMainFrame& frame) {
    frame.Router().UpdateStates();
    QString dump;
    auto add = [&](const QString& place, const QList<QAction*>& actions) {
        for (QAction* a : actions) {
            QStringList fields{place};
            if (a->isSeparator()) {
                fields << "-";
            } else {
                fields << CommandName(a->data().toInt()) << a->text().replace('\t', "\\t") << a->shortcut().toString()
                       << (a->isEnabled() ? "enabled" : "disabled") << "prompt: " + a->statusTip()
                       << "tooltip: " + a->toolTip();
                if (!a->icon().pixmap(kToolBarImageSize).isNull()) fields << "image";
                if (!a->isVisible()) fields << "hidden";
            }
            dump += fields.join(" | ") + '\n';
        }
    };
    for (QAction* top : frame.menuBar()->actions()) add(top->text(), top->menu()->actions());
    add("context menu", frame.ContextMenu()->actions());
    add("toolbar", frame.ToolBar()->actions());
    return dump;
}

// The menus, the context menu and the toolbar at start, against tests/data/ui/menus.txt
// (TAVI_UPDATE_GOLDEN=1 writes it anew).
TEST_F(MainFrameTest, MenusAndToolBarMatchTheGoldenDump) {
    const std::string golden = std::string(TAVI_TEST_DATA_DIR) + "/ui/menus.txt";
    const std::string dump = MenuDump(*run.frame).toStdString();
    if (qEnvironmentVariableIsSet("TAVI_UPDATE_GOLDEN")) std::ofstream(golden, std::ios::binary) << dump;
    EXPECT_EQ(dump, ReadFileBytes(golden));
}

TEST_F(MainFrameTest, TheToolBarIsDockableAnywhereAndStartsAtTheTop) {
    QToolBar* bar = run.frame->ToolBar();
    EXPECT_EQ(bar->iconSize(), kToolBarImageSize);
    EXPECT_TRUE(bar->isMovable());
    EXPECT_TRUE(bar->isFloatable());
    EXPECT_EQ(bar->allowedAreas(), Qt::AllToolBarAreas);
    EXPECT_EQ(run.frame->toolBarArea(bar), Qt::TopToolBarArea);
}

TEST_F(MainFrameTest, ThePointerOnAToolBarButtonShowsItsPromptUntilItLeaves) {
    QWidget* button = run.frame->ToolBar()->widgetForAction(run.frame->Action(cmd::kAddAnswers));
    ASSERT_NE(button, nullptr);
    QEnterEvent enter(QPointF(3, 3), QPointF(3, 3), button->mapToGlobal(QPointF(3, 3)));
    QApplication::sendEvent(button, &enter);
    EXPECT_EQ(run.frame->MessagePane()->text(), U("回答文ファイルを追加"));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(button, &leave);
    EXPECT_EQ(run.frame->MessagePane()->text(), U("レディ"));

    // The same while the toolbar floats.
    run.frame->ToolBar()->setWindowFlag(Qt::Tool);
    QApplication::sendEvent(button, &enter);
    EXPECT_EQ(run.frame->MessagePane()->text(), U("回答文ファイルを追加"));
}

TEST_F(MainFrameTest, HidingTheToolBarRemovesItsCheckMarkAndShowingItPutsItBack) {
    QAction* toggle = run.frame->Action(cmd::kViewToolBar);
    run.frame->Router().UpdateStates();
    ASSERT_TRUE(toggle->isChecked());
    toggle->trigger();
    EXPECT_TRUE(run.frame->ToolBar()->isHidden());
    EXPECT_FALSE(toggle->isChecked());
    toggle->trigger();
    EXPECT_FALSE(run.frame->ToolBar()->isHidden());
    EXPECT_TRUE(toggle->isChecked());
    EXPECT_EQ(run.frame->toolBarArea(run.frame->ToolBar()), Qt::TopToolBarArea);

    QAction* statusBar = run.frame->Action(cmd::kViewStatusBar);
    statusBar->trigger();
    EXPECT_TRUE(run.frame->statusBar()->isHidden());
    EXPECT_FALSE(statusBar->isChecked());
}

TEST_F(MainFrameTest, CtrlSDoesNothingWhileSavingIsDisabled) {
    QApplication::setActiveWindow(run.frame);
    ASSERT_TRUE(WaitUntil([&] { return run.frame->isActiveWindow(); }));
    run.frame->Router().UpdateStates();
    QTest::keyClick(run.frame, Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(run.person.fileRequests.empty());
    // The accelerators do reach the window: Ctrl+O asks for answer files.
    run.person.openAccepted = false;
    QTest::keyClick(run.frame, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(run.person.fileRequests.size(), 1u);
}

TEST_F(MainFrameTest, TheVersionDialogShowsTheVersionAndClosesWithOk) {
    bool driven = false;
    QStringList texts;
    QString caption;
    OnNextDialog(
        [&](TemplateDialog& dialog) {
            caption = dialog.windowTitle();
            for (QLabel* label : dialog.findChildren<QLabel*>())
                if (!label->text().isEmpty()) texts << label->text();
            ClickButton(dialog, kIdOk);
        },
        &driven);
    run.frame->Action(cmd::kAppAbout)->trigger();
    EXPECT_TRUE(driven);
    EXPECT_EQ(caption, U("バージョン情報"));
    ASSERT_EQ(texts.size(), 3);
    EXPECT_EQ(texts[0], "Tavi Version 0.99");
    EXPECT_TRUE(texts[1].contains("Apache License 2.0")) << texts[1].toStdString();
    // The attribution that the licences of the models' corpora ask for.
    for (const char* line : {"出典：「情報通信白書」（総務省）（平成12年版〜令和5年版）",
                             "Sentences from Tatoeba (tatoeba.org), by its contributors", "Wikinews contributors"})
        EXPECT_TRUE(texts[2].contains(U(line))) << line;
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(MainFrameTest, QuittingClosesTheWindowAndKeepsItsGeometryForTheNextStart) {
    run.frame->resize(640, 360);
    ASSERT_TRUE(WaitUntil([&] { return run.frame->size() == QSize(640, 360); }));
    run.frame->Action(cmd::kAppExit)->trigger();
    EXPECT_FALSE(run.frame->isVisible());
    QSettings settings(U("アプリケーション ウィザードで生成されたローカル アプリケーション"), "Tavi");
    EXPECT_FALSE(settings.value("Settings/MainFrameGeometry").toByteArray().isEmpty());

    RunningApp next(true);
    EXPECT_EQ(next.frame->size(), QSize(640, 360));
}

}  // namespace
}  // namespace tavi::test
