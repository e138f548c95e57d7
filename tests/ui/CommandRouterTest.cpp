#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QWidget>
#include <string>
#include <vector>

#include "UiTestSupport.h"
#include "ui/CommandRouter.h"

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
    doc.OnCommand(57600, Log("doc"));
    app.OnCommand(57600, Log("app"));
    app.OnCommand(57664, Log("about"));
    frame.OnCommand(59392, Log("frame"));
    view.OnCommand(32785, Log("view"));
    doc.OnCommand(32785, Log("doc delete"));

    EXPECT_TRUE(router.Execute(57600));
    EXPECT_TRUE(router.Execute(57664));
    EXPECT_TRUE(router.Execute(59392));
    EXPECT_TRUE(router.Execute(32785));
    EXPECT_FALSE(router.Execute(32799));
    EXPECT_EQ(log, (std::vector<std::string>{"doc", "about", "frame", "view"}));
}

TEST_F(CommandRouterTest, HandledCommandsAreEnabledAndUnhandledOnesDisabled) {
    app.OnCommand(57664, Log("about"));
    EXPECT_TRUE(router.QueryState(57664).enabled);
    EXPECT_FALSE(router.QueryState(32799).enabled);
    QAction* about = router.Action(57664);
    QAction* load = router.Action(32799);
    router.UpdateStates();
    EXPECT_TRUE(about->isEnabled());
    EXPECT_FALSE(load->isEnabled());
    load->trigger();  // a disabled action does nothing
    EXPECT_TRUE(log.empty());
}

TEST_F(CommandRouterTest, AnUpdateHandlerInALaterTargetDecidesTheStateOfAViewCommand) {
    bool enabled = false;
    view.OnCommand(32786, Log("score selected"));
    doc.OnUpdateEnabled(32786, [&] { return enabled; });

    EXPECT_FALSE(router.QueryState(32786).enabled);
    EXPECT_FALSE(router.Execute(32786));
    EXPECT_TRUE(log.empty());
    enabled = true;
    EXPECT_TRUE(router.Execute(32786));
    EXPECT_EQ(log, std::vector<std::string>{"score selected"});
}

TEST_F(CommandRouterTest, UpdateHandlersSetCheckMarks) {
    bool shown = true;
    frame.OnCommand(59392, [&] { shown = !shown; });
    frame.OnUpdateCommand(59392, [&](CommandUi& ui) { ui.checked = shown; });
    QAction* action = router.Action(59392);
    router.UpdateStates();
    EXPECT_TRUE(action->isCheckable());
    EXPECT_TRUE(action->isChecked());
    action->trigger();
    EXPECT_FALSE(shown);
    EXPECT_FALSE(action->isChecked());
}

TEST_F(CommandRouterTest, StatesFollowWhenAMenuOpensAndWhenTheEventLoopFallsIdle) {
    bool enabled = false;
    doc.OnCommand(32772, Log("start"));
    doc.OnUpdateEnabled(32772, [&] { return enabled; });
    QAction* start = router.Action(32772);
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

TEST_F(CommandRouterTest, ActionsCarryTheirTexts) {
    QAction* settings = router.Action(57600);
    EXPECT_EQ(settings->text(), QString::fromUtf8("問題文ファイル設定...\tCtrl+N(&N)"));
    EXPECT_EQ(settings->statusTip(), QString::fromUtf8("問題文・評価設定"));
    EXPECT_EQ(settings->toolTip(), QString::fromUtf8("評価設定"));
    EXPECT_EQ(settings->objectName(), QStringLiteral("command57600"));
    EXPECT_EQ(router.Action(32783)->statusTip(), QString());
}

}  // namespace
}  // namespace tavi::test
