// The grades as a workbook: the parts of a one-sheet .xlsx written with libzip and pugixml.
#include <zip.h>

#include <cstdio>
#include <memory>
#include <pugixml.hpp>
#include <sstream>

#include "report/Grades.h"

namespace tavi {
namespace {

// Text as XML 1.0 takes it: control characters other than tab and line breaks dropped.
std::string XmlText(const std::string& text) {
    std::string out;
    for (unsigned char c : text)
        if (c >= 0x20 || c == '\t' || c == '\n' || c == '\r') out += static_cast<char>(c);
    return out;
}

// The column letters of a 0-based column (A, B, ..., Z, AA, ...).
std::string ColumnName(size_t column) {
    std::string name;
    for (size_t n = column + 1; n > 0; n = (n - 1) / 26)
        name.insert(name.begin(), static_cast<char>('A' + (n - 1) % 26));
    return name;
}

std::string XmlString(const pugi::xml_document& doc) {
    std::ostringstream out;
    doc.save(out, "", pugi::format_raw);
    return out.str();
}

std::string SheetXml(const std::vector<std::vector<GradeCell>>& table) {
    pugi::xml_document doc;
    pugi::xml_node decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    decl.append_attribute("standalone") = "yes";
    pugi::xml_node sheet = doc.append_child("worksheet");
    sheet.append_attribute("xmlns") = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
    pugi::xml_node data = sheet.append_child("sheetData");
    for (size_t r = 0; r < table.size(); ++r) {
        pugi::xml_node row = data.append_child("row");
        row.append_attribute("r") = static_cast<unsigned long long>(r + 1);
        for (size_t c = 0; c < table[r].size(); ++c) {
            const GradeCell& cell = table[r][c];
            if (cell.text.empty()) continue;
            pugi::xml_node node = row.append_child("c");
            node.append_attribute("r") = (ColumnName(c) + std::to_string(r + 1)).c_str();
            if (cell.number) {
                node.append_child("v").text() = cell.text.c_str();
            } else {
                // Inline strings: a text is never read as a formula.
                node.append_attribute("t") = "inlineStr";
                pugi::xml_node t = node.append_child("is").append_child("t");
                t.append_attribute("xml:space") = "preserve";
                t.text() = XmlText(cell.text).c_str();
            }
        }
    }
    return XmlString(doc);
}

}  // namespace

std::string GradesXlsx(const std::vector<GradeRow>& rows) {
    const std::pair<const char*, std::string> parts[] = {
        {"[Content_Types].xml",
         R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
         R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
         R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
         R"(<Default Extension="xml" ContentType="application/xml"/>)"
         R"(<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>)"
         R"(<Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>)"
         R"(</Types>)"},
        {"_rels/.rels",
         R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
         R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
         R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/>)"
         R"(</Relationships>)"},
        {"xl/workbook.xml", R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
                            R"(<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" )"
                            R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">)"
                            R"(<sheets><sheet name="成績" sheetId="1" r:id="rId1"/></sheets></workbook>)"},
        {"xl/_rels/workbook.xml.rels",
         R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
         R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
         R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/>)"
         R"(</Relationships>)"},
        {"xl/worksheets/sheet1.xml", SheetXml(GradeTable(rows))},
    };
    // The archive is made in memory; libzip copies nothing, so the parts stay alive until it is closed.
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_error_fini(&error);
    if (!buffer) return {};
    zip_source_keep(buffer);
    std::unique_ptr<zip_source_t, decltype(&zip_source_free)> keep(buffer, &zip_source_free);
    zip_t* archive = zip_open_from_source(buffer, ZIP_TRUNCATE, nullptr);
    if (!archive) return {};
    for (const auto& [name, text] : parts) {
        zip_source_t* part = zip_source_buffer(archive, text.data(), text.size(), 0);
        if (!part || zip_file_add(archive, name, part, ZIP_FL_ENC_UTF_8) < 0) {
            zip_source_free(part);
            zip_discard(archive);
            return {};
        }
    }
    if (zip_close(archive) != 0) {
        zip_discard(archive);
        return {};
    }
    if (zip_source_open(buffer) != 0) return {};
    zip_source_seek(buffer, 0, SEEK_END);
    zip_int64_t size = zip_source_tell(buffer);
    zip_source_seek(buffer, 0, SEEK_SET);
    std::string bytes(size > 0 ? static_cast<size_t>(size) : 0, '\0');
    zip_int64_t read = size > 0 ? zip_source_read(buffer, bytes.data(), static_cast<zip_uint64_t>(size)) : -1;
    zip_source_close(buffer);
    if (read != size) return {};
    return bytes;
}

}  // namespace tavi
