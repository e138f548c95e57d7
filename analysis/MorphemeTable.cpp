#include "analysis/MorphemeTable.h"

#include <stdexcept>

namespace tavi {

const std::string& MorphemeTable::Element(size_t i) const {
    if (i >= m_elements.size()) throw std::invalid_argument("MorphemeTable: element index out of range");
    return m_elements[i];
}

void MorphemeTable::Set(size_t i, std::string value) {
    // Like an array set-at-grow: the size becomes i + 1; capacity grows in steps of 600.
    if (i >= m_elements.size()) {
        if (i >= m_elements.capacity()) m_elements.reserve((i / kGrowthStep + 1) * kGrowthStep);
        m_elements.resize(i + 1);
    }
    m_elements[i] = std::move(value);
}

void MorphemeTable::Reset(size_t count) {
    m_elements.clear();
    m_elements.resize(count);
}

void MorphemeTable::AppendRow(const Morpheme& m) {
    m_elements.resize(RowCount() * kFieldCount);
    for (const std::string& f : m.fields) m_elements.push_back(f);
}

}  // namespace tavi
