#include "evaluation/CommentTable.h"
#include "evaluation/EssayRecord.h"
#include "evaluation/RhetoricThresholds.h"

namespace tavi {
namespace {

// Class given to a feature that cannot be judged, and the comment class that says so.
constexpr int kUnjudgedClass = 2;
constexpr int kCannotJudge = -1;

int Classify(double x, TwoThresholds t) { return ClassifyTwoThresholds(x, t.first, t.second); }

}  // namespace

double EssayRecord::ScoreRhetoric(const ScoringParams& params) {
    if (rhetoricScored) return rhetoricScore;
    ClearAxisComments(kRhetoricComments);
    double score = 1.0;

    // Yule's K, larger is more repetitive.
    int vocabularyClass = Classify(vocabularyDiversity, kVocabularyThresholds);
    AddComment(kVocabularyComment, vocabularyClass);
    score = Deduct(score, vocabularyClass, params.vocabularyDiversityWeight);

    // Phrase lengths in bytes.
    int phraseMedianClass = kUnjudgedClass;
    int phraseMaxClass = kUnjudgedClass;
    if (phraseStatsCount >= kMinimumPhrases) {
        phraseMedianClass = Classify(phraseLengthMedian, kPhraseMedianThresholds);
        phraseMaxClass = Classify(phraseLengthMax, kPhraseMaxThresholds);
        AddComment(kPhraseLengthMedianComment, phraseMedianClass);
        AddComment(kPhraseLengthMaxComment, phraseMaxClass);
    } else {
        AddComment(kPhraseLengthMedianComment, kCannotJudge);
        AddComment(kPhraseLengthMaxComment, kCannotJudge);
    }
    score = Deduct(score, phraseMedianClass, params.phraseLengthMedianWeight);
    score = Deduct(score, phraseMaxClass, params.phraseLengthMaxWeight);

    // Sentence-level features. The passive rate is per phrase and is divided once more by the
    // number of phrases. The cannot-judge comments put 12 before 11.
    int sentenceMedianClass = kUnjudgedClass;
    int sentenceMaxClass = kUnjudgedClass;
    int passiveClass = kUnjudgedClass;
    int attributiveClass = kUnjudgedClass;
    int continuativeClass = kUnjudgedClass;
    if (sentenceStatsCount >= kMinimumPhrases) {
        sentenceMedianClass = Classify(sentenceLengthMedian, kSentenceMedianThresholds);
        sentenceMaxClass = Classify(sentenceLengthMax, kSentenceMaxThresholds);
        passiveClass = Classify(passiveRate / sentenceStatsCount, kPassiveThresholds);
        attributiveClass = Classify(attributiveSentences, kAttributiveThresholds);
        continuativeClass = Classify(continuativeSentences, kContinuativeThresholds);
        AddComment(kSentenceLengthMedianComment, sentenceMedianClass);
        AddComment(kSentenceLengthMaxComment, sentenceMaxClass);
        AddComment(kPassiveComment, passiveClass);
        AddComment(kAttributiveComment, attributiveClass);
        AddComment(kContinuativeComment, continuativeClass);
    } else {
        AddComment(kSentenceLengthMedianComment, kCannotJudge);
        AddComment(kSentenceLengthMaxComment, kCannotJudge);
        AddComment(kPassiveComment, kCannotJudge);
        AddComment(kContinuativeComment, kCannotJudge);
        AddComment(kAttributiveComment, kCannotJudge);
    }
    score = Deduct(score, sentenceMedianClass, params.sentenceLengthMedianWeight);
    score = Deduct(score, sentenceMaxClass, params.sentenceLengthMaxWeight);
    score = Deduct(score, passiveClass, params.passiveRateWeight);
    score = Deduct(score, attributiveClass, params.attributiveSentencesWeight);
    score = Deduct(score, continuativeClass, params.continuativeSentencesWeight);

    // Function words per phrase.
    int bunsetsuMedianClass = kUnjudgedClass;
    int bunsetsuMaxClass = kUnjudgedClass;
    if (bunsetsuStatsCount >= kMinimumPhrases) {
        bunsetsuMedianClass = Classify(bunsetsuPerPhraseMedian, kBunsetsuMedianThresholds);
        bunsetsuMaxClass = Classify(bunsetsuPerPhraseMax, kBunsetsuMaxThresholds);
        AddComment(kBunsetsuMedianComment, bunsetsuMedianClass);
        AddComment(kBunsetsuMaxComment, bunsetsuMaxClass);
    } else {
        AddComment(kBunsetsuMedianComment, kCannotJudge);
        AddComment(kBunsetsuMaxComment, kCannotJudge);
    }
    score = Deduct(score, bunsetsuMedianClass, params.bunsetsuPerPhraseMedianWeight);
    score = Deduct(score, bunsetsuMaxClass, params.bunsetsuPerPhraseMaxWeight);

    // Kanji: the comment gets the band (1, 2 too many kanji; 3, 4 too few), the deduction the
    // band folded into a class: bands 1 and 4 are class 2, bands 2 and 3 class 1.
    int kanjiClass = kUnjudgedClass;
    int longReadingClass = kUnjudgedClass;
    if (kanaKanjiRatio != 0) {
        int band = ClassifyBand(kanaKanjiRatio, kKanaKanjiBands[0], kKanaKanjiBands[1], kKanaKanjiBands[2],
                                kKanaKanjiBands[3]);
        longReadingClass = Classify(longReadingKanji, kLongReadingThresholds);
        AddComment(kKanjiShareComment, band);
        AddComment(kLongReadingComment, longReadingClass);
        kanjiClass = band == 0 ? 0 : band > 2.5 ? band - 2 : 3 - band;
    } else {
        AddComment(kKanjiShareComment, kCannotJudge);
        AddComment(kLongReadingComment, kCannotJudge);
    }
    score = Deduct(score, kanjiClass, params.kanaKanjiRatioWeight);
    score = Deduct(score, longReadingClass, params.longReadingKanjiWeight);

    rhetoricScore = score;
    rhetoricScored = true;
    return rhetoricScore;
}

}  // namespace tavi
