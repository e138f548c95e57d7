#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "tools/TermCounts.h"

namespace tavi {

// The term counts of a whole corpus, one entry per document in the order added. Terms are
// interned: each distinct key form is stored once and documents refer to it by a term id
// (0-based, in order of first appearance), which keeps large corpora small in memory.
class CorpusCounts {
public:
    // One (term id, occurrences) pair per distinct term of a document, ids rising.
    using DocumentEntries = std::vector<std::pair<uint32_t, int32_t>>;

    // Appends a document of the given weight (> 0; see LogEntropyMatrix). Terms with a count
    // of 0 or less are ignored.
    void AddDocument(const TermCounts& counts, double weight = 1.0);

    size_t DocumentCount() const { return m_documents.size(); }
    size_t TermCount() const { return m_terms.size(); }
    const std::string& Term(uint32_t id) const { return m_terms[id]; }
    const DocumentEntries& Document(size_t index) const { return m_documents[index]; }
    double Weight(size_t index) const { return m_weights[index]; }

    // Number of documents in which each term occurs, indexed by term id.
    std::vector<int32_t> DocumentFrequencies() const;

private:
    std::vector<std::string> m_terms;
    std::unordered_map<std::string, uint32_t> m_ids;
    std::vector<DocumentEntries> m_documents;
    std::vector<double> m_weights;
};

}  // namespace tavi
