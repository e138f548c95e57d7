#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <vector>

namespace tavi::serve {

// One answer file of an upload: its base name (UTF-8) and bytes.
struct UploadedFile {
    std::string name;
    std::string bytes;
};

// Limits on what one job may bring besides the request size.
struct UploadLimits {
    size_t maxAnswers = 65535;  // the document's own limit
    size_t maxZipEntries = 65535;
    size_t maxUnpackedBytes = size_t{1} << 30;  // all answers of a job, unpacked
    size_t maxFileBytes = size_t{16} << 20;     // one answer
    double maxZipRatio = 200;                   // unpacked to packed, per entry
};

// The answers of one job as its files are added: the files in order, their names and the
// bytes so far.
struct UploadedAnswers {
    std::vector<UploadedFile> files;
    std::set<std::string> names;
    size_t unpacked = 0;
};

// The base name of an uploaded file's name: no folder, no "..". Empty when nothing usable
// is left.
std::string BaseName(const std::string& name);

// The cause of a refusal when one answer or question file of `size` bytes is over the limit.
std::string SizeProblem(const std::string& shownName, size_t size, const UploadLimits& limits);

// Adds the answers of one uploaded file: a .txt file as it is, a .zip its .txt entries
// (folders and hidden files left out, each entry by its base name). Returns the cause of a
// refusal naming the file (a zip bomb, a damaged archive, a file that is not text, a name
// given twice, too many answers); empty when accepted.
std::string AddUpload(const UploadedFile& file, const UploadLimits& limits, UploadedAnswers& answers);

}  // namespace tavi::serve
