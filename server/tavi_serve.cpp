// tavi-serve: Tavi in the browser for a staff room.
#include <malloc.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <thread>

#include "report/About.h"
#include "server/Auth.h"
#include "server/Scheduler.h"
#include "server/Server.h"
#include "server/Store.h"

namespace fs = std::filesystem;
using namespace tavi::serve;

namespace {

void Error(const std::string& message) { std::fprintf(stderr, "tavi-serve: %s\n", message.c_str()); }

bool ParseListen(const std::string& text, ServerOptions& options) {
    size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    try {
        size_t used = 0;
        int port = std::stoi(text.substr(colon + 1), &used);
        if (used != text.size() - colon - 1 || port < 0 || port > 65535) return false;
        options.host = text.substr(0, colon);
        options.port = port;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

std::string ReadPassword() {
    std::string password;
    std::getline(std::cin, password);
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return password;
}

// Removes job folders that the database does not know (left by a crash while a job was
// being created): nothing of a student's essay stays behind.
void RemoveStrayJobFolders(Store& store, const std::string& dataDir) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dataDir + "/jobs", ec))
        if (!store.Job(entry.path().filename().string())) fs::remove_all(entry.path(), ec);
}

std::string ThisProgram() {
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : self.string();
}

// The browser build's folder as the built-in models are found: the build tree's web/ beside the
// programs' bin/, else ../share/tavi/web/ (for /usr/bin/tavi-serve, /usr/share/tavi/web/).
std::string DefaultAppDir(const std::string& program) {
    fs::path bin = fs::path(program).parent_path();
    std::error_code ec;
    if (fs::is_directory(bin / ".." / "web", ec)) return (bin / ".." / "web").lexically_normal().string();
    return (bin / ".." / "share" / "tavi" / "web").lexically_normal().string();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--worker") return RunWorker();

    CLI::App app{"ブラウザーで使う Tavi: 教員がログインし、設問文と回答文を送って採点し、結果をダウンロードします。"};
    ServerOptions options;
    options.processes = std::max(1, static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN)));
    std::string listen = "127.0.0.1:8080", addUser, removeUser, modelsDir;
    bool admin = false;
    size_t maxUploadMiB = 64;
    app.add_option("--data", options.dataDir, "データフォルダー（データベースと送られたファイル）")
        ->capture_default_str();
    app.add_option("--listen", listen, "待ち受けるアドレスとポート")->capture_default_str();
    app.add_option("--jobs", options.processes, "採点のプロセスの数（既定: コアの数）")->check(CLI::Range(1, 256));
    app.add_option("--cert", options.certFile, "TLS の証明書（PEM）");
    app.add_option("--key", options.keyFile, "TLS の秘密鍵（PEM）");
    app.add_option("--max-upload", maxUploadMiB, "1 回の要求の上限（MB）")
        ->capture_default_str()
        ->check(CLI::Range(1, 4096));
    // Shorter timeouts and smaller limits, for the tests of the limits (not listed in --help).
    size_t maxUnpackedMiB = options.limits.maxUnpackedBytes >> 20;
    ConnectionLimits& connections = options.connections;
    app.add_option("--max-connections", connections.maxConnections, "同時に開ける接続の数")
        ->capture_default_str()
        ->check(CLI::Range(8, 100000));
    app.add_option("--max-per-address", connections.maxPerAddress,
                   "1 つのアドレスから同時に開ける接続の数（プロキシの後ろではプロキシのアドレス）")
        ->capture_default_str()
        ->check(CLI::Range(1, 100000));
    app.add_option("--read-timeout", connections.ioSeconds)->check(CLI::Range(1, 3600))->group("");
    app.add_option("--request-timeout", connections.headerSeconds)->check(CLI::Range(1, 3600))->group("");
    app.add_option("--session-lifetime", options.sessionLifetime)->check(CLI::Range(1, 365 * 86400))->group("");
    app.add_option("--max-unpacked", maxUnpackedMiB)->check(CLI::Range(1, 1 << 20))->group("");
    app.add_option("--app-dir", options.appDir,
                   "/app/ で配るブラウザー版のフォルダー（既定: 実行ファイルの ../web、なければ ../share/tavi/web）");
    app.set_version_flag("--version", std::string("tavi-serve (Tavi) ") + TAVI_VERSION + "\n" + tavi::kLicenceNotice +
                                          "\n" + tavi::kLicenceWhere + "\n" + tavi::kNoticesWhere);
    app.add_option("--models", modelsDir, "追加の内容モデルのフォルダー（*.tcf とそのファイル）");
    app.add_option("--add-user", addUser, "利用者を追加して終了する（パスワードは標準入力から読む）");
    app.add_flag("--admin", admin, "--add-user と共に: 利用者を管理者にする");
    app.add_option("--remove-user", removeUser, "利用者をそのジョブごと削除して終了する");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }
    if (!ParseListen(listen, options)) {
        Error("--listen には「ホスト:ポート」を指定してください（「" + listen + "」は使えません）。");
        return 2;
    }
    if (options.certFile.empty() != options.keyFile.empty()) {
        Error("--cert と --key は両方とも指定してください。");
        return 2;
    }
    connections.maxBody = maxUploadMiB << 20;
    options.limits.maxUnpackedBytes = maxUnpackedMiB << 20;
    if (!InitCrypto()) {
        Error("libsodium を初期化できません。");
        return 1;
    }

    std::error_code ec;
    umask(077);  // essays are personal data: only this account reads the data folder
    fs::create_directories(fs::path(options.dataDir) / "jobs", ec);
    if (ec) {
        Error(options.dataDir + ": " + ec.message());
        return 1;
    }
    options.dataDir = fs::absolute(options.dataDir).lexically_normal().string();
    if (options.dataDir.size() > 1 && options.dataDir.back() == '/') options.dataDir.pop_back();
    try {
        Store store(options.dataDir + "/tavi.db");
        if (!addUser.empty()) {
            std::string password = ReadPassword();
            std::string problem = UserNameProblem(addUser);
            if (problem.empty()) problem = PasswordProblem(addUser, password);
            if (!problem.empty()) {
                Error(problem + "（パスワードは標準入力から 1 行で読みます）");
                return 1;
            }
            if (!store.AddUser(addUser, HashPassword(password), admin)) {
                Error("利用者 " + addUser +
                      " はすでにいます（大文字と小文字は区別しません）。別の名前にしてください。");
                return 1;
            }
            std::printf("利用者 %s を追加しました%s\n", addUser.c_str(), admin ? "（管理者）" : "");
            return 0;
        }
        if (!removeUser.empty()) {
            std::optional<User> user = store.FindUser(removeUser);
            if (!user) {
                Error("利用者 " + removeUser + " はいません。");
                return 1;
            }
            std::vector<JobRow> jobs = store.Jobs(user->id);
            for (const JobRow& job : jobs) fs::remove_all(options.dataDir + "/jobs/" + job.id, ec);
            store.RemoveUser(removeUser);
            std::printf("利用者 %s とそのジョブ %zu 件を削除しました\n", user->name.c_str(), jobs.size());
            return 0;
        }
        if (!modelsDir.empty()) {
            std::string error;
            if (!options.models.AddFolder(modelsDir, error)) {
                Error(error);
                return 1;
            }
        }
        if (store.Users().empty()) {
            std::string password = RandomHex(8);
            store.AddUser("admin", HashPassword(password), true);
            std::printf("管理者 admin を作りました。パスワード %s （表示はこの一度だけです）\n", password.c_str());
        }
        RemoveStrayJobFolders(store, options.dataDir);
        options.program = ThisProgram();
        if (options.appDir.empty()) options.appDir = DefaultAppDir(options.program);
        // Few malloc arenas: with one per connection thread, memory freed by one upload's thread
        // is not reused by the next, and the server grows from round to round.
        mallopt(M_ARENA_MAX, 2);

        // SIGTERM and SIGINT are taken by one thread, which stops the server; writes to a
        // scoring process that died fail instead of ending this one.
        signal(SIGPIPE, SIG_IGN);
        sigset_t stopSignals;
        sigemptyset(&stopSignals);
        sigaddset(&stopSignals, SIGTERM);
        sigaddset(&stopSignals, SIGINT);
        pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
        Server server(std::move(options), store);
        std::thread stopper([&] {
            int signal = 0;
            sigwait(&stopSignals, &signal);
            server.Stop();
        });
        std::string error;
        bool ran = server.Run(error);
        if (!ran) Error(error);
        pthread_kill(stopper.native_handle(), SIGTERM);
        stopper.join();
        return ran ? 0 : 1;
    } catch (const std::exception& e) {
        Error(e.what());
        return 1;
    }
}
