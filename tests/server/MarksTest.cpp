// The teacher's marks over HTTP: the full mark, changing a job's parameters and scoring it again,
// the agreement of Tavi with the marks and the fit of the parameters to them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>

#include "server/ServerHarness.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace tavi::test {
namespace {

// tavi-score's results file on the sample question and answers with extra options.
std::string TaviScoreWith(const std::string& options, const std::string& format = "csv") {
    TempFolder out;
    fs::path samples = TAVI_SAMPLES_DIR;
    std::string command = std::string(TAVI_BIN_DIR) + "/tavi-score -j 2 " + options + " --format " + format + " -o '" +
                          (out.path / "r").string() + "' -q '" + (samples / "question.txt").string() + "' '" +
                          (samples / "answers").string() + "'";
    if (std::system(command.c_str()) != 0) return {};
    return ReadFile(out.path / "r");
}

// The job's parameter file scored by tavi-score --params beside copies of the uploaded files:
// its results file, or its JSON with `format` "json".
std::string TaviScoreParamsFile(const std::string& tvp, const std::string& format) {
    TempFolder beside;
    std::ofstream(beside.path / "params.tvp", std::ios::binary) << tvp;
    fs::copy_file(fs::path(TAVI_SAMPLES_DIR) / "question.txt", beside.path / "question.txt");
    for (const auto& e : fs::directory_iterator(fs::path(TAVI_SAMPLES_DIR) / "answers"))
        fs::copy_file(e.path(), beside.path / e.path().filename());
    std::string command = "cd '" + beside.path.string() + "' && " + TAVI_BIN_DIR +
                          "/tavi-score -j 2 --params params.tvp --format " + format + " -o again";
    if (std::system(command.c_str()) != 0) return {};
    return ReadFile(beside.path / "again");
}

// The scores of each answer in results.json, without what the teacher wrote.
json ScoredMembers(const std::string& resultsJson) {
    json answers = json::parse(resultsJson)["answers"];
    // The server's own members: the teacher's review and the student of a sheet.
    for (json& a : answers)
        for (const char* member : {"mark", "note", "name", "studentId"}) a.erase(member);
    return answers;
}

class MarksTest : public ::testing::Test {
protected:
    void SetUp() override {
        data = temp.path / "data";
        ASSERT_TRUE(AddUser(data, "sato", kPassword));
        server = std::make_unique<ServerProcess>(data);
        sato = std::make_unique<Teacher>(server->port, "sato", kPassword);
        ASSERT_EQ(sato->loginStatus, 200);
    }
    // A job of the sample answers with extra form fields, scored to the end when `score`.
    std::string ScoredJob(std::vector<httplib::MultipartFormData> fields = {}, bool score = true) {
        httplib::MultipartFormDataItems items = SampleUpload();
        items.insert(items.end(), fields.begin(), fields.end());
        auto res = sato->Upload(items);
        EXPECT_TRUE(res && res->status == 201) << (res ? res->body : "no response");
        if (!res || res->status != 201) return "";
        std::string id = json::parse(res->body)["id"];
        if (score) {
            EXPECT_EQ(sato->Post("/api/jobs/" + id + "/start")->status, 202);
            EXPECT_EQ(sato->WaitDone(id)["state"], "done");
        }
        return id;
    }
    // Tavi's totals of the job's answers scaled to `fullMark` (the weights summing to `weights`).
    std::vector<double> Scaled(const std::string& id, double fullMark, double weights = 10) {
        std::vector<double> scaled;
        for (const json& a : sato->Json("/api/jobs/" + id + "/answers"))
            scaled.push_back(std::clamp(a["scores"]["total"].get<double>() / weights * fullMark, 0.0, fullMark));
        return scaled;
    }
    int Review(const std::string& id, int number, const std::string& mark) {
        return sato
            ->Put("/api/jobs/" + id + "/answers/" + std::to_string(number) + "/review",
                  R"({"note": "", "mark": )" + mark + "}")
            ->status;
    }
    httplib::Result PutParams(const std::string& id, const json& values) {
        return sato->Put("/api/jobs/" + id + "/params", values.dump());
    }

    TempFolder temp;
    fs::path data;
    std::unique_ptr<ServerProcess> server;
    std::unique_ptr<Teacher> sato;
};

TEST_F(MarksTest, MarksStayBetweenZeroAndTheFullMark) {
    EXPECT_EQ(sato->Upload([] {
                      auto items = SampleUpload();
                      items.push_back({"fullMark", "abc", "", ""});
                      return items;
                  }())
                  ->status,
              400);
    std::string id = ScoredJob({{"fullMark", "20", "", ""}});
    EXPECT_EQ(sato->Json("/api/jobs/" + id)["fullMark"], 20);
    EXPECT_EQ(json::parse(sato->Get("/api/jobs/" + ScoredJob({}, false))->body)["fullMark"], 10);  // the default

    // The page of the finished job is rendered before the marks come (and kept).
    EXPECT_EQ(sato->Get("/jobs/" + id)->body.find("あなたの点数（満点"), std::string::npos);
    EXPECT_EQ(Review(id, 1, "20"), 200);
    EXPECT_EQ(Review(id, 2, "0"), 200);
    EXPECT_EQ(Review(id, 3, "12.5"), 200);
    for (const char* refused : {"20.5", "-1", "150", R"("abc")", R"("7")", "true"}) {
        auto res = sato->Put("/api/jobs/" + id + "/answers/4/review",
                             std::string(R"({"note": "x", "mark": )") + refused + "}");
        EXPECT_EQ(res->status, 400) << refused;
        EXPECT_NE(json::parse(res->body)["error"].get<std::string>().find("点数"), std::string::npos) << refused;
    }
    json answers = sato->Json("/api/jobs/" + id + "/answers");
    EXPECT_EQ(answers[0]["mark"], 20);
    EXPECT_EQ(answers[2]["mark"], 12.5);
    EXPECT_TRUE(answers[3]["mark"].is_null());  // nothing of a refused review was kept
    EXPECT_EQ(answers[3]["note"], "");
    std::string table = sato->Get("/jobs/" + id)->body;  // the marks beside Tavi's totals
    EXPECT_NE(table.find("あなたの点数（満点 20）"), std::string::npos);
    EXPECT_NE(table.find(">12.50</td>"), std::string::npos);
    EXPECT_EQ(Review(id, 1, "null"), 200);
    EXPECT_TRUE(sato->Json("/api/jobs/" + id + "/answers")[0]["mark"].is_null());

    // The full mark cannot fall below a mark given; it can rise.
    auto lower = PutParams(id, {{"fullMark", 10}});
    EXPECT_EQ(lower->status, 400);
    EXPECT_NE(lower->body.find("12.5"), std::string::npos);
    EXPECT_EQ(PutParams(id, {{"fullMark", "0"}})->status, 400);
    EXPECT_EQ(PutParams(id, {{"fullMark", 30}})->status, 200);
    EXPECT_EQ(sato->Json("/api/jobs/" + id)["fullMark"], 30);
    EXPECT_EQ(Review(id, 4, "25"), 200);

    // The answer's form takes the range; the job's table shows the marks beside Tavi's total.
    std::string page = sato->Get("/jobs/" + id + "/answers/4")->body;
    EXPECT_NE(page.find(R"(min="0" max="30")"), std::string::npos);
    table = sato->Get("/jobs/" + id)->body;
    EXPECT_NE(table.find("あなたの点数（満点 30）"), std::string::npos);
    EXPECT_NE(table.find(">25.00</td>"), std::string::npos);
    EXPECT_NE(table.find(">12.50</td>"), std::string::npos);
}

TEST_F(MarksTest, NewWeightsLengthAndRatiosRescoreToTheResultsOfTaviScore) {
    std::string id = ScoredJob();
    ASSERT_EQ(Review(id, 2, "6"), 200);
    auto res = PutParams(id, {{"expectedLength", 400}, {"weights", "2:1:7"}});
    ASSERT_EQ(res->status, 200) << res->body;
    json job = json::parse(res->body);
    EXPECT_EQ(job["rescored"], "features");  // from the stored features: no answer read again
    EXPECT_EQ(job["state"], "done");
    EXPECT_EQ(job["params"]["contentWeight"], 7);
    std::string expected = TaviScoreWith("-l 400 -w 2:1:7");
    ASSERT_FALSE(expected.empty());
    std::string csv = sato->Get("/api/jobs/" + id + "/results.csv")->body;
    EXPECT_EQ(WithoutPaths(csv), WithoutPaths(expected));
    EXPECT_NE(WithoutPaths(csv), WithoutPaths(TaviScoreWith("")));  // the change shows

    // The ratios, which tavi-score takes from a parameter file: the job's own gives its results.
    res = PutParams(id, {{"sentenceLengthMaxWeight", 0.3},
                         {"vocabularyDiversityWeight", "0.05"},
                         {"passiveRateWeight", 0},
                         {"cueWordWeight", 0.9},
                         {"demonstrativeWeight", 0.1}});
    ASSERT_EQ(res->status, 200) << res->body;
    EXPECT_EQ(json::parse(res->body)["rescored"], "features");
    std::string results = sato->Get("/api/jobs/" + id + "/results.json")->body;
    EXPECT_EQ(json::parse(results)["parameters"]["cueWordWeight"], 0.9);
    EXPECT_EQ(json::parse(results)["parameters"]["expectedLength"], 400);  // earlier changes stay
    EXPECT_EQ(json::parse(results)["answers"][1]["mark"], 6);              // so does the mark
    std::string tvp = sato->Get("/api/jobs/" + id + "/params.tvp")->body;
    csv = sato->Get("/api/jobs/" + id + "/results.csv")->body;
    EXPECT_EQ(TaviScoreParamsFile(tvp, "csv"), csv);
    EXPECT_EQ(ScoredMembers(TaviScoreParamsFile(tvp, "json")), ScoredMembers(results));

    // Refusals name the field and change nothing.
    for (const json& bad : {json{{"expectedLength", "abc"}}, json{{"weights", "1:2"}}, json{{"paragraphMode", 2}},
                            json{{"model", "none.tcf"}}, json{{"cueWordWeight", 1.5}}, json{{"modelPath", "/etc"}},
                            json{{"weights", json::array({1, 2, 3})}}}) {
        auto refused = PutParams(id, bad);
        EXPECT_EQ(refused->status, 400) << bad.dump();
        EXPECT_TRUE(json::parse(refused->body)["error"].is_string());
    }
    EXPECT_EQ(sato->Get("/api/jobs/" + id + "/results.csv")->body, csv);
}

TEST_F(MarksTest, ANewParagraphModeOrModelScoresTheAnswersAgainEvenWhileScoring) {
    // Changed while the job is being scored: the answers in progress are scored again.
    std::string id = ScoredJob({}, false);
    ASSERT_EQ(sato->Post("/api/jobs/" + id + "/start")->status, 202);
    auto res = PutParams(id, {{"paragraphMode", 1}, {"model", "syasetsu2000.tcf"}});
    ASSERT_EQ(res->status, 200) << res->body;
    EXPECT_EQ(json::parse(res->body)["rescored"], "analysis");
    ASSERT_EQ(sato->WaitDone(id)["state"], "done");
    std::string expected = TaviScoreWith("-p 1 -m syasetsu2000.tcf");
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(WithoutPaths(sato->Get("/api/jobs/" + id + "/results.csv")->body), WithoutPaths(expected));

    // Changed on a finished job: it is queued and scored again.
    res = PutParams(id, {{"paragraphMode", "0"}});
    ASSERT_EQ(res->status, 200);
    EXPECT_NE(json::parse(res->body)["state"], "done");
    ASSERT_EQ(sato->WaitDone(id)["state"], "done");
    EXPECT_EQ(WithoutPaths(sato->Get("/api/jobs/" + id + "/results.csv")->body),
              WithoutPaths(TaviScoreWith("-m syasetsu2000.tcf")));
    json results = json::parse(sato->Get("/api/jobs/" + id + "/results.json")->body);
    EXPECT_EQ(results["parameters"]["paragraphMode"], 0);
    EXPECT_EQ(results["answers"].size(), 13u);

    // Starting a finished job again says what would change it.
    auto start = sato->Post("/api/jobs/" + id + "/start");
    EXPECT_EQ(start->status, 200);
    EXPECT_EQ(json::parse(start->body)["message"], "採点済みです。パラメータを変えると採点し直します。");
}

TEST_F(MarksTest, AgreementFiguresOfMarksNearTavisOwn) {
    const double fullMark = 20;
    std::string id = ScoredJob({{"fullMark", "20", "", ""}});
    std::vector<double> scaled = Scaled(id, fullMark);
    ASSERT_EQ(scaled.size(), 13u);
    // Nine marks are too few.
    for (int k = 0; k < 9; ++k) ASSERT_EQ(Review(id, k + 1, json(scaled[k]).dump()), 200);
    auto few = sato->Get("/api/jobs/" + id + "/agreement");
    EXPECT_EQ(few->status, 400);
    EXPECT_NE(json::parse(few->body)["error"].get<std::string>().find("10件以上"), std::string::npos);
    EXPECT_EQ(sato->Post("/api/jobs/" + id + "/fit")->status, 400);

    // Ten marks equal to Tavi's scaled totals but for two answers marked 3 points off: those two
    // differ most, and the mean difference is 6 / 10.
    std::vector<double> marks(scaled.begin(), scaled.begin() + 10);
    int up = -1, down = -1;
    for (int k = 0; k < 10; ++k) {
        if (up < 0 && scaled[k] <= fullMark - 3) {
            up = k;
        } else if (down < 0 && scaled[k] >= 3) {
            down = k;
        }
    }
    ASSERT_GE(up, 0);
    ASSERT_GE(down, 0);
    marks[up] += 3;
    marks[down] -= 3;
    for (int k = 0; k < 10; ++k) ASSERT_EQ(Review(id, k + 1, json(marks[k]).dump()), 200);

    json a = sato->Json("/api/jobs/" + id + "/agreement");
    EXPECT_EQ(a["n"], 10);  // the unmarked answers are left out
    EXPECT_EQ(a["fullMark"], 20);
    EXPECT_NEAR(a["meanAbsoluteDifference"].get<double>(), 0.6, 1e-9);
    // Pearson's r and the kappa from their definitions.
    double mx = 0, my = 0;
    for (int k = 0; k < 10; ++k) {
        mx += marks[k] / 10;
        my += scaled[k] / 10;
    }
    double sxy = 0, sxx = 0, syy = 0;
    for (int k = 0; k < 10; ++k) {
        sxy += (marks[k] - mx) * (scaled[k] - my);
        sxx += (marks[k] - mx) * (marks[k] - mx);
        syy += (scaled[k] - my) * (scaled[k] - my);
    }
    EXPECT_NEAR(a["pearson"].get<double>(), sxy / std::sqrt(sxx * syy), 1e-9);
    double observed = 0, chance = 0;
    for (int i = 0; i < 10; ++i)
        for (int j = 0; j < 10; ++j) {
            double d = std::round(marks[i]) - std::round(scaled[j]);
            chance += d * d / 100;
            if (i == j) observed += d * d / 10;
        }
    EXPECT_NEAR(a["qwk"].get<double>(), 1 - observed / chance, 1e-9);

    ASSERT_EQ(a["answers"].size(), 10u);
    std::vector<int> firstTwo = {a["answers"][0]["number"], a["answers"][1]["number"]};
    std::sort(firstTwo.begin(), firstTwo.end());
    EXPECT_EQ(firstTwo, (std::vector<int>{std::min(up, down) + 1, std::max(up, down) + 1}));
    for (const json& row : a["answers"]) {
        int k = row["number"].get<int>() - 1;
        EXPECT_NEAR(row["tavi"].get<double>(), scaled[k], 1e-9);
        EXPECT_NEAR(row["difference"].get<double>(), scaled[k] - marks[k], 1e-9);
        EXPECT_EQ(row["mark"].get<double>(), marks[k]);
    }
    EXPECT_NEAR(a["answers"][2]["difference"].get<double>(), 0, 1e-9);
    // The plot links every marked answer.
    std::string svg = a["scatterSvg"];
    EXPECT_EQ(svg.rfind("<svg", 0), 0u);
    EXPECT_EQ(svg.substr(svg.size() - 6), "</svg>");
    size_t links = 0;
    for (size_t at = svg.find("<a href=\"/jobs/" + id + "/answers/"); at != std::string::npos;
         at = svg.find("<a href=", at + 1))
        ++links;
    EXPECT_EQ(links, 10u);
    size_t dots = 0;
    for (size_t at = svg.find("<circle"); at != std::string::npos; at = svg.find("<circle", at + 1)) ++dots;
    EXPECT_EQ(dots, 10u);
}

TEST_F(MarksTest, FitToMarksOfAnotherWeightingAppliesThroughAParameterFile) {
    // Marks of a teacher who weighs content most and expects shorter answers: Tavi's own totals
    // under those parameters, rounded to whole points.
    std::string id = ScoredJob();
    ASSERT_EQ(PutParams(id, {{"weights", "1:1:8"}, {"expectedLength", 300}})->status, 200);
    std::vector<double> teacher = Scaled(id, 10);
    ASSERT_EQ(PutParams(id, {{"weights", "5:2:3"}, {"expectedLength", 800}})->status, 200);
    for (int k = 0; k < 12; ++k) ASSERT_EQ(Review(id, k + 1, json(std::round(teacher[k])).dump()), 200);

    auto refused = sato->Post("/api/jobs/" + id + "/fit", R"({"fit": ["modelPath"]})");
    EXPECT_EQ(refused->status, 400);
    EXPECT_NE(refused->body.find("modelPath"), std::string::npos);
    EXPECT_EQ(sato->Post("/api/jobs/" + id + "/fit", R"({"fit": "contentWeight"})")->status, 400);

    auto res = sato->Post("/api/jobs/" + id + "/fit", R"({"fit": []})");
    ASSERT_EQ(res->status, 200) << res->body;
    json fit = json::parse(res->body);
    EXPECT_EQ(fit["before"]["n"], 12);
    EXPECT_EQ(fit["after"]["n"], 12);
    ASSERT_TRUE(fit["parameters"].is_object()) << fit.dump();
    EXPECT_GE(fit["after"]["qwk"].get<double>(), fit["before"]["qwk"].get<double>());
    json p = fit["parameters"];
    EXPECT_EQ(p["model"], "yoroku2000.tcf");
    EXPECT_EQ(p["paragraphMode"], 0);
    EXPECT_GT(p["expectedLength"].get<double>(), 0);
    EXPECT_LE(p["expectedLength"].get<double>(), 1e6);
    for (auto& [name, value] : p.items())
        if (name.size() > 6 && name.rfind("Weight") == name.size() - 6) {
            EXPECT_GE(value.get<double>(), 0) << name;
            EXPECT_LE(value.get<double>(), 1) << name;
        }
    double r, o, c;
    char colon;
    std::istringstream(p["weights"].get<std::string>()) >> r >> colon >> o >> colon >> c;
    EXPECT_GE(std::min({r, o, c}), 0);
    EXPECT_GT(r + o + c, 0);

    // Applying the suggestion is a change of parameters; its parameter file gives its results.
    res = PutParams(id, p);
    ASSERT_EQ(res->status, 200) << res->body;
    EXPECT_EQ(json::parse(res->body)["rescored"], "features");
    json after = sato->Json("/api/jobs/" + id + "/agreement");
    EXPECT_EQ(after["n"], 12);
    std::string tvp = sato->Get("/api/jobs/" + id + "/params.tvp")->body;
    std::string csv = sato->Get("/api/jobs/" + id + "/results.csv")->body;
    EXPECT_EQ(TaviScoreParamsFile(tvp, "csv"), csv);

    // A new job takes the parameters of that file.
    std::string copy =
        ScoredJob({{"weights", "5:2:3", "", ""}, {"params", tvp, "params.tvp", "application/octet-stream"}}, false);
    EXPECT_EQ(sato->Json("/api/jobs/" + copy)["params"], sato->Json("/api/jobs/" + id)["params"]);
    auto broken = sato->Upload([&] {
        auto items = SampleUpload();
        items.push_back({"params", "not a parameter file", "params.tvp", "application/octet-stream"});
        return items;
    }());
    EXPECT_EQ(broken->status, 400);
    EXPECT_NE(broken->body.find("パラメータファイル"), std::string::npos);

    // Only the ticked parameters move.
    res = sato->Post("/api/jobs/" + id + "/fit", R"({"fit": ["contentWeight"]})");
    ASSERT_EQ(res->status, 200);
    fit = json::parse(res->body);
    if (fit["parameters"].is_object()) {
        for (auto& [name, value] : fit["parameters"].items())
            if (name != "weights") EXPECT_EQ(value, fit["current"][name]) << name;
    } else {
        EXPECT_TRUE(fit["message"].is_string());
    }
}

}  // namespace
}  // namespace tavi::test
