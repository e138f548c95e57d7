#pragma once

#include <QString>

#include "ui/TemplateDialog.h"

namespace tavi {

// The question and answer settings dialog "設問と回答文の環境設定": the question file, the
// expected length, the three axis weights and the paragraph rule. It edits only its members;
// the caller fills them, shows the dialog and takes them back after OK.
class CTaviPref : public TemplateDialog {
    Q_OBJECT
public:
    enum {
        IDD = 130,
        IDC_QUESTION_PATH = 1000,
        IDC_BROWSE = 1001,
        IDC_EXPECTED_LENGTH = 1002,
        IDC_PARAGRAPH_BLANK_LINE = 1003,
        IDC_PARAGRAPH_LINE_BREAK = 1004,
        IDC_RHETORIC_WEIGHT = 1005,
        IDC_ORGANIZATION_WEIGHT = 1006,
        IDC_CONTENT_WEIGHT = 1007,
        IDC_EDIT_QUESTION = 1011,
    };
    static constexpr int kMaxPathChars = 260;

    CTaviPref(DesktopPerson& person, QWidget* parent = nullptr);

    QString questionPath;         // native full path of the question file
    double expectedLength = 800;  // characters
    double rhetoricWeight = 5;
    double organizationWeight = 2;
    double contentWeight = 3;
    int paragraphMode = 0;  // 0: two or more line breaks end a paragraph; 1: every line break

protected:
    void DoDataExchange(DataExchange& dx) override;

private:
    void OnBrowse();
    void OnEditQuestion();
};

}  // namespace tavi
