#include "ui/CAboutDlg.h"

#include "ui/Resources.h"

namespace tavi {
namespace {

const DialogTemplate& Template() {
    using C = ControlTemplate;
    static const DialogTemplate t = {
        CAboutDlg::IDD,
        "バージョン情報",
        235,
        55,
        "MS UI Gothic",
        9,
        {
            {C::kIcon, -1, nullptr, 11, 17, 20, 20},
            {C::kLabel, -1, "Tavi Version 0.99", 40, 21, 119, 8},
            {C::kDefaultButton, kIdOk, "OK", 178, 7, 50, 14},
        },
    };
    return t;
}

}  // namespace

CAboutDlg::CAboutDlg(DesktopPerson& person, QWidget* parent) : TemplateDialog(Template(), person, parent) {}

}  // namespace tavi
