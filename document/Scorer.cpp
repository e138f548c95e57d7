#include "document/Scorer.h"

#include <utility>

#include "analysis/Encoding.h"
#include "analysis/MorphemeTools.h"

namespace tavi {
namespace {

// The scores of an answer; the content score and the totals only when it was measured against a question.
void ComputeScores(EssayRecord& r, const ScoringParams& params, bool withContent) {
    r.ScoreRhetoric(params);
    r.ScoreOrganization(params);
    if (!withContent) return;
    r.ScoreContent();
    r.ComputeWeightedTotal(params);
    r.ComputeLengthPenalty(params);
    r.ComputeFinalScore();
}

void Append(ScorerResult& to, ScorerResult&& from) {
    for (ContentModel::Message& m : from.messages) to.messages.push_back(std::move(m));
    to.error = std::move(from.error);
    to.questionPrepared = from.questionPrepared;
}

}  // namespace

Scorer::~Scorer() { DropQuestion(); }

std::vector<ContentModel::Message> Scorer::TakeMessages() { return std::exchange(m_model.messages, {}); }

ScorerResult Scorer::LoadModelOnly(const std::string& settingsPath) {
    m_params.modelPath = settingsPath;
    ScorerResult result;
    if (!m_model.LoadSettings(settingsPath))
        result.error = Sjis("内容評価用辞書 : \n ") + settingsPath + Sjis(" \n を使用できません。");
    result.messages = TakeMessages();
    return result;
}

ScorerResult Scorer::LoadModel(const std::string& settingsPath) {
    ScorerResult result = LoadModelOnly(settingsPath);
    if (m_questionPath.empty()) return result;
    std::optional<std::string> modelError = std::move(result.error);
    Append(result, PrepareAgain());
    if (modelError) result.error = std::move(modelError);
    return result;
}

void Scorer::SetParams(const ScoringParams& params) {
    std::string modelPath = std::move(m_params.modelPath);
    m_params = params;
    m_params.modelPath = std::move(modelPath);
}

ScorerResult Scorer::PrepareQuestion(const std::string& path) {
    std::string bytes, readError;
    ReadAnswerSource(SjisPathToNative(path), bytes, readError);
    std::optional<std::string> notKept;
    return Prepare(bytes, readError, path, notKept);
}

ScorerResult Scorer::PrepareQuestionText(std::string bytes, const std::string& name) {
    std::optional<std::string> kept(std::move(bytes));
    return Prepare(*kept, {}, name, kept);
}

// The question in use, read again (a file) or taken again (bytes) under the current mode.
ScorerResult Scorer::PrepareAgain() {
    if (!m_questionBytes) return PrepareQuestion(m_questionPath);
    std::optional<std::string> kept = m_questionBytes;
    return Prepare(*kept, {}, m_questionPath, kept);
}

// `keptBytes`, when set, holds `bytes` and is taken over by a question that is prepared.
ScorerResult Scorer::Prepare(std::string_view bytes, const std::string& readError, std::string name,
                             std::optional<std::string>& keptBytes) {
    ScorerResult result;
    // Says why the question was not prepared.
    auto refuse = [&] {
        result.error =
            HasModel() ? Sjis("設問文ファイル : \n ") + name + Sjis(" \n を読み込めないか、文章が含まれていません。")
                       : Sjis("内容評価用辞書が使用できないため、設問文ファイル : \n ") + name +
                             Sjis(" \n を処理できません。");
    };
    MorphemeTable table;
    if (Analyse(bytes, table).empty()) {
        refuse();
        if (!readError.empty()) *result.error += Sjis("\n原因 : ") + Utf8ToSjis(readError);
        return result;
    }
    if (!HasModel()) {
        // With nothing loaded the dictionary is tried once more; it says why it cannot be read.
        if (!m_model.dictionaryLoaded && !m_model.matrixLoaded) m_model.LoadDictionary();
        result.messages = TakeMessages();
        refuse();
        return result;
    }
    std::vector<ContentNounHit> nouns;
    DVector vector = BuildContentVector(table, m_model, &nouns);
    DropQuestion();
    m_questionVector = vector;
    m_questionNouns = std::move(nouns);
    m_questionPath = std::move(name);
    m_questionBytes = std::move(keptBytes);
    result.messages = TakeMessages();
    result.questionPrepared = true;
    return result;
}

void Scorer::DropQuestion() {
    if (m_questionVector) free_vector(m_questionVector, 1, m_questionVector.nh);
    m_questionVector = {};
    m_questionNouns.clear();
    m_questionPath.clear();
    m_questionBytes.reset();
}

ScorerResult Scorer::Configure(const std::string& questionPath, const ScoringParams& params) {
    ScorerResult result;
    if (!HasModel() || params.modelPath != m_params.modelPath) result = LoadModelOnly(params.modelPath);
    SetParams(params);
    DropQuestion();
    if (!questionPath.empty()) Append(result, PrepareQuestion(questionPath));
    return result;
}

std::string Scorer::Analyse(std::string_view bytes, MorphemeTable& table, const std::function<void()>& afterReading) {
    static const MorphemeTools tools;
    std::string text;
    tools.ReadAnswerBytes(bytes, text, m_params.paragraphMode);
    if (afterReading) afterReading();
    std::optional<std::string> analysis;
    if (m_analyzer.IsLoaded()) analysis = m_analyzer.Analyze(text);
    tools.SplitAnalysis(analysis ? *analysis : text, table);
    return text;
}

ScoreOutcome Scorer::Score(EssayRecord& record, bool withEvidence, const ScoringHooks& hooks) {
    record.status = kStatusReading;
    if (hooks.stage) hooks.stage(kStatusReading);
    std::string bytes, readError;
    ReadAnswerSource(SjisPathToNative(record.path), bytes, readError);
    ScoreOutcome outcome = ScoreRead(record, bytes, withEvidence, hooks);
    outcome.readError = std::move(readError);
    return outcome;
}

ScoreOutcome Scorer::ScoreText(EssayRecord& record, std::string_view bytes, bool withEvidence,
                               const ScoringHooks& hooks) {
    record.status = kStatusReading;
    if (hooks.stage) hooks.stage(kStatusReading);
    return ScoreRead(record, bytes, withEvidence, hooks);
}

ScoreOutcome Scorer::ScoreRead(EssayRecord& r, std::string_view bytes, bool withEvidence, const ScoringHooks& hooks) {
    auto enter = [&](EssayStatus status) {
        r.status = status;
        if (hooks.stage) hooks.stage(status);
    };
    std::string asRead = Analyse(bytes, m_workTable, [&] { enter(kStatusAnalysing); });
    enter(kStatusScoring);
    // Evidence is recorded by the extractions, so only for an answer whose features are still to come.
    if (withEvidence && !r.rhetoricFeaturesDone && !r.organizationFeaturesDone)
        r.BeginEvidence(std::move(asRead), m_workTable);
    r.ExtractRhetoricFeatures(m_workTable);
    r.ExtractOrganizationFeatures(m_workTable);
    r.BeginCommentPass();

    ScoreOutcome outcome;
    outcome.withQuestion = HasQuestion();
    if (outcome.withQuestion) r.ComputeContentSimilarity(m_workTable, m_questionVector, m_model, &m_questionNouns);
    outcome.messages = TakeMessages();
    if (hooks.measured && !hooks.measured(r, outcome)) {
        outcome.stopped = true;
        r.status = kStatusUnscored;
        return outcome;
    }
    ComputeScores(r, m_params, outcome.withQuestion);
    r.status = outcome.withQuestion ? kStatusScored : kStatusUnscored;
    return outcome;
}

void Scorer::Rescore(EssayRecord& r, RescoreAxes axes) const {
    if (axes.rhetoric && r.rhetoricScored) {
        r.rhetoricScored = false;
        r.ScoreRhetoric(m_params);
    }
    if (axes.organization && r.organizationScored) {
        r.organizationScored = false;
        r.ScoreOrganization(m_params);
    }
    if (r.status != kStatusScored) return;
    if (axes.content) r.ScoreContent();
    r.ComputeWeightedTotal(m_params);
    r.ComputeLengthPenalty(m_params);
    r.ComputeFinalScore();
}

}  // namespace tavi
