#pragma once

#include <string>
#include <vector>

#include "document/Person.h"

namespace tavi {

// The person as the desktop program's dialogs need it: besides what the document asks, a
// Yes/No question and an open dialog for one file. Texts are Shift_JIS, paths native (UTF-8).
class DesktopPerson : public Person {
public:
    // A message box with Yes and No buttons; true for Yes. User-interface thread only.
    virtual bool AskYesNo(const MessageBoxRequest& request) = 0;
    // Open dialog for one existing file; `path` receives a native full path.
    virtual bool ChooseFileToOpen(const FileDialogRequest& request, std::string& path) = 0;
};

// The command that opens a file in the text editor: $TAVI_EDITOR (split at blanks) or
// xdg-open, then the path as one argument, unquoted and unchanged.
std::vector<std::string> EditorCommand(const std::string& nativePath);

}  // namespace tavi
