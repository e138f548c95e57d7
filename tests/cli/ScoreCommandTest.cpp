#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <nlohmann/json.hpp>

#include "analysis/Encoding.h"
#include "fakes/FormSheets.h"
#include "fakes/SampleRun.h"
#include "fakes/TestSupport.h"
#include "report/RecordCodec.h"

namespace tavi::test {
namespace {

const std::string kSamples = TAVI_SAMPLES_DIR;
const std::string kScore = std::string(TAVI_BIN_DIR) + "/tavi-score";

struct CommandRun {
    int status = -1;
    std::string out, err;
};

// Runs tavi-score with the given arguments (a shell command line) and collects its output.
CommandRun Score(const std::string& args, const std::string& env = "") {
    std::string dir = TempDir();
    std::string command = env + " " + kScore + " " + args + " >" + dir + "/out 2>" + dir + "/err";
    CommandRun run;
    int rc = std::system(command.c_str());
    run.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    run.out = ReadFileBytes(dir + "/out");
    run.err = ReadFileBytes(dir + "/err");
    return run;
}

std::string SampleArgs() { return "-q " + kSamples + "/question.txt " + kSamples + "/answers"; }

// The sample paths replaced by a placeholder, so the golden files do not depend on the checkout.
std::string Portable(std::string text) {
    for (size_t at; (at = text.find(kSamples)) != std::string::npos;) text.replace(at, kSamples.size(), "@SAMPLES@");
    return text;
}

TEST(ScoreCommand, UsageErrorsExitWith2) {
    EXPECT_EQ(Score("").status, 2);
    EXPECT_EQ(Score("-w 1:2 " + kSamples + "/answers").status, 2);
    EXPECT_EQ(Score("--format xml " + kSamples + "/answers").status, 2);
    EXPECT_EQ(Score("-p 3 " + kSamples + "/answers").status, 2);
    CommandRun missing = Score(kSamples + "/no-such-answer.txt");
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("no-such-answer.txt"), std::string::npos);
    EXPECT_EQ(Score("--help").status, 0);
}

TEST(ScoreCommand, ValuesOutOfRangeAreUsageErrorsNamingTheOption) {
    const std::pair<const char*, const char*> cases[] = {
        {"-l 0", "--expected-length"},
        {"-l -5", "--expected-length"},
        {"-l nan", "--expected-length"},
        {"-l 2e6", "--expected-length takes a positive number of characters up to 1000000"},
        {"-w 1:-1:1", "--weights takes three numbers that are not negative"},
        {"-w 0:0:0", "--weights takes three numbers that are not negative"},
        {"-w inf:1:1", "--weights takes three numbers that are not negative"},
        {"-w 1:x:1", "--weights takes three numbers as R:O:C"},
        {"-w 1:2:3:4", "--weights takes three numbers as R:O:C"}};
    for (auto [args, option] : cases) {
        CommandRun run = Score(std::string(args) + " " + kSamples + "/answers");
        EXPECT_EQ(run.status, 2) << args;
        EXPECT_NE(run.err.find(option), std::string::npos) << args << ": " << run.err;
    }
}

TEST(ScoreCommand, ASheetIsImportedAndScoresAsTheFilesItWrites) {
    std::string sheet = "名前,回答\n";
    for (const char* name : {"a01_long_on_topic", "a13_utf8"}) {
        std::string text = ReadFileBytes(kSamples + "/answers/" + name + ".txt");
        if (!IsValidUtf8(text)) text = SjisToUtf8(text);
        std::string quoted;
        for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
        sheet += std::string(name) + ",\"" + quoted + "\"\n";
    }
    sheet += "tricky,\"環境は、\"\"大切\"\"だ。\n技術, 経済も。\"\n";
    const std::string path = WriteTempFile("sheet.csv", sheet);
    const std::string question = "-q " + kSamples + "/question.txt ";

    CommandRun imported = Score("--format csv --text-column 回答 --name-column 1 " + question + path);
    ASSERT_EQ(imported.status, 0) << imported.err;
    EXPECT_EQ(ReadFileBytes(TempDir() + "/sheet_answers/0004_tricky.txt"), "環境は、\"大切\"だ。\n技術, 経済も。");
    CommandRun files = Score("--format csv " + question + TempDir() + "/sheet_answers");
    ASSERT_EQ(files.status, 0) << files.err;
    EXPECT_EQ(imported.out, files.out);
    EXPECT_NE(files.out.find(Sjis("0002_a01_long_on_topic.txt")), std::string::npos);

    CommandRun noColumn = Score(question + path);
    EXPECT_EQ(noColumn.status, 2);
    EXPECT_NE(noColumn.err.find("--text-column"), std::string::npos) << noColumn.err;
    CommandRun unknown = Score("--text-column 感想 " + question + path);
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("--text-column \"感想\""), std::string::npos) << unknown.err;
}

TEST(ScoreCommand, AFormWorkbookScoresAsTheSameFormsCsv) {
    const std::string question = "-q " + kSamples + "/question.txt ";
    const std::string columns = "--format csv --text-column 4 --name-column 氏名 ";
    const std::string csv = WriteTempFile("csv/form.csv", FormCsv(SampleResponses()));
    const std::string xlsx = WriteTempFile("xlsx/form.xlsx", FormWorkbook(SampleResponses()));
    CommandRun fromCsv = Score(columns + question + csv);
    ASSERT_EQ(fromCsv.status, 0) << fromCsv.err;
    // A folder gives its workbooks as sheets too.
    CommandRun fromXlsx = Score(columns + question + TempDir() + "/xlsx");
    ASSERT_EQ(fromXlsx.status, 0) << fromXlsx.err;
    auto withoutFolder = [](std::string text, const std::string& folder) {
        for (size_t at; (at = text.find(folder)) != std::string::npos;) text.erase(at, folder.size());
        return text;
    };
    EXPECT_EQ(withoutFolder(fromXlsx.out, TempDir() + "/xlsx/"), withoutFolder(fromCsv.out, TempDir() + "/csv/"));
    EXPECT_NE(fromXlsx.out.find(Sjis(",0005_千葉 太郎.txt,")), std::string::npos);
    EXPECT_EQ(ReadFileBytes(TempDir() + "/xlsx/form_answers/0002_青木 花子.txt"), SampleResponses()[0].answer);

    const std::string damaged = WriteTempFile("bad.xlsx", FormWorkbook(SampleResponses()).substr(0, 300));
    CommandRun refused = Score(columns + question + damaged);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find(damaged + ": Excel のブック（.xlsx）として読めません"), std::string::npos)
        << refused.err;
}

TEST(ScoreCommand, ACorruptWordAnswerIsNamedWithItsCauseAndScoredEmpty) {
    std::string good = WriteWordFile("good.docx", WordParagraphs({"本文です。"}));
    std::string corrupt = WriteTempFile("corrupt.docx", ReadFileBytes(good).substr(0, 100));
    CommandRun run = Score("-q " + kSamples + "/question.txt " + corrupt + " " + good);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find(corrupt + ": damaged Word document"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("good.docx"), std::string::npos) << run.err;
}

TEST(ScoreCommand, FailuresExitWith1AndNameTheCause) {
    CommandRun noAnalyser = Score(SampleArgs(), "TAVI_ANALYZER_LIBRARY=libtavi-none.so");
    EXPECT_EQ(noAnalyser.status, 1);
    EXPECT_NE(noAnalyser.err.find("libchasen"), std::string::npos);
    CommandRun badQuestion = Score("-q /nonexistent/question.txt " + kSamples + "/answers");
    EXPECT_EQ(badQuestion.status, 1);
    EXPECT_NE(badQuestion.err.find("/nonexistent/question.txt"), std::string::npos);
    CommandRun badModel = Score("-m /nonexistent/model.tcf " + SampleArgs());
    EXPECT_EQ(badModel.status, 1);
    EXPECT_NE(badModel.err.find("/nonexistent/model.tcf"), std::string::npos);
    std::string notParams = WriteTempFile("bad.prm", "not a parameter file");
    EXPECT_EQ(Score("--params " + notParams).status, 1);
}

TEST(ScoreCommand, CsvIsTheDesktopExportByteForByte) {
    CommandRun run = Score("--format csv " + SampleArgs());
    ASSERT_EQ(run.status, 0) << run.err;

    SampleDocument sample;
    std::vector<int> all;
    for (const char* name : SampleDocument::kNames) {
        ASSERT_TRUE(sample.doc->AddAnswer(SampleDocument::AnswerPath(name)));
        all.push_back(static_cast<int>(all.size()));
    }
    sample.doc->ScoreSelected(all);
    sample.person.fileToSave = TempDir() + "/export.csv";
    sample.doc->OnSaveResults();
    EXPECT_EQ(run.out, ReadFileBytes(sample.person.fileToSave));
    EXPECT_EQ(Portable(run.out), ReadFileBytes(std::string(TAVI_TEST_DATA_DIR) + "/cli/samples.csv"));
}

TEST(ScoreCommand, JsonHoldsEveryMemberAndDoesNotDependOnJobs) {
    CommandRun one = Score("--format json -j 1 " + SampleArgs());
    CommandRun two = Score("--format json -j 3 " + SampleArgs());
    ASSERT_EQ(one.status, 0) << one.err;
    // The evidence travels from the worker processes whole.
    EXPECT_EQ(one.out, two.out);

    // Apart from the evidence, the output is the golden one of the run without it: no
    // feature, score or comment changed.
    auto json = nlohmann::ordered_json::parse(one.out);
    auto golden = nlohmann::ordered_json::parse(ReadFileBytes(std::string(TAVI_TEST_DATA_DIR) + "/cli/samples.json"));
    auto withoutEvidence = nlohmann::ordered_json::parse(Portable(one.out));
    for (auto& answer : withoutEvidence["answers"]) {
        ASSERT_TRUE(answer["evidence"].is_object());
        answer.erase("evidence");
    }
    EXPECT_EQ(withoutEvidence, golden);

    EXPECT_EQ(json["question"], kSamples + "/question.txt");
    EXPECT_EQ(json["parameters"].size(), 21u);
    EXPECT_EQ(json["parameters"]["modelPath"], "yoroku2000.tcf");
    ASSERT_EQ(json["answers"].size(), 13u);
    const auto& first = json["answers"][0];
    EXPECT_EQ(first.size(), 37u);  // every member of the record, then its evidence
    EXPECT_EQ((--first.end()).key(), "evidence");
    EXPECT_EQ(first.begin().key(), "id");
    EXPECT_TRUE(first["sentenceStatsCount"].is_number_integer());
    EXPECT_TRUE(first["rhetoricScored"].is_boolean());
    EXPECT_EQ(first["status"], 4);
    EXPECT_DOUBLE_EQ(first["finalScore"].get<double>(),
                     first["weightedTotal"].get<double>() + first["lengthPenalty"].get<double>());
    // An answer without kanji has no kanji-noun runs: its long-reading shares are not numbers.
    const auto& noKanji = json["answers"][3];
    EXPECT_EQ(noKanji["title"], "a04_no_kanji.txt");
    EXPECT_TRUE(noKanji["longReadingShare9"].is_null());
    EXPECT_NE(noKanji["commentText"].get<std::string>().find("漢字が使用されていません。"), std::string::npos);
}

TEST(ScoreCommand, WithoutQuestionAnswersStayUnscored) {
    CommandRun run = Score("--format json " + kSamples + "/answers/a01_long_on_topic.txt");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.err.find("no question"), std::string::npos);
    auto json = nlohmann::json::parse(run.out);
    EXPECT_TRUE(json["question"].is_null());
    EXPECT_EQ(json["answers"][0]["status"], 0);
    EXPECT_TRUE(json["answers"][0]["rhetoricScored"]);
}

TEST(ScoreCommand, ParameterFileRoundTrip) {
    std::string prm = TempDir() + "/run.prm";
    CommandRun first = Score("--format csv -l 400 -w 1:1:1 -p 1 --save-params " + prm + " " + SampleArgs());
    ASSERT_EQ(first.status, 0) << first.err;
    CommandRun again = Score("--format csv --params " + prm);
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.out, first.out);
    CommandRun table = Score("--params " + prm + " -o " + TempDir() + "/table.txt");
    EXPECT_EQ(table.status, 0);
    EXPECT_TRUE(table.out.empty());
    EXPECT_NE(ReadFileBytes(TempDir() + "/table.txt").find("a13_utf8.txt"), std::string::npos);
}

TEST(RecordCodec, RoundTripKeepsEveryMember) {
    EssayRecord r(Sjis("/答案/1.txt"), Sjis("1.txt"));
    r.id = 7;
    r.status = kStatusScored;
    r.sentenceStatsCount = 3;
    r.passiveRate = std::numeric_limits<double>::quiet_NaN();
    r.finalScore = 8.25;
    r.rhetoricScored = true;
    r.AddComment(16, 2);
    EssayRecord back;
    ASSERT_TRUE(DecodeRecord(EncodeRecord(r), back));
    EXPECT_EQ(EncodeRecord(back), EncodeRecord(r));
    EXPECT_EQ(back.commentText, r.commentText);
    EXPECT_EQ(back.AxisComments(EssayRecord::kContentComments), r.AxisComments(EssayRecord::kContentComments));
    EssayRecord inconsistent = r;  // shares that do not add up to the comment text are refused
    inconsistent.axisCommentBytes[EssayRecord::kLengthComments] += 1;
    EXPECT_FALSE(DecodeRecord(EncodeRecord(inconsistent), back));
    EXPECT_TRUE(std::isnan(back.passiveRate));
    EXPECT_FALSE(DecodeRecord(EncodeRecord(r).substr(1), back));
}

}  // namespace
}  // namespace tavi::test
