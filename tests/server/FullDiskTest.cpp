// tavi-serve over HTTP with its data folder on a small tmpfs that the test fills.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

#include "server/ServerHarness.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace tavi::test {
namespace {

constexpr const char* kFull = "サーバーのディスクがいっぱいです。空きができると採点を自動で再開します。";

// A tmpfs of `megabytes` mounted on `path` for the test's life.
struct SmallDisk {
    SmallDisk(const fs::path& at, int megabytes) : path(at) {
        fs::create_directories(path);
        std::string options = "size=" + std::to_string(megabytes) + "m,mode=0700";
        if (mount("tmpfs", path.c_str(), "tmpfs", 0, options.c_str()) == 0) {
            mounted = true;
        } else {
            why = std::strerror(errno);
        }
    }
    ~SmallDisk() {
        if (mounted) umount2(path.c_str(), MNT_DETACH);
    }
    // Writes a file until the disk is full.
    void Fill() {
        int fd = open((path / "filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        std::string chunk(1 << 16, 'x');
        for (size_t size = chunk.size(); size > 0; size /= 2)
            while (write(fd, chunk.data(), size) == static_cast<ssize_t>(size)) {
            }
        close(fd);
    }
    void Free() { fs::remove(path / "filler"); }
    fs::path path;
    bool mounted = false;
    std::string why;
};

// Why the job's scoring is paused; empty when it is not.
std::string Paused(const json& job) {
    return job.is_object() && job.contains("paused") && job["paused"].is_string() ? job["paused"].get<std::string>()
                                                                                  : "";
}

// Polls the job until `done` says so, for at most `seconds`; its last state.
template <typename Until>
json Poll(Teacher& t, const std::string& id, Until done, int seconds = 120) {
    json job;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        job = t.Json("/api/jobs/" + id);
        if (job.is_null() || done(job)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return job;
}

// A full disk pauses scoring, with the cause on the job page and in the log; the server keeps
// answering, survives a restart while the disk is full, and the job finishes by itself once
// space is freed, with nothing failed and the results of tavi-score.
TEST(FullDisk, PausesScoringUntilSpaceIsFreed) {
    TempFolder temp;
    // The data folder is the tmpfs; the log beside it stays on the ordinary disk.
    SmallDisk disk(temp.path / "data", 48);
    if (!disk.mounted) GTEST_SKIP() << "cannot mount a tmpfs for the data folder (" << disk.why << "); root is needed";
    const fs::path& data = disk.path;
    ASSERT_TRUE(AddUser(data, "sato", kPassword));

    // 390 answers, each sample thirty times (enough that the job is still running when the disk
    // fills), written also beside the data for tavi-score.
    fs::path answers = temp.path / "answers";
    fs::create_directories(answers);
    httplib::MultipartFormDataItems items = {
        {"question", ReadFile(fs::path(TAVI_SAMPLES_DIR) / "question.txt"), "question.txt", "text/plain"}};
    std::vector<fs::path> samples;
    for (const auto& e : fs::directory_iterator(fs::path(TAVI_SAMPLES_DIR) / "answers"))
        if (e.path().extension() == ".txt") samples.push_back(e.path());
    std::sort(samples.begin(), samples.end());
    for (int round = 0; round < 30; ++round)
        for (const fs::path& sample : samples) {
            std::string name = (round < 10 ? "r0" : "r") + std::to_string(round) + "_" + sample.filename().string();
            fs::copy_file(sample, answers / name);
            items.push_back({"answers", ReadFile(sample), name, "text/plain"});
        }
    const int total = static_cast<int>(items.size()) - 1;

    std::string id;
    Teacher::Session session;
    {
        ServerProcess server(data, {"--jobs", "1"});
        Teacher sato(server.port, "sato", kPassword);
        session = {sato.cookie, sato.csrf};
        auto created = sato.Upload(items);
        ASSERT_TRUE(created && created->status == 201) << (created ? created->body : "no response");
        id = json::parse(created->body)["id"];
        ASSERT_EQ(sato.Post("/api/jobs/" + id + "/start")->status, 202);
        ASSERT_GE(Poll(sato, id, [](const json& j) { return j.value("scored", 0) >= 2; })["scored"], 2);

        disk.Fill();
        json job = Poll(sato, id, [](const json& j) { return !Paused(j).empty() || j.value("state", "") == "done"; });
        ASSERT_EQ(Paused(job), kFull) << job.dump();
        EXPECT_LT(job["scored"], total);
        EXPECT_EQ(job["failed"], 0);
        EXPECT_NE(job["state"], "done");
        // Still answering: the job list, the job page with the cause, the answers.
        json jobs = sato.Json("/api/jobs");
        ASSERT_EQ(jobs.size(), 1u);
        EXPECT_EQ(Paused(jobs[0]), kFull);
        auto page = sato.Get("/jobs/" + id);
        ASSERT_TRUE(page);
        EXPECT_EQ(page->status, 200);
        EXPECT_NE(page->body.find(kFull), std::string::npos);
        EXPECT_EQ(sato.Json("/api/jobs/" + id + "/answers").size(), static_cast<size_t>(total));
        EXPECT_NE(ReadFile(temp.path / "data.log").find(std::string("scoring paused: ") + kFull), std::string::npos);

        // A stop while paused ends the server promptly and cleanly.
        auto stopping = std::chrono::steady_clock::now();
        int status = server.Kill(SIGTERM);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_LT(std::chrono::steady_clock::now() - stopping, std::chrono::seconds(10));
    }

    // Started again on the full disk, it serves and the job pauses again.
    ServerProcess server(data, {"--jobs", "1"});
    Teacher sato(server.port, session);
    json job = Poll(sato, id, [](const json& j) { return !Paused(j).empty() || j.value("state", "") == "done"; });
    ASSERT_EQ(Paused(job), kFull) << job.dump();
    EXPECT_EQ(job["failed"], 0);

    disk.Free();
    job = sato.WaitDone(id);
    ASSERT_EQ(job["state"], "done");
    EXPECT_TRUE(job.contains("paused") && job["paused"].is_null());
    EXPECT_EQ(job["scored"], total);
    EXPECT_EQ(job["failed"], 0);
    std::string csv = sato.Get("/api/jobs/" + id + "/results.csv")->body;
    EXPECT_EQ(WithoutPaths(csv), WithoutPaths(TaviScoreCsv(fs::path(TAVI_SAMPLES_DIR) / "question.txt", answers)));
    EXPECT_NE(ReadFile(temp.path / "data.log").find("scoring resumed"), std::string::npos);
}

}  // namespace
}  // namespace tavi::test
