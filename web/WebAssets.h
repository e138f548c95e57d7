#pragma once

#include <string_view>
#include <vector>

namespace tavi {

// The files of web/ (stylesheet, scripts, page templates), embedded when building. Empty
// for a name that is not one of them.
std::string_view WebAsset(std::string_view name);
// The names of all of them.
std::vector<std::string_view> WebAssetNames();

}  // namespace tavi
