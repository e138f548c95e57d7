// Scoring one answer, preparing the question, and scoring axes again.
#include <optional>
#include <utility>

#include "analysis/Encoding.h"
#include "document/CTaviDoc.h"

namespace tavi {

void CTaviDoc::NotifyScores(int index, const EssayRecord& r, bool withContent) {
    if (View()) ShowScoreCells(*View(), index, r, withContent);
}

namespace {

// The features of an answer's text, found once per record; `asRead`, when not null, is the
// text as read, kept with the evidence of the features.
void ExtractFeatures(EssayRecord& r, const MorphemeTable& table, std::string* asRead) {
    if (asRead) r.BeginEvidence(std::move(*asRead), table);
    r.ExtractRhetoricFeatures(table);
    r.ExtractOrganizationFeatures(table);
    r.BeginCommentPass();
}

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

}  // namespace

void CTaviDoc::ScoreEssay(int index) {
    BeginAnswer();
    // The record is copied out and written back: the array may grow while this answer is scored.
    EssayRecord r;
    ScoringParams params;
    {
        std::lock_guard lock(m_mutex);
        if (index >= 0 && index < static_cast<int>(m_answers.size())) {
            r = m_answers[index];
            params = m_params;
        }
    }
    if (r.id != 0) {
        // Evidence is recorded by the extractions, so only for an answer whose features are still to come.
        const bool keepEvidence = m_bKeepEvidence && !r.rhetoricFeaturesDone && !r.organizationFeaturesDone;
        SetStatus(index, r, kStatusReading);
        std::string unreadable;  // an answer that cannot be read is scored as an empty text
        std::string asRead = AnalyseText(SjisPathToNative(r.path), params.paragraphMode, m_analyzer, m_workTable,
                                         unreadable, [&] { SetStatus(index, r, kStatusAnalysing); });
        SetStatus(index, r, kStatusScoring);
        ExtractFeatures(r, m_workTable, keepEvidence ? &asRead : nullptr);
        std::optional<bool> haveQuestion = MeasureContent(index, r);
        if (haveQuestion) {
            ComputeScores(r, params, *haveQuestion);
            StoreAnswer(index, r, *haveQuestion ? kStatusScored : kStatusUnscored);
            NotifyScores(index, r, *haveQuestion);
        } else {
            StoreAnswer(index, r, kStatusUnscored);
        }
        if (View()) View()->ShowStatus(index, r.status);
    }
    EndAnswer();
}

// The record at `index` if it is still the one with the management number `id`, which never
// changes; the caller holds the lock.
EssayRecord* CTaviDoc::StoredRecord(int index, uint16_t id) {
    if (index < static_cast<int>(m_answers.size()) && m_answers[index].id == id) return &m_answers[index];
    return nullptr;
}

void CTaviDoc::SetStatus(int index, const EssayRecord& r, EssayStatus status) {
    {
        std::lock_guard lock(m_mutex);
        if (EssayRecord* s = StoredRecord(index, r.id)) s->status = status;
    }
    if (View()) View()->ShowStatus(index, status);
}

// The content similarity to the question, shown. Without a question the person is asked once
// per run whether to go on: nothing when they refuse (the run is then asked to stop), else
// whether a question was there.
std::optional<bool> CTaviDoc::MeasureContent(int index, EssayRecord& r) {
    static const std::string prompt =
        Sjis("設問文ファイルが指定されていません。評価を継続しますか？\n OK ... 処理継続\n Cancel ... 処理中断。");
    bool haveQuestion;
    {
        std::lock_guard lock(m_mutex);
        haveQuestion = static_cast<bool>(m_pQuestionVector);
        if (haveQuestion) r.ComputeContentSimilarity(m_workTable, m_pQuestionVector, m_contentModel, &m_questionNouns);
    }
    ShowModelMessages();
    if (haveQuestion) {
        if (View()) View()->ShowContentScore(index, r.contentSimilarity);
    } else if (!m_bNoQuestionAccepted) {
        MessageAnswer answer =
            m_person.ShowMessageBox({prompt, "Tavi", MessageButtons::kOkCancel, MessageIcon::kQuestion, 1, true});
        if (answer != MessageAnswer::kOk) {
            m_bStopRequested = true;
            return std::nullopt;
        }
        m_bNoQuestionAccepted = true;
    }
    return haveQuestion;
}

// Writes the answer back with its new status; a newly scored answer leaves the unscored count.
void CTaviDoc::StoreAnswer(int index, EssayRecord& r, EssayStatus status) {
    r.status = status;
    std::lock_guard lock(m_mutex);
    if (EssayRecord* s = StoredRecord(index, r.id)) {
        *s = r;
        if (status == kStatusScored) --m_nUnscored;
    }
}

DocResult CTaviDoc::PrepareQuestion() {
    std::string path;
    int mode;
    {
        std::lock_guard lock(m_mutex);
        path = m_strQuestionPath;
        mode = m_params.paragraphMode;
    }
    // Says why the question was not prepared.
    auto refuse = [&](DocResult result) {
        std::lock_guard lock(m_mutex);
        result.error =
            m_contentModel.dictionaryLoaded && m_contentModel.matrixLoaded
                ? Sjis("設問文ファイル : \n ") + path + Sjis(" \n を読み込めないか、文章が含まれていません。")
                : Sjis("内容評価用辞書が使用できないため、設問文ファイル : \n ") + path +
                      Sjis(" \n を処理できません。");
        return result;
    };
    MorphemeTable table;
    std::string unreadable;
    if (AnalyseText(SjisPathToNative(path), mode, m_analyzer, table, unreadable).empty()) {
        DocResult refused = refuse({});
        if (!unreadable.empty()) *refused.error += Sjis("\n原因 : ") + Utf8ToSjis(unreadable);
        return refused;
    }
    bool built = false;
    DocResult result;
    {
        std::lock_guard lock(m_mutex);
        if (m_contentModel.dictionaryLoaded && m_contentModel.matrixLoaded) {
            std::vector<ContentNounHit> nouns;
            DVector vector = BuildContentVector(table, m_contentModel, &nouns);
            if (m_pQuestionVector) free_vector(m_pQuestionVector, 1, m_pQuestionVector.nh);
            m_pQuestionVector = vector;
            m_questionNouns = std::move(nouns);
            built = true;
        } else if (!m_contentModel.dictionaryLoaded && !m_contentModel.matrixLoaded) {
            m_contentModel.LoadDictionary();
        }
        result.messages = std::exchange(m_contentModel.messages, {});
    }
    if (!built) return refuse(std::move(result));
    RescoreContent();
    return result;
}

void CTaviDoc::RescoreRhetoric() {
    RescoreKeptScores(&EssayRecord::rhetoricScored, &EssayRecord::ScoreRhetoric, &ListView::ShowRhetoricScore);
}

void CTaviDoc::RescoreOrganization() {
    RescoreKeptScores(&EssayRecord::organizationScored, &EssayRecord::ScoreOrganization,
                      &ListView::ShowOrganizationScore);
}

// Scores one kept axis of every answer again with the current parameters, shows it, and
// then the totals of the scored answers, which depend on it.
void CTaviDoc::RescoreKeptScores(bool EssayRecord::*scored, double (EssayRecord::*score)(const ScoringParams&),
                                 void (ListView::*show)(int, double)) {
    std::vector<std::pair<int, double>> changed;
    {
        std::lock_guard lock(m_mutex);
        for (size_t i = 0; i < m_answers.size(); ++i) {
            EssayRecord& r = m_answers[i];
            if (!(r.*scored)) continue;
            r.*scored = false;
            changed.emplace_back(static_cast<int>(i), (r.*score)(m_params));
        }
    }
    if (View())
        for (auto [index, value] : changed) (View()->*show)(index, value);
    RecomputeScoredAnswers(false);
}

void CTaviDoc::RescoreContent() { RecomputeScoredAnswers(true); }

void CTaviDoc::RecomputeTotals() { RecomputeScoredAnswers(false); }

// The weighted total, length penalty and final score of every scored answer again, after its
// content score when `content` is set (which needs a question vector), and shows them.
void CTaviDoc::RecomputeScoredAnswers(bool content) {
    std::vector<std::pair<int, EssayRecord>> changed;
    {
        std::lock_guard lock(m_mutex);
        if (content && !m_pQuestionVector) return;
        for (size_t i = 0; i < m_answers.size(); ++i) {
            EssayRecord& r = m_answers[i];
            if (r.status != kStatusScored) continue;
            if (content) r.ScoreContent();
            r.ComputeWeightedTotal(m_params);
            r.ComputeLengthPenalty(m_params);
            r.ComputeFinalScore();
            changed.emplace_back(static_cast<int>(i), r);
        }
    }
    if (!View()) return;
    for (const auto& [index, r] : changed) {
        if (content) View()->ShowContentScore(index, r.contentScore);
        View()->ShowLengthPenalty(index, r.lengthPenalty);
        View()->ShowTotalScore(index, r.finalScore);
        if (content) View()->ShowStatus(index, kStatusScored);
    }
}

}  // namespace tavi
