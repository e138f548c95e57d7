#include "analysis/MorphemeTable.h"

#include <stdexcept>

namespace tavi {

void MorphemeTable::IndexOutOfRange() { throw std::invalid_argument("MorphemeTable: element index out of range"); }

MorphemeTable::Span& MorphemeTable::Slot(size_t i) {
    // Like an array set-at-grow: the size becomes i + 1; capacity grows in steps of 600.
    if (i >= m_spans.size()) {
        if (i >= m_spans.capacity()) m_spans.reserve((i / kGrowthStep + 1) * kGrowthStep);
        m_spans.resize(i + 1);
    }
    return m_spans[i];
}

void MorphemeTable::Set(size_t i, std::string_view value) {
    Slot(i) = {m_text.size(), value.size()};
    m_text += value;
}

void MorphemeTable::SpanOutsideText() { throw std::invalid_argument("MorphemeTable: span outside the text"); }

void MorphemeTable::Reset(std::string_view text) {
    m_text.assign(text);
    m_spans.clear();
}

void MorphemeTable::AppendRow(const Morpheme& m) {
    m_spans.resize(RowCount() * kFieldCount);
    for (const std::string& f : m.fields) Set(m_spans.size(), f);
}

}  // namespace tavi
