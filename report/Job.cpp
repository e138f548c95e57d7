#include "report/Job.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>

#include "analysis/Encoding.h"
#include "analysis/MorphemeTools.h"
#include "document/CTaviDoc.h"
#include "document/ParamArchive.h"
#include "document/ResultsFile.h"
#include "evaluation/Fit.h"
#include "report/EvidenceJson.h"
#include "report/Json.h"
#include "report/RecordCodec.h"
#include "report/Report.h"

namespace tavi {
namespace {

// How records are titled: by their files, as the desktop names them (the results file, the
// JSON and the parameter file, which a desktop or tavi-score run on the same files equals),
// or by their students, with the id after the name (what a teacher reads).
enum class Titles { kFiles, kStudents };

// The records of a job's answers: decoded results (their evidence only when asked for), or
// empty unscored records; every one numbered and named as uploaded, its path the file's (a
// sheet's rows in the folder the desktop imports the sheet to).
std::vector<EssayRecord> Records(const std::vector<JobAnswer>& rows, bool withEvidence, Titles titles) {
    std::vector<EssayRecord> records;
    records.reserve(rows.size());
    for (const JobAnswer& row : rows) {
        EssayRecord r;
        if (row.record.empty() || !DecodeRecord(row.record, r, withEvidence)) r = EssayRecord();
        r.id = static_cast<uint16_t>(row.number);
        std::string path = row.file;
        if (row.sheetRow > 0) path = std::filesystem::path(row.source).stem().string() + "_answers/" + row.file;
        r.path = Utf8ToSjis(path);
        std::string title = row.name;
        if (!row.studentId.empty()) title += "（" + row.studentId + "）";
        r.title = Utf8ToSjis(titles == Titles::kFiles ? row.file : title);
        records.push_back(std::move(r));
    }
    return records;
}

ReportRun RunOf(const JobData& job, bool withQuestionText, bool withEvidence, Titles titles) {
    ReportRun run;
    run.params = ParamsFromJson(job.paramsJson);
    run.questionPath = Utf8ToSjis(job.questionName);
    if (withQuestionText) {
        std::string path;
        if (NativePathToSjis(job.questionFile, path))
            MorphemeTools().ReadAnswerFile(path, run.questionText, run.params.paragraphMode);
    }
    run.answers = Records(job.answers, withEvidence, titles);
    run.fullMark = job.fullMark;
    if (std::any_of(job.answers.begin(), job.answers.end(), [](const JobAnswer& a) { return a.mark.has_value(); }))
        for (const JobAnswer& a : job.answers) run.marks.push_back(a.mark);
    return run;
}

}  // namespace

ModelCatalog::ModelCatalog() {
    for (int choice = 0; choice < 2; ++choice) m_paths[BuiltInModelFile(choice)] = {choice, BuiltInModelFile(choice)};
}

std::string ModelCatalog::Default() { return BuiltInModelFile(0); }

bool ModelCatalog::AddFolder(const std::string& folder, std::string& error) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        std::string sjis;
        if (entry.path().extension() != ".tcf" || !NativePathToSjis(std::filesystem::absolute(entry.path()), sjis))
            continue;
        m_paths[entry.path().filename().string()] = {2, sjis};
    }
    if (ec) error = folder + ": " + ec.message();
    return !ec;
}

std::vector<std::string> ModelCatalog::Names() const {
    std::vector<std::string> names;
    for (const auto& [name, where] : m_paths) names.push_back(name);
    return names;
}

const std::vector<ParamField>& RatioFields() {
    static const std::vector<ParamField> fields = [] {
        std::vector<ParamField> v;
        for (const ParamSpec& param : kParamSpecs)
            if (param.group == ParamGroup::kRhetoricRatios || param.group == ParamGroup::kOrganizationRatios)
                v.push_back({param.name, param.label, FormatParamNumber(param.min), FormatParamNumber(param.max)});
        return v;
    }();
    return fields;
}

std::string ParseJobParams(const std::map<std::string, std::string>& fields, const ModelCatalog& models,
                           std::string& paramsJson, const std::string& startJson) {
    ScoringParams p = startJson.empty() ? ScoringParams() : ParamsFromJson(startJson);
    auto field = [&](const char* name) -> const std::string* {
        auto it = fields.find(name);
        return it == fields.end() || it->second.empty() ? nullptr : &it->second;
    };
    if (const std::string* model = field("model")) {
        auto it = models.m_paths.find(*model);
        if (it == models.m_paths.end())
            return "内容モデル: 「" + *model + "」という内容モデルはありません。一覧から選んでください。";
        p.modelChoice = it->second.first;
        p.modelPath = it->second.second;
    }
    constexpr const ParamSpec& length = SpecOf(&ScoringParams::expectedLength);
    if (const std::string* text = field(length.name)) {
        if (!ParseParamNumber(*text, p.expectedLength) || !length.Accepts(p.expectedLength))
            return "想定字数: 「" + *text + "」は使えません。1 から " + FormatParamNumber(length.max) +
                   " までの字数を入力してください。";
    }
    if (const std::string* text = field("weights"); text && ParseAxisWeights(*text, p) != WeightsProblem::kNone)
        return "重み: 「" + *text +
               "」は使えません。修辞:論理:内容 の 3 つの数を「:」で区切って入力してください（0 以上で、すべて 0 "
               "にはしないこと）。";
    if (const std::string* text = field("paragraphMode")) {
        if (*text != "0" && *text != "1")
            return "段落の扱い（paragraphMode）: 「" + *text + "」は使えません。0 か 1 を選んでください。";
        p.paragraphMode = *text == "1";
    }
    for (const ParamSpec& param : kParamSpecs) {
        if (param.group != ParamGroup::kRhetoricRatios && param.group != ParamGroup::kOrganizationRatios) continue;
        if (const std::string* text = field(param.name)) {
            double v;
            if (!ParseParamNumber(*text, v) || !param.Accepts(v))
                return std::string(param.label) + ": 「" + *text +
                       "」は使えません。0 から 1 までの比率を入力してください。";
            p.*param.Real() = v;
        }
    }
    paramsJson = ParamsJson(p).dump();
    return {};
}

int ParagraphModeOf(const std::string& paramsJson) { return ParamsFromJson(paramsJson).paragraphMode; }

std::string ModelNameOf(const std::string& paramsJson) {
    return std::filesystem::path(SjisToUtf8(ParamsFromJson(paramsJson).modelPath)).filename().string();
}

constexpr const char* kNotSjisNorUtf8 =
    "UTF-8 でも Shift_JIS でもないテキストです。どちらかの文字コードで保存し直してください。";

std::string TextProblem(std::string_view bytes) {
    if (bytes.empty()) return "ファイルが空です。中身のあるファイルを選んでください。";
    if (bytes.find('\0') != std::string_view::npos)
        return "テキストファイルではありません（NUL バイトを含みます）。テキスト（.txt）で保存し直してください。";
    if (IsValidUtf8(bytes)) return {};
    // Shift_JIS: every lead byte followed by a trail byte, no byte that code page 932 leaves unused.
    for (size_t i = 0; i < bytes.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (IsSjisLeadByte(c)) {
            unsigned char t = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
            if (t < 0x40 || t == 0x7F || t > 0xFC) return kNotSjisNorUtf8;
            ++i;
        } else if (c == 0x80 || c == 0xA0 || c >= 0xFD ||
                   (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f')) {
            return kNotSjisNorUtf8;
        }
    }
    return {};
}

bool HasText(std::string_view bytes, int paragraphMode) {
    std::string text;
    MorphemeTools().ReadAnswerBytes(bytes, text, paragraphMode);
    static const std::string fullWidthSpace = Sjis("　");
    for (size_t i = 0; i < text.size(); i += SjisCharLength(text, i)) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c > ' ' && text.compare(i, 2, fullWidthSpace) != 0) return true;
    }
    return false;
}

std::string ResultsCsv(const JobData& job) { return FormatResultsFile(Records(job.answers, false, Titles::kFiles)); }

std::string ResultsJson(const JobData& job) {
    std::vector<AnswerReview> reviews;
    for (const JobAnswer& row : job.answers) reviews.push_back({row.mark, row.note});
    // Each answer also names its student, as the sheet gave them (else its file).
    auto root = nlohmann::ordered_json::parse(FormatJson(RunOf(job, false, true, Titles::kFiles), &reviews));
    for (size_t i = 0; i < job.answers.size() && i < root["answers"].size(); ++i) {
        root["answers"][i]["name"] = job.answers[i].name;
        root["answers"][i]["studentId"] = job.answers[i].studentId;
    }
    return root.dump(2) + "\n";
}

std::string ReportHtml(const JobData& job) { return FormatReport(RunOf(job, true, true, Titles::kStudents)); }

std::string ParameterFile(const JobData& job) {
    ReportRun run = RunOf(job, false, false, Titles::kFiles);
    ParamArchive archive;
    StoreParameters(archive, run.questionPath, run.params, run.answers);
    return archive.Bytes();
}

std::string JobSummaryHtml(const JobData& job, const std::string& answerHref) {
    return ReportSummaryHtml(RunOf(job, true, false, Titles::kStudents), answerHref);
}

namespace {
std::vector<SheetAnswer> Sheets(const std::vector<JobAnswer>& rows, std::vector<EssayRecord> records) {
    std::vector<SheetAnswer> sheets;
    for (size_t i = 0; i < rows.size(); ++i)
        sheets.push_back({std::move(records[i]), rows[i].name, rows[i].mark, rows[i].note});
    return sheets;
}
SheetRun SheetRunOf(const JobData& job) {
    ReportRun run = RunOf({job.questionName, job.questionFile, job.paramsJson, {}}, true, false, Titles::kStudents);
    return {std::move(run.questionText), run.params, job.fullMark};
}
}  // namespace

std::string SheetsHtml(const JobData& job, const std::string& title) {
    return FormatFeedbackSheets(SheetRunOf(job), Sheets(job.answers, Records(job.answers, true, Titles::kStudents)),
                                title);
}

std::string AnswerSheetHtml(const JobData& job, const JobAnswer& answer) {
    return FeedbackSheetHtml(SheetRunOf(job), Sheets({answer}, Records({answer}, true, Titles::kStudents)).front());
}

std::string AnswerHtml(const std::string& paramsJson, const JobAnswer& answer) {
    std::vector<EssayRecord> records = Records({answer}, true, Titles::kStudents);
    return ReportAnswerHtml(records.front(), ParamsFromJson(paramsJson));
}

std::vector<GradeRow> GradeRowsOf(const JobData& job) {
    std::vector<GradeRow> rows;
    for (const JobAnswer& a : job.answers) {
        GradeRow row;
        row.number = a.number;
        row.name = a.name;
        row.studentId = a.studentId;
        row.mark = a.mark;
        row.note = a.note;
        AnswerView view;
        if (ViewAnswer(job.paramsJson, a.record, view, false)) {
            row.total = view.total;
            row.rhetoric = view.rhetoric;
            row.organization = view.organization;
            row.content = view.content;
            for (size_t start = 0; start < view.comments.size();) {
                size_t end = std::min(view.comments.find('\n', start), view.comments.size());
                std::string line = view.comments.substr(start, end - start);
                if (!line.empty() && line.back() == '\r') line.pop_back();
                if (!line.empty()) row.comments.push_back(line);
                start = end + 1;
            }
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

bool ViewAnswer(const std::string& paramsJson, const std::string& record, AnswerView& view, bool withEvidence) {
    EssayRecord r;
    if (record.empty() || !DecodeRecord(record, r, withEvidence)) return false;
    view = {r.finalScore,
            r.lengthPenalty,
            r.rhetoricScore,
            r.organizationScore,
            r.contentScore,
            SjisToUtf8(r.commentText),
            withEvidence ? EvidenceJson(r, ParamsFromJson(paramsJson)).dump() : std::string()};
    return true;
}

std::string ParseFullMark(const std::string& text, double& fullMark) {
    double value;
    if (!ParseParamNumber(text, value) || !(value > 0) || value > 1000)
        return "満点: 「" + text + "」は 0 より大きく 1000 以下の数で指定してください。";
    fullMark = value;
    return {};
}

namespace {

bool IsParamField(const std::string& name) {
    static const std::set<std::string> names = [] {
        std::set<std::string> n = {"expectedLength", "weights", "paragraphMode", "model", "fullMark"};
        for (const ParamField& field : RatioFields()) n.insert(field.name);
        return n;
    }();
    return names.count(name) != 0;
}

}  // namespace

std::string ParseReview(const nlohmann::json& body, double fullMark, std::optional<double>& mark, std::string& note) {
    mark.reset();
    if (body.contains("mark") && !body["mark"].is_null()) {
        const std::string range = "0 から満点の " + MarkText(fullMark) + " までの数で";
        if (!body["mark"].is_number() || !std::isfinite(body["mark"].get<double>()))
            return "点数は" + range + "入力してください（空欄にすると点数を消します）。";
        mark = body["mark"].get<double>();
        if (*mark < 0 || *mark > fullMark)
            return "点数 " + MarkText(*mark) + " は範囲外です。" + range +
                   "入力してください（満点はジョブのパラメータで変えられます）。";
    }
    if (body.contains("note") && !body["note"].is_string()) return "教員のメモ: 文字列で送ってください。";
    note = body.contains("note") ? body["note"].get<std::string>() : std::string();
    if (note.size() > 10000) return "教員のメモが長すぎます。日本語なら 3,300 字までにしてください。";
    return {};
}

std::string ParseParamChanges(const nlohmann::json& body, const std::vector<JobAnswer>& answers,
                              std::map<std::string, std::string>& fields, double& fullMark) {
    for (const auto& [name, value] : body.items()) {
        if (!IsParamField(name))
            return "「" + name + "」は変えられるパラメータではありません（新しいジョブの項目名で指定してください）。";
        if (value.is_string()) {
            fields[name] = value.get<std::string>();
        } else if (value.is_number()) {
            fields[name] = value.dump();
        } else if (!value.is_null()) {
            return name + ": 数か文字列で指定してください。";
        }
    }
    if (!fields["fullMark"].empty())
        if (std::string problem = ParseFullMark(fields["fullMark"], fullMark); !problem.empty()) return problem;
    for (const JobAnswer& a : answers)
        if (a.mark && *a.mark > fullMark)
            return "fullMark: 満点を " + MarkText(fullMark) + " にすると、回答文 " + std::to_string(a.number) +
                   " に付けた点数 " + MarkText(*a.mark) + " が満点を超えます。";
    return {};
}

bool NeedsScoringAgain(const std::string& fromJson, const std::string& toJson) {
    ScoringParams from = ParamsFromJson(fromJson), to = ParamsFromJson(toJson);
    return from.paragraphMode != to.paragraphMode || from.modelPath != to.modelPath;
}

std::string RescoredRecord(const std::string& paramsJson, const std::string& record) {
    EssayRecord r;
    if (record.empty() || !DecodeRecord(record, r, true) || r.status != kStatusScored) return {};
    RescoreFromFeatures(r, ParamsFromJson(paramsJson));
    return EncodeRecord(r);
}

std::string ParameterFileFields(std::string bytes, const ModelCatalog& models,
                                std::map<std::string, std::string>& fields) {
    ParamArchive archive(std::move(bytes));
    std::string questionPath;
    ScoringParams p;
    std::vector<EssayRecord> answers;
    if (!LoadParameters(archive, questionPath, p, answers))
        return "params: パラメータファイル（.tvp）として読めません（" + archive.Error() + "）。";
    std::string model = ModelNameOf(ParamsJson(p).dump());
    if (!models.Contains(model))
        return "params: パラメータファイルの内容モデル「" + model +
               "」はここにありません。管理者に内容モデルの追加を頼むか、内容モデルを選び直してください。";
    nlohmann::json form = nlohmann::json::parse(ParamsFormJson(ParamsJson(p).dump(), 10));
    form.erase("fullMark");
    for (const auto& [name, value] : form.items())
        fields[name] = value.is_string() ? value.get<std::string>() : FormatParamNumber(value.get<double>());
    return {};
}

std::string ParamsFormJson(const std::string& paramsJson, double fullMark) {
    ScoringParams p = ParamsFromJson(paramsJson);
    nlohmann::ordered_json form;
    form["expectedLength"] = p.expectedLength;
    form["weights"] = FormatParamNumber(p.rhetoricWeight) + ":" + FormatParamNumber(p.organizationWeight) + ":" +
                      FormatParamNumber(p.contentWeight);
    form["paragraphMode"] = p.paragraphMode;
    form["model"] = ModelNameOf(paramsJson);
    for (const ParamField& field : RatioFields()) {
        for (const ParamSpec& param : kParamSpecs)
            if (field.name == param.name) form[field.name] = p.*param.Real();
    }
    form["fullMark"] = fullMark;
    return form.dump();
}

nlohmann::json AnswerJson(const std::string& paramsJson, const JobAnswer& a, bool detail) {
    nlohmann::json row = {{"number", a.number}, {"name", a.name}, {"failure", a.failure}, {"note", a.note}};
    row["studentId"] = a.studentId;
    row["file"] = a.file;
    row["source"] = a.source;
    row["sheetRow"] = a.sheetRow > 0 ? nlohmann::json(a.sheetRow) : nlohmann::json(nullptr);
    row["mark"] = a.mark ? nlohmann::json(*a.mark) : nlohmann::json(nullptr);
    AnswerView view;
    if (!ViewAnswer(paramsJson, a.record, view, detail)) return row;
    row["scores"] = {{"total", view.total},
                     {"penalty", view.penalty},
                     {"rhetoric", view.rhetoric},
                     {"organization", view.organization},
                     {"content", view.content}};
    if (detail) {
        row["comments"] = view.comments;
        row["evidence"] = nlohmann::json::parse(view.evidenceJson, nullptr, false);
    }
    return row;
}

std::vector<ParamField> FittableFields() {
    std::vector<ParamField> fields;
    for (const FitParameter& fit : FittableParameters())
        for (const ParamSpec& param : kParamSpecs) {
            if (param.Real() != fit.member) continue;
            std::string label = param.Real() == &ScoringParams::expectedLength ? "想定字数"
                                : param.group == ParamGroup::kAxisWeights      ? std::string(param.label) + "の重み"
                                                                               : std::string(param.label);
            fields.push_back({param.name, label, FormatParamNumber(fit.minimum), FormatParamNumber(fit.maximum)});
        }
    return fields;
}

namespace {

AgreementFigures FiguresOf(const Agreement& a) { return {a.n, a.pearson, a.qwk, a.meanAbsoluteDifference}; }

// The scored and marked answers of a job: their records (without evidence), marks and rows.
struct Marked {
    std::vector<EssayRecord> records;
    std::vector<double> marks;
    std::vector<const JobAnswer*> rows;
};

Marked MarkedAnswers(const JobData& job) {
    Marked m;
    for (const JobAnswer& row : job.answers) {
        EssayRecord r;
        if (!row.mark || row.record.empty() || !DecodeRecord(row.record, r, false) || r.status != kStatusScored)
            continue;
        m.records.push_back(std::move(r));
        m.marks.push_back(*row.mark);
        m.rows.push_back(&row);
    }
    return m;
}

std::string TooFewMarks(size_t n) {
    return "Tavi との一致を見るには、採点済みの回答文のうち" + std::to_string(kFewestMarksToFit) +
           "件以上に点数を付けてください（現在 " + std::to_string(n) + " 件）。";
}

}  // namespace

std::string MeasureJobAgreement(const JobData& job, const std::string& answerHref, JobAgreement& agreement) {
    Marked m = MarkedAnswers(job);
    if (m.records.size() < kFewestMarksToFit) return TooFewMarks(m.records.size());
    const ScoringParams params = ParamsFromJson(job.paramsJson);
    std::vector<double> scaled;
    std::vector<AgreementPoint> points;
    agreement.answers.clear();
    for (size_t i = 0; i < m.records.size(); ++i) {
        double tavi = ScaledTotal(m.records[i], params, job.fullMark);
        scaled.push_back(tavi);
        agreement.answers.push_back({m.rows[i]->number, m.rows[i]->name, tavi, m.marks[i], tavi - m.marks[i]});
        points.push_back({m.rows[i]->number, m.rows[i]->name, m.marks[i], tavi});
    }
    agreement.figures = FiguresOf(MeasureAgreement(scaled, m.marks, job.fullMark));
    std::stable_sort(agreement.answers.begin(), agreement.answers.end(),
                     [](const MarkedAnswerView& a, const MarkedAnswerView& b) {
                         return std::fabs(a.difference) > std::fabs(b.difference);
                     });
    agreement.scatterSvg = AgreementScatter(points, job.fullMark, answerHref);
    return {};
}

std::string FitJob(const JobData& job, const std::vector<std::string>& names, JobFit& fit) {
    std::vector<double ScoringParams::*> free;
    std::vector<std::string> fittable;
    for (const ParamField& field : FittableFields()) fittable.push_back(field.name);
    for (const std::string& name : names.empty() ? fittable : names) {
        if (std::find(fittable.begin(), fittable.end(), name) == fittable.end())
            return "fit: 「" + name +
                   "」は合わせられるパラメータではありません。重み、想定字数、比率から選んでください。";
        for (const ParamSpec& param : kParamSpecs)
            if (name == param.name && std::find(free.begin(), free.end(), param.Real()) == free.end())
                free.push_back(param.Real());
    }
    Marked m = MarkedAnswers(job);
    if (m.records.size() < kFewestMarksToFit) return TooFewMarks(m.records.size());
    FitResult result = FitToMarks(m.records, m.marks, job.fullMark, ParamsFromJson(job.paramsJson), free);
    if (result.refusal) return *result.refusal;
    fit.suggested = result.improved;
    fit.before = FiguresOf(result.before);
    fit.after = FiguresOf(result.after);
    ScoringParams fitted = ParamsFromJson(job.paramsJson);
    for (auto member : free) fitted.*member = result.params.*member;
    fit.paramsForm = ParamsFormJson(ParamsJson(fitted).dump(), job.fullMark);
    return {};
}

namespace {

// A figure as JSON; null when it cannot be computed (a side that does not vary).
nlohmann::json Figure(double v) { return std::isfinite(v) ? nlohmann::json(v) : nlohmann::json(nullptr); }

nlohmann::json FiguresJson(const AgreementFigures& f, double fullMark) {
    return {{"n", f.n},
            {"pearson", Figure(f.pearson)},
            {"qwk", Figure(f.qwk)},
            {"meanAbsoluteDifference", Figure(f.meanAbsoluteDifference)},
            {"fullMark", fullMark}};
}

}  // namespace

std::string AgreementJson(const JobData& job, const std::string& answerHref, nlohmann::json& body) {
    JobAgreement agreement;
    if (std::string problem = MeasureJobAgreement(job, answerHref, agreement); !problem.empty()) return problem;
    body = FiguresJson(agreement.figures, job.fullMark);
    body["answers"] = nlohmann::json::array();
    for (const MarkedAnswerView& a : agreement.answers)
        body["answers"].push_back(
            {{"number", a.number}, {"name", a.name}, {"tavi", a.tavi}, {"mark", a.mark}, {"difference", a.difference}});
    body["scatterSvg"] = agreement.scatterSvg;
    return {};
}

std::string FitJson(const JobData& job, const std::vector<std::string>& names, nlohmann::json& reply) {
    JobFit fit;
    if (std::string problem = FitJob(job, names, fit); !problem.empty()) return problem;
    reply = {{"before", FiguresJson(fit.before, job.fullMark)},
             {"after", FiguresJson(fit.after, job.fullMark)},
             {"current", nlohmann::json::parse(ParamsFormJson(job.paramsJson, job.fullMark))}};
    if (fit.suggested) {
        reply["parameters"] = nlohmann::json::parse(fit.paramsForm);
    } else {
        reply["parameters"] = nullptr;
        reply["message"] = "合わせても、交差検証での一致が良くなりませんでした。パラメータはこのままをお勧めします。";
    }
    return {};
}

}  // namespace tavi
