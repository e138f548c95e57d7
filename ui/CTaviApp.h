#pragma once

#include <QObject>
#include <QStringList>
#include <memory>

#include "ui/CommandTarget.h"

class QSettings;

namespace tavi {

class AnswerPane;
class CMainFrame;
class CTaviDoc;
class CTaviView;
class DesktopPerson;
class DocumentCommands;
class QtPerson;

// The application: starts the program (document, main window, list), carries out the
// version dialog and quitting, and ends a run before the program ends. Needs a running
// QApplication; one instance per program.
class CTaviApp : public QObject, public CommandTarget {
    Q_OBJECT
public:
    CTaviApp();
    ~CTaviApp() override;

    // Start-up. `arguments` are the program's arguments without the program name: none for
    // a new document, or one parameter file to open as the document. `person` answers for
    // the user (null: real dialogs and boxes). False when start-up fails and the program
    // should end.
    bool InitInstance(const QStringList& arguments, DesktopPerson* person = nullptr);
    // Ends a run in progress and waits for it; called before the program ends.
    void ExitInstance();

    void OnAppAbout();
    void OnAppExit();
    // Writes the run report of the list's answers (the scorer's --report page) to a file the
    // person chooses; enabled once an answer is scored.
    void OnSaveReport();

    CTaviDoc* Document() const { return m_doc.get(); }
    CMainFrame* MainFrame() const { return m_frame.get(); }
    CTaviView* View() const { return m_view; }
    AnswerPane* Pane() const { return m_pane; }
    DesktopPerson* Person() const { return m_person; }

    // The settings store of the program (the key and the application title).
    static std::unique_ptr<QSettings> ProfileSettings();
    // The number of recently opened parameter files that the settings remember.
    static constexpr int kRecentFiles = 4;

private:
    bool OnClose();
    void AddToRecentFiles(const QString& path);

    std::unique_ptr<QtPerson> m_ownPerson;
    DesktopPerson* m_person = nullptr;
    std::unique_ptr<CTaviDoc> m_doc;
    std::unique_ptr<DocumentCommands> m_docCommands;
    std::unique_ptr<CMainFrame> m_frame;
    CTaviView* m_view = nullptr;   // owned by the frame
    AnswerPane* m_pane = nullptr;  // owned by the frame
    bool m_closing = false;
    bool m_closePending = false;
    bool m_ended = false;
};

}  // namespace tavi
