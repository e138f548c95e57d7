#pragma once

#include <gtest/gtest.h>
#include <httplib.h>

#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace tavi::test {

// The password of the accounts that the tests make.
inline constexpr const char* kPassword = "correct horse battery";

// A temporary folder removed with everything in it at the end.
struct TempFolder {
    TempFolder();
    ~TempFolder();
    std::filesystem::path path;
};

// tavi-serve started on a free loopback port over a data folder, ended at the end.
class ServerProcess {
public:
    explicit ServerProcess(const std::filesystem::path& dataDir, std::vector<std::string> extraArgs = {});
    ~ServerProcess();
    int port = 0;
    pid_t pid = -1;
    std::string adminPassword;  // when the server created the administrator
    // Ends the server with a signal and waits for it; its wait status.
    int Kill(int signal);
    // The scoring processes it started.
    std::vector<pid_t> Workers() const;

private:
    std::filesystem::path m_data;
};

// Adds a user through the command line; true on success.
bool AddUser(const std::filesystem::path& dataDir, const std::string& name, const std::string& password,
             bool admin = false);

// A signed-in client: keeps the session cookie and sends the CSRF token.
class Teacher {
public:
    Teacher(int port, const std::string& user, const std::string& password);
    // A client of a session that was signed in before.
    struct Session {
        std::string cookie, csrf;
    };
    Teacher(int port, Session session);
    httplib::Result Get(const std::string& path);
    httplib::Result Post(const std::string& path, const std::string& json = "{}");
    httplib::Result Upload(const httplib::MultipartFormDataItems& items);
    httplib::Result Delete(const std::string& path);
    httplib::Result Put(const std::string& path, const std::string& json);
    httplib::Headers Headers(bool withToken) const;
    nlohmann::json Json(const std::string& path);
    // Polls the job until it is done (bounded); its last state.
    nlohmann::json WaitDone(const std::string& id, int seconds = 120);

    httplib::Client client;
    std::string cookie, csrf;
    int loginStatus = 0;
};

// A raw TCP connection to the server on 127.0.0.1, from a loopback address of its own
// (127.0.0.x, so that tests can stand for several clients).
class RawConnection {
public:
    RawConnection(int port, const std::string& from = "127.0.0.1");
    ~RawConnection();
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;
    bool connected = false;
    bool Send(const std::string& bytes);
    // What the server sends within `seconds`, until it closes the connection (`closed` then
    // true) or, with `untilBlank`, until the end of a response's headers.
    std::string Receive(double seconds, bool& closed, bool untilBlank = false);

private:
    int m_fd = -1;
};

// A zip archive of the given entries (a name ending in "/" is a folder), deflated or stored.
std::string MakeZip(const std::vector<std::pair<std::string, std::string>>& entries, bool stored = false);
// The most memory the process has held (VmHWM), in KiB; -1 when it cannot be read.
long PeakMemoryKiB(pid_t pid);
// Starts the process's peak memory again from what it holds now; false when the system does
// not let this process do it.
bool ResetPeakMemory(pid_t pid);

// The sample question and answer files as multipart items, answers in name order.
httplib::MultipartFormDataItems SampleUpload();
std::string ReadFile(const std::filesystem::path& path);
// The results file of tavi-score on a question and a folder of answers.
std::string TaviScoreCsv(const std::filesystem::path& question, const std::filesystem::path& answers);
// The rows of a results file without the path column.
std::vector<std::string> WithoutPaths(const std::string& csv);

// A data folder with a teacher, sato, and an administrator, kocho.
class TwoAccountsTest : public ::testing::Test {
protected:
    void SetUp() override {
        data = temp.path / "data";
        ASSERT_TRUE(AddUser(data, "sato", kPassword));
        ASSERT_TRUE(AddUser(data, "kocho", kPassword, true));
    }
    TempFolder temp;
    std::filesystem::path data;
};

}  // namespace tavi::test
