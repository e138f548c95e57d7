// Scoring one answer, preparing the question, and scoring axes again.
#include <tuple>
#include <utility>
#include <vector>

#include "analysis/Encoding.h"
#include "document/CTaviDoc.h"

namespace tavi {

void CTaviDoc::NotifyScores(int index, const EssayRecord& r, bool withContent) {
    if (View()) ShowScoreCells(*View(), index, r, withContent);
}

void CTaviDoc::ScoreEssay(int index) {
    BeginAnswer();
    // The record is copied out and written back: the array may grow while this answer is scored.
    EssayRecord r;
    {
        std::lock_guard lock(m_mutex);
        if (index >= 0 && index < static_cast<int>(m_answers.size())) r = m_answers[index];
    }
    if (r.id != 0) {
        ScoringHooks hooks{[&](EssayStatus status) { SetStatus(index, r, status); },
                           [&](const EssayRecord& measured, const ScoreOutcome& sofar) {
                               return ContinueScoring(index, measured, sofar);
                           }};
        // An answer that cannot be read is scored as an empty text.
        ScoreOutcome outcome = m_scorer.Score(r, m_bKeepEvidence, hooks);
        StoreAnswer(index, r);
        if (!outcome.stopped) NotifyScores(index, r, outcome.withQuestion);
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

// Shows the model's messages and the similarity to the question. Without a question the person
// is asked once per run whether to go on; when they refuse, the run is asked to stop.
bool CTaviDoc::ContinueScoring(int index, const EssayRecord& r, const ScoreOutcome& sofar) {
    static const std::string prompt =
        Sjis("設問文ファイルが指定されていません。評価を継続しますか？\n OK ... 処理継続\n Cancel ... 処理中断。");
    Report(m_person, DocResult{sofar.messages, std::nullopt});
    if (sofar.withQuestion) {
        if (View()) View()->ShowContentScore(index, r.contentSimilarity);
    } else if (!m_bNoQuestionAccepted) {
        MessageAnswer answer =
            m_person.ShowMessageBox({prompt, "Tavi", MessageButtons::kOkCancel, MessageIcon::kQuestion, 1, true});
        if (answer != MessageAnswer::kOk) {
            m_bStopRequested = true;
            return false;
        }
        m_bNoQuestionAccepted = true;
    }
    return true;
}

// Writes the answer back; a newly scored answer leaves the unscored count.
void CTaviDoc::StoreAnswer(int index, const EssayRecord& r) {
    std::lock_guard lock(m_mutex);
    if (EssayRecord* s = StoredRecord(index, r.id)) {
        *s = r;
        if (r.status == kStatusScored) --m_nUnscored;
    }
}

DocResult CTaviDoc::PrepareQuestion() {
    DocResult result;
    {
        std::lock_guard lock(m_mutex);
        result = m_scorer.PrepareQuestion(m_strQuestionPath);
    }
    if (result.questionPrepared) RescoreContent();
    return result;
}

void CTaviDoc::RescoreRhetoric() {
    RescoreKeptScores({.rhetoric = true}, &EssayRecord::rhetoricScored, &EssayRecord::rhetoricScore,
                      &ListView::ShowRhetoricScore);
}

void CTaviDoc::RescoreOrganization() {
    RescoreKeptScores({.organization = true}, &EssayRecord::organizationScored, &EssayRecord::organizationScore,
                      &ListView::ShowOrganizationScore);
}

// Scores one kept axis of every answer again with the current parameters, and the totals of
// the scored answers, which depend on it; shows the axis of every answer, then the totals.
void CTaviDoc::RescoreKeptScores(RescoreAxes axes, bool EssayRecord::*scored, double EssayRecord::*score,
                                 void (ListView::*show)(int, double)) {
    std::vector<std::pair<int, double>> changed;
    std::vector<std::tuple<int, double, double>> shownTotals;
    {
        std::lock_guard lock(m_mutex);
        for (size_t i = 0; i < m_answers.size(); ++i) {
            EssayRecord& r = m_answers[i];
            const bool kept = r.*scored;
            if (!kept && r.status != kStatusScored) continue;
            m_scorer.Rescore(r, axes);
            if (kept) changed.emplace_back(static_cast<int>(i), r.*score);
            if (r.status == kStatusScored) shownTotals.emplace_back(static_cast<int>(i), r.lengthPenalty, r.finalScore);
        }
    }
    if (!View()) return;
    for (auto [index, value] : changed) (View()->*show)(index, value);
    for (auto [index, penalty, total] : shownTotals) {
        View()->ShowLengthPenalty(index, penalty);
        View()->ShowTotalScore(index, total);
    }
}

void CTaviDoc::RescoreContent() { RecomputeScoredAnswers(true); }

void CTaviDoc::RecomputeTotals() { RecomputeScoredAnswers(false); }

// The weighted total, length penalty and final score of every scored answer again, after its
// content score when `content` is set (which needs a question vector), and shows them.
void CTaviDoc::RecomputeScoredAnswers(bool content) {
    struct Shown {
        int index;
        double content, penalty, total;
    };
    std::vector<Shown> changed;
    {
        std::lock_guard lock(m_mutex);
        if (content && !m_scorer.HasQuestion()) return;
        for (size_t i = 0; i < m_answers.size(); ++i) {
            EssayRecord& r = m_answers[i];
            if (r.status != kStatusScored) continue;
            m_scorer.Rescore(r, {.content = content});
            changed.push_back({static_cast<int>(i), r.contentScore, r.lengthPenalty, r.finalScore});
        }
    }
    if (!View()) return;
    for (const Shown& r : changed) {
        if (content) View()->ShowContentScore(r.index, r.content);
        View()->ShowLengthPenalty(r.index, r.penalty);
        View()->ShowTotalScore(r.index, r.total);
        if (content) View()->ShowStatus(r.index, kStatusScored);
    }
}

}  // namespace tavi
