#include "cli/ParallelScoring.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "analysis/Encoding.h"
#include "document/MemoryListView.h"
#include "fakes/FakePerson.h"
#include "fakes/TestSupport.h"

namespace tavi::test {
namespace {

const std::string kSamples = TAVI_SAMPLES_DIR;

// The sample answers scored against the sample question with `jobs`; returns the results
// file and checks that progress counted every answer once, in order.
struct ScoredRun {
    std::string csv;
    std::vector<size_t> progress;
    int unscored = -1;
};

ScoredRun ScoreSamples(int jobs, const std::function<void(size_t)>& onProgress = {}, int copies = 3) {
    FakePerson person;
    MemoryListView view;
    CTaviDoc doc(person);
    doc.SetListView(&view);
    person.questionDialog = [](std::string& path, ScoringParams&) {
        path = Sjis(kSamples + "/question.txt");
        return true;
    };
    doc.OnQuestionSettings();
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(kSamples + "/answers"))
        names.push_back(entry.path().string());
    std::sort(names.begin(), names.end());
    std::vector<int> all;
    // Each answer several times under different names, so that there is work to share.
    std::string folder = TempDir();
    for (int copy = 0; copy < copies; ++copy)
        for (const std::string& name : names) {
            std::string path = folder + "/" + std::to_string(copy) + "_" + std::filesystem::path(name).filename().string();
            std::filesystem::copy_file(name, path, std::filesystem::copy_options::overwrite_existing);
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

TEST(ParallelScoring, AnswersOfWorkersThatDieAreScoredHere) {
    if (!std::ifstream("/proc/self/task/" + std::to_string(syscall(SYS_gettid)) + "/children"))
        GTEST_SKIP() << "this system does not list a process's children";
    // Enough answers that the workers are still busy when the first one is done.
    const int copies = 12;
    ScoredRun one = ScoreSamples(1, {}, copies);
    bool killed = false;
    ScoredRun interrupted = ScoreSamples(3, [&](size_t) {
        if (killed) return;
        std::vector<pid_t> children = Children();
        for (pid_t pid : children) kill(pid, SIGKILL);
        killed = !children.empty();
    }, copies);
    EXPECT_TRUE(killed);
    EXPECT_EQ(interrupted.unscored, 0);
    EXPECT_EQ(interrupted.progress, one.progress);
    EXPECT_EQ(interrupted.csv, one.csv);
}

}  // namespace
}  // namespace tavi::test
