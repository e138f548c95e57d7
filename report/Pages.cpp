#include "report/Pages.h"

#include <cstdio>
#include <ctime>

#include "report/Report.h"
#include "web/WebAssets.h"

namespace tavi {
namespace {

using Values = std::map<std::string, std::string>;

std::string LocalTime(int64_t seconds) {
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M", &tm);
    return buffer;
}

// The content models as options of a select, `selected` chosen.
std::string ModelOptions(const ModelCatalog& models, const std::string& selected) {
    std::string options;
    for (const std::string& name : models.Names())
        options += "<option" + std::string(name == selected ? " selected" : "") + ">" + HtmlEscape(name) + "</option>";
    return options;
}

// The inputs of the fourteen ratios, empty (the placeholder says the default applies).
std::string RatioInputs() {
    std::string ratios = "<div class=\"ratios\">";
    for (const ParamField& field : RatioFields())
        ratios += "<label>" + HtmlEscape(field.label) + " <input name=\"" + field.name + "\" type=\"number\" min=\"" +
                  field.min + "\" max=\"" + field.max + "\" step=\"any\" placeholder=\"既定値\"></label>";
    return ratios + "</div>";
}

// The checkboxes of the parameters a fit may change, all ticked.
std::string FitChoices() {
    std::string boxes = "<div class=\"ratios\">";
    for (const ParamField& field : FittableFields())
        boxes += "<label><input type=\"checkbox\" name=\"fit\" value=\"" + field.name + "\" checked> " +
                 HtmlEscape(field.label) + "</label>";
    return boxes + "</div>";
}

// A table cell sorted by `value` and showing `shown` (HTML).
std::string Cell(const std::string& attributes, const std::string& value, const std::string& shown) {
    return "<td" + attributes + " data-v=\"" + HtmlEscape(value) + "\">" + shown + "</td>";
}

bool BeingScored(const std::string& state) { return state == "queued" || state == "scoring"; }

}  // namespace

std::string RenderTemplate(std::string_view tmpl, const Values& values) {
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
        if (it != values.end()) out += raw ? it->second : HtmlEscape(it->second);
        pos = close + (raw ? 3 : 2);
    }
    out += tmpl.substr(pos);
    return out;
}

std::string StateText(const std::string& state) {
    static const std::map<std::string, std::string> texts = {
        {"idle", "待機中"}, {"queued", "順番待ち"}, {"scoring", "採点中"}, {"done", "完了"}};
    auto it = texts.find(state);
    return it == texts.end() ? "" : it->second;
}

PageHtml JobsPage(const std::vector<JobListRow>& jobs) {
    std::string rows;
    for (const JobListRow& job : jobs) {
        const std::string answers = std::to_string(job.answers), scored = std::to_string(job.scored),
                          failed = std::to_string(job.failed);
        rows += "<tr>" +
                Cell("", job.name, "<a href=\"/jobs/" + HtmlEscape(job.id) + "\">" + HtmlEscape(job.name) + "</a>") +
                Cell("", job.state, StateText(job.state)) + Cell(" class=\"n\"", answers, answers) +
                Cell(" class=\"n\"", scored, scored) + Cell(" class=\"n\"", failed, failed) +
                Cell("", std::to_string(job.created), LocalTime(job.created)) + "</tr>\n";
    }
    return {"ジョブ一覧",
            RenderTemplate(WebAsset("jobs.html"),
                           {{"rows", rows}, {"empty", rows.empty() ? "<p>ジョブはまだありません。</p>" : ""}})};
}

PageHtml NewJobPage(const ModelCatalog& models, const std::string& selected) {
    return {"新しいジョブ", RenderTemplate(WebAsset("new-job.html"),
                                           {{"models", ModelOptions(models, selected)}, {"ratios", RatioInputs()}})};
}

std::string JobSummaryNote(const std::string& state) {
    return BeingScored(state) ? "<p class=\"legend\">採点が終わると、集計と答案一覧がここに表示されます。</p>" : "";
}

PageHtml JobPage(const JobPageView& job, const ModelCatalog& models) {
    return {job.name, RenderTemplate(WebAsset("job.html"),
                                     {{"id", job.id},
                                      {"name", job.name},
                                      {"state", job.state},
                                      {"stateText", StateText(job.state)},
                                      {"answers", std::to_string(job.answers)},
                                      {"scored", std::to_string(job.scored)},
                                      {"failedText", job.failed ? "失敗 " + std::to_string(job.failed) + " 件" : ""},
                                      {"paused", BeingScored(job.state) ? job.paused : ""},
                                      {"summary", job.summaryHtml},
                                      {"models", ModelOptions(models, job.model)},
                                      {"ratios", RatioInputs()},
                                      {"fitChoices", FitChoices()}})};
}

PageHtml AnswerPage(const JobData& job, const std::string& jobId, const std::string& jobName, const JobAnswer& answer,
                    int answerCount) {
    const int number = answer.number;
    const std::string base = "/jobs/" + HtmlEscape(jobId) + "/answers/";
    auto link = [&](int to, const char* text) {
        return "<a href=\"" + base + std::to_string(to) + "\">" + text + "</a>";
    };
    std::string title = answer.name + (answer.studentId.empty() ? "" : "（" + answer.studentId + "）");
    return {std::move(title),
            RenderTemplate(WebAsset("answer.html"),
                           {{"id", jobId},
                            {"jobName", jobName},
                            {"number", std::to_string(number)},
                            {"previous", number > 1 ? link(number - 1, "前の答案") : ""},
                            {"next", number < answerCount ? link(number + 1, "次の答案") : ""},
                            {"failure", answer.failure.empty() ? ""
                                                               : "<p class=\"failure\">採点できませんでした: " +
                                                                     HtmlEscape(answer.failure) + "</p>"},
                            {"answer", AnswerHtml(job.paramsJson, answer)},
                            {"mark", answer.mark ? MarkText(*answer.mark) : ""},
                            {"fullMark", MarkText(job.fullMark)},
                            {"note", answer.note},
                            {"legend", kEvidenceLegend},
                            {"name", answer.name},
                            {"sheet", AnswerSheetHtml(job, answer)}})};
}

PageHtml ErrorPage(int status, const std::string& message, const std::string& backHref, const std::string& backText) {
    const char* heading = status == 404   ? "見つかりません"
                          : status == 403 ? "このページは開けません"
                                          : "ページを表示できません";
    return {heading, RenderTemplate(WebAsset("error.html"),
                                    {{"heading", heading},
                                     {"message", message.empty() ? "要求を受け付けられませんでした。" : message},
                                     {"backHref", backHref},
                                     {"backText", backText}})};
}

}  // namespace tavi
