#include "ui/CTaviPref.h"

#include "analysis/Encoding.h"
#include "ui/DataExchange.h"
#include "ui/DesktopPerson.h"

namespace tavi {
namespace {

const DialogTemplate& Template() {
    using C = ControlTemplate;
    static const DialogTemplate t = {
        CTaviPref::IDD,
        "設問と回答文の環境設定",
        186,
        149,
        "MS Shell Dlg",
        8,
        {
            {C::kLabel, -1, "設問文ファイルを指定:", 7, 5, 72, 8},
            {C::kEdit, CTaviPref::IDC_QUESTION_PATH, nullptr, 7, 16, 85, 14},
            {C::kButton, CTaviPref::IDC_BROWSE, "参照(&R)...", 96, 16, 39, 14},
            {C::kLabel, -1, "回答の想定分量（文字数）を指定:", 6, 40, 112, 8},
            {C::kEdit, CTaviPref::IDC_EXPECTED_LENGTH, nullptr, 119, 37, 38, 12},
            {C::kLabel, -1, "字", 162, 40, 9, 8},
            {C::kGroupBox, -1, "採点配分", 6, 54, 174, 30},
            {C::kLabel, -1, "修辞 : 論理構成 : 内容 =", 12, 67, 86, 8},
            {C::kEdit, CTaviPref::IDC_RHETORIC_WEIGHT, nullptr, 102, 66, 16, 12},
            {C::kCenteredLabel, -1, ":", 119, 67, 8, 8},
            {C::kEdit, CTaviPref::IDC_ORGANIZATION_WEIGHT, nullptr, 128, 66, 16, 12},
            {C::kCenteredLabel, -1, ":", 145, 67, 8, 8},
            {C::kEdit, CTaviPref::IDC_CONTENT_WEIGHT, nullptr, 154, 66, 16, 12},
            {C::kRadio, CTaviPref::IDC_PARAGRAPH_BLANK_LINE, "連続する２つ以上の改行を段落の区切りとする。", 8, 100,
             168, 10},
            {C::kRadio, CTaviPref::IDC_PARAGRAPH_LINE_BREAK, "改行を段落の区切りとする。", 8, 112, 105, 10},
            {C::kGroupBox, -1, "回答文の段落区切りについて", 6, 88, 174, 36},
            {C::kDefaultButton, kIdOk, "OK", 72, 130, 50, 14},
            {C::kButton, kIdCancel, "キャンセル", 126, 130, 50, 14},
            {C::kButton, CTaviPref::IDC_EDIT_QUESTION, "編集/確認", 139, 16, 40, 14},
        },
    };
    return t;
}

}  // namespace

CTaviPref::CTaviPref(DesktopPerson& person, QWidget* parent) : TemplateDialog(Template(), person, parent) {
    OnClicked(IDC_BROWSE, [this] { OnBrowse(); });
    OnClicked(IDC_EDIT_QUESTION, [this] { OnEditQuestion(); });
}

void CTaviPref::DoDataExchange(DataExchange& dx) {
    dx.Text(IDC_QUESTION_PATH, questionPath, kMaxPathChars, true);
    dx.Number(IDC_EXPECTED_LENGTH, expectedLength);
    dx.Number(IDC_RHETORIC_WEIGHT, rhetoricWeight);
    dx.Number(IDC_ORGANIZATION_WEIGHT, organizationWeight);
    dx.Number(IDC_CONTENT_WEIGHT, contentWeight);
    dx.Radio({IDC_PARAGRAPH_BLANK_LINE, IDC_PARAGRAPH_LINE_BREAK}, paragraphMode);
}

void CTaviPref::OnBrowse() {
    std::string path;
    if (Person().ChooseFileToOpen({"txt", Sjis("設問文ファイル(*.txt)|*.txt|全て(*.*)|*.*||")}, path))
        questionPath = QString::fromStdString(path);
    // Whatever was typed into the other fields since they were last taken in is replaced.
    UpdateData(false);
}

void CTaviPref::OnEditQuestion() {
    UpdateData(true);  // the path, exchanged first, is taken in even when a later field is refused
    if (questionPath.isEmpty()) {
        Person().ShowMessageBox(
            {Sjis("設問文ファイルを指定してください。"), "Tavi", MessageButtons::kOk, MessageIcon::kNone, 0, true});
        return;
    }
    Person().StartProcess(EditorCommand(questionPath.toStdString()));  // a failure to start is not reported
}

}  // namespace tavi
