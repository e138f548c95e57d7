#include "ui/QtPerson.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

#include "analysis/Encoding.h"
#include "ui/CTaviEvalParamDetailDlg.h"
#include "ui/CTaviPref.h"
#include "ui/GuiThreadCall.h"
#include "ui/Resources.h"
#include "ui/SheetImportDialog.h"

namespace tavi {
namespace {

QString FromSjis(const std::string& sjis) { return QString::fromStdString(SjisToUtf8(sjis)); }

QMessageBox::Icon BoxIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::kError:
            return QMessageBox::Critical;
        case MessageIcon::kExclamation:
            return QMessageBox::Warning;
        case MessageIcon::kQuestion:
            return QMessageBox::Question;
        case MessageIcon::kNone:
            break;
    }
    return QMessageBox::NoIcon;
}

// A message box with the request's caption, text and icon, and no buttons yet.
void PrepareBox(QMessageBox& box, const MessageBoxRequest& request) {
    box.setIcon(BoxIcon(request.icon));
    box.setWindowTitle(request.caption.empty() ? res::AppTitle() : FromSjis(request.caption));
    box.setTextFormat(Qt::PlainText);
    box.setText(FromSjis(request.text));
}

}  // namespace

QtPerson::QtPerson() : m_guiContext(new QObject) {}

QtPerson::~QtPerson() { delete m_guiContext; }

MessageAnswer QtPerson::ShowMessageBox(const MessageBoxRequest& request) {
    MessageAnswer answer = MessageAnswer::kCancel;
    CallOnThreadOf(m_guiContext, [&] { answer = ShowMessageBoxOnGuiThread(request); });
    return answer;
}

MessageAnswer QtPerson::ShowMessageBoxOnGuiThread(const MessageBoxRequest& request) {
    QMessageBox box(request.overMainWindow ? m_mainWindow.data() : nullptr);
    PrepareBox(box, request);
    QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    QPushButton* cancel = nullptr;
    if (request.buttons == MessageButtons::kOkCancel) {
        cancel = box.addButton(QString::fromUtf8("キャンセル"), QMessageBox::RejectRole);
        box.setEscapeButton(cancel);
    } else {
        box.setEscapeButton(ok);
    }
    box.setDefaultButton(request.defaultButton == 1 && cancel ? cancel : ok);
    box.exec();
    return box.clickedButton() == ok ? MessageAnswer::kOk : MessageAnswer::kCancel;
}

bool QtPerson::AskYesNo(const MessageBoxRequest& request) {
    QMessageBox box(request.overMainWindow ? m_mainWindow.data() : nullptr);
    PrepareBox(box, request);
    QPushButton* yes = box.addButton(QString::fromUtf8("はい(&Y)"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QString::fromUtf8("いいえ(&N)"), QMessageBox::NoRole);
    box.setDefaultButton(request.defaultButton == 1 ? no : yes);
    box.exec();
    return box.clickedButton() == yes;
}

QString QtPerson::QtFilter(const QString& filter) {
    QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty()) break;
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& p : patterns)
            if (p == QLatin1String("*.*")) p = QStringLiteral("*");
        // Qt reads the patterns from the last parentheses of the name: a name that already
        // ends with them stays as it is.
        QString own = QLatin1Char('(') + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
        filters << (parts[i].endsWith(own) ? parts[i] : parts[i] + QLatin1Char(' ') + own);
    }
    return filters.join(QStringLiteral(";;"));
}

namespace {

// Runs a file dialog and returns the chosen native paths; empty when it was cancelled.
QStringList RunFileDialog(QWidget* parent, const FileDialogRequest& request, QFileDialog::FileMode mode,
                          QFileDialog::AcceptMode accept) {
    QString title = QString::fromUtf8(accept == QFileDialog::AcceptSave ? "名前を付けて保存" : "開く");
    QFileDialog dialog(parent, title, QString(), QtPerson::QtFilter(FromSjis(request.filter)));
    dialog.setFileMode(mode);
    dialog.setAcceptMode(accept);
    if (accept == QFileDialog::AcceptSave) dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.selectedFiles();
}

}  // namespace

bool QtPerson::ChooseFilesToOpen(const FileDialogRequest& request, std::vector<std::string>& paths) {
    QStringList files = RunFileDialog(m_mainWindow, request, QFileDialog::ExistingFiles, QFileDialog::AcceptOpen);
    paths.clear();
    for (const QString& file : files) paths.push_back(file.toStdString());
    return !paths.empty();
}

bool QtPerson::ChooseFileToOpen(const FileDialogRequest& request, std::string& path) {
    // The settings dialogs show their open dialog without a parent window.
    QStringList files = RunFileDialog(nullptr, request, QFileDialog::ExistingFile, QFileDialog::AcceptOpen);
    if (files.isEmpty()) return false;
    path = files.first().toStdString();
    return true;
}

bool QtPerson::ChooseFileToSave(const FileDialogRequest& request, std::string& path) {
    QStringList files = RunFileDialog(m_mainWindow, request, QFileDialog::AnyFile, QFileDialog::AcceptSave);
    if (files.isEmpty()) return false;
    path = files.first().toStdString();
    return true;
}

void QtPerson::BeginWaitCursor() {
    if (qApp && QThread::currentThread() == m_guiContext->thread()) QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtPerson::EndWaitCursor() {
    if (qApp && QThread::currentThread() == m_guiContext->thread()) QApplication::restoreOverrideCursor();
}

bool QtPerson::RunQuestionSettings(std::string& questionPath, ScoringParams& params) {
    CTaviPref dialog(*this, m_mainWindow);
    dialog.questionPath = QString::fromStdString(SjisPathToNative(questionPath));
    dialog.expectedLength = params.expectedLength;
    dialog.rhetoricWeight = params.rhetoricWeight;
    dialog.organizationWeight = params.organizationWeight;
    dialog.contentWeight = params.contentWeight;
    dialog.paragraphMode = params.paragraphMode;
    if (dialog.DoModal() != kIdOk) return false;
    // The dialog refuses a path without a Shift_JIS form, so this conversion is exact.
    NativePathToSjis(dialog.questionPath.toStdString(), questionPath);
    params.expectedLength = dialog.expectedLength;
    params.rhetoricWeight = dialog.rhetoricWeight;
    params.organizationWeight = dialog.organizationWeight;
    params.contentWeight = dialog.contentWeight;
    params.paragraphMode = dialog.paragraphMode;
    return true;
}

bool QtPerson::ChooseSheetColumns(const std::string& sheetPath, const Sheet& sheet, size_t& textColumn,
                                  std::optional<size_t>& nameColumn) {
    SheetImportDialog dialog(QString::fromStdString(sheetPath), sheet, m_mainWindow);
    dialog.SetColumns(textColumn, nameColumn);
    if (dialog.exec() != QDialog::Accepted) return false;
    textColumn = dialog.TextColumn();
    nameColumn = dialog.NameColumn();
    return true;
}

bool QtPerson::RunParamDetail(ScoringParams& params) {
    CTaviEvalParamDetailDlg dialog(*this, m_mainWindow);
    dialog.SetRatios(params);
    dialog.modelChoice = params.modelChoice;
    dialog.modelPath = QString::fromStdString(SjisPathToNative(params.modelPath));
    if (dialog.DoModal() != kIdOk) return false;
    dialog.GetRatios(params);
    params.modelChoice = dialog.modelChoice;
    NativePathToSjis(dialog.modelPath.toStdString(), params.modelPath);
    return true;
}

}  // namespace tavi
