#pragma once

#include <QString>
#include <span>

#include "evaluation/ScoringParams.h"
#include "ui/TemplateDialog.h"

namespace tavi {

// The scoring parameter detail dialog "採点パラメータ詳細設定": the twelve rhetoric ratios, the
// two organization ratios and the content model. It edits only its members; on OK it offers
// to rescale a group of ratios whose sum is not 1, and stays open after a rescale so that
// the user can look at the new values.
class CTaviEvalParamDetailDlg : public TemplateDialog {
    Q_OBJECT
public:
    enum {
        IDD = 131,
        IDC_SENTENCE_LENGTH_MEDIAN = 1019,
        IDC_PHRASE_LENGTH_MEDIAN = 1020,
        IDC_BUNSETSU_PER_PHRASE_MEDIAN = 1021,
        IDC_VOCABULARY_DIVERSITY = 1022,
        IDC_LONG_READING_KANJI = 1023,
        IDC_ATTRIBUTIVE_SENTENCES = 1024,
        IDC_DEFAULTS = 1027,
        IDC_SENTENCE_LENGTH_MAX = 1028,
        IDC_PHRASE_LENGTH_MAX = 1029,
        IDC_BUNSETSU_PER_PHRASE_MAX = 1030,
        IDC_KANA_KANJI_RATIO = 1031,
        IDC_PASSIVE_RATE = 1032,
        IDC_CONTINUATIVE_SENTENCES = 1033,
        IDC_CUE_WORDS = 1034,
        IDC_DEMONSTRATIVES = 1035,
        IDC_MODEL_YOROKU = 1036,
        IDC_MODEL_SYASETSU = 1037,
        IDC_MODEL_OTHER = 1038,
        IDC_MODEL_PATH = 1039,
        IDC_BROWSE = 1040,
    };

    CTaviEvalParamDetailDlg(DesktopPerson& person, QWidget* parent = nullptr);

    // Copies the fourteen ratios from and to scoring parameters.
    void SetRatios(const ScoringParams& params);
    void GetRatios(ScoringParams& params) const;

    // The fourteen ratios the dialog edits (its other members are not used).
    ScoringParams ratios;
    int modelChoice = 0;                                         // 0, 1: built-in models; 2: the file in modelPath
    QString modelPath = QString::fromUtf8(BuiltInModelFile(0));  // native path or a built-in model's name

protected:
    void DoDataExchange(DataExchange& dx) override;
    void OnInitDialog() override;
    void OnOK() override;

private:
    void OnBuiltInModel(int choice);
    void OnOtherModel();
    void OnBrowse();
    void OnDefaults();
    // The sum test of one group; true when the group was rescaled or cannot be.
    bool CheckGroupSum(std::span<double ScoringParams::*const> group, const char* question, const char* zeroSum,
                       int firstField);
};

}  // namespace tavi
