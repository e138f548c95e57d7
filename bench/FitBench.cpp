// Fitting the parameters to a teacher's marks: 40 marked answers, every parameter free, with the
// five-fold cross-validation that the figures shown come from. The aim is an answer within 2 s.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "evaluation/Fit.h"
#include "fakes/SampleRun.h"
#include "fakes/TestSupport.h"

namespace {

using namespace tavi;

// Openings of 40 corpus essays of different lengths, scored with the default parameters, and
// the marks of a teacher who weighs content most and expects shorter answers.
struct Marked {
    std::vector<EssayRecord> records;
    std::vector<double> marks;

    Marked() {
        test::SampleDocument sample;
        std::vector<std::filesystem::path> essays;
        for (const auto& entry : std::filesystem::directory_iterator(std::string(TAVI_CORPUS_DIR) + "/essays"))
            essays.push_back(entry.path());
        std::sort(essays.begin(), essays.end());
        std::string dir = std::filesystem::temp_directory_path() / "tavi-bench-fit";
        std::filesystem::create_directories(dir);
        for (size_t i = 0; i < 40; ++i) {
            std::string text = test::ReadFileBytes(essays[i * 7].string());
            size_t cut = 0;
            while (cut < text.size() && cut < 300 + (i * 157) % 2400) cut += SjisCharLength(text, cut);
            std::string path = dir + "/answer" + std::to_string(i) + ".txt";
            std::ofstream(path, std::ios::binary) << text.substr(0, cut);
            sample.doc->AddAnswer(Sjis(path));
        }
        std::vector<int> all(40);
        for (int i = 0; i < 40; ++i) all[static_cast<size_t>(i)] = i;
        sample.doc->ScoreSelected(all);
        ScoringParams teacher;
        teacher.rhetoricWeight = 2;
        teacher.organizationWeight = 1;
        teacher.contentWeight = 7;
        teacher.expectedLength = 400;
        for (int i : all) {
            records.push_back(sample.doc->GetAnswer(i));
            EssayRecord r = records.back();
            RescoreFromFeatures(r, teacher);
            marks.push_back(std::round(ScaledTotal(r, teacher, 10)));
        }
        std::filesystem::remove_all(dir);
    }
};

void BM_FitFortyMarkedAnswers(benchmark::State& state) {
    static Marked marked;
    std::vector<double ScoringParams::*> free;
    for (const FitParameter& p : FittableParameters()) free.push_back(p.member);
    FitResult fit;
    for (auto _ : state) {
        fit = FitToMarks(marked.records, marked.marks, 10, ScoringParams(), free);
        benchmark::DoNotOptimize(fit);
    }
    state.counters["qwk_before"] = fit.before.qwk;
    state.counters["qwk_after"] = fit.after.qwk;
}
BENCHMARK(BM_FitFortyMarkedAnswers)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
