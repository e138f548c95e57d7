// tavi-serve's accounts against guessing and mistakes: the sign-in throttle, the bound on
// password checks, the lifetime of sessions, the rules for passwords and user names.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <future>
#include <thread>

#include "server/ServerHarness.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace tavi::test {
namespace {

// The status of a sign-in sent from the loopback address `from`; 0 without an answer.
int SignIn(int port, const std::string& from, const std::string& user, const std::string& password,
           const std::string& extraHeaders = "", const std::string& type = "application/json") {
    std::string body = json{{"user", user}, {"password", password}}.dump();
    RawConnection raw(port, from);
    if (!raw.Send("POST /api/login HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\nContent-Type: " + type +
                  "\r\n" + extraHeaders + "Content-Length: " + std::to_string(body.size()) +
                  "\r\nConnection: close\r\n\r\n" + body))
        return 0;
    bool closed = false;
    std::string answer = raw.Receive(60, closed, true);
    return answer.rfind("HTTP/1.1 ", 0) == 0 ? std::stoi(answer.substr(9, 3)) : 0;
}

// The statuses of `count` sign-ins at once; `from(k)` and `user(k)` name the k-th one's
// address and user.
template <typename From, typename UserOf>
std::map<int, int> SignInsAtOnce(int port, int count, From from, UserOf user, const std::string& password) {
    std::vector<std::future<int>> all;
    for (int k = 0; k < count; ++k)
        all.push_back(std::async(std::launch::async, [=] { return SignIn(port, from(k), user(k), password); }));
    std::map<int, int> statuses;
    for (auto& f : all) ++statuses[f.get()];
    return statuses;
}

class ServeAccountsTest : public TwoAccountsTest {};

// Parallel guesses are throttled before they are checked; guesses from other addresses do not
// lock out a teacher who signs in from their own; one address cannot try many names.
TEST_F(ServeAccountsTest, TheThrottleHoldsBackGuessersButNotTheTeacher) {
    ServerProcess server(data);
    const int port = server.port;
    ASSERT_EQ(SignIn(port, "127.0.0.1", "sato", kPassword), 200);

    // 30 wrong passwords at once for one user from one address: no more checked than in a row.
    std::map<int, int> statuses = SignInsAtOnce(
        port, 30, [](int) { return "127.0.0.2"; }, [](int) { return "sato"; }, "wrong guess");
    EXPECT_LE(statuses[401], 5);
    EXPECT_EQ(statuses[401] + statuses[429], 30);

    // 60 more failures for sato from twelve other addresses: the name is held back on new
    // addresses, but not where sato signed in before.
    statuses = SignInsAtOnce(
        port, 60, [](int k) { return "127.0.1." + std::to_string(k % 12 + 1); }, [](int) { return "sato"; },
        "wrong guess");
    EXPECT_EQ(statuses[401] + statuses[429], 60);
    EXPECT_EQ(SignIn(port, "127.0.2.1", "sato", kPassword), 429);
    EXPECT_EQ(SignIn(port, "127.0.0.1", "sato", kPassword), 200);
    EXPECT_EQ(SignIn(port, "127.0.0.1", " SATO ", kPassword), 200);  // the name without case and spaces

    // One address trying 25 names: held back after 20, except for a teacher who signed in there.
    ASSERT_EQ(SignIn(port, "127.0.0.3", "kocho", kPassword), 200);
    for (int k = 0; k < 25; ++k) SignIn(port, "127.0.0.3", "name" + std::to_string(k), "wrong guess");
    EXPECT_EQ(SignIn(port, "127.0.0.3", "name99", "wrong guess"), 429);
    EXPECT_EQ(SignIn(port, "127.0.0.3", "kocho", kPassword), 200);
    EXPECT_EQ(SignIn(port, "127.0.0.4", "name99", "wrong guess"), 401);
}

// Each password check takes 64 MiB: 60 sign-ins at once from 60 addresses are checked a few at a
// time, not all together.
TEST_F(ServeAccountsTest, PasswordChecksAreBoundedInParallel) {
    ServerProcess server(data);
    std::map<int, int> statuses = SignInsAtOnce(
        server.port, 60, [](int k) { return "127.0.3." + std::to_string(k + 1); },
        [](int k) { return "nobody" + std::to_string(k); }, "wrong guess");
    EXPECT_EQ(statuses[401], 60);
    long peak = PeakMemoryKiB(server.pid);
    EXPECT_LT(peak, 8 * 64 << 10) << "peak memory " << peak << " KiB";
}

// Sign-in takes JSON from the server's own pages only.
TEST_F(ServeAccountsTest, SignInComesFromTheServersOwnPages) {
    ServerProcess server(data);
    const std::string self = "Origin: http://127.0.0.1:" + std::to_string(server.port) + "\r\n";
    EXPECT_EQ(SignIn(server.port, "127.0.0.1", "sato", kPassword, "", "text/plain"), 415);
    EXPECT_EQ(SignIn(server.port, "127.0.0.1", "sato", kPassword, "", "application/x-www-form-urlencoded"), 415);
    EXPECT_EQ(SignIn(server.port, "127.0.0.1", "sato", kPassword, "Origin: https://evil.example\r\n"), 403);
    EXPECT_EQ(SignIn(server.port, "127.0.0.1", "sato", kPassword, "Origin: null\r\n"), 403);
    EXPECT_EQ(SignIn(server.port, "127.0.0.1", "sato", kPassword, self), 200);
    EXPECT_EQ(SignIn(server.port, "127.0.0.1", "sato", kPassword, "", "application/json; charset=utf-8"), 200);
}

// A session ends at its lifetime (3 s here) however often it is used.
TEST_F(ServeAccountsTest, ASessionEndsAtItsLifetimeEvenWhenUsed) {
    ServerProcess server(data, {"--session-lifetime", "3"});
    Teacher sato(server.port, "sato", kPassword);
    ASSERT_EQ(sato.loginStatus, 200);
    auto start = std::chrono::steady_clock::now();
    int status = 200;
    while (status == 200 && std::chrono::steady_clock::now() - start < std::chrono::seconds(8)) {
        status = sato.Get("/api/jobs")->status;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    EXPECT_EQ(status, 401);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
    EXPECT_EQ(Teacher(server.port, "sato", kPassword).loginStatus, 200);
}

// Weak passwords and look-alike or malformed names are refused, by the API and on the
// command line, with the cause.
TEST_F(ServeAccountsTest, WeakPasswordsAndLookAlikeNamesAreRefused) {
    ServerProcess server(data);
    Teacher kocho(server.port, "kocho", kPassword);
    ASSERT_EQ(kocho.loginStatus, 200);
    struct Case {
        std::string name, password;
        int status;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"tanaka", "password", 400, "よく使われるパスワード"},
        {"tanaka", "Password1", 400, "よく使われるパスワード"},
        {"tanaka", "        ", 400, "同じ文字の繰り返し"},
        {"tanaka", "zzzzzzzzzz", 400, "同じ文字の繰り返し"},
        {"tanaka", "12345678", 400, "連続した文字"},
        {"tanaka", "tanaka2024", 400, "利用者名を含む"},
        {"tanaka", "短いです", 400, "8 文字以上"},
        {" sato", kPassword, 400, "最初と最後に空白"},
        {"Sato", kPassword, 409, "すでにいます"},
        {"a/b", kPassword, 400, "制御文字"},
        {std::string("a\0b", 3), kPassword, 400, "制御文字"},
        {"a\r\nb", kPassword, 400, "制御文字"},
        {"tanaka", "七つの海を渡る風", 201, ""},
    };
    for (const Case& c : cases) {
        auto res = kocho.Post("/api/users", json{{"name", c.name}, {"password", c.password}}.dump());
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, c.status) << c.name << " / " << c.password << ": " << res->body;
        EXPECT_NE(res->body.find(c.message), std::string::npos) << res->body;
    }
    EXPECT_EQ(Teacher(server.port, "Tanaka", "七つの海を渡る風").loginStatus, 200);
    EXPECT_FALSE(AddUser(data, "suzuki", "password"));
    EXPECT_FALSE(AddUser(data, "SATO", "another long one"));
    EXPECT_TRUE(AddUser(data, "suzuki", "another long one"));
    // Names are removed as they are compared.
    EXPECT_EQ(kocho.Delete("/api/users/TANAKA")->status, 200);
    EXPECT_EQ(Teacher(server.port, "tanaka", "七つの海を渡る風").loginStatus, 401);
}

// What the command line prints: its standard output and whether it succeeded.
std::pair<std::string, bool> RunCommand(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return {out, false};
    char buffer[512];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    return {out, pclose(pipe) == 0};
}

// A teacher changes their own password: the old one is checked and guessed no faster than at
// sign-in, the new one follows the rules, and only the session that changed it goes on.
TEST_F(ServeAccountsTest, ATeacherChangesTheirOwnPassword) {
    ServerProcess server(data);
    Teacher here(server.port, "sato", kPassword), elsewhere(server.port, "sato", kPassword);
    ASSERT_EQ(here.loginStatus, 200);
    ASSERT_EQ(elsewhere.loginStatus, 200);
    const std::string fresh = "七つの海を渡る風";
    auto change = [&](Teacher& t, const std::string& oldPassword, const std::string& newPassword) {
        auto res = t.Put("/api/me/password", json{{"oldPassword", oldPassword}, {"newPassword", newPassword}}.dump());
        return res ? res->status : 0;
    };
    EXPECT_EQ(here.client.Put("/api/me/password", here.Headers(false), "{}", "application/json")->status, 403);
    EXPECT_EQ(change(here, "wrong guess", fresh), 403);
    EXPECT_EQ(change(here, kPassword, "12345678"), 400);
    EXPECT_EQ(change(here, kPassword, "sato-sato-sato"), 400);
    // Nothing changed so far.
    EXPECT_EQ(elsewhere.Get("/api/jobs")->status, 200);
    EXPECT_EQ(change(here, kPassword, fresh), 200);
    EXPECT_EQ(here.Get("/api/jobs")->status, 200);
    EXPECT_EQ(elsewhere.Get("/api/jobs")->status, 401);
    EXPECT_EQ(Teacher(server.port, "sato", kPassword).loginStatus, 401);
    EXPECT_EQ(Teacher(server.port, "sato", fresh).loginStatus, 200);

    // Guessing the old password from a stolen session is throttled like sign-in.
    std::map<int, int> statuses;
    for (int k = 0; k < 8; ++k) ++statuses[change(here, "guess " + std::to_string(k), kPassword)];
    EXPECT_LE(statuses[403], 5);
    EXPECT_GE(statuses[429], 3);
    EXPECT_EQ(statuses[403] + statuses[429], 8);
    EXPECT_EQ(here.Get("/api/jobs")->status, 200);
}

// An administrator sets a teacher's password: the teacher's sessions end, their jobs stay.
TEST_F(ServeAccountsTest, AnAdministratorSetsATeachersPassword) {
    ServerProcess server(data);
    Teacher kocho(server.port, "kocho", kPassword), sato(server.port, "sato", kPassword);
    ASSERT_EQ(kocho.loginStatus, 200);
    ASSERT_EQ(sato.loginStatus, 200);
    auto created = sato.Upload(SampleUpload());
    ASSERT_TRUE(created && created->status == 201);
    const std::string fresh = "a new long password";
    auto set = [&](Teacher& t, const std::string& name, const std::string& password) {
        auto res = t.Put("/api/users/" + name + "/password", json{{"password", password}}.dump());
        return res ? res->status : 0;
    };
    EXPECT_EQ(set(sato, "kocho", fresh), 403) << "a teacher is not an administrator";
    EXPECT_EQ(set(kocho, "nobody", fresh), 404);
    EXPECT_EQ(set(kocho, "sato", "password"), 400);
    EXPECT_EQ(kocho.Put("/api/users/sato/password", "[1]")->status, 400);
    EXPECT_EQ(sato.Get("/api/jobs")->status, 200);
    EXPECT_EQ(set(kocho, "SATO", fresh), 200) << "names are found as they are compared";
    EXPECT_EQ(sato.Get("/api/jobs")->status, 401);
    EXPECT_EQ(Teacher(server.port, "sato", kPassword).loginStatus, 401);
    Teacher again(server.port, "sato", fresh);
    ASSERT_EQ(again.loginStatus, 200);
    EXPECT_EQ(again.Json("/api/jobs").size(), 1u);
    // The administrator's own password set here keeps their session.
    EXPECT_EQ(set(kocho, "kocho", fresh), 200);
    EXPECT_EQ(kocho.Get("/api/users")->status, 200);
    EXPECT_EQ(Teacher(server.port, "kocho", fresh).loginStatus, 200);

    // The pages with the forms.
    auto account = again.Get("/account");
    ASSERT_EQ(account->status, 200);
    EXPECT_NE(account->body.find("id=\"change-password\""), std::string::npos);
    EXPECT_NE(account->body.find("href=\"/account\""), std::string::npos) << "the header links it";
    auto users = kocho.Get("/users");
    EXPECT_NE(users->body.find("data-set-password=\"sato\""), std::string::npos);
}

// The command line says what it did.
TEST_F(ServeAccountsTest, TheCommandLineSaysWhatItDid) {
    const std::string serve = std::string(TAVI_BIN_DIR) + "/tavi-serve --data '" + data.string() + "'";
    auto [added, ok] = RunCommand("echo 'a long password' | " + serve + " --add-user tanaka --admin");
    EXPECT_TRUE(ok);
    EXPECT_EQ(added, "利用者 tanaka を追加しました（管理者）\n");
    std::tie(added, ok) = RunCommand("echo 'a long password' | " + serve + " --add-user yamada");
    EXPECT_EQ(added, "利用者 yamada を追加しました\n");
    std::tie(added, ok) = RunCommand("echo 'a long password' | " + serve + " --add-user TANAKA 2>&1");
    EXPECT_FALSE(ok);
    EXPECT_NE(added.find("すでにいます"), std::string::npos) << added;
    std::tie(added, ok) = RunCommand(serve + " --remove-user Yamada");
    EXPECT_TRUE(ok);
    EXPECT_EQ(added, "利用者 yamada とそのジョブ 0 件を削除しました\n");
}

}  // namespace
}  // namespace tavi::test
