#include "tools/TermCounts.h"

#include <algorithm>

namespace tavi {
namespace {

bool CanBeDictionaryLine(const std::string& key) {
    return !key.empty() &&
           std::none_of(key.begin(), key.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

}  // namespace

TermCounts CountContentNouns(const MorphemeTable& table, const MorphemeTools& tools) {
    TermCounts counts;
    std::string key;
    for (size_t row = 0; row < table.RowCount(); ++row) {
        if (!tools.IsContentNoun(table, row)) continue;
        tools.ToHiragana(table.Field(row, kSurface), key);
        if (CanBeDictionaryLine(key)) ++counts[key];
    }
    return counts;
}

}  // namespace tavi
