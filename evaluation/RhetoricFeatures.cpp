#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "analysis/Encoding.h"
#include "analysis/MorphemeTools.h"
#include "evaluation/EssayRecord.h"
#include "evaluation/RhetoricThresholds.h"

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
double YulesK(const std::unordered_map<std::string_view, uint32_t>& frequencies) {
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

// Records where the units that the extraction counts lie in the text. Each call mirrors one
// step of the extraction and receives the value that the extraction enters in its list; with
// no evidence to fill every call does nothing.
class RhetoricRecorder {
public:
    explicit RhetoricRecorder(EssayEvidence* evidence) : m_evidence(evidence) {}

    // A row that adds its bytes to the open sentence and phrase (an end-of-line row aside):
    // the first one starts them.
    void Words(size_t row) {
        if (!m_evidence) return;
        TextSpan at = m_evidence->positions.Row(row);
        if (!m_sentenceStarted) m_sentence.span.begin = at.begin;
        if (!m_phraseStarted) m_phraseBegin = at.begin;
        m_sentenceStarted = m_phraseStarted = true;
    }
    // The phrase closed by the comma or sentence end at `row`; the comma is left out.
    void ClosePhrase(size_t row, uint32_t bytes, uint32_t functionWords) {
        if (!m_evidence) return;
        uint32_t end = m_evidence->positions.Row(row).begin;
        m_evidence->phrases.push_back({{m_phraseStarted ? m_phraseBegin : end, end}, bytes, functionWords});
        m_phraseStarted = false;
    }
    // The sentence closed at `row`: a full stop is part of it, an end-of-line row is not.
    void CloseSentence(size_t row, bool fullStop, uint32_t bytes, uint32_t attributive, uint32_t links) {
        if (!m_evidence) return;
        TextSpan at = m_evidence->positions.Row(row);
        if (!m_sentenceStarted) m_sentence.span.begin = at.begin;
        m_sentence.span.end = fullStop ? at.end : at.begin;
        m_sentence.bytes = bytes;
        m_sentence.attributive = attributive;
        m_sentence.links = links;
        m_evidence->sentences.push_back(std::move(m_sentence));
        m_sentence = SentenceEvidence();
        m_sentenceStarted = false;
    }
    void Passive(size_t row) { Mark(row, &SentenceEvidence::passivesAt, &SentenceEvidence::passives); }
    void Link(size_t row) { Mark(row, &SentenceEvidence::linksAt, nullptr); }
    void Attributive(size_t row) { Mark(row, &SentenceEvidence::attributiveAt, nullptr); }

    // A kanji noun at `row`: counted in the frequencies and, once the run has reading bytes, part of the run.
    void KanjiNoun(size_t row, std::string_view surface, std::string_view reading, uint32_t runReading) {
        if (!m_evidence) return;
        TextSpan at = m_evidence->positions.Row(row);
        auto [it, added] = m_nounIndex.try_emplace(std::string(surface), m_nouns.size());
        if (added) m_nouns.push_back({std::string(surface), 0, {}});
        ++m_nouns[it->second].count;
        m_nouns[it->second].at.push_back(at);
        if (runReading == 0) return;
        if (!m_runStarted) m_run.span.begin = at.begin;
        m_runStarted = true;
        m_run.span.end = at.end;
        m_run.reading += reading;
    }
    void CloseRun(uint32_t readingBytes) {
        if (!m_evidence) return;
        m_run.readingBytes = readingBytes;
        m_evidence->kanjiRuns.push_back(std::move(m_run));
        m_run = KanjiRunEvidence();
        m_runStarted = false;
    }
    void Finish(uint32_t kanjiBytes, uint32_t kanaBytes, uint32_t passives) {
        if (!m_evidence) return;
        // Most frequent first; equal counts keep their order of first occurrence.
        std::stable_sort(m_nouns.begin(), m_nouns.end(),
                         [](const WordEvidence& a, const WordEvidence& b) { return a.count > b.count; });
        m_evidence->kanjiNouns = std::move(m_nouns);
        m_evidence->kanjiBytes = kanjiBytes;
        m_evidence->kanaBytes = kanaBytes;
        m_evidence->passives = passives;
        m_evidence->rhetoricRecorded = true;
    }

private:
    void Mark(size_t row, std::vector<TextSpan> SentenceEvidence::*list, uint32_t SentenceEvidence::*count) {
        if (!m_evidence) return;
        (m_sentence.*list).push_back(m_evidence->positions.Row(row));
        if (count) ++(m_sentence.*count);
    }

    EssayEvidence* m_evidence;
    SentenceEvidence m_sentence;  // the open sentence
    bool m_sentenceStarted = false;
    uint32_t m_phraseBegin = 0;
    bool m_phraseStarted = false;
    KanjiRunEvidence m_run;
    bool m_runStarted = false;
    std::vector<WordEvidence> m_nouns;
    std::map<std::string, size_t> m_nounIndex;
};

}  // namespace

void EssayRecord::ExtractRhetoricFeatures(const MorphemeTable& table) {
    if (rhetoricFeaturesDone) return;

    static const std::string kPeriodPos = Sjis("記号-句点");
    static const std::string kCommaPos = Sjis("記号-読点");
    static const std::string kSpacePos = Sjis("記号-空白");
    const MorphemeTools tools;
    std::shared_ptr<EssayEvidence> recorded = EvidenceToAmend();
    if (recorded) {
        recorded->sentences.clear();
        recorded->phrases.clear();
        recorded->kanjiRuns.clear();
    }
    RhetoricRecorder recorder(recorded.get());

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

    Counts sentenceLengths;                                     // S: one per sentence
    Counts phraseLengths;                                       // P: one per phrase
    Counts phraseFunctionWords;                                 // B: one per phrase
    Counts sentenceAttributives;                                // A: one per sentence
    Counts sentenceLinks;                                       // L: continuative + conjunctive, one per sentence
    Counts runReadings;                                         // R: one per kanji-noun run
    std::unordered_map<std::string_view, uint32_t> kanjiNouns;  // keys point into the table

    auto closeSentence = [&](size_t row, bool fullStop) {
        recorder.ClosePhrase(row, phraseLength, functionWords);
        recorder.CloseSentence(row, fullStop, sentenceLength, attributive, continuative + conjunctive);
        sentenceLengths.push_back(sentenceLength);
        phraseLengths.push_back(phraseLength);
        phraseFunctionWords.push_back(functionWords);
        sentenceAttributives.push_back(attributive);
        sentenceLinks.push_back(continuative + conjunctive);
        sentenceLength = phraseLength = functionWords = attributive = continuative = conjunctive = 0;
    };
    auto closeRun = [&] {
        recorder.CloseRun(runReading);
        runReadings.push_back(runReading);
        runReading = 0;
    };

    const size_t rows = table.RowCount();
    for (size_t r = 0; r < rows; ++r) {
        std::string_view surface = table.Field(r, kSurface);
        std::string_view pos = table.Field(r, kPartOfSpeech);
        const uint32_t surfaceBytes = static_cast<uint32_t>(surface.size());

        if (tools.IsEndOfLine(surface)) {
            if (runReading > 0) closeRun();
            if (sentenceLength > 0) closeSentence(r, false);
        }
        if (tools.IsPeriod(pos)) closeSentence(r, true);
        if (tools.IsComma(pos)) {
            recorder.ClosePhrase(r, phraseLength, functionWords);
            phraseLengths.push_back(phraseLength);
            phraseFunctionWords.push_back(functionWords);
            phraseLength = functionWords = 0;
        }
        if (tools.HasKanji(surface)) {
            kanjiBytes += surfaceBytes;
            if (tools.IsNoun(pos) && !tools.IsNumeral(pos)) {
                std::string_view reading = table.Field(r, kReading);
                runReading += static_cast<uint32_t>(reading.size());
                ++kanjiNouns[surface];
                recorder.KanjiNoun(r, surface, reading, runReading);
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
            if (!tools.IsEndOfLine(surface)) recorder.Words(r);
        }
        if (tools.IsPassive(pos, table.Field(r, kBaseForm))) {
            ++passives;
            recorder.Passive(r);
        }
        std::string_view conjugationForm = table.Field(r, kConjugationForm);
        if (tools.IsContinuativeForm(conjugationForm)) {
            ++continuative;
            recorder.Link(r);
        }
        if (tools.IsConjunctiveParticle(pos)) {
            ++conjunctive;
            recorder.Link(r);
        }
        if (tools.IsNounModifyingPredicate(table, r)) {
            ++attributive;
            recorder.Attributive(r);
        }
    }
    recorder.Finish(kanjiBytes, kanaBytes, passives);
    if (recorded) evidence = std::move(recorded);
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
    attributiveSentences = CountAbove(sentenceAttributives, kAttributivePerSentence);
    continuativeSentences = CountAbove(sentenceLinks, kLinksPerSentence);
    // Reading bytes above 9 and 11: at least 5 and 6 katakana. NaN without any run.
    const double runs = static_cast<double>(runReadings.size());
    longReadingShare9 = CountAbove(runReadings, kLongReadingBytes) / runs;
    longReadingShare11 = CountAbove(runReadings, kLongerReadingBytes) / runs;
    longReadingKanji = longReadingShare9;
    rhetoricFeaturesDone = true;
}

}  // namespace tavi
