#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "document/CTaviDoc.h"
#include "evaluation/CommentEvidence.h"
#include "evaluation/EssayRecord.h"
#include "evaluation/ScoringParams.h"

namespace tavi {

// What the report shows of one run. Strings are Shift_JIS.
struct ReportRun {
    std::string questionPath;
    std::string questionText;  // as read; empty when there is no question
    ScoringParams params;
    std::vector<EssayRecord> answers;
    // The teacher's marks, one per answer (none for an unmarked one) on the scale 0 to
    // `fullMark`; empty when the run has no marks to show.
    std::vector<std::optional<double>> marks;
    double fullMark = 10;
};

// Count, mean, median, population standard deviation, minimum and maximum of some values;
// all 0 when there are none.
struct Summary {
    size_t count = 0;
    double mean = 0;
    double median = 0;
    double deviation = 0;
    double minimum = 0;
    double maximum = 0;
};
Summary Summarize(std::vector<double> values);

// One highlighted stretch of an answer's text: characters [begin, end) of its evidence text
// (one per Shift_JIS character), a kind (s sentence, p phrase, w word, n long reading, g what
// the answer does well), the title shown on hover (UTF-8) and the comment it stands for (its
// position in the answer's comments; -1 when no comment was given for it).
struct EvidenceMark {
    TextSpan span;
    char kind;
    std::string title;
    int comment;
};

// An answer's comments, the detail line of each (UTF-8; empty without evidence) and the
// marks of its evidence.
struct MarkedAnswer {
    std::vector<ReceivedComment> comments;
    std::vector<std::string> details;
    std::vector<EvidenceMark> marks;
};
MarkedAnswer MarkAnswer(const EssayRecord& record, const ScoringParams& params);

// How each kind of mark looks, wherever evidence is shown: a background colour or an
// underline colour (#rrggbb; null for none), bold or not, its legend text, and for the long
// stretches the symbol that starts each of them on pages and sheets (UTF-8; empty for none).
// The stylesheet gives each kind its own line style as well, so that they differ in black and
// white too.
struct MarkStyle {
    char kind;
    const char* background;
    const char* underline;
    bool bold;
    const char* legend;
    const char* symbol;
};
inline constexpr MarkStyle kMarkStyles[] = {
    {'s', "#ffe3a8", nullptr, false, "指摘された文", "◆"},
    {'p', nullptr, "#e07b00", false, "指摘された句", "▲"},
    {'w', nullptr, "#d33", true, "指摘された語", ""},
    {'n', nullptr, "#4a7fd0", false, "読みの長い漢語", ""},
    {'g', "#c9efc4", nullptr, false, "きっかけ語・指示語・設問文と共通の語", ""},
};

// The answer's evidence text as HTML with its marks: each piece of text under marks is a
// <mark> with the kinds as classes, the titles of its marks (one per line) and the positions
// of their comments (data-c, blank-separated); a piece where a mark begins names that mark's
// kind in data-start.
std::string MarkedTextHtml(const EssayEvidence& evidence, const std::vector<EvidenceMark>& marks);

// How many answers received each comment: a comment given twice to one answer counts once.
// Most frequent first, then in the order of the comment table.
struct CommentCount {
    int index = 0;
    int commentClass = 0;
    std::string text;  // Shift_JIS
    size_t answers = 0;
};
std::vector<CommentCount> CountComments(const std::vector<EssayRecord>& answers);
// A mark, a full mark or a note's number as the teacher typed it: no trailing zeros ("%g").
std::string MarkText(double v);
// A comment's key in the pages ("index:class"), as the rows of the table of answers list them.
std::string CommentKey(int index, int commentClass);
// The counts as an accessible chart (UTF-8 HTML): a table of the comments with their numbers
// of answers, drawn bars and, per comment, a button that filters the table of answers.
std::string CommentCountsHtml(const std::vector<CommentCount>& counts, size_t answers);

// The run of a document: its question (read again for its text), parameters and answers.
ReportRun ReportRunOf(const CTaviDoc& doc);

// The run as one self-contained UTF-8 HTML page (inline styles, SVG charts and script; nothing
// fetched): the question and parameters, statistics of the scored answers, a histogram of the
// totals, the distribution of each axis, the length penalty against length, a table of all
// answers sortable by any column, and per answer its scores, comments and text with the
// evidence of each comment highlighted (its title names the comment). In print every answer
// starts on a new page.
std::string FormatReport(const ReportRun& run);

// Parts of the report for pages that show them elsewhere (UTF-8 HTML fragments): the question,
// parameters, statistics, charts and the sortable table of answers, each answer's name
// linking to `answerHref` followed by its number; one answer with its scores, comments and
// marked text; the legend of the marks.
std::string ReportSummaryHtml(const ReportRun& run, const std::string& answerHref);
std::string ReportAnswerHtml(const EssayRecord& record, const ScoringParams& params);
extern const std::string kEvidenceLegend;

// One answer on the scatter plot of agreement: the teacher's mark against Tavi's total scaled
// to the full mark, named (UTF-8) for its tooltip and linked to `answerHref` and its number.
struct AgreementPoint {
    int number;
    std::string name;
    double mark, tavi;
};
// The scatter plot (SVG) of the points on the scale 0 to `fullMark` on both axes, with the
// diagonal where the two agree.
std::string AgreementScatter(const std::vector<AgreementPoint>& points, double fullMark, const std::string& answerHref);
// Feedback sheets, one per student, to hand back: the student's name, the question, the answer
// with its evidence marked and a legend that reads in black and white, Tavi's scores and
// comments with their details, and the teacher's mark (out of the full mark) and note.
struct SheetRun {
    std::string questionText;  // Shift_JIS, as read
    ScoringParams params;
    double fullMark = 10;
};
struct SheetAnswer {
    EssayRecord record;  // with its evidence, for the marks
    std::string name;    // the student's name (UTF-8)
    std::optional<double> mark;
    std::string note;  // UTF-8
};
// One sheet (UTF-8 HTML, a <section class="sheet">) that names no one but its student; in
// print it fills its own A4 pages.
std::string FeedbackSheetHtml(const SheetRun& run, const SheetAnswer& answer);
// Every sheet of a job in one self-contained UTF-8 HTML document (its style and script inside),
// a page break after each student; `title` (UTF-8) names the job on screen only. Opened with
// "#print" in its address, it prints itself.
std::string FormatFeedbackSheets(const SheetRun& run, const std::vector<SheetAnswer>& answers,
                                 const std::string& title);

// UTF-8 text with &, <, >, " and ' escaped for HTML.
std::string HtmlEscape(std::string_view utf8);

}  // namespace tavi
