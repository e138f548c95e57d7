#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <vector>

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
// `folder`/N.txt (N from 1 in order); one answer at a time is held in memory.
struct UploadedAnswers {
    std::string folder;
    std::vector<std::string> names;  // the answers' names (UTF-8) in order
    std::set<std::string> seen;      // the same names, to find one given twice
    size_t unpacked = 0;             // bytes of the answers so far
};

// The base name of an uploaded file's name: no folder, no "..". Empty when nothing usable
// is left.
std::string BaseName(const std::string& name);

// The cause of a refusal when one answer or question file of `size` bytes is over the limit.
std::string SizeProblem(const std::string& shownName, size_t size, const UploadLimits& limits);

// Adds the answers of one uploaded file whose bytes are in the file `path`: a .txt file as it
// is, a .zip its .txt entries (folders and hidden files left out, each entry by its base
// name). Returns the cause of a refusal naming the file (a zip bomb, a damaged archive, a file
// that is not text, a name given twice, too many answers, a file that cannot be written);
// empty when accepted.
std::string AddUpload(const std::string& uploadedName, const std::string& path, const UploadLimits& limits,
                      UploadedAnswers& answers);

// True when `name` ends with `suffix` (lower case) in any case.
bool EndsWithNoCase(const std::string& name, const std::string& suffix);

// Why an uploaded file's name (after BaseName) cannot name an answer or question: empty, or
// holding a control character; empty when it can.
std::string NameProblem(const std::string& baseName);

}  // namespace tavi::serve
