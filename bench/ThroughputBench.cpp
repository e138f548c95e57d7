// Throughput of tavi-score against ChaSen alone on the same 1,000 answers, in one run:
//   bench_throughput [ROUNDS=5] [ANSWERS=1000]
// The answers are cut from the corpora (bench/CorpusAnswers.h) and written as UTF-8 files, which
// tavi-score reads. ChaSen alone is given, per answer, the very text that the binding hands it:
// the answer as read (paragraph rule 0, full width, Shift_JIS), cut into pieces and converted to
// UTF-8 as the binding does, with a line feed at the end; `chasen -i w` reads those files. So the ratios show Tavi's
// own cost over the analysis it needs. Each round runs the commands in adjacent groups, in an order that alternates
// from round to round, and takes each ratio within its group, so that a change in the machine's load touches both sides
// alike:
//   chasen alone | tavi-score -j1 --format csv
//   chasen alone | tavi-score -j2 --format csv | two chasen processes, on the halves, at once
//   TAVI_BASE_SCORE -j1 --format csv | tavi-score -j1 --format csv, when TAVI_BASE_SCORE names
//   another build's tavi-score (with its models beside it), to compare two builds.
// Prints, per ratio, the lowest, median and highest of the rounds, and the ratio of the best
// times; the targets are -j1 <= 1.25 and -j2 <= 0.70 times ChaSen alone.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "analysis/AnalyzerBinding.h"
#include "analysis/Encoding.h"
#include "analysis/MorphemeTools.h"
#include "bench/CorpusAnswers.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// A command that runs longer than this is killed and the benchmark fails.
constexpr auto kRunTimeout = std::chrono::minutes(10);

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    if (!out) {
        std::fprintf(stderr, "bench_throughput: cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Starts `args` with its standard output into `output` (a file) and standard error discarded.
pid_t Start(const std::vector<std::string>& args, const std::string& output) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        if (!freopen(output.c_str(), "w", stdout) || !freopen("/dev/null", "w", stderr)) _exit(126);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return child;
}

// Waits for `child`; false when it fails or outlives `deadline` (it is then killed).
bool Finish(pid_t child, Clock::time_point deadline) {
    int status = 0;
    while (true) {
        pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) break;
        if (done < 0 && errno != EINTR) {
            std::perror("bench_throughput: waitpid");
            return false;
        }
        if (Clock::now() > deadline) {
            std::fprintf(stderr, "bench_throughput: timed out\n");
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    std::fprintf(stderr, "bench_throughput: exit status %d, signal %d\n", WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                 WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    return false;
}

// Seconds that the commands take when started together (one alone, or several at once).
double Seconds(const std::vector<std::vector<std::string>>& commands, const std::string& output) {
    const Clock::time_point start = Clock::now();
    std::vector<pid_t> children;
    for (size_t k = 0; k < commands.size(); ++k) children.push_back(Start(commands[k], k == 0 ? output : "/dev/null"));
    bool ok = true;
    for (pid_t child : children) ok = Finish(child, start + kRunTimeout) && ok;
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!ok) {
        std::fprintf(stderr, "bench_throughput: %s failed\n", commands[0][0].c_str());
        std::exit(1);
    }
    return seconds;
}

struct Ratio {
    std::string name;
    std::vector<double> rounds;  // one per round
    double bestTop = 1e300, bestBottom = 1e300;
};

void Print(const Ratio& r) {
    std::vector<double> v = r.rounds;
    std::sort(v.begin(), v.end());
    std::printf("%-40s %.2f  (rounds %.2f / %.2f / %.2f: lowest / median / highest)\n", r.name.c_str(),
                r.bestTop / r.bestBottom, v.front(), v[v.size() / 2], v.back());
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const size_t count = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1000;
    const char* base = std::getenv("TAVI_BASE_SCORE");

    const fs::path work = fs::temp_directory_path() / ("tavi-throughput-" + std::to_string(getpid()));
    fs::create_directories(work / "answers");
    fs::create_directories(work / "analyser");
    const auto answers = tavi::bench::CorpusAnswers(TAVI_CORPUS_DIR, count);
    std::vector<std::string> chasen = {"chasen", "-i", "w"}, halves[2] = {chasen, chasen};
    size_t bytes = 0;
    const tavi::MorphemeTools tools;
    for (size_t k = 0; k < answers.size(); ++k) {
        const auto& [name, text] = answers[k];
        WriteFile(work / "answers" / name, text);
        std::string asRead;
        tools.ReadAnswerBytes(text, asRead, tavi::MorphemeTools::kParagraphBlankLines);
        std::string utf8 = tavi::SjisToAnalyzerUtf8(tavi::AnalyzerBinding::CutIntoPieces(asRead));
        if (!utf8.ends_with('\n')) utf8 += '\n';  // chasen waits forever on a last line without one
        bytes += utf8.size();
        const fs::path input = work / "analyser" / name;
        WriteFile(input, utf8);
        chasen.push_back(input);
        halves[2 * k < answers.size() ? 0 : 1].push_back(input);
    }
    const std::string question = std::string(TAVI_SAMPLES_DIR) + "/question.txt";
    auto score = [&](const std::string& program, const char* jobs) {
        return std::vector<std::string>{program, jobs, "--format", "csv", "-q", question, (work / "answers").string()};
    };
    const std::string tavi = std::string(TAVI_BIN_DIR) + "/tavi-score";
    const fs::path j1Out = work / "j1.csv", j2Out = work / "j2.csv", baseOut = work / "base.csv";

    Ratio j1{"tavi-score -j1 / chasen alone"}, j2{"tavi-score -j2 / chasen alone"},
        two{"two chasen on the halves / chasen alone"}, against{"tavi-score -j1 / TAVI_BASE_SCORE -j1"};
    double chasenBest = 1e300, j1Best = 1e300, j2Best = 1e300;
    // Times `top` and `bottom` one after the other, in the order of the round, into `r`.
    auto timePair = [&](Ratio& r, int round, const auto& top, const auto& bottom) {
        double t, b;
        if (round % 2) {
            t = top(), b = bottom();
        } else {
            b = bottom(), t = top();
        }
        r.rounds.push_back(t / b);
        r.bestTop = std::min(r.bestTop, t);
        r.bestBottom = std::min(r.bestBottom, b);
        return std::pair{t, b};
    };
    auto runChasen = [&] { return Seconds({chasen}, "/dev/null"); };
    for (int round = 0; round < rounds; ++round) {
        auto [t1, c1] = timePair(
            j1, round, [&] { return Seconds({score(tavi, "-j1")}, j1Out); }, runChasen);
        auto [t2, c2] = timePair(
            j2, round, [&] { return Seconds({score(tavi, "-j2")}, j2Out); }, runChasen);
        timePair(
            two, round,
            [&] {
                return Seconds({halves[0], halves[1]}, "/dev/null");
            },
            runChasen);
        if (base)
            timePair(
                against, round, [&] { return Seconds({score(tavi, "-j1")}, j1Out); },
                [&] { return Seconds({score(base, "-j1")}, baseOut); });
        chasenBest = std::min({chasenBest, c1, c2});
        j1Best = std::min(j1Best, t1);
        j2Best = std::min(j2Best, t2);
        std::fprintf(stderr, "round %d of %d: -j1 %.2f, -j2 %.2f\n", round + 1, rounds, t1 / c1, t2 / c2);
    }
    const std::string j1Csv = ReadFile(j1Out);
    const bool same = !j1Csv.empty() && j1Csv == ReadFile(j2Out);

    std::printf("answers: %zu (%zu UTF-8 bytes handed to ChaSen), %d rounds\n", answers.size(), bytes, rounds);
    std::printf("best times: chasen alone %.3f s, tavi-score -j1 %.3f s, -j2 %.3f s\n", chasenBest, j1Best, j2Best);
    std::printf("%-40s %s\n", "ratio", "best  (per round)");
    Print(j1);
    Print(j2);
    Print(two);
    if (base) Print(against);
    std::printf("targets: -j1 <= 1.25, -j2 <= 0.70 times chasen alone; -j1 and -j2 output %s\n",
                same ? "identical" : "DIFFERENT");
    fs::remove_all(work);
    return same ? 0 : 1;
}
