#pragma once

#include <httplib.h>

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "server/Auth.h"
#include "server/CoreAdapter.h"
#include "server/HttpServer.h"
#include "server/Scheduler.h"
#include "server/Store.h"
#include "server/Upload.h"

namespace tavi::serve {

struct ServerOptions {
    std::string dataDir = "tavi-data";
    std::string host = "127.0.0.1";
    int port = 8080;
    int processes = 1;
    std::string certFile, keyFile;
    ConnectionLimits connections;                // its maxBody is the largest request (--max-upload)
    int64_t sessionLifetime = 7 * 24 * 60 * 60;  // seconds a session lasts however often it is used
    std::string program;                         // this executable, started again as the scoring processes
    std::string appDir;                          // the browser build's files, served under /app/
    ModelCatalog models;
    UploadLimits limits;
};

// The 404 of a missing job or answer, or of one that belongs to another teacher.
void Fail404(httplib::Response& res);
// An API error: `{"error": message}` with the status.
void FailWith(httplib::Response& res, int status, const std::string& message);

// The web server: the JSON API, the pages and the scoring queue over one data folder.
class Server {
public:
    Server(ServerOptions options, Store& store);
    ~Server();
    // Binds, prints the address it listens on and serves until Stop. False with `error` when the
    // address cannot be bound or the certificate not loaded.
    bool Run(std::string& error);
    void Stop();

private:
    // The signed-in user of a request and their session's CSRF token.
    struct Caller {
        User user;
        std::string csrf;
    };
    using Request = httplib::Request;
    using Response = httplib::Response;

    void Routes();
    // The signed-in caller of a request, or an error response (401, or 403 without the
    // CSRF token on a request that changes state).
    std::optional<Caller> SignedIn(const Request& req, Response& res, bool changesState);
    // The caller's job named in the path; 404 when missing or another teacher's.
    std::optional<JobRow> OwnJob(const Caller& caller, const Request& req, Response& res);
    // A handler of the signed-in caller's own job named in the path, called with both.
    template <typename Handler>
    auto OwnJobHandler(bool changesState, Handler handler);

    std::string UploadTooLarge() const;
    void Login(const Request& req, Response& res);
    void Logout(const Request& req, Response& res);
    // PUT /api/me/password: the old password checked as a sign-in is, the new one under the
    // rules for new users; the caller's other sessions end.
    void ChangeOwnPassword(const Request& req, Response& res);
    // PUT /api/users/{name}/password (administrators): the user's sessions end.
    void SetUserPassword(const Request& req, Response& res);
    // The form's parts are taken in order through `reader` (the library's parser, without its
    // limit of 1,024 parts: a job may bring 65,535 answer files).
    void CreateJob(const Caller& caller, const Request& req, Response& res, const httplib::ContentReader& reader);
    // The header, proposed columns and first rows of one uploaded sheet, for the new-job form
    // to show before the job is made; nothing of it is kept.
    void PreviewSheet(const Request& req, Response& res, const httplib::ContentReader& reader);
    void Download(const JobRow& job, const std::string& what, Response& res);
    JobData DataOf(const JobRow& job, bool withRecords);
    std::string JobDir(const std::string& id) const { return m_options.dataDir + "/jobs/" + id; }
    void DeleteJobFiles(const std::string& id);
    void Pages();
    // The browser build's files under /app/, without sign-in.
    void AppRoutes();
    // An error of a page as an HTML page in the site's layout, with the status kept; `backHref`
    // and `backText` name the page to go back to.
    void ErrorPage(const Request& req, Response& res, int status, const std::string& message,
                   const std::string& backHref = "/", const std::string& backText = "ジョブ一覧へ戻る");
    // A page in the site's layout that needs no sign-in (the caller's name in it when signed in).
    std::string AnyonesPage(const Request& req, const std::string& title, const std::string& body);
    // The routes of the parameters, marks, agreement and fit.
    void MarkRoutes();
    // Stores new parameters and full mark of a job and scores it again as far as they need:
    // from the stored features, or (a new paragraph mode or model) from the answers' files,
    // queued again. What was done: "none", "features" or "analysis".
    std::string ApplyParams(const std::string& jobId, const std::string& params, double fullMark);
    std::string Summary(const JobRow& job);
    // Drops the job's cached summary; called after a change of the job in the store.
    void SummaryChanged(const std::string& jobId);

    ServerOptions m_options;
    Store& m_store;
    Scheduler m_scheduler;
    LoginThrottle m_throttle;
    std::unique_ptr<HttpServer> m_http;
    int m_listenSocket = -1;
    std::string m_tlsError;  // why the certificate or key cannot be used

    // The rendered summaries of finished jobs (rendering decodes every answer with its
    // evidence), made when a job finishes and kept until it is started again or deleted.
    // `m_summaryChanges` counts the drops, so that a summary rendered across one is not kept.
    std::mutex m_summaryMutex;
    std::map<std::string, std::string> m_summaries;
    size_t m_summaryBytes = 0;
    uint64_t m_summaryChanges = 0;
    // Jobs just finished, rendered by a thread of their own so that no scoring thread waits.
    void RenderFinished();
    std::condition_variable m_finishedReady;
    std::deque<std::string> m_finished;
    bool m_stopRendering = false;
    std::thread m_renderer;

    // One change of parameters at a time, so that two changes do not mix their re-scoring.
    std::mutex m_paramsMutex;
};

}  // namespace tavi::serve
