#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tavi {

// One answer as a gradebook takes it. Strings are UTF-8.
struct GradeRow {
    int number = 0;  // the answer's number in its job
    // The student's id as the answers' sheet gave it; empty while answers carry none. The
    // grades' 番号 column shows it, else the answer's number.
    std::string studentId;
    std::string name;
    // Tavi's scores; empty while the answer is unscored.
    std::optional<double> total, rhetoric, organization, content;
    std::optional<double> mark;  // the teacher's
    std::string note;            // the teacher's
    std::vector<std::string> comments;
};

// One cell of the grades: its text, and whether it is a number (a spreadsheet then takes it
// as one).
struct GradeCell {
    std::string text;
    bool number = false;
};

// The header and one line per row: 番号, 氏名, 総合, 修辞, 論理, 内容, 教員の点数, 教員のメモ,
// コメント (the comments joined by "／").
std::vector<std::vector<GradeCell>> GradeTable(const std::vector<GradeRow>& rows);

// The grades as CSV for Excel and Google Sheets: UTF-8 with a byte order mark, CR LF line ends,
// fields quoted where they hold a comma, a quote or a line break.
std::string GradesCsv(const std::vector<GradeRow>& rows);

// The grades as a workbook (.xlsx) of one sheet, 成績, with the same cells; empty when the
// archive cannot be made.
std::string GradesXlsx(const std::vector<GradeRow>& rows);

}  // namespace tavi
