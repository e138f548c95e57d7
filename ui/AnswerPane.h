#pragma once

#include <QWidget>
#include <vector>

#include "report/Report.h"

class QLabel;
class QListWidget;
class QTextEdit;

namespace tavi {

class CTaviDoc;

// The pane beside the answer list: the selected answer's scores, its comments with their
// details, and its text with the evidence marked in the report's colours (kMarkStyles).
// Choosing a comment outlines its marks and scrolls to the first; hovering a mark names the
// comments it stands for. User-interface thread only; the document must outlive the pane.
class AnswerPane : public QWidget {
    Q_OBJECT
public:
    explicit AnswerPane(const CTaviDoc& doc, QWidget* parent = nullptr);

    // Shows the answer at a document index; -1 (or an index out of range) shows none.
    void ShowAnswer(int answerIndex);
    int ShownAnswer() const { return m_answer; }
    // Outlines the marks of the shown answer's comment at a position in its list; -1 none.
    void SelectComment(int comment);

    // The comments of the hover text at a character of the text, one per line; empty off marks.
    QString TitlesAt(int position) const;
    // The character ranges [begin, end) outlined for the chosen comment.
    std::vector<std::pair<int, int>> OutlinedSpans() const;

    QListWidget* Comments() const { return m_comments; }
    QTextEdit* Text() const { return m_text; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    const CTaviDoc& m_doc;
    int m_answer = -1;
    MarkedAnswer m_marked;
    QLabel* m_heading;
    QLabel* m_scores;
    QListWidget* m_comments;
    QLabel* m_legend;
    QTextEdit* m_text;
};

}  // namespace tavi
