#include "evaluation/ScoringParams.h"

#include <charconv>
#include <cmath>

namespace tavi {
namespace {

// The whole text, blanks around it aside, as one number (also "inf" or "nan").
bool ParseWholeNumber(std::string_view text, double& value) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (text.empty()) return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

int ModelChoiceOf(std::string_view modelPath) {
    for (int choice = 0; choice < 2; ++choice)
        if (modelPath == kBuiltInModels[choice]) return choice;
    return 2;
}

bool ParseParamNumber(std::string_view text, double& value) {
    return ParseWholeNumber(text, value) && std::isfinite(value);
}

std::string FormatParamNumber(double value) {
    char text[32];
    // Without an exponent where that stays short ("1000000", not "1e+06").
    auto [end, ec] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    if (ec != std::errc()) end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

WeightsProblem ParseAxisWeights(std::string_view text, ScoringParams& params) {
    ScoringParams parsed = params;
    bool anyAboveZero = false, inRange = true;
    size_t k = 0;
    for (const ParamSpec& param : kParamSpecs) {
        if (param.group != ParamGroup::kAxisWeights) continue;
        const bool last = ++k == kAxisWeights.size();
        size_t colon = text.find(':');
        if (last != (colon == std::string_view::npos)) return WeightsProblem::kMalformed;
        double& weight = parsed.*param.Real();
        if (!ParseWholeNumber(text.substr(0, colon), weight)) return WeightsProblem::kMalformed;
        inRange &= param.Accepts(weight);
        anyAboveZero |= weight > 0;
        text.remove_prefix(last ? text.size() : colon + 1);
    }
    if (!inRange || !anyAboveZero) return WeightsProblem::kOutOfRange;
    params = std::move(parsed);
    return WeightsProblem::kNone;
}

}  // namespace tavi
