#include "tools/CorpusCounts.h"

#include <algorithm>

namespace tavi {

void CorpusCounts::AddDocument(const TermCounts& counts, double weight) {
    DocumentEntries entries;
    entries.reserve(counts.size());
    for (const auto& [term, count] : counts) {
        if (count <= 0) continue;
        auto [it, inserted] = m_ids.try_emplace(term, static_cast<uint32_t>(m_terms.size()));
        if (inserted) m_terms.push_back(term);
        entries.emplace_back(it->second, count);
    }
    std::sort(entries.begin(), entries.end());
    m_documents.push_back(std::move(entries));
    m_weights.push_back(weight);
}

std::vector<int32_t> CorpusCounts::DocumentFrequencies() const {
    std::vector<int32_t> frequencies(m_terms.size(), 0);
    for (const DocumentEntries& document : m_documents)
        for (const auto& entry : document) ++frequencies[entry.first];
    return frequencies;
}

}  // namespace tavi
