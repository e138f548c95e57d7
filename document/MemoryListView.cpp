#include "document/MemoryListView.h"

#include <stdexcept>

namespace tavi {

void MemoryListView::AddAnswerRow(int index, uint16_t number, const std::string& title, const std::string& path) {
    std::lock_guard lock(m_mutex);
    if (index < 0 || index != static_cast<int>(m_rows.size()))
        throw std::invalid_argument("MemoryListView: answers are appended in order");
    std::array<std::string, kColumns> row;
    row[kNumber] = std::to_string(number);
    row[kTitle] = title;
    row[kPath] = path;
    m_rows.push_back(std::move(row));
}

void MemoryListView::ShowStatus(int index, EssayStatus status) { SetCell(index, kStatus, StatusText(status)); }

void MemoryListView::SetCell(int index, int column, std::string text) {
    std::lock_guard lock(m_mutex);
    if (index < 0 || index >= static_cast<int>(m_rows.size()))
        throw std::invalid_argument("MemoryListView: no row for answer " + std::to_string(index));
    m_rows[index][column] = std::move(text);
}

int MemoryListView::GetRowCount() {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_rows.size());
}

std::string MemoryListView::Cell(int row, int column) const {
    std::lock_guard lock(m_mutex);
    if (row < 0 || row >= static_cast<int>(m_rows.size()) || column < 0 || column >= kColumns) return {};
    return m_rows[row][column];
}

void MemoryListView::RemoveRow(int row) {
    std::lock_guard lock(m_mutex);
    if (row >= 0 && row < static_cast<int>(m_rows.size())) m_rows.erase(m_rows.begin() + row);
}

}  // namespace tavi
