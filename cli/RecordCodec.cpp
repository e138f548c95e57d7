#include "cli/RecordCodec.h"

#include "document/ParamArchive.h"

namespace tavi {
namespace {

// One list of the members, used in both directions so the two cannot drift apart.
template <typename Archive, typename Record>
void Fields(Archive& io, Record& r) {
    io.Int(r.id);
    io.Int(r.status);
    io.Str(r.path);
    io.Str(r.title);
    for (auto* v : {&r.sentenceLengthMedian, &r.sentenceLengthMax, &r.phraseLengthMedian, &r.phraseLengthMax,
                    &r.bunsetsuPerPhraseMedian, &r.bunsetsuPerPhraseMax, &r.vocabularyDiversity, &r.kanaKanjiRatio,
                    &r.longReadingKanji, &r.longReadingShare9, &r.longReadingShare11, &r.passiveRate,
                    &r.attributiveSentences, &r.continuativeSentences, &r.rhetoricScore, &r.cueWordTotal,
                    &r.demonstrativeTotal, &r.organizationScore, &r.contentSimilarity, &r.contentScore,
                    &r.weightedTotal, &r.textLength, &r.lengthPenalty, &r.finalScore})
        io.Real(*v);
    for (auto* v : {&r.sentenceStatsCount, &r.phraseStatsCount, &r.bunsetsuStatsCount}) io.Int(*v);
    for (auto* v : {&r.rhetoricFeaturesDone, &r.rhetoricScored, &r.organizationFeaturesDone, &r.organizationScored})
        io.Flag(*v);
    io.Str(r.commentText);
    for (std::string& s : r.axisComments) io.Str(s);
}

struct Writer {
    ParamArchive ar;
    template <typename T>
    void Int(T v) { ar.WriteI32(static_cast<int32_t>(v)); }
    void Real(double v) { ar.WriteF64(v); }
    void Flag(bool v) { ar.WriteI32(v); }
    void Str(const std::string& s) { ar.WriteString(s); }
};

struct Reader {
    ParamArchive ar;
    template <typename T>
    void Int(T& v) { v = static_cast<T>(ar.ReadI32()); }
    void Real(double& v) { v = ar.ReadF64(); }
    void Flag(bool& v) { v = ar.ReadI32() != 0; }
    void Str(std::string& s) { s = ar.ReadString(); }
};

}  // namespace

std::string EncodeRecord(const EssayRecord& record) {
    Writer w;
    EssayRecord copy = record;
    Fields(w, copy);
    return w.ar.Bytes();
}

bool DecodeRecord(const std::string& bytes, EssayRecord& record) {
    Reader r{ParamArchive(bytes)};
    Fields(r, record);
    return !r.ar.Failed() && r.ar.AtEnd();
}

}  // namespace tavi
