#include "tools/CorpusInput.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <unordered_map>

#include "analysis/Encoding.h"
#include "analysis/FileIo.h"

namespace tavi {
namespace {

bool ListFolder(const std::string& folder, size_t input, std::vector<CorpusDocument>& documents, std::string& error) {
    std::vector<std::string> found;
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec);
    if (ec) {
        error = folder + ": cannot be listed (" + ec.message() + ")";
        return false;
    }
    for (const std::filesystem::directory_entry& entry : it) {
        const std::filesystem::path& path = entry.path();
        if (path.extension() == ".txt" && entry.is_regular_file(ec)) found.push_back(path.string());
    }
    if (found.empty()) {
        error = folder + ": holds no document (no regular file named *.txt)";
        return false;
    }
    std::sort(found.begin(), found.end());
    for (std::string& path : found) documents.push_back(CorpusDocument{std::move(path), 0, {}, {}, input});
    return true;
}

bool ListLines(const std::string& file, size_t input, std::vector<CorpusDocument>& documents, std::string& error) {
    std::string bytes;
    if (!ReadRegularFile(file, bytes, error)) return false;
    std::string_view rest(bytes);
    if (rest.substr(0, 3) == "\xEF\xBB\xBF") rest.remove_prefix(3);
    const bool utf8 = rest.size() != bytes.size() ||
                      (std::any_of(rest.begin(), rest.end(), [](char c) { return c & 0x80; }) && IsValidUtf8(rest));

    std::unordered_map<std::string, size_t> lineOfId;
    const size_t before = documents.size();
    for (size_t number = 1; !rest.empty(); ++number) {
        size_t end = std::min(rest.find('\n'), rest.size());
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        const std::string where = file + ":" + std::to_string(number) + ": ";
        size_t tab = line.find('\t');
        if (tab == std::string_view::npos) {
            error = where + "no tab between the id and the text (a line file holds \"id<TAB>text\" lines)";
            return false;
        }
        if (tab == 0) {
            error = where + "the id before the tab is empty";
            return false;
        }
        std::string id(line.substr(0, tab));
        auto [earlier, fresh] = lineOfId.try_emplace(id, number);
        if (!fresh) {
            error = where + "the id " + id + " is that of line " + std::to_string(earlier->second) + " too";
            return false;
        }
        std::string_view text = line.substr(tab + 1);
        documents.push_back(
            CorpusDocument{file, number, std::move(id), utf8 ? Utf8ToSjis(text) : std::string(text), input});
    }
    if (documents.size() == before) {
        error = file + ": holds no document (no \"id<TAB>text\" line)";
        return false;
    }
    return true;
}

}  // namespace

std::string CorpusDocument::Name() const {
    return line == 0 ? path : path + ":" + std::to_string(line) + " (id " + id + ")";
}

bool ListCorpusDocuments(const std::vector<CorpusInput>& inputs, std::vector<CorpusDocument>& documents,
                         std::string& error) {
    documents.clear();
    for (size_t i = 0; i < inputs.size(); ++i) {
        const std::string& path = inputs[i].path;
        std::error_code ec;
        bool listed = std::filesystem::is_directory(path, ec) ? ListFolder(path, i, documents, error)
                                                              : ListLines(path, i, documents, error);
        if (!listed) return false;
    }
    return true;
}

}  // namespace tavi
