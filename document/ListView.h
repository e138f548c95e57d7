#pragma once

#include <cstdint>
#include <string>

#include "evaluation/EssayRecord.h"

namespace tavi {

// The answer list as the document sees it. Every operation names an answer by its index in
// the document's answer array, never by its row. Texts are Shift_JIS.
//
// Thread safety: the document calls the update operations from the scoring worker thread as
// well as from the user-interface thread; an implementation must carry each out (on its own
// thread if it needs to) before returning. GetRowCount and GetRowAnswer are called on the
// user-interface thread only.
class ListView {
public:
    // The columns, in the order shown and exported.
    enum Column { kNumber, kTitle, kStatus, kTotal, kPenalty, kRhetoric, kOrganization, kContent, kPath };
    static constexpr int kColumns = 9;

    virtual ~ListView() = default;

    // Appends the row of a new answer (columns number, title and path filled).
    virtual void AddAnswerRow(int index, uint16_t number, const std::string& title, const std::string& path) = 0;
    // Writes the status text, brings the row into view and processes pending events.
    virtual void ShowStatus(int index, EssayStatus status) = 0;
    // Score cells, written with "%0.2f".
    virtual void ShowTotalScore(int index, double value) = 0;
    virtual void ShowLengthPenalty(int index, double value) = 0;
    virtual void ShowRhetoricScore(int index, double value) = 0;
    virtual void ShowOrganizationScore(int index, double value) = 0;
    virtual void ShowContentScore(int index, double value) = 0;

    // Rows in display order, for the results file.
    virtual int GetRowCount() = 0;
    // The index of the answer that a row shows.
    virtual int GetRowAnswer(int row) = 0;

    // Processes pending events of the calling thread (keeps the window alive while the
    // document waits or scores on the user-interface thread).
    virtual void PumpMessages() {}
    // Repaints after the document changed (adding answers, export).
    virtual void UpdateAllViews() {}
};

// How a column is shown: its header text (UTF-8; the terminal table has a shorter one), its
// width in pixels in the desktop list (fitted to the header when set), and whether it holds a
// number (right-aligned on the terminal).
struct ListColumnSpec {
    const char* header;
    const char* shortHeader;
    int width;
    bool fitted;
    bool number;
};
inline constexpr ListColumnSpec kListColumns[ListView::kColumns] = {
    {"管理番号", "番号", 50, true, true},      {"ファイル名", "ファイル名", 150, false, false},
    {"状態", "状態", 100, true, false},        {"総合得点", "総合得点", 100, true, true},
    {"文量減点", "文量減点", 100, true, true}, {"修辞", "修辞", 100, true, true},
    {"論理", "論理", 100, true, true},         {"内容", "内容", 100, true, true},
    {"場所", "場所", 300, false, false},
};

// Shows a record's rhetoric and organization scores, and with `withContent` its content
// score, length penalty and total, as the document does once an answer is scored.
void ShowScoreCells(ListView& view, int index, const EssayRecord& record, bool withContent);

// The status text shown for a status ("未採点" ... "済"), Shift_JIS.
const std::string& StatusText(EssayStatus status);

// A score cell's text: the value with "%0.2f".
std::string ScoreCellText(double value);

// One results-file line of nine cells: each cell followed by ",", then "\n". A cell holding a
// comma, a double quote or a line break is quoted, with "" for a quote inside.
std::string FormatCsvLine(const std::string (&cells)[ListView::kColumns]);

}  // namespace tavi
