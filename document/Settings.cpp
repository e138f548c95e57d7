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
        totalsChanged = !Same(values.expectedLength, m_params.expectedLength) ||
                        !Same(values.rhetoricWeight, m_params.rhetoricWeight) ||
                        !Same(values.organizationWeight, m_params.organizationWeight) ||
                        !Same(values.contentWeight, m_params.contentWeight);
        m_params.expectedLength = values.expectedLength;
        m_params.rhetoricWeight = values.rhetoricWeight;
        m_params.organizationWeight = values.organizationWeight;
        m_params.contentWeight = values.contentWeight;
        m_params.paragraphMode = values.paragraphMode;
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
        rhetoric = !SameRhetoricRatios(values, m_params);
        if (rhetoric) CopyRhetoricRatios(values, m_params);
        organization = !Same(values.cueWordWeight, m_params.cueWordWeight) ||
                       !Same(values.demonstrativeWeight, m_params.demonstrativeWeight);
        if (organization) {
            m_params.cueWordWeight = values.cueWordWeight;
            m_params.demonstrativeWeight = values.demonstrativeWeight;
        }
        model = values.modelPath != m_params.modelPath;
        if (model) m_params.modelPath = values.modelPath;
    }
    if (rhetoric) RescoreRhetoric();
    if (organization) RescoreOrganization();
    DocResult result;
    if (model) result = LoadModel(values.modelPath);
    std::lock_guard lock(m_mutex);
    m_params.modelChoice = values.modelChoice;
    return result;
}

}  // namespace tavi
