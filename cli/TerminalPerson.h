#pragma once

#include <array>
#include <optional>
#include <string>

#include "document/Person.h"

namespace tavi {

// The person of the command-line scorer: messages go to stderr in UTF-8, the question
// prompt is answered OK (the scorer warns about a missing question itself), and the two
// settings dialogs take the values that the options gave.
class TerminalPerson : public Person {
public:
    MessageAnswer ShowMessageBox(const MessageBoxRequest& request) override;
    bool ChooseFilesToOpen(const FileDialogRequest&, std::vector<std::string>&) override { return false; }
    bool ChooseFileToSave(const FileDialogRequest&, std::string&) override { return false; }
    bool RunQuestionSettings(std::string& questionPath, ScoringParams& params) override;
    bool RunParamDetail(ScoringParams& params) override;
    bool StartProcess(const std::vector<std::string>&) override { return false; }

    // The values the next settings "dialog" returns; unset members keep the document's.
    std::string questionPath;  // Shift_JIS; empty keeps the current question
    std::optional<double> expectedLength;
    std::optional<std::array<double, 3>> weights;
    std::optional<int> paragraphMode;
    std::string modelPath;  // Shift_JIS; empty keeps the current model
    int messagesShown = 0;
};

}  // namespace tavi
