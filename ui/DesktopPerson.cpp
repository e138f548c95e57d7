#include "ui/DesktopPerson.h"

#include <cstdlib>
#include <sstream>

namespace tavi {

std::vector<std::string> EditorCommand(const std::string& nativePath) {
    std::vector<std::string> command;
    if (const char* editor = std::getenv("TAVI_EDITOR"); editor && *editor) {
        std::istringstream words(editor);
        for (std::string word; words >> word;) command.push_back(word);
    }
    if (command.empty()) command.push_back("xdg-open");
    command.push_back(nativePath);
    return command;
}

}  // namespace tavi
