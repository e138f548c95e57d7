#include "ui/DataExchange.h"

#include <QButtonGroup>
#include <QLineEdit>
#include <QLocale>
#include <QRadioButton>
#include <QRegularExpression>
#include <QValidator>
#include <charconv>

#include "analysis/Encoding.h"
#include "ui/DesktopPerson.h"
#include "ui/TemplateDialog.h"

namespace tavi {
namespace {

// Keeps the user from typing a text longer than the limit, while a longer text that was set
// by the program stays editable (and is refused when taken in): an edit may not grow the text
// beyond the limit.
class LengthLimit : public QValidator {
public:
    LengthLimit(QLineEdit* edit, int maxChars) : QValidator(edit), m_max(maxChars), m_length(edit->text().size()) {
        connect(edit, &QLineEdit::textChanged, this, [this](const QString& text) { m_length = text.size(); });
    }
    State validate(QString& input, int&) const override {
        return input.size() > m_max && input.size() > m_length ? Invalid : Acceptable;
    }

private:
    int m_max;
    qsizetype m_length;  // of the text before the edit
};

}  // namespace

void DataExchange::Fail(int id, const QString& message) {
    m_failed = true;
    m_dialog.Person().ShowMessageBox(
        {Utf8ToSjis(message.toStdString()), "Tavi", MessageButtons::kOk, MessageIcon::kExclamation, 0, true});
    if (auto* edit = qobject_cast<QLineEdit*>(m_dialog.GetDlgItem(id))) {
        edit->setFocus(Qt::OtherFocusReason);
        edit->selectAll();
    }
}

void DataExchange::Text(int id, QString& value, int maxChars, bool isPath) {
    if (m_failed) return;
    auto* edit = qobject_cast<QLineEdit*>(m_dialog.GetDlgItem(id));
    if (!edit) return;
    if (!m_save) {
        if (maxChars > 0 && !edit->validator()) edit->setValidator(new LengthLimit(edit, maxChars));
        edit->setText(value);
        edit->setCursorPosition(0);
        return;
    }
    QString text = edit->text();
    if (maxChars > 0 && text.size() > maxChars) {
        Fail(id, QString::fromUtf8("%1 文字以内で入力してください。").arg(maxChars));
        return;
    }
    if (isPath) {
        std::string sjis;
        if (!NativePathToSjis(text.toStdString(), sjis)) {
            Fail(id, QString::fromUtf8("Shift_JIS で表せない文字がファイル名に含まれています。"));
            return;
        }
    }
    value = text;
}

QString DataExchange::FormatNumber(double value) { return QLocale::c().toString(value, 'g', 15); }

bool DataExchange::ParseNumber(const QString& text, double& value) {
    static const QRegularExpression decimal(QStringLiteral(R"(^\s*([+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?)\s*$)"));
    QRegularExpressionMatch match = decimal.match(text);
    if (!match.hasMatch()) return false;
    std::string number = match.captured(1).toStdString();
    size_t start = number[0] == '+' ? 1 : 0;  // from_chars takes no plus sign
    double parsed = 0;
    auto [end, error] = std::from_chars(number.data() + start, number.data() + number.size(), parsed);
    if (error != std::errc() || end != number.data() + number.size()) return false;
    value = parsed;
    return true;
}

void DataExchange::Number(int id, double& value) {
    if (m_failed) return;
    auto* edit = qobject_cast<QLineEdit*>(m_dialog.GetDlgItem(id));
    if (!edit) return;
    if (!m_save) {
        edit->setText(FormatNumber(value));
        return;
    }
    if (!ParseNumber(edit->text(), value)) Fail(id, QString::fromUtf8("数値を入力してください。"));
}

void DataExchange::Radio(std::initializer_list<int> ids, int& value) {
    if (m_failed) return;
    int index = 0;
    if (m_save) {
        value = -1;
        for (int id : ids) {
            if (auto* radio = qobject_cast<QRadioButton*>(m_dialog.GetDlgItem(id)); radio && radio->isChecked())
                value = index;
            ++index;
        }
        return;
    }
    for (int id : ids) {
        if (auto* radio = qobject_cast<QRadioButton*>(m_dialog.GetDlgItem(id))) {
            // An exclusive group cannot show no button checked; lift it for the moment.
            QButtonGroup* group = radio->group();
            if (group) group->setExclusive(false);
            radio->setChecked(index == value);
            if (group) group->setExclusive(true);
        }
        ++index;
    }
}

}  // namespace tavi
