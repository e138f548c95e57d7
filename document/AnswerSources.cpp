#include "document/AnswerSources.h"

#include <csv.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "analysis/Encoding.h"
#include "analysis/FileIo.h"
#include "analysis/OfficePart.h"

namespace fs = std::filesystem;

namespace tavi {
namespace {

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

bool HasAnswer(const std::vector<std::string>& row, size_t textColumn) {
    return textColumn < row.size() && !IsBlankCell(row[textColumn]);
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

std::string TooLarge();

bool ReadCsv(std::string_view input, Sheet& sheet, std::string& cause) {
    if (input.size() > kMaxSheetBytes) {
        cause = TooLarge();
        return false;
    }
    std::string bytes(input);
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
    if (!parsed)
        cause = "CSV として読めません（" + std::to_string(sheet.rows.size() + 1) +
                " 行目: " + csv_strerror(csv_error(&parser)) + "）。表計算ソフトで CSV として保存し直してください。";
    csv_free(&parser);
    return parsed;
}

// --- Excel workbooks (.xlsx): the first worksheet of xl/workbook.xml, found through its
// relationships, with the shared strings. ---

constexpr const char* kDamagedWorkbook = "Excel のブック（.xlsx）として読めません";

std::string TooLarge() {
    return "表が大きすぎます（展開すると " + std::to_string(kMaxSheetBytes >> 20) + " MB または " +
           std::to_string(kMaxSheetCells) + " セルを超えるか、圧縮率が " +
           std::to_string(static_cast<int>(kMaxSheetZipRatio)) + " 倍を超えます）。表を分けてください。";
}

// Unpacks and parses one part of the workbook; false with `cause`.
bool LoadPart(std::string_view xlsx, const std::string& partName, pugi::xml_document& xml, std::string& cause) {
    std::string bytes, detail;
    switch (ReadZipPart(xlsx, partName.c_str(), kMaxSheetBytes, bytes, detail, kMaxSheetZipRatio)) {
        case ZipPartStatus::kRead:
            break;
        case ZipPartStatus::kMissing:
            cause = std::string(kDamagedWorkbook) + "（" + partName + " がありません）。Excel で保存し直してください。";
            return false;
        case ZipPartStatus::kEncrypted:
            cause = "パスワードで保護されたブックは読めません。保護を外して保存し直してください。";
            return false;
        case ZipPartStatus::kTooLarge:
            cause = TooLarge();
            return false;
        case ZipPartStatus::kNotZip:
        case ZipPartStatus::kDamaged:
            cause = std::string(kDamagedWorkbook) + "（" + detail + "）。Excel で保存し直してください。";
            return false;
    }
    pugi::xml_parse_result parsed =
        xml.load_buffer(bytes.data(), bytes.size(), pugi::parse_default | pugi::parse_ws_pcdata_single);
    if (!parsed) {
        cause = std::string(kDamagedWorkbook) + "（" + partName + ": " + parsed.description() +
                "）。Excel で保存し直してください。";
        return false;
    }
    return true;
}

// The attribute of an element by its local name ("r:id" is "id").
std::string_view Attribute(const pugi::xml_node& node, std::string_view local) {
    for (pugi::xml_attribute a : node.attributes()) {
        std::string_view name = a.name();
        size_t colon = name.find(':');
        if ((colon == std::string_view::npos ? name : name.substr(colon + 1)) == local) return a.value();
    }
    return {};
}

// The part that a relationship's target names, from the folder of the part that has it.
std::string PartPath(std::string_view folder, std::string_view target) {
    if (target.starts_with('/')) return std::string(target.substr(1));
    std::string path = fs::path(std::string(folder) + "/" + std::string(target)).lexically_normal().generic_string();
    return path;
}

// The parts that the workbook's relationships name, by their id and by their type's last word.
struct Relationships {
    std::vector<std::pair<std::string, std::string>> byId, byType;
};

Relationships ReadRelationships(const pugi::xml_document& rels) {
    Relationships found;
    for (pugi::xml_node r : XmlChild(rels, "Relationships").children()) {
        if (XmlLocalName(r) != "Relationship") continue;
        std::string target = PartPath("xl", Attribute(r, "Target"));
        std::string_view type = Attribute(r, "Type");
        found.byId.emplace_back(std::string(Attribute(r, "Id")), target);
        found.byType.emplace_back(std::string(type.substr(type.rfind('/') + 1)), target);
    }
    return found;
}

std::string Find(const std::vector<std::pair<std::string, std::string>>& pairs, std::string_view key) {
    for (const auto& [k, v] : pairs)
        if (k == key) return v;
    return {};
}

// Text that Excel escapes as _xHHHH_ (control characters such as a carriage return) unescaped.
std::string Unescaped(std::string text) {
    auto hex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
    for (size_t at = text.find("_x"); at != std::string::npos; at = text.find("_x", at + 1)) {
        if (at + 7 > text.size() || text[at + 6] != '_' ||
            !std::all_of(text.begin() + at + 2, text.begin() + at + 6, hex))
            continue;
        unsigned code = std::stoul(text.substr(at + 2, 4), nullptr, 16);
        std::string utf8;
        if (code < 0x80) {
            utf8 = static_cast<char>(code);
        } else if (code < 0x800) {
            utf8 = {static_cast<char>(0xC0 | (code >> 6)), static_cast<char>(0x80 | (code & 0x3F))};
        } else {
            utf8 = {static_cast<char>(0xE0 | (code >> 12)), static_cast<char>(0x80 | ((code >> 6) & 0x3F)),
                    static_cast<char>(0x80 | (code & 0x3F))};
        }
        text.replace(at, 7, utf8);
    }
    return text;
}

// The text of a string item (<si> or <is>): its <t> and the <t> of its runs, without the
// phonetic readings (<rPh>) that Japanese Excel adds.
std::string StringItemText(const pugi::xml_node& item) {
    std::string text;
    for (pugi::xml_node part : item.children()) {
        std::string_view name = XmlLocalName(part);
        if (name == "t") text += part.child_value();
        if (name == "r") text += XmlChild(part, "t").child_value();
    }
    return Unescaped(std::move(text));
}

#ifndef __cpp_lib_to_chars
// A standard library without floating-point <charconv> (emscripten's): the whole text as
// from_chars reads it (no blanks, plus sign or hexadecimal), through strtod.
bool ReadNumber(std::string_view text, double& value) {
    std::string_view digits = text.substr(text.starts_with('-') ? 1 : 0);
    if (digits.empty() ||
        !(std::isdigit(static_cast<unsigned char>(digits[0])) || digits[0] == '.' ||
          std::isalpha(static_cast<unsigned char>(digits[0]))) ||
        digits.starts_with("0x") || digits.starts_with("0X"))
        return false;
    std::string whole(text);
    char* end = nullptr;
    errno = 0;
    value = std::strtod(whole.c_str(), &end);
    return end == whole.c_str() + whole.size() && errno != ERANGE;
}

// The shortest text that reads back as `value`, as to_chars writes it: the fewest significant
// digits, in fixed notation (a whole number with all its digits) unless the exponent form is
// shorter.
std::string ShortestNumber(double value) {
    if (std::isnan(value)) return std::signbit(value) ? "-nan" : "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    char text[40];
    for (int digits = 1; digits <= 17; ++digits)
        if (std::snprintf(text, sizeof text, "%.*e", digits - 1, value) > 0 && std::strtod(text, nullptr) == value)
            break;
    std::string_view scientific(text);
    std::string sign = scientific.starts_with('-') ? "-" : "";
    scientific.remove_prefix(sign.size());
    const size_t e = scientific.find('e');
    const int exponent = std::atoi(std::string(scientific.substr(e + 1)).c_str());
    std::string mantissa(scientific.substr(0, e));
    if (mantissa.size() > 1) mantissa.erase(1, 1);  // the decimal point
    std::string fixed;
    if (exponent < 0) {
        fixed = "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + mantissa;
    } else if (mantissa.size() <= static_cast<size_t>(exponent) + 1) {
        // A whole number with its exact digits, as to_chars writes it ("123456789012345683968").
        char whole[400];
        std::snprintf(whole, sizeof whole, "%.0f", std::fabs(value));
        fixed = whole;
    } else {
        fixed = mantissa.substr(0, exponent + 1) + "." + mantissa.substr(exponent + 1);
    }
    return sign + (fixed.size() <= scientific.size() ? fixed : std::string(scientific));
}
#endif

// A number as Excel stores it ("2.2999999999999998") in its shortest form ("2.3").
std::string NumberText(std::string_view stored) {
    double value;
#ifdef __cpp_lib_to_chars
    auto [end, ec] = std::from_chars(stored.data(), stored.data() + stored.size(), value);
    if (ec != std::errc() || end != stored.data() + stored.size()) return std::string(stored);
    char buffer[32];
    auto [out, ec2] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return ec2 == std::errc() ? std::string(buffer, out) : std::string(stored);
#else
    return ReadNumber(stored, value) ? ShortestNumber(value) : std::string(stored);
#endif
}

// The column (from 0) and row (from 0) of a cell reference such as "C12"; false when malformed.
bool CellPosition(std::string_view ref, size_t& column, size_t& row) {
    size_t i = 0, c = 0, r = 0;
    for (; i < ref.size() && ref[i] >= 'A' && ref[i] <= 'Z' && c <= 16384; ++i) c = c * 26 + (ref[i] - 'A' + 1);
    size_t digits = i;
    for (; i < ref.size() && ref[i] >= '0' && ref[i] <= '9' && r <= 1048576; ++i) r = r * 10 + (ref[i] - '0');
    if (digits == 0 || i == digits || i != ref.size() || c > 16384 || r == 0 || r > 1048576) return false;
    column = c - 1;
    row = r - 1;
    return true;
}

bool ReadWorkbook(std::string_view xlsx, Sheet& sheet, std::string& cause) {
    pugi::xml_document workbook, rels, strings, worksheet;
    if (!LoadPart(xlsx, "xl/workbook.xml", workbook, cause) ||
        !LoadPart(xlsx, "xl/_rels/workbook.xml.rels", rels, cause))
        return false;
    Relationships relationships = ReadRelationships(rels);
    pugi::xml_node first = XmlChild(XmlChild(XmlChild(workbook, "workbook"), "sheets"), "sheet");
    std::string sheetPart = Find(relationships.byId, Attribute(first, "id"));
    if (sheetPart.empty()) {
        cause = std::string(kDamagedWorkbook) + "（ワークシートがありません）。Excel で保存し直してください。";
        return false;
    }
    std::vector<std::string> shared;
    if (std::string stringsPart = Find(relationships.byType, "sharedStrings"); !stringsPart.empty()) {
        if (!LoadPart(xlsx, stringsPart, strings, cause)) return false;
        for (pugi::xml_node si : XmlChild(strings, "sst").children())
            if (XmlLocalName(si) == "si") shared.push_back(StringItemText(si));
    }
    if (!LoadPart(xlsx, sheetPart, worksheet, cause)) return false;
    size_t cells = 0, nextRow = 0;
    for (pugi::xml_node row : XmlChild(XmlChild(worksheet, "worksheet"), "sheetData").children()) {
        if (XmlLocalName(row) != "row") continue;
        // Rows and cells without a reference follow the one before.
        size_t rowIndex = nextRow, column = 0;
        if (std::string_view r = Attribute(row, "r"); !r.empty()) {
            size_t at;
            if (!CellPosition("A" + std::string(r), at, rowIndex) || rowIndex < nextRow) {
                cause = std::string(kDamagedWorkbook) + "（行番号「" + std::string(r) +
                        "」）。Excel で保存し直してください。";
                return false;
            }
        }
        cells += rowIndex + 1 - sheet.rows.size();
        if (cells > kMaxSheetCells) {
            cause = TooLarge();
            return false;
        }
        sheet.rows.resize(rowIndex + 1);
        std::vector<std::string>& cellsOfRow = sheet.rows.back();
        nextRow = rowIndex + 1;
        for (pugi::xml_node c : row.children()) {
            if (XmlLocalName(c) != "c") continue;
            if (std::string_view ref = Attribute(c, "r"); !ref.empty()) {
                size_t refRow;
                if (!CellPosition(ref, column, refRow) || refRow != rowIndex || column < cellsOfRow.size()) {
                    cause = std::string(kDamagedWorkbook) + "（セル「" + std::string(ref) +
                            "」）。Excel で保存し直してください。";
                    return false;
                }
            }
            std::string_view type = Attribute(c, "t");
            std::string_view value = XmlChild(c, "v").child_value();
            std::string text;
            if (type == "s") {
                size_t index = 0;
                auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), index);
                if (ec != std::errc() || end != value.data() + value.size() || index >= shared.size()) {
                    cause = std::string(kDamagedWorkbook) + "（共有文字列「" + std::string(value) +
                            "」がありません）。Excel で保存し直してください。";
                    return false;
                }
                text = shared[index];
            } else if (type == "inlineStr") {
                text = StringItemText(XmlChild(c, "is"));
            } else if (type == "b") {
                text = value == "1" ? "TRUE" : "FALSE";
            } else if (type == "str" || type == "e") {
                text = Unescaped(std::string(value));
            } else {
                text = NumberText(value);
            }
            cells += column + 1 - cellsOfRow.size();
            if (cells > kMaxSheetCells) {
                cause = TooLarge();
                return false;
            }
            cellsOfRow.resize(column + 1);
            cellsOfRow[column] = std::move(text);
            ++column;
        }
    }
    return true;
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
        if ((extension == ".txt" || extension == ".docx" || IsSheetFile(entry.path().string())) &&
            !entry.is_directory())
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

bool IsBlankCell(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 3, "\u3000") == 0) {
            i += 2;
        } else if (!std::isspace(static_cast<unsigned char>(text[i]))) {
            return false;
        }
    }
    return true;
}

bool IsSheetFile(const std::string& nativePath) {
    std::string extension = Extension(nativePath);
    return extension == ".csv" || extension == ".xlsx";
}

bool ReadSheet(const std::string& nativePath, Sheet& sheet, std::string& error) {
    sheet.rows.clear();
    std::string bytes;
    if (!ReadRegularFile(nativePath, bytes, error, kMaxSheetBytes)) return false;
    return ReadSheetBytes(bytes, nativePath, sheet, error);
}

bool ReadSheetBytes(std::string_view bytes, const std::string& name, Sheet& sheet, std::string& error) {
    sheet.rows.clear();
    std::string cause;
    bool read = Extension(name) == ".xlsx" || bytes.starts_with(std::string_view("PK\x03\x04", 4))
                    ? ReadWorkbook(bytes, sheet, cause)
                    : ReadCsv(bytes, sheet, cause);
    if (read &&
        (sheet.rows.empty() || std::all_of(sheet.rows.front().begin(), sheet.rows.front().end(), IsBlankCell))) {
        cause = "表が空です（1 行目に見出しがありません）。見出しの行がある表を選んでください。";
        read = false;
    }
    if (!read) {
        sheet.rows.clear();
        error = name + ": " + cause;
    }
    return read;
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

SheetColumns ProposeSheetColumns(const Sheet& sheet) {
    SheetColumns proposed;
    if (sheet.rows.empty()) return proposed;
    const std::vector<std::string>& header = sheet.rows.front();
    auto find = [&](std::initializer_list<std::string_view> words,
                    std::optional<size_t> besides) -> std::optional<size_t> {
        for (bool exact : {true, false})
            for (std::string_view word : words)
                for (size_t c = 0; c < header.size(); ++c)
                    if (c != besides && (exact ? header[c] == word : header[c].find(word) != std::string::npos))
                        return c;
        return std::nullopt;
    };
    proposed.text = find({"回答", "解答", "答案", "本文"}, std::nullopt).value_or(GuessAnswerColumn(sheet));
    proposed.name = find({"氏名", "名前"}, proposed.text);
    proposed.id = find({"出席番号", "学籍番号", "番号", "メールアドレス"}, proposed.text);
    return proposed;
}

std::string SheetAnswerFileName(size_t row, std::string_view studentName) {
    char number[24];
    std::snprintf(number, sizeof number, "%04zu", row);
    std::string name = number;
    if (std::string safe = SafeFileName(studentName); !safe.empty()) name += "_" + safe;
    return name + ".txt";
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
        std::string_view student = nameColumn && *nameColumn < row.size() ? row[*nameColumn] : std::string_view();
        std::string name = SheetAnswerFileName(r + 1, student);
        std::string file = folder + "/" + name;
        if (!WriteFileAtomically(file, row[textColumn], error)) return false;
        files.push_back(file);
    }
    return true;
}

}  // namespace tavi
