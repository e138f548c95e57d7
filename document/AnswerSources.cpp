#include "document/AnswerSources.h"

#ifndef TAVI_WEB
#include <csv.h>
#endif

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "analysis/Encoding.h"
#include "analysis/FileIo.h"

namespace fs = std::filesystem;

namespace tavi {
namespace {

constexpr size_t kMaxSheetBytes = size_t{256} << 20;
constexpr size_t kMaxNameChars = 40;

std::string Lowered(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string Extension(const std::string& path) { return Lowered(fs::path(path).extension().string()); }

// Sheet rows as libcsv delivers them, field by field.
struct SheetBuilder {
    Sheet& sheet;
    std::vector<std::string> row;

    static void Field(void* bytes, size_t size, void* self) {
        static_cast<SheetBuilder*>(self)->row.emplace_back(static_cast<const char*>(bytes), size);
    }
    static void RowEnd(int, void* self) {
        auto* builder = static_cast<SheetBuilder*>(self);
        builder->sheet.rows.push_back(std::move(builder->row));
        builder->row.clear();
    }
};

// Spaces around an unquoted field belong to it, as RFC 4180 has it.
int NoSpace(unsigned char) { return 0; }

bool Blank(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 3, "\u3000") == 0) {
            i += 2;
        } else if (!std::isspace(static_cast<unsigned char>(text[i]))) {
            return false;
        }
    }
    return true;
}

bool HasAnswer(const std::vector<std::string>& row, size_t textColumn) {
    return textColumn < row.size() && !Blank(row[textColumn]);
}

// A name for a file: characters that a file system or Shift_JIS cannot hold, and control
// characters, become "_"; no leading or trailing space or dot; at most kMaxNameChars characters.
std::string SafeFileName(std::string_view name) {
    std::string safe;
    size_t chars = 0;
    for (size_t i = 0; i < name.size() && chars < kMaxNameChars; ++chars) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        size_t length = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
        std::string_view character = name.substr(i, length);
        i += length;
        bool lossy = false;
        Utf8ToSjis(character, &lossy);
        safe += lossy || c < 0x20 || c == 0x7F ||
                        std::string_view("/\\:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos
                    ? std::string("_")
                    : std::string(character);
    }
    auto edge = [](char c) { return c == ' ' || c == '.'; };
    while (!safe.empty() && edge(safe.back())) safe.pop_back();
    size_t start = 0;
    while (start < safe.size() && edge(safe[start])) ++start;
    return safe.substr(start);
}

}  // namespace

bool AnswerFilesOf(const std::string& nativePath, std::vector<std::string>& files, std::string& error) {
    std::error_code ec;
    fs::path path = fs::absolute(nativePath, ec).lexically_normal();
    if (!fs::is_directory(path, ec)) {
        if (fs::exists(path, ec)) {
            files.push_back(path.string());
            return true;
        }
        error = nativePath + ": no such file or folder";
        return false;
    }
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(path, ec)) {
        std::string extension = Extension(entry.path().string());
        if ((extension == ".txt" || extension == ".docx" || extension == ".csv") && !entry.is_directory())
            found.push_back(entry.path().string());
    }
    if (ec) {
        error = nativePath + ": " + ec.message();
        return false;
    }
    std::sort(found.begin(), found.end());
    files.insert(files.end(), found.begin(), found.end());
    return true;
}

bool IsSheetFile(const std::string& nativePath) { return Extension(nativePath) == ".csv"; }

bool ReadSheet(const std::string& nativePath, Sheet& sheet, std::string& error) {
    sheet.rows.clear();
#ifdef TAVI_WEB
    // libcsv has no WebAssembly build here.
    error = nativePath + ": CSV の表はこの WebAssembly 版では読めません。回答文をテキスト (.txt) で渡してください";
    return false;
#else
    std::string bytes;
    if (!ReadRegularFile(nativePath, bytes, error, kMaxSheetBytes)) return false;
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        bytes.erase(0, 3);
    } else if (!IsValidUtf8(bytes)) {
        bytes = SjisToUtf8(bytes);
    }
    csv_parser parser;
    csv_init(&parser, CSV_STRICT | CSV_STRICT_FINI);
    csv_set_space_func(&parser, NoSpace);
    SheetBuilder builder{sheet, {}};
    bool parsed = csv_parse(&parser, bytes.data(), bytes.size(), SheetBuilder::Field, SheetBuilder::RowEnd, &builder) ==
                      bytes.size() &&
                  csv_fini(&parser, SheetBuilder::Field, SheetBuilder::RowEnd, &builder) == 0;
    if (!parsed) {
        error = nativePath + ": not a CSV file (" + csv_strerror(csv_error(&parser)) + " in row " +
                std::to_string(sheet.rows.size() + 1) + ")";
        sheet.rows.clear();
    } else if (sheet.rows.empty()) {
        error = nativePath + ": the sheet is empty";
        parsed = false;
    }
    csv_free(&parser);
    return parsed;
#endif
}

std::optional<size_t> FindSheetColumn(const Sheet& sheet, std::string_view name) {
    if (sheet.rows.empty()) return std::nullopt;
    const std::vector<std::string>& header = sheet.rows.front();
    for (size_t i = 0; i < header.size(); ++i)
        if (header[i] == name) return i;
    size_t number = 0;
    for (char c : name) {
        if (c < '0' || c > '9' || number > header.size()) return std::nullopt;
        number = number * 10 + static_cast<size_t>(c - '0');
    }
    if (name.empty() || number == 0 || number > header.size()) return std::nullopt;
    return number - 1;
}

size_t GuessAnswerColumn(const Sheet& sheet) {
    std::vector<size_t> bytes;
    for (size_t r = 1; r < sheet.rows.size(); ++r) {
        const std::vector<std::string>& row = sheet.rows[r];
        if (bytes.size() < row.size()) bytes.resize(row.size());
        for (size_t c = 0; c < row.size(); ++c) bytes[c] += row[c].size();
    }
    return static_cast<size_t>(std::max_element(bytes.begin(), bytes.end()) - bytes.begin());
}

size_t CountSheetAnswers(const Sheet& sheet, size_t textColumn) {
    size_t count = 0;
    for (size_t r = 1; r < sheet.rows.size(); ++r) count += HasAnswer(sheet.rows[r], textColumn);
    return count;
}

std::string SheetAnswerFolder(const std::string& sheetPath) {
    fs::path path(sheetPath);
    return (path.parent_path() / (path.stem().string() + "_answers")).string();
}

bool ImportSheet(const std::string& sheetPath, const Sheet& sheet, size_t textColumn, std::optional<size_t> nameColumn,
                 std::vector<std::string>& files, std::string& error) {
    const std::string folder = SheetAnswerFolder(sheetPath);
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        error = folder + ": cannot be created (" + ec.message() + ")";
        return false;
    }
    for (size_t r = 1; r < sheet.rows.size(); ++r) {
        const std::vector<std::string>& row = sheet.rows[r];
        if (!HasAnswer(row, textColumn)) continue;
        char number[24];
        std::snprintf(number, sizeof number, "%04zu", r + 1);
        std::string name = number;
        if (nameColumn && *nameColumn < row.size()) {
            std::string safe = SafeFileName(row[*nameColumn]);
            if (!safe.empty()) name += "_" + safe;
        }
        std::string file = folder + "/" + name + ".txt";
        if (!WriteFileAtomically(file, row[textColumn], error)) return false;
        files.push_back(file);
    }
    return true;
}

}  // namespace tavi
