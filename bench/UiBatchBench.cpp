// Responsiveness of the desktop program during a batch run: scores N answers (default 2,000,
// copies of the sample essays) with the real main window and list, and measures how long
// events wait on the user-interface thread meanwhile, and how the run's time compares with
// `tavi-score -j1` on the same answers. Exits with 1 when an event waited longer than 100 ms
// or the run took more than 1.5 times the scorer's time.
//
// Usage: bench_ui_batch [COUNT]   (offscreen unless QT_QPA_PLATFORM says otherwise)
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "analysis/Encoding.h"
#include "document/CTaviDoc.h"
#include "ui/CMainFrame.h"
#include "ui/CTaviApp.h"
#include "ui/CTaviView.h"
#include "ui/QtPerson.h"
#include "ui/Resources.h"

namespace {

using namespace tavi;
using Clock = std::chrono::steady_clock;

constexpr int kProbeIntervalMs = 5;
constexpr double kMaxWaitMs = 100;
constexpr double kMaxRatio = 1.5;

// Answers the dialogs without anybody at the keyboard: the question and the answer files
// are given, message boxes are printed.
class BenchPerson : public QtPerson {
public:
    std::string question;
    std::vector<std::string> answers;
    bool ChooseFilesToOpen(const FileDialogRequest&, std::vector<std::string>& paths) override {
        paths = answers;
        return true;
    }
    bool RunQuestionSettings(std::string& questionPath, ScoringParams&) override {
        questionPath = question;
        return true;
    }

protected:
    MessageAnswer ShowMessageBoxOnGuiThread(const MessageBoxRequest& request) override {
        std::fprintf(stderr, "bench_ui_batch: message: %s\n", SjisToUtf8(request.text).c_str());
        return MessageAnswer::kOk;
    }
};

// An event posted from another thread with the time it was posted.
class ProbeEvent : public QEvent {
public:
    static const QEvent::Type kType;
    ProbeEvent() : QEvent(kType), posted(Clock::now()) {}
    Clock::time_point posted;
};
const QEvent::Type ProbeEvent::kType = static_cast<QEvent::Type>(QEvent::registerEventType());

// Receives the probes on the user-interface thread and keeps how long each waited.
class ProbeReceiver : public QObject {
public:
    std::vector<double> waitsMs;
    bool recording = false;
    bool event(QEvent* e) override {
        if (e->type() != ProbeEvent::kType) return QObject::event(e);
        if (recording) {
            auto waited = Clock::now() - static_cast<ProbeEvent*>(e)->posted;
            waitsMs.push_back(std::chrono::duration<double, std::milli>(waited).count());
        }
        return true;
    }
};

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(p * (values.size() - 1) + 0.5))];
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;

    // The answers: the sample essays copied round-robin under numbered names.
    QTemporaryDir folder;
    QDir samples(QStringLiteral(TAVI_SAMPLES_DIR "/answers"));
    QStringList names = samples.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name);
    BenchPerson person;
    for (int i = 0; i < count; ++i) {
        QString target = folder.filePath(QStringLiteral("answer%1.txt").arg(i, 5, 10, QLatin1Char('0')));
        if (!QFile::copy(samples.absoluteFilePath(names[i % names.size()]), target)) return 2;
        person.answers.push_back(target.toStdString());
    }
    const QString question = QStringLiteral(TAVI_SAMPLES_DIR "/question.txt");
    NativePathToSjis(question.toStdString(), person.question);

    CTaviApp theApp;
    if (!theApp.InitInstance({}, &person)) return 2;
    CMainFrame& frame = *theApp.MainFrame();
    CTaviDoc& doc = *theApp.Document();
    if (!doc.IsAnalyzerLoaded()) {
        std::fprintf(stderr, "bench_ui_batch: the analyser cannot be loaded\n");
        return 2;
    }
    frame.Action(cmd::kQuestionSettings)->trigger();
    QElapsedTimer addTimer;
    addTimer.start();
    frame.Action(cmd::kAddAnswers)->trigger();
    const double addSeconds = addTimer.elapsed() / 1000.0;

    // Probes posted every few milliseconds from another thread during the run.
    ProbeReceiver receiver;
    std::atomic<bool> probing = true;
    std::thread poster([&] {
        while (probing) {
            QCoreApplication::postEvent(&receiver, new ProbeEvent);
            std::this_thread::sleep_for(std::chrono::milliseconds(kProbeIntervalMs));
        }
    });

    receiver.recording = true;
    QElapsedTimer runTimer;
    runTimer.start();
    frame.Action(cmd::kScoreStart)->trigger();
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (!doc.IsRunning()) loop.quit();
    });
    check.start(20);
    loop.exec();
    theApp.View()->GetRowCount();  // places the list's last changes before the time is taken
    const double runSeconds = runTimer.elapsed() / 1000.0;
    receiver.recording = false;
    probing = false;
    poster.join();
    const int unscored = doc.GetUnscoredCount();

    // The command-line scorer on the same answers, one process.
    QProcess scorer;
    scorer.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer cliTimer;
    cliTimer.start();
    scorer.start(QStringLiteral(TAVI_BIN_DIR "/tavi-score"),
                 {QStringLiteral("-j1"), QStringLiteral("-q"), question, QStringLiteral("--format"),
                  QStringLiteral("csv"), folder.path()});
    if (!scorer.waitForFinished(-1) || scorer.exitCode() != 0) {
        std::fprintf(stderr, "bench_ui_batch: tavi-score failed: %s\n", scorer.readAllStandardError().constData());
        return 2;
    }
    const double cliSeconds = cliTimer.elapsed() / 1000.0;

    const double maxWait =
        receiver.waitsMs.empty() ? 0 : *std::max_element(receiver.waitsMs.begin(), receiver.waitsMs.end());
    const double ratio = runSeconds / cliSeconds;
    std::printf("answers                    %d (unscored after the run: %d)\n", count, unscored);
    std::printf("adding them to the list    %.2f s\n", addSeconds);
    std::printf("batch run in the program   %.2f s\n", runSeconds);
    std::printf("tavi-score -j1             %.2f s\n", cliSeconds);
    std::printf("ratio                      %.2f (limit %.1f)\n", ratio, kMaxRatio);
    std::printf("events probed              %zu, every %d ms\n", receiver.waitsMs.size(), kProbeIntervalMs);
    std::printf("event wait median/p99/max  %.2f / %.2f / %.2f ms (limit %.0f ms)\n", Percentile(receiver.waitsMs, 0.5),
                Percentile(receiver.waitsMs, 0.99), maxWait, kMaxWaitMs);
    frame.close();
    return unscored == 0 && maxWait <= kMaxWaitMs && ratio <= kMaxRatio ? 0 : 1;
}
