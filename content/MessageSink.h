#pragma once

#include <string>

namespace tavi {

// Where the core shows a plain message (OK button, no icon). Texts are Shift_JIS.
// The document's person interface implements it; tests capture what is shown.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;
};

}  // namespace tavi
