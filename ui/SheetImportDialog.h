#pragma once

#include <QDialog>
#include <optional>

class QComboBox;
class QLabel;
class QTableWidget;

namespace tavi {

struct Sheet;

// "スプレッドシートから回答文を取り込む": shows the first rows of a sheet and lets the person
// choose the column that holds the answers and the column that names each answer's file.
class SheetImportDialog : public QDialog {
    Q_OBJECT
public:
    // Rows shown below the header.
    static constexpr int kPreviewRows = 8;

    // `sheet` must outlive the dialog.
    SheetImportDialog(const QString& sheetPath, const Sheet& sheet, QWidget* parent = nullptr);

    void SetColumns(size_t textColumn, std::optional<size_t> nameColumn);
    size_t TextColumn() const;
    std::optional<size_t> NameColumn() const;

private:
    // Marks the chosen columns in the preview and counts the answers to be written.
    void ShowChoice();

    const Sheet& m_sheet;
    QComboBox* m_textColumn;
    QComboBox* m_nameColumn;
    QTableWidget* m_preview;
    QLabel* m_count;
};

}  // namespace tavi
