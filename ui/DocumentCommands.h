#pragma once

#include "ui/CommandTarget.h"

namespace tavi {

class CTaviDoc;

// The document's place in the command routing: its command handlers and command-state
// handlers, including the states of the list's "score selected" and "delete selected".
class DocumentCommands : public CommandTarget {
public:
    explicit DocumentCommands(CTaviDoc& doc);
};

}  // namespace tavi
