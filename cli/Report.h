#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "document/CTaviDoc.h"
#include "evaluation/EssayRecord.h"
#include "evaluation/ScoringParams.h"

namespace tavi {

// What the report shows of one run. Strings are Shift_JIS.
struct ReportRun {
    std::string questionPath;
    std::string questionText;  // as read; empty when there is no question
    ScoringParams params;
    std::vector<EssayRecord> answers;
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
extern const char kEvidenceLegend[];

// UTF-8 text with &, <, >, " and ' escaped for HTML.
std::string HtmlEscape(std::string_view utf8);

}  // namespace tavi
