// Every refusal of tavi-serve speaks Japanese: each error path of the API that a client can
// reach gives {"error": ...} in Japanese with its status, and the pages answer with a page.
#include <gtest/gtest.h>

#include <regex>

#include "server/ServerHarness.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace tavi::test {
namespace {

const std::string kMissingJob = "/api/jobs/0123456789abcdef0123456789abcdef";

// True when UTF-8 text holds hiragana, katakana or kanji.
bool HasJapanese(const std::string& text) {
    for (size_t k = 0; k + 2 < text.size(); ++k) {
        unsigned char a = static_cast<unsigned char>(text[k]), b = static_cast<unsigned char>(text[k + 1]);
        if ((a == 0xE3 && b >= 0x81 && b <= 0x83) || (a >= 0xE4 && a <= 0xE9)) return true;
    }
    return false;
}

// An English sentence: three or more words of Latin letters in a row.
bool HasEnglishSentence(const std::string& text) {
    static const std::regex words("[A-Za-z]{2,}(,? [A-Za-z]{2,}){2,}");
    return std::regex_search(text, words);
}

// The refusal's status and its Japanese message, or a description of what is wrong.
void ExpectRefusal(const httplib::Result& res, int status, const std::string& what) {
    ASSERT_TRUE(res) << what << ": no response";
    EXPECT_EQ(res->status, status) << what << ": " << res->body;
    EXPECT_EQ(res->get_header_value("Content-Type").rfind("application/json", 0), 0u) << what;
    json body = json::parse(res->body, nullptr, false);
    ASSERT_TRUE(body.is_object() && body.contains("error") && body["error"].is_string()) << what << ": " << res->body;
    std::string message = body["error"];
    EXPECT_TRUE(HasJapanese(message)) << what << ": " << message;
    EXPECT_FALSE(HasEnglishSentence(message)) << what << ": " << message;
}

// A raw exchange: the status and the JSON error of the response to `request`.
void ExpectRawRefusal(int port, const std::string& request, int status, const std::string& what,
                      const std::string& from = "127.0.0.1") {
    RawConnection raw(port, from);
    ASSERT_TRUE(raw.Send(request)) << what;
    bool closed = false;
    std::string answer = raw.Receive(10, closed);
    ASSERT_EQ(answer.rfind("HTTP/1.1 ", 0), 0u) << what << ": " << answer;
    EXPECT_EQ(std::stoi(answer.substr(9, 3)), status) << what;
    size_t body = answer.find("\r\n\r\n");
    ASSERT_NE(body, std::string::npos) << what;
    std::string message = json::parse(answer.substr(body + 4), nullptr, false).value("error", "");
    EXPECT_TRUE(HasJapanese(message)) << what << ": " << answer;
    EXPECT_FALSE(HasEnglishSentence(message)) << what << ": " << message;
}

// An error page: HTML in the site's layout with its status and the message.
void ExpectErrorPage(const httplib::Result& res, int status, const std::string& message, const std::string& what) {
    ASSERT_TRUE(res) << what;
    EXPECT_EQ(res->status, status) << what;
    EXPECT_EQ(res->get_header_value("Content-Type"), "text/html; charset=utf-8") << what;
    EXPECT_NE(res->body.find("<header class=\"site"), std::string::npos) << what << ": not in the layout";
    EXPECT_NE(res->body.find(message), std::string::npos) << what << ": " << res->body;
    EXPECT_EQ(res->body.find("{\"error\""), std::string::npos) << what;
}

class ServeMessagesTest : public TwoAccountsTest {};

TEST_F(ServeMessagesTest, EveryRefusalOfTheApiIsJapanese) {
    ServerProcess server(data, {"--max-upload", "20"});
    const int port = server.port;
    Teacher sato(port, "sato", kPassword), kocho(port, "kocho", kPassword);
    ASSERT_EQ(sato.loginStatus, 200);
    ASSERT_EQ(kocho.loginStatus, 200);
    auto created = sato.Upload(SampleUpload());
    ASSERT_TRUE(created && created->status == 201);
    const std::string job = "/api/jobs/" + json::parse(created->body)["id"].get<std::string>();

    // Not signed in.
    httplib::Client anonymous("127.0.0.1", port);
    for (const char* path : {"/api/me", "/api/jobs", "/api/users"})
        ExpectRefusal(anonymous.Get(path), 401, std::string("GET ") + path + " without a session");
    ExpectRefusal(anonymous.Post("/api/jobs", SampleUpload()), 401, "a job without a session");
    ExpectRefusal(anonymous.Put("/api/me/password", "{}", "application/json"), 401, "a password without a session");

    // A session without its token.
    ExpectRefusal(sato.client.Post((job + "/start").c_str(), sato.Headers(false), "", "application/json"), 403,
                  "start without the token");
    ExpectRefusal(sato.client.Post("/api/logout", sato.Headers(false), "", "application/json"), 403,
                  "sign-out without the token");

    // Sign-in.
    ExpectRefusal(anonymous.Post("/api/login", R"({"user":"sato","password":"x"})", "text/plain"), 415,
                  "sign-in as text");
    httplib::Headers evil = {{"Origin", "https://evil.example"}};
    ExpectRefusal(anonymous.Post("/api/login", evil, R"({"user":"sato"})", "application/json"), 403,
                  "sign-in from another site");
    ExpectRefusal(anonymous.Post("/api/login", "{not json", "application/json"), 400, "sign-in that is not JSON");
    auto guess = [&] {
        return anonymous.Post("/api/login", json{{"user", "kocho"}, {"password", "guess"}}.dump(), "application/json");
    };
    ExpectRefusal(guess(), 401, "a wrong password");
    for (int k = 0; k < 4; ++k) guess();
    ExpectRefusal(guess(), 429, "repeated wrong passwords");

    // Unknown jobs, answers, users and routes.
    for (const char* get : {"", "/answers", "/answers/1", "/results.csv", "/grades.csv", "/grades.xlsx"})
        ExpectRefusal(sato.Get(kMissingJob + get), 404, std::string("a missing job's ") + get);
    ExpectRefusal(sato.Post(kMissingJob + "/start"), 404, "starting a missing job");
    ExpectRefusal(sato.Get(job + "/answers/99"), 404, "a missing answer");
    ExpectRefusal(sato.Put(job + "/answers/99/review", R"({"mark":1})"), 404, "marking a missing answer");
    ExpectRefusal(sato.Get("/api/nothing"), 404, "an unknown route");
    ExpectRefusal(kocho.Delete("/api/users/nobody"), 404, "removing a missing user");
    ExpectRefusal(kocho.Put("/api/users/nobody/password", R"({"password":"a long password"})"), 404,
                  "a missing user's password");

    // Bodies that are not JSON objects, and bad fields.
    ExpectRefusal(sato.Put(job + "/answers/1/review", "not json"), 400, "a review that is not JSON");
    ExpectRefusal(sato.Put(job + "/answers/1/review", R"({"mark":"A"})"), 400, "a mark that is not a number");
    ExpectRefusal(sato.Put(job + "/answers/1/review", R"({"note":5})"), 400, "a note that is not text");
    ExpectRefusal(sato.Put(job + "/answers/1/review", json{{"note", std::string(10001, 'a')}}.dump()), 400,
                  "a note too long");
    ExpectRefusal(sato.Put("/api/me/password", "[]"), 400, "a password change that is not an object");
    ExpectRefusal(sato.Put("/api/me/password", R"({"oldPassword":"guess","newPassword":"a long password"})"), 403,
                  "a wrong old password");
    ExpectRefusal(sato.Put("/api/me/password", json{{"oldPassword", kPassword}, {"newPassword", "abc"}}.dump()), 400,
                  "a short new password");

    // Administrators only, and their own mistakes.
    ExpectRefusal(sato.Get("/api/users"), 403, "a teacher lists users");
    ExpectRefusal(sato.Post("/api/users", R"({"name":"x","password":"a long password"})"), 403, "a teacher adds one");
    ExpectRefusal(sato.Put("/api/users/kocho/password", R"({"password":"a long password"})"), 403,
                  "a teacher sets a password");
    ExpectRefusal(kocho.Post("/api/users", "{"), 400, "a user that is not JSON");
    ExpectRefusal(kocho.Post("/api/users", R"({"name":"","password":"a long password"})"), 400, "an empty name");
    ExpectRefusal(kocho.Post("/api/users", R"({"name":" x","password":"a long password"})"), 400, "a spaced name");
    ExpectRefusal(kocho.Post("/api/users", R"({"name":"a/b","password":"a long password"})"), 400, "a slash");
    for (const char* password : {"short", "zzzzzzzzzz", "12345678", "tanaka2024", "password1"})
        ExpectRefusal(kocho.Post("/api/users", json{{"name", "tanaka"}, {"password", password}}.dump()), 400,
                      std::string("the password ") + password);
    ExpectRefusal(kocho.Post("/api/users", R"({"name":"SATO","password":"a long password"})"), 409, "a taken name");
    ExpectRefusal(kocho.Delete("/api/users/kocho"), 400, "an administrator removes themself");
    ExpectRefusal(kocho.Put("/api/users/sato/password", R"({"password":"sato1234"})"), 400, "a weak reset");

    // New jobs: the wrong kind of body, missing parts, bad files and fields, too large.
    ExpectRefusal(sato.Post("/api/jobs", "{}"), 400, "a job as JSON");
    const std::string question = ReadFile(fs::path(TAVI_SAMPLES_DIR) / "question.txt");
    const std::string answer = ReadFile(fs::path(TAVI_SAMPLES_DIR) / "answers" / "a02_short.txt");
    httplib::MultipartFormData q{"question", question, "question.txt", ""}, a{"answers", answer, "a.txt", ""};
    const std::vector<std::pair<httplib::MultipartFormDataItems, std::string>> uploads = {
        {{a}, "no question"},
        {{q}, "no answers"},
        {{{"question", " \r\n", "q.txt", ""}, a}, "a question without text"},
        {{{"question", question, "q\x01.txt", ""}, a}, "a question name with a control character"},
        {{{"question", question, "\xff.txt", ""}, a}, "a question name without a Shift_JIS form"},
        {{q, {"answers", "", "empty.txt", ""}}, "an empty answer"},
        {{q, {"answers", std::string("MZ\0\0", 4), "a.txt", ""}}, "a NUL byte"},
        {{q, {"answers", "\xff\xfe\x41", "b.txt", ""}}, "neither UTF-8 nor Shift_JIS"},
        {{q, {"answers", answer, "run.exe", ""}}, "another kind of file"},
        {{q, a, a}, "two answers of one name"},
        {{q, {"answers", "not a zip", "x.zip", ""}}, "a broken zip"},
        {{q, {"answers", MakeZip({{"bomb.txt", std::string(900000, 'a')}}), "bomb.zip", ""}}, "a zip bomb"},
        {{q, {"answers", MakeZip({{"notes.pdf", "%PDF"}}), "none.zip", ""}}, "a zip without answers"},
        {{q, a, {"model", "missing.tcf", "", ""}}, "an unknown model"},
        {{q, a, {"weights", "5:2", "", ""}}, "bad weights"},
        {{q, a, {"expectedLength", "lots", "", ""}}, "a bad expected length"},
        {{q, a, {"paragraphMode", "2", "", ""}}, "a bad paragraph mode"},
        {{q, a, {"cueWordWeight", "1.5", "", ""}}, "a bad ratio"},
        {{q, a, {"name", "\xff\xfe", "", ""}}, "a bad job name"},
        {{q, {"answers", std::string(17 << 20, 'a'), "big.txt", ""}}, "an answer over 16 MB"},
    };
    for (const auto& [items, what] : uploads) ExpectRefusal(sato.Upload(items), 400, what);
    ExpectRefusal(sato.Upload({q, {"answers", std::string(21 << 20, 'a'), "big.txt", ""}}), 413,
                  "a request over 20 MB");
    // The size a teacher reads is in MB.
    auto big = sato.Upload({q, {"answers", std::string(17 << 20, 'a'), "big.txt", ""}});
    EXPECT_NE(big->body.find("16 MB"), std::string::npos) << big->body;

    // Requests refused before they reach a route.
    const std::string host = "Host: 127.0.0.1\r\n";
    ExpectRawRefusal(port, "GET /login HTTP/1.1\r\n" + host + "Content-Length: 5\r\n\r\nhello", 400,
                     "a GET with a body");
    ExpectRawRefusal(port, "POST /api/login HTTP/1.1\r\n" + host + "Content-Length: lots\r\n\r\n", 400,
                     "a length that is not a number");
    ExpectRawRefusal(port, "POST /api/login HTTP/1.1\r\n" + host + "Transfer-Encoding: gzip\r\n\r\n", 501,
                     "another transfer coding");
    ExpectRawRefusal(port, "POST /api/login HTTP/1.1\r\n" + host + "Content-Length: 3\r\nContent-Length: 4\r\n\r\nabc",
                     400, "two lengths");
    ExpectRawRefusal(port,
                     "POST /api/login HTTP/1.1\r\n" + host + "Content-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n",
                     400, "a length and a coding");
}

TEST_F(ServeMessagesTest, TooManyConnectionsAreRefusedInJapanese) {
    ServerProcess server(data, {"--max-per-address", "1"});
    RawConnection held(server.port, "127.0.0.7");
    ASSERT_TRUE(held.connected);
    ASSERT_TRUE(held.Send("GET /login HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
    bool closed = false;
    held.Receive(5, closed, true);
    ExpectRawRefusal(server.port, "GET /login HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 503, "a second connection",
                     "127.0.0.7");
}

TEST_F(ServeMessagesTest, PagesAnswerErrorsWithAPage) {
    ServerProcess server(data);
    Teacher sato(server.port, "sato", kPassword);
    auto created = sato.Upload(SampleUpload());
    ASSERT_TRUE(created && created->status == 201);
    const std::string id = json::parse(created->body)["id"];
    ExpectErrorPage(sato.Get("/jobs/0123456789abcdef0123456789abcdef"), 404, "ジョブが見つかりません", "a missing job");
    // The job exists, the answer does not: the page says which, and leads back to the job.
    auto answer = sato.Get("/jobs/" + id + "/answers/99");
    ExpectErrorPage(answer, 404, "回答文 99 はありません", "a missing answer");
    EXPECT_NE(answer->body.find("href=\"/jobs/" + id + "\""), std::string::npos);
    EXPECT_EQ(answer->body.find("ジョブが見つかりません"), std::string::npos);
    ExpectErrorPage(sato.Get("/users"), 403, "管理者だけ", "a teacher opens the users' page");
    ExpectErrorPage(sato.Get("/nothing/here"), 404, "このページはありません", "an unknown page");
    // The pages that exist still answer as pages, and the API as JSON.
    for (const std::string& path : {std::string("/"), std::string("/new"), std::string("/account"), "/jobs/" + id,
                                    "/jobs/" + id + "/answers/1"}) {
        auto res = sato.Get(path);
        EXPECT_EQ(res->status, 200) << path;
        EXPECT_EQ(res->get_header_value("Content-Type"), "text/html; charset=utf-8") << path;
    }
    ExpectRefusal(sato.Get("/api/jobs/" + id + "/answers/99"), 404, "the API's missing answer");
    // Without a session a page leads to sign-in.
    httplib::Client anonymous("127.0.0.1", server.port);
    auto page = anonymous.Get("/jobs/" + id);
    EXPECT_EQ(page->status, 303);
    EXPECT_EQ(page->get_header_value("Location"), "/login");
}

}  // namespace
}  // namespace tavi::test
