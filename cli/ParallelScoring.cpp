#include "cli/ParallelScoring.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/RecordCodec.h"

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

// A worker: scores every jobs-th answer starting at `first` and writes each record as its
// 4-byte answer index, 4-byte length and encoding. Never returns.
[[noreturn]] void RunWorker(CTaviDoc& doc, const std::vector<int>& answers, size_t first, size_t jobs, int fd) {
    doc.SetListView(nullptr);
    std::string batch;
    for (size_t k = first; k < answers.size(); k += jobs) {
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

struct Channel {
    int fd = -1;
    pid_t pid = -1;
    std::string buffer;
};

}  // namespace

void ScoreInProcesses(CTaviDoc& doc, const std::vector<int>& answers, int jobs,
                      const std::function<void(size_t)>& progress) {
    size_t done = 0;
    std::vector<bool> delivered(answers.size(), false);
    size_t workers = jobs > 1 ? std::min<size_t>(static_cast<size_t>(jobs), answers.size()) : 0;
    if (workers > 1) {
        std::vector<Channel> channels;
        std::fflush(nullptr);
        for (size_t w = 0; w < workers; ++w) {
            int fds[2];
            if (pipe(fds) != 0) break;
            pid_t pid = fork();
            if (pid < 0) {
                close(fds[0]);
                close(fds[1]);
                break;
            }
            if (pid == 0) {
                close(fds[0]);
                for (const Channel& c : channels) close(c.fd);
                RunWorker(doc, answers, w, workers, fds[1]);
            }
            close(fds[1]);
            channels.push_back({fds[0], pid, {}});
        }
        // Workers that could not be started leave their answers to this process.
        std::vector<size_t> position(static_cast<size_t>(doc.GetAnswerCount()) + 1, SIZE_MAX);
        for (size_t k = 0; k < answers.size(); ++k) position[answers[k]] = k;
        size_t open = channels.size();
        while (open > 0) {
            std::vector<pollfd> fds;
            std::vector<Channel*> polled;
            for (Channel& c : channels)
                if (c.fd >= 0) {
                    fds.push_back({c.fd, POLLIN, 0});
                    polled.push_back(&c);
                }
            if (poll(fds.data(), fds.size(), -1) < 0) {
                if (errno == EINTR) continue;
                break;
            }
            for (size_t p = 0; p < fds.size(); ++p) {
                if (fds[p].revents == 0) continue;
                Channel& c = *polled[p];
                char chunk[65536];
                ssize_t n = read(c.fd, chunk, sizeof chunk);
                if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
                if (n <= 0) {
                    close(c.fd);
                    c.fd = -1;
                    --open;
                    continue;
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
                    if (index >= 0 && index < doc.GetAnswerCount() && position[index] != SIZE_MAX &&
                        DecodeRecord(c.buffer.substr(used + 8, size), record) && doc.AdoptScoredRecord(index, record)) {
                        delivered[position[index]] = true;
                        progress(++done);
                    }
                    used += 8 + static_cast<size_t>(size);
                }
                c.buffer.erase(0, used);
            }
        }
        for (const Channel& c : channels) {
            int status;
            while (waitpid(c.pid, &status, 0) < 0 && errno == EINTR) {
            }
        }
    }
    for (size_t k = 0; k < answers.size(); ++k) {
        if (delivered[k]) continue;
        doc.ScoreSelected({answers[k]});
        progress(++done);
    }
}

}  // namespace tavi
