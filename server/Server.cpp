#include "server/Server.h"

#include <strings.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

namespace fs = std::filesystem;

namespace tavi::serve {
namespace {

using Json = nlohmann::json;

constexpr const char* kCookie = "tavi_session";
constexpr int64_t kIdleSeconds = 12 * 60 * 60;
constexpr const char* kJobId = "([0-9a-f]{32})";

int64_t Now() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// JSON text; bytes of a message that are not UTF-8 (an uploaded name, say) become U+FFFD.
std::string Dump(const Json& body) { return body.dump(-1, ' ', false, Json::error_handler_t::replace); }

// A mark or full mark as a teacher writes it ("10", "7.5").
void Fail(httplib::Response& res, int status, const std::string& message) {
    res.status = status;
    res.set_content(Dump(Json{{"error", message}}), "application/json");
}

}  // namespace

void Fail404(httplib::Response& res) { Fail(res, 404, "ジョブが見つかりません。ジョブ一覧から選び直してください。"); }

void FailWith(httplib::Response& res, int status, const std::string& message) { Fail(res, status, message); }

namespace {

constexpr const char* kAdminsOnly = "利用者の管理は管理者だけができます。";
constexpr const char* kNoSuchUser = "その利用者はいません。利用者の一覧を読み込み直してください。";

std::string NoSuchAnswer(int number) {
    return "回答文 " + std::to_string(number) + " はありません。ジョブのページから選び直してください。";
}

std::string ThrottledMessage(long long wait) {
    return "失敗が続いたため、しばらく受け付けません。" + std::to_string(wait) + " 秒後にもう一度お試しください。";
}

void Reply(httplib::Response& res, int status, const Json& body) {
    res.status = status;
    res.set_content(Dump(body), "application/json");
}

// A member of a request's JSON object that must be a string; empty when it is missing or is
// something else.
std::string StringField(const Json& body, const char* name) {
    auto it = body.find(name);
    return it != body.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// The request's JSON object; null after a 400 when the body is not one.
Json BodyObject(const httplib::Request& req, httplib::Response& res) {
    Json body = Json::parse(req.body, nullptr, false);
    if (!body.is_object()) {
        Fail(res, 400, "送られた内容が JSON のオブジェクトではありません。");
        return nullptr;
    }
    return body;
}

std::string CookieValue(const httplib::Request& req, const std::string& name) {
    std::string header = req.get_header_value("Cookie");
    for (size_t pos = 0; pos < header.size();) {
        size_t end = header.find(';', pos);
        if (end == std::string::npos) end = header.size();
        std::string item = header.substr(pos, end - pos);
        size_t start = item.find_first_not_of(' ');
        if (start != std::string::npos && item.compare(start, name.size() + 1, name + "=") == 0)
            return item.substr(start + name.size() + 1);
        pos = end + 1;
    }
    return {};
}

// Headers every response carries, once: nothing from other origins, no inline script, no
// framing; under TLS, HTTPS only from then on.
void SecurityHeaders(httplib::Response& res, bool tls) {
    auto once = [&](const char* name, const char* value) {
        if (!res.has_header(name)) res.set_header(name, value);
    };
    once("Content-Security-Policy",
         "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
         "object-src 'none'; base-uri 'none'; form-action 'self'; frame-ancestors 'none'");
    once("X-Content-Type-Options", "nosniff");
    once("Referrer-Policy", "no-referrer");
    once("X-Frame-Options", "DENY");
    once("Cache-Control", "no-store");
    if (tls) once("Strict-Transport-Security", "max-age=31536000");
}

// Text for the log: control bytes and backslashes as \xHH, so that a request cannot forge a
// line of its own.
std::string LogText(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c >= 0x20 && c != 0x7f && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            out += escaped;
        }
    }
    return out;
}

// `paused`: why scoring is paused, shown with the jobs that wait for it.
Json JobJson(const JobRow& job, const std::string& paused) {
    bool waiting = !paused.empty() && (job.state == "queued" || job.state == "scoring");
    return {{"id", job.id},
            {"name", job.name},
            {"state", job.state},
            {"paused", waiting ? Json(paused) : Json(nullptr)},
            {"answers", job.answers},
            {"scored", job.scored},
            {"failed", job.failed},
            {"question", job.question},
            {"model", ModelNameOf(job.params)},
            {"created", job.created},
            {"finished", job.finished > 0 ? Json(job.finished) : Json(nullptr)},
            {"params", Json::parse(job.params, nullptr, false)},
            {"fullMark", job.fullMark}};
}

bool WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

// Reads a refused body and drops it, so that the connection stays usable; the refusal keeps
// its status even when the body is also over the limit.
void DropBody(const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader) {
    int status = res.status;
    if (req.is_multipart_form_data())
        reader([](const httplib::MultipartFormData&) { return true; }, [](const char*, size_t) { return true; });
    else
        reader([](const char*, size_t) { return true; });
    res.status = status;
}

}  // namespace

Server::Server(ServerOptions options, Store& store)
    : m_options(std::move(options)),
      m_store(store),
      m_scheduler(store, m_options.dataDir, m_options.program, m_options.processes) {
    m_http = std::make_unique<HttpServer>(m_options.connections);
    if (!m_options.certFile.empty()) m_http->UseTls(m_options.certFile, m_options.keyFile, m_tlsError);
    m_http->set_socket_options([this](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        m_listenSocket = sock;
    });
    const bool tls = !m_options.certFile.empty();
    m_http->set_post_routing_handler([tls](const Request&, Response& res) { SecurityHeaders(res, tls); });
    m_http->set_error_handler([this](const Request& req, Response& res) {
        // A page that does not exist is answered with a page.
        if (res.body.empty() && res.status == 404 && req.method == "GET" && req.path.rfind("/api/", 0) != 0 &&
            req.path.rfind("/assets/", 0) != 0)
            return ErrorPage(req, res, 404, "このページはありません。アドレスを確かめてください。");
        if (res.body.empty()) {
            std::string message = res.status == 413
                                      ? UploadTooLarge()
                                      : "要求を受け付けられませんでした（HTTP " + std::to_string(res.status) + "）。";
            Fail(res, res.status, message);
        }
    });
    m_http->set_exception_handler([](const Request& req, Response& res, std::exception_ptr ep) {
        std::string what = "unknown";
        try {
            std::rethrow_exception(ep);
        } catch (const std::exception& e) {
            what = e.what();
        } catch (...) {
        }
        std::fprintf(stderr, "tavi-serve: %s %s: %s\n", LogText(req.method).c_str(), LogText(req.path).c_str(),
                     LogText(what).c_str());
        Fail(res, 500, "サーバー内部のエラーです。管理者に知らせてください（" + what + "）。");
    });
    // Requests and their outcome; never a body (essays are personal data).
    m_http->set_logger([](const Request& req, const Response& res) {
        std::fprintf(stderr, "%s %s %d\n", LogText(req.method).c_str(), LogText(req.path).c_str(), res.status);
    });
    // A finished job's summary is rendered once, before its teacher's next look.
    m_scheduler.OnJobDone([this](const std::string& id) {
        std::lock_guard lock(m_summaryMutex);
        m_finished.push_back(id);
        m_finishedReady.notify_one();
    });
    Routes();
    Pages();
    AppRoutes();
}

Server::~Server() { Stop(); }

bool Server::Run(std::string& error) {
    if (!m_tlsError.empty()) {
        error = m_tlsError;
        return false;
    }
    int port = m_options.port;
    if (port == 0) {
        port = m_http->bind_to_any_port(m_options.host);
        if (port < 0) port = 0;
    } else if (!m_http->bind_to_port(m_options.host, port)) {
        port = 0;
    }
    if (port == 0) {
        error = m_options.host + ":" + std::to_string(m_options.port) +
                " で待ち受けられません。ほかのプログラムが使っていないか、アドレスが正しいか確かめてください。";
        return false;
    }
    // The library listens with a short queue of connections; many teachers at once need more.
    if (m_listenSocket >= 0) listen(m_listenSocket, SOMAXCONN);
    m_renderer = std::thread(&Server::RenderFinished, this);
    m_scheduler.Start();
    std::printf("%s://%s:%d で待ち受けています\n", m_options.certFile.empty() ? "http" : "https",
                m_options.host.c_str(), port);
    std::fflush(stdout);
    m_http->listen_after_bind();
    m_scheduler.Stop();
    {
        std::lock_guard lock(m_summaryMutex);
        m_stopRendering = true;
    }
    m_finishedReady.notify_one();
    m_renderer.join();
    return true;
}

std::string Server::UploadTooLarge() const { return m_http->TooLarge(); }

void Server::RenderFinished() {
    std::unique_lock lock(m_summaryMutex);
    for (;;) {
        m_finishedReady.wait(lock, [&] { return m_stopRendering || !m_finished.empty(); });
        if (m_stopRendering) return;
        std::string id = std::move(m_finished.front());
        m_finished.pop_front();
        lock.unlock();
        if (std::optional<JobRow> job = m_store.Job(id)) Summary(*job);
        lock.lock();
    }
}

void Server::Stop() {
    if (m_http) m_http->stop();
}

std::optional<Server::Caller> Server::SignedIn(const Request& req, Response& res, bool changesState) {
    std::string id = CookieValue(req, kCookie);
    std::optional<Store::SessionUser> session;
    if (!id.empty()) session = m_store.UseSession(SessionKey(id), Now(), kIdleSeconds, m_options.sessionLifetime);
    if (!session) {
        Fail(res, 401, "ログインしていません。ログインし直してください。");
        return std::nullopt;
    }
    if (changesState && !SameToken(req.get_header_value("X-CSRF-Token"), session->csrf)) {
        Fail(res, 403, "ページの有効期限が切れています。ページを読み込み直してから、もう一度操作してください。");
        return std::nullopt;
    }
    return Caller{session->user, session->csrf};
}

std::optional<JobRow> Server::OwnJob(const Caller& caller, const Request& req, Response& res) {
    std::optional<JobRow> job = m_store.Job(caller.user.id, req.matches[1]);
    if (!job) Fail404(res);
    return job;
}

namespace {

// True when a request that signs in comes from this server's own pages: when the browser
// names the page's origin, its host and port are those the request was sent to.
bool SameOrigin(const httplib::Request& req) {
    if (!req.has_header("Origin")) return true;
    std::string origin = req.get_header_value("Origin");
    size_t scheme = origin.find("://");
    return scheme != std::string::npos && !req.get_header_value("Host").empty() &&
           strcasecmp(origin.substr(scheme + 3).c_str(), req.get_header_value("Host").c_str()) == 0;
}

}  // namespace

void Server::Login(const Request& req, Response& res) {
    // A page of another site can send a form, but not JSON, and names its origin.
    std::string type = req.get_header_value("Content-Type");
    if (type.substr(0, type.find(';')) != "application/json")
        return Fail(res, 415, "ログインの要求は JSON で送ってください（Content-Type: application/json）。");
    if (!SameOrigin(req))
        return Fail(
            res, 403,
            "ほかのサイトのページからのログインは受け付けません。Tavi のログインページからログインしてください。");
    Json body = BodyObject(req, res);
    if (body.is_null()) return;
    std::string user = UserNameKey(StringField(body, "user")), password = StringField(body, "password");
    LoginThrottle::Attempt attempt = m_throttle.Begin(user, req.remote_addr);
    if (attempt.wait > 0) {
        res.set_header("Retry-After", std::to_string(attempt.wait));
        return Fail(res, 429, ThrottledMessage(attempt.wait));
    }
    std::optional<User> found = m_store.FindUser(user);
    // An unknown name costs as much time as a wrong password.
    static const std::string dummy = HashPassword(RandomHex(16));
    bool ok = VerifyPassword(found ? found->hash : dummy, password) && found;
    m_throttle.Finish(attempt, ok);
    if (!ok) return Fail(res, 401, "利用者名またはパスワードが違います。");
    std::string id = RandomHex(32), csrf = RandomHex(32);
    m_store.RemoveSessionsBefore(Now() - kIdleSeconds, Now() - m_options.sessionLifetime);
    m_store.AddSession(SessionKey(id), found->id, csrf, Now());
    res.set_header("Set-Cookie", std::string(kCookie) + "=" + id + "; Path=/; HttpOnly; SameSite=Strict" +
                                     (m_options.certFile.empty() ? "" : "; Secure"));
    Reply(res, 200, {{"csrf", csrf}, {"user", found->name}, {"admin", found->admin}});
}

void Server::Logout(const Request& req, Response& res) {
    if (!SignedIn(req, res, true)) return;
    m_store.RemoveSession(SessionKey(CookieValue(req, kCookie)));
    res.set_header("Set-Cookie", std::string(kCookie) + "=; Path=/; HttpOnly; SameSite=Strict; Max-Age=0");
    Reply(res, 200, Json::object());
}

void Server::ChangeOwnPassword(const Request& req, Response& res) {
    std::optional<Caller> c = SignedIn(req, res, true);
    if (!c) return;
    Json body = BodyObject(req, res);
    if (body.is_null()) return;
    std::string oldPassword = StringField(body, "oldPassword"), newPassword = StringField(body, "newPassword");
    // The old password is guessed no faster here than at sign-in.
    LoginThrottle::Attempt attempt = m_throttle.Begin(UserNameKey(c->user.name), req.remote_addr);
    if (attempt.wait > 0) {
        res.set_header("Retry-After", std::to_string(attempt.wait));
        return Fail(res, 429, ThrottledMessage(attempt.wait));
    }
    std::optional<User> user = m_store.FindUser(c->user.id);
    bool ok = user && VerifyPassword(user->hash, oldPassword);
    m_throttle.Finish(attempt, ok);
    if (!ok) return Fail(res, 403, "現在のパスワードが違います。");
    if (std::string problem = PasswordProblem(user->name, newPassword); !problem.empty())
        return Fail(res, 400, problem);
    m_store.SetPassword(user->name, HashPassword(newPassword), SessionKey(CookieValue(req, kCookie)));
    Reply(res, 200, Json::object());
}

void Server::SetUserPassword(const Request& req, Response& res) {
    std::optional<Caller> c = SignedIn(req, res, true);
    if (!c) return;
    if (!c->user.admin) return Fail(res, 403, kAdminsOnly);
    Json body = BodyObject(req, res);
    if (body.is_null()) return;
    std::optional<User> user = m_store.FindUser(httplib::detail::decode_url(req.matches[1], false));
    if (!user) return Fail(res, 404, kNoSuchUser);
    std::string password = StringField(body, "password");
    if (std::string problem = PasswordProblem(user->name, password); !problem.empty()) return Fail(res, 400, problem);
    // An administrator who sets their own password stays signed in here.
    std::string keep = user->id == c->user.id ? SessionKey(CookieValue(req, kCookie)) : std::string();
    m_store.SetPassword(user->name, HashPassword(password), keep);
    Reply(res, 200, Json::object());
}

void Server::CreateJob(const Caller& caller, const Request& req, Response& res, const httplib::ContentReader& reader) {
    if (!req.is_multipart_form_data()) {
        Fail(res, 400, "新しいジョブは multipart/form-data のフォームで送ってください。");
        return DropBody(req, res, reader);
    }
    JobRow job;
    job.id = RandomHex(16);
    const fs::path dir = JobDir(job.id);
    std::error_code ec;
    if (!fs::create_directories(dir / "answers", ec)) {
        Fail(res, 500,
             "データフォルダーにジョブのフォルダーを作れません。管理者に知らせてください（" + ec.message() + "）。");
        return DropBody(req, res, reader);
    }
    const UploadLimits& limits = m_options.limits;
    // The form's parts in order. An answer file goes to a file of the job's folder as it comes
    // and is checked when it ends, a .zip entry by entry; the question and the fields are kept
    // (each at most one file's size). After a refusal the rest is read and dropped.
    enum class Kind { Answers, Question, Field, Ignored } kind = Kind::Ignored;
    httplib::MultipartFormData current;
    size_t partBytes = 0;
    std::ofstream partFile;
    const std::string partPath = (dir / "upload.part").string();
    UploadedAnswers uploaded = AnswersInFolder((dir / "answers").string());
    // Answer files are kept as they come and added once the form's fields (the sheets'
    // columns among them) are all known, in the order sent.
    std::vector<std::pair<std::string, std::string>> received;  // uploaded name, kept file
    std::map<std::string, std::string> fields;
    std::string questionName, questionBytes, problem;
    bool hasAnswerFiles = false;
    auto refuse = [&](std::string why) {
        if (problem.empty()) problem = std::move(why);
    };
    auto finish = [&] {
        if (kind == Kind::Answers) {
            partFile.close();
            if (!problem.empty()) {
            } else if (!partFile) {
                refuse(
                    "回答文: "
                    "アップロードをデータフォルダーに書き込めません。ディスクに空きがあるか、管理者に確かめてもらってく"
                    "ださい。");
            } else if (!current.filename.empty() || partBytes > 0) {  // not an empty file picker
                hasAnswerFiles = true;
                std::string kept = (dir / ("upload-" + std::to_string(received.size() + 1) + ".part")).string();
                fs::rename(partPath, kept, ec);
                if (ec)
                    refuse(
                        "回答文: "
                        "アップロードをデータフォルダーに書き込めません。ディスクに空きがあるか、管理者に確かめてもらっ"
                        "てください。");
                received.emplace_back(current.filename, kept);
            }
            fs::remove(partPath, ec);
        } else if (kind == Kind::Question) {
            questionName = BaseName(current.filename);
            questionBytes = std::move(current.content);
        } else if (kind == Kind::Field) {
            fields[current.name] = std::move(current.content);
        }
        kind = Kind::Ignored;
    };
    bool whole = reader(
        [&](const httplib::MultipartFormData& header) {
            finish();
            current = header;
            partBytes = 0;
            if (!problem.empty()) return true;
            if (header.name == "answers") {
                kind = Kind::Answers;
                partFile.clear();
                partFile.open(partPath, std::ios::binary | std::ios::trunc);
            } else if (header.name == "question" && !header.filename.empty()) {
                kind = Kind::Question;
            } else if (header.filename.empty() || header.name == "params") {
                kind = Kind::Field;  // a parameter file (params.tvp) is kept as a field
            }
            return true;
        },
        [&](const char* data, size_t size) {
            partBytes += size;
            if (!problem.empty() || kind == Kind::Ignored) return true;
            std::string shown = current.filename.empty() ? current.name : BaseName(current.filename);
            if (kind == Kind::Answers) {
                partFile.write(data, static_cast<std::streamsize>(size));
                // A .txt answer is refused as soon as it is over the limit of one file.
                if (!EndsWithNoCase(shown, ".zip") && !IsSheetUpload(shown))
                    refuse(SizeProblem(shown, partBytes, limits));
            } else {
                refuse(SizeProblem(shown, partBytes, limits));
                if (problem.empty()) current.content.append(data, size);
            }
            return true;
        });
    if (whole) finish();
    partFile.close();
    auto fail = [&](int status, const std::string& message) {
        DeleteJobFiles(job.id);
        Fail(res, status, message);
    };
    if (!whole && res.status == 413) return fail(413, UploadTooLarge());
    if (!whole) return fail(400, "フォームの内容が壊れているか、途中で切れています。もう一度送ってください。");
    SheetChoice columns;
    for (auto [field, choice] : {std::pair{"textColumn", &columns.text}, std::pair{"nameColumn", &columns.name},
                                 std::pair{"idColumn", &columns.id}})
        if (auto it = fields.find(field); it != fields.end()) *choice = it->second;
    for (const auto& [uploadedName, kept] : received) {
        if (problem.empty()) refuse(AddUpload({uploadedName, kept, {}}, limits, columns, uploaded));
        fs::remove(kept, ec);
    }
    if (!problem.empty()) return fail(400, problem);
    // A question pasted into the form instead of a file.
    if (questionName.empty() && !fields["questionText"].empty()) {
        questionName = "question.txt";
        questionBytes = fields["questionText"];
    }
    if (questionName.empty())
        return fail(400, "設問文がありません。設問文のファイルを選ぶか、設問文を入力してください。");
    if (std::string problem = NameProblem(questionName); !problem.empty()) return fail(400, "設問文: " + problem);
    if (!HasSjisForm(questionName))
        return fail(400, "設問文: ファイル名に Shift_JIS で表せない文字があります。名前を変えてください。");
    if (std::string problem = TextProblem(questionBytes); !problem.empty())
        return fail(400, questionName + ": " + problem);
    if (!hasAnswerFiles) return fail(400, "回答文のファイルがありません。回答文のファイルを選んでください。");
    if (uploaded.answers.empty()) return fail(400, "回答文: 送られたファイルに回答文がありません。");
    // A parameter file gives the job its parameters, whatever the form's fields say.
    if (!fields["params"].empty()) {
        std::map<std::string, std::string> fromFile;
        if (std::string problem = ParameterFileFields(fields["params"], m_options.models, fromFile); !problem.empty())
            return fail(400, problem);
        for (const auto& [name, value] : fromFile) fields[name] = value;
    }
    if (!fields["fullMark"].empty())
        if (std::string problem = ParseFullMark(fields["fullMark"], job.fullMark); !problem.empty())
            return fail(400, problem);
    std::string params;
    if (std::string problem = ParseJobParams(fields, m_options.models, params); !problem.empty())
        return fail(400, problem);
    if (!HasText(questionBytes, ParagraphModeOf(params)))
        return fail(400, questionName + ": 設問文に文章がありません。");
    std::string name = fields["name"].empty() ? questionName : fields["name"];
    if (name.size() > 200 || !HasSjisForm(name) || !NameProblem(name).empty())
        return fail(
            400,
            "ジョブ名が長すぎるか、Shift_JIS で表せない文字があります。日本語なら 66 字までの名前にしてください。");
    if (!WriteFile(dir / "question.txt", questionBytes))
        return fail(500, "ジョブのファイルをデータフォルダーに書き込めません。管理者に知らせてください。");

    job.userId = caller.user.id;
    job.name = name;
    job.question = questionName;
    job.params = params;
    job.state = "idle";
    job.created = Now();
    try {
        m_store.AddJob(job, uploaded.answers);
    } catch (...) {
        DeleteJobFiles(job.id);
        throw;
    }
    Reply(res, 201, {{"id", job.id}});
}

void Server::PreviewSheet(const Request& req, Response& res, const httplib::ContentReader& reader) {
    if (!req.is_multipart_form_data()) {
        Fail(res, 400, "表のファイルを multipart/form-data で送ってください。");
        return DropBody(req, res, reader);
    }
    std::string name, bytes, problem;
    bool inFile = false;
    bool whole = reader(
        [&](const httplib::MultipartFormData& header) {
            inFile = name.empty() && !header.filename.empty();
            if (inFile) name = BaseName(header.filename);
            return true;
        },
        [&](const char* data, size_t size) {
            if (!inFile || !problem.empty()) return true;
            if (bytes.size() + size > kMaxUploadedSheetBytes) {
                problem = SheetTooLarge(name);
                bytes.clear();
            } else {
                bytes.append(data, size);
            }
            return true;
        });
    if (!whole && res.status == 413) return Fail(res, 413, UploadTooLarge());
    if (!whole) return Fail(res, 400, "the form is malformed or cut off");
    if (name.empty()) return Fail(res, 400, "表のファイルがありません。.csv か .xlsx のファイルを選んでください。");
    // A file that is no sheet is refused as such, whatever its size.
    if (!problem.empty() && IsSheetUpload(name)) return Fail(res, 400, problem);
    Json preview;
    if (std::string refused = SheetPreview(name, bytes, preview); !refused.empty()) return Fail(res, 400, refused);
    Reply(res, 200, preview);
}

void Server::DeleteJobFiles(const std::string& id) {
    std::error_code ec;
    fs::remove_all(JobDir(id), ec);
}

JobData Server::DataOf(const JobRow& job, bool withRecords) {
    return {job.question, JobDir(job.id) + "/question.txt", job.params, m_store.Answers(job.id, withRecords),
            job.fullMark};
}

void Server::Download(const JobRow& job, const std::string& what, Response& res) {
    JobData data = DataOf(job, true);
    std::string type, body;
    if (what == "results.csv") {
        body = ResultsCsv(data);
        type = "text/csv; charset=Shift_JIS";
    } else if (what == "results.json") {
        body = ResultsJson(data);
        type = "application/json";
    } else if (what == "sheets.html") {
        // Opened in the browser to be printed; self-contained like the report, and allowed to
        // open the print dialog.
        res.set_header("Content-Security-Policy",
                       "default-src 'none'; style-src 'unsafe-inline'; script-src 'unsafe-inline'; img-src data:; "
                       "sandbox allow-scripts allow-modals");
        res.set_content(SheetsHtml(data, job.name), "text/html; charset=utf-8");
        return;
    } else if (what == "report.html") {
        body = ReportHtml(data);
        type = "text/html; charset=utf-8";
        // The report is one self-contained page with its own style and script; it runs in a
        // sandbox without the server's origin.
        res.set_header("Content-Security-Policy",
                       "default-src 'none'; style-src 'unsafe-inline'; script-src 'unsafe-inline'; img-src data:; "
                       "sandbox allow-scripts");
    } else if (what == "grades.csv") {
        body = GradesCsv(GradeRowsOf(data));
        type = "text/csv; charset=utf-8";
    } else if (what == "grades.xlsx") {
        body = GradesXlsx(GradeRowsOf(data));
        if (body.empty()) return Fail(res, 500, "成績のファイルを作れませんでした。もう一度お試しください。");
        type = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";
    } else {
        body = ParameterFile(data);
        type = "application/octet-stream";
    }
    res.set_header("Content-Disposition", "attachment; filename=\"" + what + "\"");
    res.set_content(body, type.c_str());
}

template <typename Handler>
auto Server::OwnJobHandler(bool changesState, Handler handler) {
    return [this, changesState, handler](const Request& req, Response& res) {
        std::optional<Caller> caller = SignedIn(req, res, changesState);
        if (!caller) return;
        if (std::optional<JobRow> job = OwnJob(*caller, req, res)) handler(*caller, *job, req, res);
    };
}

void Server::Routes() {
    httplib::Server& http = *m_http;
    http.Post("/api/login", [this](const Request& req, Response& res) { Login(req, res); });
    http.Post("/api/logout", [this](const Request& req, Response& res) { Logout(req, res); });
    http.Get("/api/me", [this](const Request& req, Response& res) {
        if (auto c = SignedIn(req, res, false))
            Reply(res, 200, {{"user", c->user.name}, {"admin", c->user.admin}, {"csrf", c->csrf}});
    });

    http.Get("/api/jobs", [this](const Request& req, Response& res) {
        auto c = SignedIn(req, res, false);
        if (!c) return;
        Json jobs = Json::array();
        std::string paused = m_scheduler.Paused();
        for (const JobRow& job : m_store.Jobs(c->user.id)) jobs.push_back(JobJson(job, paused));
        Reply(res, 200, jobs);
    });
    http.Post("/api/jobs", [this](const Request& req, Response& res, const httplib::ContentReader& reader) {
        if (auto c = SignedIn(req, res, true)) return CreateJob(*c, req, res, reader);
        DropBody(req, res, reader);
    });
    http.Post("/api/sheets/columns", [this](const Request& req, Response& res, const httplib::ContentReader& reader) {
        if (SignedIn(req, res, true)) return PreviewSheet(req, res, reader);
        DropBody(req, res, reader);
    });
    const std::string jobPath = std::string("/api/jobs/") + kJobId, answerPath = jobPath + "/answers/([0-9]{1,5})";
    http.Get(jobPath, OwnJobHandler(false, [this](const Caller&, const JobRow& job, const Request&, Response& res) {
                 Reply(res, 200, JobJson(job, m_scheduler.Paused()));
             }));
    http.Delete(jobPath, OwnJobHandler(true, [this](const Caller&, const JobRow& job, const Request&, Response& res) {
                    m_scheduler.Remove(job.id);
                    m_store.DeleteJob(job.id);
                    SummaryChanged(job.id);
                    DeleteJobFiles(job.id);
                    Reply(res, 200, Json::object());
                }));
    http.Post(jobPath + "/start",
              OwnJobHandler(true, [this](const Caller&, const JobRow& job, const Request&, Response& res) {
                  // Answers that failed are tried again.
                  m_store.ClearFailures(job.id);
                  bool queued = m_scheduler.Enqueue(job);
                  SummaryChanged(job.id);
                  Json state = JobJson(*m_store.Job(job.id), m_scheduler.Paused());
                  // Scoring a scored job again would give the same results.
                  if (!queued) state["message"] = "採点済みです。パラメータを変えると採点し直します。";
                  Reply(res, queued ? 202 : 200, state);
              }));
    http.Post(jobPath + "/stop",
              OwnJobHandler(true, [this](const Caller&, const JobRow& job, const Request&, Response& res) {
                  m_scheduler.Remove(job.id);
                  if (job.state != "done") m_store.SetJobState(job.id, "idle");
                  Reply(res, 200, JobJson(*m_store.Job(job.id), m_scheduler.Paused()));
              }));
    http.Get(
        jobPath + "/(results\\.csv|results\\.json|report\\.html|sheets\\.html|params\\.tvp|grades\\.csv|grades\\.xlsx)",
        OwnJobHandler(false, [this](const Caller&, const JobRow& job, const Request& req, Response& res) {
            Download(job, req.matches[2], res);
        }));
    http.Get(jobPath + "/answers",
             OwnJobHandler(false, [this](const Caller&, const JobRow& job, const Request&, Response& res) {
                 Json rows = Json::array();
                 for (const AnswerRow& a : m_store.Answers(job.id, true))
                     rows.push_back(AnswerJson(job.params, a, false));
                 Reply(res, 200, rows);
             }));
    http.Get(answerPath,
             OwnJobHandler(false, [this](const Caller&, const JobRow& job, const Request& req, Response& res) {
                 auto found = m_store.Answer(job.id, std::stoi(req.matches[2]));
                 if (!found) return Fail(res, 404, NoSuchAnswer(std::stoi(req.matches[2])));
                 Reply(res, 200, AnswerJson(job.params, *found, true));
             }));
    http.Put(answerPath + "/review",
             OwnJobHandler(true, [this](const Caller&, const JobRow& job, const Request& req, Response& res) {
                 Json body = BodyObject(req, res);
                 if (body.is_null()) return;
                 std::optional<double> mark;
                 std::string note;
                 if (std::string problem = ParseReview(body, job.fullMark, mark, note); !problem.empty())
                     return Fail(res, 400, problem);
                 if (!m_store.SetReview(job.id, std::stoi(req.matches[2]), mark, note))
                     return Fail(res, 404, NoSuchAnswer(std::stoi(req.matches[2])));
                 SummaryChanged(job.id);  // its table shows the marks
                 Reply(res, 200, Json::object());
             }));

    MarkRoutes();

    // Administrators manage the accounts.
    http.Get("/api/users", [this](const Request& req, Response& res) {
        auto c = SignedIn(req, res, false);
        if (!c) return;
        if (!c->user.admin) return Fail(res, 403, kAdminsOnly);
        Json users = Json::array();
        for (const User& u : m_store.Users()) users.push_back({{"name", u.name}, {"admin", u.admin}});
        Reply(res, 200, users);
    });
    http.Post("/api/users", [this](const Request& req, Response& res) {
        auto c = SignedIn(req, res, true);
        if (!c) return;
        if (!c->user.admin) return Fail(res, 403, kAdminsOnly);
        Json body = BodyObject(req, res);
        if (body.is_null()) return;
        std::string name = StringField(body, "name"), password = StringField(body, "password");
        if (std::string problem = UserNameProblem(name); !problem.empty()) return Fail(res, 400, problem);
        if (std::string problem = PasswordProblem(name, password); !problem.empty()) return Fail(res, 400, problem);
        bool admin = body.contains("admin") && body["admin"].is_boolean() && body["admin"].get<bool>();
        if (!m_store.AddUser(name, HashPassword(password), admin))
            return Fail(
                res, 409,
                "利用者名: 「" + name + "」はすでにいます（大文字と小文字は区別しません）。別の名前にしてください。");
        Reply(res, 201, Json::object());
    });
    http.Put("/api/me/password", [this](const Request& req, Response& res) { ChangeOwnPassword(req, res); });
    http.Put("/api/users/([^/]+)/password", [this](const Request& req, Response& res) { SetUserPassword(req, res); });
    http.Delete("/api/users/([^/]+)", [this](const Request& req, Response& res) {
        auto c = SignedIn(req, res, true);
        if (!c) return;
        if (!c->user.admin) return Fail(res, 403, kAdminsOnly);
        std::string name = httplib::detail::decode_url(req.matches[1], false);
        if (UserNameKey(name) == UserNameKey(c->user.name))
            return Fail(res, 400, "自分のアカウントは削除できません。ほかの管理者に削除してもらってください。");
        std::optional<User> user = m_store.FindUser(name);
        if (!user) return Fail(res, 404, kNoSuchUser);
        std::vector<JobRow> jobs = m_store.Jobs(user->id);
        for (const JobRow& job : jobs) {
            m_scheduler.Remove(job.id);
            DeleteJobFiles(job.id);
        }
        m_store.RemoveUser(name);
        for (const JobRow& job : jobs) SummaryChanged(job.id);
        Reply(res, 200, Json::object());
    });
}

namespace {

// The fields that PUT /api/jobs/{id}/params takes, as POST /api/jobs names them.
}  // namespace

std::string Server::ApplyParams(const std::string& jobId, const std::string& params, double fullMark) {
    std::lock_guard lock(m_paramsMutex);
    std::optional<JobRow> job = m_store.Job(jobId);
    if (!job) return "none";
    if (params == job->params) {
        m_store.SetJobParams(jobId, params, fullMark, false);
        SummaryChanged(jobId);
        return "none";
    }
    const bool again = NeedsScoringAgain(job->params, params);
    const bool active = job->state == "queued" || job->state == "scoring";
    // Answers being scored under the old parameters finish, and their results are dropped.
    if (active) m_scheduler.Remove(jobId);
    m_store.SetJobParams(jobId, params, fullMark, again);
    if (!again) {
        std::vector<std::pair<int, std::string>> records;
        for (const AnswerRow& row : m_store.Answers(jobId, true))
            if (std::string record = RescoredRecord(params, row.record); !record.empty())
                records.emplace_back(row.number, std::move(record));
        m_store.ReplaceResults(jobId, params, records);
    }
    SummaryChanged(jobId);
    // A job that was scored, or is being scored, is scored to the end under the new parameters;
    // one that was never started waits for its start.
    if (active || (again && (job->state == "done" || job->scored > 0))) m_scheduler.Enqueue(*m_store.Job(jobId));
    return again ? "analysis" : "features";
}

void Server::MarkRoutes() {
    httplib::Server& http = *m_http;
    const std::string jobPath = std::string("/api/jobs/") + kJobId;
    http.Put(jobPath + "/params",
             OwnJobHandler(true, [this](const Caller&, const JobRow& job, const Request& req, Response& res) {
                 Json body = BodyObject(req, res);
                 if (body.is_null()) return;
                 std::map<std::string, std::string> fields;
                 double fullMark = job.fullMark;
                 if (std::string problem = ParseParamChanges(body, m_store.Answers(job.id, false), fields, fullMark);
                     !problem.empty())
                     return Fail(res, 400, problem);
                 std::string params;
                 if (std::string problem = ParseJobParams(fields, m_options.models, params, job.params);
                     !problem.empty())
                     return Fail(res, 400, problem);
                 std::string rescored = ApplyParams(job.id, params, fullMark);
                 Json state = JobJson(*m_store.Job(job.id), m_scheduler.Paused());
                 state["rescored"] = rescored;
                 Reply(res, 200, state);
             }));
    http.Get(jobPath + "/agreement",
             OwnJobHandler(false, [this](const Caller&, const JobRow& job, const Request&, Response& res) {
                 Json body;
                 if (std::string problem = AgreementJson(DataOf(job, true), "/jobs/" + job.id + "/answers/", body);
                     !problem.empty())
                     return Fail(res, 400, problem);
                 Reply(res, 200, body);
             }));
    // About a second of work for 40 marked answers, on the request's own thread and under no
    // lock of the server's: the store is read first, then left alone.
    http.Post(jobPath + "/fit",
              OwnJobHandler(true, [this](const Caller&, const JobRow& job, const Request& req, Response& res) {
                  Json body = req.body.empty() ? Json::object() : BodyObject(req, res);
                  if (body.is_null()) return;
                  std::vector<std::string> names;
                  if (body.contains("fit") && !body["fit"].is_null()) {
                      if (!body["fit"].is_array()) return Fail(res, 400, "fit: パラメータ名の配列で指定してください。");
                      for (const Json& name : body["fit"]) {
                          if (!name.is_string()) return Fail(res, 400, "fit: パラメータ名の配列で指定してください。");
                          names.push_back(name.get<std::string>());
                      }
                  }
                  Json reply;
                  if (std::string problem = FitJson(DataOf(job, true), names, reply); !problem.empty())
                      return Fail(res, 400, problem);
                  Reply(res, 200, reply);
              }));
}

}  // namespace tavi::serve
