#pragma once

#include <QString>
#include <QThread>
#include <QWidget>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ui/QtPerson.h"

namespace tavi {
class CMainFrame;
class CTaviApp;
class CTaviDoc;
class CTaviView;
class TemplateDialog;
}  // namespace tavi

namespace tavi::test {

// One message box as the person saw it: UTF-8 texts, whether it asked Yes or No, and
// whether it was shown on the user-interface thread.
struct ShownBox {
    std::string text, caption;
    MessageButtons buttons;
    MessageIcon icon;
    bool yesNo;
    bool onGuiThread;
};

// The real person of the desktop program with scripted file dialogs, message boxes and
// editor: the two settings dialogs are the real ones (drive them with OnNextDialog).
class ScriptedPerson : public QtPerson {
public:
    bool AskYesNo(const MessageBoxRequest& request) override;
    bool ChooseFilesToOpen(const FileDialogRequest& request, std::vector<std::string>& paths) override;
    bool ChooseFileToSave(const FileDialogRequest& request, std::string& path) override;
    bool ChooseFileToOpen(const FileDialogRequest& request, std::string& path) override;
    bool StartProcess(const std::vector<std::string>& command) override;

    std::vector<ShownBox> Boxes() const;
    // Texts of the boxes shown so far.
    std::vector<std::string> BoxTexts() const;
    void ClearBoxes();

    std::deque<MessageAnswer> answers;  // for the next OK/Cancel boxes; OK when empty
    std::deque<bool> yesNoAnswers;      // for the next Yes/No questions; Yes when empty
    std::vector<std::string> filesToOpen;
    bool openAccepted = true;
    std::string fileToSave;
    bool saveAccepted = true;
    std::string fileToOpen;  // answer of the settings dialogs' browse buttons
    bool openOneAccepted = true;
    std::vector<FileDialogRequest> fileRequests;
    std::vector<std::vector<std::string>> started;

protected:
    MessageAnswer ShowMessageBoxOnGuiThread(const MessageBoxRequest& request) override;

private:
    mutable std::mutex m_mutex;
    std::vector<ShownBox> m_boxes;
};

// Runs the event loop until `done` holds; false after `timeoutMs`.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 20000);

// Calls `drive` with the next modal template dialog as soon as it is shown (for dialogs that
// a command opens with DoModal). `driven` is set once it ran.
void OnNextDialog(std::function<void(TemplateDialog&)> drive, bool* driven = nullptr);

// Calls `drive` with each modal widget shown until it returns true (it took that one).
void OnNextModal(std::function<bool(QWidget&)> drive, bool* driven = nullptr);

// Clicks a dialog's button by its number.
void ClickButton(TemplateDialog& dialog, int id);
// Sets the text of a dialog's edit field by its number.
void SetField(TemplateDialog& dialog, int id, const QString& text);
QString FieldText(TemplateDialog& dialog, int id);

// The sample essays.
QString SampleQuestion();
std::vector<std::string> SampleAnswers();
// A fresh folder for the running test.
QString TempFolder();

// The application started with a scripted person, as the program starts it; with fresh
// settings unless `keepSettings` (a second start that reads what the first one left).
struct RunningApp {
    explicit RunningApp(bool keepSettings = false);
    ~RunningApp();
    ScriptedPerson person;
    std::unique_ptr<CTaviApp> app;
    CMainFrame* frame = nullptr;
    CTaviView* view = nullptr;
    CTaviDoc* doc = nullptr;
};

}  // namespace tavi::test
