#include "evaluation/ScoringParams.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tavi {
namespace {

// The whole text, blanks around it aside, as one number (also "inf" or "nan").
bool ParseWholeNumber(std::string_view text, double& value) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (text.empty()) return false;
#ifdef __cpp_lib_to_chars
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
#else
    // A standard library without floating-point <charconv> (emscripten's): strtod, less what
    // from_chars does not take (a plus sign, hexadecimal).
    std::string_view digits = text.substr(text.front() == '-' ? 1 : 0);
    if (digits.empty() || digits.front() == '+' || digits.front() == ' ' || digits.starts_with("0x") ||
        digits.starts_with("0X"))
        return false;
    std::string whole(text);
    char* end = nullptr;
    value = std::strtod(whole.c_str(), &end);
    return end == whole.c_str() + whole.size();
#endif
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
#ifdef __cpp_lib_to_chars
    // Without an exponent where that stays short ("1000000", not "1e+06").
    auto [end, ec] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    if (ec != std::errc()) end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
#else
    // As to_chars gives it: the fewest decimals that read back as the same number, when that
    // fits in the text, else the fewest significant digits (in the exponent form there).
    char wide[400];  // any double with as many decimals as the text holds
    auto readsBack = [&](int length) {
        return length > 0 && length <= static_cast<int>(sizeof text) && std::strtod(wide, nullptr) == value;
    };
    if (std::isfinite(value))
        for (int decimals = 0; decimals < static_cast<int>(sizeof text); ++decimals)
            if (readsBack(std::snprintf(wide, sizeof wide, "%.*f", decimals, value))) return wide;
    for (int digits = 1; digits <= 17; ++digits)
        if (readsBack(std::snprintf(wide, sizeof wide, "%.*g", digits, value))) return wide;
    return wide;
#endif
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
