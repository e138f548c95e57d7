// The question settings and parameter detail commands.

#include "analysis/Encoding.h"
#include "document/CTaviDoc.h"

namespace tavi {
namespace {

// Exact comparison of reals, a value that is not a number counting as different.
bool Same(double a, double b) { return a == b; }

bool SameRhetoricRatios(const ScoringParams& a, const ScoringParams& b) {
    for (auto ratio : kRhetoricRatios)
        if (!Same(a.*ratio, b.*ratio)) return false;
    return true;
}

void CopyRhetoricRatios(const ScoringParams& from, ScoringParams& to) {
    for (auto ratio : kRhetoricRatios) to.*ratio = from.*ratio;
}

}  // namespace

void CTaviDoc::OnQuestionSettings() {
    std::string path = GetQuestionPath();
    ScoringParams values = GetParams();
    if (m_person.RunQuestionSettings(path, values)) Report(m_person, ApplyQuestionSettings(path, values));
}

DocResult CTaviDoc::ApplyQuestionSettings(const std::string& questionPath, const ScoringParams& values) {
    return ApplyBetweenAnswers([this, questionPath, values] { return ChangeQuestionSettings(questionPath, values); });
}

DocResult CTaviDoc::ChangeQuestionSettings(const std::string& questionPath, const ScoringParams& values) {
    std::string previousPath;
    bool pathChanged;
    {
        std::lock_guard lock(m_mutex);
        previousPath = m_strQuestionPath;
        pathChanged = questionPath != m_strQuestionPath;
        if (pathChanged) m_strQuestionPath = questionPath;
    }
    DocResult result;
    // The question is read with the paragraph mode in force before the change.
    if (pathChanged) result = PrepareQuestion();
    bool totalsChanged;
    {
        std::lock_guard lock(m_mutex);
        // A refused question keeps the path that matches the question vector in use.
        if (result.error) m_strQuestionPath = previousPath;
        ScoringParams p = m_scorer.Params();
        totalsChanged =
            !Same(values.expectedLength, p.expectedLength) || !Same(values.rhetoricWeight, p.rhetoricWeight) ||
            !Same(values.organizationWeight, p.organizationWeight) || !Same(values.contentWeight, p.contentWeight);
        p.expectedLength = values.expectedLength;
        p.rhetoricWeight = values.rhetoricWeight;
        p.organizationWeight = values.organizationWeight;
        p.contentWeight = values.contentWeight;
        p.paragraphMode = values.paragraphMode;
        m_scorer.SetParams(p);
    }
    if (totalsChanged) RecomputeTotals();
    return result;
}

void CTaviDoc::OnParamDetail() {
    ScoringParams values = GetParams();
    if (m_person.RunParamDetail(values)) Report(m_person, ApplyParamDetail(values));
}

DocResult CTaviDoc::ApplyParamDetail(const ScoringParams& values) {
    return ApplyBetweenAnswers([this, values] { return ChangeParamDetail(values); });
}

DocResult CTaviDoc::ChangeParamDetail(const ScoringParams& values) {
    bool rhetoric, organization, model;
    {
        std::lock_guard lock(m_mutex);
        ScoringParams p = m_scorer.Params();
        rhetoric = !SameRhetoricRatios(values, p);
        if (rhetoric) CopyRhetoricRatios(values, p);
        organization =
            !Same(values.cueWordWeight, p.cueWordWeight) || !Same(values.demonstrativeWeight, p.demonstrativeWeight);
        if (organization) {
            p.cueWordWeight = values.cueWordWeight;
            p.demonstrativeWeight = values.demonstrativeWeight;
        }
        m_scorer.SetParams(p);
        model = values.modelPath != p.modelPath;
    }
    if (rhetoric) RescoreRhetoric();
    if (organization) RescoreOrganization();
    DocResult result;
    if (model) result = LoadModel(values.modelPath);  // which takes the path
    std::lock_guard lock(m_mutex);
    ScoringParams p = m_scorer.Params();
    p.modelChoice = values.modelChoice;
    m_scorer.SetParams(p);
    return result;
}

}  // namespace tavi
