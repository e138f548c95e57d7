// The browser build's files under /app/ and the page of licences: served without sign-in, with
// their types and headers, nothing outside the folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <random>

#include "server/ServerHarness.h"

namespace fs = std::filesystem;

namespace tavi::test {
namespace {

void Write(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// What a command prints on its standard output.
std::string Output(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    pclose(pipe);
    return out;
}

// The lines of a notice, spaces squeezed and "." (an empty line in Debian's copyright) left out.
std::vector<std::string> NoticeLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::string squeezed;
        for (char c : line) {
            bool space = c == ' ' || c == '\t' || c == '\r';
            if (space && (squeezed.empty() || squeezed.back() == ' ')) continue;
            squeezed += space ? ' ' : c;
        }
        while (!squeezed.empty() && squeezed.back() == ' ') squeezed.pop_back();
        if (!squeezed.empty() && squeezed != ".") lines.push_back(squeezed);
    }
    return lines;
}

class AppFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        app = temp.path / "web";
        Write(app / "index.html", "<!DOCTYPE html><title>Tavi</title>");
        Write(app / "tavi-engine.wasm", std::string("\0asm\1\0\0\0", 8));
        Write(app / "worker.mjs", "export const x = 1;\n");
        Write(app / "app.js", "console.log(1);\n");
        Write(app / "manifest.json", "{}");
        Write(app / "app.css", "body{}");
        Write(app / "help" / "index.html", "<p>help</p>");
        // Larger than one read of the server, with every byte value.
        std::mt19937 random(7);
        for (int k = 0; k < 300000; ++k) model.push_back(static_cast<char>(random() & 0xff));
        Write(app / "models" / "yoroku2000.siv", model);
        Write(app / "models" / "yoroku2000.tcf", "tcf");
        Write(temp.path / "secret.txt", "the answers of a student");
        fs::create_symlink(temp.path / "secret.txt", app / "secret.txt");
        fs::create_directory_symlink(temp.path, app / "up");
        fs::create_symlink(app / "app.js", app / "same.js");  // inside the folder: served
        Write(app / ".hidden", "hidden");
    }
    // A raw request line, so that the path reaches the server exactly as written.
    std::string RawGet(int port, const std::string& target) {
        RawConnection raw(port);
        EXPECT_TRUE(raw.connected);
        raw.Send("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
        bool closed = false;
        return raw.Receive(10, closed);
    }
    TempFolder temp;
    fs::path app;
    std::string model;
};

TEST_F(AppFilesTest, FilesComeWithTheirTypesTheIsolationHeadersAndCaching) {
    ServerProcess server(temp.path / "data", {"--app-dir", app.string()});
    httplib::Client client("127.0.0.1", server.port);  // nobody signed in
    struct Case {
        std::string path, type, file;
    };
    for (const Case& c :
         std::vector<Case>{{"/app/", "text/html; charset=utf-8", "index.html"},
                           {"/app/index.html", "text/html; charset=utf-8", "index.html"},
                           {"/app/help/", "text/html; charset=utf-8", "help/index.html"},
                           {"/app/tavi-engine.wasm", "application/wasm", "tavi-engine.wasm"},
                           {"/app/worker.mjs", "text/javascript; charset=utf-8", "worker.mjs"},
                           {"/app/app.js", "text/javascript; charset=utf-8", "app.js"},
                           {"/app/same.js", "text/javascript; charset=utf-8", "app.js"},
                           {"/app/manifest.json", "application/json", "manifest.json"},
                           {"/app/app.css", "text/css; charset=utf-8", "app.css"},
                           {"/app/models/yoroku2000.tcf", "application/octet-stream", "models/yoroku2000.tcf"},
                           {"/app/models/yoroku2000.siv", "application/octet-stream", "models/yoroku2000.siv"}}) {
        SCOPED_TRACE(c.path);
        auto res = client.Get(c.path);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 200);
        EXPECT_EQ(res->get_header_value("Content-Type"), c.type);
        EXPECT_EQ(res->body, ReadFile(app / c.file));
        EXPECT_EQ(res->get_header_value("Cross-Origin-Opener-Policy"), "same-origin");
        EXPECT_EQ(res->get_header_value("Cross-Origin-Embedder-Policy"), "require-corp");
        std::string csp = res->get_header_value("Content-Security-Policy");
        EXPECT_NE(csp.find("script-src 'self' 'wasm-unsafe-eval'"), std::string::npos) << csp;
        EXPECT_NE(csp.find("worker-src 'self'"), std::string::npos) << csp;
        EXPECT_NE(csp.find("frame-ancestors 'none'"), std::string::npos) << csp;
        EXPECT_EQ(res->get_header_value("X-Content-Type-Options"), "nosniff");
        EXPECT_EQ(res->get_header_value("Referrer-Policy"), "no-referrer");
        EXPECT_EQ(res->get_header_value("X-Frame-Options"), "DENY");
        bool page = c.type.rfind("text/html", 0) == 0;
        EXPECT_EQ(res->get_header_value("Cache-Control"), page ? "no-cache" : "max-age=604800");
    }
    EXPECT_EQ(ReadFile(app / "models" / "yoroku2000.siv"), model);

    // A file not changed since its tag is not sent again; HEAD sends its length only.
    auto first = client.Get("/app/tavi-engine.wasm");
    std::string tag = first->get_header_value("ETag");
    ASSERT_FALSE(tag.empty());
    auto again = client.Get("/app/tavi-engine.wasm", {{"If-None-Match", tag}});
    EXPECT_EQ(again->status, 304);
    EXPECT_TRUE(again->body.empty());
    Write(app / "tavi-engine.wasm", std::string("\0asm\1\0\0\0\0", 9));
    auto changed = client.Get("/app/tavi-engine.wasm", {{"If-None-Match", tag}});
    EXPECT_EQ(changed->status, 200);
    EXPECT_EQ(changed->body.size(), 9u);
    auto head = client.Head("/app/models/yoroku2000.siv");
    EXPECT_EQ(head->status, 200);
    EXPECT_EQ(head->get_header_value("Content-Length"), std::to_string(model.size()));
    EXPECT_TRUE(head->body.empty());

    auto bare = client.Get("/app");
    EXPECT_EQ(bare->status, 301);
    EXPECT_EQ(bare->get_header_value("Location"), "/app/");

    // The other pages keep their own policy: no WebAssembly, no isolation headers.
    auto login = client.Get("/login");
    EXPECT_EQ(login->get_header_value("Content-Security-Policy").find("wasm-unsafe-eval"), std::string::npos);
    EXPECT_FALSE(login->has_header("Cross-Origin-Embedder-Policy"));
    EXPECT_EQ(login->get_header_value("Cache-Control"), "no-store");
}

TEST_F(AppFilesTest, NothingOutsideTheFolderNorHiddenFilesAndOnlyReading) {
    ServerProcess server(temp.path / "data", {"--app-dir", app.string()});
    for (const char* target :
         {"/app/../secret.txt", "/app/%2e%2e/secret.txt", "/app/%2E%2E%2Fsecret.txt",
          "/app/models/..%2f..%2fsecret.txt", "/app/secret.txt", "/app/up/secret.txt", "/app/.hidden",
          "/app/index.html%00.js", "/app/%00", "/app//index.html", "/app/./index.html",
          "/app/models\\..\\..\\secret.txt", "/app/models", "/app/nothing.wasm"}) {
        SCOPED_TRACE(target);
        std::string response = RawGet(server.port, target);
        EXPECT_EQ(response.rfind("HTTP/1.1 404", 0), 0u) << response.substr(0, 200);
        EXPECT_EQ(response.find("the answers of a student"), std::string::npos);
        EXPECT_EQ(response.find("hidden\r\n"), std::string::npos);
    }
    httplib::Client client("127.0.0.1", server.port);
    auto refused = [](const httplib::Result& res) {
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 405);
        EXPECT_EQ(res->get_header_value("Allow"), "GET, HEAD");
    };
    refused(client.Post("/app/index.html", "x", "text/plain"));
    refused(client.Put("/app/new.html", "x", "text/plain"));
    refused(client.Delete("/app/index.html"));
    EXPECT_TRUE(fs::exists(app / "index.html"));
    EXPECT_FALSE(fs::exists(app / "new.html"));
}

TEST_F(AppFilesTest, AMissingFolderIsSaidInJapanese) {
    ServerProcess server(temp.path / "data", {"--app-dir", (temp.path / "no-such-folder").string()});
    httplib::Client client("127.0.0.1", server.port);
    for (const char* path : {"/app/", "/app/tavi-engine.wasm"}) {
        auto res = client.Get(path);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 404);
        EXPECT_EQ(res->get_header_value("Content-Type"), "text/html; charset=utf-8");
        EXPECT_NE(res->body.find("ブラウザー版 Tavi のファイルがありません"), std::string::npos) << res->body;
        EXPECT_NE(res->body.find("--app-dir"), std::string::npos);
    }
}

// The page of licences names Tavi's and quotes ChaSen's (from its source tarball, when the build
// has it) and IPADIC's (from Debian's ipadic) notices line by line; every page links it.
TEST(AboutPage, QuotesTheNoticesAndEveryPageLinksIt) {
    TempFolder temp;
    ServerProcess server(temp.path / "data");
    httplib::Client client("127.0.0.1", server.port);
    auto about = client.Get("/about");
    ASSERT_TRUE(about);
    ASSERT_EQ(about->status, 200);
    EXPECT_NE(about->body.find("Apache License 2.0"), std::string::npos);
    EXPECT_NE(about->body.find("http://www.apache.org/licenses/LICENSE-2.0"), std::string::npos);
    for (const char* attribution :
         {"出典：「情報通信白書」（総務省）（平成12年版〜令和5年版）",
          "Sentences from Tatoeba (tatoeba.org), by its contributors", "by Wikinews contributors", "CC BY 4.0"})
        EXPECT_NE(about->body.find(attribution), std::string::npos) << attribution;
    std::vector<std::string> page = NoticeLines(about->body);
    auto quoted = [&](const std::string& notice, const char* name) {
        std::vector<std::string> lines = NoticeLines(notice);
        ASSERT_GT(lines.size(), 10u) << name;
        for (const std::string& line : lines)
            EXPECT_NE(std::find(page.begin(), page.end(), line), page.end()) << name << ": " << line;
    };
    std::string ipadic = ReadFile("/usr/share/doc/ipadic/copyright");
    size_t start = ipadic.find("License: BSD-3-Clause with ICOT term\n");
    ASSERT_NE(start, std::string::npos);
    quoted(ipadic.substr(ipadic.find('\n', start) + 1), "IPADIC");
    const std::string tarball = TAVI_CHASEN_SOURCE;
    if (!tarball.empty()) quoted(Output("tar -xJOf '" + tarball + "' chasen-2.4.5/COPYING"), "ChaSen");

    auto login = client.Get("/login");
    EXPECT_NE(login->body.find("<a href=\"/about\">"), std::string::npos);
    EXPECT_NE(client.Get("/no-such-page")->body.find("<a href=\"/about\">"), std::string::npos);
}

TEST(AboutPage, VersionOfBothProgramsNamesTheLicence) {
    for (const char* program : {"tavi-serve", "tavi-score"}) {
        std::string out = Output(std::string(TAVI_BIN_DIR) + "/" + program + " --version");
        EXPECT_EQ(out.rfind(std::string(program) + " (Tavi) ", 0), 0u) << out;
        EXPECT_NE(out.find("Apache License 2.0"), std::string::npos) << out;
    }
}

}  // namespace
}  // namespace tavi::test
