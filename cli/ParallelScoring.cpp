#include "cli/ParallelScoring.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "report/RecordCodec.h"

namespace tavi {
namespace {

bool WriteAll(int fd, const std::string& bytes) {
    for (size_t done = 0; done < bytes.size();) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Records a worker gathers before writing them: fewer, larger writes wake the parent less
// often while both workers keep the processor busy.
constexpr size_t kWorkerBatchBytes = 16384;
// Pipe capacity asked for, so that a worker seldom waits while this process scores an answer.
constexpr int kPipeBytes = 1 << 20;

// The position of the next answer to score, shared by all processes: each takes the next
// one when it is free, so a process that the machine slows down does not finish last with
// a fixed share still to do.
using SharedCounter = std::atomic<size_t>;
static_assert(SharedCounter::is_always_lock_free, "the counter is shared between processes");

// A worker: scores answers until none is left and writes each record as its 4-byte answer
// index, 4-byte length and encoding. Never returns.
[[noreturn]] void RunWorker(CTaviDoc& doc, const std::vector<int>& answers, SharedCounter& next, int fd) {
    doc.SetListView(nullptr);
    std::string batch;
    for (size_t k; (k = next.fetch_add(1, std::memory_order_relaxed)) < answers.size();) {
        doc.ScoreSelected({answers[k]});
        std::string record = EncodeRecord(doc.GetAnswer(answers[k]));
        uint32_t size = static_cast<uint32_t>(record.size());
        int32_t index = answers[k];
        batch.append(reinterpret_cast<const char*>(&index), 4);
        batch.append(reinterpret_cast<const char*>(&size), 4);
        batch += record;
        if (batch.size() >= kWorkerBatchBytes) {
            if (!WriteAll(fd, batch)) _exit(1);
            batch.clear();
        }
    }
    if (!WriteAll(fd, batch)) _exit(1);
    close(fd);
    _exit(0);
}

// The workers seen from this process: their pipes, and the records taken from them.
class Workers {
public:
    Workers(CTaviDoc& doc, const std::vector<int>& answers, SharedCounter& next, std::vector<bool>& delivered,
            const std::function<void()>& onDelivered)
        : m_doc(doc),
          m_answers(answers),
          m_next(next),
          m_delivered(delivered),
          m_onDelivered(onDelivered),
          m_position(static_cast<size_t>(doc.GetAnswerCount()) + 1, SIZE_MAX) {
        for (size_t k = 0; k < answers.size(); ++k) m_position[answers[k]] = k;
    }

    ~Workers() {
        for (Channel& c : m_channels) {
            if (c.fd >= 0) close(c.fd);
            while (waitpid(c.pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }
    }

    // Starts a worker; false when no process could be started.
    bool Start() {
        int fds[2];
        if (pipe(fds) != 0) return false;
        fcntl(fds[1], F_SETPIPE_SZ, kPipeBytes);  // a hint: the default size also works
        std::fflush(nullptr);
        pid_t pid = fork();
        if (pid < 0) {
            close(fds[0]);
            close(fds[1]);
            return false;
        }
        if (pid == 0) {
            close(fds[0]);
            for (const Channel& c : m_channels) close(c.fd);
            RunWorker(m_doc, m_answers, m_next, fds[1]);
        }
        close(fds[1]);
        m_channels.push_back({fds[0], pid, {}});
        return true;
    }

    bool AnyOpen() const {
        for (const Channel& c : m_channels)
            if (c.fd >= 0) return true;
        return false;
    }

    // Takes the records that have arrived, waiting up to timeoutMs (-1: until something
    // arrives or every worker has finished).
    void Receive(int timeoutMs) {
        std::vector<pollfd> fds;
        std::vector<Channel*> polled;
        for (Channel& c : m_channels)
            if (c.fd >= 0) {
                fds.push_back({c.fd, POLLIN, 0});
                polled.push_back(&c);
            }
        if (fds.empty()) return;
        int ready = poll(fds.data(), fds.size(), timeoutMs);
        if (ready < 0 && errno != EINTR) {
            // Cannot wait for the workers: what they have not delivered is scored here.
            for (Channel* c : polled) {
                close(c->fd);
                c->fd = -1;
            }
            return;
        }
        if (ready <= 0) return;
        for (size_t p = 0; p < fds.size(); ++p)
            if (fds[p].revents != 0) ReadFrom(*polled[p]);
    }

private:
    struct Channel {
        int fd = -1;
        pid_t pid = -1;
        std::string buffer;
    };

    void ReadFrom(Channel& c) {
        char chunk[65536];
        ssize_t n = read(c.fd, chunk, sizeof chunk);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
        if (n <= 0) {
            close(c.fd);
            c.fd = -1;
            return;
        }
        c.buffer.append(chunk, static_cast<size_t>(n));
        size_t used = 0;  // bytes of whole records taken from the buffer
        while (c.buffer.size() - used >= 8) {
            int32_t index;
            uint32_t size;
            std::memcpy(&index, c.buffer.data() + used, 4);
            std::memcpy(&size, c.buffer.data() + used + 4, 4);
            if (c.buffer.size() - used - 8 < size) break;
            EssayRecord record;
            if (index >= 0 && index < m_doc.GetAnswerCount() && m_position[index] != SIZE_MAX &&
                !m_delivered[m_position[index]] && DecodeRecord(c.buffer.substr(used + 8, size), record) &&
                m_doc.AdoptScoredRecord(index, record)) {
                m_delivered[m_position[index]] = true;
                m_onDelivered();
            }
            used += 8 + static_cast<size_t>(size);
        }
        c.buffer.erase(0, used);
    }

    CTaviDoc& m_doc;
    const std::vector<int>& m_answers;
    SharedCounter& m_next;
    std::vector<bool>& m_delivered;
    const std::function<void()>& m_onDelivered;
    std::vector<size_t> m_position;  // answer index to its position in the answers given
    std::vector<Channel> m_channels;
};

}  // namespace

void ScoreInProcesses(CTaviDoc& doc, const std::vector<int>& answers, int jobs,
                      const std::function<void(size_t)>& progress) {
    size_t done = 0;
    std::vector<bool> delivered(answers.size(), false);
    std::function<void()> onDelivered = [&] { progress(++done); };
    auto scoreHere = [&](size_t k) {
        doc.ScoreSelected({answers[k]});
        delivered[k] = true;
        onDelivered();
    };

    // This process is one of the `jobs`: it is already warmed up, where a new process first
    // has to bring the analyser's dictionary and the model into its own memory.
    const size_t processes = std::min<size_t>(static_cast<size_t>(std::max(jobs, 1)), answers.size());
    const size_t children = processes > 1 ? processes - 1 : 0;
    void* shared = MAP_FAILED;
    if (children > 0)
        shared = mmap(nullptr, sizeof(SharedCounter), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared != MAP_FAILED) {
        SharedCounter& next = *new (shared) SharedCounter(0);
        {
            Workers workers(doc, answers, next, delivered, onDelivered);
            for (size_t w = 0; w < children; ++w)
                if (!workers.Start()) break;
            for (size_t k; (k = next.fetch_add(1, std::memory_order_relaxed)) < answers.size();) {
                scoreHere(k);
                workers.Receive(0);
            }
            while (workers.AnyOpen()) workers.Receive(-1);
        }
        munmap(shared, sizeof(SharedCounter));
    }
    // Answers that no worker delivered (one died, or none could be started) are scored here.
    for (size_t k = 0; k < answers.size(); ++k)
        if (!delivered[k]) scoreHere(k);
}

}  // namespace tavi
