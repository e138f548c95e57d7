#pragma once

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

#include "document/ProcessPool.h"
#include "server/Store.h"

namespace tavi::serve {

// The worker mode of tavi-serve, whose scoring processes are the program started again with
// --worker: answers the requests on standard input until it closes. Returns the exit status.
int RunWorker();

// The shared queue of answers to score and the N processes that score them. Fair between
// teachers: each process takes the next answer of the next teacher in turn, so a teacher
// with a few answers waits for one answer of each other teacher, not for their whole jobs.
// Each result is written to the store as soon as it arrives. While the store cannot be
// written (a full disk), scoring pauses and the write is tried again until it succeeds.
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
    // Why scoring is paused (the disk is full); empty while it is not.
    std::string Paused();

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
    // Queues the jobs that were queued or being scored when the server stopped.
    void Resume();
    static std::string Request(const Task& task);
    // The process died with `sent` in it: the first of them, which it was scoring, is tried
    // once more or failed; the others go back to their queues as they were.
    void GiveBack(std::deque<Task>& sent, const std::string& error);
    // Runs writes of the store on a scoring thread until they succeed: while the store fails,
    // scoring is paused with its cause, and the writes are tried again after a growing wait.
    // False when the scheduler stops first.
    bool Persist(const std::function<void()>& write);

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
    std::string m_paused;  // why scoring is paused; empty while it is not
    std::unique_ptr<ProcessPool> m_pool;
    std::vector<std::thread> m_threads;
    std::function<void(const std::string&)> m_onJobDone;
};

}  // namespace tavi::serve
