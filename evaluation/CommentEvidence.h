#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "evaluation/EssayEvidence.h"
#include "evaluation/EssayRecord.h"
#include "evaluation/ScoringParams.h"

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

// Repeated kanji nouns that describe the vocabulary comment.
inline constexpr size_t kRepeatedNounsListed = 10;

// A sentence with the morphemes of one kind that were counted in it.
struct CountedSentence {
    const SentenceEvidence* sentence = nullptr;
    uint32_t count = 0;
    const std::vector<TextSpan>* at = nullptr;  // where each was counted
    bool counts = false;                        // above the limit per sentence: it counts toward the feature
};

// What supports one comment that an answer received: the value judged, the thresholds it was
// judged against, the counts behind it and its places in the text, chosen once for every way
// of showing evidence. Besides the value, one block is set by the comment's index, and the
// passive comment adds its counts. Pointers point into the record's evidence, which must
// outlive the description.
struct CommentDescription {
    ReceivedComment comment;

    // The value judged: a rhetoric feature's value, the total of cue words or demonstratives,
    // the content similarity; unset for the length comment, whose block holds its ratio.
    std::optional<double> value;
    // A rhetoric feature's thresholds: two, or the four band limits of the kanji share.
    std::span<const double> thresholds;

    // Comment 1: the kanji nouns, and the repeated ones, most frequent first (at most
    // kRepeatedNounsListed).
    struct KanjiNouns {
        size_t distinct = 0;
        uint32_t occurrences = 0;
        std::vector<const WordEvidence*> repeated;
    };
    std::optional<KanjiNouns> vocabulary;

    // Comments 2 and 3: the longest sentence (first of equals; null without sentences) and
    // every one of `from` bytes or more, where the comment's class 1 starts.
    struct RankedSentences {
        double from = 0;
        const SentenceEvidence* longest = nullptr;
        std::vector<const SentenceEvidence*> listed;
    };
    std::optional<RankedSentences> sentences;

    // Comments 4 and 5 by length in bytes, 6 and 7 by function words: the top phrase and
    // every one from `from`.
    struct RankedPhrases {
        bool byFunctionWords = false;
        double from = 0;
        const PhraseEvidence* top = nullptr;
        std::vector<const PhraseEvidence*> listed;
    };
    std::optional<RankedPhrases> phrases;

    // Comment 8: the passive suffixes of the whole answer and the phrases the rate divides by.
    struct PassiveCounts {
        uint32_t passives = 0;
        int32_t phrases = 0;
    };
    std::optional<PassiveCounts> passives;

    // Comments 8, 11 and 12: every sentence with a passive suffix, a noun-modifying predicate,
    // or a continuative form or conjunctive particle. A sentence counts above `perSentence`
    // of them (unset for passives: every one counts).
    struct CountedSentences {
        std::optional<uint32_t> perSentence;
        std::vector<CountedSentence> sentences;
    };
    std::optional<CountedSentences> counted;

    // Comments 9 and 10: kanji and kana bytes, kanji-noun runs and the ones with a long reading.
    struct KanjiCounts {
        uint32_t kanjiBytes = 0;
        uint32_t kanaBytes = 0;
        double kanaKanjiRatio = 0;
        size_t runs = 0;
        double longReadingShare = 0;
        std::vector<const KanjiRunEvidence*> longReadings;
    };
    std::optional<KanjiCounts> kanji;

    // Comments 13 and 14: every demonstrative or cue word that counted, in text order.
    struct Hits {
        bool demonstratives = false;
        std::vector<const CueWordHit*> hits;
    };
    std::optional<Hits> hits;

    // Comment 15: the length (bytes, symbols not counted) against the expected length in bytes.
    struct Length {
        double textLength = 0;
        double expectedBytes = 0;
        double ratio = 0;
    };
    std::optional<Length> length;

    // Comment 16: the content nouns shared with the question and those only in the question.
    struct ContentNouns {
        const std::vector<ContentNounEvidence>* shared = nullptr;
        const std::vector<ContentNounEvidence>* missing = nullptr;
    };
    std::optional<ContentNouns> content;
};

// What supports `comment`, one of the record's received comments; only the comment when the
// record holds no evidence. `params` gives the expected length.
CommentDescription DescribeComment(const EssayRecord& record, const ScoringParams& params, ReceivedComment comment);

}  // namespace tavi
