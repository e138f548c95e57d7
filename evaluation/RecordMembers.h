#pragma once

#include <cstddef>
#include <tuple>
#include <type_traits>
#include <utility>

#include "evaluation/EssayRecord.h"

namespace tavi {

// One member of EssayRecord and its name in the JSON of a run.
template <typename T>
struct RecordMember {
    using Type = T;
    const char* name;
    T EssayRecord::*member;
};

// Every member of the record but its comment shares and evidence, in declaration order. The
// JSON of a run and the record codec walk this list; a member added to the record belongs
// here.
inline constexpr std::tuple kRecordMembers{
    RecordMember<uint16_t>{"id", &EssayRecord::id},
    RecordMember<EssayStatus>{"status", &EssayRecord::status},
    RecordMember<std::string>{"path", &EssayRecord::path},
    RecordMember<std::string>{"title", &EssayRecord::title},
    RecordMember<double>{"sentenceLengthMedian", &EssayRecord::sentenceLengthMedian},
    RecordMember<double>{"sentenceLengthMax", &EssayRecord::sentenceLengthMax},
    RecordMember<int32_t>{"sentenceStatsCount", &EssayRecord::sentenceStatsCount},
    RecordMember<double>{"phraseLengthMedian", &EssayRecord::phraseLengthMedian},
    RecordMember<double>{"phraseLengthMax", &EssayRecord::phraseLengthMax},
    RecordMember<int32_t>{"phraseStatsCount", &EssayRecord::phraseStatsCount},
    RecordMember<double>{"bunsetsuPerPhraseMedian", &EssayRecord::bunsetsuPerPhraseMedian},
    RecordMember<double>{"bunsetsuPerPhraseMax", &EssayRecord::bunsetsuPerPhraseMax},
    RecordMember<int32_t>{"bunsetsuStatsCount", &EssayRecord::bunsetsuStatsCount},
    RecordMember<double>{"vocabularyDiversity", &EssayRecord::vocabularyDiversity},
    RecordMember<double>{"kanaKanjiRatio", &EssayRecord::kanaKanjiRatio},
    RecordMember<double>{"longReadingKanji", &EssayRecord::longReadingKanji},
    RecordMember<double>{"longReadingShare9", &EssayRecord::longReadingShare9},
    RecordMember<double>{"longReadingShare11", &EssayRecord::longReadingShare11},
    RecordMember<double>{"passiveRate", &EssayRecord::passiveRate},
    RecordMember<double>{"attributiveSentences", &EssayRecord::attributiveSentences},
    RecordMember<double>{"continuativeSentences", &EssayRecord::continuativeSentences},
    RecordMember<bool>{"rhetoricFeaturesDone", &EssayRecord::rhetoricFeaturesDone},
    RecordMember<double>{"rhetoricScore", &EssayRecord::rhetoricScore},
    RecordMember<bool>{"rhetoricScored", &EssayRecord::rhetoricScored},
    RecordMember<double>{"cueWordTotal", &EssayRecord::cueWordTotal},
    RecordMember<double>{"demonstrativeTotal", &EssayRecord::demonstrativeTotal},
    RecordMember<bool>{"organizationFeaturesDone", &EssayRecord::organizationFeaturesDone},
    RecordMember<double>{"organizationScore", &EssayRecord::organizationScore},
    RecordMember<bool>{"organizationScored", &EssayRecord::organizationScored},
    RecordMember<double>{"contentSimilarity", &EssayRecord::contentSimilarity},
    RecordMember<double>{"contentScore", &EssayRecord::contentScore},
    RecordMember<double>{"weightedTotal", &EssayRecord::weightedTotal},
    RecordMember<double>{"textLength", &EssayRecord::textLength},
    RecordMember<double>{"lengthPenalty", &EssayRecord::lengthPenalty},
    RecordMember<double>{"finalScore", &EssayRecord::finalScore},
    RecordMember<std::string>{"commentText", &EssayRecord::commentText},
};

// Calls `f(member, index)` for every entry of kRecordMembers in order, the index as a
// std::integral_constant; resolved at compile time.
template <typename F>
constexpr void ForEachRecordMember(F&& f) {
    [&]<size_t... I>(std::index_sequence<I...>) {
        (f(std::get<I>(kRecordMembers), std::integral_constant<size_t, I>()), ...);
    }
    (std::make_index_sequence<std::tuple_size_v<decltype(kRecordMembers)>>());
}

// The type of an entry's member.
template <typename Entry>
using RecordMemberType = typename std::remove_cvref_t<Entry>::Type;

}  // namespace tavi
