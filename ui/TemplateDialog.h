#pragma once

#include <QDialog>
#include <QFont>
#include <functional>
#include <map>
#include <vector>

#include "ui/DialogUnits.h"

namespace tavi {

// Control numbers of the OK and Cancel buttons, also the results of DoModal.
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

class DataExchange;
class DesktopPerson;

// One control of a dialog template, its rectangle in dialog units.
struct ControlTemplate {
    enum Kind { kLabel, kCenteredLabel, kEdit, kButton, kDefaultButton, kRadio, kGroupBox, kIcon };
    Kind kind;
    int id;  // -1 for controls that nothing refers to
    const char* text;
    int x, y, width, height;
    bool disabled = false;
};

// A dialog template: caption, client size in dialog units, font and the controls in tab order.
struct DialogTemplate {
    int id;
    const char* caption;
    int width, height;
    const char* fontFamily;
    int pointSize;
    std::vector<ControlTemplate> controls;
};

// A modal dialog built from a template: controls placed in dialog units of the template's
// font, found by their numbers, with data exchange between members and controls.
class TemplateDialog : public QDialog {
    Q_OBJECT
public:
    TemplateDialog(const DialogTemplate& dialogTemplate, DesktopPerson& person, QWidget* parent);

    // Fills the controls from the members (false), or takes them in (true); taking them in
    // stops at the first refused field, shows why and puts the focus there, returning false.
    bool UpdateData(bool saveAndValidate = true);
    // The control with a number, or null.
    QWidget* GetDlgItem(int id) const;
    // Initialises the dialog (once), shows it modally and returns kIdOk or kIdCancel.
    int DoModal();
    // Runs the initialisation without showing the dialog, for a caller that shows it itself.
    void Initialize();

    const DialogUnits& Units() const { return m_units; }
    DesktopPerson& Person() const { return m_person; }

    void reject() override { OnCancel(); }

protected:
    virtual void DoDataExchange(DataExchange& dx) = 0;
    // Fills the controls from the members.
    virtual void OnInitDialog() { UpdateData(false); }
    // Takes the fields in and closes with OK when every field is accepted.
    virtual void OnOK();
    virtual void OnCancel() { EndDialog(2); }
    void EndDialog(int result) { done(result); }
    // Calls `handler` when the button with number `id` is clicked.
    void OnClicked(int id, std::function<void()> handler);
    void EnableItem(int id, bool enabled);

private:
    DesktopPerson& m_person;
    QFont m_font;
    DialogUnits m_units;
    std::map<int, QWidget*> m_items;
    bool m_initialized = false;
};

}  // namespace tavi
