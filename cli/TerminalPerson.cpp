#include "cli/TerminalPerson.h"

#include <cstdio>

#include "analysis/Encoding.h"

namespace tavi {

MessageAnswer TerminalPerson::ShowMessageBox(const MessageBoxRequest& request) {
    // The question prompt: scoring goes on without a question (the scorer has said so).
    if (request.buttons == MessageButtons::kOkCancel) return MessageAnswer::kOk;
    ++messagesShown;
    std::fprintf(stderr, "tavi-score: %s: %s\n", SjisToUtf8(request.caption).c_str(),
                 SjisToUtf8(request.text).c_str());
    return MessageAnswer::kOk;
}

bool TerminalPerson::RunQuestionSettings(std::string& path, ScoringParams& params) {
    if (!questionPath.empty()) path = questionPath;
    if (expectedLength) params.expectedLength = *expectedLength;
    if (weights) {
        params.rhetoricWeight = (*weights)[0];
        params.organizationWeight = (*weights)[1];
        params.contentWeight = (*weights)[2];
    }
    if (paragraphMode) params.paragraphMode = *paragraphMode;
    return true;
}

bool TerminalPerson::RunParamDetail(ScoringParams& params) {
    if (!modelPath.empty()) {
        params.modelPath = modelPath;
        params.modelChoice = modelPath == "yoroku2000.tcf" ? 0 : modelPath == "syasetsu2000.tcf" ? 1 : 2;
    }
    return true;
}

}  // namespace tavi
