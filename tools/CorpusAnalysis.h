#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "analysis/AnalyzerBinding.h"
#include "tools/CorpusInput.h"
#include "tools/TermCounts.h"

namespace tavi {

// What the analysis of one document gave.
struct DocumentAnalysis {
    bool hasText = false;  // false for a file that yields no text under the paragraph rule
    TermCounts counts;     // its content nouns by key form
};

// Reads one document the way the scorer reads an answer in paragraph mode 0 (a file of its own,
// UTF-8 or Shift_JIS; a line's text, as one paragraph), analyses it and counts its content
// nouns. Returns false with a message naming the document when its file cannot be read (only a
// regular file is: a FIFO is refused, not waited for) or the analyser cannot be loaded.
bool AnalyseDocument(const CorpusDocument& document, AnalyzerBinding& analyzer, DocumentAnalysis& result,
                     std::string& error);

// Receives each document's analysis, strictly in the order of the documents.
using DocumentSink = std::function<void(size_t index, DocumentAnalysis&& analysis)>;

// Analyses every document and hands the results to `sink` in their order. With more than one
// worker, the documents are shared round-robin among that many child processes, each with an
// analyser of its own (the analyser keeps process-wide state and is not reentrant); the results
// are the same as with one. `progress`, when set, is called after each document with the
// number done so far. Returns false with a message at the first document that fails, or when
// a worker process ends early.
bool AnalyseDocuments(const std::vector<CorpusDocument>& paths, int workers, const DocumentSink& sink,
                      const std::function<void(size_t done)>& progress, std::string& error);

}  // namespace tavi
