#pragma once

#include <string>
#include <string_view>

#include "analysis/MorphemeTable.h"

namespace tavi::test {

// The surfaces of `table` in order, with a line feed for each end-of-line row.
inline std::string SpelledText(const MorphemeTable& table) {
    std::string s;
    for (size_t r = 0; r < table.RowCount(); ++r) {
        std::string_view surface = table.Field(r, kSurface);
        s += surface == "EOS" ? std::string_view("\n") : surface;
    }
    return s;
}

// What the analysis of `text` must spell: the text up to its first NUL byte, its last line
// ended by a line feed, without tabs (they separate the analyser's fields).
inline std::string ExpectedSpelling(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    std::string s;
    for (char c : text)
        if (c != '\t') s += c;
    if (text.empty() || text.back() != '\n') s += '\n';
    return s;
}

}  // namespace tavi::test
