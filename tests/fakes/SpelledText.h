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

// What the analysis of `text` must spell: the text up to its first NUL byte, without tabs
// (they separate the analyser's fields), ended by a line feed.
inline std::string ExpectedSpelling(std::string_view text) {
    std::string s;
    for (char c : text.substr(0, text.find('\0')))
        if (c != '\t') s += c;
    if (s.empty() || s.back() != '\n') s += '\n';
    return s;
}

}  // namespace tavi::test
