#include "document/AnswerFiles.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace tavi {

bool IsAnswerFileName(std::string_view name) {
    size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return false;
    std::string_view extension = name.substr(dot + 1);
    return std::any_of(std::begin(kAnswerFileExtensions), std::end(kAnswerFileExtensions), [&](std::string_view known) {
        return std::equal(extension.begin(), extension.end(), known.begin(), known.end(),
                          [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
    });
}

std::vector<std::string> ExpandAnswerFolders(const std::vector<std::string>& nativePaths) {
    namespace fs = std::filesystem;
    std::vector<std::string> files;
    for (const std::string& path : nativePaths) {
        std::error_code error;
        if (!fs::is_directory(path, error)) {
            files.push_back(path);
            continue;
        }
        std::vector<std::string> inFolder;
        for (fs::directory_iterator it(path, error), end; !error && it != end; it.increment(error))
            if (it->is_regular_file(error) && IsAnswerFileName(it->path().filename().native()))
                inFolder.push_back(it->path().native());
        std::sort(inFolder.begin(), inFolder.end());
        files.insert(files.end(), inFolder.begin(), inFolder.end());
    }
    return files;
}

}  // namespace tavi
