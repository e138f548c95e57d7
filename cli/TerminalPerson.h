#pragma once

#include <string>

#include "document/Person.h"

namespace tavi {

// The person of the command-line scorer: it only reports. Messages go to stderr in UTF-8, the
// question prompt is answered OK (the scorer warns about a missing question itself); there
// are no dialogs, since the scorer sets the document's values itself.
class TerminalPerson : public Person {
public:
    MessageAnswer ShowMessageBox(const MessageBoxRequest& request) override;
    bool StartProcess(const std::vector<std::string>&) override { return false; }
};

}  // namespace tavi
