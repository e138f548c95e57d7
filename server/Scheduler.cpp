#include "server/Scheduler.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>

#include "server/CoreAdapter.h"

extern char** environ;

namespace tavi::serve {
namespace {

// Messages on the pipes: a 4-byte length, then the bytes.
bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool ReadAll(int fd, char* data, size_t size) {
    while (size > 0) {
        ssize_t n = read(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool SendMessage(int fd, const std::string& bytes) {
    uint32_t size = static_cast<uint32_t>(bytes.size());
    return WriteAll(fd, reinterpret_cast<const char*>(&size), 4) && WriteAll(fd, bytes.data(), bytes.size());
}

// Replies are records of a few hundred KiB at most; anything larger is a broken stream.
constexpr uint32_t kMaxMessage = 256u << 20;

bool ReceiveMessage(int fd, std::string& bytes) {
    uint32_t size;
    if (!ReadAll(fd, reinterpret_cast<char*>(&size), 4) || size > kMaxMessage) return false;
    bytes.resize(size);
    return ReadAll(fd, bytes.data(), size);
}

std::string AnswerFile(const std::string& dir, int number) { return dir + "/" + std::to_string(number) + ".txt"; }

}  // namespace

bool WorkerProcess::Start(std::string& error) {
    int request[2], reply[2];
    if (pipe2(request, O_CLOEXEC) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    if (pipe2(reply, O_CLOEXEC) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        close(request[0]);
        close(request[1]);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, request[0], 0);
    posix_spawn_file_actions_adddup2(&actions, reply[1], 1);
    const char* argv[] = {m_program.c_str(), "--worker", nullptr};
    pid_t pid = -1;
    int rc = posix_spawn(&pid, m_program.c_str(), &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(request[0]);
    close(reply[1]);
    if (rc != 0) {
        close(request[1]);
        close(reply[0]);
        error = m_program + ": " + std::strerror(rc);
        return false;
    }
    m_to = request[1];
    m_from = reply[0];
    m_pid = pid;
    return true;
}

bool WorkerProcess::Send(const std::string& request, std::string& error) {
    if (Running() && SendMessage(m_to, request)) return true;
    error = Reap();
    return false;
}

bool WorkerProcess::Receive(std::string& reply, std::string& error) {
    if (Running() && ReceiveMessage(m_from, reply)) return true;
    error = Reap();
    return false;
}

std::string WorkerProcess::Reap() {
    if (m_to >= 0) close(m_to);
    if (m_from >= 0) close(m_from);
    m_to = m_from = -1;
    if (m_pid <= 0) return "no scoring process";
    int status = 0;
    while (waitpid(m_pid.load(), &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
    if (WIFSIGNALED(status)) return "the scoring process was killed by signal " + std::to_string(WTERMSIG(status));
    return "the scoring process ended with status " + std::to_string(WEXITSTATUS(status));
}

void WorkerProcess::End() {
    if (m_pid > 0) kill(m_pid, SIGTERM);
    Reap();
}

int RunWorker() {
    // Nothing but replies may reach the pipe: standard output goes to standard error, the
    // pipe is kept on a descriptor of its own, and whatever the server left open is closed.
    close_range(3, ~0U, 0);
    int out = dup(STDOUT_FILENO);
    if (out < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0) return 1;
    // The server's requests come before the scoring.
    setpriority(PRIO_PROCESS, 0, 5);
    ScoringSession session;
    std::string loadError;
    bool ready = session.Ready(loadError);
    for (std::string message; ReceiveMessage(STDIN_FILENO, message);) {
        nlohmann::json request = nlohmann::json::parse(message, nullptr, false);
        std::string record, error = loadError;
        bool scored = false;
        if (!request.is_object()) {
            error = "a malformed request";
        } else if (ready) {
            scored = session.Score(request.value("question", ""), request.value("params", ""),
                                   request.value("answer", ""), request.value("number", 0), record, error);
        }
        if (!SendMessage(out, scored ? "R" + record : "E" + error)) return 1;
    }
    return 0;
}

Scheduler::Scheduler(Store& store, std::string dataDir, std::string program, int processes)
    : m_store(store),
      m_dataDir(std::move(dataDir)),
      m_program(std::move(program)),
      m_processes(static_cast<size_t>(std::max(processes, 1))) {}

Scheduler::~Scheduler() { Stop(); }

void Scheduler::Start() {
    for (size_t k = 0; k < m_processes; ++k) m_workers.push_back(std::make_unique<WorkerProcess>(m_program));
    for (const JobRow& job : m_store.JobsInState({"scoring", "queued"})) Enqueue(job);
    for (size_t k = 0; k < m_processes; ++k) m_threads.emplace_back(&Scheduler::Serve, this, k);
}

bool Scheduler::Enqueue(const JobRow& job) {
    std::vector<int> pending = m_store.PendingAnswers(job.id);
    auto files = std::make_shared<JobFiles>(JobFiles{job.id, m_dataDir + "/jobs/" + job.id + "/question.txt",
                                                     m_dataDir + "/jobs/" + job.id + "/answers", job.params});
    std::lock_guard lock(m_mutex);
    auto& queues = m_queues[job.userId];
    for (const JobQueue& q : queues)
        if (q.files->id == job.id) return true;  // already queued
    JobQueue queue{files, {}};
    const auto& busy = m_inFlight[job.id];
    for (int number : pending)
        if (!busy.count(number)) queue.tasks.push_back({files, job.userId, number, 0});
    if (queue.tasks.empty()) {
        if (busy.empty()) {
            m_inFlight.erase(job.id);
            if (queues.empty()) m_queues.erase(job.userId);
            m_store.SetJobState(job.id, "done");
            return false;
        }
        m_store.SetJobState(job.id, "scoring");
        m_markedScoring.insert(job.id);
        return true;
    }
    m_store.SetJobState(job.id, job.state == "scoring" ? "scoring" : "queued");
    if (job.state == "scoring") m_markedScoring.insert(job.id);
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
    if (wait) m_ready.wait(lock, [&] { return m_stopping || !m_turns.empty(); });
    if (m_stopping || m_turns.empty()) return std::nullopt;
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
    if (m_markedScoring.insert(task.job->id).second) m_store.SetJobState(task.job->id, "scoring");
    return task;
}

// An answer is done (or, with `retry`, goes back to the front of its job's queue); a job
// with nothing queued or in progress and no answer left is done.
void Scheduler::Finish(const Task& task, bool retry) {
    std::unique_lock lock(m_mutex);
    const std::string& id = task.job->id;
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
    bool wasScoring = m_markedScoring.erase(id) > 0;
    if (!wasScoring || !m_store.PendingAnswers(id).empty()) return;
    m_store.SetJobState(id, "done");
    lock.unlock();
    if (m_onJobDone) m_onJobDone(id);
}

// Answers a process holds at once: while it scores one, the next waits in its pipe, so it
// does not wait while this side stores a result and takes the next answer.
constexpr size_t kAnswersAhead = 2;

void Scheduler::Serve(size_t slot) {
    WorkerProcess& worker = *m_workers[slot];
    std::deque<Task> sent;  // with the process, in the order of its replies
    for (;;) {
        std::string error;
        bool alive = true;
        while (alive && sent.size() < kAnswersAhead) {
            std::optional<Task> task = Take(sent.empty());
            if (!task) break;
            if (!StartIfNeeded(worker, *task)) continue;
            sent.push_back(std::move(*task));
            alive = worker.Send(Request(sent.back()), error);
        }
        if (sent.empty()) {
            std::lock_guard lock(m_mutex);
            if (m_stopping) return;
            continue;
        }
        std::string reply;
        if (alive && worker.Receive(reply, error)) {
            Task task = std::move(sent.front());
            sent.pop_front();
            if (!reply.empty() && reply[0] == 'R') {
                m_store.SaveResult(task.job->id, task.number, reply.substr(1));
            } else {
                m_store.SaveFailure(task.job->id, task.number, reply.empty() ? "no reply" : reply.substr(1));
            }
            Finish(task, false);
            continue;
        }
        {
            std::lock_guard lock(m_mutex);
            if (m_stopping) return;  // ended by Stop: the answers stay unscored for the next start
        }
        GiveBack(sent, error);
    }
}

bool Scheduler::StartIfNeeded(WorkerProcess& worker, const Task& task) {
    std::string error;
    if (worker.Running() || worker.Start(error)) return true;
    std::fprintf(stderr, "tavi-serve: cannot start a scoring process: %s\n", error.c_str());
    m_store.SaveFailure(task.job->id, task.number, "no scoring process could be started: " + error);
    Finish(task, false);
    return false;
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
    } else {
        m_store.SaveFailure(scoring.job->id, scoring.number, error + " (twice on this answer)");
        Finish(scoring, false);
    }
    sent.clear();
}

void Scheduler::Stop() {
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping) return;
        m_stopping = true;
    }
    m_ready.notify_all();
    for (auto& worker : m_workers)
        if (worker->Pid() > 0) kill(worker->Pid(), SIGTERM);
    for (std::thread& t : m_threads) t.join();
    m_threads.clear();
    m_workers.clear();
}

std::vector<pid_t> Scheduler::WorkerPids() {
    std::vector<pid_t> pids;
    for (auto& worker : m_workers)
        if (worker->Pid() > 0) pids.push_back(worker->Pid());
    return pids;
}

}  // namespace tavi::serve
