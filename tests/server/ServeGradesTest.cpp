// The grades downloads of tavi-serve: every answer's name, scores, mark and note, as CSV for
// spreadsheets and gradebooks and as a workbook.
#include <gtest/gtest.h>
#include <zip.h>

#include <cmath>

#include "server/ServerHarness.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace tavi::test {
namespace {

// The lines of a CSV that quotes line breaks inside fields, split at CR LF outside quotes.
std::vector<std::string> Records(const std::string& csv) {
    std::vector<std::string> records(1);
    bool quoted = false;
    for (size_t k = 0; k < csv.size(); ++k) {
        if (csv[k] == '"') quoted = !quoted;
        if (!quoted && csv.compare(k, 2, "\r\n") == 0) {
            records.emplace_back();
            ++k;
        } else {
            records.back() += csv[k];
        }
    }
    if (records.back().empty()) records.pop_back();
    return records;
}

std::string Fixed3(double v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.3f", v);
    return buffer;
}

TEST(ServeGradesTest, TheGradesHoldEveryNameScoreMarkAndNote) {
    TempFolder temp;
    fs::path data = temp.path / "data";
    ASSERT_TRUE(AddUser(data, "sato", kPassword));
    ASSERT_TRUE(AddUser(data, "suzuki", kPassword));
    ServerProcess server(data);
    Teacher sato(server.port, "sato", kPassword);
    const fs::path samples = fs::path(TAVI_SAMPLES_DIR) / "answers";
    const std::vector<std::string> names = {"山田 花子.txt", "佐藤, \"太郎\".txt", "a07.txt"};
    httplib::MultipartFormDataItems items = {
        {"question", ReadFile(fs::path(TAVI_SAMPLES_DIR) / "question.txt"), "question.txt", "text/plain"},
        {"answers", ReadFile(samples / "a01_long_on_topic.txt"), names[0], "text/plain"},
        {"answers", ReadFile(samples / "a02_short.txt"), names[1], "text/plain"},
        {"answers", ReadFile(samples / "a07_medium.txt"), names[2], "text/plain"}};
    auto created = sato.Upload(items);
    ASSERT_TRUE(created && created->status == 201) << (created ? created->body : "no response");
    std::string id = json::parse(created->body)["id"];
    const std::string job = "/api/jobs/" + id;

    // Before scoring: the names and numbers, no scores.
    std::vector<std::string> before = Records(sato.Get(job + "/grades.csv")->body);
    ASSERT_EQ(before.size(), 4u);
    EXPECT_EQ(before[1], "1,山田 花子.txt,,,,,,,");

    ASSERT_EQ(sato.Post(job + "/start")->status, 202);
    ASSERT_EQ(sato.WaitDone(id)["state"], "done");
    ASSERT_EQ(sato.Put(job + "/answers/1/review", R"({"mark": 8.5, "note": "よく書けている"})")->status, 200);
    ASSERT_EQ(sato.Put(job + "/answers/2/review", R"({"mark": 0, "note": "結論を\n\"はっきり\", 書く"})")->status, 200);

    auto res = sato.Get(job + "/grades.csv");
    ASSERT_EQ(res->status, 200);
    EXPECT_EQ(res->get_header_value("Content-Type"), "text/csv; charset=utf-8");
    EXPECT_NE(res->get_header_value("Content-Disposition").find("grades.csv"), std::string::npos);
    const std::string& csv = res->body;
    ASSERT_EQ(csv.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_EQ(csv.substr(csv.size() - 2), "\r\n");
    std::vector<std::string> records = Records(csv.substr(3));
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0], "番号,氏名,総合,修辞,論理,内容,教員の点数,教員のメモ,コメント");
    for (const std::string& r : records) EXPECT_EQ(r.find('\r'), std::string::npos) << "a bare CR in " << r;

    // Each row: its number, its name, the scores the answer's page shows, the mark and note.
    json answers = sato.Json(job + "/answers");
    ASSERT_EQ(answers.size(), 3u);
    for (size_t k = 0; k < answers.size(); ++k) {
        const json& scores = answers[k]["scores"];
        std::string quotedName = k == 1 ? "\"佐藤, \"\"太郎\"\".txt\"" : names[k];
        std::string start = std::to_string(k + 1) + "," + quotedName + "," + Fixed3(scores["total"]) + "," +
                            Fixed3(scores["rhetoric"]) + "," + Fixed3(scores["organization"]) + "," +
                            Fixed3(scores["content"]) + ",";
        EXPECT_EQ(records[k + 1].substr(0, start.size()), start);
    }
    EXPECT_NE(records[1].find(",8.5,よく書けている,"), std::string::npos) << records[1];
    EXPECT_NE(records[2].find(",0,\"結論を\n\"\"はっきり\"\", 書く\","), std::string::npos) << records[2];
    EXPECT_NE(records[3].find(",,,"), std::string::npos) << "no mark, no note: " << records[3];
    // The comments of a short answer are in its row.
    json second = sato.Json(job + "/answers/2");
    std::string firstComment = second["comments"].get<std::string>();
    firstComment = firstComment.substr(0, firstComment.find('\n'));
    ASSERT_FALSE(firstComment.empty());
    EXPECT_NE(records[2].find(firstComment), std::string::npos);

    // The workbook: a zip with a sheet that names every student.
    auto xlsx = sato.Get(job + "/grades.xlsx");
    ASSERT_EQ(xlsx->status, 200);
    EXPECT_EQ(xlsx->get_header_value("Content-Type"),
              "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet");
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(xlsx->body.data(), xlsx->body.size(), 0, &error);
    zip_t* archive = source ? zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error) : nullptr;
    zip_error_fini(&error);
    ASSERT_NE(archive, nullptr);
    zip_stat_t st;
    ASSERT_EQ(zip_stat(archive, "xl/worksheets/sheet1.xml", 0, &st), 0);
    std::string sheet(static_cast<size_t>(st.size), '\0');
    zip_file_t* file = zip_fopen(archive, "xl/worksheets/sheet1.xml", 0);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(zip_fread(file, sheet.data(), st.size), static_cast<zip_int64_t>(st.size));
    zip_fclose(file);
    zip_close(archive);
    EXPECT_NE(sheet.find("山田 花子.txt"), std::string::npos);
    EXPECT_NE(sheet.find("佐藤, \"太郎\".txt"), std::string::npos);
    EXPECT_NE(sheet.find("<v>8.5</v>"), std::string::npos);

    // Another teacher gets neither.
    Teacher suzuki(server.port, "suzuki", kPassword);
    EXPECT_EQ(suzuki.Get(job + "/grades.csv")->status, 404);
    EXPECT_EQ(suzuki.Get(job + "/grades.xlsx")->status, 404);
}

}  // namespace
}  // namespace tavi::test
