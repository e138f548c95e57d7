// The question settings and parameter detail commands.
#include <cmath>

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
    if (!m_person.RunQuestionSettings(path, values)) return;
    ApplyBetweenAnswers([this, path, values] { ApplyQuestionSettings(path, values); });
}

void CTaviDoc::ApplyQuestionSettings(const std::string& questionPath, const ScoringParams& values) {
    std::string previousPath;
    bool pathChanged;
    {
        std::lock_guard lock(m_mutex);
        previousPath = m_strQuestionPath;
        pathChanged = questionPath != m_strQuestionPath;
        if (pathChanged) m_strQuestionPath = questionPath;
    }
    // The question is read with the paragraph mode in force before the dialog.
    if (pathChanged && !PrepareQuestion()) {
        // Keep the path that matches the question vector in use, and say why.
        {
            std::lock_guard lock(m_mutex);
            m_strQuestionPath = previousPath;
        }
        bool modelUsable;
        {
            std::lock_guard lock(m_mutex);
            modelUsable = m_contentModel.dictionaryLoaded && m_contentModel.matrixLoaded;
        }
        std::string text = modelUsable ? Sjis("設問文ファイル : \n ") + questionPath +
                                             Sjis(" \n を読み込めないか、文章が含まれていません。")
                                       : Sjis("内容評価用辞書が使用できないため、設問文ファイル : \n ") + questionPath +
                                             Sjis(" \n を処理できません。");
        m_person.ShowMessageBox({text, "Tavi", MessageButtons::kOk, MessageIcon::kExclamation, 0, true});
    }
    bool totalsChanged;
    {
        std::lock_guard lock(m_mutex);
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
}

void CTaviDoc::OnParamDetail() {
    ScoringParams values = GetParams();
    if (!m_person.RunParamDetail(values)) return;
    ApplyBetweenAnswers([this, values] { ApplyParamDetail(values); });
}

void CTaviDoc::ApplyParamDetail(const ScoringParams& values) {
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
    if (model) {
        LoadModel(values.modelPath);
        PrepareQuestion();
    }
    std::lock_guard lock(m_mutex);
    m_params.modelChoice = values.modelChoice;
}

}  // namespace tavi
