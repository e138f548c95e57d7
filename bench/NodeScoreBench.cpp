// tavi-score under Node (build/web/node/tavi-score.mjs, the WebAssembly build) against the
// native tavi-score -j1 on the same answers, in one run:
//   bench_node_score [ROUNDS=3] [ANSWERS=1000]
// The answers are cut from the corpora (bench/CorpusAnswers.h) and written as UTF-8 files. Each
// round runs both, in an order that alternates from round to round, each bounded by `timeout`;
// their CSV outputs must be identical. Prints the ratio of the best elapsed times and of the
// processor times (Node's start and its reading of the dictionary included), with the lowest,
// median and highest of the rounds; the aim is at most 2.5.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/CorpusAnswers.h"

namespace fs = std::filesystem;

namespace {

// Seconds that a command may run before `timeout` ends it and the benchmark fails.
constexpr int kRunTimeoutSeconds = 600;

std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

double ChildrenCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Timing {
    double elapsed, cpu;
};

// Runs `command` (a shell command line) with its standard output into `output`.
Timing Run(const std::string& command, const fs::path& output) {
    const std::string line = "timeout " + std::to_string(kRunTimeoutSeconds) + " " + command + " >" +
                             Quoted(output.string()) + " 2>/dev/null";
    const double cpuBefore = ChildrenCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    if (std::system(line.c_str()) != 0) {
        std::fprintf(stderr, "bench_node_score: failed or timed out: %s\n", command.c_str());
        std::exit(1);
    }
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
            ChildrenCpuSeconds() - cpuBefore};
}

void Print(const char* name, std::vector<double> rounds, double best) {
    std::sort(rounds.begin(), rounds.end());
    std::printf("%-34s %.2f  (rounds %.2f / %.2f / %.2f: lowest / median / highest)\n", name, best, rounds.front(),
                rounds[rounds.size() / 2], rounds.back());
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const size_t count = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1000;
    const fs::path work = fs::temp_directory_path() / ("tavi-node-score-" + std::to_string(getpid()));
    fs::create_directories(work / "answers");
    const auto answers = tavi::bench::CorpusAnswers(TAVI_CORPUS_DIR, count);
    for (const auto& [name, text] : answers) std::ofstream(work / "answers" / name, std::ios::binary) << text;

    const std::string arguments = " -j1 --format csv -q " + Quoted(std::string(TAVI_SAMPLES_DIR) + "/question.txt") +
                                  " " + Quoted((work / "answers").string());
    const std::string native = Quoted(std::string(TAVI_BIN_DIR) + "/tavi-score") + arguments;
    const std::string node = "node " + Quoted(std::string(TAVI_WEB_DIR) + "/node/tavi-score.mjs") + arguments;
    std::vector<double> elapsedRatios, cpuRatios;
    Timing bestNative{1e300, 1e300}, bestNode{1e300, 1e300};
    for (int round = 0; round < rounds; ++round) {
        Timing n, w;
        if (round % 2) {
            w = Run(node, work / "node.csv"), n = Run(native, work / "native.csv");
        } else {
            n = Run(native, work / "native.csv"), w = Run(node, work / "node.csv");
        }
        if (ReadFile(work / "node.csv") != ReadFile(work / "native.csv")) {
            std::fprintf(stderr, "bench_node_score: the CSV outputs differ (kept in %s)\n", work.c_str());
            return 1;
        }
        elapsedRatios.push_back(w.elapsed / n.elapsed);
        cpuRatios.push_back(w.cpu / n.cpu);
        bestNative = {std::min(bestNative.elapsed, n.elapsed), std::min(bestNative.cpu, n.cpu)};
        bestNode = {std::min(bestNode.elapsed, w.elapsed), std::min(bestNode.cpu, w.cpu)};
        std::fprintf(stderr, "round %d of %d: native %.2f s (%.2f s processor), Node %.2f s (%.2f s processor)\n",
                     round + 1, rounds, n.elapsed, n.cpu, w.elapsed, w.cpu);
    }
    std::printf("%zu answers, %d rounds; best native -j1 %.2f s, Node %.2f s\n", answers.size(), rounds,
                bestNative.elapsed, bestNode.elapsed);
    Print("Node / native -j1, elapsed", elapsedRatios, bestNode.elapsed / bestNative.elapsed);
    Print("Node / native -j1, processor time", cpuRatios, bestNode.cpu / bestNative.cpu);
    fs::remove_all(work);
    return 0;
}
