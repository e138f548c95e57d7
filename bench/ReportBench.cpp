// Cost of explaining a run: the HTML report and the JSON evidence of 1,000 answers (the sample
// essays scored once with evidence, their records repeated), passing those records through the
// record codec, and what keeping the evidence adds to scoring the samples.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "analysis/Encoding.h"
#include "analysis/FileIo.h"
#include "cli/TerminalPerson.h"
#include "document/CTaviDoc.h"
#include "document/MemoryListView.h"
#include "report/EvidenceJson.h"
#include "report/RecordCodec.h"
#include "report/Report.h"

namespace {

using namespace tavi;

constexpr int kAnswers = 1000;

[[noreturn]] void Die(const std::string& message) {
    std::fprintf(stderr, "bench: %s\n", message.c_str());
    std::exit(1);
}

std::vector<std::string> SampleAnswers() {
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(TAVI_SAMPLES_DIR) + "/answers"))
        if (entry.path().extension() == ".txt") paths.push_back(entry.path().string());
    std::sort(paths.begin(), paths.end());
    return paths;
}

// Scores the samples in this process; returns the run.
ReportRun ScoreSamples(bool keepEvidence) {
    TerminalPerson person;
    MemoryListView view;
    CTaviDoc doc(person);
    if (!doc.IsAnalyzerLoaded()) Die("the ChaSen library cannot be loaded");
    doc.SetListView(&view);
    doc.SetKeepEvidence(keepEvidence);
    doc.ApplyQuestionSettings(Sjis(std::string(TAVI_SAMPLES_DIR) + "/question.txt"), doc.GetParams());
    if (!doc.HasQuestionVector()) Die("the sample question cannot be prepared");
    std::vector<int> all;
    for (const std::string& path : SampleAnswers()) {
        doc.AddAnswer(Sjis(path));
        all.push_back(static_cast<int>(all.size()));
    }
    doc.ScoreSelected(all);
    return ReportRunOf(doc);
}

const ReportRun& ThousandAnswers() {
    static const ReportRun run = [] {
        ReportRun samples = ScoreSamples(true);
        ReportRun run = samples;
        run.answers.clear();
        for (int i = 0; i < kAnswers; ++i) {
            EssayRecord r = samples.answers[i % samples.answers.size()];
            r.id = static_cast<uint16_t>(i + 1);
            run.answers.push_back(std::move(r));
        }
        return run;
    }();
    return run;
}

// The report built and written to a file, as tavi-score --report does after scoring.
void BM_ReportOf1000Answers(benchmark::State& state) {
    const ReportRun& run = ThousandAnswers();
    const std::string path = std::filesystem::temp_directory_path() / "tavi-bench-report.html";
    size_t bytes = 0;
    for (auto _ : state) {
        std::string html = FormatReport(run);
        std::string error;
        if (!WriteFileAtomically(path, html, error)) Die(error);
        bytes = html.size();
    }
    std::filesystem::remove(path);
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(BM_ReportOf1000Answers)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// The "evidence" objects of the JSON output for the same answers.
void BM_EvidenceJsonOf1000Answers(benchmark::State& state) {
    const ReportRun& run = ThousandAnswers();
    size_t bytes = 0;
    for (auto _ : state) {
        bytes = 0;
        for (const EssayRecord& r : run.answers) bytes += EvidenceJson(r, run.params).dump(2).size();
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(BM_EvidenceJsonOf1000Answers)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// The 1,000 records encoded, as the scoring processes send them and the server stores them.
void BM_EncodeRecords(benchmark::State& state) {
    const ReportRun& run = ThousandAnswers();
    size_t bytes = 0;
    for (auto _ : state) {
        bytes = 0;
        for (const EssayRecord& r : run.answers) bytes += EncodeRecord(r).size();
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(BM_EncodeRecords)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The same records decoded with their evidence (a worker's answer, an answer's page) and
// without (the server's lists and downloads of scores).
void BM_DecodeRecords(benchmark::State& state) {
    const ReportRun& run = ThousandAnswers();
    std::vector<std::string> encoded;
    for (const EssayRecord& r : run.answers) encoded.push_back(EncodeRecord(r));
    const bool withEvidence = state.range(0) != 0;
    for (auto _ : state) {
        for (const std::string& bytes : encoded) {
            EssayRecord r;
            if (!DecodeRecord(bytes, r, withEvidence)) Die("a record does not decode");
            benchmark::DoNotOptimize(r.finalScore);
        }
    }
}
BENCHMARK(BM_DecodeRecords)->ArgName("evidence")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Scoring the 13 samples (analysis included) without and with evidence.
void BM_ScoreSamples(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(ScoreSamples(state.range(0) != 0).answers.size());
}
BENCHMARK(BM_ScoreSamples)->ArgName("evidence")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(5.0);

}  // namespace

BENCHMARK_MAIN();
