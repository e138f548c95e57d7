#pragma once

#include <cstdint>

#include "evaluation/CommentTable.h"
#include "evaluation/EssayRecord.h"
#include "evaluation/ScoringParams.h"

namespace tavi {

// A sentence counts among the attributive sentences above this many noun-modifying
// predicates, among the continuative sentences above this many continuative forms and
// conjunctive particles; a kanji-noun run has a long reading above this many bytes.
inline constexpr uint32_t kAttributivePerSentence = 5;
inline constexpr uint32_t kLinksPerSentence = 7;
inline constexpr uint32_t kLongReadingBytes = 9;
inline constexpr uint32_t kLongerReadingBytes = 11;

// Judgements of phrases, sentences and bunsetsu need at least this many phrases.
inline constexpr int32_t kMinimumPhrases = 3;

// What a rhetoric feature needs before it can be judged.
enum RhetoricGate {
    kAlwaysJudged,
    kPhraseGate,    // phraseStatsCount >= kMinimumPhrases
    kSentenceGate,  // sentenceStatsCount >= kMinimumPhrases
    kBunsetsuGate,  // bunsetsuStatsCount >= kMinimumPhrases
    kKanjiGate,     // kanaKanjiRatio != 0 (the answer has kanji)
};

// One judged rhetoric feature. Lengths are bytes of Shift_JIS (2 per full-width character).
struct RhetoricFeature {
    CommentIndex comment;
    double EssayRecord::*value;
    // Two thresholds (ClassifyTwoThresholds), or with `band` the four limits of ClassifyBand.
    double thresholds[4];
    double ScoringParams::*ratio;
    RhetoricGate gate;
    int32_t EssayRecord::*per = nullptr;  // when set, the value judged is value / per
    bool band = false;

    double Value(const EssayRecord& record) const { return per ? record.*value / (record.*per) : record.*value; }
};

// The twelve rhetoric features in the order in which the score judges them and deducts.
// clang-format off
inline constexpr RhetoricFeature kRhetoricFeatures[] = {
    // Yule's K of the kanji nouns, larger is more repetitive.
    {kVocabularyComment, &EssayRecord::vocabularyDiversity, {112, 172}, &ScoringParams::vocabularyDiversityWeight,
     kAlwaysJudged},
    {kPhraseLengthMedianComment, &EssayRecord::phraseLengthMedian, {48, 90}, &ScoringParams::phraseLengthMedianWeight,
     kPhraseGate},
    {kPhraseLengthMaxComment, &EssayRecord::phraseLengthMax, {116, 160}, &ScoringParams::phraseLengthMaxWeight,
     kPhraseGate},
    {kSentenceLengthMedianComment, &EssayRecord::sentenceLengthMedian, {100, 178},
     &ScoringParams::sentenceLengthMedianWeight, kSentenceGate},
    {kSentenceLengthMaxComment, &EssayRecord::sentenceLengthMax, {198, 272}, &ScoringParams::sentenceLengthMaxWeight,
     kSentenceGate},
    // Passives per phrase, divided once more by the number of phrases.
    {kPassiveComment, &EssayRecord::passiveRate, {0.31, 0.54}, &ScoringParams::passiveRateWeight, kSentenceGate,
     &EssayRecord::sentenceStatsCount},
    {kAttributiveComment, &EssayRecord::attributiveSentences, {2, 3}, &ScoringParams::attributiveSentencesWeight,
     kSentenceGate},
    {kContinuativeComment, &EssayRecord::continuativeSentences, {1, 2}, &ScoringParams::continuativeSentencesWeight,
     kSentenceGate},
    // Function words per phrase.
    {kBunsetsuMedianComment, &EssayRecord::bunsetsuPerPhraseMedian, {6, 12},
     &ScoringParams::bunsetsuPerPhraseMedianWeight, kBunsetsuGate},
    {kBunsetsuMaxComment, &EssayRecord::bunsetsuPerPhraseMax, {13, 17}, &ScoringParams::bunsetsuPerPhraseMaxWeight,
     kBunsetsuGate},
    // Kana bytes per kanji byte, judged by band; the middle band is good.
    {kKanjiShareComment, &EssayRecord::kanaKanjiRatio, {0.66, 0.94, 1.28, 1.77}, &ScoringParams::kanaKanjiRatioWeight,
     kKanjiGate, nullptr, true},
    // Share of kanji-noun runs with a long reading, smaller is worse.
    {kLongReadingComment, &EssayRecord::longReadingKanji, {0.27, 0.15}, &ScoringParams::longReadingKanjiWeight,
     kKanjiGate},
};
// clang-format on

// The feature that comment `index` judges, or null when the comment is no rhetoric comment.
inline const RhetoricFeature* FindRhetoricFeature(int index) {
    for (const RhetoricFeature& feature : kRhetoricFeatures)
        if (feature.comment == index) return &feature;
    return nullptr;
}

}  // namespace tavi
