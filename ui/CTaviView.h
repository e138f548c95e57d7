#pragma once

#include <QTableView>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "document/ListView.h"
#include "ui/CommandTarget.h"

class QMenu;
class QMimeData;

namespace tavi {

class AnswerListModel;
class CTaviDoc;
class DesktopPerson;

// The answer list: one row per answer with its number, file name, status, scores and path,
// in a report-style table whose rows the user can sort by any column. Rows carry their
// answer index as item value (AnswerListModel), and m_rowOfAnswer maps answer indexes back
// to rows. Files and folders dropped on it are added as answers.
//
// Thread safety: the document's update operations (AddAnswerRow, ShowStatus, the score
// cells) may be called from the scoring worker; off the user-interface thread each is carried
// out there through a blocking queued call. Everything else is user-interface thread only.
// The document must outlive the view.
class CTaviView : public QTableView, public ListView, public CommandTarget {
    Q_OBJECT
public:
    CTaviView(CTaviDoc& doc, DesktopPerson& person, QWidget* parent = nullptr);
    ~CTaviView() override;

    // Inserts the nine columns, fits their widths and registers the view with the document.
    void OnInitialUpdate();
    // The popup shown on a right click on a row; owned by the main window.
    void SetContextMenu(QMenu* menu) { m_contextMenu = menu; }
    // What a drop of files and folders does: `allowed` says whether answers may be added now,
    // `add` adds the dropped native paths.
    void SetDropHandlers(std::function<bool()> allowed, std::function<void(const std::vector<std::string>&)> add) {
        m_dropAllowed = std::move(allowed);
        m_addDropped = std::move(add);
    }

    // --- Operations called by the document ---
    void AddAnswerRow(int index, uint16_t number, const std::string& title, const std::string& path) override;
    void ShowStatus(int index, EssayStatus status) override;
    void ShowTotalScore(int index, double value) override { SetScoreCell(index, kTotal, value); }
    void ShowLengthPenalty(int index, double value) override { SetScoreCell(index, kPenalty, value); }
    void ShowRhetoricScore(int index, double value) override { SetScoreCell(index, kRhetoric, value); }
    void ShowOrganizationScore(int index, double value) override { SetScoreCell(index, kOrganization, value); }
    void ShowContentScore(int index, double value) override { SetScoreCell(index, kContent, value); }
    int GetRowCount() override;
    int GetRowAnswer(int row) override;
    void PumpMessages() override;
    void UpdateAllViews() override;

    // --- User actions ---
    // Shows the comment of the answer at a point of the viewport; nothing off the rows.
    void OnRowDoubleClick(const QPoint& viewportPos);
    // Shows the context menu at a point of the screen if a row is there.
    void OnRowRightClick(const QPoint& globalPos);
    // Sorts by a column, descending and ascending by turns; ignored while scoring runs.
    void OnColumnClick(int column);
    void OnViewSelected();
    void OnScoreSelected();
    void OnDeleteSelected();

    AnswerListModel& Model() const { return *m_model; }
    int RowCount() const;
    // A cell's text as shown.
    QString CellText(int row, int column) const;
    // The answer index that a row shows.
    int ItemValue(int row) const;
    // The answer of the current row; -1 when there is none.
    int CurrentAnswer() const;
    // The row that shows an answer; std::invalid_argument beyond the map.
    int RowOfAnswer(int index) const;
    // Selected rows in row order.
    std::vector<int> SelectedRows() const;
    // True while "選択部分を採点" scores on this thread.
    bool IsScoringSelection() const { return m_scoringSelection; }

    uint32_t m_descendingColumns = 0;     // bit k: the last sort on column k was descending
    std::vector<uint32_t> m_rowOfAnswer;  // answer index -> row; grows in steps of 128

signals:
    // After a "選択部分を採点" run has ended.
    void SelectionRunFinished();
    // The current row shows another answer, or its answer's cells changed (the latter at most
    // once per pass of the event loop).
    void CurrentAnswerChanged();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // Statuses and score cells set from the worker wait in a list, in order, until the
    // user-interface thread next carries out a call of the view or the flush posted with the
    // first of them: the worker does not wait for each change. Reads from the worker wait,
    // and every call carried out on the user-interface thread places the waiting changes first.
    struct PendingChange {
        int index;
        int column;  // kStatus for a status
        double value;
        EssayStatus status;
    };
    void SetScoreCell(int index, int column, double value);
    void Change(const PendingChange& change);
    void ApplyChange(const PendingChange& change);
    void ApplyPendingChanges();  // user-interface thread
    // Rows change in bursts (a run, many answers added): the list then repaints on a timer,
    // at most every kRepaintMs, instead of after every change. User-interface thread.
    void DeferPainting();
    void OnRepaintTimer();
    void SetRowOfAnswer(int index, int row);
    void RebuildRowMap();
    // Runs `f` on the user-interface thread and waits for it.
    template <class F>
    void OnGuiThread(F&& f);

    // True when a drag carries local files and adding answers is allowed now.
    bool AcceptsDrop(const QMimeData* data) const;

    CTaviDoc& m_doc;
    DesktopPerson& m_person;
    AnswerListModel* m_model;  // owned by the view
    QMenu* m_contextMenu = nullptr;
    std::function<bool()> m_dropAllowed;
    std::function<void(const std::vector<std::string>&)> m_addDropped;
    bool m_scoringSelection = false;
    QTimer m_repaintTimer;
    QTimer m_currentChangedTimer;
    bool m_changedSinceRepaint = false;
    std::mutex m_pendingMutex;
    std::vector<PendingChange> m_pendingChanges;  // guarded by m_pendingMutex
    bool m_flushPosted = false;                   // guarded by m_pendingMutex
};

}  // namespace tavi
