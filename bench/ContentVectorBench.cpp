// Cost of an answer's content vector with the built-in models: building it from an analysed
// answer, comparing it with the question's, and, for scale, the analysis that precedes it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/AnalyzerBinding.h"
#include "analysis/MorphemeTools.h"
#include "content/ContentModel.h"
#include "evaluation/ScoringParams.h"

namespace {

using tavi::AnalyzerBinding;
using tavi::BuiltInModelFile;
using tavi::ContentModel;
using tavi::DVector;
using tavi::MorphemeTable;
using tavi::MorphemeTools;

[[noreturn]] void Die(const std::string& message) {
    std::fprintf(stderr, "bench: %s\n", message.c_str());
    std::exit(1);
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) Die(path + ": cannot be read");
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

AnalyzerBinding& Analyzer() {
    static AnalyzerBinding analyzer;
    if (!analyzer.Load()) Die("the ChaSen library cannot be loaded");
    return analyzer;
}

// The morpheme table of a file's raw bytes, read as the scorer reads an answer.
MorphemeTable Analyse(const std::string& raw) {
    MorphemeTools tools;
    std::string text;
    tools.ReadAnswerBytes(raw, text, MorphemeTools::kParagraphBlankLines);
    MorphemeTable table;
    tools.SplitAnalysis(Analyzer().Analyze(text).value_or(""), table);
    return table;
}

ContentModel& Model(int choice) {
    static ContentModel models[2];
    static bool loaded[2] = {false, false};
    if (!loaded[choice]) {
        if (!models[choice].LoadSettings(std::string(TAVI_BIN_DIR) + "/" + BuiltInModelFile(choice)))
            Die(std::string(BuiltInModelFile(choice)) + ": cannot be loaded from " TAVI_BIN_DIR);
        loaded[choice] = true;
    }
    return models[choice];
}

// The sample answers, analysed once.
const std::vector<MorphemeTable>& SampleAnswers() {
    static std::vector<MorphemeTable> tables = [] {
        std::vector<std::string> paths;
        for (const auto& entry : std::filesystem::directory_iterator(TAVI_SAMPLES_DIR "/answers"))
            if (entry.is_regular_file()) paths.push_back(entry.path().string());
        std::sort(paths.begin(), paths.end());
        if (paths.empty()) Die(TAVI_SAMPLES_DIR "/answers: holds no answer");
        std::vector<MorphemeTable> result;
        for (const std::string& path : paths) result.push_back(Analyse(ReadBytes(path)));
        return result;
    }();
    return tables;
}

// A UTF-8 answer of about `characters` characters cut from the start of the news corpus.
std::string AnswerOfLength(size_t characters) {
    std::string text;
    for (int i = 0; text.size() < characters * 3 + 3; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "/news/wikinews_%05d.txt", i);
        text += ReadBytes(TAVI_CORPUS_DIR + std::string(name));
    }
    size_t end = characters * 3;  // Japanese characters are 3 bytes in UTF-8; stop at a line end
    end = text.find('\n', end);
    return text.substr(0, end);
}

void FreeVector(DVector& v, const ContentModel& model) { tavi::free_vector(v, 1, model.dimensionCount); }

// BuildContentVector for each sample answer: dictionary look-ups and the projection.
void BM_ContentVectorSampleAnswers(benchmark::State& state) {
    const ContentModel& model = Model(static_cast<int>(state.range(0)));
    const std::vector<MorphemeTable>& answers = SampleAnswers();
    for (auto _ : state) {
        for (const MorphemeTable& table : answers) {
            DVector y = tavi::BuildContentVector(table, model);
            benchmark::DoNotOptimize(y.block);
            FreeVector(y, model);
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(answers.size()));
    state.SetLabel(std::string(BuiltInModelFile(static_cast<int>(state.range(0)))) + "; time per " +
                   std::to_string(answers.size()) + " answers, items = answers");
}
BENCHMARK(BM_ContentVectorSampleAnswers)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// Content vector plus the comparison with the question's: the content step of scoring one answer.
void BM_ContentSimilarityByLength(benchmark::State& state) {
    const ContentModel& model = Model(0);
    const MorphemeTable question = Analyse(ReadBytes(TAVI_SAMPLES_DIR "/question.txt"));
    const MorphemeTable answer = Analyse(AnswerOfLength(static_cast<size_t>(state.range(0))));
    DVector q = tavi::BuildContentVector(question, model);
    for (auto _ : state) {
        DVector y = tavi::BuildContentVector(answer, model);
        benchmark::DoNotOptimize(tavi::cosine_similarity(y, q, model.dimensionCount));
        FreeVector(y, model);
    }
    FreeVector(q, model);
    state.SetItemsProcessed(state.iterations());
    state.counters["morphemes"] = static_cast<double>(answer.RowCount());
}
BENCHMARK(BM_ContentSimilarityByLength)->Arg(400)->Arg(1600)->Arg(6400)->Unit(benchmark::kMicrosecond);

// For scale: reading, analysing and splitting an answer of the same lengths, which precede the vector.
void BM_AnalysisByLength(benchmark::State& state) {
    const std::string raw = AnswerOfLength(static_cast<size_t>(state.range(0)));
    Analyzer();
    for (auto _ : state) benchmark::DoNotOptimize(Analyse(raw).RowCount());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AnalysisByLength)->Arg(400)->Arg(1600)->Arg(6400)->Unit(benchmark::kMicrosecond);

// Loading a built-in model, as the document does at start-up and on a change of model.
void BM_LoadModel(benchmark::State& state) {
    const char* name = BuiltInModelFile(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        ContentModel model;
        benchmark::DoNotOptimize(model.LoadSettings(std::string(TAVI_BIN_DIR) + "/" + name));
    }
    state.SetLabel(name);
}
BENCHMARK(BM_LoadModel)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
