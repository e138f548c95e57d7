#pragma once

#include <functional>
#include <map>
#include <optional>

namespace tavi {

// What an update handler says about a command's menu item or button.
struct CommandUi {
    bool enabled = true;
    std::optional<bool> checked;  // unset: no check mark
};

// Something that carries out commands: a table of command handlers and of update handlers,
// keyed by command number. A command and its update handler may sit in different targets;
// the router asks each target in turn.
class CommandTarget {
public:
    using Handler = std::function<void()>;
    using UpdateHandler = std::function<void(CommandUi&)>;

    virtual ~CommandTarget() = default;

    // The handler of a command, or null when this target does not carry it out.
    const Handler* FindHandler(int command) const {
        auto it = m_handlers.find(command);
        return it == m_handlers.end() ? nullptr : &it->second;
    }
    const UpdateHandler* FindUpdateHandler(int command) const {
        auto it = m_updateHandlers.find(command);
        return it == m_updateHandlers.end() ? nullptr : &it->second;
    }

protected:
    void OnCommand(int command, Handler handler) { m_handlers[command] = std::move(handler); }
    void OnUpdateCommand(int command, UpdateHandler handler) { m_updateHandlers[command] = std::move(handler); }
    // An update handler that enables the command exactly when `enabled` says so.
    void OnUpdateEnabled(int command, std::function<bool()> enabled) {
        m_updateHandlers[command] = [enabled = std::move(enabled)](CommandUi& ui) { ui.enabled = enabled(); };
    }

private:
    std::map<int, Handler> m_handlers;
    std::map<int, UpdateHandler> m_updateHandlers;
};

}  // namespace tavi
