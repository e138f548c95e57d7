// Writes the Word documents, zips and sheets that the browser build's tests read into a folder:
// OfficeFixtures FOLDER SAMPLE_ANSWER. The good ones (a .docx of the sample answer, a Google
// Forms CSV, a Microsoft Forms workbook, a sheet of numbers, a Shift_JIS CSV, a zip of answers)
// and the damaged ones (cut off, malformed XML or CSV, encrypted, a zip bomb).
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "analysis/Encoding.h"
#include "fakes/FormSheets.h"
#include "fakes/TestSupport.h"

namespace {

using tavi::test::ZipOf;

const std::string kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const std::string kTypes =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types "
    "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>";

std::string WordDocument(const std::string& body) {
    return ZipOf({{"[Content_Types].xml", kTypes},
                  {"word/document.xml",
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<w:document "
                   "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:body>" +
                       body + "</w:body></w:document>"}});
}

// A workbook of one worksheet whose rows are given as XML.
std::string Workbook(const std::string& rows) {
    const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    return ZipOf(
        {{"[Content_Types].xml", kTypes},
         {"xl/workbook.xml", "<workbook xmlns=\"" + kMain + "\" xmlns:r=\"" + rel +
                                 "\"><sheets><sheet name=\"1\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
         {"xl/_rels/workbook.xml.rels",
          "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
          "<Relationship Id=\"rId1\" Type=\"" +
              rel + "/worksheet\" Target=\"worksheets/sheet1.xml\"/></Relationships>"},
         {"xl/worksheets/sheet1.xml",
          "<worksheet xmlns=\"" + kMain + "\"><sheetData>" + rows + "</sheetData></worksheet>"}});
}

// Numbers as Excel may store them, each the name of a row's student beside an answer: shortest
// forms, long fixed ones, exponents, and texts that are no number.
std::string NumbersWorkbook(const std::string& answer) {
    const char* numbers[] = {"100000",      "2.2999999999999998",
                             "1E-7",        "123456789012345680000",
                             "-0",          "0.1",
                             "1.5E+300",    "12345",
                             "1234567.125", "9.999999999999999E+22",
                             " 12",         "+5",
                             "0x1A",        "1e-400",
                             "abc"};
    std::string rows =
        "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>番号</t></is></c>"
        "<c r=\"B1\" t=\"inlineStr\"><is><t>回答</t></is></c></row>";
    int r = 2;
    for (const char* number : numbers) {
        std::string n = std::to_string(r++);
        rows += "<row r=\"" + n + "\"><c r=\"A" + n + "\"><v>" + number + "</v></c><c r=\"B" + n +
                "\" t=\"inlineStr\"><is><t>" + answer + "</t></is></c></row>";
    }
    return Workbook(rows);
}

void Write(const std::string& folder, const std::string& name, const std::string& bytes) {
    std::ofstream out(folder + "/" + name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) std::fprintf(stderr, "%s/%s: cannot be written\n", folder.c_str(), name.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s FOLDER SAMPLE_ANSWER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    const std::string answer = tavi::SjisToUtf8(tavi::test::ReadFileBytes(argv[2]));
    std::vector<std::string> lines;
    for (size_t at = 0; at < answer.size();) {
        size_t end = answer.find('\n', at);
        if (end == std::string::npos) end = answer.size();
        std::string line = answer.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        at = end + 1;
    }
    const std::string docx = WordDocument(tavi::test::WordParagraphs(lines) +
                                          "<w:tbl><w:tr><w:tc><w:p><w:r><w:t>表の中</w:t><w:tab/>"
                                          "<w:t>の文</w:t></w:r></w:p></w:tc></w:tr></w:tbl>");
    Write(folder, "answer.docx", docx);
    Write(folder, "google-form.csv", tavi::test::FormCsv(tavi::test::SampleResponses()));
    Write(folder, "ms-form.xlsx", tavi::test::FormWorkbook(tavi::test::SampleResponses()));
    Write(folder, "numbers.xlsx", NumbersWorkbook(lines.empty() ? "回答" : lines.front()));
    std::string csv = tavi::test::FormCsv(tavi::test::SampleResponses()).substr(3);
    Write(folder, "shift_jis.csv", tavi::Utf8ToSjis(csv));
    // Damaged: cut off, malformed XML, an unclosed quote, and a sheet that unpacks 2,000 times.
    Write(folder, "cut.docx", docx.substr(0, docx.size() / 2));
    Write(folder, "bad-xml.docx", WordDocument("<w:p><w:r><w:t>閉じない</w:r></w:p>"));
    // Encrypted with AES, which the native libzip can decrypt and the WebAssembly one cannot:
    // both refuse it for what it is, before reading it.
    Write(folder, "encrypted.docx",
          tavi::test::ReadFileBytes(tavi::test::WriteWordFile("encrypted.docx", "<w:p/>", {}, "password")));
    const std::string xlsx = tavi::test::FormWorkbook(tavi::test::SampleResponses());
    Write(folder, "cut.xlsx", xlsx.substr(0, xlsx.size() * 2 / 3));
    Write(folder, "bad.csv", "名前,回答\r\n山田,\"閉じない引用符\r\n");
    Write(folder, "bomb.xlsx",
          Workbook("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>回答</t></is></c></row>" +
                   std::string(size_t{4} << 20, ' ')));
    // Answers in a zip, as a teacher sends them: a text, a Word document, a hidden file and a
    // folder's companion that are no answers.
    Write(folder, "answers.zip",
          ZipOf({{"class/a.txt", tavi::test::ReadFileBytes(argv[2])},
                 {"class/b.docx", docx},
                 {"class/.hidden.txt", "hidden"},
                 {"__MACOSX/class/._a.txt", "companion"}}));
    return 0;
}
