// Word documents in the browser build: libzip and pugixml have no WebAssembly build here, so a
// .docx file is recognised by its zip signature and refused with a message.
#include "analysis/WordDocument.h"

namespace tavi {

bool IsWordDocument(std::string_view bytes) { return bytes.starts_with(std::string_view("PK\x03\x04", 4)); }

bool ExtractWordText(std::string_view, std::string& text, std::string& error) {
    text.clear();
    error = kWordDocumentsRefused;
    return false;
}

}  // namespace tavi
