#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavi {

// Where answers come from besides single text files: folders and spreadsheets. Paths here are
// native (UTF-8).

// The answer files that a path yields, appended to `files`: a folder gives its *.txt, *.docx
// and *.csv files sorted by name (not its subfolders), anything else the path itself. False
// with `error` ("path: cause") when the path does not exist or the folder cannot be read.
bool AnswerFilesOf(const std::string& nativePath, std::vector<std::string>& files, std::string& error);

// True for a path named as a spreadsheet (*.csv), which is imported rather than read.
bool IsSheetFile(const std::string& nativePath);

// A spreadsheet: its rows of fields, UTF-8; the first row is the header.
struct Sheet {
    std::vector<std::vector<std::string>> rows;
};

// Reads a CSV file: UTF-8 with or without a byte-order mark, or else Shift_JIS; fields as RFC
// 4180 has them (quoted fields may hold commas, doubled quotes and line breaks, kept as they
// stand). False with `error` ("path: cause") when it cannot be read, is malformed or is empty.
bool ReadSheet(const std::string& nativePath, Sheet& sheet, std::string& error);

// The column (from 0) that `name` names: a header text, else a number from 1. None when
// neither fits.
std::optional<size_t> FindSheetColumn(const Sheet& sheet, std::string_view name);

// The column that holds the most text below the header: the likely answer column.
size_t GuessAnswerColumn(const Sheet& sheet);

// The rows below the header whose `textColumn` is not blank: the answers ImportSheet writes.
size_t CountSheetAnswers(const Sheet& sheet, size_t textColumn);

// The folder that the answers of a sheet go to: "<sheet name>_answers" beside the sheet.
std::string SheetAnswerFolder(const std::string& sheetPath);

// Writes the answer of each row below the header whose `textColumn` is not blank to
// SheetAnswerFolder/NNNN_<name>.txt (UTF-8, atomically; NNNN the row number in the sheet,
// the header being row 1; <name> the row's `nameColumn` made safe for a file name, or nothing
// with its "_"), replacing the file of an earlier import. `files` receives the paths in row
// order. False with `error` ("path: cause") when a file cannot be written; the files written
// before it are in `files`.
bool ImportSheet(const std::string& sheetPath, const Sheet& sheet, size_t textColumn, std::optional<size_t> nameColumn,
                 std::vector<std::string>& files, std::string& error);

}  // namespace tavi
