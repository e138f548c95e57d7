#pragma once

// The bodies of a teacher's pages (UTF-8 HTML), the templates of web/ filled with escaped
// values: the same bytes whether the server sends them or the browser app shows them. The
// links stay the server's ("/jobs/ID", "/jobs/ID/answers/N", "/api/jobs/ID/..."); the app
// rewrites them.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "report/Job.h"

namespace tavi {

// Fills a template: {{name}} with the value escaped, {{{name}}} with it as it is (HTML made
// from escaped parts). A name without a value leaves nothing.
std::string RenderTemplate(std::string_view tmpl, const std::map<std::string, std::string>& values);

// A page's title (the layout's <title>, UTF-8 text) and its body (HTML).
struct PageHtml {
    std::string title, body;
};

// A job's state ("idle", "queued", "scoring", "done") as a teacher reads it; empty for another.
std::string StateText(const std::string& state);

// One job of the list; `created` in seconds since 1970, shown in local time.
struct JobListRow {
    std::string id, name, state;
    int answers = 0, scored = 0, failed = 0;
    int64_t created = 0;
};
// The list of jobs, in the order given, with a note when there is none.
PageHtml JobsPage(const std::vector<JobListRow>& jobs);

// The form of a new job, the model `selected` chosen.
PageHtml NewJobPage(const ModelCatalog& models, const std::string& selected);

// A job as its page shows it: `paused` says why scoring is paused (shown while the job waits or
// is scored), `summaryHtml` is JobPageSummary's, `model` the name of the job's content model.
struct JobPageView {
    std::string id, name, state;
    int answers = 0, scored = 0, failed = 0;
    std::string paused, summaryHtml, model;
};
PageHtml JobPage(const JobPageView& job, const ModelCatalog& models);
// What a job's page shows below its state while the job waits or is scored (a note: the page
// reloads itself when the job is done); empty otherwise, when the page shows JobSummaryHtml.
std::string JobSummaryNote(const std::string& state);

// One answer's page: links to the job `jobId` (named `jobName`) and to the answers before and
// after `answer` among the job's `answerCount`, its evidence, the teacher's mark form and the
// printable sheet. `job` gives the question, parameters and full mark (its answers are not read).
PageHtml AnswerPage(const JobData& job, const std::string& jobId, const std::string& jobName, const JobAnswer& answer,
                    int answerCount);

// A page that cannot be shown: its heading by the HTTP status, the message (a general one when
// empty) and the link back.
PageHtml ErrorPage(int status, const std::string& message, const std::string& backHref = "/",
                   const std::string& backText = "ジョブ一覧へ戻る");

}  // namespace tavi
