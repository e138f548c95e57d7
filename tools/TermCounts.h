#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "analysis/MorphemeTable.h"
#include "analysis/MorphemeTools.h"

namespace tavi {

// Occurrences of each content noun of one document, keyed by its key form (the surface form
// with katakana turned into hiragana, Shift_JIS bytes). The map keeps the keys in byte order,
// so every walk over it is deterministic.
using TermCounts = std::map<std::string, int32_t>;

// Counts the rows of an analysed text for which IsContentNoun holds, by the key form of their
// surface form: the same rows and keys that the scorer looks up in a content model. Keys that
// cannot stand on a dictionary line (empty, or holding a control byte such as CR) are skipped.
TermCounts CountContentNouns(const MorphemeTable& table, const MorphemeTools& tools);

}  // namespace tavi
