#include "ui/AnswerPane.h"

#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QListWidget>
#include <QSplitter>
#include <QTextBlock>
#include <QTextEdit>
#include <QToolTip>
#include <QVBoxLayout>
#include <algorithm>

#include "analysis/Encoding.h"
#include "document/CTaviDoc.h"

namespace tavi {
namespace {

// The outline of the chosen comment's marks, over their own colours.
const QColor kChosen(QStringLiteral("#7fb2ff"));

QString FromSjis(const std::string& sjis) { return QString::fromStdString(SjisToUtf8(sjis)); }

QTextCharFormat MarkFormat(char kind) {
    QTextCharFormat format;
    for (const MarkStyle& style : kMarkStyles) {
        if (style.kind != kind) continue;
        if (style.background) format.setBackground(QColor(QString::fromLatin1(style.background)));
        if (style.underline) {
            format.setUnderlineStyle(QTextCharFormat::SingleUnderline);
            format.setUnderlineColor(QColor(QString::fromLatin1(style.underline)));
        }
        if (style.bold) format.setFontWeight(QFont::Bold);
    }
    return format;
}

QString Legend() {
    QString html = QString::fromUtf8("本文の印:");
    for (const MarkStyle& style : kMarkStyles) {
        QString css = style.background
                          ? QStringLiteral("background:%1;").arg(QLatin1String(style.background))
                          : QStringLiteral("text-decoration:underline; color:%1;").arg(QLatin1String(style.underline));
        if (style.bold) css += QStringLiteral("font-weight:bold;");
        html += QStringLiteral(" <span style=\"%1\">%2</span>").arg(css, QString::fromUtf8(style.legend));
    }
    return html;
}

}  // namespace

AnswerPane::AnswerPane(const CTaviDoc& doc, QWidget* parent)
    : QWidget(parent),
      m_doc(doc),
      m_heading(new QLabel(this)),
      m_scores(new QLabel(this)),
      m_comments(new QListWidget(this)),
      m_legend(new QLabel(Legend(), this)),
      m_text(new QTextEdit(this)) {
    setObjectName(QStringLiteral("answerPane"));
    m_heading->setTextFormat(Qt::PlainText);
    QFont bold = m_heading->font();
    bold.setBold(true);
    m_heading->setFont(bold);
    m_scores->setTextFormat(Qt::PlainText);
    m_scores->setWordWrap(true);
    m_comments->setObjectName(QStringLiteral("answerComments"));
    m_comments->setWordWrap(true);
    m_comments->setAlternatingRowColors(true);
    m_legend->setWordWrap(true);
    m_legend->setTextFormat(Qt::RichText);
    m_text->setObjectName(QStringLiteral("answerText"));
    m_text->setReadOnly(true);
    m_text->viewport()->installEventFilter(this);

    auto* left = new QWidget(this);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(m_heading);
    leftLayout->addWidget(m_scores);
    leftLayout->addWidget(m_comments, 1);
    auto* right = new QWidget(this);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addWidget(m_legend);
    rightLayout->addWidget(m_text, 1);
    auto* split = new QSplitter(Qt::Horizontal, this);
    split->addWidget(left);
    split->addWidget(right);
    split->setStretchFactor(1, 2);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(split);

    connect(m_comments, &QListWidget::currentRowChanged, this, &AnswerPane::SelectComment);
    ShowAnswer(-1);
}

void AnswerPane::ShowAnswer(int answerIndex) {
    const EssayRecord record = m_doc.GetAnswer(answerIndex);
    const bool exists = answerIndex >= 0 && answerIndex < m_doc.GetAnswerCount();
    m_answer = exists ? answerIndex : -1;
    m_marked = exists ? MarkAnswer(record, m_doc.GetParams()) : MarkedAnswer{};
    m_comments->blockSignals(true);
    m_comments->clear();
    m_text->clear();
    m_comments->blockSignals(false);
    if (!exists) {
        m_heading->setText(QString::fromUtf8("回答文を選ぶと、その評価と根拠がここに表示されます。"));
        m_scores->clear();
        return;
    }
    m_heading->setText(QStringLiteral("%1. %2").arg(record.id).arg(FromSjis(record.title)));
    const bool scored = record.status == kStatusScored;
    auto score = [&](const char* name, double value, bool shown) {
        return QString::fromUtf8(name) + QLatin1Char(' ') +
               (shown ? QString::fromStdString(ScoreCellText(value)) : QStringLiteral("-"));
    };
    m_scores->setText(FromSjis(StatusText(record.status)) + QStringLiteral("　") +
                      QStringList{score("総合得点", record.finalScore, scored),
                                  score("文量減点", record.lengthPenalty, scored),
                                  score("修辞", record.rhetoricScore, record.rhetoricScored),
                                  score("論理", record.organizationScore, record.organizationScored),
                                  score("内容", record.contentScore, scored)}
                          .join(QStringLiteral("　")));
    if (m_marked.comments.empty()) m_comments->addItem(FromSjis(m_doc.GetCommentText(answerIndex)));
    for (size_t c = 0; c < m_marked.comments.size(); ++c) {
        QString text = FromSjis(m_marked.comments[c].text);
        if (!m_marked.details[c].empty()) text += QLatin1Char('\n') + QString::fromStdString(m_marked.details[c]);
        m_comments->addItem(text);
    }
    if (!record.evidence) return;

    // One QChar per Shift_JIS character, as the spans count them; a carriage return would
    // end a line of its own, so it stays as an invisible character.
    QString text = FromSjis(record.evidence->text);
    text.replace(QLatin1Char('\r'), QChar(0x200B));
    m_text->setPlainText(text);
    const int length = static_cast<int>(text.size());
    for (const EvidenceMark& mark : m_marked.marks) {
        int begin = std::min<int>(mark.span.begin, length), end = std::min<int>(mark.span.end, length);
        if (begin >= end) continue;
        QTextCursor cursor(m_text->document());
        cursor.setPosition(begin);
        cursor.setPosition(end, QTextCursor::KeepAnchor);
        cursor.mergeCharFormat(MarkFormat(mark.kind));
    }
}

void AnswerPane::SelectComment(int comment) {
    QList<QTextEdit::ExtraSelection> selections;
    const int length = m_text->document()->characterCount() - 1;
    int first = -1;
    for (const EvidenceMark& mark : m_marked.marks) {
        if (comment < 0 || mark.comment != comment) continue;
        int begin = std::min<int>(mark.span.begin, length), end = std::min<int>(mark.span.end, length);
        if (begin >= end) continue;
        QTextEdit::ExtraSelection selection;
        selection.cursor = QTextCursor(m_text->document());
        selection.cursor.setPosition(begin);
        selection.cursor.setPosition(end, QTextCursor::KeepAnchor);
        selection.format.setBackground(kChosen);
        selections << selection;
        if (first < 0 || begin < first) first = begin;
    }
    m_text->setExtraSelections(selections);
    if (first >= 0) {
        QTextCursor at(m_text->document());
        at.setPosition(first);
        m_text->setTextCursor(at);
        m_text->ensureCursorVisible();
    }
}

std::vector<std::pair<int, int>> AnswerPane::OutlinedSpans() const {
    std::vector<std::pair<int, int>> spans;
    for (const QTextEdit::ExtraSelection& s : m_text->extraSelections())
        spans.emplace_back(s.cursor.selectionStart(), s.cursor.selectionEnd());
    std::sort(spans.begin(), spans.end());
    return spans;
}

QString AnswerPane::TitlesAt(int position) const {
    QStringList titles;
    for (const EvidenceMark& mark : m_marked.marks) {
        if (position < static_cast<int>(mark.span.begin) || position >= static_cast<int>(mark.span.end)) continue;
        QString title = QString::fromStdString(mark.title);
        if (!titles.contains(title)) titles << title;
    }
    return titles.join(QLatin1Char('\n'));
}

bool AnswerPane::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_text->viewport() && event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        QTextCursor cursor = m_text->cursorForPosition(help->pos());
        // The character under the pointer: the cursor stands before or after it.
        QRect before = m_text->cursorRect(cursor);
        int position = cursor.position() - (help->pos().x() < before.x() ? 1 : 0);
        QString titles = TitlesAt(position);
        if (titles.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), titles, m_text->viewport());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace tavi
