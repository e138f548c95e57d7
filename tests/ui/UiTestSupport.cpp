#include "UiTestSupport.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "analysis/Encoding.h"
#include "ui/CMainFrame.h"
#include "ui/CTaviApp.h"
#include "ui/CTaviView.h"
#include "ui/TemplateDialog.h"

namespace tavi::test {

MessageAnswer ScriptedPerson::ShowMessageBoxOnGuiThread(const MessageBoxRequest& request) {
    std::lock_guard lock(m_mutex);
    m_boxes.push_back({SjisToUtf8(request.text), SjisToUtf8(request.caption), request.buttons, request.icon, false,
                       QThread::currentThread() == qApp->thread()});
    if (answers.empty()) return MessageAnswer::kOk;
    MessageAnswer answer = answers.front();
    answers.pop_front();
    return answer;
}

bool ScriptedPerson::AskYesNo(const MessageBoxRequest& request) {
    std::lock_guard lock(m_mutex);
    m_boxes.push_back({SjisToUtf8(request.text), SjisToUtf8(request.caption), request.buttons, request.icon, true,
                       QThread::currentThread() == qApp->thread()});
    if (yesNoAnswers.empty()) return true;
    bool yes = yesNoAnswers.front();
    yesNoAnswers.pop_front();
    return yes;
}

bool ScriptedPerson::ChooseFilesToOpen(const FileDialogRequest& request, std::vector<std::string>& paths) {
    fileRequests.push_back(request);
    paths = filesToOpen;
    return openAccepted;
}

bool ScriptedPerson::ChooseFileToSave(const FileDialogRequest& request, std::string& path) {
    fileRequests.push_back(request);
    path = fileToSave;
    return saveAccepted;
}

bool ScriptedPerson::ChooseFileToOpen(const FileDialogRequest& request, std::string& path) {
    fileRequests.push_back(request);
    if (openOneAccepted) path = fileToOpen;
    return openOneAccepted;
}

bool ScriptedPerson::StartProcess(const std::vector<std::string>& command) {
    started.push_back(command);
    return true;
}

std::vector<ShownBox> ScriptedPerson::Boxes() const {
    std::lock_guard lock(m_mutex);
    return m_boxes;
}

std::vector<std::string> ScriptedPerson::BoxTexts() const {
    std::vector<std::string> texts;
    for (const ShownBox& box : Boxes()) texts.push_back(box.text);
    return texts;
}

void ScriptedPerson::ClearBoxes() {
    std::lock_guard lock(m_mutex);
    m_boxes.clear();
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    if (done()) return true;
    // A real event loop, so that the program's idle-time updates run as they do in use.
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || clock.elapsed() > timeoutMs) loop.quit();
    });
    poll.start(5);
    loop.exec();
    return done();
}

void OnNextModal(std::function<bool(QWidget&)> drive, bool* driven) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, drive = std::move(drive), driven] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || !drive(*modal)) return;
        poll->stop();
        poll->deleteLater();
        if (driven) *driven = true;
    });
    poll->start(0);
}

void OnNextDialog(std::function<void(TemplateDialog&)> drive, bool* driven) {
    OnNextModal(
        [drive = std::move(drive)](QWidget& modal) {
            auto* dialog = qobject_cast<TemplateDialog*>(&modal);
            if (dialog) drive(*dialog);
            return dialog != nullptr;
        },
        driven);
}

void ClickButton(TemplateDialog& dialog, int id) {
    auto* button = qobject_cast<QAbstractButton*>(dialog.GetDlgItem(id));
    ASSERT_NE(button, nullptr) << "no button " << id;
    ASSERT_TRUE(button->isEnabled()) << "button " << id << " is disabled";
    button->click();
}

void SetField(TemplateDialog& dialog, int id, const QString& text) {
    auto* edit = qobject_cast<QLineEdit*>(dialog.GetDlgItem(id));
    ASSERT_NE(edit, nullptr) << "no field " << id;
    edit->setText(text);
}

QString FieldText(TemplateDialog& dialog, int id) {
    auto* edit = qobject_cast<QLineEdit*>(dialog.GetDlgItem(id));
    return edit ? edit->text() : QStringLiteral("<no field>");
}

QString SampleQuestion() { return QStringLiteral(TAVI_SAMPLES_DIR "/question.txt"); }

std::vector<std::string> SampleAnswers() {
    QDir answers(QStringLiteral(TAVI_SAMPLES_DIR "/answers"));
    std::vector<std::string> paths;
    for (const QString& name : answers.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name))
        paths.push_back(answers.absoluteFilePath(name).toStdString());
    return paths;
}

QString TempFolder() {
    static QTemporaryDir root;
    static int counter = 0;
    QString path = root.path() + QStringLiteral("/t%1").arg(++counter);
    QDir().mkpath(path);
    return path;
}

RunningApp::RunningApp(bool keepSettings) : app(std::make_unique<CTaviApp>()) {
    if (!keepSettings) CTaviApp::ProfileSettings()->clear();
    EXPECT_TRUE(app->InitInstance({}, &person));
    frame = app->MainFrame();
    view = app->View();
    doc = app->Document();
}

RunningApp::~RunningApp() { app.reset(); }

}  // namespace tavi::test
