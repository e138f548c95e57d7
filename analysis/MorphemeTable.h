#pragma once

#include <string>
#include <vector>

#include "analysis/Morpheme.h"

namespace tavi {

// The morphemes of one text in text order, stored flat: field k of row r is element 6*r + k.
// Reading an element outside the array throws std::invalid_argument.
// Not thread-safe; each scoring thread uses its own table.
class MorphemeTable {
public:
    static constexpr size_t kGrowthStep = 600;

    // Number of whole rows: element count / 6, rounded down.
    size_t RowCount() const { return m_elements.size() / kFieldCount; }
    size_t ElementCount() const { return m_elements.size(); }

    // Element i; throws std::invalid_argument when i is outside the array.
    const std::string& Element(size_t i) const;
    // Field k of row r; throws std::invalid_argument when outside the array.
    const std::string& Field(size_t row, int field) const { return Element(row * kFieldCount + field); }

    // Stores `value` at element i; the array grows to i + 1 elements when needed.
    void Set(size_t i, std::string value);
    // Empties the table and sizes it to `count` empty strings.
    void Reset(size_t count);
    void Clear() { m_elements.clear(); }

    // Appends one row (used to build tables by hand, e.g. in tests).
    void AppendRow(const Morpheme& m);

private:
    std::vector<std::string> m_elements;
};

}  // namespace tavi
