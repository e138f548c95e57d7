#pragma once

#include <array>
#include <cstddef>
#include <limits>
#include <string>
#include <string_view>
#include <variant>

namespace tavi {

// The built-in content models, by model choice (0 and 1); a file beside the program.
inline constexpr const char* kBuiltInModels[] = {"yoroku2000.tcf", "syasetsu2000.tcf"};

// Everything the user can tune about scoring. Reals are doubles, integers 32-bit.
// The twelve rhetoric ratios sum to 1 by default, as do the two organization ratios; the
// three axis weights are not normalised. No range is enforced here (see kParamSpecs).
struct ScoringParams {
    double expectedLength = 800.0;  // characters; doubled to compare with byte lengths
    double rhetoricWeight = 5.0;
    double organizationWeight = 2.0;
    double contentWeight = 3.0;
    int paragraphMode = 0;                      // 0: blank lines separate paragraphs; 1: every line break
    int modelChoice = 0;                        // 0, 1: built-in models; 2: a file the user picks
    std::string modelPath = kBuiltInModels[0];  // Shift_JIS; without "/" it names a built-in model
    double sentenceLengthMedianWeight = 0.05;
    double phraseLengthMedianWeight = 0.05;
    double bunsetsuPerPhraseMedianWeight = 0.05;
    double sentenceLengthMaxWeight = 0.05;
    double phraseLengthMaxWeight = 0.05;
    double bunsetsuPerPhraseMaxWeight = 0.05;
    double vocabularyDiversityWeight = 0.2;
    double kanaKanjiRatioWeight = 0.1;
    double longReadingKanjiWeight = 0.1;
    double passiveRateWeight = 0.1;
    double attributiveSentencesWeight = 0.1;
    double continuativeSentencesWeight = 0.1;
    double cueWordWeight = 0.5;
    double demonstrativeWeight = 0.5;
};

// Where a parameter is set: the question settings (expected length, paragraph rule), the
// axis weights, the content model, and the two groups of ratios of the detail dialog.
enum class ParamGroup { kAnswer, kAxisWeights, kContentModel, kRhetoricRatios, kOrganizationRatios };

// One member of ScoringParams as every front end names and checks it.
struct ParamSpec {
    std::variant<double ScoringParams::*, int ScoringParams::*, std::string ScoringParams::*> member;
    const char* name;        // the JSON key and form field
    const char* label;       // UTF-8, as the desktop's dialogs label it
    const char* shortLabel;  // UTF-8, the report's shorter form
    ParamGroup group;
    // The values a front end accepts for a number (none for the model path): from `min`
    // (excluded when `aboveMin`) to `max`, both finite.
    double min = 0;
    double max = 0;
    bool aboveMin = false;

    constexpr bool Accepts(double value) const { return (aboveMin ? value > min : value >= min) && value <= max; }
    // Without std::get_if: GCC 12 cannot evaluate its pointer test at compile time under the
    // undefined-behaviour sanitizer.
    constexpr double ScoringParams::*Real() const {
        return std::holds_alternative<double ScoringParams::*>(member) ? std::get<double ScoringParams::*>(member)
                                                                       : nullptr;
    }
};

inline constexpr double kAnyWeight = std::numeric_limits<double>::max();

// Every member, in the order of the parameter file (and of the JSON forms); the ratios in the
// order of the detail dialog.
inline constexpr ParamSpec kParamSpecs[] = {
    {&ScoringParams::expectedLength, "expectedLength", "回答の想定分量（文字数）", "想定文字数", ParamGroup::kAnswer, 0,
     1e6, true},
    {&ScoringParams::rhetoricWeight, "rhetoricWeight", "修辞", "修辞", ParamGroup::kAxisWeights, 0, kAnyWeight},
    {&ScoringParams::organizationWeight, "organizationWeight", "論理構成", "論理", ParamGroup::kAxisWeights, 0,
     kAnyWeight},
    {&ScoringParams::contentWeight, "contentWeight", "内容", "内容", ParamGroup::kAxisWeights, 0, kAnyWeight},
    {&ScoringParams::paragraphMode, "paragraphMode", "段落の区切り", "段落の区切り", ParamGroup::kAnswer, 0, 1},
    {&ScoringParams::modelChoice, "modelChoice", "内容評価用基準の選択", "内容モデル", ParamGroup::kContentModel, 0, 2},
    {&ScoringParams::modelPath, "modelPath", "内容評価用基準ファイル", "内容モデル", ParamGroup::kContentModel},
    {&ScoringParams::sentenceLengthMedianWeight, "sentenceLengthMedianWeight", "文の長さの平均値", "文長",
     ParamGroup::kRhetoricRatios, 0, 1},
    {&ScoringParams::phraseLengthMedianWeight, "phraseLengthMedianWeight", "句の長さの平均値", "句長",
     ParamGroup::kRhetoricRatios, 0, 1},
    {&ScoringParams::bunsetsuPerPhraseMedianWeight, "bunsetsuPerPhraseMedianWeight", "句中の文節数の平均値", "文節",
     ParamGroup::kRhetoricRatios, 0, 1},
    {&ScoringParams::sentenceLengthMaxWeight, "sentenceLengthMaxWeight", "文の長さの最大値", "文長",
     ParamGroup::kRhetoricRatios, 0, 1},
    {&ScoringParams::phraseLengthMaxWeight, "phraseLengthMaxWeight", "句の長さの最大値", "句長",
     ParamGroup::kRhetoricRatios, 0, 1},
    {&ScoringParams::bunsetsuPerPhraseMaxWeight, "bunsetsuPerPhraseMaxWeight", "句中の文節数の最大値", "文節",
     ParamGroup::kRhetoricRatios, 0, 1},
    {&ScoringParams::vocabularyDiversityWeight, "vocabularyDiversityWeight", "語彙の多様性", "語彙",
     ParamGroup::kRhetoricRatios, 0, 1},
    {&ScoringParams::kanaKanjiRatioWeight, "kanaKanjiRatioWeight", "漢字の使用比率", "漢字",
     ParamGroup::kRhetoricRatios, 0, 1},
    {&ScoringParams::longReadingKanjiWeight, "longReadingKanjiWeight", "読みが長い漢字", "読み",
     ParamGroup::kRhetoricRatios, 0, 1},
    {&ScoringParams::passiveRateWeight, "passiveRateWeight", "受動態", "受身", ParamGroup::kRhetoricRatios, 0, 1},
    {&ScoringParams::attributiveSentencesWeight, "attributiveSentencesWeight", "連体修飾となる用言数", "埋め込み",
     ParamGroup::kRhetoricRatios, 0, 1},
    {&ScoringParams::continuativeSentencesWeight, "continuativeSentencesWeight", "連用形・接続助詞分量", "連用",
     ParamGroup::kRhetoricRatios, 0, 1},
    {&ScoringParams::cueWordWeight, "cueWordWeight", "きっかけ語の総数", "きっかけ語", ParamGroup::kOrganizationRatios,
     0, 1},
    {&ScoringParams::demonstrativeWeight, "demonstrativeWeight", "指示関係の総数", "指示関係",
     ParamGroup::kOrganizationRatios, 0, 1},
};

// The entry of a member.
template <typename T>
consteval const ParamSpec& SpecOf(T ScoringParams::*member) {
    for (const ParamSpec& param : kParamSpecs)
        if (std::holds_alternative<T ScoringParams::*>(param.member) &&
            std::get<T ScoringParams::*>(param.member) == member)
            return param;
    throw "not a member of kParamSpecs";  // fails the build
}

// The real members of a group, in table order.
template <ParamGroup group>
constexpr auto MembersOf() {
    constexpr size_t count = [] {
        size_t n = 0;
        for (const ParamSpec& param : kParamSpecs) n += param.group == group && param.Real();
        return n;
    }();
    std::array<double ScoringParams::*, count> members{};
    size_t k = 0;
    for (const ParamSpec& param : kParamSpecs)
        if (param.group == group && param.Real()) members[k++] = param.Real();
    return members;
}

// The twelve rhetoric ratios and the two organization ratios, in the order of the dialog and
// of the parameter file.
inline constexpr auto kRhetoricRatios = MembersOf<ParamGroup::kRhetoricRatios>();
inline constexpr auto kOrganizationRatios = MembersOf<ParamGroup::kOrganizationRatios>();
inline constexpr auto kAxisWeights = MembersOf<ParamGroup::kAxisWeights>();

// The built-in model file of each model choice (0 and 1).
inline const char* BuiltInModelFile(int choice) { return kBuiltInModels[choice == 1 ? 1 : 0]; }
// The model choice of a model path: that of a built-in model's name, else 2 (a file).
int ModelChoiceOf(std::string_view modelPath);

// A whole form or option field as one finite number; blanks around it are ignored.
bool ParseParamNumber(std::string_view text, double& value);
// A number in the shortest form that reads back the same ("800", "0.05", "1000000"), for help
// texts, messages and forms.
std::string FormatParamNumber(double value);

// Reads axis weights written as R:O:C (rhetoric, organization, content) into `params`, which
// is left unchanged on a refusal.
enum class WeightsProblem {
    kNone,
    kMalformed,   // not three numbers separated by ":"
    kOutOfRange,  // a weight negative or not finite, or all three 0
};
WeightsProblem ParseAxisWeights(std::string_view text, ScoringParams& params);

}  // namespace tavi
