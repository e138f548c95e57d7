#include "evaluation/EssayEvidence.h"

#include <algorithm>

#include "analysis/Encoding.h"
#include "analysis/MorphemeTable.h"
#include "analysis/MorphemeTools.h"

namespace tavi {

TextPositions::TextPositions(const MorphemeTable& table, std::string_view text) {
    const MorphemeTools tools;
    const size_t rows = table.RowCount();
    m_rows.reserve(rows);
    size_t at = 0;       // byte where the next row is looked for
    uint32_t chars = 0;  // characters before `at`
    // Moves `at` to byte `to` (a character boundary at or after it), counting characters.
    auto advance = [&](size_t to) {
        while (at < to) {
            at += SjisCharLength(text, at);
            ++chars;
        }
    };
    for (size_t r = 0; r < rows; ++r) {
        std::string_view surface = table.Field(r, kSurface);
        size_t lineEnd = text.find('\n', at);
        if (tools.IsEndOfLine(surface)) {
            // Characters that the analyser dropped before the line feed are skipped.
            advance(lineEnd == std::string_view::npos ? text.size() : lineEnd);
            uint32_t begin = chars;
            if (at < text.size()) advance(at + 1);
            m_rows.push_back({begin, chars});
            continue;
        }
        std::string_view line =
            text.substr(at, lineEnd == std::string_view::npos ? std::string_view::npos : lineEnd - at);
        size_t found = surface.empty() ? std::string_view::npos : tools.FindText(line, surface);
        if (found == std::string_view::npos) {
            m_rows.push_back({chars, chars});
            continue;
        }
        advance(at + found);
        uint32_t begin = chars;
        advance(at + surface.size());
        m_rows.push_back({begin, chars});
    }
    advance(text.size());
    m_length = chars;
}

CharacterIndex::CharacterIndex(std::string_view text) : m_text(text) {
    m_starts.reserve(text.size() + 1);
    for (size_t at = 0; at < text.size(); at += SjisCharLength(text, at)) m_starts.push_back(at);
    m_starts.push_back(text.size());
}

std::string_view CharacterIndex::Cut(TextSpan span) const {
    uint32_t last = Characters();
    uint32_t begin = std::min(span.begin, last);
    uint32_t end = std::min(std::max(span.end, begin), last);
    return m_text.substr(m_starts[begin], m_starts[end] - m_starts[begin]);
}

uint32_t CharacterCount(std::string_view sjis) {
    uint32_t chars = 0;
    for (size_t at = 0; at < sjis.size(); at += SjisCharLength(sjis, at)) ++chars;
    return chars;
}

}  // namespace tavi
