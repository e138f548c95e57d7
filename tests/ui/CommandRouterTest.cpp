#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QWidget>
#include <string>
#include <vector>

#include "UiTestSupport.h"
#include "ui/CommandRouter.h"
#include "ui/Resources.h"

namespace tavi::test {
namespace {

struct Target : CommandTarget {
    using CommandTarget::OnCommand;
    using CommandTarget::OnUpdateCommand;
    using CommandTarget::OnUpdateEnabled;
};

class CommandRouterTest : public ::testing::Test {
protected:
    void SetUp() override { router.SetTargets({&view, &doc, &frame, &app}); }
    std::function<void()> Log(const char* who) {
        return [this, who] { log.push_back(who); };
    }

    QWidget window;
    CommandRouter router{&window};
    Target view, doc, frame, app;
    std::vector<std::string> log;
};

TEST_F(CommandRouterTest, TheFirstTargetWithAHandlerCarriesTheCommandOut) {
    doc.OnCommand(cmd::kQuestionSettings, Log("doc"));
    app.OnCommand(cmd::kQuestionSettings, Log("app"));
    app.OnCommand(cmd::kAppAbout, Log("about"));
    frame.OnCommand(cmd::kViewToolBar, Log("frame"));
    view.OnCommand(cmd::kDeleteSelected, Log("view"));
    doc.OnCommand(cmd::kDeleteSelected, Log("doc delete"));

    EXPECT_TRUE(router.Execute(cmd::kQuestionSettings));
    EXPECT_TRUE(router.Execute(cmd::kAppAbout));
    EXPECT_TRUE(router.Execute(cmd::kViewToolBar));
    EXPECT_TRUE(router.Execute(cmd::kDeleteSelected));
    EXPECT_FALSE(router.Execute(cmd::kLoadParams));
    EXPECT_EQ(log, (std::vector<std::string>{"doc", "about", "frame", "view"}));
}

TEST_F(CommandRouterTest, HandledCommandsAreEnabledAndUnhandledOnesDisabled) {
    app.OnCommand(cmd::kAppAbout, Log("about"));
    EXPECT_TRUE(router.QueryState(cmd::kAppAbout).enabled);
    EXPECT_FALSE(router.QueryState(cmd::kLoadParams).enabled);
    QAction* about = router.Action(cmd::kAppAbout);
    QAction* load = router.Action(cmd::kLoadParams);
    router.UpdateStates();
    EXPECT_TRUE(about->isEnabled());
    EXPECT_FALSE(load->isEnabled());
    load->trigger();  // a disabled action does nothing
    EXPECT_TRUE(log.empty());
}

TEST_F(CommandRouterTest, AnUpdateHandlerInALaterTargetDecidesTheStateOfAViewCommand) {
    bool enabled = false;
    view.OnCommand(cmd::kScoreSelected, Log("score selected"));
    doc.OnUpdateEnabled(cmd::kScoreSelected, [&] { return enabled; });

    EXPECT_FALSE(router.QueryState(cmd::kScoreSelected).enabled);
    EXPECT_FALSE(router.Execute(cmd::kScoreSelected));
    EXPECT_TRUE(log.empty());
    enabled = true;
    EXPECT_TRUE(router.Execute(cmd::kScoreSelected));
    EXPECT_EQ(log, std::vector<std::string>{"score selected"});
}

TEST_F(CommandRouterTest, UpdateHandlersSetCheckMarks) {
    bool shown = true;
    frame.OnCommand(cmd::kViewToolBar, [&] { shown = !shown; });
    frame.OnUpdateCommand(cmd::kViewToolBar, [&](CommandUi& ui) { ui.checked = shown; });
    QAction* action = router.Action(cmd::kViewToolBar);
    router.UpdateStates();
    EXPECT_TRUE(action->isCheckable());
    EXPECT_TRUE(action->isChecked());
    action->trigger();
    EXPECT_FALSE(shown);
    EXPECT_FALSE(action->isChecked());
}

TEST_F(CommandRouterTest, StatesFollowWhenAMenuOpensAndWhenTheEventLoopFallsIdle) {
    bool enabled = false;
    doc.OnCommand(cmd::kScoreStart, Log("start"));
    doc.OnUpdateEnabled(cmd::kScoreStart, [&] { return enabled; });
    QAction* start = router.Action(cmd::kScoreStart);
    QMenu menu;
    menu.addAction(start);
    router.WatchMenu(&menu);
    router.UpdateStates();
    ASSERT_FALSE(start->isEnabled());

    enabled = true;
    emit menu.aboutToShow();  // no event is processed in between
    EXPECT_TRUE(start->isEnabled());

    enabled = false;
    EXPECT_TRUE(WaitUntil([&] { return !start->isEnabled(); }, 2000));
}

TEST_F(CommandRouterTest, ActionsAreNamedByTheirCommand) {
    EXPECT_EQ(router.Action(cmd::kQuestionSettings)->objectName(), QStringLiteral("command57600"));
}

}  // namespace
}  // namespace tavi::test
