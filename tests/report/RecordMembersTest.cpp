#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <type_traits>

#include "analysis/Encoding.h"
#include "fakes/DistinctRecord.h"
#include "fakes/TestSupport.h"
#include "report/Json.h"
#include "report/RecordCodec.h"

namespace tavi::test {
namespace {

// Records encoded before the codec walked the member table, as the server's stores hold them.
std::string StoredRecord(int variant) {
    return ReadFileBytes(std::string(TAVI_TEST_DATA_DIR) + "/report/record-" + std::to_string(variant) + ".bin");
}

// Every member of the table equal in both records, and the comment shares.
void ExpectSameMembers(const EssayRecord& actual, const EssayRecord& expected) {
    ForEachRecordMember([&](const auto& entry, auto) {
        if constexpr (std::is_same_v<RecordMemberType<decltype(entry)>, double>)
            EXPECT_DOUBLE_EQ(actual.*entry.member, expected.*entry.member) << entry.name;
        else
            EXPECT_EQ(actual.*entry.member, expected.*entry.member) << entry.name;
    });
    for (int axis = 0; axis < EssayRecord::kAxisCount; ++axis)
        EXPECT_EQ(actual.axisCommentBytes[axis], expected.axisCommentBytes[axis]) << axis;
}

TEST(RecordMembers, StoredRecordsDecodeToEveryMemberAndEncodeToTheSameBytes) {
    for (int variant : {0, 1}) {
        const EssayRecord expected = DistinctRecord(variant);
        const std::string stored = StoredRecord(variant);
        ASSERT_FALSE(stored.empty());
        EssayRecord decoded;
        ASSERT_TRUE(DecodeRecord(stored, decoded)) << variant;
        ExpectSameMembers(decoded, expected);
        ASSERT_TRUE(decoded.evidence);
        EXPECT_EQ(decoded.evidence->text, expected.evidence->text);
        EXPECT_EQ(decoded.evidence->organization.at(0).demonstratives.at(0).at, (TextSpan{4, 5}));
        EXPECT_EQ(EncodeRecord(decoded), stored) << variant;
        EXPECT_EQ(EncodeRecord(expected), stored) << variant;

        // Read for the scores only, the evidence is left and a record's own is kept.
        EssayRecord scoresOnly;
        ASSERT_TRUE(DecodeRecord(stored, scoresOnly, false));
        ExpectSameMembers(scoresOnly, expected);
        EXPECT_FALSE(scoresOnly.evidence);
    }
    // Cut anywhere, a record is refused.
    const std::string stored = StoredRecord(0);
    for (size_t cut : {size_t{1}, size_t{40}, stored.size() / 2, stored.size() - 1}) {
        EssayRecord back;
        EXPECT_FALSE(DecodeRecord(stored.substr(0, cut), back)) << cut;
    }
}

TEST(RecordMembers, TheJsonOfAnAnswerNamesEveryMemberInTableOrder) {
    ReportRun run;
    run.answers = {DistinctRecord(0), DistinctRecord(1)};
    run.answers[1].evidence = nullptr;
    run.answers[1].path = Sjis("/答案/1.txt");
    auto json = nlohmann::ordered_json::parse(FormatJson(run));
    for (int variant : {0, 1}) {
        const auto& answer = json["answers"][variant];
        auto key = answer.begin();
        ForEachRecordMember([&](const auto& entry, auto) {
            ASSERT_EQ(key.key(), entry.name);
            const auto& value = run.answers[variant].*entry.member;
            if constexpr (std::is_same_v<RecordMemberType<decltype(entry)>, std::string>)
                EXPECT_EQ(key.value(), SjisToUtf8(value)) << entry.name;
            else
                EXPECT_EQ(key.value(), value) << entry.name;
            ++key;
        });
        EXPECT_EQ(key.key(), "evidence");
    }
    EXPECT_EQ(json["answers"][1]["path"], "/答案/1.txt");
    EXPECT_TRUE(json["answers"][1]["evidence"].is_null());
}

TEST(ParamsJson, EveryParameterRoundTripsByItsName) {
    ScoringParams p;
    double next = 0.5;
    for (const ParamSpec& param : kParamSpecs)
        std::visit(
            [&](auto member) {
                using T = std::remove_cvref_t<decltype(p.*member)>;
                if constexpr (std::is_same_v<T, std::string>) {
                    p.*member = Sjis("/内容/モデル.tcf");
                } else {
                    p.*member = static_cast<T>(next += 1);
                }
            },
            param.member);
    const nlohmann::ordered_json json = ParamsJson(p);
    ASSERT_EQ(json.size(), std::size(kParamSpecs));
    EXPECT_EQ(json["modelPath"], "/内容/モデル.tcf");
    const ScoringParams back = ParamsFromJson(json.dump());
    for (const ParamSpec& param : kParamSpecs)
        std::visit([&](auto member) { EXPECT_EQ(back.*member, p.*member) << param.name; }, param.member);

    // What cannot be read keeps the default.
    const ScoringParams defaults;
    const ScoringParams odd = ParamsFromJson(R"({"paragraphMode": "1", "modelPath": 3, "cueWordWeight": null})");
    EXPECT_EQ(odd.paragraphMode, defaults.paragraphMode);
    EXPECT_EQ(odd.modelPath, defaults.modelPath);
    EXPECT_EQ(odd.cueWordWeight, defaults.cueWordWeight);
    EXPECT_EQ(ParamsFromJson("not json").expectedLength, defaults.expectedLength);
}

}  // namespace
}  // namespace tavi::test
