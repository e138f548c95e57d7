#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>

#include "evaluation/ScoringParams.h"

namespace tavi {
namespace {

// Converts to any member's type, to count the members of an aggregate.
struct AnyMember {
    template <typename T>
    operator T() const;
};

template <typename T, typename... Members>
constexpr size_t MemberCount() {
    if constexpr (requires { T{Members{}..., AnyMember{}}; })
        return MemberCount<T, Members..., AnyMember>();
    else
        return sizeof...(Members);
}

TEST(ParamTable, EveryMemberHasOneEntryWithItsOwnNameAndARangeHoldingItsDefault) {
    ASSERT_EQ(MemberCount<ScoringParams>(), std::size(kParamSpecs));
    const ScoringParams defaults;
    std::set<std::string> names;
    for (size_t k = 0; k < std::size(kParamSpecs); ++k) {
        const ParamSpec& param = kParamSpecs[k];
        EXPECT_TRUE(names.insert(param.name).second) << param.name;
        EXPECT_NE(std::string(param.label), "") << param.name;
        EXPECT_NE(std::string(param.shortLabel), "") << param.name;
        for (size_t other = 0; other < k; ++other)
            EXPECT_NE(param.member, kParamSpecs[other].member) << param.name << " and " << kParamSpecs[other].name;
        std::visit(
            [&](auto member) {
                if constexpr (!std::is_same_v<decltype(member), std::string ScoringParams::*>) {
                    EXPECT_TRUE(param.Accepts(defaults.*member)) << param.name;
                    EXPECT_TRUE(std::isfinite(param.min) && std::isfinite(param.max)) << param.name;
                }
            },
            param.member);
    }
}

TEST(ParamTable, GroupsGiveTheDialogsRatiosAndTheWeights) {
    EXPECT_EQ(kRhetoricRatios.size(), 12u);
    EXPECT_EQ(kOrganizationRatios.size(), 2u);
    EXPECT_EQ(kRhetoricRatios.front(), &ScoringParams::sentenceLengthMedianWeight);
    EXPECT_EQ(kRhetoricRatios.back(), &ScoringParams::continuativeSentencesWeight);
    EXPECT_EQ(kAxisWeights[1], &ScoringParams::organizationWeight);
    EXPECT_STREQ(SpecOf(&ScoringParams::sentenceLengthMaxWeight).label, "文の長さの最大値");
    EXPECT_EQ(ModelChoiceOf(BuiltInModelFile(1)), 1);
    EXPECT_EQ(ModelChoiceOf(ScoringParams().modelPath), 0);
    EXPECT_EQ(ModelChoiceOf("/models/yoroku2000.tcf"), 2);
}

TEST(AxisWeights, ThreeFiniteNumbersOfAtLeastZeroNotAllZero) {
    ScoringParams p;
    EXPECT_EQ(ParseAxisWeights(" 1.5 :0: 2e1 ", p), WeightsProblem::kNone);
    EXPECT_EQ(p.rhetoricWeight, 1.5);
    EXPECT_EQ(p.organizationWeight, 0);
    EXPECT_EQ(p.contentWeight, 20);

    const ScoringParams before = p;
    for (const char* text : {"-1:2:3", "1:-0.5:1", "inf:1:1", "1:nan:1", "0:0:0", "0:-0:0"}) {
        EXPECT_EQ(ParseAxisWeights(text, p), WeightsProblem::kOutOfRange) << text;
        EXPECT_EQ(p.rhetoricWeight, before.rhetoricWeight) << text;
        EXPECT_EQ(p.contentWeight, before.contentWeight) << text;
    }
    for (const char* text :
         {"", "5:2", "5:2:3:4", "5::3", "a:b:c", "5:2:3x", "1:1:1e400", "+5:2:3", "5;2;3", ":5:2:3", "5:2:"})
        EXPECT_EQ(ParseAxisWeights(text, p), WeightsProblem::kMalformed) << text;
    EXPECT_EQ(p.organizationWeight, before.organizationWeight);
}

TEST(AxisWeights, FieldNumbersAreWholeAndFinite) {
    double v = 0;
    EXPECT_TRUE(ParseParamNumber(" 0.25 ", v));
    EXPECT_EQ(v, 0.25);
    for (const char* text : {"", " ", "1e999", "nan", "0x10", "1,5", "1 2"})
        EXPECT_FALSE(ParseParamNumber(text, v)) << text;
    for (double x : {800.0, 0.05, 1e6, 1.0 / 3, 1e-300, -2.5}) {
        const std::string text = FormatParamNumber(x);
        EXPECT_TRUE(ParseParamNumber(text, v) && v == x) << text;
        EXPECT_LE(text.size(), 24u) << text;
    }
    EXPECT_EQ(FormatParamNumber(1e6), "1000000");
}

}  // namespace
}  // namespace tavi
