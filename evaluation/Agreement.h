#pragma once

#include <cstddef>
#include <vector>

namespace tavi {

// How far two markings of the same answers agree: Tavi's totals scaled to the full mark, and
// a teacher's marks on the same scale.
struct Agreement {
    size_t n = 0;                       // answers with both a score and a mark
    double pearson = 0;                 // Pearson's r; NaN when either side does not vary
    double qwk = 0;                     // quadratic weighted kappa of the marks rounded to whole points
    double meanAbsoluteDifference = 0;  // in points of the full mark
};

// The agreement of `scores` and `marks` (equal length; each pair one answer) on the scale 0 to
// `fullMark`. Values are clamped into the scale before rounding for the kappa; the kappa is
// NaN when neither side uses more than one and the same point (nothing to agree beyond chance).
Agreement MeasureAgreement(const std::vector<double>& scores, const std::vector<double>& marks, double fullMark);

// Pearson's r of two equally long series; NaN when fewer than two pairs or either is constant.
double PearsonCorrelation(const std::vector<double>& a, const std::vector<double>& b);

// Quadratic weighted kappa of two ratings given as whole points 0 to `maxPoint`.
double QuadraticWeightedKappa(const std::vector<int>& a, const std::vector<int>& b, int maxPoint);

}  // namespace tavi
