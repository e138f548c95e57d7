#pragma once

#include <string>
#include <vector>

#include "evaluation/EssayEvidence.h"

namespace tavi {

// A comment that an answer received, read back from its comment text.
struct ReceivedComment {
    int index = 0;         // 1 to 16
    int commentClass = 0;  // as passed to AddComment (-1 cannot be judged)
    std::string text;      // Shift_JIS, without line feed
};

// The comments of a comment text in their order; lines that are no comment of the table are skipped.
std::vector<ReceivedComment> ReceivedComments(const std::string& commentText);

// Which evidence explains each comment, chosen from the lists that the extractions recorded.
// Sentences and phrases are chosen by the length or count that the comment judges: the longest
// (first of equals) and every one at or above the threshold where the comment's class 1 starts
// (the first threshold of its feature in kRhetoricFeatures).

// Comments 2 and 3.
const SentenceEvidence* LongestSentence(const EssayEvidence& evidence);
std::vector<const SentenceEvidence*> SentencesFrom(const EssayEvidence& evidence, double minimumBytes);
// Comments 4 and 5.
const PhraseEvidence* LongestPhrase(const EssayEvidence& evidence);
std::vector<const PhraseEvidence*> PhrasesFrom(const EssayEvidence& evidence, double minimumBytes);
// Comments 6 and 7.
const PhraseEvidence* MostFunctionWords(const EssayEvidence& evidence);
std::vector<const PhraseEvidence*> PhrasesWithFunctionWordsFrom(const EssayEvidence& evidence, double minimum);
// Comment 8: the sentences that hold a passive suffix.
std::vector<const SentenceEvidence*> PassiveSentences(const EssayEvidence& evidence);
// Comment 11: the sentences with noun-modifying predicates, and of those the ones that count
// (more than kAttributivePerSentence).
std::vector<const SentenceEvidence*> AttributiveSentences(const EssayEvidence& evidence, bool countedOnly);
// Comment 12: likewise for continuative forms and conjunctive particles (kLinksPerSentence).
std::vector<const SentenceEvidence*> LinkedSentences(const EssayEvidence& evidence, bool countedOnly);
// Comments 9 and 10: the kanji-noun runs whose reading is long (above kLongReadingBytes).
std::vector<const KanjiRunEvidence*> LongReadingRuns(const EssayEvidence& evidence);
// Comment 1: the kanji nouns that occur more than once, most frequent first, at most `limit`.
std::vector<const WordEvidence*> RepeatedKanjiNouns(const EssayEvidence& evidence, size_t limit);

}  // namespace tavi
