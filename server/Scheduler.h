#pragma once

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "server/Store.h"

namespace tavi::serve {

// A scoring process: tavi-serve started again in its worker mode, fed over two pipes.
class WorkerProcess {
public:
    explicit WorkerProcess(std::string program) : m_program(std::move(program)) {}
    ~WorkerProcess() { End(); }
    WorkerProcess(const WorkerProcess&) = delete;
    WorkerProcess& operator=(const WorkerProcess&) = delete;

    bool Running() const { return m_pid > 0; }
    bool Start(std::string& error);
    // Sends a request; replies come in the order of the requests. False when the process
    // died; `error` then says how it ended.
    bool Send(const std::string& request, std::string& error);
    // Waits for the reply to the oldest request not yet answered; false as Send.
    bool Receive(std::string& reply, std::string& error);
    // Ends the process (SIGTERM, then waits).
    void End();
    pid_t Pid() const { return m_pid; }

private:
    std::string Reap();
    std::string m_program;
    std::atomic<pid_t> m_pid = -1;
    int m_to = -1, m_from = -1;
};

// The worker mode: answers requests on standard input until it closes. Returns the exit status.
int RunWorker();

// The shared queue of answers to score and the N processes that score them. Fair between
// teachers: each process takes the next answer of the next teacher in turn, so a teacher
// with a few answers waits for one answer of each other teacher, not for their whole jobs.
// Each result is written to the store as soon as it arrives.
class Scheduler {
public:
    Scheduler(Store& store, std::string dataDir, std::string program, int processes);
    ~Scheduler();

    // Called with a job's id when its last answer is done (from a scoring thread).
    void OnJobDone(std::function<void(const std::string&)> done) { m_onJobDone = std::move(done); }
    // Starts the processes and continues the jobs that were queued or scoring.
    void Start();
    // Queues the job's answers that have neither a result nor a failure. False when there is
    // nothing to score (the job is then done).
    bool Enqueue(const JobRow& job);
    // Drops the job's queued answers; answers in progress finish.
    void Remove(const std::string& jobId);
    // Ends the processes; answers in progress stay unscored, to be scored after a restart.
    void Stop();
    // The pids of the scoring processes (tests).
    std::vector<pid_t> WorkerPids();

private:
    struct JobFiles {
        std::string id;
        std::string question;    // native path
        std::string answersDir;  // native path
        std::string params;
    };
    struct Task {
        std::shared_ptr<const JobFiles> job;
        int64_t user = 0;
        int number = 0;
        int attempt = 0;
    };
    struct JobQueue {
        std::shared_ptr<const JobFiles> files;
        std::deque<Task> tasks;
    };

    // The next answer in turn; waits for one when `wait`. Nothing when stopping (or, without
    // `wait`, when no answer is queued).
    std::optional<Task> Take(bool wait);
    void Finish(const Task& task, bool retry);
    void Serve(size_t slot);
    // Starts the process when it is not running; false when none starts, the task then failed.
    bool StartIfNeeded(WorkerProcess& worker, const Task& task);
    static std::string Request(const Task& task);
    // The process died with `sent` in it: the first of them, which it was scoring, is tried
    // once more or failed; the others go back to their queues as they were.
    void GiveBack(std::deque<Task>& sent, const std::string& error);

    Store& m_store;
    std::string m_dataDir;
    std::string m_program;
    size_t m_processes;

    std::mutex m_mutex;
    std::condition_variable m_ready;
    bool m_stopping = false;
    std::deque<int64_t> m_turns;                           // teachers with queued answers, next first
    std::map<int64_t, std::deque<JobQueue>> m_queues;      // per teacher, jobs in start order
    std::map<std::string, std::multiset<int>> m_inFlight;  // answers being scored, per job
    std::set<std::string> m_markedScoring;
    std::vector<std::unique_ptr<WorkerProcess>> m_workers;
    std::vector<std::thread> m_threads;
    std::function<void(const std::string&)> m_onJobDone;
};

}  // namespace tavi::serve
