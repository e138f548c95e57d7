#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>

#include "analysis/MorphemeTools.h"
#include "content/ContentModel.h"
#include "evaluation/EssayRecord.h"

namespace tavi {
namespace {

constexpr int kContentCommentIndex = 16;
// Falling thresholds of the similarity: above 0.7 fine, above 0.5 somewhat off, else off.
constexpr double kContentFine = 0.7;
constexpr double kContentSomewhatOff = 0.5;

// The content-noun evidence of an answer: the dictionary nouns it shares with the question,
// with their places in the answer, and the question's nouns that it lacks.
void CompareContentNouns(const std::vector<ContentNounHit>& answerNouns,
                         const std::vector<ContentNounHit>& questionNouns, EssayEvidence& evidence) {
    // Question nouns by key, in order of first occurrence.
    std::vector<ContentNounEvidence> question;
    std::unordered_map<std::string, size_t> questionIndex;
    for (const ContentNounHit& hit : questionNouns) {
        auto [it, added] = questionIndex.try_emplace(hit.key, question.size());
        if (added) question.push_back({hit.key, hit.surface, 0, 0, {}});
        ++question[it->second].questionCount;
    }
    std::unordered_map<std::string, size_t> sharedIndex;
    for (const ContentNounHit& hit : answerNouns) {
        auto inQuestion = questionIndex.find(hit.key);
        if (inQuestion == questionIndex.end()) continue;
        auto [it, added] = sharedIndex.try_emplace(hit.key, evidence.sharedNouns.size());
        if (added)
            evidence.sharedNouns.push_back({hit.key, hit.surface, 0, question[inQuestion->second].questionCount, {}});
        ContentNounEvidence& shared = evidence.sharedNouns[it->second];
        ++shared.answerCount;
        shared.at.push_back(evidence.positions.Row(hit.row));
    }
    for (const ContentNounEvidence& noun : question)
        if (!sharedIndex.count(noun.key)) evidence.missingNouns.push_back(noun);
    std::stable_sort(
        evidence.missingNouns.begin(), evidence.missingNouns.end(),
        [](const ContentNounEvidence& a, const ContentNounEvidence& b) { return a.questionCount > b.questionCount; });
}

}  // namespace

DVector BuildContentVector(const MorphemeTable& table, const ContentModel& model, std::vector<ContentNounHit>* hits) {
    static const MorphemeTools tools;

    // Counts of the dictionary words among the content nouns, by word index. Only the words
    // that occur are kept, so the projection costs (distinct words) x K, not N x K.
    struct Noun {
        size_t row;
        std::string key;
        uint64_t hash;
    };
    std::vector<Noun> nouns;
    std::string key;
    for (size_t row = 0; row < table.RowCount(); ++row) {
        if (!tools.IsContentNoun(table, row)) continue;
        tools.ToHiragana(table.Field(row, kSurface), key);
        nouns.push_back({row, key, WordIndex::HashOf(key)});
        model.wordIndex.Prefetch(nouns.back().hash);
    }
    std::vector<int32_t> found;
    for (const Noun& noun : nouns) {
        int32_t index = model.wordIndex.Find(noun.key, noun.hash);
        if (index == 0) continue;
        found.push_back(index);
        if (hits) hits->push_back({noun.row, index, noun.key, std::string(table.Field(noun.row, kSurface))});
    }
    std::sort(found.begin(), found.end());
    // (word, occurrences) in word-index order. A word beyond the loaded rows (the matrix has
    // fewer rows than the dictionary has words) contributes nothing and is left out.
    std::vector<std::pair<int32_t, double>> counts;
    for (int32_t word : found) {
        if (word > model.matrixRowCount) break;
        if (counts.empty() || counts.back().first != word) counts.emplace_back(word, 0.0);
        counts.back().second += 1.0;
    }

    // y[d] = sum over words w of counts[w] * termMatrix[w][d], summed in word-index order as
    // the dense product would (zero counts add nothing).
    const long k = model.dimensionCount;
    DVector y = vector(1, k);
    for (long d = 1; d <= k; ++d) y[d] = 0.0;
    // The rows are far apart in a large matrix. All of them are asked for before the sums
    // start, so that their fetches overlap instead of each waiting on the one before.
    const size_t rowBytes = static_cast<size_t>(k) * sizeof(double);
    for (const auto& [word, count] : counts) {
        const auto first = reinterpret_cast<uintptr_t>(&model.termMatrix[word][1]);
        for (uintptr_t line = first & ~uintptr_t{63}; line < first + rowBytes; line += 64)
            __builtin_prefetch(reinterpret_cast<const void*>(line));
    }
    for (const auto& [word, count] : counts) {
        const DVector& weights = model.termMatrix[word];
        for (long d = 1; d <= k; ++d) y[d] = count * weights[d] + y[d];
    }
    for (long d = 1; d <= k; ++d) y[d] = y[d] / model.scaleVector[d];
    return y;
}

void EssayRecord::ComputeContentSimilarity(const MorphemeTable& table, const DVector& questionVector,
                                           ContentModel& model, const std::vector<ContentNounHit>* questionNouns) {
    if (!model.dictionaryLoaded || !model.matrixLoaded) {
        // With nothing loaded the dictionary is tried once more (it reports its own failure);
        // its result sets no flag. Either way the similarity keeps its value.
        if (!model.dictionaryLoaded && !model.matrixLoaded) model.LoadDictionary();
        return;
    }
    std::vector<ContentNounHit> answerNouns;
    DVector answerVector = BuildContentVector(table, model, evidence ? &answerNouns : nullptr);
    if (evidence) {
        auto recorded = std::make_shared<EssayEvidence>(*evidence);
        recorded->sharedNouns.clear();
        recorded->missingNouns.clear();
        CompareContentNouns(answerNouns, questionNouns ? *questionNouns : std::vector<ContentNounHit>(), *recorded);
        recorded->contentRecorded = true;
        evidence = std::move(recorded);
    }
    const long k = model.dimensionCount;
    // A question vector of another size was built with another model; its dimensions mean
    // nothing in this one, so the answer is given similarity 0 rather than a comparison over
    // the common part. No component beyond either vector is read.
    bool sameSpace = questionVector && questionVector.nl == 1 && questionVector.nh == k;
    double similarity = sameSpace ? std::sqrt(cosine_similarity(answerVector, questionVector, k)) : 0.0;
    // A scaling value of 0 (a truncated matrix file reads its missing values as 0) makes the
    // vectors infinite or not a number; such a comparison measures nothing, so it counts as 0
    // rather than turning every total into "nan".
    contentSimilarity = std::isfinite(similarity) ? similarity : 0.0;
    free_vector(answerVector, 1, k);
}

double EssayRecord::ScoreContent() {
    // Each call replaces the content comment of an earlier call.
    ClearAxisComments(kContentComments);
    int contentClass = ClassifyTwoThresholds(contentSimilarity, kContentFine, kContentSomewhatOff);
    AddComment(kContentCommentIndex, contentClass);
    contentScore = contentSimilarity;
    return contentScore;
}

}  // namespace tavi
