#include <gtest/gtest.h>

#include <filesystem>

#include "document/AnswerSources.h"
#include "fakes/FormSheets.h"
#include "fakes/TestSupport.h"

namespace tavi::test {
namespace {

const std::string kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";

// A workbook of one worksheet whose sheetData is `rows`, with the given shared strings.
std::string Workbook(const std::string& rows, const std::string& sharedStrings = "") {
    const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    std::vector<std::pair<std::string, std::string>> parts = {
        {"xl/workbook.xml", "<workbook xmlns=\"" + kMain + "\" xmlns:r=\"" + rel +
                                "\"><sheets><sheet name=\"S\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
        {"xl/_rels/workbook.xml.rels",
         "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
         "<Relationship Id=\"rId1\" Type=\"" +
             rel +
             "/worksheet\" Target=\"worksheets/sheet1.xml\"/>"
             "<Relationship Id=\"rId2\" Type=\"" +
             rel +
             "/sharedStrings\" Target=\"sharedStrings.xml\"/>"
             "</Relationships>"},
        {"xl/worksheets/sheet1.xml",
         "<worksheet xmlns=\"" + kMain + "\"><sheetData>" + rows + "</sheetData></worksheet>"}};
    parts.push_back({"xl/sharedStrings.xml", "<sst xmlns=\"" + kMain + "\">" + sharedStrings + "</sst>"});
    return ZipOf(parts);
}

Sheet Read(const std::string& bytes, const std::string& name, std::string* error = nullptr) {
    Sheet sheet;
    std::string cause;
    bool read = ReadSheetBytes(bytes, name, sheet, cause);
    if (error) *error = cause;
    EXPECT_EQ(read, error == nullptr) << cause;
    return sheet;
}

TEST(FormSheets, AGoogleFormsCsvAndAMicrosoftFormsWorkbookGiveTheSameRows) {
    const std::vector<FormResponse> responses = SampleResponses();
    Sheet csv = Read(FormCsv(responses), "form.csv");
    Sheet xlsx = Read(FormWorkbook(responses), "form.xlsx");
    ASSERT_EQ(csv.rows.size(), responses.size() + 1);
    EXPECT_EQ(csv.rows.front(), kFormHeader);
    for (size_t k = 0; k < responses.size(); ++k) {
        const FormResponse& r = responses[k];
        EXPECT_EQ(csv.rows[k + 1], (std::vector<std::string>{r.time, r.id, r.name, r.answer})) << k;
    }
    // The workbook leaves empty cells out: its rows end earlier but hold the same cells.
    ASSERT_EQ(xlsx.rows.size(), csv.rows.size());
    for (size_t r = 0; r < csv.rows.size(); ++r) {
        std::vector<std::string> cells = xlsx.rows[r];
        cells.resize(csv.rows[r].size());
        EXPECT_EQ(cells, csv.rows[r]) << "row " << r + 1;
    }
    // The header names no answer column: the question's text, the longest, is proposed.
    for (const Sheet* sheet : {&csv, &xlsx}) {
        SheetColumns proposed = ProposeSheetColumns(*sheet);
        EXPECT_EQ(proposed.text, 3u);
        EXPECT_EQ(proposed.name, 2u);
        EXPECT_EQ(proposed.id, 1u);
        EXPECT_EQ(CountSheetAnswers(*sheet, proposed.text), 3u);
    }
}

TEST(FormSheets, ColumnsAreProposedFromTheHeaderExactWordsFirst) {
    auto propose = [](std::vector<std::string> header) {
        Sheet sheet;
        sheet.rows = {std::move(header), {"a", "bb", "ccc", "dddd", "eeeee"}};
        return ProposeSheetColumns(sheet);
    };
    SheetColumns google = propose({"タイムスタンプ", "メールアドレス", "出席番号", "氏名", "問1 回答"});
    EXPECT_EQ(google.text, 4u);
    EXPECT_EQ(google.name, 3u);
    EXPECT_EQ(google.id, 2u);
    // An exact header wins over one that holds the word; earlier words over later ones.
    SheetColumns exact = propose({"回答者の名前", "名前", "番号", "回答の感想", "回答"});
    EXPECT_EQ(exact.text, 4u);
    EXPECT_EQ(exact.name, 1u);
    EXPECT_EQ(exact.id, 2u);
    SheetColumns microsoft = propose({"ID", "開始時刻", "名前", "学籍番号", "本文"});
    EXPECT_EQ(microsoft.text, 4u);
    EXPECT_EQ(microsoft.name, 2u);
    EXPECT_EQ(microsoft.id, 3u);
    // Without an answer word the column with the most text; nothing for a name or an id.
    SheetColumns plain = propose({"a", "b", "c", "d", "e"});
    EXPECT_EQ(plain.text, 4u);
    EXPECT_EQ(plain.name, std::nullopt);
    EXPECT_EQ(plain.id, std::nullopt);
    // The answers' column is never also the name's.
    SheetColumns one = propose({"x", "y", "z", "w", "氏名の欄に回答"});
    EXPECT_EQ(one.text, 4u);
    EXPECT_EQ(one.name, std::nullopt);
}

TEST(FormSheets, WorkbookCellsKeepTheirPlaceAndReadAsExcelShowsThem) {
    Sheet sheet = Read(Workbook("<row r=\"1\"><c r=\"B1\" t=\"s\"><v>0</v></c><c r=\"D1\" t=\"s\"><v>1</v></c></row>"
                                "<row r=\"3\"><c r=\"A3\"><v>2.2999999999999998</v></c><c r=\"C3\" t=\"b\"><v>1</v></c>"
                                "<c t=\"str\"><v>a_x000D_b</v></c><c t=\"inlineStr\"><is><r><t>改</t></r>"
                                "<r><t xml:space=\"preserve\">行 </t></r></is></c></row>",
                                "<si><t>氏名</t><rPh sb=\"0\" eb=\"2\"><t>シメイ</t></rPh></si><si><t>回答</t></si>"),
                       "x.xlsx");
    const std::vector<std::vector<std::string>> expected = {
        {"", "氏名", "", "回答"}, {}, {"2.3", "", "TRUE", "a\rb", "改行 "}};
    EXPECT_EQ(sheet.rows, expected);
}

TEST(FormSheets, DamagedEmptyOrOversizedSheetsAreRefusedWithTheirCause) {
    std::string error;
    const std::string good = FormWorkbook(SampleResponses());
    Read(good.substr(0, good.size() / 2), "cut.xlsx", &error);
    EXPECT_EQ(error.rfind("cut.xlsx: Excel のブック（.xlsx）として読めません", 0), 0u) << error;
    Read("not a zip", "named.xlsx", &error);
    EXPECT_EQ(error.rfind("named.xlsx: Excel のブック", 0), 0u) << error;
    Read(ZipOf({{"word/document.xml", "<w:document/>"}}), "word.xlsx", &error);
    EXPECT_NE(error.find("xl/workbook.xml がありません"), std::string::npos) << error;
    Read(Workbook("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>5</v></c></row>"), "s.xlsx", &error);
    EXPECT_NE(error.find("共有文字列「5」"), std::string::npos) << error;
    Read(Workbook("<row r=\"2\"/><row r=\"1\"/>"), "order.xlsx", &error);
    EXPECT_NE(error.find("行番号「1」"), std::string::npos) << error;
    Read(Workbook("<row r=\"1\"><c r=\"B1\"><v>1</v></c><c r=\"A1\"><v>2</v></c></row>"), "cells.xlsx", &error);
    EXPECT_NE(error.find("セル「A1」"), std::string::npos) << error;
    Read(Workbook(""), "empty.xlsx", &error);
    EXPECT_NE(error.find("表が空です"), std::string::npos) << error;
    Read("\xEF\xBB\xBF", "bom.csv", &error);
    EXPECT_EQ(error.rfind("bom.csv: 表が空です", 0), 0u) << error;
    Read("a,b\n1,\"open\n", "open.csv", &error);
    EXPECT_EQ(error.rfind("open.csv: CSV として読めません（2 行目", 0), 0u) << error;

    // A part that unpacks to far more than it is packed is taken for a zip bomb; so is a sheet
    // whose few cells stand so far apart that the rows between them would fill memory.
    Read(Workbook("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>" + std::string(8 << 20, ' ')), "bomb.xlsx", &error);
    EXPECT_NE(error.find("表が大きすぎます"), std::string::npos) << error;
    std::string spread;
    for (int r = 1; r <= 300; ++r)
        spread += "<row r=\"" + std::to_string(r) + "\"><c r=\"XFD" + std::to_string(r) + "\"/></row>";
    Read(Workbook(spread), "spread.xlsx", &error);
    EXPECT_NE(error.find("表が大きすぎます"), std::string::npos) << error;
    Read(Workbook("<row r=\"1\"><c r=\"XFE1\"/></row>"), "wide.xlsx", &error);
    EXPECT_NE(error.find("セル「XFE1」"), std::string::npos) << error;
}

TEST(FormSheets, WorkbooksAreSheetFilesAndImportLikeCsvSheets) {
    EXPECT_TRUE(IsSheetFile("/a/b/回答.XLSX"));
    EXPECT_TRUE(IsSheetFile("x.csv"));
    EXPECT_FALSE(IsSheetFile("x.docx"));
    EXPECT_FALSE(IsSheetFile("/a/.xlsx/x.txt"));
    const std::string path = WriteTempFile("form.xlsx", FormWorkbook(SampleResponses()));
    WriteTempFile("b.txt", "x");
    std::vector<std::string> files;
    std::string error;
    ASSERT_TRUE(AnswerFilesOf(TempDir(), files, error)) << error;
    EXPECT_EQ(files, (std::vector<std::string>{TempDir() + "/b.txt", path}));
    Sheet sheet;
    ASSERT_TRUE(ReadSheet(path, sheet, error)) << error;
    std::vector<std::string> written;
    ASSERT_TRUE(ImportSheet(path, sheet, 3, 2, written, error)) << error;
    const std::string folder = TempDir() + "/form_answers/";
    EXPECT_EQ(written, (std::vector<std::string>{folder + "0002_青木 花子.txt", folder + "0003.txt",
                                                 folder + "0005_千葉 太郎.txt"}));
    EXPECT_EQ(ReadFileBytes(written[0]), SampleResponses()[0].answer);
    EXPECT_EQ(SheetAnswerFileName(12, "a/b"), "0012_a_b.txt");
}

}  // namespace
}  // namespace tavi::test
