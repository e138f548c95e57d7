#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "analysis/Encoding.h"
#include "analysis/MorphemeTable.h"

namespace tavi::test {

// Shift_JIS form of a UTF-8 test literal.
inline std::string S(std::string_view utf8) { return Sjis(utf8); }
// UTF-8 form of a Shift_JIS string, for readable assertion messages.
inline std::string U(std::string_view sjis) { return SjisToUtf8(sjis); }

// How many times `part` stands in `text`, not overlapping.
inline size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
    return n;
}

// One hand-written row in UTF-8: surface, reading, base form, part of speech, conjugation type and form.
struct Row {
    std::string surface, reading, baseForm, pos, conjType, conjForm;
};

// A table built from UTF-8 rows; the string "EOS" as a surface alone makes an end-of-line row.
MorphemeTable TableOf(std::initializer_list<Row> rows);
inline Row Eos() { return {"EOS", "EOS", "EOS", "EOS", "EOS", "EOS"}; }

// Writes bytes to a fresh file under the test's temporary folder and returns its path.
std::string WriteTempFile(const std::string& name, std::string_view bytes);
// A fresh, empty temporary folder for the running test.
std::string TempDir();
// Reads a whole file; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);

// Writes a Word document (.docx) under the test's temporary folder and returns its path. `body`
// is the content of w:body (UTF-8 WordprocessingML); `otherParts` are more archive members
// (name, content), such as a header part; `password`, when not empty, encrypts every member.
std::string WriteWordFile(const std::string& name, const std::string& body,
                          std::initializer_list<std::pair<std::string, std::string>> otherParts = {},
                          const std::string& password = "");
// Word paragraphs (w:p, one run each) holding the UTF-8 lines, escaped for XML.
std::string WordParagraphs(const std::vector<std::string>& lines);

}  // namespace tavi::test
