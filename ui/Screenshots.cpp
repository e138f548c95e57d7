// tavi-screenshots: runs the program on the sample essays and writes pictures of the main
// window (with the answer pane showing an answer's marked evidence), the two settings
// dialogs, the sheet import dialog and the version dialog. Usage: tavi-screenshots FOLDER
// (run it under a display, e.g. xvfb-run, with a Japanese font installed).
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "analysis/Encoding.h"
#include "document/AnswerSources.h"
#include "document/CTaviDoc.h"
#include "ui/AnswerPane.h"
#include "ui/CMainFrame.h"
#include "ui/CTaviApp.h"
#include "ui/CTaviView.h"
#include "ui/QtPerson.h"
#include "ui/Resources.h"
#include "ui/SheetImportDialog.h"
#include "ui/TemplateDialog.h"

namespace {

using namespace tavi;

// Answers the file dialogs with the sample essays and lets every message box pass, so the
// run needs nobody at the keyboard; the settings dialogs are the real ones.
class SamplePerson : public QtPerson {
public:
    bool ChooseFilesToOpen(const FileDialogRequest&, std::vector<std::string>& paths) override {
        QDir answers(QStringLiteral(TAVI_SAMPLES_DIR "/answers"));
        for (const QString& name : answers.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name))
            paths.push_back(answers.absoluteFilePath(name).toStdString());
        return true;
    }

protected:
    MessageAnswer ShowMessageBoxOnGuiThread(const MessageBoxRequest& request) override {
        std::fprintf(stderr, "tavi-screenshots: message: %s\n", SjisToUtf8(request.text).c_str());
        return MessageAnswer::kOk;
    }
};

// Processes events until `done` holds or ten seconds have passed.
bool WaitFor(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > 10000) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

bool Save(QWidget* widget, const QString& path) {
    if (widget->grab().save(path)) {
        std::printf("%s\n", path.toLocal8Bit().constData());
        return true;
    }
    std::fprintf(stderr, "tavi-screenshots: cannot write %s\n", path.toLocal8Bit().constData());
    return false;
}

// Runs a command that shows a modal dialog; `drive` gets the dialog once it is on screen.
bool WithDialog(CMainFrame& frame, int command, const std::function<void(TemplateDialog&)>& drive) {
    bool driven = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<TemplateDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) return;
        poll.stop();
        QTimer::singleShot(300, dialog, [&, dialog] {  // let it paint first
            drive(*dialog);
            driven = true;
        });
    });
    poll.start(50);
    frame.Action(command)->trigger();
    return driven;
}

void Click(TemplateDialog& dialog, int id) {
    if (auto* button = qobject_cast<QAbstractButton*>(dialog.GetDlgItem(id))) button->click();
}

// The sheet import dialog on a form's answers made of the sample essays.
bool SaveSheetImport(QWidget& frame, const QString& path) {
    const char* names[] = {"山田 太郎", "佐藤 花子", "鈴木 一郎", "高橋 美咲", "田中 健太", "伊藤 結衣", "渡辺 翔"};
    Sheet sheet;
    sheet.rows.push_back({"タイムスタンプ", "出席番号", "氏名", "回答"});
    QDir answers(QStringLiteral(TAVI_SAMPLES_DIR "/answers"));
    const QStringList files = answers.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name);
    for (int i = 0; i < 7 && i < files.size(); ++i) {
        QFile file(answers.absoluteFilePath(files[i]));
        file.open(QIODevice::ReadOnly);
        std::string bytes = file.readAll().toStdString();
        sheet.rows.push_back({"2026/04/1" + std::to_string(i) + " 9:0" + std::to_string(i) + ":00",
                              std::to_string(i + 1), names[i], IsValidUtf8(bytes) ? bytes : SjisToUtf8(bytes)});
    }
    SheetImportDialog dialog(QString::fromUtf8("/home/teacher/国語/小論文_回答.csv"), sheet, &frame);
    dialog.SetColumns(GuessAnswerColumn(sheet), 2);
    dialog.resize(720, 420);
    dialog.show();
    WaitFor([&] { return dialog.isVisible(); });
    QElapsedTimer settle;
    settle.start();
    WaitFor([&] { return settle.elapsed() > 300; });  // let it paint first
    return Save(&dialog, path);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tavi-screenshots FOLDER\n");
        return 2;
    }
    QDir folder(QString::fromLocal8Bit(argv[1]));
    folder.mkpath(QStringLiteral("."));
    SamplePerson person;
    CTaviApp theApp;
    if (!theApp.InitInstance({}, &person)) return 1;
    CMainFrame& frame = *theApp.MainFrame();
    frame.resize(1000, 720);
    WaitFor([&] { return frame.isVisible(); });
    bool ok = true;

    ok &= WithDialog(frame, cmd::kQuestionSettings, [&](TemplateDialog& dialog) {
        qobject_cast<QLineEdit*>(dialog.GetDlgItem(1000))->setText(QStringLiteral(TAVI_SAMPLES_DIR "/question.txt"));
        ok &= Save(&dialog, folder.filePath(QStringLiteral("tavi-question-settings.png")));
        Click(dialog, kIdOk);
    });
    frame.Action(cmd::kAddAnswers)->trigger();
    frame.Action(cmd::kScoreStart)->trigger();
    ok &= WaitFor([&] { return !theApp.Document()->IsRunning() && theApp.Document()->GetUnscoredCount() == 0; });
    theApp.View()->OnColumnClick(CTaviView::kTotal);
    // The long-sentence essay in the pane, with its first comment chosen.
    for (int row = 0; row < theApp.View()->RowCount(); ++row)
        if (theApp.View()->CellText(row, CTaviView::kTitle).startsWith(QStringLiteral("a06")))
            theApp.View()->selectRow(row);
    theApp.Pane()->Comments()->setCurrentRow(0);
    theApp.View()->verticalScrollBar()->setValue(0);
    WaitFor([&] { return theApp.View()->viewport()->updatesEnabled(); });  // the list's repaints have caught up
    ok &= Save(&frame, folder.filePath(QStringLiteral("tavi-main-window.png")));

    ok &= WithDialog(frame, cmd::kParamDetail, [&](TemplateDialog& dialog) {
        ok &= Save(&dialog, folder.filePath(QStringLiteral("tavi-parameter-detail.png")));
        Click(dialog, kIdCancel);
    });
    ok &= SaveSheetImport(frame, folder.filePath(QStringLiteral("tavi-sheet-import.png")));
    ok &= WithDialog(frame, cmd::kAppAbout, [&](TemplateDialog& dialog) {
        ok &= Save(&dialog, folder.filePath(QStringLiteral("tavi-version.png")));
        Click(dialog, kIdOk);
    });
    frame.close();
    return ok ? 0 : 1;
}
