#pragma once

// The answers that uploaded files give (.txt, .docx, .zip, .csv, .xlsx), checked as a job takes
// them, and the preview of a sheet's columns: the same rules for the server, which keeps its
// uploads in files, and for the browser's engine, which has them in memory.

#include <cstddef>
#include <functional>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tavi {

// Limits on what one job may bring besides the request size.
struct UploadLimits {
    size_t maxAnswers = 65535;  // the document's own limit
    size_t maxZipEntries = 65535;
    size_t maxUnpackedBytes = size_t{1} << 30;  // all answers of a job, unpacked
    size_t maxFileBytes = size_t{16} << 20;     // one answer
    double maxZipRatio = 200;                   // unpacked to packed, per entry
};

// The columns of the sheets that a form names (fields textColumn, nameColumn, idColumn: a
// header text or a number from 1). An absent field takes the column ProposeSheetColumns
// proposes; an empty name or id field takes none.
struct SheetChoice {
    std::optional<std::string> text, name, id;
};

// The largest sheet file read (a class's responses are far smaller).
constexpr size_t kMaxUploadedSheetBytes = size_t{64} << 20;

// One answer taken from an upload (UTF-8).
struct UploadedAnswer {
    std::string name;       // as shown: the student's name, else the file's
    std::string studentId;  // from the sheet's id column; empty otherwise
    std::string file;       // the file's name; for a sheet's row the one the desktop's import gives
    std::string source;     // the uploaded file it came from (a sheet, a .zip or itself)
    int sheetRow = 0;       // its row in the sheet (the header being row 1); 0 when not from a sheet
};

// An uploaded file: its name as sent, and its bytes, kept in the file `path` or, when `path`
// is empty, in `bytes`.
struct UploadedFile {
    std::string name;
    std::string path;
    std::string_view bytes;
};

// The answers of one job as its files are added. `keep` stores the text of each accepted
// answer with its number (from 1, in order) and returns the cause of a failure (without a file
// name) or empty; only one answer at a time (or one sheet) is held in memory.
struct UploadedAnswers {
    std::function<std::string(size_t number, const std::string& bytes)> keep;
    std::vector<UploadedAnswer> answers;  // in order
    std::set<std::string> seen;           // the files' names and the sheets' rows, to find one given twice
    size_t unpacked = 0;                  // bytes of the answers so far
};

// Adds the answers of one uploaded file: a .txt file as it is, a .docx its text, a .zip its
// .txt and .docx entries (folders and hidden files left out, each entry by its base name), a
// sheet (.csv, .xlsx) each row whose answer cell is not blank, named by the student's name
// and id from the columns of `choice`. Returns the cause of a refusal naming the file (a zip
// bomb, a damaged archive or sheet, a missing column, a file that is not text, a name given
// twice, too many answers, a file that cannot be kept); empty when accepted.
std::string AddUpload(const UploadedFile& file, const UploadLimits& limits, const SheetChoice& choice,
                      UploadedAnswers& answers);

// What a form shows of a sheet before its columns are chosen: the file, its header
// ("columns"), the columns proposed (numbers from 1, or null), the count of rows below the
// header, of answers in each column, and the first three rows (cells cut to 60 characters).
// The cause of a refusal (not a sheet, too large, unreadable), or empty.
std::string SheetPreview(const std::string& name, std::string_view bytes, nlohmann::json& preview);

// The refusal of a sheet file over kMaxUploadedSheetBytes.
std::string SheetTooLarge(const std::string& name);

// True for an uploaded file's name that is a sheet (.csv, .xlsx).
bool IsSheetUpload(const std::string& name);

// The base name of an uploaded file's name: no folder, no "..". Empty when nothing usable
// is left.
std::string BaseName(const std::string& name);

// The cause of a refusal when one answer or question file of `size` bytes is over the limit.
std::string SizeProblem(const std::string& shownName, size_t size, const UploadLimits& limits);

// True when `name` ends with `suffix` (lower case) in any case.
bool EndsWithNoCase(const std::string& name, const std::string& suffix);

// Why an uploaded file's name (after BaseName) cannot name an answer or question: empty, or
// holding a control character; empty when it can.
std::string NameProblem(const std::string& baseName);

}  // namespace tavi
