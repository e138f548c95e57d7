#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tavi {

// Frames on a pool's channels: a 4-byte length in the host's byte order (both ends are the
// same program), then that many bytes. A longer frame than this is taken for a broken stream.
constexpr uint32_t kMaxFrameBytes = 1u << 30;

// Writes one frame to `fd`, waiting while the channel is full. False when the other end is gone.
bool WriteFrame(int fd, std::string_view bytes);
// Reads one frame from `fd`, waiting for it. False at the end of the stream or on a broken frame.
bool ReadFrame(int fd, std::string& bytes);

// The loop of a worker process: reads each request from `fd`, writes back what `handle` returns
// for it, until the stream ends. Returns the process's exit status: 0 at the end of the
// stream, 1 when a reply cannot be written.
int ServeRequests(int fd, const std::function<std::string(const std::string& request)>& handle);

// How a pool starts its processes: by fork, the child running `body`, or by starting `program`.
struct WorkerLaunch {
    // Run in a forked child with its end of the channel; its result is the child's exit status.
    // The child holds a copy of the caller's memory, so the caller must have one thread only.
    std::function<int(int fd)> body;
    // Without a body: the program started with `arguments`, its channel on standard input and
    // standard output, signals at their defaults.
    std::string program;
    std::vector<std::string> arguments;
    // The process as messages name it, e.g. "the scoring process".
    std::string name = "the worker process";
};

// Worker processes, each fed over a channel of its own (a Unix stream socket) with requests
// that it answers one after the other, replies in the order of the requests. A process that
// dies is replaced at the next request sent to its slot; the requests it had not answered are
// reported, the first of them being the one it was working on.
//
// Threads: the operations on one slot (Send, Receive, Pending, Running) are called by one
// thread at a time; different slots may be used by different threads at once. Pid and EndAll
// may be called from any thread.
class ProcessPool {
public:
    ProcessPool(WorkerLaunch launch, size_t slots);
    // Ends every process (SIGTERM, then waits for it).
    ~ProcessPool();
    ProcessPool(const ProcessPool&) = delete;
    ProcessPool& operator=(const ProcessPool&) = delete;

    size_t Size() const { return m_slots.size(); }

    // Sends a request to the slot's process, starting it first when it is not running. False
    // with `error` when no process could be started or the request is larger than a frame
    // (the request is then not sent). A process
    // that dies while the request is written has it still counted as sent: Receive reports it.
    bool Send(size_t slot, std::string_view request, std::string& error);

    enum class Outcome { kReply, kTimeout, kDied };
    // Waits up to `timeoutMs` (-1: as long as it takes) for the reply to the slot's oldest
    // request not yet answered; call only while Pending(slot) > 0. kDied: the process ended,
    // `reply` says how, and none of the pending requests will be answered (Pending is then 0).
    Outcome Receive(size_t slot, std::string& reply, int timeoutMs = -1);

    // Requests sent to the slot and not yet answered.
    size_t Pending(size_t slot) const { return m_slots[slot]->pending; }
    bool Running(size_t slot) const { return m_slots[slot]->fd >= 0; }
    // The slot's process, or -1.
    pid_t Pid(size_t slot) const;
    // Sends SIGTERM to every process and starts none from now on: Send then fails. Their
    // threads learn of it through Receive.
    void EndAll();

private:
    struct Slot {
        pid_t pid = -1;     // under m_pidMutex
        int fd = -1;        // this end of the channel, non-blocking
        std::string input;  // bytes received and not yet taken as replies
        size_t pending = 0;
        std::string death;  // how the process ended, until Receive reports it
    };
    bool Start(Slot& slot, std::string& error);
    // Reads what has arrived, without waiting.
    enum class Arrival { kData, kNone, kEnd };
    Arrival ReadSome(Slot& slot);
    // Closes the channel and waits for the process; how it ended.
    std::string Reap(Slot& slot);
    // Kills a process that broke its stream and reaps it.
    std::string Discard(Slot& slot, const std::string& why);

    WorkerLaunch m_launch;
    std::vector<std::unique_ptr<Slot>> m_slots;
    mutable std::mutex m_pidMutex;  // the pids, for signals sent from other threads
    bool m_ending = false;          // under m_pidMutex
};

}  // namespace tavi
