#pragma once

#include <QPointer>
#include <QWidget>

#include "ui/DesktopPerson.h"

namespace tavi {

// The person in front of the desktop program: real message boxes, file dialogs, the wait
// cursor and the two settings dialogs.
//
// Thread safety: ShowMessageBox may be called from any thread; off the user-interface
// thread it is carried out there through a blocking queued call and waits for the answer.
// Everything else runs on the user-interface thread.
class QtPerson : public DesktopPerson {
public:
    QtPerson();
    ~QtPerson() override;

    // The window that owns the boxes and dialogs (null until the main window exists).
    void SetMainWindow(QWidget* window) { m_mainWindow = window; }
    QWidget* MainWindow() const { return m_mainWindow; }

    MessageAnswer ShowMessageBox(const MessageBoxRequest& request) final;
    bool AskYesNo(const MessageBoxRequest& request) override;
    bool ChooseFilesToOpen(const FileDialogRequest& request, std::vector<std::string>& paths) override;
    bool ChooseFileToSave(const FileDialogRequest& request, std::string& path) override;
    bool ChooseFileToOpen(const FileDialogRequest& request, std::string& path) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    bool RunQuestionSettings(std::string& questionPath, ScoringParams& params) override;
    bool RunParamDetail(ScoringParams& params) override;
    bool ChooseSheetColumns(const std::string& sheetPath, const Sheet& sheet, size_t& textColumn,
                            std::optional<size_t>& nameColumn) override;

    // A file-dialog filter of the "name|pattern|...||" form (UTF-8) in Qt's form; "*.*"
    // becomes "*" so that it matches names without a dot, as it does on Windows.
    static QString QtFilter(const QString& filter);

protected:
    // Shows the box; always called on the user-interface thread.
    virtual MessageAnswer ShowMessageBoxOnGuiThread(const MessageBoxRequest& request);

private:
    QPointer<QWidget> m_mainWindow;
    QObject* m_guiContext;  // lives on the user-interface thread, for the queued calls
};

}  // namespace tavi
