#pragma once

#include <cstdint>

namespace tavi {

// The fixed thresholds of the rhetoric judgements, shared by the scoring and by the evidence
// that explains it. Lengths are bytes of Shift_JIS (2 per full-width character).
struct TwoThresholds {
    double first;
    double second;
};

inline constexpr TwoThresholds kVocabularyThresholds{112, 172};         // Yule's K, larger is worse
inline constexpr TwoThresholds kSentenceMedianThresholds{100, 178};     // bytes
inline constexpr TwoThresholds kSentenceMaxThresholds{198, 272};        // bytes
inline constexpr TwoThresholds kPhraseMedianThresholds{48, 90};         // bytes
inline constexpr TwoThresholds kPhraseMaxThresholds{116, 160};          // bytes
inline constexpr TwoThresholds kBunsetsuMedianThresholds{6, 12};        // function words per phrase
inline constexpr TwoThresholds kBunsetsuMaxThresholds{13, 17};          // function words per phrase
inline constexpr TwoThresholds kPassiveThresholds{0.31, 0.54};          // passive rate / phrases
inline constexpr TwoThresholds kAttributiveThresholds{2, 3};            // sentences
inline constexpr TwoThresholds kContinuativeThresholds{1, 2};           // sentences
inline constexpr TwoThresholds kLongReadingThresholds{0.27, 0.15};      // share, smaller is worse
inline constexpr double kKanaKanjiBands[4] = {0.66, 0.94, 1.28, 1.77};  // kana / kanji bytes

// A sentence counts among the attributive sentences above this many noun-modifying
// predicates, among the continuative sentences above this many continuative forms and
// conjunctive particles; a kanji-noun run has a long reading above this many bytes.
inline constexpr uint32_t kAttributivePerSentence = 5;
inline constexpr uint32_t kLinksPerSentence = 7;
inline constexpr uint32_t kLongReadingBytes = 9;
inline constexpr uint32_t kLongerReadingBytes = 11;

// Judgements of phrases, sentences and bunsetsu need at least this many phrases.
inline constexpr int32_t kMinimumPhrases = 3;

}  // namespace tavi
