#pragma once

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "server/Store.h"

namespace tavi::serve {

// Limits on what one job may bring besides the request size.
struct UploadLimits {
    size_t maxAnswers = 65535;  // the document's own limit
    size_t maxZipEntries = 65535;
    size_t maxUnpackedBytes = size_t{1} << 30;  // all answers of a job, unpacked
    size_t maxFileBytes = size_t{16} << 20;     // one answer
    double maxZipRatio = 200;                   // unpacked to packed, per entry
};

// The answers of one job as its files are added: each is written, once checked, to
// `folder`/N.txt (N from 1 in order); one answer at a time (or one sheet) is held in memory.
struct UploadedAnswers {
    std::string folder;
    std::vector<NewAnswer> answers;  // in order
    std::set<std::string> seen;      // the files' names and the sheets' rows, to find one given twice
    size_t unpacked = 0;             // bytes of the answers so far
};

// The columns of the sheets that a form names (fields textColumn, nameColumn, idColumn: a
// header text or a number from 1). An absent field takes the column ProposeSheetColumns
// proposes; an empty name or id field takes none.
struct SheetChoice {
    std::optional<std::string> text, name, id;
};

// The largest sheet file read (a class's responses are far smaller).
constexpr size_t kMaxUploadedSheetBytes = size_t{64} << 20;

// True for an uploaded file's name that is a sheet (.csv, .xlsx).
bool IsSheetUpload(const std::string& name);

// The base name of an uploaded file's name: no folder, no "..". Empty when nothing usable
// is left.
std::string BaseName(const std::string& name);

// The cause of a refusal when one answer or question file of `size` bytes is over the limit.
std::string SizeProblem(const std::string& shownName, size_t size, const UploadLimits& limits);

// Adds the answers of one uploaded file whose bytes are in the file `path`: a .txt file as it
// is, a .docx its text, a .zip its .txt and .docx entries (folders and hidden files left out,
// each entry by its base name), a sheet (.csv, .xlsx) each row whose answer cell is not blank,
// named by the student's name and id from the columns of `choice`. Returns the cause of a
// refusal naming the file (a zip bomb, a damaged archive or sheet, a missing column, a file
// that is not text, a name given twice, too many answers, a file that cannot be written);
// empty when accepted.
std::string AddUpload(const std::string& uploadedName, const std::string& path, const UploadLimits& limits,
                      const SheetChoice& choice, UploadedAnswers& answers);

// True when `name` ends with `suffix` (lower case) in any case.
bool EndsWithNoCase(const std::string& name, const std::string& suffix);

// Why an uploaded file's name (after BaseName) cannot name an answer or question: empty, or
// holding a control character; empty when it can.
std::string NameProblem(const std::string& baseName);

}  // namespace tavi::serve
