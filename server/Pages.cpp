// The server-rendered pages: templates of web/ filled with escaped values.
#include <ctime>
#include <map>
#include <nlohmann/json.hpp>

#include "server/Server.h"

namespace tavi::serve {
namespace {

using Values = std::map<std::string, std::string>;

constexpr size_t kSummaryCacheBytes = size_t{64} << 20;

// Fills a template: {{name}} with the value escaped, {{{name}}} with it as it is (HTML made
// here from escaped parts).
std::string Render(std::string_view tmpl, const Values& values) {
    std::string out;
    size_t pos = 0;
    while (true) {
        size_t open = tmpl.find("{{", pos);
        if (open == std::string_view::npos) break;
        bool raw = tmpl.compare(open, 3, "{{{") == 0;
        size_t close = tmpl.find(raw ? "}}}" : "}}", open);
        if (close == std::string_view::npos) break;
        out += tmpl.substr(pos, open - pos);
        size_t start = open + (raw ? 3 : 2);
        auto it = values.find(std::string(tmpl.substr(start, close - start)));
        if (it != values.end()) out += raw ? it->second : EscapeHtml(it->second);
        pos = close + (raw ? 3 : 2);
    }
    out += tmpl.substr(pos);
    return out;
}

const char* StateText(const std::string& state) {
    static const std::map<std::string, const char*> texts = {
        {"idle", "待機中"}, {"queued", "順番待ち"}, {"scoring", "採点中"}, {"done", "完了"}};
    auto it = texts.find(state);
    return it == texts.end() ? "" : it->second;
}

std::string LocalTime(int64_t seconds) {
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M", &tm);
    return buffer;
}

std::string Number(double v) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%g", v);
    return buffer;
}

// The administrator's form that sets a new password for a user, in the user's row.
std::string SetPasswordForm(const std::string& name) {
    std::string user = EscapeHtml(name);
    return "<form class=\"inline\" data-set-password=\"" + user +
           "\"><input type=\"password\" name=\"password\" minlength=\"8\" required autocomplete=\"new-password\" "
           "aria-label=\"" +
           user +
           " の新しいパスワード\" placeholder=\"新しいパスワード\"> <button type=\"submit\">設定</button> <span "
           "role=\"status\"></span></form>";
}

void Html(httplib::Response& res, const std::string& body) { res.set_content(body, "text/html; charset=utf-8"); }

// The content models as options of a select, `selected` chosen.
std::string ModelOptions(const ModelCatalog& models, const std::string& selected) {
    std::string options;
    for (const std::string& name : models.Names())
        options += "<option" + std::string(name == selected ? " selected" : "") + ">" + EscapeHtml(name) + "</option>";
    return options;
}

// The inputs of the fourteen ratios, empty (the placeholder says the default applies).
std::string RatioInputs() {
    std::string ratios = "<div class=\"ratios\">";
    for (const ParamField& field : RatioFields())
        ratios += "<label>" + EscapeHtml(field.label) + " <input name=\"" + field.name + "\" type=\"number\" min=\"" +
                  field.min + "\" max=\"" + field.max + "\" step=\"any\" placeholder=\"既定値\"></label>";
    return ratios + "</div>";
}

// The checkboxes of the parameters a fit may change, all ticked.
std::string FitChoices() {
    std::string boxes = "<div class=\"ratios\">";
    for (const ParamField& field : FittableFields())
        boxes += "<label><input type=\"checkbox\" name=\"fit\" value=\"" + field.name + "\" checked> " +
                 EscapeHtml(field.label) + "</label>";
    return boxes + "</div>";
}

}  // namespace

// The report's summary of a job; while it is being scored only a note (the page reloads
// itself when the job is done), which keeps the page cheap for teachers who watch it.
std::string Server::Summary(const JobRow& job) {
    if (job.state == "queued" || job.state == "scoring")
        return "<p class=\"legend\">採点が終わると、集計と答案一覧がここに表示されます。</p>";
    const std::string href = "/jobs/" + job.id + "/answers/";
    if (job.state != "done") return JobSummaryHtml(DataOf(job, true), href);
    uint64_t changes = 0;
    {
        std::lock_guard lock(m_summaryMutex);
        if (auto it = m_summaries.find(job.id); it != m_summaries.end()) return it->second;
        changes = m_summaryChanges;
    }
    // Read again: a start between the caller's reading of the job and here has changed its
    // state before dropping its summary.
    std::optional<JobRow> now = m_store.Job(job.id);
    std::string html = JobSummaryHtml(DataOf(job, true), href);
    std::lock_guard lock(m_summaryMutex);
    if (now && now->state == "done" && changes == m_summaryChanges && m_summaries.emplace(job.id, html).second) {
        m_summaryBytes += html.size();
        // At most 64 MiB of summaries: others are dropped to make room.
        for (auto it = m_summaries.begin(); m_summaryBytes > kSummaryCacheBytes && it != m_summaries.end();) {
            if (it->first == job.id) {
                ++it;
                continue;
            }
            m_summaryBytes -= it->second.size();
            it = m_summaries.erase(it);
        }
    }
    return html;
}

void Server::SummaryChanged(const std::string& jobId) {
    std::lock_guard lock(m_summaryMutex);
    ++m_summaryChanges;
    if (auto it = m_summaries.find(jobId); it != m_summaries.end()) {
        m_summaryBytes -= it->second.size();
        m_summaries.erase(it);
    }
}

void Server::ErrorPage(const Request& req, Response& res, int status, const std::string& message,
                       const std::string& backHref, const std::string& backText) {
    const char* heading = status == 404   ? "見つかりません"
                          : status == 403 ? "このページは開けません"
                                          : "ページを表示できません";
    std::string body =
        Render(Asset("error.html"), {{"heading", heading},
                                     {"message", message.empty() ? "要求を受け付けられませんでした。" : message},
                                     {"backHref", backHref},
                                     {"backText", backText}});
    res.status = status;
    Html(res, AnyonesPage(req, heading, body));
}

std::string Server::AnyonesPage(const Request& req, const std::string& title, const std::string& body) {
    Response scratch;
    std::optional<Caller> c = SignedIn(req, scratch, false);
    return Render(Asset("layout.html"), {{"title", title},
                                         {"csrf", c ? c->csrf : ""},
                                         {"user", c ? c->user.name : ""},
                                         {"adminLink", c && c->user.admin ? "<a href=\"/users\">利用者</a>" : ""},
                                         {"body", body}});
}

void Server::Pages() {
    httplib::Server& http = *m_http;
    // A page of the signed-in user in the layout; redirects to the sign-in page otherwise.
    auto page = [this](auto&& fill) {
        return [this, fill](const Request& req, Response& res) {
            std::optional<Caller> c = SignedIn(req, res, false);
            if (!c) {
                res.status = 303;
                res.body.clear();
                res.set_header("Location", "/login");
                return;
            }
            std::string title, body;
            if (!fill(*c, req, res, title, body)) {
                // The API's error of the page's object, shown as a page.
                if (res.status >= 400 && res.get_header_value("Content-Type") == "application/json") {
                    nlohmann::json error = nlohmann::json::parse(res.body, nullptr, false);
                    ErrorPage(req, res, res.status,
                              error.is_object() ? error.value("error", std::string()) : std::string());
                }
                return;
            }
            Html(res, Render(Asset("layout.html"), {{"title", title},
                                                    {"csrf", c->csrf},
                                                    {"user", c->user.name},
                                                    {"adminLink", c->user.admin ? "<a href=\"/users\">利用者</a>" : ""},
                                                    {"body", body}}));
        };
    };

    http.Get("/login", [](const Request&, Response& res) { Html(res, std::string(Asset("login.html"))); });
    // Tavi's licence, the models' sources and the notices of ChaSen and IPADIC, for everyone.
    http.Get("/about", [this](const Request& req, Response& res) {
        Html(res, AnyonesPage(req, "ライセンスと出典", std::string(Asset("about.html"))));
    });
    http.Get("/assets/([a-z-]+\\.(css|js))", [](const Request& req, Response& res) {
        std::string_view bytes = Asset(req.matches[1].str());
        if (bytes.empty()) return FailWith(res, 404, "そのファイルはありません。");
        res.set_header("Cache-Control", "max-age=3600");
        res.set_content(std::string(bytes), req.matches[2] == "css" ? "text/css" : "text/javascript");
    });

    http.Get("/", page([this](const Caller& c, const Request&, Response&, std::string& title, std::string& body) {
                 std::string rows;
                 for (const JobRow& job : m_store.Jobs(c.user.id))
                     rows += "<tr><td data-v=\"" + EscapeHtml(job.name) + "\"><a href=\"/jobs/" + job.id + "\">" +
                             EscapeHtml(job.name) + "</a></td><td data-v=\"" + job.state + "\">" +
                             StateText(job.state) + "</td><td class=\"n\" data-v=\"" + std::to_string(job.answers) +
                             "\">" + std::to_string(job.answers) + "</td><td class=\"n\" data-v=\"" +
                             std::to_string(job.scored) + "\">" + std::to_string(job.scored) +
                             "</td><td class=\"n\" data-v=\"" + std::to_string(job.failed) + "\">" +
                             std::to_string(job.failed) + "</td><td data-v=\"" + std::to_string(job.created) + "\">" +
                             LocalTime(job.created) + "</td></tr>\n";
                 title = "ジョブ一覧";
                 body = Render(Asset("jobs.html"),
                               {{"rows", rows}, {"empty", rows.empty() ? "<p>ジョブはまだありません。</p>" : ""}});
                 return true;
             }));

    http.Get("/new", page([this](const Caller&, const Request&, Response&, std::string& title, std::string& body) {
                 title = "新しいジョブ";
                 body = Render(
                     Asset("new-job.html"),
                     {{"models", ModelOptions(m_options.models, ModelCatalog::Default())}, {"ratios", RatioInputs()}});
                 return true;
             }));

    http.Get(std::string("/jobs/([0-9a-f]{32})"),
             page([this](const Caller& c, const Request& req, Response& res, std::string& title, std::string& body) {
                 std::optional<JobRow> job = OwnJob(c, req, res);
                 if (!job) return false;
                 title = job->name;
                 body = Render(Asset("job.html"),
                               {{"id", job->id},
                                {"name", job->name},
                                {"state", job->state},
                                {"stateText", StateText(job->state)},
                                {"answers", std::to_string(job->answers)},
                                {"scored", std::to_string(job->scored)},
                                {"failedText", job->failed ? "失敗 " + std::to_string(job->failed) + " 件" : ""},
                                {"paused", job->state == "queued" || job->state == "scoring" ? m_scheduler.Paused()
                                                                                             : std::string()},
                                {"summary", Summary(*job)},
                                {"models", ModelOptions(m_options.models, ModelNameOf(job->params))},
                                {"ratios", RatioInputs()},
                                {"fitChoices", FitChoices()}});
                 return true;
             }));

    http.Get(
        std::string("/jobs/([0-9a-f]{32})/answers/([0-9]{1,5})"),
        page([this](const Caller& c, const Request& req, Response& res, std::string& title, std::string& body) {
            std::optional<JobRow> job = OwnJob(c, req, res);
            if (!job) return false;
            int number = std::stoi(req.matches[2]);
            std::optional<AnswerRow> answer = m_store.Answer(job->id, number);
            if (!answer) {
                ErrorPage(req, res, 404,
                          "回答文 " + std::to_string(number) + " はありません。このジョブの回答文は " +
                              std::to_string(job->answers) + " 件です。",
                          "/jobs/" + job->id, "ジョブのページへ戻る");
                return false;
            }
            std::string base = "/jobs/" + job->id + "/answers/";
            title = answer->name + (answer->studentId.empty() ? "" : "（" + answer->studentId + "）");
            body = Render(
                Asset("answer.html"),
                {{"id", job->id},
                 {"jobName", job->name},
                 {"number", std::to_string(number)},
                 {"previous", number > 1 ? "<a href=\"" + base + std::to_string(number - 1) + "\">前の答案</a>" : ""},
                 {"next",
                  number < job->answers ? "<a href=\"" + base + std::to_string(number + 1) + "\">次の答案</a>" : ""},
                 {"failure", answer->failure.empty() ? ""
                                                     : "<p class=\"failure\">採点できませんでした: " +
                                                           EscapeHtml(answer->failure) + "</p>"},
                 {"answer", AnswerHtml(job->params, *answer)},
                 {"mark", answer->mark ? Number(*answer->mark) : ""},
                 {"fullMark", Number(job->fullMark)},
                 {"note", answer->note},
                 {"legend", EvidenceLegendHtml()},
                 {"name", answer->name},
                 {"sheet",
                  AnswerSheetHtml({job->question, JobDir(job->id) + "/question.txt", job->params, {}, job->fullMark},
                                  *answer)}});
            return true;
        }));

    http.Get("/account", page([](const Caller& c, const Request&, Response&, std::string& title, std::string& body) {
                 title = "パスワード変更";
                 body = Render(Asset("account.html"), {{"user", c.user.name}});
                 return true;
             }));

    http.Get("/users",
             page([this](const Caller& c, const Request&, Response& res, std::string& title, std::string& body) {
                 if (!c.user.admin) {
                     FailWith(res, 403, "利用者の管理は管理者だけができます。");
                     return false;
                 }
                 std::string rows;
                 for (const User& u : m_store.Users())
                     rows += "<tr><td>" + EscapeHtml(u.name) + "</td><td>" + (u.admin ? "○" : "") + "</td><td>" +
                             (u.name == c.user.name ? ""
                                                    : "<button type=\"button\" class=\"danger\" data-remove-user=\"" +
                                                          EscapeHtml(u.name) + "\">削除</button>") +
                             "</td><td>" + SetPasswordForm(u.name) + "</td></tr>\n";
                 title = "利用者";
                 body = Render(Asset("users.html"), {{"rows", rows}});
                 return true;
             }));
}

}  // namespace tavi::serve
