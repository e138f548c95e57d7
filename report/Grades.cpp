#include "report/Grades.h"

#include <cstdio>
#include <memory>
#include <sstream>
#include <string_view>

#include "report/Report.h"

namespace tavi {
namespace {

GradeCell Score(const std::optional<double>& v) {
    if (!v) return {};
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.3f", *v);
    return {buffer, true};
}

GradeCell Mark(const std::optional<double>& v) {
    if (!v) return {};
    return {MarkText(*v), true};
}

std::string Joined(const std::vector<std::string>& parts) {
    std::string out;
    for (const std::string& part : parts) {
        if (part.empty()) continue;
        if (!out.empty()) out += "／";
        out += part;
    }
    return out;
}

// A cell's line breaks as spreadsheets keep them: LF (XML turns a CR into one anyway).
GradeCell Text(const std::string& text) {
    std::string out;
    for (size_t k = 0; k < text.size(); ++k) {
        if (text[k] != '\r') {
            out += text[k];
        } else if (k + 1 >= text.size() || text[k + 1] != '\n') {
            out += '\n';
        }
    }
    return {out, false};
}

bool StartsLikeFormula(const std::string& text) {
    return !text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos;
}

bool NeedsQuotes(const std::string& text) { return text.find_first_of(",\"\r\n") != std::string::npos; }

}  // namespace

std::vector<std::vector<GradeCell>> GradeTable(const std::vector<GradeRow>& rows) {
    std::vector<std::vector<GradeCell>> table;
    table.push_back({});
    for (const char* title : {"番号", "氏名", "総合", "修辞", "論理", "内容", "教員の点数", "教員のメモ", "コメント"})
        table.back().push_back({title, false});
    for (const GradeRow& row : rows) {
        GradeCell id = row.studentId.empty() ? GradeCell{std::to_string(row.number), true} : Text(row.studentId);
        table.push_back({id, Text(row.name), Score(row.total), Score(row.rhetoric), Score(row.organization),
                         Score(row.content), Mark(row.mark), Text(row.note), Text(Joined(row.comments))});
    }
    return table;
}

std::string GradesCsv(const std::vector<GradeRow>& rows) {
    std::string out = "\xEF\xBB\xBF";
    for (const std::vector<GradeCell>& line : GradeTable(rows)) {
        for (size_t c = 0; c < line.size(); ++c) {
            if (c > 0) out += ',';
            // Text that a spreadsheet would take for a formula (a name "=HYPERLINK(...)" from a
            // form) starts with an apostrophe, which shows it as text.
            const std::string text = (!line[c].number && StartsLikeFormula(line[c].text) ? "'" : "") + line[c].text;
            if (!NeedsQuotes(text)) {
                out += text;
                continue;
            }
            out += '"';
            for (char ch : text) {
                if (ch == '"') out += '"';
                out += ch;
            }
            out += '"';
        }
        out += "\r\n";
    }
    return out;
}

}  // namespace tavi
