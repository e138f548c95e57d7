#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "analysis/Encoding.h"
#include "cli/ParallelScoring.h"
#include "fakes/SampleRun.h"
#include "fakes/TestSupport.h"

namespace tavi::test {
namespace {

// The sample answers, `copies` times over, scored against the sample question with `jobs`:
// the results file, the progress counts and the number left unscored.
struct ScoredRun {
    std::string csv;
    std::vector<size_t> progress;
    int unscored = -1;
};

ScoredRun ScoreSamples(int jobs, const std::function<void(size_t)>& onProgress = {}, int copies = 3) {
    SampleDocument sample;
    CTaviDoc& doc = *sample.doc;
    std::vector<int> all;
    // Each answer several times under different names, so that there is work to share.
    std::string folder = TempDir();
    for (int copy = 0; copy < copies; ++copy)
        for (const char* name : SampleDocument::kNames) {
            std::string path = folder + "/" + std::to_string(copy) + "_" + name + ".txt";
            std::filesystem::copy_file(SjisToUtf8(SampleDocument::AnswerPath(name)), path,
                                       std::filesystem::copy_options::overwrite_existing);
            EXPECT_TRUE(doc.AddAnswer(Sjis(path)));
            all.push_back(static_cast<int>(all.size()));
        }
    ScoredRun run;
    ScoreInProcesses(doc, all, jobs, [&](size_t done) {
        run.progress.push_back(done);
        if (onProgress) onProgress(done);
    });
    run.csv = doc.ResultsFileBytes();
    // The copies sit in a new folder each run: keep only the file names in the comparison.
    for (size_t at; (at = run.csv.find(Sjis(folder))) != std::string::npos;) run.csv.erase(at, Sjis(folder).size());
    run.unscored = doc.GetUnscoredCount();
    return run;
}

std::vector<size_t> OneToN(size_t n) {
    std::vector<size_t> counts(n);
    for (size_t i = 0; i < n; ++i) counts[i] = i + 1;
    return counts;
}

// The children of the calling thread.
std::vector<pid_t> Children() {
    std::ifstream file("/proc/self/task/" + std::to_string(syscall(SYS_gettid)) + "/children");
    std::vector<pid_t> pids;
    for (pid_t pid; file >> pid;) pids.push_back(pid);
    return pids;
}

TEST(ParallelScoring, ResultsDoNotDependOnTheNumberOfProcesses) {
    ScoredRun one = ScoreSamples(1);
    ASSERT_EQ(one.unscored, 0);
    ASSERT_FALSE(one.progress.empty());
    EXPECT_EQ(one.progress, OneToN(one.progress.size()));
    for (int jobs : {2, 3, 64}) {
        ScoredRun many = ScoreSamples(jobs);
        EXPECT_EQ(many.unscored, 0) << jobs;
        EXPECT_EQ(many.progress, one.progress) << jobs;
        EXPECT_EQ(many.csv, one.csv) << jobs;
    }
}

TEST(ParallelScoring, NothingToScoreStartsNoWorker) {
    SampleDocument sample;
    // A child that ran and was waited for adds its page faults to these counts.
    auto childFaults = [] {
        rusage usage{};
        getrusage(RUSAGE_CHILDREN, &usage);
        return usage.ru_minflt;
    };
    long before = childFaults();
    bool called = false;
    ScoreInProcesses(*sample.doc, {}, 4, [&](size_t) { called = true; });
    EXPECT_FALSE(called);
    EXPECT_EQ(childFaults(), before);
}

TEST(ParallelScoring, AnswersOfWorkersThatDieAreScoredHere) {
    if (!std::ifstream("/proc/self/task/" + std::to_string(syscall(SYS_gettid)) + "/children"))
        GTEST_SKIP() << "this system does not list a process's children";
    // Enough answers that the workers are still busy when the first one is done.
    const int copies = 12;
    ScoredRun one = ScoreSamples(1, {}, copies);
    bool killed = false;
    ScoredRun interrupted = ScoreSamples(
        3,
        [&](size_t) {
            if (killed) return;
            std::vector<pid_t> children = Children();
            for (pid_t pid : children) kill(pid, SIGKILL);
            killed = !children.empty();
        },
        copies);
    EXPECT_TRUE(killed);
    EXPECT_EQ(interrupted.unscored, 0);
    EXPECT_EQ(interrupted.progress, one.progress);
    EXPECT_EQ(interrupted.csv, one.csv);
}

}  // namespace
}  // namespace tavi::test
