#include "report/EvidenceJson.h"

#include <nlohmann/json.hpp>

#include "analysis/Encoding.h"
#include "evaluation/CommentEvidence.h"

namespace tavi {
namespace {

using Json = nlohmann::ordered_json;

class EvidenceWriter {
public:
    EvidenceWriter(const EssayRecord& record, const ScoringParams& params)
        : m_record(record), m_params(params), m_evidence(*record.evidence), m_index(m_evidence.text) {}

    Json Write() {
        Json root;
        root["text"] = SjisToUtf8(m_evidence.text);
        Json comments = Json::array();
        for (ReceivedComment& comment : ReceivedComments(m_record.commentText)) {
            const CommentDescription d = DescribeComment(m_record, m_params, std::move(comment));
            Json entry;
            entry["index"] = d.comment.index;
            entry["class"] = d.comment.commentClass;
            entry["comment"] = SjisToUtf8(d.comment.text);
            Support(d, entry);
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
    Json Hit(const CueWordHit& hit, bool withGroup) const {
        Json j = Span(hit.at);
        j["word"] = SjisToUtf8(hit.word);
        if (withGroup) j["group"] = hit.group;
        return j;
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

    // The description of one comment, added to its entry.
    void Support(const CommentDescription& d, Json& entry) const {
        if (d.passives) {
            entry["passives"] = d.passives->passives;
            entry["phrases"] = d.passives->phrases;
        }
        // The kanji comments show their counts instead of a value against thresholds.
        if (d.value && !d.kanji) {
            entry["value"] = *d.value;
            if (!d.thresholds.empty()) {
                Json& thresholds = entry["thresholds"] = Json::array();
                for (double threshold : d.thresholds) thresholds.push_back(threshold);
            }
        }
        if (d.counted && d.counted->perSentence) entry["perSentence"] = *d.counted->perSentence;
        if (d.vocabulary) {
            entry["distinctKanjiNouns"] = d.vocabulary->distinct;
            entry["kanjiNounOccurrences"] = d.vocabulary->occurrences;
            entry["repeated"] = List(d.vocabulary->repeated, [&](const WordEvidence* noun) {
                Json j;
                j["word"] = SjisToUtf8(noun->word);
                j["count"] = noun->count;
                j["at"] = Spans(noun->at);
                return j;
            });
        }
        if (d.sentences) {
            entry["longest"] = Sentence(d.sentences->longest);
            entry["sentences"] = List(d.sentences->listed, [&](const SentenceEvidence* s) { return Sentence(s); });
        }
        if (d.phrases) {
            entry[d.phrases->byFunctionWords ? "most" : "longest"] = Phrase(d.phrases->top);
            entry["phrases"] = List(d.phrases->listed, [&](const PhraseEvidence* p) { return Phrase(p); });
        }
        if (d.counted) {
            Json& sentences = entry["sentences"] = Json::array();
            for (const CountedSentence& s : d.counted->sentences) {
                Json j = Span(s.sentence->span, true);
                j["count"] = s.count;
                j["words"] = Spans(*s.at);
                sentences.push_back(std::move(j));
            }
        }
        if (d.kanji) {
            entry["kanjiBytes"] = d.kanji->kanjiBytes;
            entry["kanaBytes"] = d.kanji->kanaBytes;
            entry["kanaKanjiRatio"] = d.kanji->kanaKanjiRatio;
            entry["kanjiRuns"] = d.kanji->runs;
            entry["longReadingShare"] = d.kanji->longReadingShare;
            entry["longReadingRuns"] = List(d.kanji->longReadings, [&](const KanjiRunEvidence* run) {
                Json j = Span(run->span, true);
                j["reading"] = SjisToUtf8(run->reading);
                j["readingBytes"] = run->readingBytes;
                return j;
            });
        }
        if (d.hits) {
            const bool withGroup = !d.hits->demonstratives;
            entry[withGroup ? "cueWords" : "demonstratives"] =
                List(d.hits->hits, [&](const CueWordHit* hit) { return Hit(*hit, withGroup); });
        }
        if (d.length) {
            entry["textLength"] = d.length->textLength;
            entry["expectedBytes"] = d.length->expectedBytes;
            entry["ratio"] = d.length->ratio;
        }
        if (d.content) {
            entry["shared"] = Nouns(*d.content->shared, true);
            entry["missing"] = Nouns(*d.content->missing, false);
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
