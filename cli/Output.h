#pragma once

#include <string>

#include "document/CTaviDoc.h"
#include "document/MemoryListView.h"

namespace tavi {

// A readable UTF-8 table of the list's rows (path last).
std::string FormatTable(const MemoryListView& view, int rows);

// The run as UTF-8 JSON: question, parameters and every answer with all its members, then its
// evidence (null unless the document kept it). Numbers that are not finite are null; reals are
// written in their shortest form that reads back to the same double.
std::string FormatJson(const CTaviDoc& doc);

}  // namespace tavi
