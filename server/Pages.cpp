// The server-rendered pages: templates of web/ filled with escaped values.
#include "report/Pages.h"

#include <map>
#include <nlohmann/json.hpp>

#include "server/Server.h"

namespace tavi::serve {
namespace {

constexpr size_t kSummaryCacheBytes = size_t{64} << 20;

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

}  // namespace

// The report's summary of a job; while it is being scored only a note (the page reloads
// itself when the job is done), which keeps the page cheap for teachers who watch it.
std::string Server::Summary(const JobRow& job) {
    if (std::string note = JobSummaryNote(job.state); !note.empty()) return note;
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
    PageHtml page = tavi::ErrorPage(status, message, backHref, backText);
    res.status = status;
    Html(res, AnyonesPage(req, page.title, page.body));
}

std::string Server::AnyonesPage(const Request& req, const std::string& title, const std::string& body) {
    Response scratch;
    std::optional<Caller> c = SignedIn(req, scratch, false);
    return RenderTemplate(Asset("layout.html"),
                          {{"title", title},
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
            PageHtml out;
            if (!fill(*c, req, res, out)) {
                // The API's error of the page's object, shown as a page.
                if (res.status >= 400 && res.get_header_value("Content-Type") == "application/json") {
                    nlohmann::json error = nlohmann::json::parse(res.body, nullptr, false);
                    ErrorPage(req, res, res.status,
                              error.is_object() ? error.value("error", std::string()) : std::string());
                }
                return;
            }
            Html(res, RenderTemplate(Asset("layout.html"),
                                     {{"title", out.title},
                                      {"csrf", c->csrf},
                                      {"user", c->user.name},
                                      {"adminLink", c->user.admin ? "<a href=\"/users\">利用者</a>" : ""},
                                      {"body", out.body}}));
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

    http.Get("/", page([this](const Caller& c, const Request&, Response&, PageHtml& out) {
                 std::vector<JobListRow> rows;
                 for (const JobRow& job : m_store.Jobs(c.user.id))
                     rows.push_back({job.id, job.name, job.state, job.answers, job.scored, job.failed, job.created});
                 out = JobsPage(rows);
                 return true;
             }));

    http.Get("/new", page([this](const Caller&, const Request&, Response&, PageHtml& out) {
                 out = NewJobPage(m_options.models, ModelCatalog::Default());
                 return true;
             }));

    http.Get(std::string("/jobs/([0-9a-f]{32})"),
             page([this](const Caller& c, const Request& req, Response& res, PageHtml& out) {
                 std::optional<JobRow> job = OwnJob(c, req, res);
                 if (!job) return false;
                 out = JobPage({job->id, job->name, job->state, job->answers, job->scored, job->failed,
                                m_scheduler.Paused(), Summary(*job), ModelNameOf(job->params)},
                               m_options.models);
                 return true;
             }));

    http.Get(std::string("/jobs/([0-9a-f]{32})/answers/([0-9]{1,5})"),
             page([this](const Caller& c, const Request& req, Response& res, PageHtml& out) {
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
                 out = AnswerPage({job->question, JobDir(job->id) + "/question.txt", job->params, {}, job->fullMark},
                                  job->id, job->name, *answer, job->answers);
                 return true;
             }));

    http.Get("/account", page([](const Caller& c, const Request&, Response&, PageHtml& out) {
                 out = {"パスワード変更", RenderTemplate(Asset("account.html"), {{"user", c.user.name}})};
                 return true;
             }));

    http.Get("/users", page([this](const Caller& c, const Request&, Response& res, PageHtml& out) {
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
                 out = {"利用者", RenderTemplate(Asset("users.html"), {{"rows", rows}})};
                 return true;
             }));
}

}  // namespace tavi::serve
