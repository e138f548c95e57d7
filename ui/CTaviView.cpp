#include "ui/CTaviView.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QThread>
#include <QUrl>
#include <algorithm>
#include <stdexcept>

#include "analysis/Encoding.h"
#include "document/CTaviDoc.h"
#include "ui/AnswerListModel.h"
#include "ui/DesktopPerson.h"
#include "ui/GuiThreadCall.h"
#include "ui/Resources.h"

namespace tavi {
namespace {

constexpr int kMapGrowth = 128;
constexpr int kMaxEditorWindows = 6;
constexpr int kHeaderTextMargin = 8;  // pixels
constexpr int kRepaintMs = 50;        // at most, while rows change in bursts

}  // namespace

CTaviView::CTaviView(CTaviDoc& doc, DesktopPerson& person, QWidget* parent)
    : QTableView(parent),
      m_rowOfAnswer(kMapGrowth, 0),
      m_doc(doc),
      m_person(person),
      m_model(new AnswerListModel(doc, this)) {
    setObjectName(QStringLiteral("answerList"));
    setModel(m_model);
    setAcceptDrops(true);
    setDropIndicatorShown(false);
    OnCommand(cmd::kViewSelected, [this] { OnViewSelected(); });
    OnCommand(cmd::kScoreSelected, [this] { OnScoreSelected(); });
    OnCommand(cmd::kDeleteSelected, [this] { OnDeleteSelected(); });
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this, &CTaviView::CurrentAnswerChanged);
    m_currentChangedTimer.setSingleShot(true);
    connect(&m_currentChangedTimer, &QTimer::timeout, this, &CTaviView::CurrentAnswerChanged);
    connect(m_model, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex& from, const QModelIndex& to) {
        const int current = currentIndex().row();
        if (current >= from.row() && current <= to.row()) m_currentChangedTimer.start();
    });
    m_repaintTimer.setInterval(kRepaintMs);
    connect(&m_repaintTimer, &QTimer::timeout, this, &CTaviView::OnRepaintTimer);
}

CTaviView::~CTaviView() { m_doc.SetListView(nullptr); }

void CTaviView::OnInitialUpdate() {
    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setWordWrap(false);
    setSortingEnabled(false);  // rows are sorted only by a click on a header
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    QHeaderView* header = horizontalHeader();
    header->setSectionsMovable(true);
    header->setSectionsClickable(true);
    header->setHighlightSections(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setStretchLastSection(false);
    connect(header, &QHeaderView::sectionClicked, this, &CTaviView::OnColumnClick);

    for (int c = 0; c < kColumns; ++c) setColumnWidth(c, kListColumns[c].width);
    // Columns with short texts take the width of their header, with the margins that a
    // header item keeps on either side of its text.
    for (int c = 0; c < kColumns; ++c) {
        if (!kListColumns[c].fitted) continue;
        int text = header->fontMetrics().horizontalAdvance(QString::fromUtf8(kListColumns[c].header));
        setColumnWidth(c, std::max(header->sectionSizeHint(c), text + 2 * kHeaderTextMargin));
    }

    m_doc.SetListView(this);
}

template <class F>
void CTaviView::OnGuiThread(F&& f) {
    CallOnThreadOf(this, [&] {
        ApplyPendingChanges();  // changes set earlier come first
        f();
    });
}

void CTaviView::DeferPainting() {
    // Painting after each of the ten updates that an answer makes would cost more than
    // scoring it; the worker waits for every update.
    m_changedSinceRepaint = true;
    if (m_repaintTimer.isActive()) return;
    viewport()->setUpdatesEnabled(false);
    m_repaintTimer.start();
}

void CTaviView::OnRepaintTimer() {
    if (m_changedSinceRepaint) {
        m_changedSinceRepaint = false;
        viewport()->setUpdatesEnabled(true);
        viewport()->repaint();
        viewport()->setUpdatesEnabled(false);
    } else {
        // Quiet for a whole period: back to painting as things change.
        m_repaintTimer.stop();
        viewport()->setUpdatesEnabled(true);
    }
}

void CTaviView::SetRowOfAnswer(int index, int row) {
    if (index < 0) throw std::invalid_argument("negative answer index");
    if (static_cast<size_t>(index) >= m_rowOfAnswer.size())
        m_rowOfAnswer.resize((static_cast<size_t>(index) / kMapGrowth + 1) * kMapGrowth, 0);
    m_rowOfAnswer[index] = static_cast<uint32_t>(row);
}

int CTaviView::RowOfAnswer(int index) const {
    if (index < 0 || static_cast<size_t>(index) >= m_rowOfAnswer.size())
        throw std::invalid_argument("answer index " + std::to_string(index) + " has no row");
    return static_cast<int>(m_rowOfAnswer[index]);
}

int CTaviView::RowCount() const { return m_model->rowCount(); }

QString CTaviView::CellText(int row, int column) const { return m_model->index(row, column).data().toString(); }

int CTaviView::ItemValue(int row) const { return m_model->ItemValue(row); }

int CTaviView::CurrentAnswer() const { return currentIndex().isValid() ? ItemValue(currentIndex().row()) : -1; }

void CTaviView::RebuildRowMap() {
    for (int row = 0; row < RowCount(); ++row) SetRowOfAnswer(ItemValue(row), row);
}

void CTaviView::AddAnswerRow(int index, uint16_t number, const std::string&, const std::string&) {
    OnGuiThread([&] {
        // Answers are only ever appended, so the index is the number of rows. Title and path
        // are the document's; the row shows them from there.
        SetRowOfAnswer(index, m_model->rowCount());
        m_model->AppendRow(index, number);
        DeferPainting();
    });
}

void CTaviView::ShowStatus(int index, EssayStatus status) {
    Change({index, kStatus, 0.0, status});
    PumpMessages();
}

void CTaviView::SetScoreCell(int index, int column, double value) { Change({index, column, value, kStatusUnscored}); }

void CTaviView::Change(const PendingChange& change) {
    if (QThread::currentThread() == thread()) {
        ApplyPendingChanges();
        ApplyChange(change);
        return;
    }
    bool post = false;
    {
        std::lock_guard lock(m_pendingMutex);
        m_pendingChanges.push_back(change);
        post = !m_flushPosted;
        m_flushPosted = true;
    }
    if (post) PostToThreadOf(this, [this] { ApplyPendingChanges(); });
}

void CTaviView::ApplyChange(const PendingChange& change) {
    const int row = RowOfAnswer(change.index);
    if (row >= RowCount()) return;
    if (change.column != kStatus) {
        m_model->SetScore(row, change.column, change.value);
        DeferPainting();
        return;
    }
    m_model->SetStatus(row, change.status);
    // A row out of sight becomes the first visible one, as far as the list can scroll.
    int top = std::max(0, rowAt(0));
    int perPage = rowHeight(row) > 0 ? viewport()->height() / rowHeight(row) : 0;
    int last = top + perPage - 1;
    if (row < top || row > last) verticalScrollBar()->setValue(row);
    DeferPainting();
}

void CTaviView::ApplyPendingChanges() {
    std::vector<PendingChange> changes;
    {
        std::lock_guard lock(m_pendingMutex);
        changes.swap(m_pendingChanges);
        m_flushPosted = false;
    }
    for (const PendingChange& c : changes) ApplyChange(c);
}

int CTaviView::GetRowCount() {
    int count = 0;
    OnGuiThread([&] { count = RowCount(); });
    return count;
}

int CTaviView::GetRowAnswer(int row) {
    int index = -1;
    OnGuiThread([&] { index = ItemValue(row); });
    return index;
}

void CTaviView::PumpMessages() {
    // The worker has no events of its own to process; its calls are carried out above.
    if (QThread::currentThread() == thread()) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void CTaviView::UpdateAllViews() {
    OnGuiThread([&] { viewport()->update(); });
}

void CTaviView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) OnRowDoubleClick(event->position().toPoint());
    QTableView::mouseDoubleClickEvent(event);
}

void CTaviView::OnRowDoubleClick(const QPoint& viewportPos) {
    QModelIndex index = indexAt(viewportPos);
    if (!index.isValid()) return;
    std::string comment = m_doc.GetCommentText(ItemValue(index.row()));
    m_person.ShowMessageBox({comment, "Tavi", MessageButtons::kOk, MessageIcon::kNone, 0, true});
}

void CTaviView::contextMenuEvent(QContextMenuEvent* event) {
    // Only a right click opens the menu, as on the list control it imitates.
    if (event->reason() == QContextMenuEvent::Mouse) OnRowRightClick(event->globalPos());
    event->accept();
}

void CTaviView::OnRowRightClick(const QPoint& globalPos) {
    if (!m_contextMenu || !indexAt(viewport()->mapFromGlobal(globalPos)).isValid()) return;
    m_contextMenu->popup(globalPos);
}

void CTaviView::OnColumnClick(int column) {
    if (m_doc.IsRunning() || column < 0 || column >= kColumns) return;
    ApplyPendingChanges();  // the rows move: changes still waiting are placed first
    uint32_t bit = 1u << column;
    bool descending = !(m_descendingColumns & bit);
    m_model->SortByColumn(column, descending);
    if (descending)
        m_descendingColumns |= bit;
    else
        m_descendingColumns &= ~bit;
    RebuildRowMap();
}

std::vector<int> CTaviView::SelectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows()) rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CTaviView::OnViewSelected() {
    std::vector<int> rows = SelectedRows();
    for (size_t k = 0; k < rows.size() && k < kMaxEditorWindows; ++k) m_doc.OpenInEditor(ItemValue(rows[k]));
}

void CTaviView::OnScoreSelected() {
    std::vector<int> rows = SelectedRows();
    if (rows.empty()) return;
    std::vector<int> indexes;
    for (int row : rows) indexes.push_back(ItemValue(row));
    m_scoringSelection = true;
    m_doc.ScoreSelected(indexes);
    m_scoringSelection = false;
    emit SelectionRunFinished();
}

void CTaviView::OnDeleteSelected() {
    ApplyPendingChanges();  // answers are renumbered: changes still waiting are placed first
    std::vector<int> rows = SelectedRows();
    const size_t n = rows.size();
    if (n == 0) return;
    std::vector<int> idx;
    for (int row : rows) idx.push_back(ItemValue(row));
    std::sort(idx.begin(), idx.end());
    // From the highest down, so that the indexes and rows still to be removed stay valid.
    for (size_t k = n; k-- > 0;) {
        m_doc.RemoveAnswer(idx[k]);
        m_model->RemoveRowAt(rows[k]);
    }
    // Answers after a removed one moved down in the document: renumber the item values.
    const int total = RowCount() + static_cast<int>(n);
    std::vector<int> shift(total, 0);
    for (int i = 0, removed = 0, k = 0; i < total; ++i) {
        while (k < static_cast<int>(n) && idx[k] <= i) ++removed, ++k;
        shift[i] = removed;
    }
    for (int row = 0; row < RowCount(); ++row) {
        int d = ItemValue(row);
        if (d >= 0 && d < total) m_model->SetItemValue(row, d - shift[d]);
    }
    RebuildRowMap();
    emit CurrentAnswerChanged();
}

bool CTaviView::AcceptsDrop(const QMimeData* data) const {
    if (!data || !data->hasUrls() || !m_addDropped || (m_dropAllowed && !m_dropAllowed())) return false;
    const QList<QUrl> urls = data->urls();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

void CTaviView::dragEnterEvent(QDragEnterEvent* event) { dragMoveEvent(event); }

void CTaviView::dragMoveEvent(QDragMoveEvent* event) {
    if (AcceptsDrop(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void CTaviView::dropEvent(QDropEvent* event) {
    if (!AcceptsDrop(event->mimeData())) {
        event->ignore();
        return;
    }
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) paths.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
    event->acceptProposedAction();
    m_addDropped(paths);
}

}  // namespace tavi
