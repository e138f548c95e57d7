#pragma once

#include <string>

#include "document/MemoryListView.h"

namespace tavi {

// A readable UTF-8 table of the list's rows (path last).
std::string FormatTable(const MemoryListView& view, int rows);

}  // namespace tavi
