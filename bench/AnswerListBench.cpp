// The answer list at its largest: 65,535 answers (the management numbers' limit) shown with
// status and all five scores. Measures the heap the list takes per answer (beyond the
// document's own records) and the time a header click takes to sort the rows by each column,
// both directions. Exits with 1 when an answer costs more than 0.3 KiB or a sort takes 0.5 s
// or more.
//
// Usage: bench_answer_list [COUNT]   (offscreen unless QT_QPA_PLATFORM says otherwise)
#include <malloc.h>

#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "analysis/Encoding.h"
#include "document/CTaviDoc.h"
#include "ui/CTaviView.h"
#include "ui/QtPerson.h"

namespace {

using namespace tavi;

constexpr double kMaxBytesPerAnswer = 0.3 * 1024;
constexpr double kMaxSortSeconds = 0.5;

size_t HeapInUse() { return mallinfo2().uordblks; }

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 65535;

    QtPerson person;
    CTaviDoc doc(person);
    CTaviView view(doc, person);
    view.resize(900, 600);
    view.OnInitialUpdate();
    view.show();
    // The document's records first, without the list, so that the list's share stands alone.
    doc.SetListView(nullptr);
    for (int i = 0; i < count; ++i) {
        char path[96];
        std::snprintf(path, sizeof path, "/home/teacher/answers/class%02d/student%05d.txt", i % 40, i);
        if (!doc.AddAnswer(path)) {
            std::fprintf(stderr, "bench_answer_list: answer %d refused\n", i);
            return 2;
        }
    }
    QApplication::processEvents();

    const size_t before = HeapInUse();
    for (int i = 0; i < count; ++i) {
        EssayRecord r = doc.GetAnswer(i);
        view.AddAnswerRow(i, r.id, r.title, r.path);
        view.ShowStatus(i, kStatusScored);
        // Scores spread so that every column has many distinct values and many ties.
        view.ShowTotalScore(i, (i * 7919 % 10007) / 100.0);
        view.ShowLengthPenalty(i, -(i % 13) / 4.0);
        view.ShowRhetoricScore(i, (i * 31 % 101) / 100.0);
        view.ShowOrganizationScore(i, (i * 17 % 53) / 52.0);
        view.ShowContentScore(i, (i % 997) / 996.0);
    }
    QApplication::processEvents();
    const double perAnswer = static_cast<double>(HeapInUse() - before) / count;
    std::printf("answers: %d\nlist memory per answer: %.0f bytes (%.3f KiB)\n", count, perAnswer, perAnswer / 1024);

    double slowest = 0;
    for (int column = 0; column < ListView::kColumns; ++column) {
        for (const char* direction : {"descending", "ascending"}) {
            QElapsedTimer timer;
            timer.start();
            view.OnColumnClick(column);
            QApplication::processEvents();
            const double seconds = timer.nsecsElapsed() / 1e9;
            slowest = std::max(slowest, seconds);
            std::printf("sort by %-10s %-10s %.3f s\n", kListColumns[column].header, direction, seconds);
        }
    }
    std::printf("slowest sort: %.3f s\n", slowest);
    const bool ok = perAnswer <= kMaxBytesPerAnswer && slowest < kMaxSortSeconds;
    if (!ok) std::fprintf(stderr, "bench_answer_list: over the limits (%.0f bytes, %.3f s)\n", perAnswer, slowest);
    return ok ? 0 : 1;
}
