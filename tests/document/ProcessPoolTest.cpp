// Worker processes over framed channels: frames of every size, replies in order, processes
// that die or break their stream, started by fork and by starting a program.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "document/ProcessPool.h"

namespace tavi::test {
namespace {

// Requests of the test workers: "pid" gives the process id, "die" kills the process,
// "exit" ends it with status 3, "wait" answers once a byte arrives on `gate`, "broken"
// writes a length no frame has; anything else is answered with itself reversed.
struct TestWorker {
    int gate = -1;
    int operator()(int fd) const {
        return ServeRequests(fd, [&](const std::string& request) -> std::string {
            if (request == "pid") return std::to_string(getpid());
            if (request == "die") raise(SIGKILL);
            if (request == "exit") _exit(3);
            if (request == "wait") {
                char byte;
                if (read(gate, &byte, 1) != 1) _exit(4);
            }
            if (request == "broken") {
                uint32_t huge = 0xFFFFFFFFu;
                if (write(fd, &huge, 4) != 4) _exit(4);
                pause();
            }
            return std::string(request.rbegin(), request.rend());
        });
    }
};

WorkerLaunch Forked(int gate = -1) {
    WorkerLaunch launch;
    launch.body = TestWorker{gate};
    launch.name = "the test worker";
    return launch;
}

std::string Reversed(const std::string& s) { return std::string(s.rbegin(), s.rend()); }

std::string Pattern(size_t size) {
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>(i * 131 + i / 7);
    return s;
}

std::string Ask(ProcessPool& pool, size_t slot, const std::string& request) {
    std::string error, reply;
    EXPECT_TRUE(pool.Send(slot, request, error)) << error;
    EXPECT_EQ(pool.Receive(slot, reply), ProcessPool::Outcome::kReply) << reply;
    return reply;
}

TEST(Frames, OfEverySizeOverOneChannel) {
    int ends[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    // Larger than the channel holds, so that the writer waits for the reader.
    const std::vector<size_t> sizes = {0, 1, 3, 4, 65535, 65536, 3u << 20};
    std::thread writer([&] {
        for (size_t size : sizes) EXPECT_TRUE(WriteFrame(ends[0], Pattern(size)));
        close(ends[0]);
    });
    std::string frame;
    for (size_t size : sizes) {
        ASSERT_TRUE(ReadFrame(ends[1], frame));
        EXPECT_EQ(frame, Pattern(size)) << size;
    }
    EXPECT_FALSE(ReadFrame(ends[1], frame));  // the end of the stream
    writer.join();
    close(ends[1]);
}

TEST(Frames, ALengthBeyondTheLimitIsABrokenStream) {
    int ends[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    uint32_t length = kMaxFrameBytes + 1;
    ASSERT_EQ(write(ends[0], &length, 4), 4);
    std::string frame;
    EXPECT_FALSE(ReadFrame(ends[1], frame));
    // Half a frame is no frame either.
    length = 10;
    ASSERT_EQ(write(ends[0], &length, 4), 4);
    ASSERT_EQ(write(ends[0], "abc", 3), 3);
    close(ends[0]);
    EXPECT_FALSE(ReadFrame(ends[1], frame));
    close(ends[1]);
}

TEST(ProcessPool, ManyRequestsInFlightAreAnsweredInOrder) {
    ProcessPool pool(Forked(), 2);
    std::string error, reply;
    // Requests and replies of 2 MiB, two of them in flight to one worker at once: the pool
    // takes replies while it writes, or the two processes would wait for each other for ever
    // (the alarm ends the test then).
    alarm(120);
    std::vector<std::string> requests;
    for (size_t k = 0; k < 600; ++k) requests.push_back(Pattern(k % 50 < 3 ? (2u << 20) + k : k));
    size_t next = 0, answered = 0;
    while (answered < requests.size()) {
        while (next < requests.size() && pool.Pending(next % 2) < 8) {
            ASSERT_TRUE(pool.Send(next % 2, requests[next], error)) << error;
            ++next;
        }
        ASSERT_EQ(pool.Receive(answered % 2, reply), ProcessPool::Outcome::kReply) << reply;
        ASSERT_EQ(reply, Reversed(requests[answered])) << answered;
        ++answered;
    }
    alarm(0);
    EXPECT_EQ(pool.Pending(0) + pool.Pending(1), 0u);
    EXPECT_NE(Ask(pool, 0, "pid"), Ask(pool, 1, "pid"));
}

TEST(ProcessPool, AProcessThatDiesIsReportedWithItsRequestsAndReplaced) {
    ProcessPool pool(Forked(), 1);
    std::string error, reply;
    std::string first = Ask(pool, 0, "pid");
    for (const char* request : {"ab", "die", "cd", "ef"}) ASSERT_TRUE(pool.Send(0, request, error)) << error;
    ASSERT_EQ(pool.Receive(0, reply), ProcessPool::Outcome::kReply);
    EXPECT_EQ(reply, "ba");
    // The three requests from "die" on are given up together.
    EXPECT_EQ(pool.Pending(0), 3u);
    ASSERT_EQ(pool.Receive(0, reply), ProcessPool::Outcome::kDied);
    EXPECT_EQ(reply, "the test worker was killed by signal 9");
    EXPECT_EQ(pool.Pending(0), 0u);
    EXPECT_FALSE(pool.Running(0));
    // The next request starts a new process.
    std::string second = Ask(pool, 0, "pid");
    EXPECT_NE(second, first);
    EXPECT_EQ(Ask(pool, 0, "gh"), "hg");

    ASSERT_TRUE(pool.Send(0, "exit", error));
    ASSERT_EQ(pool.Receive(0, reply), ProcessPool::Outcome::kDied);
    EXPECT_EQ(reply, "the test worker ended with status 3");
}

TEST(ProcessPool, AProcessThatBreaksItsStreamIsEnded) {
    ProcessPool pool(Forked(), 1);
    std::string error, reply;
    std::string pid = Ask(pool, 0, "pid");
    ASSERT_TRUE(pool.Send(0, "broken", error));
    ASSERT_EQ(pool.Receive(0, reply), ProcessPool::Outcome::kDied);
    EXPECT_EQ(reply, "the test worker sent a broken reply");
    EXPECT_NE(kill(std::stoi(pid), 0), 0) << "the process was left running";
    EXPECT_EQ(Ask(pool, 0, "x"), "x");
}

TEST(ProcessPool, ReceiveWaitsNoLongerThanAsked) {
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    ProcessPool pool(Forked(gate[0]), 1);
    std::string error, reply;
    ASSERT_TRUE(pool.Send(0, "wait", error));
    EXPECT_EQ(pool.Receive(0, reply, 0), ProcessPool::Outcome::kTimeout);
    EXPECT_EQ(pool.Receive(0, reply, 20), ProcessPool::Outcome::kTimeout);
    EXPECT_EQ(pool.Pending(0), 1u);
    ASSERT_EQ(write(gate[1], "g", 1), 1);
    ASSERT_EQ(pool.Receive(0, reply), ProcessPool::Outcome::kReply);
    EXPECT_EQ(reply, "tiaw");
    close(gate[0]);
    close(gate[1]);
}

// As a server stops: another thread ends the processes while their threads wait for replies.
TEST(ProcessPool, EndAllEndsTheProcessesAndStartsNoOther) {
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    ProcessPool pool(Forked(gate[0]), 2);
    std::string error;
    for (size_t slot : {0, 1}) ASSERT_TRUE(pool.Send(slot, "wait", error)) << error;
    std::vector<std::string> replies(2);
    std::vector<ProcessPool::Outcome> outcomes(2);
    std::vector<std::thread> threads;
    for (size_t slot : {0, 1}) threads.emplace_back([&, slot] { outcomes[slot] = pool.Receive(slot, replies[slot]); });
    pool.EndAll();
    for (std::thread& t : threads) t.join();
    for (size_t slot : {0, 1}) {
        EXPECT_EQ(outcomes[slot], ProcessPool::Outcome::kDied);
        EXPECT_EQ(replies[slot], "the test worker was killed by signal 15");
        EXPECT_EQ(pool.Pid(slot), -1);
    }
    EXPECT_FALSE(pool.Send(0, "x", error));
    EXPECT_NE(error.find("not started again"), std::string::npos) << error;
    close(gate[0]);
    close(gate[1]);
}

// Started as a program: cat sends every frame back as it came.
TEST(ProcessPool, StartsAProgramWithItsChannelOnStandardInputAndOutput) {
    WorkerLaunch launch;
    launch.program = "/bin/cat";
    launch.name = "cat";
    ProcessPool pool(launch, 1);
    EXPECT_EQ(Ask(pool, 0, ""), "");
    EXPECT_EQ(Ask(pool, 0, Pattern(1u << 20)), Pattern(1u << 20));
    pid_t pid = pool.Pid(0);
    ASSERT_GT(pid, 0);
    // Its signals are at their defaults even where the caller blocks them.
    sigset_t term, old;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &term, &old);
    ProcessPool blocked(launch, 1);
    EXPECT_EQ(Ask(blocked, 0, "x"), "x");
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    kill(blocked.Pid(0), SIGTERM);
    std::string reply, error;
    ASSERT_TRUE(blocked.Send(0, "y", error));
    EXPECT_EQ(blocked.Receive(0, reply), ProcessPool::Outcome::kDied);
    EXPECT_EQ(reply, "cat was killed by signal 15");

    launch.program = "/nonexistent/worker";
    ProcessPool missing(launch, 1);
    EXPECT_FALSE(missing.Send(0, "x", error));
    EXPECT_NE(error.find("/nonexistent/worker"), std::string::npos) << error;
    EXPECT_EQ(missing.Pending(0), 0u);
}

}  // namespace
}  // namespace tavi::test
