// The scoring engine of the browser app: one scorer and one job's question and parameters,
// called from JavaScript with a UTF-8 JSON request and answering UTF-8 JSON. Records travel as
// base64 of their encoded bytes (report/RecordCodec), which the app stores and gives back.
// Every answer is an object; a refusal is {"error": "..."} in Japanese.
#include <emscripten/emscripten.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "analysis/Encoding.h"
#include "document/Scorer.h"
#include "report/AnswerUpload.h"
#include "report/Grades.h"
#include "report/Job.h"
#include "report/Json.h"
#include "report/Pages.h"
#include "report/RecordCodec.h"
#include "wasm/engine/Base64.h"

namespace tavi {
namespace {

using Json = nlohmann::json;

// The question is kept as a file of the module's own file system, where the report reads it.
constexpr const char* kQuestionFile = "/tmp/tavi-question.txt";

struct Engine {
    Scorer scorer;
    ModelCatalog models;
    bool analyzerLoaded = false;
    JobData job;  // the question and parameters in use; answers come with each request
    bool configured = false;
};

Engine& TheEngine() {
    static Engine engine;
    return engine;
}

Json Error(const std::string& text) { return {{"error", text}}; }

// A member of the request as text: strings as they are, numbers as JSON writes them.
std::string Text(const Json& request, const char* name) {
    auto it = request.find(name);
    if (it == request.end() || it->is_null()) return {};
    if (it->is_string()) return it->get<std::string>();
    if (it->is_boolean()) return it->get<bool>() ? "1" : "0";
    return it->dump();
}

// A whole-number member of the request, else `fallback`.
int Int(const Json& request, const char* name, int fallback) {
    auto it = request.find(name);
    return it != request.end() && it->is_number_integer() ? it->get<int>() : fallback;
}

// The parameter fields of a request's "params" object, as a form would send them.
bool ParamFields(const Json& request, std::map<std::string, std::string>& fields) {
    auto it = request.find("params");
    if (it == request.end() || it->is_null()) return true;
    if (!it->is_object()) return false;
    for (const auto& [name, value] : it->items())
        if (!value.is_null()) fields[name] = Text(*it, name.c_str());
    return true;
}

// The bytes of a file given as UTF-8 text ("<member>") or as base64 ("<member>Base64").
bool FileBytes(const Json& request, const std::string& member, std::string& bytes) {
    if (auto it = request.find(member + "Base64"); it != request.end() && it->is_string())
        return DecodeBase64(it->get<std::string>(), bytes);
    if (auto it = request.find(member); it != request.end() && it->is_string()) {
        bytes = it->get<std::string>();
        return true;
    }
    bytes.clear();
    return true;
}

// The answers of a request's job ("answers": [{number, name, record (base64), mark, note, ...}]).
bool JobAnswers(const Json& request, std::vector<JobAnswer>& answers, std::string& error) {
    auto list = request.find("answers");
    if (list == request.end() || !list->is_array()) {
        error = "answers: 回答文の一覧がありません。";
        return false;
    }
    int next = 1;
    for (const Json& item : *list) {
        if (!item.is_object()) {
            error = "answers: 回答文の一覧の形が正しくありません。";
            return false;
        }
        JobAnswer a;
        a.number = Int(item, "number", 0) > 0 ? Int(item, "number", 0) : next;
        next = a.number + 1;
        a.name = Text(item, "name");
        a.file = Text(item, "file").empty() ? a.name : Text(item, "file");
        a.source = Text(item, "source").empty() ? a.file : Text(item, "source");
        a.studentId = Text(item, "studentId");
        a.failure = Text(item, "failure");
        a.note = Text(item, "note");
        a.sheetRow = Int(item, "sheetRow", 0);
        if (auto mark = item.find("mark"); mark != item.end() && mark->is_number()) a.mark = mark->get<double>();
        if (!DecodeBase64(Text(item, "record"), a.record)) {
            error = "answers: 「" + a.name + "」の採点結果が壊れています。";
            return false;
        }
        answers.push_back(std::move(a));
    }
    return true;
}

// The job of a request: the configured question and parameters, the request's answers and
// full mark.
bool RequestJob(const Json& request, JobData& job, std::string& error) {
    const Engine& e = TheEngine();
    if (!e.configured) {
        error = "設問文とパラメータがまだ設定されていません。";
        return false;
    }
    job = {e.job.questionName, e.job.questionFile, e.job.paramsJson, {}, e.job.fullMark};
    if (auto mark = request.find("fullMark"); mark != request.end() && !mark->is_null()) {
        std::string text = Text(request, "fullMark");
        if (std::string problem = ParseFullMark(text, job.fullMark); !problem.empty()) {
            error = problem;
            return false;
        }
    }
    return JobAnswers(request, job.answers, error);
}

Json Configure(const Json& request) {
    Engine& e = TheEngine();
    std::map<std::string, std::string> fields;
    if (!ParamFields(request, fields)) return Error("params: パラメータはオブジェクトで指定してください。");
    std::string params;
    if (std::string problem = ParseJobParams(fields, e.models, params); !problem.empty()) return Error(problem);
    double fullMark = 10;
    if (std::string text = Text(request, "fullMark"); !text.empty())
        if (std::string problem = ParseFullMark(text, fullMark); !problem.empty()) return Error(problem);
    std::string name = Text(request, "questionName").empty() ? "question.txt" : Text(request, "questionName");
    std::string bytes;
    if (!FileBytes(request, "question", bytes)) return Error("設問文: base64 として読めません。");
    if (bytes.empty()) return Error("設問文がありません。設問文のファイルを選ぶか、設問文を入力してください。");
    if (std::string problem = TextProblem(bytes); !problem.empty()) return Error(name + ": " + problem);
    if (!HasText(bytes, ParagraphModeOf(params))) return Error(name + ": 設問文に文章がありません。");
    if (!e.analyzerLoaded && !(e.analyzerLoaded = e.scorer.LoadAnalyzer()))
        return Error("形態素解析の辞書を読み込めません。ページを読み込み直してください。");
    {
        std::ofstream out(kQuestionFile, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) return Error("設問文を保存できません（メモリが足りない可能性があります）。");
    }
    e.configured = false;
    ScorerResult result = e.scorer.Configure(kQuestionFile, ParamsFromJson(params));
    if (result.error) {
        // The model's messages name the file it could not read; the question is named as given.
        std::string cause =
            result.messages.empty() ? SjisToUtf8(*result.error) : SjisToUtf8(result.messages.back().text);
        if (size_t at = cause.find(kQuestionFile); at != std::string::npos)
            cause.replace(at, std::string(kQuestionFile).size(), name);
        return Error("設問文を準備できません: " + cause);
    }
    e.job = {name, kQuestionFile, params, {}, fullMark};
    e.configured = true;
    return {{"ok", true}, {"params", Json::parse(ParamsFormJson(params, fullMark))}};
}

Json ScoreAnswer(const Json& request) {
    Engine& e = TheEngine();
    if (!e.configured) return Error("設問文とパラメータがまだ設定されていません。");
    JobAnswer a;
    a.name = Text(request, "name");
    if (a.name.empty()) return Error("回答文の名前（name）がありません。");
    a.file = Text(request, "file").empty() ? a.name : Text(request, "file");
    a.source = Text(request, "source").empty() ? a.file : Text(request, "source");
    a.studentId = Text(request, "studentId");
    a.sheetRow = Int(request, "sheetRow", 0);
    a.number = Int(request, "number", 1);
    std::string bytes;
    if (!FileBytes(request, "text", bytes)) return Error(a.name + ": base64 として読めません。");
    if (std::string problem = TextProblem(bytes); !problem.empty()) {
        a.failure = a.name + ": " + problem;
    } else {
        std::string path = Utf8ToSjis(a.file);
        EssayRecord r(path, path);
        r.id = static_cast<uint16_t>(a.number);
        e.scorer.ScoreText(r, bytes, true);
        if (r.status == kStatusScored)
            a.record = EncodeRecord(r);
        else
            a.failure = "この回答文は採点できませんでした。";
    }
    return {{"record", a.record.empty() ? Json(nullptr) : Json(EncodeBase64(a.record))},
            {"failure", a.failure},
            {"answer", AnswerJson(e.job.paramsJson, a, true)}};
}

// New parameters ("params": the fields that change, as the job's page sends them) for the
// request's answers: their records scored again from their features, and the full mark.
Json Rescore(const Json& request) {
    Engine& e = TheEngine();
    if (!e.configured) return Error("設問文とパラメータがまだ設定されていません。");
    std::vector<JobAnswer> answers;
    std::string error;
    if (!JobAnswers(request, answers, error)) return Error(error);
    auto changes = request.find("params");
    if (changes == request.end() || !changes->is_object())
        return Error("params: パラメータはオブジェクトで指定してください。");
    std::map<std::string, std::string> fields;
    double fullMark = e.job.fullMark;
    std::string params;
    if (std::string problem = ParseParamChanges(*changes, answers, fields, fullMark); !problem.empty())
        return Error(problem);
    if (std::string problem = ParseJobParams(fields, e.models, params, e.job.paramsJson); !problem.empty())
        return Error(problem);
    if (NeedsScoringAgain(e.job.paramsJson, params))
        return {{"error", "段落の扱いか内容モデルが変わったので、設定し直して回答文を採点し直してください。"},
                {"scoreAgain", true},
                {"params", Json::parse(ParamsFormJson(params, fullMark))}};
    // The scorer takes the new parameters too, for the answers scored from now on.
    e.scorer.SetParams(ParamsFromJson(params));
    e.job.paramsJson = params;
    e.job.fullMark = fullMark;
    Json records = Json::array();
    for (const JobAnswer& a : answers) {
        std::string again = RescoredRecord(params, a.record);
        records.push_back(again.empty() ? (a.record.empty() ? Json(nullptr) : Json(EncodeBase64(a.record)))
                                        : Json(EncodeBase64(again)));
    }
    return {{"records", records}, {"params", Json::parse(ParamsFormJson(params, fullMark))}};
}

// A teacher's mark and note ({mark, note, fullMark}) checked as the server checks them.
Json CheckReview(const Json& request) {
    double fullMark = 10;
    if (std::string problem = ParseFullMark(Text(request, "fullMark"), fullMark); !problem.empty())
        return Error(problem);
    std::optional<double> mark;
    std::string note;
    if (std::string problem = ParseReview(request, fullMark, mark, note); !problem.empty()) return Error(problem);
    return {{"mark", mark ? Json(*mark) : Json(nullptr)}, {"note", note}};
}

// A parameter file's parameters ({base64}) as the fields of a new job ({fields}).
Json ReadParameterFile(const Json& request) {
    std::string bytes;
    if (!DecodeBase64(Text(request, "base64"), bytes) || bytes.empty())
        return Error("params: パラメータファイル（.tvp）がないか、base64 として読めません。");
    std::map<std::string, std::string> fields;
    if (std::string problem = ParameterFileFields(std::move(bytes), TheEngine().models, fields); !problem.empty())
        return Error(problem);
    return {{"fields", fields}};
}

// The renderings of a job: each takes the request's answers.
Json Render(const std::string& what, const Json& request) {
    JobData job;
    std::string error;
    if (!RequestJob(request, job, error)) return Error(error);
    if (what == "resultsCsv") return {{"base64", EncodeBase64(ResultsCsv(job))}};
    if (what == "resultsJson") return {{"text", ResultsJson(job)}};
    if (what == "reportHtml") return {{"html", ReportHtml(job)}};
    if (what == "summaryHtml") return {{"html", JobSummaryHtml(job, Text(request, "answerHref"))}};
    if (what == "sheetsHtml") {
        std::string title = Text(request, "title").empty() ? job.questionName : Text(request, "title");
        return {{"html", SheetsHtml(job, title)}};
    }
    if (what == "gradesCsv") return {{"base64", EncodeBase64(GradesCsv(GradeRowsOf(job)))}};
    if (what == "gradesXlsx") return {{"base64", EncodeBase64(GradesXlsx(GradeRowsOf(job)))}};
    if (what == "parameterFile") return {{"base64", EncodeBase64(ParameterFile(job))}};
    if (what == "agreement" || what == "fit") {
        // The fit's parameters by name ("fit": [...]); all that can be fitted when absent.
        std::vector<std::string> names;
        if (auto list = request.find("fit"); list != request.end() && !list->is_null()) {
            if (!list->is_array()) return Error("fit: パラメータ名の配列で指定してください。");
            for (const Json& name : *list) {
                if (!name.is_string()) return Error("fit: パラメータ名の配列で指定してください。");
                names.push_back(name.get<std::string>());
            }
        }
        Json body;
        std::string problem =
            what == "agreement" ? AgreementJson(job, Text(request, "answerHref"), body) : FitJson(job, names, body);
        return problem.empty() ? body : Error(problem);
    }
    if (what == "answers") {
        Json list = Json::array();
        for (const JobAnswer& a : job.answers) list.push_back(AnswerJson(job.paramsJson, a, false));
        return {{"answers", list}};
    }
    // One answer: its JSON with evidence, its evidence HTML and its feedback sheet.
    if (job.answers.size() != 1) return Error("answers: 回答文を 1 件だけ指定してください。");
    if (what == "answer") return {{"answer", AnswerJson(job.paramsJson, job.answers.front(), true)}};
    if (what == "answerHtml") return {{"html", AnswerHtml(job.paramsJson, job.answers.front())}};
    if (what == "answerSheetHtml") return {{"html", AnswerSheetHtml(job, job.answers.front())}};
    return Error("「" + what + "」という処理はありません。");
}

// --- The teacher's pages, as the server sends them ---

// A whole number of seconds of the request, else 0.
int64_t Seconds(const Json& request, const char* name) {
    auto it = request.find(name);
    return it != request.end() && it->is_number() ? static_cast<int64_t>(it->get<double>()) : 0;
}

Json PageReply(const PageHtml& page) { return {{"title", page.title}, {"body", page.body}}; }

// The list of jobs ("jobs": [{id, name, state, answers, scored, failed, created}]).
Json JobsPageOf(const Json& request) {
    auto list = request.find("jobs");
    if (list == request.end() || !list->is_array()) return Error("jobs: ジョブの一覧がありません。");
    std::vector<JobListRow> rows;
    for (const Json& item : *list) {
        if (!item.is_object()) return Error("jobs: ジョブの一覧の形が正しくありません。");
        rows.push_back({Text(item, "id"), Text(item, "name"), Text(item, "state"), Int(item, "answers", 0),
                        Int(item, "scored", 0), Int(item, "failed", 0), Seconds(item, "created")});
    }
    return PageReply(JobsPage(rows));
}

// The page of the configured job ("job": {id, name, state, answers, scored, failed, paused}),
// its summary made of the request's answers once it is not being scored.
Json JobPageOf(const Json& request, const Json& job) {
    const Engine& e = TheEngine();
    if (!e.configured) return Error("設問文とパラメータがまだ設定されていません。");
    const std::string id = Text(job, "id"), state = Text(job, "state");
    JobPageView view{id,
                     Text(job, "name"),
                     state,
                     Int(job, "answers", 0),
                     Int(job, "scored", 0),
                     Int(job, "failed", 0),
                     Text(job, "paused"),
                     JobSummaryNote(state),
                     ModelNameOf(e.job.paramsJson)};
    if (view.summaryHtml.empty()) {
        JobData data;
        std::string error;
        if (!RequestJob(request, data, error)) return Error(error);
        std::string href = Text(request, "answerHref");
        view.summaryHtml = JobSummaryHtml(data, href.empty() ? "/jobs/" + id + "/answers/" : href);
    }
    return PageReply(JobPage(view, e.models));
}

// The page of one answer ("answers": [it], "number") of the configured job ("job": {id, name,
// answers (their count)}).
Json AnswerPageOf(const Json& request, const Json& job) {
    JobData data;
    std::string error;
    if (!RequestJob(request, data, error)) return Error(error);
    if (data.answers.size() != 1) return Error("answers: 回答文を 1 件だけ指定してください。");
    JobAnswer& answer = data.answers.front();
    answer.number = Int(request, "number", answer.number);
    const int count = Int(job, "answers", answer.number);
    if (answer.number < 1 || answer.number > count)
        return Error("回答文 " + std::to_string(answer.number) + " はありません。このジョブの回答文は " +
                     std::to_string(count) + " 件です。");
    return PageReply(AnswerPage(data, Text(job, "id"), Text(job, "name"), answer, count));
}

// A page's title and body ("page": "jobs", "new", "job", "answer" or "error").
Json Page(const Json& request) {
    const std::string page = Text(request, "page");
    if (page == "jobs") return JobsPageOf(request);
    if (page == "new") {
        const ModelCatalog& models = TheEngine().models;
        std::string model = Text(request, "model").empty() ? ModelCatalog::Default() : Text(request, "model");
        if (!models.Contains(model)) return Error("model: 内容モデル「" + model + "」はありません。");
        return PageReply(NewJobPage(models, model));
    }
    if (page == "error") {
        std::string back = Text(request, "backHref"), backText = Text(request, "backText");
        return PageReply(ErrorPage(Int(request, "status", 400), Text(request, "message"), back.empty() ? "/" : back,
                                   backText.empty() ? "ジョブ一覧へ戻る" : backText));
    }
    if (page != "job" && page != "answer") return Error("「" + page + "」というページはありません。");
    auto job = request.find("job");
    if (job == request.end() || !job->is_object()) return Error("job: ジョブ（id、name など）の指定がありません。");
    return page == "job" ? JobPageOf(request, *job) : AnswerPageOf(request, *job);
}

// The answers of uploaded files ({files: [{name, base64}], textColumn, nameColumn, idColumn}),
// taken as the server takes a new job's: {answers: [{name, file, source, studentId, sheetRow,
// textBase64}]}, or the refusal of the first file refused.
Json ReadAnswers(const Json& request) {
    auto files = request.find("files");
    if (files == request.end() || !files->is_array() || files->empty())
        return Error("回答文のファイルがありません。回答文のファイルを選んでください。");
    SheetChoice choice;
    for (auto [field, column] : {std::pair{"textColumn", &choice.text}, std::pair{"nameColumn", &choice.name},
                                 std::pair{"idColumn", &choice.id}})
        if (auto it = request.find(field); it != request.end() && !it->is_null()) *column = Text(request, field);
    Json texts = Json::array();
    UploadedAnswers uploaded;
    uploaded.keep = [&texts](size_t, const std::string& bytes) {
        texts.push_back(EncodeBase64(bytes));
        return std::string();
    };
    for (const Json& file : *files) {
        std::string name = file.is_object() ? Text(file, "name") : std::string(), bytes;
        if (!file.is_object() || !DecodeBase64(Text(file, "base64"), bytes))
            return Error((name.empty() ? std::string("回答文") : name) + ": base64 として読めません。");
        if (std::string problem = AddUpload({name, {}, bytes}, UploadLimits(), choice, uploaded); !problem.empty())
            return Error(problem);
    }
    if (uploaded.answers.empty()) return Error("回答文: 送られたファイルに回答文がありません。");
    Json answers = Json::array();
    for (size_t k = 0; k < uploaded.answers.size(); ++k) {
        const UploadedAnswer& a = uploaded.answers[k];
        answers.push_back({{"name", a.name},
                           {"file", a.file},
                           {"source", a.source},
                           {"studentId", a.studentId},
                           {"sheetRow", a.sheetRow},
                           {"textBase64", texts[k]}});
    }
    return {{"answers", answers}};
}

// A sheet's columns before they are chosen ({name, base64}), as the server previews them.
Json PreviewSheet(const Json& request) {
    std::string name = BaseName(Text(request, "name")), bytes;
    if (name.empty()) return Error("表のファイルがありません。.csv か .xlsx のファイルを選んでください。");
    if (!DecodeBase64(Text(request, "base64"), bytes)) return Error(name + ": base64 として読めません。");
    Json preview;
    if (std::string problem = SheetPreview(name, bytes, preview); !problem.empty()) return Error(problem);
    return preview;
}

std::string g_reply;

const char* Reply(const Json& reply) {
    g_reply = reply.dump(-1, ' ', false, Json::error_handler_t::replace);
    return g_reply.c_str();
}

}  // namespace
}  // namespace tavi

using tavi::Json;

// One call: `what` names the request, `request` is its UTF-8 JSON object. The reply stays
// valid until the next call.
extern "C" EMSCRIPTEN_KEEPALIVE const char* tavi_call(const char* what, const char* request) {
    Json parsed = Json::parse(request ? request : "", nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object())
        return tavi::Reply(tavi::Error("要求が JSON のオブジェクトとして読めません。"));
    std::string name = what ? what : "";
    if (name == "configure") return tavi::Reply(tavi::Configure(parsed));
    if (name == "scoreAnswer") return tavi::Reply(tavi::ScoreAnswer(parsed));
    if (name == "rescore") return tavi::Reply(tavi::Rescore(parsed));
    if (name == "page") return tavi::Reply(tavi::Page(parsed));
    if (name == "parameterFileFields") return tavi::Reply(tavi::ReadParameterFile(parsed));
    if (name == "checkReview") return tavi::Reply(tavi::CheckReview(parsed));
    if (name == "readAnswers") return tavi::Reply(tavi::ReadAnswers(parsed));
    if (name == "sheetColumns") return tavi::Reply(tavi::PreviewSheet(parsed));
    return tavi::Reply(tavi::Render(name, parsed));
}
