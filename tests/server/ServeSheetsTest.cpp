// tavi-serve over HTTP: answers from form sheets (.csv, .xlsx) and Word files, with the
// students' names and ids.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>

#include "fakes/FormSheets.h"
#include "fakes/TestSupport.h"
#include "server/ServerHarness.h"
#include "server/Store.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace tavi::test {
namespace {

httplib::MultipartFormData Question() {
    return {"question", ReadFile(fs::path(TAVI_SAMPLES_DIR) / "question.txt"), "question.txt", "text/plain"};
}

// The results file of tavi-score on a sheet with the given column options.
std::string TaviScoreSheetCsv(const fs::path& sheet, const std::string& columns) {
    TempFolder out;
    std::string command = std::string(TAVI_BIN_DIR) + "/tavi-score -j 2 --format csv -o '" +
                          (out.path / "r.csv").string() + "' -q '" + TAVI_SAMPLES_DIR + "/question.txt' " + columns +
                          " '" + sheet.string() + "'";
    if (std::system(command.c_str()) != 0) return {};
    return ReadFile(out.path / "r.csv");
}

// The data folder's files (the database's own left out), to see that a request kept nothing.
std::vector<std::string> FilesOf(const fs::path& data) {
    std::vector<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(data))
        if (e.path().filename().string().rfind("tavi.db", 0) != 0) files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

class ServeSheetsTest : public ::testing::Test {
protected:
    void SetUp() override {
        data = temp.path / "data";
        ASSERT_TRUE(AddUser(data, "sato", kPassword));
    }
    // Creates and scores a job; its id, or empty.
    std::string ScoredJob(Teacher& t, const httplib::MultipartFormDataItems& items) {
        auto res = t.Upload(items);
        EXPECT_TRUE(res && res->status == 201) << (res ? res->body : "no response");
        if (!res || res->status != 201) return {};
        std::string id = json::parse(res->body)["id"];
        EXPECT_EQ(t.Post("/api/jobs/" + id + "/start")->status, 202);
        EXPECT_EQ(t.WaitDone(id)["state"], "done");
        return id;
    }
    TempFolder temp;
    fs::path data;
};

TEST_F(ServeSheetsTest, AFormCsvAndAWorkbookGiveTheSameJobAsTaviScoreWithNamesAndIds) {
    ServerProcess server(data);
    Teacher sato(server.port, "sato", kPassword);
    const std::vector<FormResponse> responses = SampleResponses();
    const std::string csv = FormCsv(responses), xlsx = FormWorkbook(responses);
    // The columns are proposed from the header; the fields may follow the sheet.
    std::string fromCsv = ScoredJob(sato, {Question(), {"answers", csv, "form.csv", "text/csv"}});
    std::string fromXlsx = ScoredJob(sato, {Question(),
                                            {"answers", xlsx, "form.xlsx", ""},
                                            {"textColumn", "4", "", ""},
                                            {"nameColumn", "氏名", "", ""},
                                            {"idColumn", "出席番号", "", ""}});
    ASSERT_FALSE(fromCsv.empty());
    ASSERT_FALSE(fromXlsx.empty());

    for (const std::string& id : {fromCsv, fromXlsx}) {
        json answers = sato.Json("/api/jobs/" + id + "/answers");
        ASSERT_EQ(answers.size(), 3u);
        const std::vector<std::tuple<std::string, std::string, std::string, int>> expected = {
            {"青木 花子", "3", "0002_青木 花子.txt", 2},
            {"0003.txt", "12", "0003.txt", 3},
            {"千葉 太郎", "21", "0005_千葉 太郎.txt", 5}};
        for (size_t k = 0; k < expected.size(); ++k) {
            const auto& [name, studentId, file, row] = expected[k];
            EXPECT_EQ(answers[k]["name"], name);
            EXPECT_EQ(answers[k]["studentId"], studentId);
            EXPECT_EQ(answers[k]["file"], file);
            EXPECT_EQ(answers[k]["sheetRow"], row);
            EXPECT_TRUE(answers[k]["scores"].is_object()) << name;
        }
        EXPECT_EQ(answers[0]["source"], id == fromCsv ? "form.csv" : "form.xlsx");
        // The teacher reads the names and ids on the job's page, the answer's page and the report.
        std::string page = sato.Get("/jobs/" + id)->body;
        EXPECT_NE(page.find("青木 花子（3）"), std::string::npos);
        EXPECT_NE(page.find("千葉 太郎（21）"), std::string::npos);
        EXPECT_NE(sato.Get("/jobs/" + id + "/answers/3")->body.find("<title>千葉 太郎（21）"), std::string::npos);
        EXPECT_NE(sato.Get("/api/jobs/" + id + "/report.html")->body.find("0003.txt（12）"), std::string::npos);
        json results = json::parse(sato.Get("/api/jobs/" + id + "/results.json")->body);
        EXPECT_EQ(results["answers"][0]["name"], "青木 花子");
        EXPECT_EQ(results["answers"][2]["studentId"], "21");
        EXPECT_EQ(results["answers"][2]["title"], "0005_千葉 太郎.txt");
    }
    // Both results files are the one tavi-score writes for the sheet, the students' names in
    // the file-name column as the desktop's import gives them.
    const std::string csvResults = sato.Get("/api/jobs/" + fromCsv + "/results.csv")->body;
    EXPECT_EQ(sato.Get("/api/jobs/" + fromXlsx + "/results.csv")->body, csvResults);
    // The same sheet as Excel saves a CSV: Shift_JIS without a byte-order mark.
    std::string fromSjis = ScoredJob(sato, {Question(), {"answers", Sjis(csv.substr(3)), "form.csv", ""}});
    EXPECT_EQ(sato.Get("/api/jobs/" + fromSjis + "/results.csv")->body, csvResults);
    EXPECT_NE(csvResults.find(Sjis(",0002_青木 花子.txt,")), std::string::npos);
    for (const auto& [name, bytes] : {std::pair{"form.csv", csv}, std::pair{"form.xlsx", xlsx}}) {
        std::ofstream(temp.path / name, std::ios::binary) << bytes;
        std::string expected = TaviScoreSheetCsv(temp.path / name, "--text-column 4 --name-column 氏名");
        ASSERT_FALSE(expected.empty()) << name;
        EXPECT_EQ(WithoutPaths(csvResults), WithoutPaths(expected)) << name;
    }
}

TEST_F(ServeSheetsTest, AWordAnswerScoresAsItsText) {
    ServerProcess server(data);
    Teacher sato(server.port, "sato", kPassword);
    const std::string text = SjisToUtf8(ReadFile(fs::path(TAVI_SAMPLES_DIR) / "answers" / "a05_connectives.txt"));
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else if (c != '\r') {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    const std::string docx = ReadFileBytes(WriteWordFile("a.docx", WordParagraphs(lines)));
    std::string id = ScoredJob(sato, {Question(),
                                      {"answers", text, "as-text.txt", ""},
                                      {"answers", docx, "as-word.docx", ""},
                                      {"answers", MakeZip({{"in/zipped.docx", docx}}), "word.zip", ""}});
    json answers = sato.Json("/api/jobs/" + id + "/answers");
    ASSERT_EQ(answers.size(), 3u);
    EXPECT_EQ(answers[1]["name"], "as-word.docx");
    EXPECT_EQ(answers[2]["name"], "zipped.docx");
    EXPECT_EQ(answers[2]["source"], "word.zip");
    EXPECT_EQ(answers[1]["scores"], answers[0]["scores"]);
    EXPECT_EQ(answers[2]["scores"], answers[0]["scores"]);
    EXPECT_GT(answers[0]["scores"]["total"].get<double>(), 0);
}

TEST_F(ServeSheetsTest, BadSheetsAreRefusedInJapaneseAndLeaveNothing) {
    ServerProcess server(data);
    Teacher sato(server.port, "sato", kPassword);
    const std::string csv = FormCsv(SampleResponses()), xlsx = FormWorkbook(SampleResponses());
    const std::vector<std::pair<httplib::MultipartFormDataItems, std::string>> cases = {
        {{Question(), {"answers", xlsx.substr(0, xlsx.size() - 40), "form.xlsx", ""}},
         "form.xlsx: Excel のブック（.xlsx）として読めません"},
        {{Question(), {"textColumn", "回答", "", ""}, {"answers", csv, "form.csv", ""}},
         "form.csv: 表の列「回答」が見つかりません。回答の列を選んでください。"},
        {{Question(), {"answers", csv, "form.csv", ""}, {"nameColumn", "9", "", ""}},
         "form.csv: 表の列「9」が見つかりません。氏名の列を選ぶか「なし」にしてください。"},
        {{Question(), {"answers", csv, "form.csv", ""}, {"textColumn", "", "", ""}, {"idColumn", "名簿", "", ""}},
         "form.csv: 表の列「名簿」が見つかりません。番号の列を選ぶか「なし」にしてください。"},
        {{Question(), {"answers", csv, "form.csv", ""}, {"textColumn", "氏名", "", ""}, {"nameColumn", "", "", ""}},
         ""},
        {{Question(), {"answers", "タイムスタンプ,回答\r\n2026,\r\n", "empty.csv", ""}},
         "empty.csv: 回答の列「回答」に回答がありません。回答の列を選んでください。"},
        {{Question(), {"answers", csv, "a.txt", ""}, {"answers", "\xEF\xBB\xBF", "bom.csv", ""}},
         "bom.csv: 表が空です"},
        {{Question(), {"answers", "x", "a.docx", ""}}, "a.docx: Word 文書（.docx）として読めません"}};
    for (const auto& [items, message] : cases) {
        auto res = sato.Upload(items);
        ASSERT_TRUE(res);
        if (message.empty()) {
            // The names as answers: accepted, the answers' column being the teacher's choice.
            EXPECT_EQ(res->status, 201) << res->body;
            EXPECT_EQ(sato.Delete("/api/jobs/" + json::parse(res->body)["id"].get<std::string>())->status, 200);
            continue;
        }
        EXPECT_EQ(res->status, 400) << message;
        EXPECT_NE(json::parse(res->body)["error"].get<std::string>().find(message), std::string::npos) << res->body;
    }
    EXPECT_TRUE(sato.Json("/api/jobs").empty());
    EXPECT_TRUE(fs::is_empty(data / "jobs"));
}

TEST_F(ServeSheetsTest, ASheetIsPreviewedWithItsProposedColumnsAndNothingIsKept) {
    ServerProcess server(data);
    Teacher sato(server.port, "sato", kPassword);
    const std::vector<std::string> before = FilesOf(data);
    for (const auto& [name, bytes] : {std::pair<std::string, std::string>{"form.csv", FormCsv(SampleResponses())},
                                      {"form.xlsx", FormWorkbook(SampleResponses())}}) {
        auto res = sato.client.Post("/api/sheets/columns", sato.Headers(true),
                                    httplib::MultipartFormDataItems{{"sheet", bytes, name, ""}});
        ASSERT_TRUE(res);
        ASSERT_EQ(res->status, 200) << res->body;
        json preview = json::parse(res->body);
        EXPECT_EQ(preview["file"], name);
        EXPECT_EQ(preview["columns"], kFormHeader);
        EXPECT_EQ(preview["proposed"], json::parse(R"({"text": 4, "name": 3, "id": 2})"));
        EXPECT_EQ(preview["rows"], 4);
        EXPECT_EQ(preview["answers"], json::parse("[4, 4, 3, 3]"));
        ASSERT_EQ(preview["sample"].size(), 3u);
        EXPECT_EQ(preview["sample"][0][2], "青木 花子");
        EXPECT_EQ(preview["sample"][1][2], "");
        // Long answers are cut for the preview.
        EXPECT_TRUE(preview["sample"][0][3].get<std::string>().ends_with("…"));
    }
    auto refused = sato.client.Post("/api/sheets/columns", sato.Headers(true),
                                    httplib::MultipartFormDataItems{{"sheet", "PK\x03\x04 broken", "b.xlsx", ""}});
    EXPECT_EQ(refused->status, 400);
    EXPECT_NE(refused->body.find("b.xlsx: Excel のブック"), std::string::npos) << refused->body;
    auto notSheet = sato.client.Post("/api/sheets/columns", sato.Headers(true),
                                     httplib::MultipartFormDataItems{{"sheet", "x", "a.txt", ""}});
    EXPECT_EQ(notSheet->status, 400);
    // Without the session's token nothing is read.
    auto forged = sato.client.Post("/api/sheets/columns", sato.Headers(false),
                                   httplib::MultipartFormDataItems{{"sheet", "a,b", "a.csv", ""}});
    EXPECT_EQ(forged->status, 403);
    EXPECT_EQ(FilesOf(data), before);
}

TEST_F(ServeSheetsTest, AnOlderStoreKeepsItsAnswersAndGainsTheirStudents) {
    fs::create_directories(data);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((data / "old.db").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(db,
                     "CREATE TABLE jobs (id TEXT PRIMARY KEY, user_id INTEGER NOT NULL, name TEXT NOT NULL, "
                     "question TEXT NOT NULL, params TEXT NOT NULL, state TEXT NOT NULL, created INTEGER NOT NULL);"
                     "CREATE TABLE answers (job_id TEXT NOT NULL, number INTEGER NOT NULL, name TEXT NOT NULL, "
                     "failure TEXT, PRIMARY KEY (job_id, number)) WITHOUT ROWID;"
                     "INSERT INTO jobs VALUES ('j1', 1, 'n', 'q.txt', '{}', 'idle', 5);"
                     "INSERT INTO answers VALUES ('j1', 1, 'a01.txt', NULL);",
                     nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(db);
    {
        serve::Store store((data / "old.db").string());
        std::vector<serve::AnswerRow> old = store.Answers("j1", false);
        ASSERT_EQ(old.size(), 1u);
        EXPECT_EQ(old[0].file, "a01.txt");
        EXPECT_EQ(old[0].source, "a01.txt");
        EXPECT_EQ(old[0].studentId, "");
        EXPECT_EQ(old[0].sheetRow, 0);
        serve::JobRow job{"j2", 1, "n", "q.txt", "{}", "idle", 6};
        store.AddJob(job, {{"青木", "3", "0002_青木.txt", "form.csv", 2}});
    }
    serve::Store again((data / "old.db").string());
    std::vector<serve::AnswerRow> added = again.Answers("j2", false);
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(added[0].name, "青木");
    EXPECT_EQ(added[0].studentId, "3");
    EXPECT_EQ(added[0].file, "0002_青木.txt");
    EXPECT_EQ(added[0].source, "form.csv");
    EXPECT_EQ(added[0].sheetRow, 2);
}

}  // namespace
}  // namespace tavi::test
