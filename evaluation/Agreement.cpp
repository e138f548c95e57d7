#include "evaluation/Agreement.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tavi {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A value of the scale as a whole point, clamped into 0 to `maxPoint`.
int Point(double value, int maxPoint) {
    return std::clamp(static_cast<int>(std::lround(std::clamp(value, 0.0, static_cast<double>(maxPoint)))), 0,
                      maxPoint);
}

}  // namespace

double PearsonCorrelation(const std::vector<double>& a, const std::vector<double>& b) {
    const size_t n = std::min(a.size(), b.size());
    if (n < 2) return kNaN;
    double meanA = 0, meanB = 0;
    for (size_t i = 0; i < n; ++i) {
        meanA += a[i];
        meanB += b[i];
    }
    meanA /= static_cast<double>(n);
    meanB /= static_cast<double>(n);
    double sab = 0, saa = 0, sbb = 0;
    for (size_t i = 0; i < n; ++i) {
        sab += (a[i] - meanA) * (b[i] - meanB);
        saa += (a[i] - meanA) * (a[i] - meanA);
        sbb += (b[i] - meanB) * (b[i] - meanB);
    }
    if (saa == 0 || sbb == 0) return kNaN;
    return sab / std::sqrt(saa * sbb);
}

double QuadraticWeightedKappa(const std::vector<int>& a, const std::vector<int>& b, int maxPoint) {
    const size_t n = std::min(a.size(), b.size());
    if (n == 0 || maxPoint < 1) return kNaN;
    const size_t k = static_cast<size_t>(maxPoint) + 1;
    std::vector<double> observed(k * k, 0), histA(k, 0), histB(k, 0);
    for (size_t i = 0; i < n; ++i) {
        size_t x = static_cast<size_t>(std::clamp(a[i], 0, maxPoint));
        size_t y = static_cast<size_t>(std::clamp(b[i], 0, maxPoint));
        observed[x * k + y] += 1;
        histA[x] += 1;
        histB[y] += 1;
    }
    // Disagreement weighted by the squared distance, observed against what chance would give
    // with the same two distributions of points.
    double disagreement = 0, chance = 0;
    for (size_t x = 0; x < k; ++x)
        for (size_t y = 0; y < k; ++y) {
            double d = static_cast<double>(x) - static_cast<double>(y);
            double w = d * d;
            disagreement += w * observed[x * k + y];
            chance += w * histA[x] * histB[y] / static_cast<double>(n);
        }
    if (chance == 0) return kNaN;
    return 1 - disagreement / chance;
}

Agreement MeasureAgreement(const std::vector<double>& scores, const std::vector<double>& marks, double fullMark) {
    Agreement result;
    result.n = std::min(scores.size(), marks.size());
    if (result.n == 0) {
        result.pearson = result.qwk = result.meanAbsoluteDifference = kNaN;
        return result;
    }
    const int maxPoint = std::max(1, static_cast<int>(std::lround(fullMark)));
    std::vector<int> a(result.n), b(result.n);
    double difference = 0;
    for (size_t i = 0; i < result.n; ++i) {
        a[i] = Point(scores[i], maxPoint);
        b[i] = Point(marks[i], maxPoint);
        difference += std::fabs(scores[i] - marks[i]);
    }
    result.pearson = PearsonCorrelation(scores, marks);
    result.qwk = QuadraticWeightedKappa(a, b, maxPoint);
    result.meanAbsoluteDifference = difference / static_cast<double>(result.n);
    return result;
}

}  // namespace tavi
