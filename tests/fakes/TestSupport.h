#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "analysis/Encoding.h"
#include "analysis/MorphemeTable.h"

namespace tavi::test {

// Shift_JIS form of a UTF-8 test literal.
inline std::string S(std::string_view utf8) { return Sjis(utf8); }
// UTF-8 form of a Shift_JIS string, for readable assertion messages.
inline std::string U(std::string_view sjis) { return SjisToUtf8(sjis); }

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

}  // namespace tavi::test
