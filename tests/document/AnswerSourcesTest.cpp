#include <cstdio>
#include <filesystem>

#include "document/AnswerSources.h"
#include "document/DocumentFixture.h"

namespace tavi::test {
namespace {

const std::string kTricky = "環境は、\"大切\"だ。\r\n技術, 経済も\n\n社会の課題である。";

// A sheet's bytes: a header and rows of name and answer, quoted as RFC 4180 has it.
std::string SheetBytes(const std::vector<std::pair<std::string, std::string>>& rows) {
    std::string bytes = "番号,名前,回答\r\n";
    int n = 0;
    for (const auto& [name, answer] : rows) {
        std::string quoted;
        for (char c : answer) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
        bytes += std::to_string(++n) + "," + name + ",\"" + quoted + "\"\r\n";
    }
    return bytes;
}

TEST(Sheets, ReadInEveryEncodingWithQuotedFieldsKept) {
    const std::string utf8 = SheetBytes({{"田中", kTricky}, {" 空白 ", "x"}});
    Sheet fromUtf8, fromBom, fromSjis;
    std::string error;
    ASSERT_TRUE(ReadSheet(WriteTempFile("u.csv", utf8), fromUtf8, error)) << error;
    ASSERT_TRUE(ReadSheet(WriteTempFile("b.csv", "\xEF\xBB\xBF" + utf8), fromBom, error)) << error;
    ASSERT_TRUE(ReadSheet(WriteTempFile("s.csv", Sjis(utf8)), fromSjis, error)) << error;
    const std::vector<std::vector<std::string>> expected = {
        {"番号", "名前", "回答"}, {"1", "田中", kTricky}, {"2", " 空白 ", "x"}};
    EXPECT_EQ(fromUtf8.rows, expected);
    EXPECT_EQ(fromBom.rows, expected);
    EXPECT_EQ(fromSjis.rows, expected);

    EXPECT_EQ(FindSheetColumn(fromUtf8, "回答"), 2u);
    EXPECT_EQ(FindSheetColumn(fromUtf8, "2"), 1u);
    EXPECT_EQ(FindSheetColumn(fromUtf8, "4"), std::nullopt);
    EXPECT_EQ(FindSheetColumn(fromUtf8, "0"), std::nullopt);
    EXPECT_EQ(FindSheetColumn(fromUtf8, "感想"), std::nullopt);
    EXPECT_EQ(GuessAnswerColumn(fromUtf8), 2u);

    Sheet broken;
    std::string path = WriteTempFile("broken.csv", "a,b\n1,\"unterminated\n");
    EXPECT_FALSE(ReadSheet(path, broken, error));
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_FALSE(ReadSheet(WriteTempFile("empty.csv", ""), broken, error));
}

TEST(Sheets, ImportWritesOneFilePerAnswerAndRewritesThemTheNextTime) {
    std::string sheetPath = WriteTempFile(
        "class 1.csv",
        SheetBytes({{"田中/太郎", kTricky}, {"空欄", " \u3000 "}, {"", "名前のない回答"}, {"🙂 ..", "絵文字"}}));
    Sheet sheet;
    std::string error;
    ASSERT_TRUE(ReadSheet(sheetPath, sheet, error)) << error;
    std::vector<std::string> files;
    ASSERT_TRUE(ImportSheet(sheetPath, sheet, 2, 1, files, error)) << error;
    const std::string folder = TempDir() + "/class 1_answers/";
    EXPECT_EQ(files,
              (std::vector<std::string>{folder + "0002_田中_太郎.txt", folder + "0004.txt", folder + "0005__.txt"}));
    EXPECT_EQ(ReadFileBytes(files[0]), kTricky);
    EXPECT_EQ(CountSheetAnswers(sheet, 2), 3u);

    sheet.rows[1][2] = "書き直した回答";
    std::vector<std::string> again;
    ASSERT_TRUE(ImportSheet(sheetPath, sheet, 2, 1, again, error)) << error;
    EXPECT_EQ(again, files);
    EXPECT_EQ(ReadFileBytes(files[0]), "書き直した回答");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 3);
}

TEST(Sheets, AFolderGivesItsAnswerFilesAndSheetsSortedByName) {
    for (const char* name : {"b.txt", "a.DOCX", "c.csv", "d.prm", "sub/e.txt"}) WriteTempFile(name, "x");
    std::vector<std::string> files;
    std::string error;
    ASSERT_TRUE(AnswerFilesOf(TempDir(), files, error)) << error;
    EXPECT_EQ(files, (std::vector<std::string>{TempDir() + "/a.DOCX", TempDir() + "/b.txt", TempDir() + "/c.csv"}));
    EXPECT_FALSE(AnswerFilesOf(TempDir() + "/none", files, error));
    EXPECT_NE(error.find("/none"), std::string::npos);
}

// Every number and the comments that scoring gave an answer.
std::string Scores(const EssayRecord& r) {
    char numbers[512];
    std::snprintf(numbers, sizeof numbers, "%d %.17g %.17g %.17g %.17g %.17g %.17g %.17g %.17g|", r.status,
                  r.rhetoricScore, r.organizationScore, r.contentSimilarity, r.contentScore, r.weightedTotal,
                  r.textLength, r.lengthPenalty, r.finalScore);
    return numbers + SjisToUtf8(r.commentText);
}

class AnswerFormsTest : public DocumentTest {
protected:
    void SetUp() override {
        DocumentTest::SetUp();
        UseTinyModel();
        SetQuestion(questionPath);
    }
    // Scores every listed answer and gives their scores in list order.
    std::vector<std::string> ScoreAll() {
        std::vector<int> all;
        for (int i = 0; i < doc->GetAnswerCount(); ++i) all.push_back(i);
        doc->ScoreSelected(all);
        std::vector<std::string> scores;
        for (int i : all) scores.push_back(Scores(doc->GetAnswer(i)));
        return scores;
    }
};

TEST_F(AnswerFormsTest, AWordAnswerScoresAsTheTextWithOneLinePerParagraph) {
    const std::vector<std::string> paragraphs = {"環境問題は社会全体の課題である。", "技術と経済の両面から考える。", "",
                                                 "しかし、それは料理と音楽の話ではない。"};
    std::string lines;
    for (const std::string& p : paragraphs) lines += p + "\n";
    doc->AddAnswerFiles({WriteTempFile("answer.txt", lines), WriteWordFile("answer.docx", WordParagraphs(paragraphs))});
    std::vector<std::string> scores = ScoreAll();
    ASSERT_EQ(scores.size(), 2u);
    EXPECT_EQ(scores[1], scores[0]);
    EXPECT_EQ(scores[0].substr(0, 2), "4 ");
    EXPECT_TRUE(person.boxes.empty());
}

TEST_F(AnswerFormsTest, ASheetsRowsScoreAsTheSameTextsGivenAsFiles) {
    const std::vector<std::string> texts = {"環境問題は社会全体の課題である。技術と経済の両面から考える。", kTricky,
                                            "料理と音楽が好きだ。"};
    std::vector<std::string> files;
    for (size_t i = 0; i < texts.size(); ++i)
        files.push_back(WriteTempFile("t" + std::to_string(i) + ".txt", texts[i]));
    doc->AddAnswerFiles(files);
    std::vector<std::pair<std::string, std::string>> rows;
    for (const std::string& text : texts) rows.push_back({"生徒", text});
    size_t askedText = 99;
    std::optional<size_t> askedName;
    person.sheetColumns = [&](const Sheet& sheet, size_t& text, std::optional<size_t>& name) {
        EXPECT_EQ(sheet.rows.size(), 4u);
        askedText = text;
        askedName = name;
        return true;
    };
    const std::string sheet = WriteTempFile("sheet.csv", SheetBytes(rows));
    doc->AddAnswerFiles({sheet});
    EXPECT_EQ(askedText, 2u);  // the header's 回答 and 名前 are proposed
    EXPECT_EQ(askedName, 1u);
    std::vector<std::string> scores = ScoreAll();
    ASSERT_EQ(scores.size(), 6u);
    for (size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(scores[i + 3], scores[i]) << i;
    EXPECT_EQ(SjisToUtf8(doc->GetAnswer(4).path), TempDir() + "/sheet_answers/0003_生徒.txt");

    // Importing again writes the same files, which are then already listed.
    doc->AddAnswerFiles({sheet});
    EXPECT_EQ(doc->GetAnswerCount(), 6);
    ASSERT_EQ(person.BoxTexts().size(), 1u);
    EXPECT_NE(person.BoxTexts()[0].find("sheet_answers/0002_生徒.txt"), std::string::npos);
}

TEST_F(AnswerFormsTest, AnUnreadableWordFileIsAddedScoredEmptyAndReportedWithItsCause) {
    std::string docx = ReadFileBytes(WriteWordFile("good.docx", WordParagraphs({"本文"})));
    std::string corrupt = WriteTempFile("corrupt.docx", docx.substr(0, docx.size() - 40));
    doc->AddAnswerFiles({corrupt, WriteTempFile("empty.txt", "")});
    ASSERT_EQ(doc->GetAnswerCount(), 2);
    ASSERT_EQ(person.BoxTexts().size(), 1u);
    EXPECT_NE(person.BoxTexts()[0].find(corrupt + ": damaged Word document"), std::string::npos)
        << person.BoxTexts()[0];
    std::vector<std::string> scores = ScoreAll();
    EXPECT_EQ(scores[0], scores[1]);
}

}  // namespace
}  // namespace tavi::test
