#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "analysis/Morpheme.h"

namespace tavi {

// The morphemes of one text in text order, stored flat: field k of row r is element 6*r + k.
// The elements are views into one buffer of text held by the table, so splitting an
// analysis copies it once instead of making a string per field.
// Reading an element outside the array throws std::invalid_argument.
// Not thread-safe; each scoring thread uses its own table.
class MorphemeTable {
public:
    static constexpr size_t kGrowthStep = 600;

    // Number of whole rows: element count / 6, rounded down.
    size_t RowCount() const { return m_spans.size() / kFieldCount; }
    size_t ElementCount() const { return m_spans.size(); }

    // Element i; throws std::invalid_argument when i is outside the array. The view stays
    // valid until the table is next changed.
    std::string_view Element(size_t i) const {
        if (i >= m_spans.size()) IndexOutOfRange();
        return std::string_view(m_text.data() + m_spans[i].offset, m_spans[i].length);
    }
    // Field k of row r; throws std::invalid_argument when outside the array.
    std::string_view Field(size_t row, int field) const { return Element(row * kFieldCount + field); }

    // Stores `value` at element i; the array grows to i + 1 elements when needed.
    void Set(size_t i, std::string_view value);
    // Empties the table and takes `text` as the text that AppendSpan refers to.
    void Reset(std::string_view text = {});
    // Appends an element holding bytes [offset, offset + length) of the text given to Reset.
    void AppendSpan(size_t offset, size_t length) {
        if (offset > m_text.size() || length > m_text.size() - offset) SpanOutsideText();
        m_spans.push_back({offset, length});
    }
    void Clear() { Reset(); }

    // Appends one row (used to build tables by hand, e.g. in tests).
    void AppendRow(const Morpheme& m);

private:
    struct Span {
        size_t offset = 0;
        size_t length = 0;
    };
    Span& Slot(size_t i);
    [[noreturn]] static void SpanOutsideText();
    [[noreturn]] static void IndexOutOfRange();

    std::string m_text;
    std::vector<Span> m_spans;
};

}  // namespace tavi
