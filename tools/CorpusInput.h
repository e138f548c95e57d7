#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tavi {

// One input of the model builder: a folder of documents or a line file, and the weight that
// each of its documents carries in the model (> 0; see LogEntropyMatrix).
struct CorpusInput {
    std::string path;  // native path
    double weight = 1.0;
};

// One document of a corpus: a file of its own, or one line of a line file.
struct CorpusDocument {
    std::string path;  // the document's own file, or the line file that holds it (native path)
    size_t line = 0;   // 0 for a file of its own; else the line's number (from 1) in `path`
    std::string id;    // a line's id, as written in its first column
    std::string text;  // a line's text, Shift_JIS; empty for a file of its own (read when analysed)
    size_t input = 0;  // the index of its input

    // How messages name the document: "path", or "path:line (id ID)" for a line.
    std::string Name() const;
};

// Lists the documents of the inputs, inputs in the order given.
// - A folder: every regular file directly inside whose name ends in ".txt" (other files, such
//   as an index.tsv, and subfolders are not documents), sorted by name.
// - A regular file: a line file, one document per line: an id, a tab, and the text (UTF-8 or
//   Shift_JIS, decided for the whole file as for a document; LF or CR LF line ends). Empty
//   lines are skipped; a line without a tab, with an empty id or with the id of an earlier line
//   is an error naming the file and the line. Text after a second tab belongs to the text.
// Returns false with a message naming the input when it cannot be listed or read, or holds no
// document.
bool ListCorpusDocuments(const std::vector<CorpusInput>& inputs, std::vector<CorpusDocument>& documents,
                         std::string& error);

}  // namespace tavi
