#pragma once

#include <optional>
#include <string>
#include <vector>

#include "evaluation/Agreement.h"
#include "evaluation/EssayRecord.h"
#include "evaluation/ScoringParams.h"

namespace tavi {

// A parameter the fit may change: its member and the range it must stay in.
struct FitParameter {
    double ScoringParams::*member;
    double minimum;
    double maximum;
};

// The parameters a teacher can set and the fit may search: the three weights, the expected
// length and the fourteen ratios, with the ranges the settings accept.
const std::vector<FitParameter>& FittableParameters();

// What fitting to a teacher's marks found. `before` is the agreement of the parameters in force
// on the marked answers, `after` that of the fit, each answer's score coming from parameters
// fitted without it (k-fold cross-validation), so that it tells what to expect on unmarked
// answers. `params` are fitted on all marked answers; `improved` is false when `after` is no
// better than `before` (then `params` are the starting ones). `refusal` (UTF-8) says why
// nothing was fitted.
struct FitResult {
    std::optional<std::string> refusal;
    bool improved = false;
    ScoringParams params;
    Agreement before, after;
};

inline constexpr size_t kFewestMarksToFit = 10;

// Tavi's total of a scored record on the scale 0 to `fullMark`.
double ScaledTotal(const EssayRecord& record, const ScoringParams& params, double fullMark);

// Scores a scored record's axes and total again from its stored features under `params`.
void RescoreFromFeatures(EssayRecord& record, const ScoringParams& params);

// Searches the `free` parameters (members of FittableParameters) for the values under which
// the scaled totals of the scored `records` come closest to `marks` (one per record, on the
// scale 0 to `fullMark`), starting from `start`; `folds` parts for the cross-validation.
FitResult FitToMarks(const std::vector<EssayRecord>& records, const std::vector<double>& marks, double fullMark,
                     const ScoringParams& start, const std::vector<double ScoringParams::*>& free, size_t folds = 5);

}  // namespace tavi
