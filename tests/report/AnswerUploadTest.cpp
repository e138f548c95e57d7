// Uploaded files read from memory (the browser's engine) and from a kept file (the server): the
// same answers and texts, a failure to keep one refused with its name, and a sheet's preview.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "fakes/FormSheets.h"
#include "fakes/TestSupport.h"
#include "report/AnswerUpload.h"

namespace tavi {
namespace {

struct Read {
    std::string problem;
    std::vector<UploadedAnswer> answers;
    std::vector<std::string> texts;
};

// Reads the files, each from memory or from a file written for it, into one job's answers.
Read ReadUploads(const std::vector<std::pair<std::string, std::string>>& files, bool fromFiles,
                 const SheetChoice& choice = {}) {
    Read read;
    UploadedAnswers answers;
    answers.keep = [&](size_t number, const std::string& bytes) {
        EXPECT_EQ(number, read.texts.size() + 1);
        read.texts.push_back(bytes);
        return std::string();
    };
    for (const auto& [name, bytes] : files) {
        UploadedFile file{name, {}, bytes};
        if (fromFiles) file = {name, test::WriteTempFile("kept-" + std::to_string(read.texts.size()), bytes), {}};
        read.problem = AddUpload(file, UploadLimits(), choice, answers);
        if (!read.problem.empty()) break;
    }
    read.answers = answers.answers;
    return read;
}

std::vector<std::string> Names(const Read& read) {
    std::vector<std::string> names;
    for (const UploadedAnswer& a : read.answers) names.push_back(a.name + "|" + a.source + "|" + a.studentId);
    return names;
}

TEST(AnswerUpload, MemoryAndKeptFilesGiveTheSameAnswers) {
    const std::string docx =
        test::ZipOf({{"word/document.xml",
                      "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:body>" +
                          test::WordParagraphs({"一行目", "二行目"}) + "</w:body></w:document>"}});
    const std::vector<std::pair<std::string, std::string>> files = {
        {"class.zip", test::ZipOf({{"組/a.txt", "回答その一"}, {"組/b.docx", docx}, {"組/.c.txt", "隠し"}})},
        {"form.csv", test::FormCsv(test::SampleResponses())},
        {"d.txt", "回答その四"}};
    Read memory = ReadUploads(files, false), kept = ReadUploads(files, true);
    ASSERT_EQ(memory.problem, "");
    ASSERT_EQ(kept.problem, "");
    const std::vector<std::string> expected = {"a.txt|class.zip|",     "b.docx|class.zip|",     "青木 花子|form.csv|3",
                                               "0003.txt|form.csv|12", "千葉 太郎|form.csv|21", "d.txt|d.txt|"};
    EXPECT_EQ(Names(memory), expected);
    EXPECT_EQ(Names(kept), expected);
    EXPECT_EQ(memory.texts, kept.texts);
    ASSERT_EQ(memory.texts.size(), 6u);
    EXPECT_EQ(memory.texts[1], "一行目\n二行目\n");
}

TEST(AnswerUpload, ABrokenZipInMemoryIsRefusedByName) {
    Read read = ReadUploads({{"class.zip", "PK\x03\x04 no archive"}}, false);
    EXPECT_EQ(read.problem, "class.zip: zip ファイルとして読めません。壊れていないか確かめて、作り直してください。");
    EXPECT_TRUE(read.answers.empty());
}

TEST(AnswerUpload, AnAnswerThatCannotBeKeptIsRefusedWithItsNameAndNotCounted) {
    UploadedAnswers answers;
    answers.keep = [](size_t number, const std::string&) {
        return number == 2 ? std::string("保存できません。") : std::string();
    };
    const std::string zip = test::ZipOf({{"a.txt", "一"}, {"b.txt", "二"}});
    EXPECT_EQ(AddUpload({"class.zip", {}, zip}, UploadLimits(), {}, answers), "class.zip: b.txt: 保存できません。");
    ASSERT_EQ(answers.answers.size(), 1u);
    EXPECT_EQ(answers.answers[0].file, "a.txt");
    EXPECT_EQ(answers.unpacked, std::string("一").size());
}

TEST(AnswerUpload, ASheetsPreviewProposesItsColumnsAndCountsItsAnswers) {
    nlohmann::json preview;
    ASSERT_EQ(SheetPreview("form.xlsx", test::FormWorkbook(test::SampleResponses()), preview), "");
    EXPECT_EQ(preview["columns"], nlohmann::json(test::kFormHeader));
    EXPECT_EQ(preview["proposed"], nlohmann::json({{"text", 4}, {"name", 3}, {"id", 2}}));
    EXPECT_EQ(preview["rows"], 4);
    EXPECT_EQ(preview["answers"], nlohmann::json({4, 4, 3, 3}));
    ASSERT_EQ(preview["sample"].size(), 3u);
    // Long cells are cut to 60 characters and "…".
    std::string cut = preview["sample"][0][3];
    EXPECT_EQ(cut.substr(cut.size() - std::string("…").size()), "…");
    EXPECT_EQ(preview["sample"][1][2], "");
}

TEST(AnswerUpload, APreviewRefusesWhatIsNoSheetAndTooLargeSheets) {
    nlohmann::json preview;
    EXPECT_EQ(SheetPreview("a.txt", "回答", preview),
              "a.txt: 表（.csv または .xlsx）ではありません。表のファイルを選んでください。");
    EXPECT_EQ(SheetPreview("big.csv", std::string(kMaxUploadedSheetBytes + 1, 'a'), preview), SheetTooLarge("big.csv"));
    EXPECT_TRUE(preview.is_null());
}

}  // namespace
}  // namespace tavi
