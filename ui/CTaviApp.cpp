#include "ui/CTaviApp.h"

#include <QApplication>
#include <QFileInfo>
#include <QSettings>
#include <QTimer>
#include <clocale>

#include "analysis/Encoding.h"
#include "analysis/FileIo.h"
#include "document/CTaviDoc.h"
#include "report/Report.h"
#include "ui/AnswerListModel.h"
#include "ui/AnswerPane.h"
#include "ui/CAboutDlg.h"
#include "ui/CMainFrame.h"
#include "ui/CTaviView.h"
#include "ui/DocumentCommands.h"
#include "ui/Icons.h"
#include "ui/QtPerson.h"
#include "ui/Resources.h"

namespace tavi {
namespace {

const QString kRecentFileGroup = QStringLiteral("Recent File List");

}  // namespace

CTaviApp::CTaviApp() {
    OnCommand(cmd::kAppAbout, [this] { OnAppAbout(); });
    OnCommand(cmd::kAppExit, [this] { OnAppExit(); });
    OnCommand(cmd::kSaveReport, [this] { OnSaveReport(); });
    OnUpdateEnabled(cmd::kSaveReport, [this] { return m_view && m_view->Model().AnyScored(); });
}

CTaviApp::~CTaviApp() {
    ExitInstance();
    // The view goes first (it detaches itself), then the document, then the person.
    m_frame.reset();
    m_docCommands.reset();
    m_doc.reset();
    m_ownPerson.reset();
}

std::unique_ptr<QSettings> CTaviApp::ProfileSettings() {
    return std::make_unique<QSettings>(res::RegistryKey(), res::AppTitle());
}

bool CTaviApp::InitInstance(const QStringList& arguments, DesktopPerson* person) {
    QCoreApplication::setOrganizationName(res::RegistryKey());
    QCoreApplication::setApplicationName(res::AppTitle());
    // The core formats scores with "%0.2f": keep the decimal point whatever the user's locale.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setWindowIcon(AppIcon());

    if (!person) {
        m_ownPerson = std::make_unique<QtPerson>();
        person = m_ownPerson.get();
    }
    m_person = person;

    // The document loads the default content model and the analyser.
    m_doc = std::make_unique<CTaviDoc>(*m_person);
    m_doc->SetKeepEvidence(true);  // the answer pane and the report show it
    m_docCommands = std::make_unique<DocumentCommands>(*m_doc);

    m_frame = std::make_unique<CMainFrame>();
    if (!m_frame->OnCreate()) return false;
    if (auto* qtPerson = dynamic_cast<QtPerson*>(m_person)) qtPerson->SetMainWindow(m_frame.get());
    m_view = new CTaviView(*m_doc, *m_person, m_frame.get());
    m_pane = new AnswerPane(*m_doc, m_frame.get());
    m_frame->SetView(m_view, m_pane);
    connect(m_view, &CTaviView::CurrentAnswerChanged, m_pane, [this] { m_pane->ShowAnswer(m_view->CurrentAnswer()); });
    CommandRouter& router = m_frame->Router();
    router.SetTargets({m_view, m_docCommands.get(), m_frame.get(), this});
    router.SetBusyQuery([this] { return m_doc && m_doc->IsRunning(); });
    // Files and folders dropped on the list are added as the add command adds its files.
    m_view->SetDropHandlers([&router] { return router.QueryState(cmd::kAddAnswers).enabled; },
                            [this](const std::vector<std::string>& paths) {
                                m_doc->AddAnswerFiles(paths);
                                m_frame->Router().UpdateStates();
                            });
    m_frame->SetCloseHandler([this] { return OnClose(); });
    m_frame->RestoreSettings(*ProfileSettings());
    m_view->OnInitialUpdate();

    QString title = res::UntitledTitle();
    if (!arguments.isEmpty()) {
        // One file name: the parameter file to open as the document.
        QString path = QFileInfo(arguments.first()).absoluteFilePath();
        std::string error;
        if (!m_doc->LoadParameterFile(path.toStdString(), error)) {
            std::string text = Sjis("パラメータ ファイル : \n ") + Utf8ToSjis(path.toStdString()) +
                               Sjis(" \n を開けません。\n原因 : ") + Utf8ToSjis(error);
            m_person->ShowMessageBox({text, "Tavi", MessageButtons::kOk, MessageIcon::kExclamation, 0, false});
            return false;
        }
        title = QFileInfo(path).fileName();
        AddToRecentFiles(path);
    }
    m_frame->SetDocumentTitle(title);
    m_frame->show();
    router.UpdateStates();
    return true;
}

void CTaviApp::AddToRecentFiles(const QString& path) {
    std::unique_ptr<QSettings> settings = ProfileSettings();
    settings->beginGroup(kRecentFileGroup);
    QStringList files;
    for (int i = 1; i <= kRecentFiles; ++i) {
        QString file = settings->value(QStringLiteral("File%1").arg(i)).toString();
        if (!file.isEmpty() && file != path) files << file;
    }
    files.prepend(path);
    for (int i = 1; i <= kRecentFiles; ++i) {
        if (i <= files.size())
            settings->setValue(QStringLiteral("File%1").arg(i), files[i - 1]);
        else
            settings->remove(QStringLiteral("File%1").arg(i));
    }
    settings->endGroup();
}

bool CTaviApp::OnClose() {
    if (m_view && m_view->IsScoringSelection()) {
        // The selection run is further down this thread's stack: stop it, and close once it
        // has returned.
        m_doc->OnScoreStop();
        if (!m_closePending) {
            m_closePending = true;
            connect(
                m_view, &CTaviView::SelectionRunFinished, m_frame.get(),
                [this] { QTimer::singleShot(0, m_frame.get(), &QWidget::close); }, Qt::SingleShotConnection);
        }
        return false;
    }
    if (m_closing) return false;  // a second request while the run is being ended
    m_closing = true;
    ExitInstance();
    return true;
}

void CTaviApp::ExitInstance() {
    if (m_ended || !m_doc) return;
    m_ended = true;
    m_doc->OnScoreStop();
    m_doc->WaitForRun();  // processes the worker's last updates of the list meanwhile
    if (m_frame) m_frame->SaveSettings(*ProfileSettings());
}

void CTaviApp::OnAppAbout() {
    CAboutDlg dialog(*m_person, m_frame.get());
    dialog.DoModal();
}

void CTaviApp::OnSaveReport() {
    static const std::string filter = Sjis("採点レポート(*.html)|*.html|全て(*.*)|*.*||");
    std::string path;
    if (!m_person->ChooseFileToSave({"html", filter}, path)) return;
    m_person->BeginWaitCursor();
    std::string error;
    bool written = WriteFileAtomically(path, FormatReport(ReportRunOf(*m_doc)), error);
    m_person->EndWaitCursor();
    if (!written) {
        m_person->ShowMessageBox({Sjis("採点レポート : \n ") + Utf8ToSjis(path) +
                                      Sjis(" \n に書き込めません。\n原因 : ") + Utf8ToSjis(error),
                                  "Tavi", MessageButtons::kOk, MessageIcon::kExclamation, 0, true});
    }
}

void CTaviApp::OnAppExit() {
    if (m_frame) m_frame->close();
}

}  // namespace tavi
