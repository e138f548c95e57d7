#include "evaluation/CommentEvidence.h"

#include "evaluation/CommentTable.h"
#include "evaluation/RhetoricThresholds.h"

namespace tavi {
namespace {

template <typename T, typename Value>
const T* Largest(const std::vector<T>& items, Value value) {
    const T* best = nullptr;
    for (const T& item : items)
        if (!best || value(item) > value(*best)) best = &item;
    return best;
}

template <typename T, typename Keep>
std::vector<const T*> Select(const std::vector<T>& items, Keep keep) {
    std::vector<const T*> kept;
    for (const T& item : items)
        if (keep(item)) kept.push_back(&item);
    return kept;
}

std::vector<CountedSentence> Counted(const std::vector<const SentenceEvidence*>& sentences,
                                     uint32_t SentenceEvidence::*count, std::vector<TextSpan> SentenceEvidence::*at,
                                     uint32_t perSentence) {
    std::vector<CountedSentence> counted;
    counted.reserve(sentences.size());
    for (const SentenceEvidence* s : sentences) counted.push_back({s, s->*count, &(s->*at), s->*count > perSentence});
    return counted;
}

std::vector<const CueWordHit*> Hits(const EssayEvidence& evidence, std::vector<CueWordHit> OrganizationSentence::*of) {
    std::vector<const CueWordHit*> hits;
    for (const OrganizationSentence& sentence : evidence.organization)
        for (const CueWordHit& hit : sentence.*of) hits.push_back(&hit);
    return hits;
}

}  // namespace

CommentDescription DescribeComment(const EssayRecord& record, const ScoringParams& params, ReceivedComment comment) {
    CommentDescription d;
    d.comment = std::move(comment);
    if (!record.evidence) return d;
    const EssayEvidence& e = *record.evidence;
    const RhetoricFeature* feature = FindRhetoricFeature(d.comment.index);
    if (feature) {
        d.value = feature->Value(record);
        d.thresholds = std::span<const double>(feature->thresholds, feature->band ? 4 : 2);
    }
    switch (d.comment.index) {
        case kVocabularyComment: {
            CommentDescription::KanjiNouns nouns;
            nouns.distinct = e.kanjiNouns.size();
            for (const WordEvidence& noun : e.kanjiNouns) nouns.occurrences += noun.count;
            nouns.repeated = RepeatedKanjiNouns(e, kRepeatedNounsListed);
            d.vocabulary = std::move(nouns);
            break;
        }
        case kSentenceLengthMedianComment:
        case kSentenceLengthMaxComment: {
            const double from = feature->thresholds[0];
            d.sentences = {from, LongestSentence(e), SentencesFrom(e, from)};
            break;
        }
        case kPhraseLengthMedianComment:
        case kPhraseLengthMaxComment: {
            const double from = feature->thresholds[0];
            d.phrases = {false, from, LongestPhrase(e), PhrasesFrom(e, from)};
            break;
        }
        case kBunsetsuMedianComment:
        case kBunsetsuMaxComment: {
            const double from = feature->thresholds[0];
            d.phrases = {true, from, MostFunctionWords(e), PhrasesWithFunctionWordsFrom(e, from)};
            break;
        }
        case kPassiveComment:
            d.passives = {e.passives, record.sentenceStatsCount};
            d.counted = {std::nullopt,
                         Counted(PassiveSentences(e), &SentenceEvidence::passives, &SentenceEvidence::passivesAt, 0)};
            break;
        case kKanjiShareComment:
        case kLongReadingComment:
            d.kanji = {
                e.kanjiBytes,      e.kanaBytes, record.kanaKanjiRatio, e.kanjiRuns.size(), record.longReadingKanji,
                LongReadingRuns(e)};
            break;
        case kAttributiveComment:
            d.counted = {kAttributivePerSentence,
                         Counted(AttributiveSentences(e, false), &SentenceEvidence::attributive,
                                 &SentenceEvidence::attributiveAt, kAttributivePerSentence)};
            break;
        case kContinuativeComment:
            d.counted = {kLinksPerSentence, Counted(LinkedSentences(e, false), &SentenceEvidence::links,
                                                    &SentenceEvidence::linksAt, kLinksPerSentence)};
            break;
        case kDemonstrativeComment:
            d.value = record.demonstrativeTotal;
            d.hits = {true, Hits(e, &OrganizationSentence::demonstratives)};
            break;
        case kCueWordComment:
            d.value = record.cueWordTotal;
            d.hits = {false, Hits(e, &OrganizationSentence::cueWords)};
            break;
        case kLengthComment: {
            const double expectedBytes = params.expectedLength * 2.0;
            d.length = {record.textLength, expectedBytes, record.textLength / expectedBytes};
            break;
        }
        case kContentComment:
            d.value = record.contentSimilarity;
            d.content = {&e.sharedNouns, &e.missingNouns};
            break;
        default:
            break;
    }
    return d;
}

std::vector<ReceivedComment> ReceivedComments(const std::string& commentText) {
    std::vector<ReceivedComment> comments;
    size_t start = 0;
    while (start < commentText.size()) {
        size_t end = commentText.find('\n', start);
        if (end == std::string::npos) end = commentText.size();
        ReceivedComment comment;
        comment.text = commentText.substr(start, end - start);
        if (FindCommentKey(comment.text, comment.index, comment.commentClass)) comments.push_back(std::move(comment));
        start = end + 1;
    }
    return comments;
}

const SentenceEvidence* LongestSentence(const EssayEvidence& evidence) {
    return Largest(evidence.sentences, [](const SentenceEvidence& s) { return s.bytes; });
}

std::vector<const SentenceEvidence*> SentencesFrom(const EssayEvidence& evidence, double minimumBytes) {
    return Select(evidence.sentences, [&](const SentenceEvidence& s) { return s.bytes >= minimumBytes; });
}

const PhraseEvidence* LongestPhrase(const EssayEvidence& evidence) {
    return Largest(evidence.phrases, [](const PhraseEvidence& p) { return p.bytes; });
}

std::vector<const PhraseEvidence*> PhrasesFrom(const EssayEvidence& evidence, double minimumBytes) {
    return Select(evidence.phrases, [&](const PhraseEvidence& p) { return p.bytes >= minimumBytes; });
}

const PhraseEvidence* MostFunctionWords(const EssayEvidence& evidence) {
    return Largest(evidence.phrases, [](const PhraseEvidence& p) { return p.functionWords; });
}

std::vector<const PhraseEvidence*> PhrasesWithFunctionWordsFrom(const EssayEvidence& evidence, double minimum) {
    return Select(evidence.phrases, [&](const PhraseEvidence& p) { return p.functionWords >= minimum; });
}

std::vector<const SentenceEvidence*> PassiveSentences(const EssayEvidence& evidence) {
    return Select(evidence.sentences, [](const SentenceEvidence& s) { return s.passives > 0; });
}

std::vector<const SentenceEvidence*> AttributiveSentences(const EssayEvidence& evidence, bool countedOnly) {
    uint32_t above = countedOnly ? kAttributivePerSentence : 0;
    return Select(evidence.sentences, [&](const SentenceEvidence& s) { return s.attributive > above; });
}

std::vector<const SentenceEvidence*> LinkedSentences(const EssayEvidence& evidence, bool countedOnly) {
    uint32_t above = countedOnly ? kLinksPerSentence : 0;
    return Select(evidence.sentences, [&](const SentenceEvidence& s) { return s.links > above; });
}

std::vector<const KanjiRunEvidence*> LongReadingRuns(const EssayEvidence& evidence) {
    return Select(evidence.kanjiRuns, [](const KanjiRunEvidence& r) { return r.readingBytes > kLongReadingBytes; });
}

std::vector<const WordEvidence*> RepeatedKanjiNouns(const EssayEvidence& evidence, size_t limit) {
    std::vector<const WordEvidence*> repeated;
    for (const WordEvidence& noun : evidence.kanjiNouns) {
        if (noun.count < 2 || repeated.size() >= limit) break;  // most frequent first
        repeated.push_back(&noun);
    }
    return repeated;
}

}  // namespace tavi
