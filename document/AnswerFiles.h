#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tavi {

// The extensions (lower case, without the dot) of the files that a folder gives as answers.
// Every way of adding a folder goes through this list.
inline constexpr std::string_view kAnswerFileExtensions[] = {"txt"};

// True when a file name ends in one of kAnswerFileExtensions, in any case.
bool IsAnswerFileName(std::string_view name);

// The answer files that native paths name, in order: a file as it is, a folder as its answer
// files (not those of its subfolders) sorted by name. A folder that cannot be listed gives none.
std::vector<std::string> ExpandAnswerFolders(const std::vector<std::string>& nativePaths);

}  // namespace tavi
