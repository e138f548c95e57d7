#include "server/Scheduler.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "server/CoreAdapter.h"

namespace tavi::serve {
namespace {

std::string AnswerFile(const std::string& dir, int number) { return dir + "/" + std::to_string(number) + ".txt"; }

}  // namespace

int RunWorker() {
    // Nothing but replies may reach the channel: standard output goes to standard error, the
    // channel is kept on a descriptor of its own, and whatever the server left open is closed.
    close_range(3, ~0U, 0);
    int channel = dup(STDIN_FILENO);
    if (channel < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0) return 1;
    // The server's requests come before the scoring.
    setpriority(PRIO_PROCESS, 0, 5);
    ScoringSession session;
    std::string loadError;
    bool ready = session.Ready(loadError);
    return ServeRequests(channel, [&](const std::string& message) {
        nlohmann::json request = nlohmann::json::parse(message, nullptr, false);
        std::string record, error = loadError;
        bool scored = false;
        if (!request.is_object()) {
            error = "a malformed request";
        } else if (ready) {
            scored = session.Score(request.value("question", ""), request.value("params", ""),
                                   request.value("answer", ""), request.value("number", 0), record, error);
        }
        return scored ? "R" + record : "E" + error;
    });
}

Scheduler::Scheduler(Store& store, std::string dataDir, std::string program, int processes)
    : m_store(store),
      m_dataDir(std::move(dataDir)),
      m_program(std::move(program)),
      m_processes(static_cast<size_t>(std::max(processes, 1))) {}

Scheduler::~Scheduler() { Stop(); }

void Scheduler::Start() {
    WorkerLaunch launch;
    launch.program = m_program;
    launch.arguments = {"--worker"};
    launch.name = "the scoring process";
    m_pool = std::make_unique<ProcessPool>(std::move(launch), m_processes);
    for (size_t k = 0; k < m_processes; ++k) m_threads.emplace_back(&Scheduler::Serve, this, k);
}

void Scheduler::Resume() {
    for (const JobRow& job : m_store.JobsInState({"scoring", "queued"})) Enqueue(job);
}

bool Scheduler::Enqueue(const JobRow& job) {
    std::vector<int> pending = m_store.PendingAnswers(job.id);
    auto files = std::make_shared<JobFiles>(JobFiles{job.id, m_dataDir + "/jobs/" + job.id + "/question.txt",
                                                     m_dataDir + "/jobs/" + job.id + "/answers", job.params});
    std::lock_guard lock(m_mutex);
    if (auto queues = m_queues.find(job.userId); queues != m_queues.end())
        for (const JobQueue& q : queues->second)
            if (q.files->id == job.id) return true;  // already queued
    JobQueue queue{files, {}};
    auto busy = m_inFlight.find(job.id);
    bool inProgress = busy != m_inFlight.end() && !busy->second.empty();
    for (int number : pending)
        if (!inProgress || !busy->second.count(number)) queue.tasks.push_back({files, job.userId, number, 0});
    const bool scoring = job.state == "scoring" || (queue.tasks.empty() && inProgress);
    const char* state = queue.tasks.empty() && !inProgress ? "done" : scoring ? "scoring" : "queued";
    // Written before anything changes here, so that a store that fails leaves nothing queued.
    if (job.state != state) m_store.SetJobState(job.id, state);
    if (!inProgress && busy != m_inFlight.end()) m_inFlight.erase(busy);
    if (queue.tasks.empty() && !inProgress) return false;
    if (scoring) m_markedScoring.insert(job.id);
    if (queue.tasks.empty()) return true;
    auto& queues = m_queues[job.userId];
    if (queues.empty()) m_turns.push_back(job.userId);
    queues.push_back(std::move(queue));
    m_ready.notify_all();
    return true;
}

void Scheduler::Remove(const std::string& jobId) {
    std::lock_guard lock(m_mutex);
    for (auto it = m_queues.begin(); it != m_queues.end();) {
        auto& queues = it->second;
        std::erase_if(queues, [&](const JobQueue& q) { return q.files->id == jobId; });
        if (queues.empty()) {
            std::erase(m_turns, it->first);
            it = m_queues.erase(it);
        } else {
            ++it;
        }
    }
    m_markedScoring.erase(jobId);
}

std::optional<Scheduler::Task> Scheduler::Take(bool wait) {
    std::unique_lock lock(m_mutex);
    // Nothing new is taken while scoring is paused.
    if (wait) m_ready.wait(lock, [&] { return m_stopping || (!m_turns.empty() && m_paused.empty()); });
    if (m_stopping || m_turns.empty() || !m_paused.empty()) return std::nullopt;
    int64_t user = m_turns.front();
    m_turns.pop_front();
    auto& queues = m_queues[user];
    JobQueue& queue = queues.front();
    Task task = std::move(queue.tasks.front());
    queue.tasks.pop_front();
    if (queue.tasks.empty()) queues.pop_front();
    if (queues.empty()) {
        m_queues.erase(user);
    } else {
        m_turns.push_back(user);
    }
    m_inFlight[task.job->id].insert(task.number);
    if (m_markedScoring.insert(task.job->id).second) {
        try {
            m_store.SetJobState(task.job->id, "scoring");
        } catch (const StoreError&) {
            // The job shows "queued" until it is done; its results wait in Persist for the store.
        }
    }
    return task;
}

// An answer is done (or, with `retry`, goes back to the front of its job's queue); a job
// with nothing queued or in progress and no answer left is done.
void Scheduler::Finish(const Task& task, bool retry) {
    const std::string& id = task.job->id;
    {
        std::lock_guard lock(m_mutex);
        auto& busy = m_inFlight[id];
        busy.erase(busy.find(task.number));
        bool queued = false;
        auto it = m_queues.find(task.user);
        if (it != m_queues.end())
            for (JobQueue& q : it->second)
                if (q.files->id == id) {
                    queued = true;
                    if (retry) q.tasks.push_front(task);
                }
        if (retry && !queued && m_markedScoring.count(id)) {
            // The job's last queued answers were taken: it gets a queue again.
            auto& queues = m_queues[task.user];
            if (queues.empty()) m_turns.push_back(task.user);
            queues.push_back({task.job, {task}});
            queued = true;
        }
        if (retry) {
            m_ready.notify_all();
            return;
        }
        if (queued || !busy.empty()) return;
        m_inFlight.erase(id);
        if (m_markedScoring.erase(id) == 0) return;
    }
    // Outside the lock, so that a store that waits for space holds up no request.
    bool done = false;
    std::optional<JobRow> again;
    if (!Persist([&] {
            done = m_store.PendingAnswers(id).empty();
            if (done) {
                m_store.SetJobState(id, "done");
            } else {
                again = m_store.Job(id);
            }
        }))
        return;
    if (done && m_onJobDone) m_onJobDone(id);
    // Left unscored: answers whose results were dropped, scored under parameters that changed
    // since. They are scored again under the new ones, unless the job was stopped meanwhile.
    if (again && again->state != "idle") Persist([&] { Enqueue(*again); });
}

// Answers a process holds at once: while it scores one, the next waits in its channel, so it
// does not wait while this side stores a result and takes the next answer.
constexpr size_t kAnswersAhead = 2;

void Scheduler::Serve(size_t slot) {
    if (slot == 0 && !Persist([&] { Resume(); })) return;
    std::deque<Task> sent;  // with the process, in the order of its replies
    for (;;) {
        while (sent.size() < kAnswersAhead) {
            std::optional<Task> task = Take(sent.empty());
            if (!task) break;
            std::string error;
            if (m_pool->Send(slot, Request(*task), error)) {
                sent.push_back(std::move(*task));
                continue;
            }
            {
                std::lock_guard lock(m_mutex);
                if (m_stopping) return;
            }
            std::fprintf(stderr, "tavi-serve: %s\n", error.c_str());
            if (!Persist([&] {
                    m_store.SaveFailure(task->job->id, task->number, "採点のプロセスを起動できませんでした: " + error);
                }))
                return;
            Finish(*task, false);
        }
        if (sent.empty()) {
            std::lock_guard lock(m_mutex);
            if (m_stopping) return;
            continue;
        }
        std::string reply;
        if (m_pool->Receive(slot, reply) == ProcessPool::Outcome::kReply) {
            const Task& task = sent.front();
            // Kept here until the store takes it: a full disk fails no answer.
            if (!Persist([&] {
                    if (!reply.empty() && reply[0] == 'R') {
                        // Dropped when the job's parameters changed while it was scored.
                        m_store.SaveResult(task.job->id, task.number, reply.substr(1), task.job->params);
                    } else {
                        m_store.SaveFailure(task.job->id, task.number,
                                            reply.empty() ? "採点のプロセスから応答がありません。" : reply.substr(1));
                    }
                }))
                return;
            Finish(task, false);
            sent.pop_front();
            continue;
        }
        {
            std::lock_guard lock(m_mutex);
            if (m_stopping) return;  // ended by Stop: the answers stay unscored for the next start
        }
        GiveBack(sent, reply);
    }
}

std::string Scheduler::Request(const Task& task) {
    return nlohmann::json{{"question", task.job->question},
                          {"params", task.job->params},
                          {"answer", AnswerFile(task.job->answersDir, task.number)},
                          {"number", task.number}}
        .dump();
}

void Scheduler::GiveBack(std::deque<Task>& sent, const std::string& error) {
    Task& scoring = sent.front();
    std::fprintf(stderr, "tavi-serve: job %s answer %d: %s\n", scoring.job->id.c_str(), scoring.number, error.c_str());
    // Back to the front of their queues, last first, so the order stays as it was.
    for (size_t k = sent.size(); k-- > 1;) Finish(sent[k], true);
    // A dead process is replaced at the next answer; its answer is tried once more.
    if (scoring.attempt == 0) {
        ++scoring.attempt;
        Finish(scoring, true);
    } else if (Persist([&] {
                   m_store.SaveFailure(scoring.job->id, scoring.number,
                                       "採点のプロセスがこの回答文で 2 回とも止まりました（" + error + "）。");
               })) {
        Finish(scoring, false);
    }
    sent.clear();
}

bool Scheduler::Persist(const std::function<void()>& write) {
    auto wait = std::chrono::milliseconds(250);
    for (;;) {
        try {
            write();
            break;
        } catch (const StoreError& e) {
            std::unique_lock lock(m_mutex);
            std::string cause = e.DiskFull()
                                    ? "サーバーのディスクがいっぱいです。空きができると採点を自動で再開します。"
                                    : std::string("サーバーがデータベースに書き込めません（") + e.what() +
                                          "）。書き込めるようになると採点を自動で再開します。";
            if (cause != m_paused) std::fprintf(stderr, "tavi-serve: scoring paused: %s\n", cause.c_str());
            m_paused = cause;
            if (m_ready.wait_for(lock, wait, [&] { return m_stopping; })) return false;
            wait = std::min<std::chrono::milliseconds>(wait * 2, std::chrono::seconds(4));
        }
    }
    std::lock_guard lock(m_mutex);
    if (!m_paused.empty()) {
        m_paused.clear();
        std::fprintf(stderr, "tavi-serve: scoring resumed\n");
        m_ready.notify_all();
    }
    return true;
}

std::string Scheduler::Paused() {
    std::lock_guard lock(m_mutex);
    return m_paused;
}

void Scheduler::Stop() {
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping) return;
        m_stopping = true;
    }
    m_ready.notify_all();
    if (m_pool) m_pool->EndAll();
    for (std::thread& t : m_threads) t.join();
    m_threads.clear();
    m_pool.reset();
}

}  // namespace tavi::serve
