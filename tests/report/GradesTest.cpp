// The grades a gradebook imports: the CSV read back by an RFC 4180 reader, the workbook opened
// with libzip and pugixml, both against the rows they were made from.
#include <gtest/gtest.h>
#include <zip.h>

#include <map>
#include <pugixml.hpp>

#include "report/Grades.h"

namespace tavi {
namespace {

using Table = std::vector<std::vector<std::string>>;

// Reads CSV as RFC 4180 defines it: CR LF between records, quoted fields with doubled quotes.
// Fails the test on a bare LF outside quotes or a stray quote.
Table ReadCsv(const std::string& text) {
    Table table(1, std::vector<std::string>(1));
    bool quoted = false;
    for (size_t k = 0; k < text.size(); ++k) {
        char c = text[k];
        std::string& field = table.back().back();
        if (quoted) {
            if (c == '"' && k + 1 < text.size() && text[k + 1] == '"') {
                field += '"';
                ++k;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            EXPECT_TRUE(field.empty()) << "a quote inside an unquoted field at byte " << k;
            quoted = true;
        } else if (c == ',') {
            table.back().emplace_back();
        } else if (c == '\r') {
            EXPECT_EQ(k + 1 < text.size() ? text[k + 1] : '\0', '\n') << "CR without LF at byte " << k;
            ++k;
            if (k + 1 < text.size()) table.emplace_back(1);
        } else {
            EXPECT_NE(c, '\n') << "a bare LF outside quotes at byte " << k;
            field += c;
        }
    }
    EXPECT_FALSE(quoted) << "an unclosed quote";
    return table;
}

std::string Entry(zip_t* archive, const char* name) {
    zip_stat_t st;
    if (zip_stat(archive, name, 0, &st) != 0) return {};
    zip_file_t* file = zip_fopen(archive, name, 0);
    if (!file) return {};
    std::string bytes(static_cast<size_t>(st.size), '\0');
    zip_int64_t n = zip_fread(file, bytes.data(), st.size);
    zip_fclose(file);
    return n == static_cast<zip_int64_t>(st.size) ? bytes : std::string();
}

// The cells of the workbook's first sheet, found through its relationships as a spreadsheet
// program finds them; numbers as their text, with `numeric` marking which cells are numbers.
Table ReadXlsx(const std::string& bytes, std::map<std::string, bool>* numeric = nullptr) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
    zip_t* archive = source ? zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error) : nullptr;
    zip_error_fini(&error);
    if (!archive) {
        zip_source_free(source);
        ADD_FAILURE() << "not a zip archive";
        return {};
    }
    Table table;
    pugi::xml_document types, workbook, rels, sheet;
    EXPECT_TRUE(types.load_string(Entry(archive, "[Content_Types].xml").c_str()));
    EXPECT_TRUE(workbook.load_string(Entry(archive, "xl/workbook.xml").c_str()));
    EXPECT_TRUE(rels.load_string(Entry(archive, "xl/_rels/workbook.xml.rels").c_str()));
    std::string rid = workbook.child("workbook").child("sheets").child("sheet").attribute("r:id").value();
    std::string target;
    for (pugi::xml_node r : rels.child("Relationships").children("Relationship"))
        if (rid == r.attribute("Id").value()) target = r.attribute("Target").value();
    EXPECT_FALSE(target.empty());
    bool declared = false;
    for (pugi::xml_node o : types.child("Types").children("Override"))
        declared = declared || std::string(o.attribute("PartName").value()) == "/xl/" + target;
    EXPECT_TRUE(declared) << "the sheet has no content type";
    EXPECT_TRUE(sheet.load_string(Entry(archive, ("xl/" + target).c_str()).c_str(),
                                  pugi::parse_default | pugi::parse_ws_pcdata));
    zip_close(archive);
    for (pugi::xml_node row : sheet.child("worksheet").child("sheetData").children("row")) {
        size_t r = row.attribute("r").as_uint();
        if (table.size() < r) table.resize(r);
        for (pugi::xml_node c : row.children("c")) {
            std::string ref = c.attribute("r").value();
            size_t column = 0, k = 0;
            for (; k < ref.size() && ref[k] >= 'A' && ref[k] <= 'Z'; ++k) column = column * 26 + (ref[k] - 'A' + 1);
            EXPECT_EQ(ref.substr(k), std::to_string(r));
            std::vector<std::string>& cells = table[r - 1];
            if (cells.size() < column) cells.resize(column);
            bool inlineText = std::string(c.attribute("t").value()) == "inlineStr";
            cells[column - 1] = inlineText ? c.child("is").child("t").text().get() : c.child("v").text().get();
            if (numeric) (*numeric)[ref] = !inlineText;
        }
    }
    return table;
}

std::vector<GradeRow> Rows() {
    GradeRow scored{1,   "",  "山田 花子", 0.8125,           0.75,
                    0.5, 0.9, 8.5,         "よく書けている", {"文が長すぎます。", "漢字が多すぎます。"}};
    GradeRow tricky{2, "", "佐藤, \"太郎\"\n二行目", 0.25, 0.5, 0.0, 0.125, std::nullopt, "メモ\r\n\"引用\", 以上", {}};
    GradeRow unscored{3, "", "鈴木 一郎", {}, {}, {}, {}, 0, "", {}};
    return {scored, tricky, unscored};
}

TEST(GradesTest, TheCsvHoldsEveryRowForExcelAndSheets) {
    std::string csv = GradesCsv(Rows());
    ASSERT_EQ(csv.substr(0, 3), "\xEF\xBB\xBF") << "no byte order mark";
    Table table = ReadCsv(csv.substr(3));
    ASSERT_EQ(table.size(), 4u);
    EXPECT_EQ(table[0], (std::vector<std::string>{"番号", "氏名", "総合", "修辞", "論理", "内容", "教員の点数",
                                                  "教員のメモ", "コメント"}));
    for (const auto& line : table) EXPECT_EQ(line.size(), 9u);
    EXPECT_EQ(table[1][0], "1");
    EXPECT_EQ(table[1][1], "山田 花子");
    EXPECT_DOUBLE_EQ(std::stod(table[1][2]), 0.8125 - 0.0005) << "three decimals, rounded to even";
    EXPECT_EQ(table[1][6], "8.5");
    EXPECT_EQ(table[1][8], "文が長すぎます。／漢字が多すぎます。");
    // Commas, quotes and line breaks come back as they went in.
    EXPECT_EQ(table[2][1], "佐藤, \"太郎\"\n二行目");
    EXPECT_EQ(table[2][7], "メモ\n\"引用\", 以上") << "a line break within a cell is LF, as spreadsheets keep it";
    EXPECT_EQ(table[2][6], "") << "no mark yet";
    // An unscored answer has no scores, but a mark of 0 is a mark.
    EXPECT_EQ(table[3][2], "");
    EXPECT_EQ(table[3][6], "0");
}

TEST(GradesTest, TextThatASpreadsheetWouldRunAsAFormulaIsKeptAsText) {
    GradeRow row{1,       "",           "=HYPERLINK(\"http://x.example/\",\"名前\")", -0.25, 0.5, 0.0, 0.125, 3,
                 "+1 点", {"@コメント"}};
    Table table = ReadCsv(GradesCsv({row}).substr(3));
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table[1][1], "'=HYPERLINK(\"http://x.example/\",\"名前\")");
    EXPECT_EQ(table[1][7], "'+1 点");
    EXPECT_EQ(table[1][8], "'@コメント");
    EXPECT_EQ(table[1][2], "-0.250") << "a number stays a number";
}

TEST(GradesTest, TheStudentIdTakesTheNumbersPlace) {
    std::vector<GradeRow> rows = Rows();
    rows[0].studentId = "s0042";
    Table table = ReadCsv(GradesCsv(rows).substr(3));
    EXPECT_EQ(table[1][0], "s0042");
    EXPECT_EQ(table[2][0], "2");
}

TEST(GradesTest, TheWorkbookHoldsTheSameCellsAsTheCsv) {
    std::vector<GradeRow> rows = Rows();
    rows[1].note += std::string("\x01\x7f", 2);  // a control character XML cannot carry is dropped
    std::map<std::string, bool> numeric;
    Table sheet = ReadXlsx(GradesXlsx(rows), &numeric);
    Table csv = ReadCsv(GradesCsv(rows).substr(3));
    ASSERT_EQ(sheet.size(), csv.size());
    for (size_t r = 0; r < csv.size(); ++r) {
        sheet[r].resize(csv[r].size());  // empty cells are left out of the sheet
        std::vector<std::string> expected = csv[r];
        if (r == 2) expected[7] = "メモ\n\"引用\", 以上\x7f";
        EXPECT_EQ(sheet[r], expected) << "row " << r + 1;
    }
    // Scores and marks are numbers, names and notes text (never read as a formula).
    EXPECT_TRUE(numeric["C2"]);
    EXPECT_TRUE(numeric["G2"]);
    EXPECT_FALSE(numeric["B2"]);
    EXPECT_FALSE(numeric["H3"]);
}

TEST(GradesTest, AWorkbookWithoutAnswersHasItsHeader) {
    Table sheet = ReadXlsx(GradesXlsx({}));
    ASSERT_EQ(sheet.size(), 1u);
    EXPECT_EQ(sheet[0][1], "氏名");
    EXPECT_EQ(ReadCsv(GradesCsv({}).substr(3)).size(), 1u);
}

}  // namespace
}  // namespace tavi
