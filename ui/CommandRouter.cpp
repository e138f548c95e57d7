#include "ui/CommandRouter.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QMenu>
#include <QWidget>

#include "ui/Resources.h"

namespace tavi {

CommandRouter::CommandRouter(QWidget* window) : QObject(window), m_window(window) {
    m_followTimer.setSingleShot(true);
    m_followTimer.setInterval(100);
    connect(&m_followTimer, &QTimer::timeout, this, &CommandRouter::UpdateStates);
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(thread()))
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &CommandRouter::UpdateStates);
}

QAction* CommandRouter::Action(int command) {
    QAction*& action = m_actions[command];
    if (!action) {
        action = new QAction(res::MenuText(command), m_window);
        action->setObjectName(QStringLiteral("command%1").arg(command));
        action->setData(command);
        action->setStatusTip(res::CommandPrompt(command));
        QString tooltip = res::CommandTooltip(command);
        if (!tooltip.isEmpty()) action->setToolTip(tooltip);
        connect(action, &QAction::triggered, this, [this, command] { Execute(command); });
    }
    return action;
}

CommandUi CommandRouter::QueryState(int command) const {
    CommandUi ui;
    for (const CommandTarget* target : m_targets) {
        if (const CommandTarget::UpdateHandler* update = target->FindUpdateHandler(command)) {
            (*update)(ui);
            return ui;
        }
    }
    ui.enabled = false;
    for (const CommandTarget* target : m_targets)
        if (target->FindHandler(command)) ui.enabled = true;
    return ui;
}

bool CommandRouter::Execute(int command) {
    // A stale button or shortcut must not run a command that has just become disabled.
    if (!QueryState(command).enabled) {
        UpdateStates();
        return false;
    }
    for (const CommandTarget* target : m_targets) {
        if (const CommandTarget::Handler* handler = target->FindHandler(command)) {
            if (m_busy) m_followTimer.start();
            (*handler)();
            UpdateStates();
            return true;
        }
    }
    return false;
}

void CommandRouter::UpdateStates() {
    for (auto& [command, action] : m_actions) {
        CommandUi ui = QueryState(command);
        action->setEnabled(ui.enabled);
        action->setCheckable(ui.checked.has_value());
        if (ui.checked) action->setChecked(*ui.checked);
    }
    if (m_busy && m_busy()) m_followTimer.start();
    emit StatesUpdated();
}

void CommandRouter::WatchMenu(QMenu* menu) { connect(menu, &QMenu::aboutToShow, this, &CommandRouter::UpdateStates); }

}  // namespace tavi
