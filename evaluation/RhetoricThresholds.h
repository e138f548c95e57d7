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
    int32_t EssayRecord::*per;  // when set, the value judged is value / per
    // Two thresholds (ClassifyTwoThresholds), or with `band` the four limits of ClassifyBand.
    double thresholds[4];
    bool band;
    double ScoringParams::*ratio;
    RhetoricGate gate;

    double Value(const EssayRecord& record) const {
        return per ? record.*value / (record.*per) : record.*value;
    }
};

// The twelve rhetoric features in the order in which the score judges them and deducts.
inline constexpr RhetoricFeature kRhetoricFeatures[] = {
    // Yule's K of the kanji nouns, larger is more repetitive.
    {kVocabularyComment, &EssayRecord::vocabularyDiversity, nullptr, {112, 172}, false,
     &ScoringParams::vocabularyDiversityWeight, kAlwaysJudged},
    {kPhraseLengthMedianComment, &EssayRecord::phraseLengthMedian, nullptr, {48, 90}, false,
     &ScoringParams::phraseLengthMedianWeight, kPhraseGate},
    {kPhraseLengthMaxComment, &EssayRecord::phraseLengthMax, nullptr, {116, 160}, false,
     &ScoringParams::phraseLengthMaxWeight, kPhraseGate},
    {kSentenceLengthMedianComment, &EssayRecord::sentenceLengthMedian, nullptr, {100, 178}, false,
     &ScoringParams::sentenceLengthMedianWeight, kSentenceGate},
    {kSentenceLengthMaxComment, &EssayRecord::sentenceLengthMax, nullptr, {198, 272}, false,
     &ScoringParams::sentenceLengthMaxWeight, kSentenceGate},
    // Passives per phrase, divided once more by the number of phrases.
    {kPassiveComment, &EssayRecord::passiveRate, &EssayRecord::sentenceStatsCount, {0.31, 0.54}, false,
     &ScoringParams::passiveRateWeight, kSentenceGate},
    {kAttributiveComment, &EssayRecord::attributiveSentences, nullptr, {2, 3}, false,
     &ScoringParams::attributiveSentencesWeight, kSentenceGate},
    {kContinuativeComment, &EssayRecord::continuativeSentences, nullptr, {1, 2}, false,
     &ScoringParams::continuativeSentencesWeight, kSentenceGate},
    // Function words per phrase.
    {kBunsetsuMedianComment, &EssayRecord::bunsetsuPerPhraseMedian, nullptr, {6, 12}, false,
     &ScoringParams::bunsetsuPerPhraseMedianWeight, kBunsetsuGate},
    {kBunsetsuMaxComment, &EssayRecord::bunsetsuPerPhraseMax, nullptr, {13, 17}, false,
     &ScoringParams::bunsetsuPerPhraseMaxWeight, kBunsetsuGate},
    // Kana bytes per kanji byte; the middle band is good.
    {kKanjiShareComment, &EssayRecord::kanaKanjiRatio, nullptr, {0.66, 0.94, 1.28, 1.77}, true,
     &ScoringParams::kanaKanjiRatioWeight, kKanjiGate},
    // Share of kanji-noun runs with a long reading, smaller is worse.
    {kLongReadingComment, &EssayRecord::longReadingKanji, nullptr, {0.27, 0.15}, false,
     &ScoringParams::longReadingKanjiWeight, kKanjiGate},
};

// The feature that comment `index` judges, or null when the comment is no rhetoric comment.
inline const RhetoricFeature* FindRhetoricFeature(int index) {
    for (const RhetoricFeature& feature : kRhetoricFeatures)
        if (feature.comment == index) return &feature;
    return nullptr;
}

}  // namespace tavi
