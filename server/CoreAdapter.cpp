#include "server/CoreAdapter.h"

#include <filesystem>
#include <nlohmann/json.hpp>

#include "analysis/Encoding.h"
#include "analysis/MorphemeTools.h"
#include "document/CTaviDoc.h"
#include "document/ParamArchive.h"
#include "document/ResultsFile.h"
#include "document/Scorer.h"
#include "report/EvidenceJson.h"
#include "report/Json.h"
#include "report/RecordCodec.h"
#include "report/Report.h"
#include "web/WebAssets.h"

namespace tavi::serve {
namespace {

// The records of a job's answers: decoded results (their evidence only when asked for), or
// empty unscored records; every one numbered and named as uploaded.
std::vector<EssayRecord> Records(const std::vector<AnswerRow>& rows, bool withEvidence) {
    std::vector<EssayRecord> records;
    records.reserve(rows.size());
    for (const AnswerRow& row : rows) {
        EssayRecord r;
        if (row.record.empty() || !DecodeRecord(row.record, r, withEvidence)) r = EssayRecord();
        r.id = static_cast<uint16_t>(row.number);
        r.title = r.path = Utf8ToSjis(row.name);
        records.push_back(std::move(r));
    }
    return records;
}

ReportRun RunOf(const JobData& job, bool withQuestionText, bool withEvidence) {
    ReportRun run;
    run.params = ParamsFromJson(job.paramsJson);
    run.questionPath = Utf8ToSjis(job.questionName);
    if (withQuestionText) {
        std::string path;
        if (NativePathToSjis(job.questionFile, path))
            MorphemeTools().ReadAnswerFile(path, run.questionText, run.params.paragraphMode);
    }
    run.answers = Records(job.answers, withEvidence);
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
                           std::string& paramsJson) {
    ScoringParams p;
    auto field = [&](const char* name) -> const std::string* {
        auto it = fields.find(name);
        return it == fields.end() || it->second.empty() ? nullptr : &it->second;
    };
    if (const std::string* model = field("model")) {
        auto it = models.m_paths.find(*model);
        if (it == models.m_paths.end()) return "model: unknown content model \"" + *model + "\"";
        p.modelChoice = it->second.first;
        p.modelPath = it->second.second;
    }
    constexpr const ParamSpec& length = SpecOf(&ScoringParams::expectedLength);
    if (const std::string* text = field(length.name)) {
        if (!ParseParamNumber(*text, p.expectedLength) || !length.Accepts(p.expectedLength))
            return "expectedLength: \"" + *text + "\" is not a number of characters above 0 and up to " +
                   FormatParamNumber(length.max);
    }
    if (const std::string* text = field("weights"); text && ParseAxisWeights(*text, p) != WeightsProblem::kNone)
        return "weights: \"" + *text + "\" is not R:O:C, three numbers of at least 0 that are not all 0";
    if (const std::string* text = field("paragraphMode")) {
        if (*text != "0" && *text != "1") return "paragraphMode: \"" + *text + "\" is neither 0 nor 1";
        p.paragraphMode = *text == "1";
    }
    for (const ParamSpec& param : kParamSpecs) {
        if (param.group != ParamGroup::kRhetoricRatios && param.group != ParamGroup::kOrganizationRatios) continue;
        if (const std::string* text = field(param.name)) {
            double v;
            if (!ParseParamNumber(*text, v) || !param.Accepts(v))
                return std::string(param.name) + ": \"" + *text + "\" is not a ratio between 0 and 1";
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

std::string TextProblem(std::string_view bytes) {
    if (bytes.empty()) return "the file is empty";
    if (bytes.find('\0') != std::string_view::npos) return "the file is not text (it holds a NUL byte)";
    if (IsValidUtf8(bytes)) return {};
    // Shift_JIS: every lead byte followed by a trail byte, no byte that code page 932 leaves unused.
    for (size_t i = 0; i < bytes.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (IsSjisLeadByte(c)) {
            unsigned char t = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
            if (t < 0x40 || t == 0x7F || t > 0xFC) return "the file is neither UTF-8 nor Shift_JIS text";
            ++i;
        } else if (c == 0x80 || c == 0xA0 || c >= 0xFD ||
                   (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f')) {
            return "the file is neither UTF-8 nor Shift_JIS text";
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

bool HasSjisForm(const std::string& utf8Name) {
    std::string sjis;
    return NativePathToSjis(utf8Name, sjis);
}

struct ScoringSession::State {
    Scorer scorer;
    std::string configured;  // question path and parameters the scorer holds
};

ScoringSession::ScoringSession() : m_state(std::make_unique<State>()) {
    // The analyser's first run goes on while the default model loads.
    m_state->scorer.StartLoadingAnalyzer();
    m_state->scorer.LoadModel(ScoringParams().modelPath);
}

ScoringSession::~ScoringSession() = default;

bool ScoringSession::Ready(std::string& error) {
    if (m_state->scorer.LoadAnalyzer()) return true;
    error = std::string("the analyser library ") + AnalyzerBinding::kDefaultLibrary +
            " (Debian packages libchasen2 and ipadic) cannot be loaded";
    return false;
}

bool ScoringSession::Configure(const std::string& questionPath, const std::string& paramsJson, std::string& error) {
    std::string key = questionPath + '\n' + paramsJson;
    if (key == m_state->configured) return true;
    m_state->configured.clear();
    std::string sjisQuestion;
    if (!NativePathToSjis(questionPath, sjisQuestion)) {
        error = questionPath + ": the path has no Shift_JIS form";
        return false;
    }
    ScorerResult result = m_state->scorer.Configure(sjisQuestion, ParamsFromJson(paramsJson));
    if (result.error) {
        // The model's messages name the file it could not read; the question is named without
        // the data folder, which is the server's own.
        std::string cause;
        if (!result.messages.empty()) {
            cause = SjisToUtf8(result.messages.back().text);
        } else {
            std::string text = *result.error;
            if (size_t at = text.find(sjisQuestion); at != std::string::npos)
                text.replace(at, sjisQuestion.size(), sjisQuestion.substr(sjisQuestion.rfind('/') + 1));
            cause = SjisToUtf8(text);
        }
        error = "the question cannot be prepared: " + cause;
        return false;
    }
    m_state->configured = key;
    return true;
}

bool ScoringSession::Score(const std::string& questionPath, const std::string& paramsJson,
                           const std::string& answerPath, int number, std::string& record, std::string& error) {
    if (!Configure(questionPath, paramsJson, error)) return false;
    std::string sjisAnswer;
    if (!NativePathToSjis(answerPath, sjisAnswer)) {
        error = answerPath + ": the path has no Shift_JIS form";
        return false;
    }
    EssayRecord r(sjisAnswer, sjisAnswer.substr(sjisAnswer.rfind('/') + 1));
    r.id = static_cast<uint16_t>(number);
    m_state->scorer.Score(r, true);
    if (r.status != kStatusScored) {
        error = "the answer could not be scored";
        return false;
    }
    record = EncodeRecord(r);
    return true;
}

std::string ResultsCsv(const JobData& job) { return FormatResultsFile(Records(job.answers, false)); }

std::string ResultsJson(const JobData& job) {
    std::vector<AnswerReview> reviews;
    for (const AnswerRow& row : job.answers) reviews.push_back({row.mark, row.note});
    return FormatJson(RunOf(job, false, true), &reviews);
}

std::string ReportHtml(const JobData& job) { return FormatReport(RunOf(job, true, true)); }

std::string ParameterFile(const JobData& job) {
    ReportRun run = RunOf(job, false, false);
    ParamArchive archive;
    StoreParameters(archive, run.questionPath, run.params, run.answers);
    return archive.Bytes();
}

std::string JobSummaryHtml(const JobData& job, const std::string& answerHref) {
    return ReportSummaryHtml(RunOf(job, true, false), answerHref);
}

namespace {
std::vector<SheetAnswer> Sheets(const std::vector<AnswerRow>& rows, std::vector<EssayRecord> records) {
    std::vector<SheetAnswer> sheets;
    for (size_t i = 0; i < rows.size(); ++i)
        sheets.push_back({std::move(records[i]), rows[i].name, rows[i].mark, rows[i].note});
    return sheets;
}
SheetRun SheetRunOf(const JobData& job, double fullMark) {
    ReportRun run = RunOf({job.questionName, job.questionFile, job.paramsJson, {}}, true, false);
    return {std::move(run.questionText), run.params, fullMark};
}
}  // namespace

std::string SheetsHtml(const JobData& job, const std::string& title, double fullMark) {
    return FormatFeedbackSheets(SheetRunOf(job, fullMark), Sheets(job.answers, Records(job.answers, true)), title);
}

std::string AnswerSheetHtml(const JobData& job, const AnswerRow& answer, double fullMark) {
    return FeedbackSheetHtml(SheetRunOf(job, fullMark), Sheets({answer}, Records({answer}, true)).front());
}

std::string AnswerHtml(const std::string& paramsJson, const AnswerRow& answer) {
    std::vector<EssayRecord> records = Records({answer}, true);
    return ReportAnswerHtml(records.front(), ParamsFromJson(paramsJson));
}

std::string EvidenceLegendHtml() { return kEvidenceLegend; }

std::string EscapeHtml(std::string_view utf8) { return HtmlEscape(utf8); }

std::string_view Asset(std::string_view name) { return WebAsset(name); }

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

}  // namespace tavi::serve
