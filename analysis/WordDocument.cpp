#include "analysis/WordDocument.h"

#include <zip.h>

#include <memory>
#include <pugixml.hpp>

namespace tavi {
namespace {

constexpr const char* kBodyPart = "word/document.xml";

struct ZipCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using ZipArchive = std::unique_ptr<zip_t, ZipCloser>;

// Opens zip bytes in place; null with `error` set when they are no zip archive.
ZipArchive OpenZip(std::string_view bytes, std::string* error) {
    zip_error_t failure;
    zip_error_init(&failure);
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &failure);
    zip_t* archive = source ? zip_open_from_source(source, ZIP_RDONLY, &failure) : nullptr;
    if (!archive) {
        if (source) zip_source_free(source);
        if (error) *error = std::string("damaged Word document (") + zip_error_strerror(&failure) + ")";
    }
    zip_error_fini(&failure);
    return ZipArchive(archive);
}

struct ZipFileCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};

// Unpacks the body part, refusing one that is encrypted or larger than the cap.
bool ReadBodyPart(zip_t* archive, std::string& xml, std::string& error) {
    zip_stat_t stat;
    if (zip_stat(archive, kBodyPart, 0, &stat) != 0) {
        error = "not a Word document (no word/document.xml in the archive)";
        return false;
    }
    if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE) {
        error = "encrypted Word document";
        return false;
    }
    std::unique_ptr<zip_file_t, ZipFileCloser> file(zip_fopen(archive, kBodyPart, 0));
    if (!file) {
        error = std::string("damaged Word document (") + zip_strerror(archive) + ")";
        return false;
    }
    // The size the archive states is not trusted: at most the cap and one byte more are unpacked.
    char buffer[65536];
    zip_int64_t n;
    while ((n = zip_fread(file.get(), buffer, sizeof buffer)) > 0) {
        if (static_cast<size_t>(n) > kMaxWordXmlBytes - xml.size()) {
            error = "Word document too large (word/document.xml unpacks to more than " +
                    std::to_string(kMaxWordXmlBytes >> 20) + " MiB)";
            return false;
        }
        xml.append(buffer, static_cast<size_t>(n));
    }
    if (n < 0) {
        error = std::string("damaged Word document (") + zip_file_strerror(file.get()) + ")";
        return false;
    }
    return true;
}

std::string_view LocalName(const pugi::xml_node& node) {
    std::string_view name = node.name();
    size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

pugi::xml_node ChildNamed(const pugi::xml_node& node, std::string_view local) {
    for (pugi::xml_node child : node.children())
        if (LocalName(child) == local) return child;
    return {};
}

// A paragraph whose mark was deleted as a revision runs on into the next one.
bool MarkDeleted(const pugi::xml_node& paragraph) {
    return ChildNamed(ChildNamed(ChildNamed(paragraph, "pPr"), "rPr"), "del");
}

// Adds what an element gives on entering it; false when its content is not text of the
// body: properties (every "...Pr"), deleted and moved-away revisions, field codes, drawings
// and the fallback copies of alternate content.
bool Enter(const pugi::xml_node& node, std::string& text) {
    std::string_view name = LocalName(node);
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
    if (LocalName(node) == "p" && !MarkDeleted(node)) text += '\n';
}

}  // namespace

bool IsWordDocument(std::string_view bytes) {
    if (!bytes.starts_with(std::string_view("PK\x03\x04", 4))) return false;
    ZipArchive archive = OpenZip(bytes, nullptr);
    return archive && zip_name_locate(archive.get(), kBodyPart, 0) >= 0;
}

bool ExtractWordText(std::string_view docx, std::string& text, std::string& error) {
    text.clear();
    // Word keeps a document with a password in an OLE compound file, not in a zip archive.
    if (docx.starts_with(std::string_view("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8))) {
        error = "encrypted Word document (or one in the older .doc format)";
        return false;
    }
    ZipArchive archive = OpenZip(docx, &error);
    std::string xml;
    if (!archive || !ReadBodyPart(archive.get(), xml, error)) return false;
    pugi::xml_document document;
    pugi::xml_parse_result parsed =
        document.load_buffer_inplace(xml.data(), xml.size(), pugi::parse_default | pugi::parse_ws_pcdata_single);
    if (!parsed) {
        error = std::string("damaged Word document (word/document.xml: ") + parsed.description() + " at byte " +
                std::to_string(parsed.offset) + ")";
        return false;
    }
    pugi::xml_node body = ChildNamed(ChildNamed(document, "document"), "body");
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
