#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "analysis/Encoding.h"
#include "analysis/MorphemeTools.h"
#include "evaluation/EssayRecord.h"

namespace tavi {
namespace {

using Counts = std::vector<uint32_t>;

// Median of the entries: 0 for none; otherwise the middle of the list sorted in descending
// order (sorted in place), or the mean of the two middle entries for an even count.
double Median(Counts& values) {
    size_t n = values.size();
    if (n == 0) return 0.0;
    if (n == 1) return values[0];
    if (!std::is_sorted(values.begin(), values.end(), std::greater<>())) {
        std::sort(values.begin(), values.end(), std::greater<>());
    }
    if (n % 2 == 1) return values[(n - 1) / 2];
    return (static_cast<double>(values[n / 2 - 1]) + values[n / 2]) / 2.0;
}

double Max(const Counts& values) { return values.empty() ? 0.0 : *std::max_element(values.begin(), values.end()); }

// Number of entries strictly greater than `threshold`.
double CountAbove(const Counts& values, uint32_t threshold) {
    return static_cast<double>(std::count_if(values.begin(), values.end(), [&](uint32_t v) { return v > threshold; }));
}

// Yule's characteristic K of a frequency table: 10000 (Q - T) / T^2 with T = sum of k V(k) and
// Q = sum of k^2 V(k) over the frequency spectrum V. 10000 when the table is empty.
double YulesK(const std::map<std::string, uint32_t>& frequencies) {
    uint32_t largest = 0;
    for (const auto& [word, count] : frequencies) largest = std::max(largest, count);
    std::vector<uint64_t> spectrum(largest + 1, 0);  // spectrum[k]: words that occur exactly k times
    for (const auto& [word, count] : frequencies) ++spectrum[count];
    double t = 0.0;
    double q = 0.0;
    for (uint32_t k = 1; k <= largest; ++k) {
        t += static_cast<double>(k) * spectrum[k];
        q += static_cast<double>(k) * k * spectrum[k];
    }
    if (t == 0.0) return 10000.0;
    return 10000.0 * (q - t) / t / t;
}

}  // namespace

void EssayRecord::ExtractRhetoricFeatures(const MorphemeTable& table) {
    if (rhetoricFeaturesDone) return;

    static const std::string kPeriodPos = Sjis("記号-句点");
    static const std::string kCommaPos = Sjis("記号-読点");
    static const std::string kSpacePos = Sjis("記号-空白");
    const MorphemeTools tools;

    // Running counters; lengths are bytes of Shift_JIS.
    uint32_t sentenceLength = 0;
    uint32_t phraseLength = 0;
    uint32_t functionWords = 0;  // stands for the phrase's number of bunsetsu
    uint32_t attributive = 0;
    uint32_t continuative = 0;
    uint32_t conjunctive = 0;
    uint32_t runReading = 0;  // reading bytes of the current kanji-noun run
    uint32_t kanjiBytes = 0;
    uint32_t kanaBytes = 0;
    uint32_t passives = 0;

    Counts sentenceLengths;       // S: one per sentence
    Counts phraseLengths;         // P: one per phrase
    Counts phraseFunctionWords;   // B: one per phrase
    Counts sentenceAttributives;  // A: one per sentence
    Counts sentenceLinks;         // L: continuative + conjunctive, one per sentence
    Counts runReadings;           // R: one per kanji-noun run
    std::map<std::string, uint32_t> kanjiNouns;

    auto closeSentence = [&] {
        sentenceLengths.push_back(sentenceLength);
        phraseLengths.push_back(phraseLength);
        phraseFunctionWords.push_back(functionWords);
        sentenceAttributives.push_back(attributive);
        sentenceLinks.push_back(continuative + conjunctive);
        sentenceLength = phraseLength = functionWords = attributive = continuative = conjunctive = 0;
    };
    auto closeRun = [&] {
        runReadings.push_back(runReading);
        runReading = 0;
    };

    const size_t rows = table.RowCount();
    for (size_t r = 0; r < rows; ++r) {
        const std::string& surface = table.Field(r, kSurface);
        const std::string& pos = table.Field(r, kPartOfSpeech);
        const uint32_t surfaceBytes = static_cast<uint32_t>(surface.size());

        if (tools.IsEndOfLine(surface)) {
            if (runReading > 0) closeRun();
            if (sentenceLength > 0) closeSentence();
        }
        if (tools.IsPeriod(pos)) closeSentence();
        if (tools.IsComma(pos)) {
            phraseLengths.push_back(phraseLength);
            phraseFunctionWords.push_back(functionWords);
            phraseLength = functionWords = 0;
        }
        if (tools.HasKanji(surface)) {
            kanjiBytes += surfaceBytes;
            if (tools.IsNoun(pos) && !tools.IsNumeral(pos)) {
                runReading += static_cast<uint32_t>(table.Field(r, kReading).size());
                ++kanjiNouns[surface];
            }
        } else {
            // A noun without kanji neither ends nor extends the run.
            if (!tools.IsNoun(pos) && runReading > 0) closeRun();
            // The end-of-line row counts here too: "EOS" adds 3 bytes.
            if (!tools.IsSymbol(pos)) kanaBytes += surfaceBytes;
        }
        if (tools.IsFunctionWord(pos)) ++functionWords;
        if (pos != kPeriodPos && pos != kCommaPos && pos != kSpacePos) {
            sentenceLength += surfaceBytes;
            phraseLength += surfaceBytes;
        }
        if (tools.IsPassive(pos, table.Field(r, kBaseForm))) ++passives;
        const std::string& conjugationForm = table.Field(r, kConjugationForm);
        if (tools.IsContinuativeForm(conjugationForm)) ++continuative;
        if (tools.IsConjunctiveParticle(pos)) ++conjunctive;
        if (tools.IsNounModifyingPredicate(table, r)) ++attributive;
    }
    // Sentences and phrases still open here are dropped.

    vocabularyDiversity = YulesK(kanjiNouns);
    sentenceStatsCount = static_cast<int32_t>(phraseLengths.size());
    sentenceLengthMedian = Median(sentenceLengths);
    sentenceLengthMax = Max(sentenceLengths);
    phraseLengthMedian = Median(phraseLengths);
    phraseLengthMax = Max(phraseLengths);
    phraseStatsCount = static_cast<int32_t>(phraseLengths.size());
    bunsetsuPerPhraseMedian = Median(phraseFunctionWords);
    bunsetsuPerPhraseMax = Max(phraseFunctionWords);
    bunsetsuStatsCount = static_cast<int32_t>(phraseFunctionWords.size());
    kanaKanjiRatio = kanjiBytes == 0 ? 0.0 : static_cast<double>(kanaBytes) / kanjiBytes;
    textLength = static_cast<double>(kanaBytes) + kanjiBytes;
    // Passives per phrase; 0 / 0 (NaN) when there is no phrase.
    passiveRate = static_cast<double>(passives) / sentenceStatsCount;
    attributiveSentences = CountAbove(sentenceAttributives, 5);
    continuativeSentences = CountAbove(sentenceLinks, 7);
    // Reading bytes above 9 and 11: at least 5 and 6 katakana. NaN without any run.
    const double runs = static_cast<double>(runReadings.size());
    longReadingShare9 = CountAbove(runReadings, 9) / runs;
    longReadingShare11 = CountAbove(runReadings, 11) / runs;
    longReadingKanji = longReadingShare9;
    rhetoricFeaturesDone = true;
}

}  // namespace tavi
