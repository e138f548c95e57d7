#include "ui/AnswerListModel.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <numeric>

#include "analysis/Encoding.h"
#include "document/CTaviDoc.h"

namespace tavi {
namespace {

constexpr double kEqualWithin = 1.1920928955078125e-07;  // 2^-23

// The value of the longest leading part of a text that forms a decimal number (blanks,
// sign, digits, point, exponent); 0 when there is none.
double LeadingNumber(std::string_view text) {
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end && std::isspace(static_cast<unsigned char>(*p))) ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    const char* start = p;
    auto digits = [&] {
        const char* from = p;
        while (p < end && std::isdigit(static_cast<unsigned char>(*p))) ++p;
        return p > from;
    };
    bool mantissa = digits();
    if (p < end && *p == '.') {
        ++p;
        mantissa = digits() || mantissa;
    }
    if (!mantissa) return 0;
    if (p < end && (*p == 'e' || *p == 'E')) {
        const char* mark = p++;
        if (p < end && (*p == '+' || *p == '-')) ++p;
        if (!digits()) p = mark;  // an "e" without digits is not part of the number
    }
    double value = 0;
    std::from_chars(start, p, value);
    return negative ? -value : value;
}

// Unsigned bytes; a prefix sorts first.
int CompareBytes(std::string_view a, std::string_view b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        int d = static_cast<unsigned char>(a[i]) - static_cast<unsigned char>(b[i]);
        if (d != 0) return d;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

int CompareNumbers(double x, double y) {
    int r = x > y ? 1 : -1;
    if ((x - y) * r < kEqualWithin) r = 0;
    return r;
}

bool IsByteColumn(int column) { return column == ListView::kTitle || column == ListView::kPath; }

}  // namespace

AnswerListModel::AnswerListModel(const CTaviDoc& doc, QObject* parent) : QAbstractTableModel(parent), m_doc(doc) {}

int AnswerListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int AnswerListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ListView::kColumns; }

std::string AnswerListModel::CellSjis(int row, int column) const {
    if (row < 0 || row >= rowCount()) return {};
    const Row& r = m_rows[row];
    switch (column) {
        case ListView::kNumber:
            return std::to_string(r.number);
        case ListView::kTitle:
            return m_doc.GetAnswerTitle(static_cast<int>(r.answerIndex));
        case ListView::kPath:
            return m_doc.GetAnswerPath(static_cast<int>(r.answerIndex));
        case ListView::kStatus:
            return r.shown & 1 ? StatusText(static_cast<EssayStatus>(r.status)) : std::string();
        default:
            if (!IsScoreColumn(column) || !(r.shown & ShownBit(column))) return {};
            return ScoreCellText(r.scores[column - ListView::kTotal]);
    }
}

QVariant AnswerListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid()) return {};
    return QString::fromStdString(SjisToUtf8(CellSjis(index.row(), index.column())));
}

QVariant AnswerListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= ListView::kColumns) return {};
    if (role == Qt::DisplayRole) return QString::fromUtf8(kListColumns[section].header);
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags AnswerListModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void AnswerListModel::AppendRow(int answerIndex, uint16_t number) {
    const int row = rowCount();
    beginInsertRows({}, row, row);
    m_rows.push_back({static_cast<uint32_t>(answerIndex), number, 0, 0, {}});
    endInsertRows();
}

void AnswerListModel::RemoveRowAt(int row) {
    if (row < 0 || row >= rowCount()) return;
    beginRemoveRows({}, row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
}

void AnswerListModel::SetStatus(int row, EssayStatus status) {
    if (row < 0 || row >= rowCount()) return;
    m_rows[row].status = static_cast<uint8_t>(status);
    m_rows[row].shown |= 1;
    QModelIndex cell = index(row, ListView::kStatus);
    emit dataChanged(cell, cell, {Qt::DisplayRole});
}

void AnswerListModel::SetScore(int row, int column, double value) {
    if (row < 0 || row >= rowCount() || !IsScoreColumn(column)) return;
    m_rows[row].scores[column - ListView::kTotal] = value;
    m_rows[row].shown |= ShownBit(column);
    QModelIndex cell = index(row, column);
    emit dataChanged(cell, cell, {Qt::DisplayRole});
}

bool AnswerListModel::AnyScored() const {
    return std::any_of(m_rows.begin(), m_rows.end(),
                       [](const Row& r) { return (r.shown & 1) && r.status == kStatusScored; });
}

int AnswerListModel::ItemValue(int row) const {
    return row >= 0 && row < rowCount() ? static_cast<int>(m_rows[row].answerIndex) : -1;
}

void AnswerListModel::SetItemValue(int row, int answerIndex) {
    if (row >= 0 && row < rowCount()) m_rows[row].answerIndex = static_cast<uint32_t>(answerIndex);
}

int AnswerListModel::CompareCells(int column, const QByteArray& a, const QByteArray& b) {
    if (IsByteColumn(column)) return CompareBytes({a.constData(), size_t(a.size())}, {b.constData(), size_t(b.size())});
    return CompareNumbers(LeadingNumber({a.constData(), size_t(a.size())}),
                          LeadingNumber({b.constData(), size_t(b.size())}));
}

void AnswerListModel::SortByColumn(int column, bool descending) {
    if (column < 0 || column >= ListView::kColumns) return;
    const int n = rowCount();
    // Each cell's key once: its bytes, or the number its text starts with.
    std::vector<std::string> bytes;
    std::vector<double> numbers;
    if (IsByteColumn(column)) {
        bytes.reserve(n);
        for (int row = 0; row < n; ++row) bytes.push_back(CellSjis(row, column));
    } else {
        numbers.reserve(n);
        for (int row = 0; row < n; ++row) numbers.push_back(LeadingNumber(CellSjis(row, column)));
    }
    std::vector<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        int r = bytes.empty() ? CompareNumbers(numbers[a], numbers[b]) : CompareBytes(bytes[a], bytes[b]);
        return (descending ? -r : r) < 0;
    });

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<Row> sorted;
    sorted.reserve(n);
    std::vector<int> newRow(n);
    for (int k = 0; k < n; ++k) {
        sorted.push_back(m_rows[order[k]]);
        newRow[order[k]] = k;
    }
    m_rows.swap(sorted);
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& i : from) to.push_back(index(newRow[i.row()], i.column()));
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

}  // namespace tavi
