#include "ui/TemplateDialog.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "ui/DataExchange.h"
#include "ui/Icons.h"
#include "ui/Resources.h"

namespace tavi {

TemplateDialog::TemplateDialog(const DialogTemplate& t, DesktopPerson& person, QWidget* parent)
    : QDialog(parent), m_person(person), m_font(DialogFont(t.fontFamily, t.pointSize)), m_units(m_font) {
    setObjectName(QStringLiteral("dialog%1").arg(t.id));
    setWindowTitle(QString::fromUtf8(t.caption));
    setFont(m_font);
    setFixedSize(m_units.X(t.width), m_units.Y(t.height));
    setWindowFlags((windowFlags() | Qt::MSWindowsFixedSizeDialogHint) & ~Qt::WindowContextHelpButtonHint);

    std::vector<QWidget*> tabOrder;
    std::vector<QGroupBox*> groupBoxes;
    QButtonGroup* radioGroup = nullptr;
    for (const ControlTemplate& c : t.controls) {
        QString text = QString::fromUtf8(c.text ? c.text : "");
        QWidget* w = nullptr;
        switch (c.kind) {
            case ControlTemplate::kLabel:
            case ControlTemplate::kCenteredLabel: {
                auto* label = new QLabel(text, this);
                label->setTextFormat(Qt::PlainText);
                label->setAlignment((c.kind == ControlTemplate::kCenteredLabel ? Qt::AlignHCenter : Qt::AlignLeft) |
                                    Qt::AlignTop);
                w = label;
                break;
            }
            case ControlTemplate::kIcon: {
                auto* label = new QLabel(this);
                label->setPixmap(AppIcon().pixmap(32, 32));
                label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
                w = label;
                break;
            }
            case ControlTemplate::kEdit:
                w = new QLineEdit(this);
                tabOrder.push_back(w);
                break;
            case ControlTemplate::kButton:
            case ControlTemplate::kDefaultButton: {
                auto* button = new QPushButton(text, this);
                button->setDefault(c.kind == ControlTemplate::kDefaultButton);
                w = button;
                tabOrder.push_back(w);
                break;
            }
            case ControlTemplate::kRadio: {
                auto* radio = new QRadioButton(text, this);
                // A radio button that follows a non-radio control starts a new group.
                if (!radioGroup || tabOrder.empty() || !qobject_cast<QRadioButton*>(tabOrder.back())) {
                    radioGroup = new QButtonGroup(this);
                    radioGroup->setExclusive(true);
                }
                radioGroup->addButton(radio);
                w = radio;
                tabOrder.push_back(w);
                break;
            }
            case ControlTemplate::kGroupBox: {
                auto* box = new QGroupBox(text, this);
                groupBoxes.push_back(box);
                w = box;
                break;
            }
        }
        w->setGeometry(m_units.Rect(c.x, c.y, c.width, c.height));
        w->setEnabled(!c.disabled);
        if (c.id >= 0) {
            w->setObjectName(QStringLiteral("control%1").arg(c.id));
            w->setProperty("controlId", c.id);
            m_items[c.id] = w;
        }
    }
    // Group boxes are frames behind the controls they surround, whatever their template order.
    for (QGroupBox* box : groupBoxes) {
        box->setFocusPolicy(Qt::NoFocus);
        box->lower();
    }
    for (size_t i = 1; i < tabOrder.size(); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);

    if (auto* ok = qobject_cast<QPushButton*>(GetDlgItem(kIdOk)))
        connect(ok, &QPushButton::clicked, this, [this] { OnOK(); });
    if (auto* cancel = qobject_cast<QPushButton*>(GetDlgItem(kIdCancel)))
        connect(cancel, &QPushButton::clicked, this, [this] { OnCancel(); });
}

QWidget* TemplateDialog::GetDlgItem(int id) const {
    auto it = m_items.find(id);
    return it == m_items.end() ? nullptr : it->second;
}

bool TemplateDialog::UpdateData(bool saveAndValidate) {
    DataExchange dx(*this, saveAndValidate);
    DoDataExchange(dx);
    return !dx.Failed();
}

void TemplateDialog::Initialize() {
    if (m_initialized) return;
    m_initialized = true;
    OnInitDialog();
}

int TemplateDialog::DoModal() {
    Initialize();
    return exec();
}

void TemplateDialog::OnOK() {
    if (UpdateData(true)) EndDialog(kIdOk);
}

void TemplateDialog::OnClicked(int id, std::function<void()> handler) {
    if (auto* button = qobject_cast<QAbstractButton*>(GetDlgItem(id)))
        connect(button, &QAbstractButton::clicked, this, [handler = std::move(handler)] { handler(); });
}

void TemplateDialog::EnableItem(int id, bool enabled) {
    if (QWidget* w = GetDlgItem(id)) w->setEnabled(enabled);
}

}  // namespace tavi
