// Scoring one answer, preparing the question, and scoring axes again.
#include <optional>

#include "analysis/Encoding.h"
#include "document/CTaviDoc.h"

namespace tavi {

void CTaviDoc::NotifyScores(int index, const EssayRecord& r, bool withContent) {
    if (View()) ShowScoreCells(*View(), index, r, withContent);
}

void CTaviDoc::ScoreEssay(int index) {
    static const std::string prompt =
        Sjis("設問文ファイルが指定されていません。評価を継続しますか？\n OK ... 処理継続\n Cancel ... 処理中断。");
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
    if (r.id == 0) {
        EndAnswer();
        return;
    }
    // Finds the record again by its management number, which never changes.
    auto stored = [&]() -> EssayRecord* {
        if (index < static_cast<int>(m_answers.size()) && m_answers[index].id == r.id) return &m_answers[index];
        return nullptr;
    };
    auto setStatus = [&](EssayStatus status) {
        {
            std::lock_guard lock(m_mutex);
            if (EssayRecord* s = stored()) s->status = status;
        }
        if (View()) View()->ShowStatus(index, status);
    };
    setStatus(kStatusReading);
    std::string text;
    m_tools.ReadAnswerFile(r.path, text, params.paragraphMode);
    // Evidence is recorded by the extractions, so only for an answer whose features are still to come.
    const bool keepEvidence = m_bKeepEvidence && !r.rhetoricFeaturesDone && !r.organizationFeaturesDone;
    std::string asRead = keepEvidence ? text : std::string();

    setStatus(kStatusAnalysing);
    if (m_analyzer.IsLoaded()) {
        if (std::optional<std::string> analysis = m_analyzer.Analyze(text)) text = std::move(*analysis);
    }
    m_tools.SplitAnalysis(text, m_workTable);

    setStatus(kStatusScoring);
    if (keepEvidence) r.BeginEvidence(std::move(asRead), m_workTable);
    r.ExtractRhetoricFeatures(m_workTable);
    r.ExtractOrganizationFeatures(m_workTable);
    r.BeginCommentPass();

    bool haveQuestion;
    {
        std::lock_guard lock(m_mutex);
        haveQuestion = static_cast<bool>(m_pQuestionVector);
        if (haveQuestion) r.ComputeContentSimilarity(m_workTable, m_pQuestionVector, m_contentModel, &m_questionNouns);
    }
    FlushModelMessages();
    if (haveQuestion) {
        if (View()) View()->ShowContentScore(index, r.contentSimilarity);
    } else if (!m_bNoQuestionAccepted) {
        MessageAnswer answer = m_person.ShowMessageBox(
            {prompt, "Tavi", MessageButtons::kOkCancel, MessageIcon::kQuestion, 1, true});
        if (answer != MessageAnswer::kOk) {
            m_bStopRequested = true;
            {
                std::lock_guard lock(m_mutex);
                r.status = kStatusUnscored;
                if (EssayRecord* s = stored()) *s = r;
            }
            if (View()) View()->ShowStatus(index, kStatusUnscored);
            EndAnswer();
            return;
        }
        m_bNoQuestionAccepted = true;
    }

    r.ScoreRhetoric(params);
    r.ScoreOrganization(params);
    if (haveQuestion) {
        r.ScoreContent();
        r.ComputeWeightedTotal(params);
        r.ComputeLengthPenalty(params);
        r.ComputeFinalScore();
    }
    r.status = haveQuestion ? kStatusScored : kStatusUnscored;
    {
        std::lock_guard lock(m_mutex);
        if (EssayRecord* s = stored()) {
            *s = r;
            if (haveQuestion) --m_nUnscored;
        }
    }
    NotifyScores(index, r, haveQuestion);
    if (View()) View()->ShowStatus(index, r.status);
    EndAnswer();
}

bool CTaviDoc::PrepareQuestion() {
    std::string path;
    int mode;
    {
        std::lock_guard lock(m_mutex);
        path = m_strQuestionPath;
        mode = m_params.paragraphMode;
    }
    std::string text;
    if (m_tools.ReadAnswerFile(path, text, mode) == 0) return false;
    if (m_analyzer.IsLoaded()) {
        if (std::optional<std::string> analysis = m_analyzer.Analyze(text)) text = std::move(*analysis);
    }
    MorphemeTable table;
    m_tools.SplitAnalysis(text, table);
    bool built = false;
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
    }
    FlushModelMessages();
    if (!built) return false;
    RescoreContent();
    return true;
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
