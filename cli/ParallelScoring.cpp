#include "cli/ParallelScoring.h"

#include <algorithm>
#include <deque>

#include "document/ProcessPool.h"
#include "report/RecordCodec.h"

namespace tavi {
namespace {

// A worker, forked from this process: scores each record it is sent (an unscored answer of
// the document, encoded) with its copy of the document's scorer, and sends it back scored.
int RunWorker(Scorer& scorer, bool withEvidence, int fd) {
    return ServeRequests(fd, [&](const std::string& request) {
        EssayRecord record;
        if (!DecodeRecord(request, record)) return std::string();
        scorer.Score(record, withEvidence);
        return EncodeRecord(record);
    });
}

}  // namespace

void ScoreInProcesses(CTaviDoc& doc, const std::vector<int>& answers, int jobs,
                      const std::function<void(size_t)>& progress) {
    size_t done = 0;
    std::vector<bool> delivered(answers.size(), false);
    auto scoreHere = [&](size_t k) {
        doc.ScoreSelected({answers[k]});
        delivered[k] = true;
        progress(++done);
    };
    // This process is one of the `jobs`: it is already warmed up, where a new process first
    // has to bring the analyser's dictionary and the model into its own memory.
    const size_t processes = std::min<size_t>(static_cast<size_t>(std::max(jobs, 1)), answers.size());
    if (processes > 1) {
        WorkerLaunch launch;
        launch.body = [&doc](int fd) { return RunWorker(doc.ScorerForWorkers(), doc.KeepsEvidence(), fd); };
        ProcessPool pool(std::move(launch), processes - 1);
        std::vector<std::deque<size_t>> sent(pool.Size());  // positions in `answers`, per worker
        std::vector<bool> usable(pool.Size(), true);
        size_t next = 0;
        // Takes the records that have arrived (waiting for them with -1); a worker that died
        // leaves its answers to this process, and is replaced at its next answer.
        auto receive = [&](int timeoutMs) {
            std::string reply;
            for (size_t w = 0; w < pool.Size(); ++w)
                while (!sent[w].empty()) {
                    ProcessPool::Outcome outcome = pool.Receive(w, reply, timeoutMs);
                    if (outcome == ProcessPool::Outcome::kTimeout) break;
                    if (outcome == ProcessPool::Outcome::kDied) {
                        sent[w].clear();
                        break;
                    }
                    size_t k = sent[w].front();
                    sent[w].pop_front();
                    EssayRecord record;
                    if (DecodeRecord(reply, record) && doc.AdoptScoredRecord(answers[k], record)) {
                        delivered[k] = true;
                        progress(++done);
                    }
                }
        };
        while (next < answers.size()) {
            // Each worker holds a few answers, so that it does not wait while this process scores
            // one; fewer towards the end, so that none is left with a queue when the rest is done.
            size_t ahead = std::clamp<size_t>((answers.size() - next) / (2 * processes), 1, 8);
            for (size_t w = 0; w < pool.Size(); ++w) {
                std::string error;
                while (usable[w] && next < answers.size() && sent[w].size() < ahead) {
                    usable[w] = pool.Send(w, EncodeRecord(doc.GetAnswer(answers[next])), error);
                    if (usable[w]) sent[w].push_back(next++);
                }
            }
            if (next < answers.size()) scoreHere(next++);
            receive(0);
        }
        receive(-1);
    }
    // Answers that no worker delivered (one died, or none could be started) are scored here.
    for (size_t k = 0; k < answers.size(); ++k)
        if (!delivered[k]) scoreHere(k);
}

}  // namespace tavi
