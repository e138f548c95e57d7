// tavi-serve over HTTP: a server on a loopback port over a temporary data folder.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "server/ServerHarness.h"
#include "server/Store.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace tavi::test {
namespace {

httplib::MultipartFormDataItems QuestionAnd(std::vector<httplib::MultipartFormData> more) {
    httplib::MultipartFormDataItems items = {
        {"question", ReadFile(fs::path(TAVI_SAMPLES_DIR) / "question.txt"), "question.txt", "text/plain"}};
    items.insert(items.end(), more.begin(), more.end());
    return items;
}

std::string Sample(const std::string& name) {
    return ReadFile(fs::path(TAVI_SAMPLES_DIR) / "answers" / (name + ".txt"));
}

class ServeTest : public ::testing::Test {
protected:
    void SetUp() override {
        data = temp.path / "data";
        ASSERT_TRUE(AddUser(data, "sato", kPassword));
        ASSERT_TRUE(AddUser(data, "suzuki", kPassword));
    }
    std::string CreateJob(Teacher& t, const httplib::MultipartFormDataItems& items) {
        auto res = t.Upload(items);
        EXPECT_TRUE(res && res->status == 201) << (res ? res->body : "no response");
        return res && res->status == 201 ? json::parse(res->body)["id"].get<std::string>() : "";
    }
    TempFolder temp;
    fs::path data;
};

TEST_F(ServeTest, SignInCsrfAndTeachersSeeOnlyTheirOwnJobs) {
    ServerProcess server(data);
    EXPECT_EQ(Teacher(server.port, "sato", "wrong password").loginStatus, 401);
    EXPECT_EQ(Teacher(server.port, "nobody", kPassword).loginStatus, 401);
    Teacher sato(server.port, "sato", kPassword), suzuki(server.port, "suzuki", kPassword);
    ASSERT_EQ(sato.loginStatus, 200);
    ASSERT_EQ(suzuki.loginStatus, 200);
    EXPECT_NE(sato.Headers(false).find("Cookie")->second.find("tavi_session="), std::string::npos);

    // No session: 401; a session without its token, or with another session's: 403.
    httplib::Client anonymous("127.0.0.1", server.port);
    EXPECT_EQ(anonymous.Get("/api/jobs")->status, 401);
    EXPECT_EQ(sato.client.Post("/api/jobs", sato.Headers(false), SampleUpload())->status, 403);
    httplib::Headers stolen = {{"Cookie", sato.cookie}, {"X-CSRF-Token", suzuki.csrf}};
    EXPECT_EQ(sato.client.Post("/api/jobs", stolen, SampleUpload())->status, 403);
    EXPECT_TRUE(sato.Json("/api/jobs").empty());

    std::string id = CreateJob(sato, SampleUpload());
    auto res = sato.Get("/api/jobs/" + id);
    ASSERT_EQ(res->status, 200);
    EXPECT_EQ(res->get_header_value("X-Content-Type-Options"), "nosniff");
    EXPECT_EQ(res->get_header_value("Referrer-Policy"), "no-referrer");
    EXPECT_FALSE(res->has_header("Strict-Transport-Security"));  // plain HTTP
    EXPECT_NE(res->get_header_value("Content-Security-Policy").find("script-src 'self'"), std::string::npos);
    json job = json::parse(res->body);
    EXPECT_EQ(job["state"], "idle");
    EXPECT_EQ(job["answers"], 13);
    EXPECT_EQ(job["scored"], 0);

    // Another teacher's job answers exactly as a missing one.
    const std::string missing = "/api/jobs/0123456789abcdef0123456789abcdef";
    for (const std::string& base : {"/api/jobs/" + id, missing}) {
        for (const char* get : {"", "/results.csv", "/results.json", "/report.html", "/sheets.html", "/answers/1"}) {
            auto r = suzuki.Get(base + get);
            EXPECT_EQ(r->status, 404) << base + get;
            EXPECT_EQ(r->body, R"({"error":"ジョブが見つかりません。ジョブ一覧から選び直してください。"})");
        }
        EXPECT_EQ(suzuki.Post(base + "/start")->status, 404);
        EXPECT_EQ(suzuki.Put(base + "/answers/1/review", R"({"mark":1,"note":""})")->status, 404);
        EXPECT_EQ(suzuki.Delete(base)->status, 404);
    }
    EXPECT_TRUE(suzuki.Json("/api/jobs").empty());
    EXPECT_EQ(sato.Json("/api/jobs").size(), 1u);
    EXPECT_EQ(suzuki.Get("/api/users")->status, 403);  // not an administrator

    // Deleting leaves nothing behind; signing out ends the session.
    EXPECT_EQ(sato.Delete("/api/jobs/" + id)->status, 200);
    EXPECT_FALSE(fs::exists(data / "jobs" / id));
    EXPECT_EQ(sato.Get("/api/jobs/" + id)->status, 404);
    EXPECT_EQ(sato.Post("/api/logout")->status, 200);
    EXPECT_EQ(sato.Get("/api/jobs")->status, 401);

    // An administrator manages accounts; a removed teacher's session ends with the account.
    ASSERT_TRUE(AddUser(data, "kocho", kPassword, true));
    Teacher kocho(server.port, "kocho", kPassword);
    EXPECT_EQ(kocho.Post("/api/users", R"({"name":"tanaka","password":"short"})")->status, 400);
    EXPECT_EQ(kocho.Post("/api/users", R"({"name":7,"password":"long enough","admin":"yes"})")->status, 400);
    EXPECT_EQ(Teacher(server.port, "sato", "").client.Post("/api/login", R"({"user":1})", "application/json")->status,
              401);
    EXPECT_EQ(kocho.Post("/api/users", R"({"name":"tanaka","password":"long enough"})")->status, 201);
    EXPECT_EQ(kocho.Post("/api/users", R"({"name":"tanaka","password":"long enough"})")->status, 409);
    Teacher tanaka(server.port, "tanaka", "long enough");
    EXPECT_EQ(tanaka.loginStatus, 200);
    EXPECT_EQ(tanaka.Post("/api/users", R"({"name":"x","password":"long enough"})")->status, 403);
    EXPECT_EQ(kocho.Delete("/api/users/tanaka")->status, 200);
    EXPECT_EQ(tanaka.Get("/api/jobs")->status, 401);

    // Repeated failures slow sign-in down for that name, even with the right password.
    for (int k = 0; k < 5; ++k) EXPECT_EQ(Teacher(server.port, "suzuki", "guess").loginStatus, 401);
    EXPECT_EQ(Teacher(server.port, "suzuki", kPassword).loginStatus, 429);
}

TEST_F(ServeTest, AFullJobGivesTheResultsOfTaviScore) {
    ServerProcess server(data);
    Teacher sato(server.port, "sato", kPassword);
    std::string id = CreateJob(sato, SampleUpload());
    EXPECT_EQ(sato.Post("/api/jobs/" + id + "/start")->status, 202);
    json job = sato.WaitDone(id);
    ASSERT_EQ(job["state"], "done");
    EXPECT_EQ(job["scored"], 13);
    EXPECT_GT(job["finished"].get<double>(), job["created"].get<double>() - 1);

    std::string csv = sato.Get("/api/jobs/" + id + "/results.csv")->body;
    std::string expected =
        TaviScoreCsv(fs::path(TAVI_SAMPLES_DIR) / "question.txt", fs::path(TAVI_SAMPLES_DIR) / "answers");
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(WithoutPaths(csv), WithoutPaths(expected));
    EXPECT_NE(csv.find(",a01_long_on_topic.txt,\r\n"), std::string::npos);  // the uploaded name, CR LF
    EXPECT_EQ(csv.find(TAVI_SAMPLES_DIR), std::string::npos);
    EXPECT_EQ(csv.find(data.string()), std::string::npos);

    // The teacher's mark and note come back in the JSON, beside the scorer's members.
    EXPECT_EQ(sato.Put("/api/jobs/" + id + "/answers/2/review", R"({"mark": 7.5, "note": "要約が短い"})")->status, 200);
    EXPECT_EQ(sato.Put("/api/jobs/" + id + "/answers/2/review", R"({"mark": "A"})")->status, 400);
    EXPECT_EQ(sato.Put("/api/jobs/" + id + "/answers/99/review", R"({"mark": 1})")->status, 404);
    json results = json::parse(sato.Get("/api/jobs/" + id + "/results.json")->body);
    ASSERT_EQ(results["answers"].size(), 13u);
    json second = results["answers"][1];
    EXPECT_EQ(second["mark"], 7.5);
    EXPECT_EQ(second["note"], "要約が短い");
    EXPECT_EQ(second["title"], "a02_short.txt");
    EXPECT_TRUE(second["evidence"].is_object());
    EXPECT_TRUE(results["answers"][0]["mark"].is_null());

    // The feedback sheets: shown, not downloaded, one per answer, with the teacher's mark and
    // note; the answer's page prints as its sheet.
    auto sheets = sato.Get("/api/jobs/" + id + "/sheets.html");
    ASSERT_EQ(sheets->status, 200);
    EXPECT_FALSE(sheets->has_header("Content-Disposition"));
    EXPECT_NE(sheets->get_header_value("Content-Security-Policy").find("sandbox allow-scripts allow-modals"),
              std::string::npos);
    size_t sheetCount = 0;
    for (size_t at = sheets->body.find("<section class=\"sheet\""); at != std::string::npos;
         at = sheets->body.find("<section class=\"sheet\"", at + 1))
        ++sheetCount;
    EXPECT_EQ(sheetCount, 13u);
    EXPECT_NE(sheets->body.find(">7.5 / 10 点</dd>\n<dt>講評</dt><dd class=\"teacher-note\">要約が短い</dd>"),
              std::string::npos);
    std::string page = sato.Get("/jobs/" + id + "/answers/2")->body;
    std::string printed = page.substr(page.find("<div class=\"printonly\">"));
    EXPECT_NE(printed.find("a02_short.txt さん</h2>"), std::string::npos);
    EXPECT_NE(printed.find("要約が短い</dd>"), std::string::npos);
    EXPECT_EQ(printed.find("a01_long_on_topic.txt"), std::string::npos);

    auto report = sato.Get("/api/jobs/" + id + "/report.html");
    EXPECT_NE(report->body.find("a13_utf8.txt"), std::string::npos);
    EXPECT_NE(report->get_header_value("Content-Security-Policy").find("sandbox"), std::string::npos);
    // The parameter file names the uploaded files: beside them, tavi-score scores it again to
    // the same results file, path column included.
    TempFolder beside;
    std::ofstream(beside.path / "params.tvp", std::ios::binary) << sato.Get("/api/jobs/" + id + "/params.tvp")->body;
    fs::copy_file(fs::path(TAVI_SAMPLES_DIR) / "question.txt", beside.path / "question.txt");
    for (const auto& e : fs::directory_iterator(fs::path(TAVI_SAMPLES_DIR) / "answers"))
        fs::copy_file(e.path(), beside.path / e.path().filename());
    std::string command = "cd '" + beside.path.string() + "' && " + TAVI_BIN_DIR +
                          "/tavi-score --params params.tvp --format csv -o again.csv";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(ReadFile(beside.path / "again.csv"), csv);
}

TEST_F(ServeTest, ZipUploadsKeepOnlyBaseNamesOfTextEntries) {
    ServerProcess server(data);
    Teacher sato(server.port, "sato", kPassword);
    std::string zip = MakeZip({{"class1/", ""},
                               {"class1/a02_short.txt", Sample("a02_short")},
                               {"../../escape.txt", Sample("a05_connectives")},
                               {"/abs/a07_medium.txt", Sample("a07_medium")},
                               {"class1/notes.pdf", "%PDF"},
                               {"__MACOSX/class1/._a02_short.txt", std::string("\0\5\x16\7", 4)}});
    std::string id = CreateJob(sato, QuestionAnd({{"answers", zip, "answers.zip", "application/zip"},
                                                  {"answers", Sample("a01_long_on_topic"), "a01.txt", "text/plain"}}));
    auto answers = sato.Json("/api/jobs/" + id + "/answers");
    std::vector<std::string> names;
    for (const json& a : answers) names.push_back(a["name"]);
    EXPECT_EQ(names, (std::vector<std::string>{"a02_short.txt", "escape.txt", "a07_medium.txt", "a01.txt"}));
    // Stored by number inside the job's folder, never under an uploaded name.
    EXPECT_TRUE(fs::exists(data / "jobs" / id / "answers" / "4.txt"));
    EXPECT_FALSE(fs::exists(data / "jobs" / id / "answers" / "escape.txt"));
    EXPECT_FALSE(fs::exists(data / "escape.txt"));

    // More files than the HTTP library takes in one form by itself (1,024).
    httplib::MultipartFormDataItems many = QuestionAnd({});
    for (int k = 0; k < 1100; ++k) many.push_back({"answers", Sample("a02_short"), std::to_string(k) + ".txt", ""});
    EXPECT_EQ(sato.Json("/api/jobs/" + CreateJob(sato, many))["answers"], 1100);
}

TEST_F(ServeTest, BadUploadsAreRefusedWithTheirCauseAndStoreNothing) {
    ServerProcess server(data, {"--max-upload", "20", "--max-unpacked", "1", "--read-timeout", "1"});
    Teacher sato(server.port, "sato", kPassword);
    const std::string answer = Sample("a07_medium");
    httplib::MultipartFormData good{"answers", answer, "a.txt", "text/plain"};
    struct Case {
        httplib::MultipartFormDataItems items;
        int status;
        std::string message;
    };
    std::string bomb = MakeZip({{"bomb.txt", std::string(900000, 'a')}});
    // 65,536 tiny answers: one more than a zip may hold, and one more than a job may hold.
    std::vector<std::pair<std::string, std::string>> tiny;
    for (int k = 0; k < 65536; ++k) tiny.push_back({std::to_string(k) + ".txt", "\xe3\x81\x82"});
    std::string tooManyEntries = MakeZip(tiny, true);
    tiny.pop_back();
    std::string allEntries = MakeZip(tiny, true);
    std::string third(400000, 'a');
    std::string overOneMiB = MakeZip({{"a.txt", third}, {"b.txt", third}, {"c.txt", third}}, true);
    const std::vector<Case> cases = {
        {QuestionAnd({}), 400, "回答文のファイルがありません"},
        {{good}, 400, "設問文がありません"},
        {QuestionAnd({{"answers", "", "empty.txt", "text/plain"}}), 400, "empty.txt: ファイルが空です"},
        {QuestionAnd({{"answers", std::string("MZ\0\0\x90", 5), "a.txt", ""}}), 400,
         "a.txt: テキストファイルではありません"},
        {QuestionAnd({{"answers", "\xff\xfe\x41", "b.txt", ""}}), 400, "b.txt: UTF-8 でも Shift_JIS でもない"},
        {QuestionAnd({{"answers", answer, "run.exe", ""}}), 400,
         "run.exe: .txt、.docx、.zip、.csv、.xlsx のどれでもありません"},
        {QuestionAnd({good, good}), 400, "a.txt: 「a.txt」という名前の回答文が 2 つ"},
        {QuestionAnd({{"answers", "not a zip", "x.zip", ""}}), 400, "x.zip: zip ファイルとして読めません"},
        {QuestionAnd({{"answers", bomb, "bomb.zip", ""}}), 400, "zip 爆弾"},
        {QuestionAnd({{"answers", tooManyEntries, "many.zip", ""}}), 400,
         "many.zip: zip ファイルの中身は 65535 個まで"},
        {QuestionAnd({{"answers", allEntries, "all.zip", ""}, good}), 400,
         "a.txt: 1 つのジョブの回答文は 65535 件まで"},
        {QuestionAnd({{"answers", overOneMiB, "big.zip", ""}}), 400,
         "big.zip: c.txt: 回答文の合計が、展開すると 1 MB を超えます"},
        {QuestionAnd({{"answers", MakeZip({{"readme.pdf", "%PDF"}}), "none.zip", ""}}), 400,
         "送られたファイルに回答文がありません"},
        {{{"question", " \r\n　\n", "q.txt", ""}, good}, 400, "q.txt: 設問文に文章がありません"},
        {QuestionAnd({good, {"model", "missing.tcf", "", ""}}), 400,
         "内容モデル: 「missing.tcf」という内容モデルはありません"},
        {QuestionAnd({good, {"weights", "5:2", "", ""}}), 400, "重み: 「5:2」は使えません"},
        {QuestionAnd({good, {"weights", "-1:2:3", "", ""}}), 400, "重み: 「-1:2:3」"},
        {QuestionAnd({good, {"weights", "0:0:0", "", ""}}), 400, "「0:0:0」は使えません"},
        {QuestionAnd({good, {"weights", "inf:2:3", "", ""}}), 400, "「inf:2:3」は使えません"},
        {QuestionAnd({good, {"weights", "5:2:3:1", "", ""}}), 400, "「5:2:3:1」は使えません"},
        {QuestionAnd({good, {"expectedLength", "lots", "", ""}}), 400, "想定字数: 「lots」"},
        {QuestionAnd({good, {"expectedLength", "2e6", "", ""}}), 400, "「2e6」は使えません。1 から 1000000 までの字数"},
        {QuestionAnd({good, {"paragraphMode", "2", "", ""}}), 400, "「2」は使えません。0 か 1 を選んで"},
        {QuestionAnd({good, {"cueWordWeight", "1.5", "", ""}}), 400, "「1.5」は使えません。0 から 1 までの比率"},
        {QuestionAnd({good, {"name", "\xff\xfe", "", ""}}), 400, "ジョブ名が長すぎるか、Shift_JIS で表せない文字"},
        {QuestionAnd({{"answers", answer, "\xff.txt", ""}}), 400, "ファイル名に Shift_JIS で表せない文字"},
        {QuestionAnd({{"answers", std::string(17 << 20, 'a'), "big.txt", ""}}), 400,
         "big.txt: ファイルが大きすぎます。1 つのファイルは 16 MB までです。"},
        {{{"question", std::string(17 << 20, 'a'), "q.txt", ""}, good}, 400, "q.txt: ファイルが大きすぎます"},
        {QuestionAnd({{"answers", std::string(21 << 20, 'a'), "big.txt", ""}}), 413, "1 回に送れるのは 20 MB まで"},
    };
    for (const Case& c : cases) {
        auto res = sato.Upload(c.items);
        ASSERT_TRUE(res) << c.message;
        EXPECT_EQ(res->status, c.status) << c.message;
        EXPECT_NE(res->body.find(c.message), std::string::npos) << res->body;
    }
    // A multipart body cut off in the middle.
    std::string boundary = "----cut";
    std::string body =
        "--" + boundary + "\r\nContent-Disposition: form-data; name=\"question\"; filename=\"q.txt\"\r\n\r\nabc";
    auto cut =
        sato.client.Post("/api/jobs", sato.Headers(true), body, ("multipart/form-data; boundary=" + boundary).c_str());
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->status, 400);
    EXPECT_EQ(sato.Upload({{"name", "x", "", ""}})->status, 400);
    EXPECT_EQ(sato.client.Post("/api/jobs", sato.Headers(true), "{}", "application/json")->status, 400);

    // A client that sends half a request and stops is answered or cut off within the read
    // timeout, while others are served.
    int slow = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(server.port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(slow, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const std::string half = "POST /api/jobs HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 100000\r\n\r\n--cut";
    ASSERT_EQ(send(slow, half.data(), half.size(), 0), static_cast<ssize_t>(half.size()));
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(sato.Get("/api/jobs")->status, 200);
    pollfd p{slow, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 5000), 1) << "the server neither answered nor closed";
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    char reply[256];
    ssize_t n = recv(slow, reply, sizeof reply - 1, 0);
    EXPECT_TRUE(n == 0 || std::string(reply, static_cast<size_t>(std::max<ssize_t>(n, 0))).find("HTTP/1.1 4") == 0);
    close(slow);

    EXPECT_TRUE(sato.Json("/api/jobs").empty());
    EXPECT_TRUE(fs::is_empty(data / "jobs"));
    // The server is still there after all of it.
    EXPECT_EQ(sato.Get("/api/jobs")->status, 200);
}

TEST_F(ServeTest, EveryPlaceEscapesAnAnswersName) {
    ServerProcess server(data);
    Teacher sato(server.port, "sato", kPassword);
    const std::string name = "<img src=x onerror=alert(1)>.txt";
    std::string id = CreateJob(sato, QuestionAnd({{"answers", Sample("a02_short"), name, "text/plain"},
                                                  {"name", "<script>alert(2)</script>", "", ""}}));
    ASSERT_EQ(sato.Post("/api/jobs/" + id + "/start")->status, 202);
    ASSERT_EQ(sato.WaitDone(id)["state"], "done");
    EXPECT_EQ(sato.Json("/api/jobs/" + id + "/answers")[0]["name"], name);
    for (const std::string& path : {"/api/jobs/" + id + "/report.html", "/api/jobs/" + id + "/sheets.html",
                                    "/jobs/" + id, "/jobs/" + id + "/answers/1"}) {
        auto res = sato.Get(path);
        ASSERT_EQ(res->status, 200) << path;
        EXPECT_EQ(res->body.find("<img src=x"), std::string::npos) << path;
        EXPECT_NE(res->body.find("&lt;img src=x onerror=alert(1)&gt;.txt"), std::string::npos) << path;
    }
    std::string jobs = sato.Get("/")->body;
    EXPECT_EQ(jobs.find("<script>alert"), std::string::npos);
    EXPECT_NE(jobs.find("&lt;script&gt;alert(2)&lt;/script&gt;"), std::string::npos);
    // A note shown in the review form is escaped too.
    ASSERT_EQ(
        sato.Put("/api/jobs/" + id + "/answers/1/review", R"({"mark":null,"note":"</textarea><script>x()</script>"})")
            ->status,
        200);
    std::string answer = sato.Get("/jobs/" + id + "/answers/1")->body;
    EXPECT_EQ(answer.find("<script>x()"), std::string::npos);
    EXPECT_NE(answer.find("&lt;/textarea&gt;&lt;script&gt;x()"), std::string::npos);
    // Pages need a session: without one they lead to the sign-in page.
    httplib::Client anonymous("127.0.0.1", server.port);
    auto redirect = anonymous.Get(("/jobs/" + id).c_str());
    EXPECT_EQ(redirect->status, 303);
    EXPECT_EQ(redirect->get_header_value("Location"), "/login");
}

// Under TLS the session cookie is marked Secure.
TEST_F(ServeTest, ServesHttpsWithACertificate) {
    std::string cert = (temp.path / "cert.pem").string(), key = (temp.path / "key.pem").string();
    std::string command = "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 -keyout '" + key +
                          "' -out '" + cert + "' 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    ServerProcess server(data, {"--cert", cert, "--key", key});
    httplib::SSLClient client("127.0.0.1", server.port);
    client.enable_server_certificate_verification(false);
    client.set_read_timeout(60);  // the password check on a busy machine
    auto login = client.Post("/api/login", json{{"user", "sato"}, {"password", kPassword}}.dump(), "application/json");
    ASSERT_TRUE(login);
    EXPECT_EQ(login->status, 200);
    std::string cookie = login->get_header_value("Set-Cookie");
    EXPECT_NE(cookie.find("; Secure"), std::string::npos) << cookie;
    EXPECT_EQ(login->get_header_value("Strict-Transport-Security"), "max-age=31536000");
    EXPECT_NE(cookie.find("HttpOnly; SameSite=Strict"), std::string::npos) << cookie;
    auto jobs = client.Get("/api/jobs", {{"Cookie", cookie.substr(0, cookie.find(';'))}});
    ASSERT_TRUE(jobs);
    EXPECT_EQ(jobs->status, 200);
    // Plain HTTP on that port gets no answer.
    EXPECT_FALSE(httplib::Client("127.0.0.1", server.port).Get("/api/jobs"));
}

// With one scoring process, a teacher's small job is not stuck behind another's large one.
TEST_F(ServeTest, TeachersTakeTurns) {
    ServerProcess server(data, {"--jobs", "1"});
    Teacher sato(server.port, "sato", kPassword), suzuki(server.port, "suzuki", kPassword);
    httplib::MultipartFormDataItems large = QuestionAnd({}), small = QuestionAnd({});
    // Long answers, so that the small job's progress is seen within about one of them.
    std::string longAnswer;
    for (int k = 0; k < 80; ++k) longAnswer += Sample("a07_medium") + "\n\n";
    for (int k = 0; k < 30; ++k) large.push_back({"answers", longAnswer, std::to_string(k) + ".txt", ""});
    for (int k = 0; k < 4; ++k) small.push_back({"answers", Sample("a02_short"), std::to_string(k) + ".txt", ""});
    std::string big = CreateJob(sato, large), little = CreateJob(suzuki, small);
    ASSERT_EQ(sato.Post("/api/jobs/" + big + "/start")->status, 202);
    ASSERT_EQ(suzuki.Post("/api/jobs/" + little + "/start")->status, 202);
    int before = sato.Json("/api/jobs/" + big)["scored"];
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (suzuki.Json("/api/jobs/" + little)["state"] != "done" && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    int after = sato.Json("/api/jobs/" + big)["scored"];
    // One of the large job's answers per turn, and those in progress at either end.
    EXPECT_LE(after - before, 4 + 3);
    EXPECT_EQ(suzuki.Json("/api/jobs/" + little)["scored"], 4);
    EXPECT_EQ(sato.WaitDone(big)["scored"], 30);
}

// The administrator's --models folder: its models are offered by file name and score like the
// built-in model they copy; one that cannot be read fails each answer with its cause.
TEST_F(ServeTest, ModelsOfTheAdministratorsFolder) {
    fs::path models = temp.path / "models", bin = TAVI_BIN_DIR;
    fs::create_directories(models);
    for (const char* file : {"yoroku2000.dic", "yoroku2000.siv"}) fs::copy_file(bin / file, models / file);
    fs::copy_file(bin / "yoroku2000.tcf", models / "mine.tcf");
    std::ofstream(models / "broken.tcf") << "dicfile missing.dic\n";
    ServerProcess server(data, {"--models", models.string()});
    Teacher sato(server.port, "sato", kPassword);
    httplib::MultipartFormDataItems items = SampleUpload();
    items.push_back({"model", "mine.tcf", "", ""});
    std::string mine = CreateJob(sato, items);
    std::string broken =
        CreateJob(sato, QuestionAnd({{"answers", Sample("a02_short"), "a.txt", ""}, {"model", "broken.tcf", "", ""}}));
    EXPECT_EQ(sato.Json("/api/jobs/" + mine)["params"]["modelPath"], (models / "mine.tcf").string());
    for (const std::string& id : {mine, broken}) ASSERT_EQ(sato.Post("/api/jobs/" + id + "/start")->status, 202);

    EXPECT_EQ(sato.WaitDone(mine)["scored"], 13);
    EXPECT_EQ(WithoutPaths(sato.Get("/api/jobs/" + mine + "/results.csv")->body),
              WithoutPaths(
                  TaviScoreCsv(fs::path(TAVI_SAMPLES_DIR) / "question.txt", fs::path(TAVI_SAMPLES_DIR) / "answers")));
    EXPECT_EQ(sato.WaitDone(broken)["failed"], 1);
    std::string failure = sato.Json("/api/jobs/" + broken + "/answers")[0]["failure"];
    EXPECT_NE(failure.find("missing.dic"), std::string::npos) << failure;
    EXPECT_EQ(failure.find(data.string()), std::string::npos) << failure;
}

// A data folder from before jobs kept their finishing time still opens, and gains it.
TEST_F(ServeTest, AnOlderStoreGainsTheFinishingTime) {
    fs::create_directories(data);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((data / "old.db").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(db,
                     "CREATE TABLE jobs (id TEXT PRIMARY KEY, user_id INTEGER NOT NULL, name TEXT NOT NULL, "
                     "question TEXT NOT NULL, params TEXT NOT NULL, state TEXT NOT NULL, created INTEGER NOT NULL);"
                     "INSERT INTO jobs VALUES ('j1', 1, 'n', 'q.txt', '{}', 'idle', 5);",
                     nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(db);
    serve::Store store((data / "old.db").string());
    ASSERT_TRUE(store.Job("j1"));
    EXPECT_EQ(store.Job("j1")->finished, 0);
    store.SetJobState("j1", "done");
    EXPECT_GT(store.Job("j1")->finished, 1e9);
}

// An answer whose scoring process dies twice is marked failed with the reason; the next
// answer is scored by a new process.
TEST_F(ServeTest, AnAnswerWhoseProcessDiesTwiceFails) {
#ifdef __SANITIZE_ADDRESS__
    // Under AddressSanitizer a third process was seen scoring the 4 MiB answer for minutes: the
    // kills can land before a slow-starting process was given it. Not yet understood.
    GTEST_SKIP() << "the kills race the slow start of scoring processes under AddressSanitizer";
#endif
    ServerProcess server(data, {"--jobs", "1"});
    Teacher sato(server.port, "sato", kPassword);
    std::string huge;
    while (huge.size() < (4u << 20)) huge += Sample("a07_medium") + "\n\n";
    std::string id = CreateJob(
        sato, QuestionAnd({{"answers", huge, "huge.txt", ""}, {"answers", Sample("a07_medium"), "b.txt", ""}}));
    ASSERT_EQ(sato.Post("/api/jobs/" + id + "/start")->status, 202);
    std::vector<pid_t> killed;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (killed.size() < 2 && std::chrono::steady_clock::now() < deadline) {
        for (pid_t worker : server.Workers())
            if (std::find(killed.begin(), killed.end(), worker) == killed.end() && kill(worker, SIGKILL) == 0)
                killed.push_back(worker);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    json job = sato.WaitDone(id);
    EXPECT_EQ(job["state"], "done");
    EXPECT_EQ(job["scored"], 1);
    EXPECT_EQ(job["failed"], 1);
    json answers = sato.Json("/api/jobs/" + id + "/answers");
    EXPECT_EQ(answers[0]["failure"],
              "採点のプロセスがこの回答文で 2 回とも止まりました（the scoring process was killed by signal 9）。");
    EXPECT_EQ(answers[1]["failure"], "");
    // The failed answer stays unscored in the results file; starting again tries it again,
    // and the job page's summary (kept while the job is done) shows it scored.
    EXPECT_NE(sato.Get("/api/jobs/" + id + "/results.csv")->body.find("1,huge.txt,"), std::string::npos);
    auto summary = [&] {
        std::string page = sato.Get("/jobs/" + id)->body;
        size_t downloads = page.find("class=\"downloads");
        return page.substr(std::min(page.size(), page.find("</div>", downloads)));
    };
    std::string before = summary();
    EXPECT_EQ(summary(), before);
    EXPECT_EQ(sato.Post("/api/jobs/" + id + "/start")->status, 202);
    // The 4 MiB answer takes minutes under the sanitizers.
    EXPECT_EQ(sato.WaitDone(id, 480)["scored"], 2);
    EXPECT_NE(summary(), before);
}

// Scoring goes on where it stopped after the server is killed, and after a scoring process
// is killed; the results equal those of one uninterrupted run.
TEST_F(ServeTest, KilledServerAndWorkersLoseNothing) {
    // 104 answers: each sample eight times, each copy six of its texts long (so that the run
    // lasts long enough to be interrupted), also given to tavi-score.
    fs::path answers = temp.path / "answers";
    fs::create_directories(answers);
    httplib::MultipartFormDataItems items = QuestionAnd({});
    for (int round = 0; round < 8; ++round)
        for (const auto& e : fs::directory_iterator(fs::path(TAVI_SAMPLES_DIR) / "answers")) {
            std::string text = ReadFile(e.path()), longer;
            for (int k = 0; k < 6; ++k) longer += text + "\n\n";
            std::ofstream(answers / ("r" + std::to_string(round) + "_" + e.path().filename().string()),
                          std::ios::binary)
                << longer;
        }
    std::vector<fs::path> files(fs::directory_iterator(answers), fs::directory_iterator{});
    std::sort(files.begin(), files.end());
    for (const fs::path& f : files) items.push_back({"answers", ReadFile(f), f.filename().string(), "text/plain"});

    std::string id;
    Teacher::Session session;
    {
        ServerProcess server(data, {"--jobs", "1"});
        Teacher sato(server.port, "sato", kPassword);
        session = {sato.cookie, sato.csrf};
        id = CreateJob(sato, items);
        ASSERT_EQ(sato.Post("/api/jobs/" + id + "/start")->status, 202);
        // A scoring process killed mid-run is replaced and its answer tried again.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (sato.Json("/api/jobs/" + id)["scored"] < 10 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::vector<pid_t> workers = server.Workers();
        ASSERT_EQ(workers.size(), 1u);
        ASSERT_EQ(kill(workers[0], SIGKILL), 0);
        while (ReadFile(temp.path / "data.log").find("killed by signal 9") == std::string::npos &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        while (sato.Json("/api/jobs/" + id)["scored"] < 30 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        json job = sato.Json("/api/jobs/" + id);
        ASSERT_EQ(job["state"], "scoring");
        ASSERT_LT(job["scored"], 104);
        server.Kill(SIGKILL);
    }
    {
        // SIGTERM in the middle of the run ends the server promptly and cleanly; what it was
        // scoring is scored after the next start.
        ServerProcess restarted(data, {"--jobs", "1"});
        // The session outlives the restart; signing in again would let the run finish first.
        Teacher sato(restarted.port, session);
        ASSERT_EQ(sato.Json("/api/jobs/" + id)["state"], "scoring");
        auto stopping = std::chrono::steady_clock::now();
        int status = restarted.Kill(SIGTERM);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_LT(std::chrono::steady_clock::now() - stopping, std::chrono::seconds(10));
    }
    ServerProcess restarted(data);
    Teacher sato(restarted.port, "sato", kPassword);
    json job = sato.WaitDone(id);
    ASSERT_EQ(job["state"], "done");
    EXPECT_EQ(job["scored"], 104);
    EXPECT_EQ(job["failed"], 0);
    std::string csv = sato.Get("/api/jobs/" + id + "/results.csv")->body;
    EXPECT_EQ(WithoutPaths(csv), WithoutPaths(TaviScoreCsv(fs::path(TAVI_SAMPLES_DIR) / "question.txt", answers)));
    // The log names the dead process, and no essay text.
    std::string log = ReadFile(temp.path / "data.log");
    EXPECT_NE(log.find("killed by signal 9"), std::string::npos);
    EXPECT_EQ(log.find(Sample("a07_medium").substr(0, 24)), std::string::npos);
}

}  // namespace
}  // namespace tavi::test
