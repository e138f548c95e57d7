#include "server/ServerHarness.h"

#include <arpa/inet.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "fakes/TestSupport.h"

extern char** environ;

namespace fs = std::filesystem;

namespace tavi::test {

TempFolder::TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "tavi-serve-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ec;
    fs::remove_all(path, ec);
}

ServerProcess::ServerProcess(const fs::path& dataDir, std::vector<std::string> extraArgs) : m_data(dataDir) {
    int out[2];
    if (pipe(out) != 0) throw std::runtime_error("pipe failed");
    std::string program = std::string(TAVI_BIN_DIR) + "/tavi-serve";
    std::string log = (dataDir.parent_path() / (dataDir.filename().string() + ".log")).string();
    std::vector<std::string> args = {program, "--data", dataDir.string(), "--listen", "127.0.0.1:0"};
    if (std::find(extraArgs.begin(), extraArgs.end(), "--jobs") == extraArgs.end())
        extraArgs.insert(extraArgs.end(), {"--jobs", "2"});
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (rc != 0) throw std::runtime_error("cannot start " + program);
    // Reads standard output until the line with the address it listens on, for at most 30 s.
    std::string text;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (text.find("で待ち受けています") == std::string::npos || text.back() != '\n') {
        pollfd p{out[0], POLLIN, 0};
        if (std::chrono::steady_clock::now() > deadline || poll(&p, 1, 1000) < 0) break;
        char buffer[512];
        ssize_t n = p.revents ? read(out[0], buffer, sizeof buffer) : 0;
        if (p.revents && n <= 0) break;
        text.append(buffer, static_cast<size_t>(std::max<ssize_t>(n, 0)));
    }
    close(out[0]);
    size_t at = text.find("://127.0.0.1:");
    if (at == std::string::npos) {
        Kill(SIGKILL);
        throw std::runtime_error("tavi-serve did not start: " + text + ReadFile(log));
    }
    port = std::stoi(text.substr(at + 13));
    const std::string shown = "パスワード ";
    if (size_t pw = text.find(shown); pw != std::string::npos)
        adminPassword = text.substr(pw + shown.size(), text.find(' ', pw + shown.size()) - pw - shown.size());
}

ServerProcess::~ServerProcess() { Kill(SIGTERM); }

int ServerProcess::Kill(int signal) {
    int status = 0;
    if (pid <= 0) return status;
    kill(pid, signal);
    waitpid(pid, &status, 0);
    pid = -1;
    return status;
}

std::vector<pid_t> ServerProcess::Workers() const {
    std::vector<pid_t> workers;
    std::error_code ec;
    for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
        std::ifstream children(task.path() / "children");
        for (pid_t child; children >> child;) workers.push_back(child);
    }
    return workers;
}

bool AddUser(const fs::path& dataDir, const std::string& name, const std::string& password, bool admin) {
    std::string command = "echo '" + password + "' | " + TAVI_BIN_DIR + "/tavi-serve --data '" + dataDir.string() +
                          "' --add-user '" + name + "'" + (admin ? " --admin" : "");
    return std::system(command.c_str()) == 0;
}

Teacher::Teacher(int port, const std::string& user, const std::string& password) : client("127.0.0.1", port) {
    client.set_read_timeout(60);
    nlohmann::json body = {{"user", user}, {"password", password}};
    auto res = client.Post("/api/login", body.dump(), "application/json");
    loginStatus = res ? res->status : 0;
    if (!res || res->status != 200) return;
    std::string set = res->get_header_value("Set-Cookie");
    cookie = set.substr(0, set.find(';'));
    csrf = nlohmann::json::parse(res->body)["csrf"];
}

Teacher::Teacher(int port, Session session)
    : client("127.0.0.1", port), cookie(std::move(session.cookie)), csrf(std::move(session.csrf)) {
    client.set_read_timeout(60);
}

httplib::Headers Teacher::Headers(bool withToken) const {
    httplib::Headers h = {{"Cookie", cookie}};
    if (withToken) h.emplace("X-CSRF-Token", csrf);
    return h;
}

httplib::Result Teacher::Get(const std::string& path) { return client.Get(path.c_str(), Headers(false)); }
httplib::Result Teacher::Post(const std::string& path, const std::string& json) {
    return client.Post(path.c_str(), Headers(true), json, "application/json");
}
httplib::Result Teacher::Upload(const httplib::MultipartFormDataItems& items) {
    return client.Post("/api/jobs", Headers(true), items);
}
httplib::Result Teacher::Delete(const std::string& path) { return client.Delete(path.c_str(), Headers(true)); }
httplib::Result Teacher::Put(const std::string& path, const std::string& json) {
    return client.Put(path.c_str(), Headers(true), json, "application/json");
}

nlohmann::json Teacher::Json(const std::string& path) {
    auto res = Get(path);
    if (!res || res->status != 200) return nullptr;
    return nlohmann::json::parse(res->body);
}

nlohmann::json Teacher::WaitDone(const std::string& id, int seconds) {
    nlohmann::json job;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        job = Json("/api/jobs/" + id);
        if (job.is_null() || job["state"] == "done") break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return job;
}

RawConnection::RawConnection(int port, const std::string& from) {
    m_fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in source{}, target{};
    source.sin_family = target.sin_family = AF_INET;
    inet_pton(AF_INET, from.c_str(), &source.sin_addr);
    target.sin_port = htons(static_cast<uint16_t>(port));
    target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected = m_fd >= 0 && bind(m_fd, reinterpret_cast<sockaddr*>(&source), sizeof source) == 0 &&
                connect(m_fd, reinterpret_cast<sockaddr*>(&target), sizeof target) == 0;
}

RawConnection::~RawConnection() {
    if (m_fd >= 0) close(m_fd);
}

bool RawConnection::Send(const std::string& bytes) {
    return send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

std::string RawConnection::Receive(double seconds, bool& closed, bool untilBlank) {
    std::string text;
    closed = false;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!(untilBlank && text.find("\r\n\r\n") != std::string::npos)) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{m_fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        char buffer[4096];
        ssize_t n = recv(m_fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            closed = true;
            break;
        }
        text.append(buffer, static_cast<size_t>(n));
    }
    return text;
}

std::string MakeZip(const std::vector<std::pair<std::string, std::string>>& entries, bool stored) {
    TempFolder dir;
    fs::path path = dir.path / "a.zip";
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    for (const auto& [name, bytes] : entries) {
        if (name.back() == '/') {
            zip_dir_add(archive, name.c_str(), ZIP_FL_ENC_UTF_8);
            continue;
        }
        zip_source_t* source = zip_source_buffer(archive, bytes.data(), bytes.size(), 0);
        zip_int64_t index = zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8);
        if (stored) zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
    }
    zip_close(archive);
    return ReadFile(path);
}

long PeakMemoryKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

bool ResetPeakMemory(pid_t pid) {
    std::ofstream clear("/proc/" + std::to_string(pid) + "/clear_refs");
    clear << "5";
    clear.close();
    return static_cast<bool>(clear);
}

std::string ReadFile(const fs::path& path) { return ReadFileBytes(path.string()); }

httplib::MultipartFormDataItems SampleUpload() {
    fs::path samples = TAVI_SAMPLES_DIR;
    httplib::MultipartFormDataItems items = {
        {"question", ReadFile(samples / "question.txt"), "question.txt", "text/plain"}};
    std::vector<fs::path> answers;
    for (const auto& e : fs::directory_iterator(samples / "answers"))
        if (e.path().extension() == ".txt") answers.push_back(e.path());
    std::sort(answers.begin(), answers.end());
    for (const fs::path& a : answers) items.push_back({"answers", ReadFile(a), a.filename().string(), "text/plain"});
    return items;
}

std::string TaviScoreCsv(const fs::path& question, const fs::path& answers) {
    TempFolder out;
    std::string command = std::string(TAVI_BIN_DIR) + "/tavi-score -j 2 --format csv -o '" +
                          (out.path / "r.csv").string() + "' -q '" + question.string() + "' '" + answers.string() + "'";
    if (std::system(command.c_str()) != 0) return {};
    return ReadFile(out.path / "r.csv");
}

std::vector<std::string> WithoutPaths(const std::string& csv) {
    // The path is the ninth of nine cells, each followed by a comma; no sample cell holds one.
    std::vector<std::string> rows;
    std::istringstream in(csv);
    for (std::string line; std::getline(in, line);) {
        size_t cut = 0;
        for (int k = 0; k < 8 && cut != std::string::npos; ++k) cut = line.find(',', cut) + 1;
        rows.push_back(line.substr(0, cut));
    }
    return rows;
}

}  // namespace tavi::test
