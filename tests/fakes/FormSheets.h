#pragma once

#include <string>
#include <vector>

namespace tavi::test {

// The responses of a class as a form collects them (UTF-8): one row per student.
struct FormResponse {
    std::string time, id, name, answer;
};
// The header of those sheets: タイムスタンプ, 出席番号, 氏名 and the question's own text.
extern const std::vector<std::string> kFormHeader;

// Three responses made of the sample answers, with commas, doubled quotes and line breaks in
// the answers, a student without a name and a row without an answer (left out when imported).
std::vector<FormResponse> SampleResponses();

// The sheet as Google Forms exports it: UTF-8 with a byte-order mark, CR LF between rows, a
// field quoted when it holds a comma, a quote or a line break.
std::string FormCsv(const std::vector<FormResponse>& responses);

// The same rows as an Excel workbook (.xlsx) such as Microsoft Forms gives: texts as shared
// strings with phonetic readings, the ids as numbers, the last answer as an inline string, an
// empty cell left out.
std::string FormWorkbook(const std::vector<FormResponse>& responses);

// A zip archive of the given parts, deflated.
std::string ZipOf(const std::vector<std::pair<std::string, std::string>>& parts);

}  // namespace tavi::test
