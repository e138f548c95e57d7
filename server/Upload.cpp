#include "server/Upload.h"

#include <zip.h>

#include <algorithm>
#include <memory>
#include <set>

#include "server/CoreAdapter.h"

namespace tavi::serve {
namespace {

bool EndsWithNoCase(const std::string& name, const std::string& suffix) {
    return name.size() >= suffix.size() &&
           std::equal(suffix.rbegin(), suffix.rend(), name.rbegin(),
                      [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

// The cause of a refusal when `total` bytes of answers exceed the job's limit.
std::string TotalProblem(const std::string& shownName, size_t total, const UploadLimits& limits) {
    if (total <= limits.maxUnpackedBytes) return {};
    return shownName + ": the answers exceed " + std::to_string(limits.maxUnpackedBytes >> 20) + " MiB unpacked";
}

// Checks one answer and appends it.
std::string AddAnswer(UploadedFile file, const std::string& shownName, const UploadLimits& limits,
                      UploadedAnswers& answers) {
    if (file.name.empty()) return shownName + ": the file has no usable name";
    if (std::string problem = SizeProblem(shownName, file.bytes.size(), limits); !problem.empty()) return problem;
    if (!HasSjisForm(file.name)) return shownName + ": the name has no Shift_JIS form";
    if (std::string problem = TextProblem(file.bytes); !problem.empty()) return shownName + ": " + problem;
    if (answers.files.size() >= limits.maxAnswers)
        return shownName + ": more than " + std::to_string(limits.maxAnswers) + " answers in one job";
    if (std::string problem = TotalProblem(shownName, answers.unpacked + file.bytes.size(), limits); !problem.empty())
        return problem;
    if (!answers.names.insert(file.name).second) return shownName + ": a second answer named \"" + file.name + "\"";
    answers.unpacked += file.bytes.size();
    answers.files.push_back(std::move(file));
    return {};
}

std::string ZipError(const std::string& zipName, zip_error_t* error) {
    return zipName + ": not a readable zip archive (" + zip_error_strerror(error) + ")";
}

std::string AddZip(const UploadedFile& file, const UploadLimits& limits, UploadedAnswers& answers) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(file.bytes.data(), file.bytes.size(), 0, &error);
    if (!source) return ZipError(file.name, &error);
    std::unique_ptr<zip_t, decltype(&zip_discard)> archive(
        zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error), &zip_discard);
    if (!archive) {
        zip_source_free(source);
        std::string message = ZipError(file.name, &error);
        zip_error_fini(&error);
        return message;
    }
    zip_int64_t entries = zip_get_num_entries(archive.get(), 0);
    if (entries < 0 || static_cast<size_t>(entries) > limits.maxZipEntries)
        return file.name + ": more than " + std::to_string(limits.maxZipEntries) + " entries";
    for (zip_uint64_t k = 0; k < static_cast<zip_uint64_t>(entries); ++k) {
        zip_stat_t st;
        if (zip_stat_index(archive.get(), k, 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME))
            return file.name + ": entry " + std::to_string(k + 1) + " cannot be read";
        std::string entryName = st.name;
        std::string shown = file.name + ": " + entryName;
        std::string base = BaseName(entryName);
        // Folders, hidden files (such as the "._" companions some systems add) and files
        // other than .txt are not answers.
        if (entryName.back() == '/' || base.empty() || base[0] == '.' || entryName.find("__MACOSX/") == 0 ||
            !EndsWithNoCase(base, ".txt"))
            continue;
        // The sizes in the archive are only claims: the entry is read up to one byte beyond
        // the limits, and its ratio checked on what was really unpacked.
        auto sizeProblem = [&](size_t size) {
            if (std::string problem = SizeProblem(shown, size, limits); !problem.empty()) return problem;
            return TotalProblem(shown, answers.unpacked + size, limits);
        };
        if (st.valid & ZIP_STAT_SIZE)
            if (std::string problem = sizeProblem(st.size); !problem.empty()) return problem;
        std::unique_ptr<zip_file_t, decltype(&zip_fclose)> entry(zip_fopen_index(archive.get(), k, 0), &zip_fclose);
        if (!entry) return shown + ": cannot be unpacked (" + zip_strerror(archive.get()) + ")";
        std::string bytes;
        char buffer[65536];
        for (zip_int64_t n; (n = zip_fread(entry.get(), buffer, sizeof buffer)) != 0;) {
            if (n < 0) return shown + ": cannot be unpacked (" + zip_file_strerror(entry.get()) + ")";
            bytes.append(buffer, static_cast<size_t>(n));
            if (std::string problem = sizeProblem(bytes.size()); !problem.empty()) return problem;
        }
        double packed = (st.valid & ZIP_STAT_COMP_SIZE) ? static_cast<double>(st.comp_size) : 0;
        if (bytes.size() > 4096 && bytes.size() > limits.maxZipRatio * std::max(packed, 1.0))
            return shown + ": compressed more than " + std::to_string(static_cast<int>(limits.maxZipRatio)) +
                   " to 1, refused as a zip bomb";
        if (std::string problem = AddAnswer({base, std::move(bytes)}, shown, limits, answers); !problem.empty())
            return problem;
    }
    return {};
}

}  // namespace

std::string SizeProblem(const std::string& shownName, size_t size, const UploadLimits& limits) {
    if (size <= limits.maxFileBytes) return {};
    return shownName + ": larger than " + std::to_string(limits.maxFileBytes) + " bytes, the limit for one file";
}

std::string BaseName(const std::string& name) {
    size_t cut = name.find_last_of("/\\");
    std::string base = cut == std::string::npos ? name : name.substr(cut + 1);
    if (base == "." || base == "..") return {};
    return base;
}

std::string AddUpload(const UploadedFile& file, const UploadLimits& limits, UploadedAnswers& answers) {
    std::string name = BaseName(file.name);
    if (EndsWithNoCase(name, ".zip")) return AddZip({name, file.bytes}, limits, answers);
    if (!EndsWithNoCase(name, ".txt")) return (name.empty() ? file.name : name) + ": neither a .txt nor a .zip file";
    return AddAnswer({name, file.bytes}, name, limits, answers);
}

}  // namespace tavi::serve
