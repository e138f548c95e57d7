#include "cli/TerminalPerson.h"

#include <cstdio>

#include "analysis/Encoding.h"

namespace tavi {

MessageAnswer TerminalPerson::ShowMessageBox(const MessageBoxRequest& request) {
    // The question prompt: scoring goes on without a question (the scorer has said so).
    if (request.buttons == MessageButtons::kOkCancel) return MessageAnswer::kOk;
    std::fprintf(stderr, "tavi-score: %s: %s\n", SjisToUtf8(request.caption).c_str(), SjisToUtf8(request.text).c_str());
    return MessageAnswer::kOk;
}

}  // namespace tavi
