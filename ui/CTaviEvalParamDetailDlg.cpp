#include "ui/CTaviEvalParamDetailDlg.h"

#include <cmath>

#include "analysis/Encoding.h"
#include "ui/DataExchange.h"
#include "ui/DesktopPerson.h"

namespace tavi {
namespace {

using D = CTaviEvalParamDetailDlg;

// The label of a ratio's field.
consteval const char* Label(double ScoringParams::*ratio) { return SpecOf(ratio).label; }

const DialogTemplate& Template() {
    using C = ControlTemplate;
    static const DialogTemplate t = {
        D::IDD,
        "採点パラメータ詳細設定",
        226,
        255,
        "MS Shell Dlg",
        8,
        {
            {C::kGroupBox, -1, "修辞評価に関する採点比率詳細", 7, 7, 209, 115},
            {C::kLabel, -1, Label(&ScoringParams::sentenceLengthMedianWeight), 29, 20, 60, 8},
            {C::kEdit, D::IDC_SENTENCE_LENGTH_MEDIAN, nullptr, 92, 18, 23, 12},
            {C::kLabel, -1, Label(&ScoringParams::sentenceLengthMaxWeight), 29, 36, 60, 8},
            {C::kEdit, D::IDC_SENTENCE_LENGTH_MAX, nullptr, 92, 34, 23, 12},
            {C::kLabel, -1, Label(&ScoringParams::phraseLengthMedianWeight), 122, 20, 60, 8},
            {C::kEdit, D::IDC_PHRASE_LENGTH_MEDIAN, nullptr, 186, 18, 23, 12},
            {C::kLabel, -1, Label(&ScoringParams::phraseLengthMaxWeight), 122, 36, 60, 8},
            {C::kEdit, D::IDC_PHRASE_LENGTH_MAX, nullptr, 186, 34, 23, 12},
            {C::kLabel, -1, Label(&ScoringParams::bunsetsuPerPhraseMedianWeight), 11, 52, 78, 8},
            {C::kEdit, D::IDC_BUNSETSU_PER_PHRASE_MEDIAN, nullptr, 92, 50, 23, 12},
            {C::kLabel, -1, Label(&ScoringParams::bunsetsuPerPhraseMaxWeight), 11, 68, 78, 8},
            {C::kEdit, D::IDC_BUNSETSU_PER_PHRASE_MAX, nullptr, 92, 66, 23, 12},
            {C::kLabel, -1, Label(&ScoringParams::vocabularyDiversityWeight), 134, 100, 48, 8},
            {C::kEdit, D::IDC_VOCABULARY_DIVERSITY, nullptr, 186, 98, 23, 12},
            {C::kLabel, -1, Label(&ScoringParams::kanaKanjiRatioWeight), 126, 68, 56, 8},
            {C::kEdit, D::IDC_KANA_KANJI_RATIO, nullptr, 186, 66, 23, 12},
            {C::kLabel, -1, Label(&ScoringParams::longReadingKanjiWeight), 128, 52, 54, 8},
            {C::kEdit, D::IDC_LONG_READING_KANJI, nullptr, 186, 50, 23, 12},
            {C::kLabel, -1, Label(&ScoringParams::passiveRateWeight), 157, 84, 25, 8},
            {C::kEdit, D::IDC_PASSIVE_RATE, nullptr, 186, 82, 23, 12},
            {C::kLabel, -1, Label(&ScoringParams::attributiveSentencesWeight), 14, 83, 75, 8},
            {C::kEdit, D::IDC_ATTRIBUTIVE_SENTENCES, nullptr, 92, 82, 23, 12},
            {C::kLabel, -1, Label(&ScoringParams::continuativeSentencesWeight), 12, 100, 77, 8},
            {C::kEdit, D::IDC_CONTINUATIVE_SENTENCES, nullptr, 92, 98, 23, 12},
            {C::kGroupBox, -1, "論理評価に関する採点比率詳細", 7, 127, 209, 36},
            {C::kLabel, -1, Label(&ScoringParams::cueWordWeight), 33, 143, 56, 8},
            {C::kEdit, D::IDC_CUE_WORDS, nullptr, 92, 141, 23, 12},
            {C::kLabel, -1, Label(&ScoringParams::demonstrativeWeight), 128, 143, 56, 8},
            {C::kEdit, D::IDC_DEMONSTRATIVES, nullptr, 186, 141, 23, 12},
            {C::kGroupBox, -1, "内容評価に関するパラメータ", 7, 168, 209, 59},
            {C::kRadio, D::IDC_MODEL_YOROKU, "毎日新聞2000年版「余禄」より", 12, 180, 115, 10},
            {C::kRadio, D::IDC_MODEL_SYASETSU, "毎日新聞2000年版「社説」より", 12, 194, 115, 10},
            {C::kRadio, D::IDC_MODEL_OTHER, "その他", 12, 208, 37, 10},
            {C::kEdit, D::IDC_MODEL_PATH, nullptr, 51, 207, 82, 13, true},
            {C::kButton, D::IDC_BROWSE, "参照(&R)...", 139, 206, 42, 15, true},
            {C::kButton, D::IDC_DEFAULTS, "既定値に設定", 7, 233, 51, 14},
            {C::kDefaultButton, kIdOk, "OK", 114, 234, 50, 14},
            {C::kButton, kIdCancel, "キャンセル", 168, 234, 50, 14},
        },
    };
    return t;
}

// |S - 1| beyond this is a sum that is not 1.
constexpr double kSumTolerance = 1.1920928955078125e-07;  // 2^-23

}  // namespace

CTaviEvalParamDetailDlg::CTaviEvalParamDetailDlg(DesktopPerson& person, QWidget* parent)
    : TemplateDialog(Template(), person, parent) {
    OnClicked(IDC_MODEL_YOROKU, [this] { OnBuiltInModel(0); });
    OnClicked(IDC_MODEL_SYASETSU, [this] { OnBuiltInModel(1); });
    OnClicked(IDC_MODEL_OTHER, [this] { OnOtherModel(); });
    OnClicked(IDC_BROWSE, [this] { OnBrowse(); });
    OnClicked(IDC_DEFAULTS, [this] { OnDefaults(); });
}

void CTaviEvalParamDetailDlg::SetRatios(const ScoringParams& p) {
    for (auto ratio : kRhetoricRatios) ratios.*ratio = p.*ratio;
    for (auto ratio : kOrganizationRatios) ratios.*ratio = p.*ratio;
}

void CTaviEvalParamDetailDlg::GetRatios(ScoringParams& p) const {
    for (auto ratio : kRhetoricRatios) p.*ratio = ratios.*ratio;
    for (auto ratio : kOrganizationRatios) p.*ratio = ratios.*ratio;
}

void CTaviEvalParamDetailDlg::DoDataExchange(DataExchange& dx) {
    dx.Number(IDC_SENTENCE_LENGTH_MEDIAN, ratios.sentenceLengthMedianWeight);
    dx.Number(IDC_PHRASE_LENGTH_MEDIAN, ratios.phraseLengthMedianWeight);
    dx.Number(IDC_BUNSETSU_PER_PHRASE_MEDIAN, ratios.bunsetsuPerPhraseMedianWeight);
    dx.Number(IDC_SENTENCE_LENGTH_MAX, ratios.sentenceLengthMaxWeight);
    dx.Number(IDC_PHRASE_LENGTH_MAX, ratios.phraseLengthMaxWeight);
    dx.Number(IDC_BUNSETSU_PER_PHRASE_MAX, ratios.bunsetsuPerPhraseMaxWeight);
    dx.Number(IDC_VOCABULARY_DIVERSITY, ratios.vocabularyDiversityWeight);
    dx.Number(IDC_KANA_KANJI_RATIO, ratios.kanaKanjiRatioWeight);
    dx.Number(IDC_LONG_READING_KANJI, ratios.longReadingKanjiWeight);
    dx.Number(IDC_PASSIVE_RATE, ratios.passiveRateWeight);
    dx.Number(IDC_ATTRIBUTIVE_SENTENCES, ratios.attributiveSentencesWeight);
    dx.Number(IDC_CONTINUATIVE_SENTENCES, ratios.continuativeSentencesWeight);
    dx.Number(IDC_CUE_WORDS, ratios.cueWordWeight);
    dx.Number(IDC_DEMONSTRATIVES, ratios.demonstrativeWeight);
    dx.Radio({IDC_MODEL_YOROKU, IDC_MODEL_SYASETSU, IDC_MODEL_OTHER}, modelChoice);
    dx.Text(IDC_MODEL_PATH, modelPath, 0, true);
}

void CTaviEvalParamDetailDlg::OnInitDialog() {
    TemplateDialog::OnInitDialog();
    if (modelChoice == 2) {
        EnableItem(IDC_MODEL_PATH, true);
        EnableItem(IDC_BROWSE, true);
    }
}

void CTaviEvalParamDetailDlg::OnBuiltInModel(int choice) {
    EnableItem(IDC_MODEL_PATH, false);
    EnableItem(IDC_BROWSE, false);
    modelPath = QString::fromUtf8(BuiltInModelFile(choice));
    modelChoice = choice;
    UpdateData(false);
}

void CTaviEvalParamDetailDlg::OnOtherModel() {
    EnableItem(IDC_MODEL_PATH, true);
    EnableItem(IDC_BROWSE, true);
}

void CTaviEvalParamDetailDlg::OnBrowse() {
    std::string path;
    if (Person().ChooseFileToOpen({"tcf", Sjis("内容評価用基準ファイル(*.tcf)|*.tcf|全て(*.*)|*.*||")}, path))
        modelPath = QString::fromStdString(path);
    modelChoice = 2;
    UpdateData(false);
}

void CTaviEvalParamDetailDlg::OnDefaults() {
    SetRatios(ScoringParams());
    modelChoice = 0;
    modelPath = QString::fromUtf8(BuiltInModelFile(0));
    EnableItem(IDC_MODEL_PATH, false);
    EnableItem(IDC_BROWSE, false);
    UpdateData(false);
}

bool CTaviEvalParamDetailDlg::CheckGroupSum(std::span<double ScoringParams::*const> group, const char* question,
                                            const char* zeroSum, int firstField) {
    double sum = 0;
    for (auto ratio : group) sum += ratios.*ratio;  // in member order
    if (!(std::fabs(sum - 1) > kSumTolerance)) return false;
    if (sum == 0) {
        // Dividing by a zero sum gives nothing meaningful: the user must enter the ratios.
        Person().ShowMessageBox({Sjis(zeroSum), "Tavi", MessageButtons::kOk, MessageIcon::kExclamation, 0, true});
        if (QWidget* field = GetDlgItem(firstField)) field->setFocus(Qt::OtherFocusReason);
        return true;
    }
    if (!Person().AskYesNo({Sjis(question), "Tavi", MessageButtons::kOk, MessageIcon::kExclamation, 0, true}))
        return false;
    for (auto ratio : group) ratios.*ratio /= sum;
    UpdateData(false);
    Person().ShowMessageBox({Sjis("比率の合計を１に正規化しました。確認してください"), "Tavi", MessageButtons::kOk,
                             MessageIcon::kExclamation, 0, true});
    return true;
}

void CTaviEvalParamDetailDlg::OnOK() {
    UpdateData(true);  // a refused field has said so; the test runs on the members as they are
    bool stayOpen =
        CheckGroupSum(kRhetoricRatios, "修辞採点比率の合計が１ではありません。\n自動的に調整しますか？",
                      "修辞採点比率の合計が０のため、自動的に調整できません。\n比率を入力し直してください。",
                      IDC_SENTENCE_LENGTH_MEDIAN);
    stayOpen |= CheckGroupSum(kOrganizationRatios, "論理採点比率の合計が１ではありません。\n自動的に正規化しますか？",
                              "論理採点比率の合計が０のため、自動的に調整できません。\n比率を入力し直してください。",
                              IDC_CUE_WORDS);
    if (stayOpen) return;
    TemplateDialog::OnOK();
}

}  // namespace tavi
