#pragma once

#include <optional>

namespace tavi {

// The states of the three lock keys that the status bar shows.
struct LockKeyStates {
    bool caps = false;
    bool num = false;
    bool scroll = false;
};

// The lock keys' states as the window system reports them; none where it cannot say
// (only X11 can, through its keyboard extension).
std::optional<LockKeyStates> QueryLockKeyStates();

}  // namespace tavi
