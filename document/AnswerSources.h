#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavi {

// Where answers come from besides single text files: folders and spreadsheets. Paths here are
// native (UTF-8).

// The answer files that a path yields, appended to `files`: a folder gives its *.txt, *.docx,
// *.csv and *.xlsx files sorted by name (not its subfolders), anything else the path itself. False
// with `error` ("path: cause") when the path does not exist or the folder cannot be read.
bool AnswerFilesOf(const std::string& nativePath, std::vector<std::string>& files, std::string& error);

// True for a path named as a spreadsheet (*.csv, *.xlsx), which is imported rather than read.
bool IsSheetFile(const std::string& nativePath);

// A spreadsheet: its rows of fields, UTF-8; the first row is the header.
struct Sheet {
    std::vector<std::vector<std::string>> rows;
};

// Reads a sheet file (ReadSheetBytes on its bytes). False with `error` ("path: cause") when it
// cannot be read or is refused.
bool ReadSheet(const std::string& nativePath, Sheet& sheet, std::string& error);

// Reads a sheet from its bytes; `name` (a file name or path) is the start of every error.
// An Excel workbook (.xlsx, or any bytes of a zip archive) gives its first worksheet: shared
// and inline strings, numbers in their shortest form, booleans as TRUE and FALSE, each cell at
// its column (cells missing before it are empty), rows at their row number (missing rows
// empty). Anything else is CSV: UTF-8 with or without a byte-order mark, or else Shift_JIS;
// fields as RFC 4180 has them (quoted fields may hold commas, doubled quotes and line breaks,
// kept as they stand). False with `error` when the bytes are damaged, empty, or over the caps
// (kMaxSheetBytes of a CSV or of each part of a workbook unpacked, kMaxSheetCells cells).
bool ReadSheetBytes(std::string_view bytes, const std::string& name, Sheet& sheet, std::string& error);
constexpr size_t kMaxSheetBytes = size_t{256} << 20;
constexpr size_t kMaxSheetCells = size_t{1} << 22;
// Unpacked to packed, the most that a part of a workbook may be (more is taken for a zip bomb).
constexpr double kMaxSheetZipRatio = 200;

// The column (from 0) that `name` names: a header text, else a number from 1. None when
// neither fits.
std::optional<size_t> FindSheetColumn(const Sheet& sheet, std::string_view name);

// The column that holds the most text below the header: the likely answer column.
size_t GuessAnswerColumn(const Sheet& sheet);

// The columns a sheet's header suggests: the answers (a header holding 回答, 解答, 答案 or
// 本文, else GuessAnswerColumn), the student's name (氏名, 名前) and an id (出席番号, 学籍番号,
// 番号, メールアドレス). A header equal to a word wins over one that holds it, an earlier word
// over a later one, a column to the left over one to its right; the name and the id are
// never the answers' column.
struct SheetColumns {
    size_t text = 0;
    std::optional<size_t> name, id;
};
SheetColumns ProposeSheetColumns(const Sheet& sheet);

// True when a cell holds nothing but spaces (ideographic ones too) and line breaks.
bool IsBlankCell(std::string_view text);

// The rows below the header whose `textColumn` is not blank: the answers ImportSheet writes.
size_t CountSheetAnswers(const Sheet& sheet, size_t textColumn);

// The folder that the answers of a sheet go to: "<sheet name>_answers" beside the sheet.
std::string SheetAnswerFolder(const std::string& sheetPath);

// The file name of the answer in row `row` of a sheet (the header being row 1): NNNN_<name>.txt,
// NNNN the row number, <name> the student's name made safe for a file name, or NNNN.txt
// without a name.
std::string SheetAnswerFileName(size_t row, std::string_view studentName);

// Writes the answer of each row below the header whose `textColumn` is not blank to
// SheetAnswerFolder/SheetAnswerFileName (UTF-8, atomically; the name from `nameColumn`),
// replacing the file of an earlier import. `files` receives the paths in row
// order. False with `error` ("path: cause") when a file cannot be written; the files written
// before it are in `files`.
bool ImportSheet(const std::string& sheetPath, const Sheet& sheet, size_t textColumn, std::optional<size_t> nameColumn,
                 std::vector<std::string>& files, std::string& error);

}  // namespace tavi
