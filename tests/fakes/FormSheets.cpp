#include "fakes/FormSheets.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <filesystem>

#include "analysis/Encoding.h"
#include "fakes/TestSupport.h"

namespace tavi::test {
namespace {

std::string Answer(const char* sample) {
    std::string text = SjisToUtf8(ReadFileBytes(std::string(TAVI_SAMPLES_DIR) + "/answers/" + sample));
    std::string lf;
    for (char c : text)
        if (c != '\r') lf += c;
    return lf;
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string XmlText(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == '"')
            out += "&quot;";
        else
            out += c;
    }
    return out;
}

std::string Column(size_t c) { return std::string(1, static_cast<char>('A' + c)); }

}  // namespace

const std::vector<std::string> kFormHeader = {"タイムスタンプ", "出席番号", "氏名",
                                              "問1 環境と技術について、あなたの考えを書きなさい。"};

std::vector<FormResponse> SampleResponses() {
    return {{"2026/04/10 9:01:00", "3", "青木 花子",
             "\"環境\"とは何か、まず考えたい。\n" + Answer("a01_long_on_topic.txt")},
            {"2026/04/10 9:02:10", "12", "", Answer("a02_short.txt")},
            {"2026/04/10 9:03:00", "7", "欠席者", ""},
            {"2026/04/10 9:04:30", "21", "千葉 太郎", Answer("a03_off_topic.txt")}};
}

std::string FormCsv(const std::vector<FormResponse>& responses) {
    std::string csv = "\xEF\xBB\xBF";
    auto line = [&](const std::vector<std::string>& cells) {
        for (size_t c = 0; c < cells.size(); ++c) csv += (c ? "," : "") + CsvField(cells[c]);
        csv += "\r\n";
    };
    line(kFormHeader);
    for (const FormResponse& r : responses) line({r.time, r.id, r.name, r.answer});
    return csv;
}

std::string FormWorkbook(const std::vector<FormResponse>& responses) {
    std::vector<std::string> strings;
    auto shared = [&](const std::string& text) {
        strings.push_back(text);
        return std::to_string(strings.size() - 1);
    };
    std::string rows;
    auto row = [&](size_t number, const std::vector<std::string>& cells, bool last) {
        rows += "<row r=\"" + std::to_string(number) + "\">";
        for (size_t c = 0; c < cells.size(); ++c) {
            std::string ref = Column(c) + std::to_string(number);
            if (cells[c].empty()) continue;
            if (number > 1 && c == 1) {
                rows += "<c r=\"" + ref + "\"><v>" + cells[c] + "</v></c>";
            } else if (last && c == 3) {
                rows += "<c r=\"" + ref + "\" t=\"inlineStr\"><is><t xml:space=\"preserve\">" + XmlText(cells[c]) +
                        "</t></is></c>";
            } else {
                rows += "<c r=\"" + ref + "\" t=\"s\" s=\"1\"><v>" + shared(cells[c]) + "</v></c>";
            }
        }
        rows += "</row>";
    };
    row(1, kFormHeader, false);
    for (size_t k = 0; k < responses.size(); ++k) {
        const FormResponse& r = responses[k];
        row(k + 2, {r.time, r.id, r.name, r.answer}, k + 1 == responses.size());
    }
    std::string sst =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<sst "
        "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">";
    for (const std::string& s : strings)
        // Japanese Excel keeps the reading of a text beside it; it is not part of the cell.
        sst += "<si><t xml:space=\"preserve\">" + XmlText(s) +
               "</t><rPh sb=\"0\" eb=\"1\"><t>ヨミ</t></rPh><phoneticPr fontId=\"1\"/></si>";
    sst += "</sst>";
    const std::string main = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
    const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    return ZipOf({{"[Content_Types].xml",
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types "
                   "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>"},
                  {"xl/workbook.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<workbook xmlns=\"" + main +
                                          "\" xmlns:r=\"" + rel +
                                          "\"><sheets><sheet name=\"Form1\" sheetId=\"1\" r:id=\"rId3\"/>"
                                          "<sheet name=\"集計\" sheetId=\"2\" r:id=\"rId1\"/></sheets></workbook>"},
                  {"xl/_rels/workbook.xml.rels",
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Relationships "
                   "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                   "<Relationship Id=\"rId1\" Type=\"" +
                       rel +
                       "/worksheet\" Target=\"worksheets/sheet1.xml\"/>"
                       "<Relationship Id=\"rId2\" Type=\"" +
                       rel +
                       "/sharedStrings\" Target=\"sharedStrings.xml\"/>"
                       "<Relationship Id=\"rId3\" Type=\"" +
                       rel +
                       "/worksheet\" Target=\"/xl/worksheets/form.xml\"/>"
                       "</Relationships>"},
                  {"xl/sharedStrings.xml", sst},
                  {"xl/worksheets/sheet1.xml", "<worksheet xmlns=\"" + main +
                                                   "\"><sheetData><row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>"
                                                   "集計</t></is></c></row></sheetData></worksheet>"},
                  {"xl/worksheets/form.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<worksheet xmlns=\"" + main +
                                                 "\"><dimension ref=\"A1:D5\"/><sheetData>" + rows +
                                                 "</sheetData></worksheet>"}});
}

std::string ZipOf(const std::vector<std::pair<std::string, std::string>>& parts) {
    std::string path = WriteTempFile("zip-of/" + std::to_string(reinterpret_cast<uintptr_t>(&parts)) + ".zip", "");
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    EXPECT_NE(archive, nullptr) << path;
    if (!archive) return {};
    for (const auto& [member, content] : parts) {
        zip_source_t* source = zip_source_buffer(archive, content.data(), content.size(), 0);
        EXPECT_GE(zip_file_add(archive, member.c_str(), source, ZIP_FL_ENC_UTF_8), 0) << member;
    }
    EXPECT_EQ(zip_close(archive), 0) << zip_strerror(archive);
    std::string bytes = ReadFileBytes(path);
    std::filesystem::remove(path);
    return bytes;
}

}  // namespace tavi::test
