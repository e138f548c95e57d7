#pragma once

#include <string>
#include <string_view>

namespace tavi {

// Bytes of word/document.xml that a Word document may unpack to; an answer's text is far
// shorter, and the cap keeps a zip bomb from filling memory.
constexpr size_t kMaxWordXmlBytes = size_t{64} << 20;

// True when `bytes` is a zip archive holding word/document.xml (a .docx file).
bool IsWordDocument(std::string_view bytes);

// The text of a Word document (.docx bytes) as Word saves it as plain text, UTF-8: each
// paragraph of the body one line ended by a line feed, in document order, the paragraphs of
// table cells included; tabs as tabs, line and page breaks as line feeds; inserted revisions
// kept, deleted ones, field codes and drawings left out. Headers, footers, notes and comments
// live in other parts of the archive and are not read. False with `error` (the cause, without
// the file name) for a damaged, encrypted or oversized document; `text` is then empty.
bool ExtractWordText(std::string_view docx, std::string& text, std::string& error);

}  // namespace tavi
