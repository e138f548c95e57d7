#include "evaluation/Fit.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace tavi {
namespace {

// Which of the ratio groups a member belongs to: its members keep their sum while the fit
// moves one of them, as shares of one score.
const std::vector<double ScoringParams::*>* GroupOf(double ScoringParams::*member) {
    static const std::vector<double ScoringParams::*> rhetoric(std::begin(kRhetoricRatios), std::end(kRhetoricRatios));
    static const std::vector<double ScoringParams::*> organization(std::begin(kOrganizationRatios),
                                                                   std::end(kOrganizationRatios));
    if (std::find(rhetoric.begin(), rhetoric.end(), member) != rhetoric.end()) return &rhetoric;
    if (std::find(organization.begin(), organization.end(), member) != organization.end()) return &organization;
    return nullptr;
}

const FitParameter& RangeOf(double ScoringParams::*member) {
    const auto& all = FittableParameters();
    return *std::find_if(all.begin(), all.end(), [&](const FitParameter& p) { return p.member == member; });
}

// The marked answers a search may look at, with their records stripped of evidence (the fit
// needs only features), and the mean squared difference of their scaled totals from the marks.
class Sample {
public:
    Sample(const std::vector<EssayRecord>& records, const std::vector<double>& marks, double fullMark,
           const std::vector<size_t>& members)
        : m_marks(marks), m_fullMark(fullMark), m_members(members) {
        for (size_t i : members) {
            m_records.push_back(records[i]);
            m_records.back().evidence.reset();
        }
    }

    double Error(const ScoringParams& params) {
        double sum = 0;
        for (size_t k = 0; k < m_records.size(); ++k) {
            RescoreFromFeatures(m_records[k], params);
            double d = ScaledTotal(m_records[k], params, m_fullMark) - m_marks[m_members[k]];
            sum += d * d;
        }
        return m_records.empty() ? 0 : sum / static_cast<double>(m_records.size());
    }

private:
    std::vector<EssayRecord> m_records;
    const std::vector<double>& m_marks;
    double m_fullMark;
    std::vector<size_t> m_members;
};

// `params` with one free parameter moved by `step`: the expected length by the factor e^step,
// a weight by step, a ratio by step with the other free ratios of its group scaled to keep
// the group's sum. False when the move leaves nothing changed.
bool Move(ScoringParams& params, double ScoringParams::*member, double step,
          const std::vector<double ScoringParams::*>& free) {
    const FitParameter& range = RangeOf(member);
    double before = params.*member;
    if (member == &ScoringParams::expectedLength) {
        params.*member = std::clamp(before * std::exp(step), range.minimum, range.maximum);
        return params.*member != before;
    }
    const auto* group = GroupOf(member);
    if (!group) {
        params.*member = std::clamp(before + step, range.minimum, range.maximum);
        if (params.rhetoricWeight + params.organizationWeight + params.contentWeight <= 0) params.*member = before;
        return params.*member != before;
    }
    std::vector<double ScoringParams::*> partners;
    double partnersSum = 0;
    for (auto other : *group)
        if (other != member && std::find(free.begin(), free.end(), other) != free.end()) {
            partners.push_back(other);
            partnersSum += params.*other;
        }
    // The partners give what this one takes, and take what it gives, within [0, their sum].
    double after = std::clamp(before + step, range.minimum, std::min(range.maximum, before + partnersSum));
    if (partners.empty() || after == before) return false;
    if (partnersSum > 0) {
        double scale = (partnersSum - (after - before)) / partnersSum;
        for (auto other : partners) params.*other *= scale;
    } else {
        for (auto other : partners) params.*other = (before - after) / static_cast<double>(partners.size());
    }
    params.*member = after;
    return true;
}

// How far `params` moved from `start`, each free parameter measured in its own unit of change:
// a tenth for a ratio, a third of the starting weights' sum for a weight, and the factor
// e^0.5 for the expected length.
double Distance(const ScoringParams& params, const ScoringParams& start,
                const std::vector<double ScoringParams::*>& free) {
    double weightUnit = std::max(1e-6, (start.rhetoricWeight + start.organizationWeight + start.contentWeight) / 3);
    double sum = 0;
    for (auto member : free) {
        double d = member == &ScoringParams::expectedLength
                       ? std::log(params.*member / start.*member) / 0.5
                       : (params.*member - start.*member) / (GroupOf(member) ? 0.1 : weightUnit);
        sum += d * d;
    }
    return sum;
}

// A pattern search: each free parameter in turn one step up or down, kept when the error
// falls; the steps halve when no move helps, until they are small. The error counts a small
// price for moving away from the start, so that a handful of marks does not pull the many
// ratios where only chance sends them (which scores unmarked answers worse).
ScoringParams Search(Sample& sample, const ScoringParams& start, const std::vector<double ScoringParams::*>& free,
                     double fullMark) {
    const double price = 0.01 * (fullMark / 10) * (fullMark / 10);
    auto cost = [&](const ScoringParams& p) { return sample.Error(p) + price * Distance(p, start, free); };
    ScoringParams best = start;
    double bestError = cost(best);
    std::vector<double> steps, smallest;
    for (auto member : free) {
        bool length = member == &ScoringParams::expectedLength;
        bool ratio = GroupOf(member) != nullptr;
        steps.push_back(length ? 0.5 : ratio ? 0.1 : 1.0);
        smallest.push_back(length ? 0.005 : ratio ? 0.001 : 0.01);
    }
    for (int round = 0; round < 200; ++round) {
        bool moved = false;
        for (size_t j = 0; j < free.size(); ++j)
            for (double direction : {1.0, -1.0}) {
                ScoringParams trial = best;
                if (!Move(trial, free[j], direction * steps[j], free)) continue;
                double error = cost(trial);
                if (error < bestError - 1e-12) {
                    best = trial;
                    bestError = error;
                    moved = true;
                    break;
                }
            }
        if (moved) continue;
        bool done = true;
        for (size_t j = 0; j < steps.size(); ++j) {
            steps[j] /= 2;
            done = done && steps[j] < smallest[j];
        }
        if (done) break;
    }
    return best;
}

// A figure that cannot be computed counts as the worst.
double OrWorst(double value) { return std::isnan(value) ? -INFINITY : value; }

bool Better(const Agreement& after, const Agreement& before) {
    double a = OrWorst(after.qwk), b = OrWorst(before.qwk);
    if (a > b + 1e-9) return true;
    return std::fabs(a - b) <= 1e-9 && after.meanAbsoluteDifference < before.meanAbsoluteDifference - 1e-9;
}

}  // namespace

const std::vector<FitParameter>& FittableParameters() {
    // The ranges the settings accept; the expected length, whose least value is excluded, moves
    // by factors and so never reaches it.
    static const std::vector<FitParameter> parameters = [] {
        std::vector<FitParameter> p;
        for (const ParamSpec& param : kParamSpecs) {
            bool fittable = param.group == ParamGroup::kAxisWeights || param.group == ParamGroup::kRhetoricRatios ||
                            param.group == ParamGroup::kOrganizationRatios ||
                            param.Real() == &ScoringParams::expectedLength;
            if (fittable) p.push_back({param.Real(), param.min, param.max});
        }
        return p;
    }();
    return parameters;
}

double ScaledTotal(const EssayRecord& record, const ScoringParams& params, double fullMark) {
    double weights = params.rhetoricWeight + params.organizationWeight + params.contentWeight;
    if (!(weights > 0) || !std::isfinite(record.finalScore)) return 0;
    return std::clamp(record.finalScore / weights * fullMark, 0.0, fullMark);
}

void RescoreFromFeatures(EssayRecord& record, const ScoringParams& params) {
    record.rhetoricScored = false;
    record.ScoreRhetoric(params);
    record.organizationScored = false;
    record.ScoreOrganization(params);
    record.ScoreContent();
    record.ComputeWeightedTotal(params);
    record.ComputeLengthPenalty(params);
    record.ComputeFinalScore();
}

FitResult FitToMarks(const std::vector<EssayRecord>& records, const std::vector<double>& marks, double fullMark,
                     const ScoringParams& start, const std::vector<double ScoringParams::*>& free, size_t folds) {
    FitResult result;
    result.params = start;
    const size_t n = std::min(records.size(), marks.size());
    if (n < kFewestMarksToFit) {
        result.refusal = "あなたの採点に合わせるには、点数を付けた回答が" + std::to_string(kFewestMarksToFit) +
                         "件以上必要です（現在 " + std::to_string(n) + " 件）。";
        return result;
    }
    if (free.empty()) {
        result.refusal = "合わせるパラメータを1つ以上選んでください。";
        return result;
    }
    std::vector<size_t> all(n);
    std::iota(all.begin(), all.end(), 0);

    std::vector<double> startScores(n);
    {
        std::vector<EssayRecord> copies(records.begin(), records.begin() + static_cast<std::ptrdiff_t>(n));
        for (size_t i = 0; i < n; ++i) {
            copies[i].evidence.reset();
            RescoreFromFeatures(copies[i], start);
            startScores[i] = ScaledTotal(copies[i], start, fullMark);
        }
    }
    std::vector<double> usedMarks(marks.begin(), marks.begin() + static_cast<std::ptrdiff_t>(n));
    result.before = MeasureAgreement(startScores, usedMarks, fullMark);

    // Folds dealt in the order of the marks, so that each holds high and low marks alike.
    const size_t k = std::clamp<size_t>(folds, 2, n);
    std::vector<size_t> byMark = all;
    std::stable_sort(byMark.begin(), byMark.end(), [&](size_t a, size_t b) { return marks[a] < marks[b]; });
    std::vector<size_t> foldOf(n);
    for (size_t r = 0; r < n; ++r) foldOf[byMark[r]] = r % k;

    std::vector<double> heldOut(n);
    for (size_t f = 0; f < k; ++f) {
        std::vector<size_t> train, test;
        for (size_t i = 0; i < n; ++i) (foldOf[i] == f ? test : train).push_back(i);
        Sample sample(records, marks, fullMark, train);
        ScoringParams fitted = Search(sample, start, free, fullMark);
        for (size_t i : test) {
            EssayRecord r = records[i];
            r.evidence.reset();
            RescoreFromFeatures(r, fitted);
            heldOut[i] = ScaledTotal(r, fitted, fullMark);
        }
    }
    result.after = MeasureAgreement(heldOut, usedMarks, fullMark);
    result.improved = Better(result.after, result.before);
    if (result.improved) {
        Sample sample(records, marks, fullMark, all);
        result.params = Search(sample, start, free, fullMark);
    }
    return result;
}

}  // namespace tavi
