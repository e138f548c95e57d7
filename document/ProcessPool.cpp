#include "document/ProcessPool.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

extern char** environ;

namespace tavi {
namespace {

// Writes all of `size` bytes, waiting while the channel is full; a socket whose reader is gone
// gives an error instead of SIGPIPE.
bool WriteAll(int fd, const char* data, size_t size) {
    bool socket = true;
    while (size > 0) {
        ssize_t n = socket ? send(fd, data, size, MSG_NOSIGNAL) : write(fd, data, size);
        if (n < 0 && errno == ENOTSOCK && socket) {
            socket = false;
            continue;
        }
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

std::string Header(size_t size) {
    uint32_t length = static_cast<uint32_t>(size);
    return std::string(reinterpret_cast<const char*>(&length), 4);
}

// Takes the first whole frame out of `input`. False when none is complete; `broken` is set
// when the length cannot be a frame's.
bool TakeFrame(std::string& input, std::string& frame, bool& broken) {
    if (input.size() < 4) return false;
    uint32_t size;
    std::memcpy(&size, input.data(), 4);
    broken = size > kMaxFrameBytes;
    if (broken || input.size() - 4 < size) return false;
    frame.assign(input, 4, size);
    input.erase(0, 4 + static_cast<size_t>(size));
    return true;
}

std::string DescribeEnd(const std::string& name, int status) {
    if (WIFSIGNALED(status)) return name + " was killed by signal " + std::to_string(WTERMSIG(status));
    return name + " ended with status " + std::to_string(WEXITSTATUS(status));
}

}  // namespace

bool WriteFrame(int fd, std::string_view bytes) {
    if (bytes.size() > kMaxFrameBytes) return false;
    std::string header = Header(bytes.size());
    return WriteAll(fd, header.data(), 4) && WriteAll(fd, bytes.data(), bytes.size());
}

bool ReadFrame(int fd, std::string& bytes) {
    uint32_t size;
    if (!ReadAll(fd, reinterpret_cast<char*>(&size), 4) || size > kMaxFrameBytes) return false;
    bytes.resize(size);
    return ReadAll(fd, bytes.data(), size);
}

int ServeRequests(int fd, const std::function<std::string(const std::string&)>& handle) {
    for (std::string request; ReadFrame(fd, request);)
        if (!WriteFrame(fd, handle(request))) return 1;
    return 0;
}

ProcessPool::ProcessPool(WorkerLaunch launch, size_t slots) : m_launch(std::move(launch)) {
    for (size_t k = 0; k < slots; ++k) m_slots.push_back(std::make_unique<Slot>());
}

ProcessPool::~ProcessPool() {
    EndAll();
    for (auto& slot : m_slots) Reap(*slot);
}

pid_t ProcessPool::Pid(size_t slot) const {
    std::lock_guard lock(m_pidMutex);
    return m_slots[slot]->pid;
}

void ProcessPool::EndAll() {
    std::lock_guard lock(m_pidMutex);
    m_ending = true;
    for (auto& slot : m_slots)
        if (slot->pid > 0) kill(slot->pid, SIGTERM);
}

bool ProcessPool::Start(Slot& slot, std::string& error) {
    {
        std::lock_guard lock(m_pidMutex);
        if (m_ending) {
            error = m_launch.name + " is not started again: the pool is ending";
            return false;
        }
    }
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        error = "cannot make a channel for " + m_launch.name + ": " + std::strerror(errno);
        return false;
    }
    pid_t pid = -1;
    int rc = 0;
    if (m_launch.body) {
        std::fflush(nullptr);  // what the child would otherwise write a second time
        pid = fork();
        rc = pid < 0 ? errno : 0;
        if (pid == 0) {
            close(ends[0]);
            for (auto& other : m_slots)
                if (other->fd >= 0) close(other->fd);
            sigset_t none;
            sigemptyset(&none);
            pthread_sigmask(SIG_SETMASK, &none, nullptr);
            // _exit: the child must not run the caller's exit handlers or flush its buffers.
            _exit(m_launch.body(ends[1]));
        }
    } else {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
        // The caller may block or ignore signals (a server takes SIGTERM in one thread): the
        // process starts with none blocked and the usual ones at their defaults.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t none, defaults;
        sigemptyset(&none);
        sigemptyset(&defaults);
        for (int s : {SIGPIPE, SIGTERM, SIGINT, SIGHUP}) sigaddset(&defaults, s);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        std::vector<char*> argv = {const_cast<char*>(m_launch.program.c_str())};
        for (const std::string& a : m_launch.arguments) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        rc = posix_spawn(&pid, m_launch.program.c_str(), &actions, &attributes, argv.data(), environ);
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
    }
    close(ends[1]);
    if (rc != 0) {
        close(ends[0]);
        error = "cannot start " + m_launch.name + " (" + (m_launch.body ? std::string("fork") : m_launch.program) +
                "): " + std::strerror(rc);
        return false;
    }
    fcntl(ends[0], F_SETFL, fcntl(ends[0], F_GETFL) | O_NONBLOCK);
    {
        std::lock_guard lock(m_pidMutex);
        slot.pid = pid;
        if (m_ending) kill(pid, SIGTERM);  // EndAll came while it was being started
    }
    slot.fd = ends[0];
    slot.input.clear();
    return true;
}

bool ProcessPool::Send(size_t index, std::string_view request, std::string& error) {
    Slot& slot = *m_slots[index];
    if (request.size() > kMaxFrameBytes) {
        error = "a request of " + std::to_string(request.size()) + " bytes is larger than a frame may be";
        return false;
    }
    // A process that died with requests not yet reported takes this one too: Receive
    // reports them all before a new process starts.
    if (slot.fd < 0 && slot.pending == 0 && !Start(slot, error)) return false;
    ++slot.pending;
    std::string header = Header(request.size());
    const std::string_view parts[] = {header, request};
    for (std::string_view part : parts) {
        while (slot.fd >= 0 && !part.empty()) {
            ssize_t n = send(slot.fd, part.data(), part.size(), MSG_NOSIGNAL);
            if (n > 0) {
                part.remove_prefix(static_cast<size_t>(n));
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                // Full: take its replies meanwhile, so that neither side waits for the other.
                pollfd p{slot.fd, POLLIN | POLLOUT, 0};
                if (poll(&p, 1, -1) > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR)) &&
                    ReadSome(slot) == Arrival::kEnd)
                    slot.death = Reap(slot);
            } else {
                slot.death = Reap(slot);
            }
        }
    }
    return true;
}

ProcessPool::Arrival ProcessPool::ReadSome(Slot& slot) {
    constexpr size_t kChunk = 65536;
    size_t had = slot.input.size();
    slot.input.resize(had + kChunk);
    ssize_t n;
    do {
        n = read(slot.fd, slot.input.data() + had, kChunk);
    } while (n < 0 && errno == EINTR);
    slot.input.resize(had + static_cast<size_t>(std::max<ssize_t>(n, 0)));
    if (n > 0) return Arrival::kData;
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) ? Arrival::kNone : Arrival::kEnd;
}

ProcessPool::Outcome ProcessPool::Receive(size_t index, std::string& reply, int timeoutMs) {
    Slot& slot = *m_slots[index];
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        bool broken = false;
        if (slot.pending > 0 && TakeFrame(slot.input, reply, broken)) {
            --slot.pending;
            return Outcome::kReply;
        }
        if (broken) slot.death = Discard(slot, "sent a broken reply");
        if (slot.fd < 0) {
            reply = slot.death.empty() ? m_launch.name + " is not running" : slot.death;
            slot.pending = 0;
            slot.input.clear();
            slot.death.clear();
            return Outcome::kDied;
        }
        int wait = -1;
        if (timeoutMs >= 0) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            wait = static_cast<int>(std::max<long long>(left.count(), 0));
        }
        pollfd p{slot.fd, POLLIN, 0};
        int ready = poll(&p, 1, wait);
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) return Outcome::kTimeout;
        if (ready < 0 || ReadSome(slot) == Arrival::kEnd)
            slot.death = Reap(slot);  // what arrived before is still taken
    }
}

std::string ProcessPool::Reap(Slot& slot) {
    // Replies that arrived before the end are still taken.
    while (slot.fd >= 0 && ReadSome(slot) == Arrival::kData) {
    }
    if (slot.fd >= 0) close(slot.fd);
    slot.fd = -1;
    pid_t pid;
    {
        std::lock_guard lock(m_pidMutex);
        pid = slot.pid;
    }
    if (pid <= 0) return m_launch.name + " is not running";
    // Waits for the end without reaping, so that the pid stays the process's until it is
    // cleared under the lock that signals are sent under.
    siginfo_t info{};
    while (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
    }
    int status = 0;
    {
        std::lock_guard lock(m_pidMutex);
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        slot.pid = -1;
    }
    return DescribeEnd(m_launch.name, status);
}

std::string ProcessPool::Discard(Slot& slot, const std::string& why) {
    {
        std::lock_guard lock(m_pidMutex);
        if (slot.pid > 0) kill(slot.pid, SIGKILL);
    }
    Reap(slot);
    return m_launch.name + " " + why;
}

}  // namespace tavi
