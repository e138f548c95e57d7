#pragma once

#include <QAbstractTableModel>
#include <cstdint>
#include <string>
#include <vector>

#include "document/ListView.h"

namespace tavi {

class CTaviDoc;

// The rows of the answer list over the document's records: each row names its answer by
// index (its item value) and keeps what the document has shown of it (status and the five
// score cells); number, file title and path come from the document's records. A row costs
// 48 bytes.
//
// Rows are in display order; sorting reorders them and moves persistent indexes (the
// selection) with them. User-interface thread only; the document must outlive the model.
class AnswerListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit AnswerListModel(const CTaviDoc& doc, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Appends the row of an answer, with its management number; its other cells are empty.
    void AppendRow(int answerIndex, uint16_t number);
    void RemoveRowAt(int row);
    void SetStatus(int row, EssayStatus status);
    // `column` is one of the five score columns.
    void SetScore(int row, int column, double value);

    // True when some row shows the status "scored".
    bool AnyScored() const;
    // The answer index that a row shows; -1 beyond the rows.
    int ItemValue(int row) const;
    void SetItemValue(int row, int answerIndex);
    // A cell's text in Shift_JIS, as the results file holds it; empty when not shown yet.
    std::string CellSjis(int row, int column) const;
    // Reorders the rows stably by the comparison of CompareCells on their texts.
    void SortByColumn(int column, bool descending);

    // The comparison of two cell texts of a column for an ascending sort: negative, zero or
    // positive. File name and path compare their Shift_JIS bytes; the other columns compare
    // the numbers the texts start with (0 when none), equal within 2^-23.
    static int CompareCells(int column, const QByteArray& a, const QByteArray& b);

private:
    struct Row {
        uint32_t answerIndex;
        uint16_t number;
        uint8_t status;
        uint8_t shown;  // bit 0: status; bit 1 + k: score column kTotal + k
        double scores[5];
    };
    static constexpr int kScoreColumns = 5;
    static bool IsScoreColumn(int column) { return column >= ListView::kTotal && column <= ListView::kContent; }
    static uint8_t ShownBit(int column) {
        return column == ListView::kStatus ? 1 : 1 << (column - ListView::kTotal + 1);
    }

    const CTaviDoc& m_doc;
    std::vector<Row> m_rows;
};

}  // namespace tavi
