#include "ui/CAboutDlg.h"

#include "report/About.h"
#include "ui/Resources.h"

namespace tavi {
namespace {

constexpr const char* kModelAttribution =
    "内容評価モデルのコーパス:\n"
    "出典：「情報通信白書」（総務省）（平成12年版〜令和5年版）\n"
    "Sentences from Tatoeba (tatoeba.org), by its contributors\n"
    "(CC BY 2.0 FR)\n"
    "Wikinews contributors (ja.wikinews.org), CC BY 2.5";

const DialogTemplate& Template() {
    using C = ControlTemplate;
    static const std::string licence = std::string(kLicenceNotice) + "\n" + kLicenceWhere;
    static const DialogTemplate t = {
        CAboutDlg::IDD,
        "バージョン情報",
        260,
        108,
        "MS UI Gothic",
        9,
        {
            {C::kIcon, -1, nullptr, 11, 17, 20, 20},
            {C::kLabel, -1, "Tavi Version 0.99", 40, 21, 119, 8},
            {C::kDefaultButton, kIdOk, "OK", 178, 7, 50, 14},
            {C::kLabel, -1, licence.c_str(), 11, 33, 240, 16},
            // The licences of the corpora that the built-in content models are built from ask for these lines.
            {C::kLabel, -1, kModelAttribution, 11, 53, 240, 48},
        },
    };
    return t;
}

}  // namespace

CAboutDlg::CAboutDlg(DesktopPerson& person, QWidget* parent) : TemplateDialog(Template(), person, parent) {}

}  // namespace tavi
