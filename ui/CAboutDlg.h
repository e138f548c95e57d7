#pragma once

#include "ui/TemplateDialog.h"

namespace tavi {

// The version dialog "バージョン情報": the application icon, "Tavi Version 0.99", the licence, the
// models' attribution and OK.
class CAboutDlg : public TemplateDialog {
    Q_OBJECT
public:
    enum { IDD = 100 };
    CAboutDlg(DesktopPerson& person, QWidget* parent = nullptr);

protected:
    void DoDataExchange(DataExchange&) override {}
};

}  // namespace tavi
