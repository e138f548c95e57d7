#include "analysis/WordDocument.h"

#include "analysis/OfficePart.h"

namespace tavi {
namespace {

constexpr const char* kBodyPart = "word/document.xml";

// Unpacks the body part, refusing one that is encrypted or larger than the cap.
bool ReadBodyPart(std::string_view docx, std::string& xml, std::string& error) {
    std::string detail;
    switch (ReadZipPart(docx, kBodyPart, kMaxWordXmlBytes, xml, detail)) {
        case ZipPartStatus::kRead:
            return true;
        case ZipPartStatus::kMissing:
            error = "not a Word document (no word/document.xml in the archive)";
            return false;
        case ZipPartStatus::kEncrypted:
            error = "encrypted Word document";
            return false;
        case ZipPartStatus::kTooLarge:
            error = "Word document too large (word/document.xml unpacks to more than " +
                    std::to_string(kMaxWordXmlBytes >> 20) + " MiB)";
            return false;
        case ZipPartStatus::kNotZip:
        case ZipPartStatus::kDamaged:
            break;
    }
    error = "damaged Word document (" + detail + ")";
    return false;
}

// A paragraph whose mark was deleted as a revision runs on into the next one.
bool MarkDeleted(const pugi::xml_node& paragraph) {
    return XmlChild(XmlChild(XmlChild(paragraph, "pPr"), "rPr"), "del");
}

// Adds what an element gives on entering it; false when its content is not text of the
// body: properties (every "...Pr"), deleted and moved-away revisions, field codes, drawings
// and the fallback copies of alternate content.
bool Enter(const pugi::xml_node& node, std::string& text) {
    std::string_view name = XmlLocalName(node);
    if (name == "t") {
        text += node.child_value();
        return false;
    }
    if (name == "tab") text += '\t';
    if (name == "br" || name == "cr") text += '\n';
    static constexpr std::string_view kSkipped[] = {"del",     "moveFrom", "instrText", "delText", "delInstrText",
                                                    "drawing", "pict",     "object",    "Fallback"};
    for (std::string_view skipped : kSkipped)
        if (name == skipped) return false;
    return !name.ends_with("Pr");
}

void Leave(const pugi::xml_node& node, std::string& text) {
    if (XmlLocalName(node) == "p" && !MarkDeleted(node)) text += '\n';
}

}  // namespace

bool IsWordDocument(std::string_view bytes) { return HasZipPart(bytes, kBodyPart); }

bool ExtractWordText(std::string_view docx, std::string& text, std::string& error) {
    text.clear();
    // Word keeps a document with a password in an OLE compound file, not in a zip archive.
    if (docx.starts_with(std::string_view("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8))) {
        error = "encrypted Word document (or one in the older .doc format)";
        return false;
    }
    std::string xml;
    if (!ReadBodyPart(docx, xml, error)) return false;
    pugi::xml_document document;
    pugi::xml_parse_result parsed =
        document.load_buffer_inplace(xml.data(), xml.size(), pugi::parse_default | pugi::parse_ws_pcdata_single);
    if (!parsed) {
        error = std::string("damaged Word document (word/document.xml: ") + parsed.description() + " at byte " +
                std::to_string(parsed.offset) + ")";
        return false;
    }
    pugi::xml_node body = XmlChild(XmlChild(document, "document"), "body");
    if (!body) {
        error = "damaged Word document (word/document.xml has no body)";
        return false;
    }
    // Document order without recursion, so that deep nesting cannot exhaust the stack.
    pugi::xml_node node = body.first_child();
    while (node) {
        if (Enter(node, text) && node.first_child()) {
            node = node.first_child();
            continue;
        }
        for (;;) {
            Leave(node, text);
            if (pugi::xml_node next = node.next_sibling()) {
                node = next;
                break;
            }
            node = node.parent();
            if (node == body) {
                node = {};
                break;
            }
        }
    }
    return true;
}

}  // namespace tavi
