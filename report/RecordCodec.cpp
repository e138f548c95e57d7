#include "report/RecordCodec.h"

#include <type_traits>
#include <utility>

#include "document/ParamArchive.h"
#include "evaluation/RecordMembers.h"

namespace tavi {
namespace {

template <typename Archive>
void Span(Archive& io, TextSpan& span) {
    io.Int(span.begin);
    io.Int(span.end);
}

// A count, then each item.
template <typename Archive, typename T, typename F>
void List(Archive& io, std::vector<T>& items, F each) {
    int32_t count = static_cast<int32_t>(items.size());
    io.Int(count);
    if (!io.Count(count)) return;
    items.resize(static_cast<size_t>(count));
    for (T& item : items) each(item);
}

template <typename Archive>
void Spans(Archive& io, std::vector<TextSpan>& spans) {
    List(io, spans, [&](TextSpan& span) { Span(io, span); });
}

// Every member of the evidence but the row positions, which only the extraction uses.
template <typename Archive>
void EvidenceFields(Archive& io, EssayEvidence& e) {
    io.Str(e.text);
    io.Flag(e.rhetoricRecorded);
    List(io, e.sentences, [&](SentenceEvidence& s) {
        Span(io, s.span);
        for (uint32_t* v : {&s.bytes, &s.attributive, &s.links, &s.passives}) io.Int(*v);
        for (auto* spans : {&s.attributiveAt, &s.linksAt, &s.passivesAt}) Spans(io, *spans);
    });
    List(io, e.phrases, [&](PhraseEvidence& p) {
        Span(io, p.span);
        io.Int(p.bytes);
        io.Int(p.functionWords);
    });
    List(io, e.kanjiRuns, [&](KanjiRunEvidence& run) {
        Span(io, run.span);
        io.Str(run.reading);
        io.Int(run.readingBytes);
    });
    List(io, e.kanjiNouns, [&](WordEvidence& noun) {
        io.Str(noun.word);
        io.Int(noun.count);
        Spans(io, noun.at);
    });
    for (uint32_t* v : {&e.kanjiBytes, &e.kanaBytes, &e.passives}) io.Int(*v);
    io.Flag(e.organizationRecorded);
    List(io, e.organization, [&](OrganizationSentence& sentence) {
        Span(io, sentence.span);
        for (auto* hits : {&sentence.cueWords, &sentence.demonstratives})
            List(io, *hits, [&](CueWordHit& hit) {
                io.Str(hit.word);
                io.Int(hit.group);
                Span(io, hit.at);
            });
    });
    io.Flag(e.contentRecorded);
    for (auto* nouns : {&e.sharedNouns, &e.missingNouns})
        List(io, *nouns, [&](ContentNounEvidence& noun) {
            io.Str(noun.key);
            io.Str(noun.surface);
            io.Int(noun.answerCount);
            io.Int(noun.questionCount);
            Spans(io, noun.at);
        });
}

// The members of the record that are features and scores: reals, counts and flags. They stand
// together in the table, after the file's identity and before the comment text.
template <typename T>
constexpr bool kIsFeature = std::is_same_v<T, double> || std::is_same_v<T, int32_t> || std::is_same_v<T, bool>;
constexpr size_t kFirstFeature = [] {
    size_t first = 0, runs = 0;
    bool inFeatures = false;
    ForEachRecordMember([&](const auto& entry, auto index) {
        bool feature = kIsFeature<RecordMemberType<decltype(entry)>>;
        if (feature && !inFeatures) first = decltype(index)::value, ++runs;
        inFeatures = feature;
    });
    return runs == 1 ? first : throw "the features and scores do not stand together";
}();

// The place of a member in the encoding: the members before the features, every real, every
// count, every flag (each kind in table order), then the members after the features.
template <typename T, size_t index>
constexpr int kPlace = std::is_same_v<T, double>    ? 1
                       : std::is_same_v<T, int32_t> ? 2
                       : std::is_same_v<T, bool>    ? 3
                       : index < kFirstFeature      ? 0
                                                    : 4;

// One walk of the members, used in both directions so the two cannot drift apart.
template <typename Archive, typename Record>
void Fields(Archive& io, Record& r, bool withEvidence) {
    auto put = [&](auto& value) {
        using T = std::remove_cvref_t<decltype(value)>;
        if constexpr (std::is_same_v<T, std::string>) {
            io.Str(value);
        } else if constexpr (std::is_same_v<T, double>) {
            io.Real(value);
        } else if constexpr (std::is_same_v<T, bool>) {
            io.Flag(value);
        } else {
            io.Int(value);
        }
    };
    [&]<int... place>(std::integer_sequence<int, place...>) {
        (ForEachRecordMember([&](const auto& entry, auto index) {
             if constexpr (kPlace<RecordMemberType<decltype(entry)>, decltype(index)::value> == place)
                 put(r.*entry.member);
         }),
         ...);
    }
    (std::make_integer_sequence<int, 5>());
    for (auto& bytes : r.axisCommentBytes) io.Int(bytes);
    bool hasEvidence = r.evidence != nullptr;
    io.Flag(hasEvidence);
    if (!hasEvidence || !withEvidence) return;
    if constexpr (std::is_same_v<Archive, ArchiveReader>) {
        auto evidence = std::make_shared<EssayEvidence>();
        EvidenceFields(io, *evidence);
        r.evidence = std::move(evidence);
    } else {
        // Writing only reads the evidence (the lists keep their sizes), which may be shared.
        EvidenceFields(io, const_cast<EssayEvidence&>(*r.evidence));
    }
}

}  // namespace

std::string EncodeRecord(const EssayRecord& record) {
    ParamArchive ar;
    ArchiveWriter w{ar};
    Fields(w, record, true);
    return ar.Bytes();
}

bool DecodeRecord(const std::string& bytes, EssayRecord& record, bool withEvidence) {
    ParamArchive ar(bytes);
    ArchiveReader r{ar};
    Fields(r, record, withEvidence);
    // The axes' shares must make up the comment text exactly.
    unsigned long long shares = 0;
    for (uint32_t bytes : record.axisCommentBytes) shares += bytes;
    return !ar.Failed() && (ar.AtEnd() || !withEvidence) && shares == record.commentText.size();
}

}  // namespace tavi
