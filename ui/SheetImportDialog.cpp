#include "ui/SheetImportDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "document/AnswerSources.h"

namespace tavi {
namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// A field on one line: line breaks shown as "↵".
QString OneLine(const std::string& field) {
    QString text = QString::fromStdString(field);
    text.replace(QStringLiteral("\r\n"), U("↵")).replace(QLatin1Char('\n'), U("↵")).replace(QLatin1Char('\r'), U("↵"));
    return text;
}

}  // namespace

SheetImportDialog::SheetImportDialog(const QString& sheetPath, const Sheet& sheet, QWidget* parent)
    : QDialog(parent), m_sheet(sheet) {
    setObjectName(QStringLiteral("sheetImportDialog"));
    setWindowTitle(U("スプレッドシートから回答文を取り込む"));
    const std::vector<std::string>& header = sheet.rows.front();
    const int columns = static_cast<int>(header.size());

    m_textColumn = new QComboBox(this);
    m_textColumn->setObjectName(QStringLiteral("textColumn"));
    m_nameColumn = new QComboBox(this);
    m_nameColumn->setObjectName(QStringLiteral("nameColumn"));
    m_nameColumn->addItem(U("（なし：行番号のみ）"));
    for (int c = 0; c < columns; ++c) {
        QString item = QString::number(c + 1) + U("：") + OneLine(header[c]);
        m_textColumn->addItem(item);
        m_nameColumn->addItem(item);
    }

    m_preview = new QTableWidget(0, columns, this);
    m_preview->setObjectName(QStringLiteral("preview"));
    m_preview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_preview->setSelectionMode(QAbstractItemView::NoSelection);
    m_preview->setWordWrap(false);
    for (int c = 0; c < columns; ++c) m_preview->setHorizontalHeaderItem(c, new QTableWidgetItem(OneLine(header[c])));
    const int shown = std::min<int>(kPreviewRows, static_cast<int>(sheet.rows.size()) - 1);
    m_preview->setRowCount(shown);
    QStringList rowNumbers;
    for (int r = 0; r < shown; ++r) {
        const std::vector<std::string>& row = sheet.rows[r + 1];
        rowNumbers << QString::number(r + 2);  // the row number in the sheet, the header being row 1
        for (int c = 0; c < columns && c < static_cast<int>(row.size()); ++c) {
            auto* item = new QTableWidgetItem(OneLine(row[c]));
            item->setToolTip(QString::fromStdString(row[c]));
            m_preview->setItem(r, c, item);
        }
    }
    m_preview->setVerticalHeaderLabels(rowNumbers);
    m_preview->horizontalHeader()->setDefaultSectionSize(140);
    m_preview->horizontalHeader()->setStretchLastSection(true);
    m_preview->setMinimumSize(560, 200);

    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("answerCount"));
    auto* form = new QFormLayout;
    form->addRow(U("回答文の列(&A):"), m_textColumn);
    form->addRow(U("ファイル名にする列(&N):"), m_nameColumn);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(U("取り込む"));
    buttons->button(QDialogButtonBox::Cancel)->setText(U("キャンセル"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* where = new QLabel(U("%1\n回答は %2 に 1 行 1 ファイルで書き出して追加します。")
                                 .arg(sheetPath, QString::fromStdString(SheetAnswerFolder(sheetPath.toStdString()))),
                             this);
    where->setObjectName(QStringLiteral("sheetPath"));
    where->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(where);
    layout->addLayout(form);
    layout->addWidget(new QLabel(U("先頭の行:"), this));
    layout->addWidget(m_preview, 1);
    layout->addWidget(m_count);
    layout->addWidget(buttons);

    connect(m_textColumn, &QComboBox::currentIndexChanged, this, &SheetImportDialog::ShowChoice);
    connect(m_nameColumn, &QComboBox::currentIndexChanged, this, &SheetImportDialog::ShowChoice);
    ShowChoice();
}

void SheetImportDialog::SetColumns(size_t textColumn, std::optional<size_t> nameColumn) {
    m_textColumn->setCurrentIndex(static_cast<int>(textColumn));
    m_nameColumn->setCurrentIndex(nameColumn ? static_cast<int>(*nameColumn) + 1 : 0);
}

size_t SheetImportDialog::TextColumn() const { return static_cast<size_t>(std::max(0, m_textColumn->currentIndex())); }

std::optional<size_t> SheetImportDialog::NameColumn() const {
    int index = m_nameColumn->currentIndex();
    return index > 0 ? std::optional<size_t>(index - 1) : std::nullopt;
}

void SheetImportDialog::ShowChoice() {
    const int text = static_cast<int>(TextColumn());
    const std::optional<size_t> name = NameColumn();
    for (int c = 0; c < m_preview->columnCount(); ++c) {
        const QBrush background = c == text                              ? QBrush(QColor(0xFF, 0xF2, 0xB3))
                                  : name && c == static_cast<int>(*name) ? QBrush(QColor(0xDD, 0xEB, 0xFF))
                                                                         : QBrush();
        for (int r = 0; r < m_preview->rowCount(); ++r)
            if (QTableWidgetItem* item = m_preview->item(r, c)) item->setBackground(background);
    }
    m_count->setText(
        U("取り込む回答: %1 件（回答文の列が空の行は除きます）").arg(CountSheetAnswers(m_sheet, TextColumn())));
}

}  // namespace tavi
