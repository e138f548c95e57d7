#pragma once

#include <array>
#include <mutex>
#include <string>
#include <vector>

#include "document/ListView.h"

namespace tavi {

// A list view without a window: rows of nine cell texts in answer order (no sorting). The
// command-line scorer and the tests use it. Thread-safe: every operation takes a lock.
class MemoryListView : public ListView {
public:
    void AddAnswerRow(int index, uint16_t number, const std::string& title, const std::string& path) override;
    void ShowStatus(int index, EssayStatus status) override;
    void ShowTotalScore(int index, double value) override { SetCell(index, kTotal, ScoreCellText(value)); }
    void ShowLengthPenalty(int index, double value) override { SetCell(index, kPenalty, ScoreCellText(value)); }
    void ShowRhetoricScore(int index, double value) override { SetCell(index, kRhetoric, ScoreCellText(value)); }
    void ShowOrganizationScore(int index, double value) override {
        SetCell(index, kOrganization, ScoreCellText(value));
    }
    void ShowContentScore(int index, double value) override { SetCell(index, kContent, ScoreCellText(value)); }
    int GetRowCount() override;
    // Rows are in answer order.
    int GetRowAnswer(int row) override { return row; }

    // The text of one cell (empty for a row or column out of range).
    std::string Cell(int row, int column) const;
    // Removes a row, as deleting an answer from the list does.
    void RemoveRow(int row);

protected:
    void SetCell(int index, int column, std::string text);

private:
    mutable std::mutex m_mutex;
    std::vector<std::array<std::string, kColumns>> m_rows;
};

}  // namespace tavi
