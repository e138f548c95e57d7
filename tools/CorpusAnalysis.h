#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "analysis/AnalyzerBinding.h"
#include "tools/TermCounts.h"

namespace tavi {

// The documents of corpus folders: the regular files whose name ends in ".txt" directly in
// each folder (other files, such as an index.tsv, and subfolders are not documents), sorted
// by name within a folder, folders in the order given. Returns false with a message when a
// folder cannot be listed or holds no document.
bool ListCorpusDocuments(const std::vector<std::string>& folders, std::vector<std::string>& paths, std::string& error);

// What the analysis of one document gave.
struct DocumentAnalysis {
    bool hasText = false;  // false for a file that yields no text under the paragraph rule
    TermCounts counts;     // its content nouns by key form
};

// Reads one document (native path; UTF-8 or Shift_JIS) the way the scorer reads an answer in
// paragraph mode 0, analyses it and counts its content nouns. Returns false with a message
// naming the file when it cannot be read (only a regular file is: a FIFO is refused, not
// waited for) or the analyser cannot be loaded.
bool AnalyseDocument(const std::string& path, AnalyzerBinding& analyzer, DocumentAnalysis& result, std::string& error);

// Receives each document's analysis, strictly in the order of the paths.
using DocumentSink = std::function<void(size_t index, DocumentAnalysis&& analysis)>;

// Analyses every document and hands the results to `sink` in path order. With more than one
// worker, the documents are shared round-robin among that many child processes, each with an
// analyser of its own (the analyser keeps process-wide state and is not reentrant); the results
// are the same as with one. `progress`, when set, is called after each document with the
// number done so far. Returns false with a message at the first document that fails, or when
// a worker process ends early.
bool AnalyseDocuments(const std::vector<std::string>& paths, int workers, const DocumentSink& sink,
                      const std::function<void(size_t done)>& progress, std::string& error);

}  // namespace tavi
