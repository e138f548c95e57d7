#include "cli/Table.h"

#include <algorithm>

#include "analysis/Encoding.h"

namespace tavi {

std::string FormatTable(const MemoryListView& view, int rows) {
    constexpr int kColumns = ListView::kColumns;
    // In Shift_JIS a character's bytes are its width on a terminal, so byte counts align columns.
    std::string headers[kColumns];
    size_t widths[kColumns];
    for (int c = 0; c < kColumns; ++c) {
        headers[c] = Sjis(kListColumns[c].shortHeader);
        widths[c] = headers[c].size();
        for (int r = 0; r < rows; ++r) widths[c] = std::max(widths[c], view.Cell(r, c).size());
    }
    auto line = [&](auto cell) {
        std::string sjis;
        for (int c = 0; c < kColumns; ++c) {
            std::string text = cell(c);
            std::string pad(widths[c] - text.size(), ' ');
            bool last = c == kColumns - 1;
            sjis += kListColumns[c].number ? pad + text : text + (last ? "" : pad);
            if (!last) sjis += "  ";
        }
        return SjisToUtf8(sjis) + "\n";
    };
    std::string out = line([&](int c) { return headers[c]; });
    for (int r = 0; r < rows; ++r) out += line([&](int c) { return view.Cell(r, c); });
    return out;
}

}  // namespace tavi
