#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <map>
#include <vector>

#include "ui/CommandTarget.h"

class QAction;
class QMenu;
class QWidget;

namespace tavi {

// The program's command layer: one QAction per command number, shared by menus, toolbar and
// shortcuts. A command goes to the targets in their order (view, document, main window,
// application) and the first one with a handler carries it out. Its state comes from the
// first target with an update handler; without one, a command that somebody handles is
// enabled and a command that nobody handles is disabled.
//
// States are brought up to date whenever a watched menu opens and whenever the event loop
// falls idle, and every 100 ms while `busy` says that a run is in progress, so that the
// toolbar follows a run that ends without any event. User-interface thread only.
class CommandRouter : public QObject {
    Q_OBJECT
public:
    // `window` owns the actions; their status-bar prompts are sent to it.
    explicit CommandRouter(QWidget* window);

    // The targets in routing order; they must outlive their registration.
    void SetTargets(std::vector<const CommandTarget*> targets) { m_targets = std::move(targets); }
    void SetBusyQuery(std::function<bool()> busy) { m_busy = std::move(busy); }

    // The action of a command, created with its menu text, prompt and tooltip on first use.
    QAction* Action(int command);
    // Carries out a command; false when it is disabled or nobody handles it.
    bool Execute(int command);
    // The state the command has now.
    CommandUi QueryState(int command) const;
    // Enables, disables and checks every action.
    void UpdateStates();
    // Updates the states each time `menu` is about to show.
    void WatchMenu(QMenu* menu);

signals:
    // After every update of the states.
    void StatesUpdated();

private:
    QWidget* m_window;
    std::vector<const CommandTarget*> m_targets;
    std::map<int, QAction*> m_actions;
    std::function<bool()> m_busy;
    QTimer m_followTimer;
};

}  // namespace tavi
