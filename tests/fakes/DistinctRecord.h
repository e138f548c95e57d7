#pragma once

#include <memory>
#include <string>
#include <type_traits>

#include "evaluation/RecordMembers.h"

namespace tavi::test {

// A record with a value of its own in every member of kRecordMembers, comment shares that make
// up its comment text, and evidence with an entry in each list. The flags cannot all differ:
// the k-th flag holds bit `variant` of k, so that two variants (0 and 1) tell every flag apart.
inline EssayRecord DistinctRecord(int variant) {
    EssayRecord r;
    int flag = 0;
    ForEachRecordMember([&](const auto& entry, auto index) {
        constexpr size_t i = decltype(index)::value;
        using T = RecordMemberType<decltype(entry)>;
        auto& value = r.*entry.member;
        if constexpr (std::is_same_v<T, std::string>) {
            value = std::string(entry.name) + "/" + std::to_string(variant);
        } else if constexpr (std::is_same_v<T, bool>) {
            value = (flag++ >> variant) & 1;
        } else if constexpr (std::is_same_v<T, EssayStatus>) {
            value = variant == 0 ? kStatusScored : kStatusScoring;
        } else if constexpr (std::is_same_v<T, double>) {
            value = (variant + 1) * 1000.0 + i + 0.125;
        } else {
            value = static_cast<T>((variant + 1) * 1000 + i);
        }
    });
    const uint32_t shares[] = {3, 0, 5, static_cast<uint32_t>(r.commentText.size() - 8)};
    for (int axis = 0; axis < EssayRecord::kAxisCount; ++axis) r.axisCommentBytes[axis] = shares[axis];

    auto e = std::make_shared<EssayEvidence>();
    e->text = "evidence text " + std::to_string(variant);
    e->rhetoricRecorded = true;
    e->sentences.push_back({{1, 9}, 16, 2, 3, 1, {{2, 3}}, {{4, 5}, {6, 7}}, {{8, 9}}});
    e->phrases.push_back({{1, 4}, 6, 2});
    e->kanjiRuns.push_back({{2, 4}, "reading", 7});
    e->kanjiNouns.push_back({"noun", 2, {{2, 3}, {5, 6}}});
    e->kanjiBytes = 11;
    e->kanaBytes = 12;
    e->passives = 13;
    e->organizationRecorded = variant == 0;
    e->organization.push_back({{0, 9}, {{"cue", 3, {1, 2}}}, {{"this", 0, {4, 5}}}});
    e->contentRecorded = true;
    e->sharedNouns.push_back({"key", "surface", 2, 1, {{3, 4}}});
    e->missingNouns.push_back({"missing", "missing", 0, 2, {}});
    r.evidence = std::move(e);
    return r;
}

}  // namespace tavi::test
