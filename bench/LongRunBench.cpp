// A long run of the desktop program: scores N answers (default 20,000, small files made from
// the sample essays, each with its own number appended) with the real main window and list,
// while answers are added in batches, the run is stopped and started again, and the settings
// change (rhetoric ratios, expected length and axis weights). Then checks that memory stayed
// flat, that every answer reached 済 exactly once, and that the results file of the program
// has the same bytes as `tavi-score --format csv -j2` run on the program's final parameter
// file (same question, parameters and answers). The program keeps every answer's evidence,
// as the answer pane shows it. Exits with 1 on a mismatch, a duplicate, a missing answer or
// a peak of more than 400 MiB.
//
// Usage: bench_long_run [COUNT]   (offscreen unless QT_QPA_PLATFORM says otherwise)
#include <malloc.h>
#include <sys/resource.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "analysis/Encoding.h"
#include "document/CTaviDoc.h"
#include "ui/CMainFrame.h"
#include "ui/CTaviApp.h"
#include "ui/CTaviView.h"
#include "ui/QtPerson.h"

namespace {

using namespace tavi;

constexpr long kMaxPeakKb = 400 * 1024;

constexpr int kTickMs = 40;
constexpr int kPauseTicks = 8;  // how long a stop lasts before the run is started again

// Answers the dialogs without anybody at the keyboard. The settings dialogs return the
// values of the current phase of the run.
class BenchPerson : public QtPerson {
public:
    std::string question;
    bool changeRatios = false;
    bool changeLength = false;
    bool RunQuestionSettings(std::string& questionPath, ScoringParams& params) override {
        questionPath = question;
        if (changeLength) {
            params.expectedLength = 600;
            params.rhetoricWeight = 4;
            params.organizationWeight = 3;
            params.contentWeight = 3;
        }
        return true;
    }
    bool RunParamDetail(ScoringParams& params) override {
        if (!changeRatios) return false;
        // The changed ratios, or back to the defaults when asked to.
        const ScoringParams defaults;
        params.vocabularyDiversityWeight = backToDefaults ? defaults.vocabularyDiversityWeight : 0.3;
        params.kanaKanjiRatioWeight = backToDefaults ? defaults.kanaKanjiRatioWeight : 0.05;
        params.passiveRateWeight = backToDefaults ? defaults.passiveRateWeight : 0.05;
        params.cueWordWeight = backToDefaults ? defaults.cueWordWeight : 0.6;
        params.demonstrativeWeight = backToDefaults ? defaults.demonstrativeWeight : 0.4;
        return true;
    }
    bool backToDefaults = false;

protected:
    MessageAnswer ShowMessageBoxOnGuiThread(const MessageBoxRequest& request) override {
        std::fprintf(stderr, "bench_long_run: message: %s\n", SjisToUtf8(request.text).c_str());
        return MessageAnswer::kOk;
    }
};

// Sits between the document and the real list: passes every call on and counts, per answer,
// how often it was shown as 済.
class CountingView : public ListView {
public:
    CountingView(CTaviView& view, int capacity) : m_view(view), m_scored(capacity) {}
    void AddAnswerRow(int index, uint16_t number, const std::string& title, const std::string& path) override {
        m_view.AddAnswerRow(index, number, title, path);
    }
    void ShowStatus(int index, EssayStatus status) override {
        if (status == kStatusScored) {
            if (index >= 0 && index < static_cast<int>(m_scored.size())) ++m_scored[index];
            ++m_total;
        }
        m_view.ShowStatus(index, status);
    }
    void ShowTotalScore(int index, double value) override { m_view.ShowTotalScore(index, value); }
    void ShowLengthPenalty(int index, double value) override { m_view.ShowLengthPenalty(index, value); }
    void ShowRhetoricScore(int index, double value) override { m_view.ShowRhetoricScore(index, value); }
    void ShowOrganizationScore(int index, double value) override { m_view.ShowOrganizationScore(index, value); }
    void ShowContentScore(int index, double value) override { m_view.ShowContentScore(index, value); }
    int GetRowCount() override { return m_view.GetRowCount(); }
    int GetRowAnswer(int row) override { return m_view.GetRowAnswer(row); }
    void PumpMessages() override { m_view.PumpMessages(); }
    void UpdateAllViews() override { m_view.UpdateAllViews(); }

    int Total() const { return m_total; }
    int TimesScored(int index) const { return m_scored[index]; }

private:
    CTaviView& m_view;
    std::vector<std::atomic<int>> m_scored;
    std::atomic<int> m_total = 0;
};

// Peak and current resident set of this process in KiB, from /proc/self/status, and the
// heap in use (allocated and not freed, which the resident set hides behind what the
// allocator keeps).
struct Memory {
    long peakKb = 0;
    long currentKb = 0;
    long heapKb = 0;
};

Memory ReadMemory() {
    Memory m;
    const struct mallinfo2 heap = mallinfo2();
    m.heapKb = static_cast<long>((heap.uordblks + heap.hblkhd) / 1024);
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) m.peakKb = std::atol(line.c_str() + 6);
        if (line.rfind("VmRSS:", 0) == 0) m.currentKb = std::atol(line.c_str() + 6);
    }
    if (m.peakKb == 0) {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        m.peakKb = usage.ru_maxrss;
    }
    return m;
}

bool ReadBytes(const QString& path, std::string& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    QByteArray all = file.readAll();
    bytes.assign(all.constData(), static_cast<size_t>(all.size()));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20000;
    const int checkpoint = std::min(5000, count);

    // The answers: the sample essays round-robin, each with its number appended so that no two
    // files are the same.
    QTemporaryDir folder;
    QDir samples(QStringLiteral(TAVI_SAMPLES_DIR "/answers"));
    QStringList names = samples.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name);
    if (names.isEmpty() || !folder.isValid()) return 2;
    std::vector<std::string> sampleBytes;
    for (const QString& name : names) {
        std::string bytes;
        if (!ReadBytes(samples.absoluteFilePath(name), bytes)) return 2;
        sampleBytes.push_back(std::move(bytes));
    }
    std::vector<std::string> answers;  // Shift_JIS paths
    for (int i = 0; i < count; ++i) {
        std::string target =
            folder.filePath(QStringLiteral("answer%1.txt").arg(i, 5, 10, QLatin1Char('0'))).toStdString();
        std::ofstream out(target, std::ios::binary);
        out << sampleBytes[i % sampleBytes.size()] << "\n" << (i + 1) << "\n";
        if (!out) return 2;
        std::string sjis;
        if (!NativePathToSjis(target, sjis)) return 2;
        answers.push_back(std::move(sjis));
    }

    BenchPerson person;
    NativePathToSjis(QStringLiteral(TAVI_SAMPLES_DIR "/question.txt").toStdString(), person.question);
    CTaviApp theApp;
    if (!theApp.InitInstance({}, &person)) return 2;
    CMainFrame& frame = *theApp.MainFrame();
    CTaviDoc& doc = *theApp.Document();
    if (!doc.IsAnalyzerLoaded() || !theApp.View()) {
        std::fprintf(stderr, "bench_long_run: the analyser cannot be loaded\n");
        return 2;
    }
    CountingView counting(*theApp.View(), count);
    doc.SetListView(&counting);
    doc.OnQuestionSettings();
    if (!doc.HasQuestionVector()) {
        std::fprintf(stderr, "bench_long_run: the question cannot be prepared\n");
        return 2;
    }

    // The plan: a quarter of the answers at first, then batches that keep a backlog of about a
    // tenth of them; stops at 20, 45 and 70 percent; new rhetoric and organization ratios at 30
    // percent, a new expected length and new weights at 55 percent.
    const int batch = std::max(100, count / 40);
    const int backlog = std::max(200, count / 10);
    const std::vector<int> stopsAt = {count / 5, count * 9 / 20, count * 7 / 10};
    const int ratiosAt = count * 3 / 10;
    const int lengthAt = count * 11 / 20;

    const Memory baseline = ReadMemory();  // before any answer is listed
    int added = 0;
    auto addBatch = [&](int n) {
        for (int k = 0; k < n && added < count; ++k, ++added)
            if (!doc.AddAnswer(answers[added]))
                std::fprintf(stderr, "bench_long_run: answer %d was not added\n", added);
    };
    addBatch(count / 4);

    QElapsedTimer runTimer;
    runTimer.start();
    double checkpointSeconds = 0;
    Memory atCheckpoint, allListed;
    bool haveCheckpoint = false, haveAllListed = false;
    int listedAtCheckpoint = 0, scoredWhenAllListed = 0;
    size_t nextStop = 0;
    int stops = 0, starts = 0, resumes = 0, pauseTicks = 0, batches = 1, settingsChanges = 0;
    bool ratiosDone = false, lengthDone = false, busy = false;

    doc.OnScoreStart();
    ++starts;
    QEventLoop loop;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (busy) return;  // a settings change waits for the answer in progress and processes events
        busy = true;
        const int scored = counting.Total();
        if (!haveCheckpoint && scored >= checkpoint) {
            atCheckpoint = ReadMemory();
            checkpointSeconds = runTimer.elapsed() / 1000.0;
            listedAtCheckpoint = added;
            haveCheckpoint = true;
        }
        if (added < count && added - scored < backlog) {
            addBatch(batch);
            ++batches;
        }
        // Once the list is complete, growth is the scoring's alone.
        if (!haveAllListed && added == count) {
            allListed = ReadMemory();
            scoredWhenAllListed = scored;
            haveAllListed = true;
        }
        if (!ratiosDone && scored >= ratiosAt) {
            person.changeRatios = true;
            doc.OnParamDetail();
            ratiosDone = true;
            ++settingsChanges;
        }
        if (!lengthDone && scored >= lengthAt) {
            person.changeLength = true;
            doc.OnQuestionSettings();
            lengthDone = true;
            ++settingsChanges;
        }
        if (nextStop < stopsAt.size() && scored >= stopsAt[nextStop] && doc.IsRunning()) {
            doc.OnScoreStop();
            ++nextStop;
            ++stops;
            pauseTicks = kPauseTicks;
        }
        if (pauseTicks > 0) {
            if (--pauseTicks == 0 && doc.GetUnscoredCount() > 0) {
                doc.OnScoreStart();
                ++resumes;
            }
        } else if (!doc.IsRunning() && doc.GetUnscoredCount() > 0) {
            doc.OnScoreStart();
            ++starts;
        }
        if (added == count && !doc.IsRunning() && doc.GetUnscoredCount() == 0 && pauseTicks == 0) loop.quit();
        busy = false;
    });
    tick.start(kTickMs);
    loop.exec();
    tick.stop();
    doc.WaitForRun();
    const double runSeconds = runTimer.elapsed() / 1000.0;
    const Memory atEnd = ReadMemory();

    int duplicates = 0, missing = 0;
    for (int i = 0; i < count; ++i) {
        const int n = counting.TimesScored(i);
        if (n == 0) ++missing;
        if (n > 1) ++duplicates;
    }

    // The command-line scorer on the final parameter file of the program.
    const std::string appBytes = doc.ResultsFileBytes();
    const QString paramsPath = folder.filePath(QStringLiteral("final.prm"));
    const QString cliPath = folder.filePath(QStringLiteral("tavi-score.csv"));
    std::string error;
    if (!doc.SaveParameterFile(paramsPath.toStdString(), error)) {
        std::fprintf(stderr, "bench_long_run: cannot save the parameter file: %s\n", error.c_str());
        return 2;
    }
    QProcess scorer;
    scorer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer cliTimer;
    cliTimer.start();
    scorer.start(QStringLiteral(TAVI_BIN_DIR "/tavi-score"),
                 {QStringLiteral("--params"), paramsPath, QStringLiteral("--format"), QStringLiteral("csv"),
                  QStringLiteral("-j2"), QStringLiteral("-o"), cliPath});
    if (!scorer.waitForFinished(-1) || scorer.exitStatus() != QProcess::NormalExit || scorer.exitCode() != 0) {
        std::fprintf(stderr, "bench_long_run: tavi-score failed (exit %d)\n", scorer.exitCode());
        return 2;
    }
    const double cliSeconds = cliTimer.elapsed() / 1000.0;
    std::string cliBytes;
    if (!ReadBytes(cliPath, cliBytes)) return 2;
    const bool same = appBytes == cliBytes;
    if (!same) {
        size_t at = 0;
        while (at < appBytes.size() && at < cliBytes.size() && appBytes[at] == cliBytes[at]) ++at;
        const size_t lineStart = appBytes.rfind('\n', at) == std::string::npos ? 0 : appBytes.rfind('\n', at) + 1;
        std::fprintf(stderr, "bench_long_run: results differ at byte %zu of %zu / %zu\n  program:    %s\n", at,
                     appBytes.size(), cliBytes.size(),
                     SjisToUtf8(appBytes.substr(lineStart, appBytes.find('\n', lineStart) - lineStart)).c_str());
        std::fprintf(stderr, "  tavi-score: %s\n",
                     SjisToUtf8(cliBytes.substr(lineStart, cliBytes.find('\n', lineStart) - lineStart)).c_str());
    }

    // Flat memory: rounds that rescore every answer (the ratios changed back and forth) must
    // leave the heap in use where it was.
    std::vector<long> heapAfterRound;
    for (int round = 0; round < 4; ++round) {
        person.changeRatios = true;
        person.backToDefaults = round % 2 == 0;
        doc.OnParamDetail();
        heapAfterRound.push_back(ReadMemory().heapKb);
    }

    std::printf("answers                      %d (listed %d, unscored %d)\n", count, doc.GetAnswerCount(),
                doc.GetUnscoredCount());
    std::printf("batches added                %d of up to %d\n", batches, batch);
    std::printf("stops / starts after a stop  %d / %d (started %d times more after catching up)\n", stops, resumes,
                starts - 1);
    const ScoringParams final = doc.GetParams();
    std::printf(
        "settings changes             %d (final: length %.0f, weights %.0f:%.0f:%.0f, diversity %.2f, cue %.2f)\n",
        settingsChanges, final.expectedLength, final.rhetoricWeight, final.organizationWeight, final.contentWeight,
        final.vocabularyDiversityWeight, final.cueWordWeight);
    std::printf("wall time of the run         %.2f s (%d answers after %.2f s)\n", runSeconds, checkpoint,
                checkpointSeconds);
    std::printf("peak RSS at %5d scored      %ld KiB (current %ld KiB, heap in use %ld KiB, %d answers listed)\n",
                checkpoint, atCheckpoint.peakKb, atCheckpoint.currentKb, atCheckpoint.heapKb, listedAtCheckpoint);
    std::printf("peak RSS when all listed     %ld KiB (current %ld KiB, heap in use %ld KiB, %d scored)\n",
                allListed.peakKb, allListed.currentKb, allListed.heapKb, scoredWhenAllListed);
    std::printf("peak RSS at %5d scored      %ld KiB (current %ld KiB, heap in use %ld KiB)\n", count, atEnd.peakKb,
                atEnd.currentKb, atEnd.heapKb);
    std::printf("heap per scored answer       %.2f KiB (record of %zu bytes with its evidence, strings and list row)\n",
                static_cast<double>(atEnd.heapKb - baseline.heapKb) / count, sizeof(EssayRecord));
    std::printf("heap after rescoring rounds ");
    for (long kb : heapAfterRound) std::printf(" %ld", kb);
    std::printf(" KiB (spread %ld KiB)\n", *std::max_element(heapAfterRound.begin(), heapAfterRound.end()) -
                                               *std::min_element(heapAfterRound.begin(), heapAfterRound.end()));
    std::printf("shown as scored              %d times; duplicates %d, never %d\n", counting.Total(), duplicates,
                missing);
    std::printf("tavi-score -j2 --params      %.2f s\n", cliSeconds);
    std::printf("results file bytes           %zu, %s tavi-score's\n", appBytes.size(),
                same ? "the same as" : "DIFFERENT from");
    doc.SetListView(theApp.View());
    frame.close();
    const bool small = atEnd.peakKb <= kMaxPeakKb;
    if (!small) std::fprintf(stderr, "bench_long_run: peak %ld KiB over %ld KiB\n", atEnd.peakKb, kMaxPeakKb);
    return same && small && duplicates == 0 && missing == 0 && doc.GetUnscoredCount() == 0 ? 0 : 1;
}
