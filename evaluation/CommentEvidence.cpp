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

}  // namespace

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
