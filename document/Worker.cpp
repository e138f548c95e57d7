// Batch runs, the selection run, command states and the editor.
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>

#include "analysis/Encoding.h"
#include "document/CTaviDoc.h"

namespace tavi {
namespace {

// Lowers the calling thread to idle priority, or to the lowest nice value when the
// scheduler refuses SCHED_IDLE.
void LowerThreadPriority() {
    sched_param param{};
    if (pthread_setschedparam(pthread_self(), SCHED_IDLE, &param) != 0) setpriority(PRIO_PROCESS, gettid(), 19);
}

}  // namespace

void CTaviDoc::OnScoreStart() {
    if (m_bRunning) return;
    m_bStopRequested = false;
    if (!m_scorer.IsAnalyzerLoaded()) return;
    if (m_worker.joinable()) m_worker.join();  // the previous run has ended
    m_bRunning = true;
    m_worker = std::thread(ScoringThreadProc, this);
}

void CTaviDoc::OnScoreStop() { m_bStopRequested = true; }

unsigned CTaviDoc::ScoringThreadProc(CTaviDoc* doc) {
    LowerThreadPriority();
    doc->m_bRunning = true;
    for (int i = 0; i < doc->GetAnswerCount() && !doc->m_bStopRequested; ++i)
        if (doc->IsUnscored(i)) doc->ScoreEssay(i);
    doc->m_bNoQuestionAccepted = false;
    doc->m_bRunning = false;
    return 0;
}

void CTaviDoc::WaitForRun() {
    // The worker may be waiting for this thread to show its progress: keep events flowing.
    while (m_bRunning && m_worker.joinable()) {
        if (View()) View()->PumpMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (m_worker.joinable()) m_worker.join();
}

bool CTaviDoc::AdoptScoredRecord(int index, const EssayRecord& record) {
    {
        std::lock_guard lock(m_mutex);
        if (index < 0 || index >= static_cast<int>(m_answers.size())) return false;
        EssayRecord& r = m_answers[index];
        if (r.status != kStatusUnscored || r.id != record.id || r.path != record.path) return false;
        r = record;
        if (r.status != kStatusUnscored) --m_nUnscored;
    }
    if (record.rhetoricScored || record.organizationScored) NotifyScores(index, record, record.status == kStatusScored);
    if (View()) View()->ShowStatus(index, record.status);
    return true;
}

bool CTaviDoc::IsUnscored(int index) const {
    std::lock_guard lock(m_mutex);
    return index >= 0 && index < static_cast<int>(m_answers.size()) && m_answers[index].status == kStatusUnscored;
}

void CTaviDoc::ScoreIfUnscored(int index) {
    if (IsUnscored(index) && m_scorer.IsAnalyzerLoaded()) ScoreEssay(index);
}

void CTaviDoc::ScoreSelected(const std::vector<int>& answerIndexes) {
    if (answerIndexes.empty() || m_bRunning) return;
    m_bStopRequested = false;
    m_bRunning = true;
    for (size_t k = 0; k < answerIndexes.size() && !m_bStopRequested; ++k) ScoreIfUnscored(answerIndexes[k]);
    m_bRunning = false;
    m_bNoQuestionAccepted = false;
}

void CTaviDoc::OpenInEditor(int index) {
    std::string path;
    {
        std::lock_guard lock(m_mutex);
        if (index < 0 || index >= static_cast<int>(m_answers.size())) return;
        path = m_answers[index].path;
    }
    std::vector<std::string> command;
    if (const char* editor = std::getenv("TAVI_EDITOR"); editor && *editor) {
        std::istringstream words(editor);
        for (std::string word; words >> word;) command.push_back(word);
    }
    if (command.empty()) command.push_back("xdg-open");
    command.push_back(SjisPathToNative(path));
    m_person.StartProcess(command);  // a failure to start is not reported
}

bool CTaviDoc::OnUpdateScoreStart() const {
    std::lock_guard lock(m_mutex);
    return m_scorer.HasQuestion() && m_nUnscored >= 1 && !m_bRunning;
}

bool CTaviDoc::OnUpdateScoreStop() const { return m_bRunning; }

bool CTaviDoc::OnUpdateScoreSelected() const { return OnUpdateScoreStart(); }

bool CTaviDoc::OnUpdateDeleteSelected() const { return !m_bRunning; }

bool CTaviDoc::OnUpdateSaveResults() const {
    std::lock_guard lock(m_mutex);
    return m_lastNumber != 0 && m_nUnscored == 0 && !m_bResultsSaved;
}

}  // namespace tavi
