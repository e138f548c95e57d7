#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "analysis/MorphemeTools.h"
#include "content/ContentModel.h"

namespace tavi {

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

}  // namespace tavi
