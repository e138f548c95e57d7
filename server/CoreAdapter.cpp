#include "server/CoreAdapter.h"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "analysis/Encoding.h"
#include "analysis/MorphemeTools.h"
#include "report/EvidenceJson.h"
#include "report/Json.h"
#include "report/RecordCodec.h"
#include "report/Report.h"
#include "document/CTaviDoc.h"
#include "document/MemoryListView.h"
#include "document/ParamArchive.h"
#include "web/WebAssets.h"

namespace tavi::serve {
namespace {

using Json = nlohmann::ordered_json;

// The real-valued parameters by their field names: expected length and weights first, then
// the fourteen ratios.
struct RealParam {
    const char* name;
    double ScoringParams::*member;
};
constexpr RealParam kRealParams[] = {
    {"expectedLength", &ScoringParams::expectedLength},
    {"rhetoricWeight", &ScoringParams::rhetoricWeight},
    {"organizationWeight", &ScoringParams::organizationWeight},
    {"contentWeight", &ScoringParams::contentWeight},
    {"sentenceLengthMedianWeight", &ScoringParams::sentenceLengthMedianWeight},
    {"phraseLengthMedianWeight", &ScoringParams::phraseLengthMedianWeight},
    {"bunsetsuPerPhraseMedianWeight", &ScoringParams::bunsetsuPerPhraseMedianWeight},
    {"sentenceLengthMaxWeight", &ScoringParams::sentenceLengthMaxWeight},
    {"phraseLengthMaxWeight", &ScoringParams::phraseLengthMaxWeight},
    {"bunsetsuPerPhraseMaxWeight", &ScoringParams::bunsetsuPerPhraseMaxWeight},
    {"vocabularyDiversityWeight", &ScoringParams::vocabularyDiversityWeight},
    {"kanaKanjiRatioWeight", &ScoringParams::kanaKanjiRatioWeight},
    {"longReadingKanjiWeight", &ScoringParams::longReadingKanjiWeight},
    {"passiveRateWeight", &ScoringParams::passiveRateWeight},
    {"attributiveSentencesWeight", &ScoringParams::attributiveSentencesWeight},
    {"continuativeSentencesWeight", &ScoringParams::continuativeSentencesWeight},
    {"cueWordWeight", &ScoringParams::cueWordWeight},
    {"demonstrativeWeight", &ScoringParams::demonstrativeWeight},
};
constexpr size_t kFirstRatio = 4;

// A whole field as one finite number.
bool ParseNumber(std::string_view text, double& value) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (text.empty()) return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

Json ParamsToJson(const ScoringParams& p) {
    Json j;
    for (const RealParam& r : kRealParams) j[r.name] = p.*r.member;
    j["paragraphMode"] = p.paragraphMode;
    j["modelChoice"] = p.modelChoice;
    j["modelPath"] = SjisToUtf8(p.modelPath);
    return j;
}

ScoringParams ParamsFromJson(const std::string& text) {
    ScoringParams p;
    Json j = Json::parse(text, nullptr, false);
    if (!j.is_object()) return p;
    for (const RealParam& r : kRealParams)
        if (j.contains(r.name) && j[r.name].is_number()) p.*r.member = j[r.name].get<double>();
    p.paragraphMode = j.value("paragraphMode", 0);
    p.modelChoice = j.value("modelChoice", 0);
    p.modelPath = Utf8ToSjis(j.value("modelPath", std::string("yoroku2000.tcf")));
    return p;
}

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

// The person of a worker: nobody to ask; causes come back from the document's calls.
class QuietPerson : public Person {
public:
    MessageAnswer ShowMessageBox(const MessageBoxRequest&) override { return MessageAnswer::kCancel; }
    bool StartProcess(const std::vector<std::string>&) override { return false; }
};

}  // namespace

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

const std::vector<std::string>& RatioFieldNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> v;
        for (size_t k = kFirstRatio; k < std::size(kRealParams); ++k) v.push_back(kRealParams[k].name);
        return v;
    }();
    return names;
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
    if (const std::string* text = field("expectedLength")) {
        if (!ParseNumber(*text, p.expectedLength) || p.expectedLength <= 0 || p.expectedLength > 1e6)
            return "expectedLength: \"" + *text + "\" is not a number of characters above 0";
    }
    if (const std::string* text = field("weights")) {
        size_t first = text->find(':'), second = first == std::string::npos ? first : text->find(':', first + 1);
        double w[3];
        if (second == std::string::npos || !ParseNumber(text->substr(0, first), w[0]) ||
            !ParseNumber(text->substr(first + 1, second - first - 1), w[1]) ||
            !ParseNumber(text->substr(second + 1), w[2]) || w[0] < 0 || w[1] < 0 || w[2] < 0 || w[0] + w[1] + w[2] <= 0)
            return "weights: \"" + *text + "\" is not R:O:C, three numbers of at least 0 that are not all 0";
        p.rhetoricWeight = w[0];
        p.organizationWeight = w[1];
        p.contentWeight = w[2];
    }
    if (const std::string* text = field("paragraphMode")) {
        if (*text != "0" && *text != "1") return "paragraphMode: \"" + *text + "\" is neither 0 nor 1";
        p.paragraphMode = *text == "1";
    }
    for (size_t k = kFirstRatio; k < std::size(kRealParams); ++k)
        if (const std::string* text = field(kRealParams[k].name)) {
            double v;
            if (!ParseNumber(*text, v) || v < 0 || v > 1)
                return std::string(kRealParams[k].name) + ": \"" + *text + "\" is not a ratio between 0 and 1";
            p.*kRealParams[k].member = v;
        }
    paramsJson = ParamsToJson(p).dump();
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
    QuietPerson person;
    std::unique_ptr<CTaviDoc> doc;
    std::string configured;  // question path and parameters the document holds
};

ScoringSession::ScoringSession() : m_state(std::make_unique<State>()) {
    m_state->doc = std::make_unique<CTaviDoc>(m_state->person);
    m_state->doc->SetKeepEvidence(true);
}

ScoringSession::~ScoringSession() = default;

bool ScoringSession::Ready(std::string& error) {
    if (m_state->doc->IsAnalyzerLoaded()) return true;
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
    CTaviDoc& doc = *m_state->doc;
    ScoringParams p = ParamsFromJson(paramsJson);
    // As tavi-score does: the model, then the parameters, then the question read under them.
    DocResult model = doc.ApplyParamDetail(p);
    DocResult again = doc.ApplyQuestionSettings(doc.GetQuestionPath(), p);
    DocResult question = doc.ApplyQuestionSettings(sjisQuestion, p);
    if (question.error || !doc.HasQuestionVector()) {
        // The model's messages name the file it could not read; the question is named without
        // the data folder, which is the server's own.
        std::string cause = "no text";
        for (const DocResult* r : {&model, &again, &question})
            if (!r->messages.empty()) cause = SjisToUtf8(r->messages.back().text);
        if (cause == "no text" && question.error) {
            std::string text = *question.error;
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
    CTaviDoc& doc = *m_state->doc;
    if (!doc.AddAnswer(sjisAnswer)) {
        // The document's 65,535 management numbers are used up: start a fresh one.
        m_state->doc = std::make_unique<CTaviDoc>(m_state->person);
        m_state->doc->SetKeepEvidence(true);
        m_state->configured.clear();
        return Score(questionPath, paramsJson, answerPath, number, record, error);
    }
    int index = doc.GetAnswerCount() - 1;
    doc.ScoreSelected({index});
    EssayRecord r = doc.GetAnswer(index);
    doc.RemoveAnswer(index);
    if (r.status != kStatusScored) {
        error = "the answer could not be scored";
        return false;
    }
    r.id = static_cast<uint16_t>(number);
    record = EncodeRecord(r);
    return true;
}

std::string ResultsCsv(const JobData& job) {
    std::vector<EssayRecord> records = Records(job.answers, false);
    MemoryListView view;
    for (size_t i = 0; i < records.size(); ++i) {
        const EssayRecord& r = records[i];
        int index = static_cast<int>(i);
        view.AddAnswerRow(index, r.id, r.title, r.path);
        if (r.status == kStatusScored) ShowScoreCells(view, index, r, true);
        view.ShowStatus(index, r.status);
    }
    return ResultsFileBytes(&view);
}

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
