#include "report/EvidenceJson.h"

#include <nlohmann/json.hpp>

#include "analysis/Encoding.h"
#include "evaluation/CommentEvidence.h"
#include "evaluation/CommentTable.h"
#include "evaluation/RhetoricThresholds.h"

namespace tavi {
namespace {

using Json = nlohmann::ordered_json;

// Kanji nouns listed for the vocabulary comment.
constexpr size_t kRepeatedNounsShown = 10;

class EvidenceWriter {
public:
    EvidenceWriter(const EssayRecord& record, const ScoringParams& params)
        : m_record(record), m_params(params), m_evidence(*record.evidence), m_index(m_evidence.text) {}

    Json Write() {
        Json root;
        root["text"] = SjisToUtf8(m_evidence.text);
        Json comments = Json::array();
        for (const ReceivedComment& comment : ReceivedComments(m_record.commentText)) {
            Json entry;
            entry["index"] = comment.index;
            entry["class"] = comment.commentClass;
            entry["comment"] = SjisToUtf8(comment.text);
            Support(comment.index, entry);
            comments.push_back(std::move(entry));
        }
        root["comments"] = std::move(comments);
        root["organization"] = Organization();
        return root;
    }

private:
    Json Span(TextSpan span, bool withText = false) const {
        Json j;
        j["begin"] = span.begin;
        j["end"] = span.end;
        if (withText) j["text"] = SjisToUtf8(m_index.Cut(span));
        return j;
    }
    Json Spans(const std::vector<TextSpan>& spans) const {
        Json list = Json::array();
        for (TextSpan span : spans) list.push_back(Span(span));
        return list;
    }
    Json Sentence(const SentenceEvidence* s) const {
        if (!s) return nullptr;
        Json j = Span(s->span, true);
        j["bytes"] = s->bytes;
        return j;
    }
    Json Phrase(const PhraseEvidence* p) const {
        if (!p) return nullptr;
        Json j = Span(p->span, true);
        j["bytes"] = p->bytes;
        j["functionWords"] = p->functionWords;
        return j;
    }
    template <typename T, typename F>
    static Json List(const std::vector<const T*>& items, F each) {
        Json list = Json::array();
        for (const T* item : items) list.push_back(each(item));
        return list;
    }
    // Sentences with the morphemes of one kind counted in them.
    Json CountedSentences(const std::vector<const SentenceEvidence*>& sentences, uint32_t SentenceEvidence::*count,
                          std::vector<TextSpan> SentenceEvidence::*at) const {
        return List(sentences, [&](const SentenceEvidence* s) {
            Json j = Span(s->span, true);
            j["count"] = s->*count;
            j["words"] = Spans(s->*at);
            return j;
        });
    }
    Json Hit(const CueWordHit& hit, bool withGroup) const {
        Json j = Span(hit.at);
        j["word"] = SjisToUtf8(hit.word);
        if (withGroup) j["group"] = hit.group;
        return j;
    }
    Json Hits(bool demonstratives) const {
        Json list = Json::array();
        for (const OrganizationSentence& sentence : m_evidence.organization)
            for (const CueWordHit& hit : demonstratives ? sentence.demonstratives : sentence.cueWords)
                list.push_back(Hit(hit, !demonstratives));
        return list;
    }
    Json Organization() const {
        Json j;
        j["cueWordTotal"] = m_record.cueWordTotal;
        j["demonstrativeTotal"] = m_record.demonstrativeTotal;
        Json sentences = Json::array();
        for (const OrganizationSentence& sentence : m_evidence.organization) {
            Json s = Span(sentence.span, true);
            Json& cueWords = s["cueWords"] = Json::array();
            for (const CueWordHit& hit : sentence.cueWords) cueWords.push_back(Hit(hit, true));
            Json& demonstratives = s["demonstratives"] = Json::array();
            for (const CueWordHit& hit : sentence.demonstratives) demonstratives.push_back(Hit(hit, false));
            sentences.push_back(std::move(s));
        }
        j["sentences"] = std::move(sentences);
        return j;
    }
    Json KanjiRuns() const {
        return List(LongReadingRuns(m_evidence), [&](const KanjiRunEvidence* run) {
            Json j = Span(run->span, true);
            j["reading"] = SjisToUtf8(run->reading);
            j["readingBytes"] = run->readingBytes;
            return j;
        });
    }
    Json Nouns(const std::vector<ContentNounEvidence>& nouns, bool withPlaces) const {
        Json list = Json::array();
        for (const ContentNounEvidence& noun : nouns) {
            Json j;
            j["word"] = SjisToUtf8(noun.surface);
            j["key"] = SjisToUtf8(noun.key);
            if (withPlaces) j["answerCount"] = noun.answerCount;
            j["questionCount"] = noun.questionCount;
            if (withPlaces) j["at"] = Spans(noun.at);
            list.push_back(std::move(j));
        }
        return list;
    }

    // The evidence behind one comment, added to its entry.
    void Support(int index, Json& entry) const {
        const EssayEvidence& e = m_evidence;
        if (index == kPassiveComment) {
            entry["passives"] = e.passives;
            entry["phrases"] = m_record.sentenceStatsCount;
        }
        // The kanji comments show their counts instead of a value against thresholds.
        const RhetoricFeature* feature = FindRhetoricFeature(index);
        if (feature && feature->gate != kKanjiGate) {
            entry["value"] = feature->Value(m_record);
            entry["thresholds"] = Json::array({feature->thresholds[0], feature->thresholds[1]});
        }
        switch (index) {
            case kVocabularyComment: {
                uint32_t occurrences = 0;
                for (const WordEvidence& noun : e.kanjiNouns) occurrences += noun.count;
                entry["distinctKanjiNouns"] = e.kanjiNouns.size();
                entry["kanjiNounOccurrences"] = occurrences;
                entry["repeated"] = List(RepeatedKanjiNouns(e, kRepeatedNounsShown), [&](const WordEvidence* noun) {
                    Json j;
                    j["word"] = SjisToUtf8(noun->word);
                    j["count"] = noun->count;
                    j["at"] = Spans(noun->at);
                    return j;
                });
                break;
            }
            case kSentenceLengthMedianComment:
            case kSentenceLengthMaxComment:
                entry["longest"] = Sentence(LongestSentence(e));
                entry["sentences"] = List(SentencesFrom(e, feature->thresholds[0]),
                                          [&](const SentenceEvidence* s) { return Sentence(s); });
                break;
            case kPhraseLengthMedianComment:
            case kPhraseLengthMaxComment:
                entry["longest"] = Phrase(LongestPhrase(e));
                entry["phrases"] =
                    List(PhrasesFrom(e, feature->thresholds[0]), [&](const PhraseEvidence* p) { return Phrase(p); });
                break;
            case kBunsetsuMedianComment:
            case kBunsetsuMaxComment:
                entry["most"] = Phrase(MostFunctionWords(e));
                entry["phrases"] = List(PhrasesWithFunctionWordsFrom(e, feature->thresholds[0]),
                                        [&](const PhraseEvidence* p) { return Phrase(p); });
                break;
            case kPassiveComment:
                entry["sentences"] =
                    CountedSentences(PassiveSentences(e), &SentenceEvidence::passives, &SentenceEvidence::passivesAt);
                break;
            case kKanjiShareComment:
            case kLongReadingComment:
                entry["kanjiBytes"] = e.kanjiBytes;
                entry["kanaBytes"] = e.kanaBytes;
                entry["kanaKanjiRatio"] = m_record.kanaKanjiRatio;
                entry["kanjiRuns"] = e.kanjiRuns.size();
                entry["longReadingShare"] = m_record.longReadingKanji;
                entry["longReadingRuns"] = KanjiRuns();
                break;
            case kAttributiveComment:
                entry["perSentence"] = kAttributivePerSentence;
                entry["sentences"] = CountedSentences(AttributiveSentences(e, false), &SentenceEvidence::attributive,
                                                      &SentenceEvidence::attributiveAt);
                break;
            case kContinuativeComment:
                entry["perSentence"] = kLinksPerSentence;
                entry["sentences"] =
                    CountedSentences(LinkedSentences(e, false), &SentenceEvidence::links, &SentenceEvidence::linksAt);
                break;
            case kDemonstrativeComment:
                entry["value"] = m_record.demonstrativeTotal;
                entry["demonstratives"] = Hits(true);
                break;
            case kCueWordComment:
                entry["value"] = m_record.cueWordTotal;
                entry["cueWords"] = Hits(false);
                break;
            case kLengthComment:
                entry["textLength"] = m_record.textLength;
                entry["expectedBytes"] = m_params.expectedLength * 2.0;
                entry["ratio"] = m_record.textLength / (m_params.expectedLength * 2.0);
                break;
            case kContentComment:
                entry["value"] = m_record.contentSimilarity;
                entry["shared"] = Nouns(e.sharedNouns, true);
                entry["missing"] = Nouns(e.missingNouns, false);
                break;
            default:
                break;
        }
    }

    const EssayRecord& m_record;
    const ScoringParams& m_params;
    const EssayEvidence& m_evidence;
    CharacterIndex m_index;
};

}  // namespace

nlohmann::ordered_json EvidenceJson(const EssayRecord& record, const ScoringParams& params) {
    return record.evidence ? EvidenceWriter(record, params).Write() : Json();
}

}  // namespace tavi
