// How well a content model serves questions of today's topics. Each folder of
// tests/data/topics/ holds a question and answers written for it. For every model the
// program prints the share of the answers' content-noun tokens that the model's dictionary
// holds, the mean content score of the answers against their own question (on-topic) and
// against every other folder's question (off-topic), and the gap between the two; then the
// content nouns the model lacks, most frequent first.
//
// Usage: bench_model_topics [MODEL.tcf ...]   (default: the two built-in models of the build)
// Exits with 1 when the first model misses an aim: at least 97 % of the tokens held, and an
// off-topic score of at most half the on-topic score.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "analysis/AnalyzerBinding.h"
#include "analysis/Encoding.h"
#include "analysis/MorphemeTools.h"
#include "content/ContentModel.h"

namespace {

using namespace tavi;

constexpr double kTokensHeldAim = 0.97;
constexpr double kOffTopicShareAim = 0.5;

struct Topic {
    std::string name;
    MorphemeTable question;
    std::vector<MorphemeTable> answers;
};

[[noreturn]] void Die(const std::string& message) {
    std::fprintf(stderr, "bench_model_topics: %s\n", message.c_str());
    std::exit(2);
}

MorphemeTable Analyse(const std::string& path, AnalyzerBinding& analyzer) {
    MorphemeTable table;
    std::string error;
    AnalyseText(path, MorphemeTools::kParagraphBlankLines, analyzer, table, error);
    if (!error.empty()) Die(error);
    return table;
}

std::vector<Topic> LoadTopics(const std::string& folder, AnalyzerBinding& analyzer) {
    std::vector<std::filesystem::path> folders;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.is_directory()) folders.push_back(entry.path());
    std::sort(folders.begin(), folders.end());
    std::vector<Topic> topics;
    for (const std::filesystem::path& path : folders) {
        Topic topic{path.filename().string(), Analyse((path / "question.txt").string(), analyzer), {}};
        std::vector<std::string> answers;
        for (const auto& entry : std::filesystem::directory_iterator(path))
            if (entry.path().filename().string().rfind("answer", 0) == 0) answers.push_back(entry.path().string());
        std::sort(answers.begin(), answers.end());
        for (const std::string& answer : answers) topic.answers.push_back(Analyse(answer, analyzer));
        if (topic.answers.empty()) Die(path.string() + ": holds no answer*.txt");
        topics.push_back(std::move(topic));
    }
    if (topics.size() < 2) Die(folder + ": needs at least two topic folders");
    return topics;
}

// The content score of an answer against a question, as the scorer computes it.
double ContentScore(const DVector& answer, const DVector& question, long k) {
    double score = std::sqrt(cosine_similarity(answer, question, k));
    return std::isfinite(score) ? score : 0.0;
}

struct Figures {
    long tokens = 0;
    long held = 0;
    double onTopic = 0;
    double offTopic = 0;
    std::map<std::string, int> missing;  // key form (UTF-8) -> occurrences
};

Figures Measure(const std::vector<Topic>& topics, const ContentModel& model) {
    const MorphemeTools tools;
    const long k = model.dimensionCount;
    Figures figures;
    std::vector<DVector> questions;
    for (const Topic& topic : topics) questions.push_back(BuildContentVector(topic.question, model));
    long onCount = 0, offCount = 0;
    std::string key;
    for (size_t t = 0; t < topics.size(); ++t) {
        for (const MorphemeTable& answer : topics[t].answers) {
            for (size_t row = 0; row < answer.RowCount(); ++row) {
                if (!tools.IsContentNoun(answer, row)) continue;
                tools.ToHiragana(answer.Field(row, kSurface), key);
                ++figures.tokens;
                if (model.LookUp(key) > 0)
                    ++figures.held;
                else
                    ++figures.missing[SjisToUtf8(key)];
            }
            DVector vector = BuildContentVector(answer, model);
            for (size_t q = 0; q < questions.size(); ++q) {
                double score = ContentScore(vector, questions[q], k);
                if (q == t) {
                    figures.onTopic += score;
                    ++onCount;
                } else {
                    figures.offTopic += score;
                    ++offCount;
                }
            }
            free_vector(vector, 1, k);
        }
    }
    for (DVector& q : questions) free_vector(q, 1, k);
    figures.onTopic /= static_cast<double>(onCount);
    figures.offTopic /= static_cast<double>(offCount);
    return figures;
}

std::string MostMissing(const std::map<std::string, int>& missing, size_t count) {
    std::vector<std::pair<std::string, int>> words(missing.begin(), missing.end());
    std::stable_sort(words.begin(), words.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    std::string text;
    for (size_t i = 0; i < words.size() && i < count; ++i)
        text += (i ? ", " : "") + words[i].first + " " + std::to_string(words[i].second);
    return text.empty() ? "(none)" : text;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> models;
    for (int i = 1; i < argc; ++i) models.push_back(argv[i]);
    if (models.empty()) models = {TAVI_BIN_DIR "/yoroku2000.tcf", TAVI_BIN_DIR "/syasetsu2000.tcf"};

    AnalyzerBinding analyzer;
    if (!analyzer.Load()) Die("the ChaSen library cannot be loaded");
    const std::vector<Topic> topics = LoadTopics(TAVI_TOPICS_DIR, analyzer);
    size_t answers = 0;
    for (const Topic& topic : topics) answers += topic.answers.size();
    std::printf("%zu topics, %zu answers; off-topic: each answer against the other %zu questions\n\n", topics.size(),
                answers, topics.size() - 1);
    std::printf("%-40s %7s %8s %9s %9s %7s %8s\n", "model", "words", "held", "on-topic", "off-topic", "gap", "off/on");

    bool firstMeetsAims = true;
    std::vector<std::string> missingLines;
    for (size_t m = 0; m < models.size(); ++m) {
        ContentModel model;
        if (!model.LoadSettings(models[m]) || !model.messages.empty())
            Die(models[m] + ": cannot be loaded" +
                (model.messages.empty() ? "" : " (" + SjisToUtf8(model.messages.front().text) + ")"));
        Figures f = Measure(topics, model);
        double held = static_cast<double>(f.held) / static_cast<double>(f.tokens);
        double ratio = f.onTopic > 0 ? f.offTopic / f.onTopic : 1.0;
        std::printf("%-40s %7d %7.1f%% %9.3f %9.3f %7.3f %8.2f\n", models[m].c_str(), model.wordCount, 100 * held,
                    f.onTopic, f.offTopic, f.onTopic - f.offTopic, ratio);
        missingLines.push_back(models[m] + ": " + std::to_string(f.tokens - f.held) + " of " +
                               std::to_string(f.tokens) + " tokens missing: " + MostMissing(f.missing, 15));
        if (m == 0) firstMeetsAims = held >= kTokensHeldAim && ratio <= kOffTopicShareAim;
    }
    std::printf("\n");
    for (const std::string& line : missingLines) std::printf("%s\n", line.c_str());
    std::printf("\naims for the first model (>= %.0f%% held, off/on <= %.2f): %s\n", 100 * kTokensHeldAim,
                kOffTopicShareAim, firstMeetsAims ? "met" : "missed");
    return firstMeetsAims ? 0 : 1;
}
