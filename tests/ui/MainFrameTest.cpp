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

#include "UiTestSupport.h"
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
    bool Enabled(int command) {
        run.frame->Router().UpdateStates();
        return run.frame->Action(command)->isEnabled();
    }
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

TEST_F(MainFrameTest, TheMenusHoldEveryCommandWithItsTextInOrder) {
    QStringList menus;
    for (QAction* top : run.frame->menuBar()->actions()) {
        QString line = top->text() + ":";
        for (QAction* item : top->menu()->actions())
            line += QLatin1Char(' ') + (item->isSeparator() ? QStringLiteral("-") : item->data().toString());
        menus << line;
    }
    EXPECT_EQ(menus,
              (QStringList{U("ファイル(&F): 57600 57601 57603 32810 - 32778 32799 32800 - 57665"),
                           U("表示(&V): 59392 59393 32811"), U("Tavi(&T): 32772 32776"), U("ヘルプ(&H): 57664")}));
    const std::pair<int, const char*> texts[] = {
        {57600, "問題文ファイル設定...\tCtrl+N(&N)"},
        {57601, "回答文ファイル追加...\tCtrl+O(&O)"},
        {57603, "採点結果の保存...\tCtrl+S(&S)"},
        {32810, "採点レポートの保存...(&R)"},
        {32778, "採点パラメータ詳細設定...(&D)"},
        {32799, "採点パラメータ読み込み...(&L)"},
        {32800, "採点パラメータ書き出し...(&W)"},
        {57665, "Tavi の終了(&X)"},
        {59392, "ツール バー(&T)"},
        {59393, "ステータス バー(&S)"},
        {32811, "回答文パネル(&P)"},
        {32772, "採点開始\t(&B)"},
        {32776, "採点停止\t(&E)"},
        {57664, "バージョン情報 (&A)..."},
    };
    for (auto [command, text] : texts) EXPECT_EQ(run.frame->Action(command)->text(), U(text)) << command;
    EXPECT_EQ(run.frame->Action(57600)->shortcut(), QKeySequence(QStringLiteral("Ctrl+N")));
    EXPECT_EQ(run.frame->Action(57601)->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
    EXPECT_EQ(run.frame->Action(57603)->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
}

TEST_F(MainFrameTest, OnlyTheCommandsThatNeedAJobAreDisabledAtStart) {
    for (int command : {57600, 57601, 32778, 57665, 59392, 59393, 32811, 57664, 32783, 32785})
        EXPECT_TRUE(Enabled(command)) << command;
    for (int command : {57603, 32810, 32799, 32800, 32772, 32776, 32786}) EXPECT_FALSE(Enabled(command)) << command;
    // Parameter loading and writing are listed all the same.
    EXPECT_TRUE(run.frame->Action(32799)->isVisible());
    EXPECT_TRUE(run.frame->Action(32800)->isVisible());
}

TEST_F(MainFrameTest, TheToolBarHasItsTenItemsWithImagesTooltipsAndPrompts) {
    QToolBar* bar = run.frame->ToolBar();
    QStringList items;
    for (QAction* a : bar->actions()) items << (a->isSeparator() ? QStringLiteral("-") : a->data().toString());
    EXPECT_EQ(items, (QStringList{"57600", "-", "57601", "-", "32772", "32776", "-", "57603", "-", "57664"}));
    const std::tuple<int, const char*, const char*> tips[] = {
        {57600, "評価設定", "問題文・評価設定"},
        {57601, "追加", "回答文ファイルを追加"},
        {32772, "開始", "採点開始"},
        {32776, "中止", "採点中止"},
        {57603, "保存", "結果を保存します"},
        {57664, "バージョン情報", "プログラム情報、バージョン、著作権を表示します。"},
    };
    for (auto [command, tooltip, prompt] : tips) {
        QAction* a = run.frame->Action(command);
        EXPECT_EQ(a->toolTip(), U(tooltip)) << command;
        EXPECT_EQ(a->statusTip(), U(prompt)) << command;
        EXPECT_FALSE(a->icon().pixmap(kToolBarImageSize).isNull()) << command;
    }
    EXPECT_EQ(bar->iconSize(), kToolBarImageSize);
    EXPECT_TRUE(bar->isMovable());
    EXPECT_TRUE(bar->isFloatable());
    EXPECT_EQ(bar->allowedAreas(), Qt::AllToolBarAreas);
    EXPECT_EQ(run.frame->toolBarArea(bar), Qt::TopToolBarArea);
}

TEST_F(MainFrameTest, PromptsWithoutATooltipStillHaveTheirTexts) {
    EXPECT_EQ(run.frame->Action(32778)->statusTip(), U("採点比率・内容評価用辞書設定"));
    EXPECT_EQ(run.frame->Action(57665)->statusTip(), U("アプリケーションを終了し、ファイルの保存を指示"));
    EXPECT_EQ(run.frame->Action(59392)->statusTip(), U("ツール バーの 表示/非表示"));
    EXPECT_EQ(run.frame->Action(59393)->toolTip(), U("ステータス バーの表示切り替え"));
    EXPECT_EQ(run.frame->Action(32785)->statusTip(), U("選択したものを削除"));
    for (int command : {32783, 32786, 32799, 32800}) EXPECT_TRUE(run.frame->Action(command)->statusTip().isEmpty());
}

TEST_F(MainFrameTest, ThePointerOnAToolBarButtonShowsItsPromptUntilItLeaves) {
    QWidget* button = run.frame->ToolBar()->widgetForAction(run.frame->Action(57601));
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
    QAction* toggle = run.frame->Action(59392);
    run.frame->Router().UpdateStates();
    ASSERT_TRUE(toggle->isChecked());
    toggle->trigger();
    EXPECT_TRUE(run.frame->ToolBar()->isHidden());
    EXPECT_FALSE(toggle->isChecked());
    toggle->trigger();
    EXPECT_FALSE(run.frame->ToolBar()->isHidden());
    EXPECT_TRUE(toggle->isChecked());
    EXPECT_EQ(run.frame->toolBarArea(run.frame->ToolBar()), Qt::TopToolBarArea);

    QAction* statusBar = run.frame->Action(59393);
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
    run.frame->Action(57664)->trigger();
    EXPECT_TRUE(driven);
    EXPECT_EQ(caption, U("バージョン情報"));
    EXPECT_EQ(texts, QStringList{"Tavi Version 0.99"});
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(MainFrameTest, QuittingClosesTheWindowAndKeepsItsGeometryForTheNextStart) {
    run.frame->resize(640, 360);
    ASSERT_TRUE(WaitUntil([&] { return run.frame->size() == QSize(640, 360); }));
    run.frame->Action(57665)->trigger();
    EXPECT_FALSE(run.frame->isVisible());
    QSettings settings(U("アプリケーション ウィザードで生成されたローカル アプリケーション"), "Tavi");
    EXPECT_FALSE(settings.value("Settings/MainFrameGeometry").toByteArray().isEmpty());

    RunningApp next(true);
    EXPECT_EQ(next.frame->size(), QSize(640, 360));
}

}  // namespace
}  // namespace tavi::test
