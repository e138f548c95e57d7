#pragma once

#include <QString>
#include <initializer_list>

namespace tavi {

class TemplateDialog;

// One exchange between a dialog's members and its controls, in one direction. Taking the
// controls in stops at the first refused field: the refusal is shown in a message box, the
// focus goes to the field, and the exchanges after it do nothing.
class DataExchange {
public:
    DataExchange(TemplateDialog& dialog, bool saveAndValidate) : m_dialog(dialog), m_save(saveAndValidate) {}

    bool IsSaving() const { return m_save; }
    bool Failed() const { return m_failed; }

    // A text field. `maxChars` > 0 limits what the user can type and refuses a longer text;
    // a path field also refuses characters that have no Shift_JIS form.
    void Text(int id, QString& value, int maxChars = 0, bool isPath = false);
    // A number field, shown with 15 significant digits; a text that is not a decimal number
    // (blanks around it allowed) is refused.
    void Number(int id, double& value);
    // A radio group: the index of the checked button, -1 when none is.
    void Radio(std::initializer_list<int> ids, int& value);

    // The number's text as the fields show it.
    static QString FormatNumber(double value);
    // Reads a field's text as a number; false when it is not one.
    static bool ParseNumber(const QString& text, double& value);

private:
    void Fail(int id, const QString& message);

    TemplateDialog& m_dialog;
    bool m_save;
    bool m_failed = false;
};

}  // namespace tavi
