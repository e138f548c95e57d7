#include "report/AnswerUpload.h"

#include <zip.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>

#include "analysis/Encoding.h"
#include "analysis/WordDocument.h"
#include "document/AnswerSources.h"
#include "report/Job.h"

namespace tavi {
namespace {

using Json = nlohmann::json;

// A size for a teacher: whole megabytes (of 1,048,576 bytes) when it is at least one, else bytes.
std::string MegaBytes(size_t bytes) {
    if (bytes >= (size_t{1} << 20) && bytes % (size_t{1} << 20) == 0) return std::to_string(bytes >> 20) + " MB";
    if (bytes >= (size_t{1} << 20)) return std::to_string((bytes + (size_t{1} << 19)) >> 20) + " MB";
    return std::to_string(bytes) + " バイト";
}

// The cause of a refusal when `total` bytes of answers exceed the job's limit.
std::string TotalProblem(const std::string& shownName, size_t total, const UploadLimits& limits) {
    if (total <= limits.maxUnpackedBytes) return {};
    return shownName + ": 回答文の合計が、展開すると " + std::to_string(limits.maxUnpackedBytes >> 20) +
           " MB を超えます。回答文を分けて、いくつかのジョブにしてください。";
}

// Reads up to `limit` + 1 bytes of an uploaded file (one beyond, to tell that it is over the limit).
bool ReadUpTo(const UploadedFile& file, size_t limit, std::string& bytes) {
    if (file.path.empty()) {
        bytes.assign(file.bytes.substr(0, limit + 1));
        return true;
    }
    std::error_code ec;
    uintmax_t size = std::filesystem::file_size(file.path, ec);
    if (ec) return false;
    std::ifstream in(file.path, std::ios::binary);
    bytes.assign(static_cast<size_t>(std::min<uintmax_t>(size, limit + 1)), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return !in.bad();
}

// Checks one answer and keeps it as the next one. `key` tells answers apart: the file's name,
// or a sheet's name and row.
std::string AddAnswer(UploadedAnswer answer, const std::string& key, const std::string& bytes,
                      const std::string& shownName, const UploadLimits& limits, UploadedAnswers& answers) {
    if (std::string problem = NameProblem(answer.file); !problem.empty()) return shownName + ": " + problem;
    if (std::string problem = SizeProblem(shownName, bytes.size(), limits); !problem.empty()) return problem;
    std::string sjisName;
    if (!NativePathToSjis(answer.file, sjisName))
        return shownName + ": ファイル名に Shift_JIS で表せない文字があります。名前を変えてください。";
    if (std::string problem = TextProblem(bytes); !problem.empty()) return shownName + ": " + problem;
    if (answers.answers.size() >= limits.maxAnswers)
        return shownName + ": 1 つのジョブの回答文は " + std::to_string(limits.maxAnswers) +
               " 件までです。回答文を分けて、いくつかのジョブにしてください。";
    if (std::string problem = TotalProblem(shownName, answers.unpacked + bytes.size(), limits); !problem.empty())
        return problem;
    if (!answers.seen.insert(key).second)
        return shownName + ": 「" + key + "」という名前の回答文が 2 つあります。どちらかの名前を変えてください。";
    if (std::string problem = answers.keep(answers.answers.size() + 1, bytes); !problem.empty())
        return shownName + ": " + problem;
    answers.unpacked += bytes.size();
    answers.answers.push_back(std::move(answer));
    return {};
}

// An answer file by its name: a .docx gives its text.
std::string AddFile(const std::string& name, std::string bytes, const std::string& shownName, const std::string& source,
                    const UploadLimits& limits, UploadedAnswers& answers) {
    if (EndsWithNoCase(name, ".docx")) {
        std::string text, error;
        if (!ExtractWordText(bytes, text, error))
            return shownName + ": Word 文書（.docx）として読めません（" + error + "）。Word で保存し直してください。";
        bytes = std::move(text);
    }
    return AddAnswer({name, {}, name, source, 0}, name, bytes, shownName, limits, answers);
}

// Reads a sheet (.csv or .xlsx) from its bytes; the cause of a refusal ("name: ...") or empty.
std::string ReadUploadedSheet(std::string_view bytes, const std::string& name, Sheet& sheet) {
    std::string error;
    return ReadSheetBytes(bytes, name, sheet, error) ? std::string() : error;
}

// The column of a sheet that a field names, or the proposed one when the field is absent (or,
// for the answers' column, empty); an empty field takes none when `mayBeNone`. The cause of a
// refusal, with `advice` on what to do, or empty.
std::string ChooseColumn(const Sheet& sheet, const std::optional<std::string>& field, std::optional<size_t> proposed,
                         bool mayBeNone, const std::string& shownName, const char* advice,
                         std::optional<size_t>& column) {
    column = proposed;
    if (!field || (field->empty() && !mayBeNone)) return {};
    column.reset();
    if (field->empty()) return {};
    column = FindSheetColumn(sheet, *field);
    if (column) return {};
    return shownName + ": 表の列「" + *field + "」が見つかりません。" + advice;
}

// The rows of a sheet with an answer, each named by the student's name (else the file name
// the desktop's import gives it) and id.
std::string AddSheet(const UploadedFile& file, const std::string& name, const UploadLimits& limits,
                     const SheetChoice& choice, UploadedAnswers& answers) {
    std::string bytes;
    if (!ReadUpTo(file, kMaxUploadedSheetBytes, bytes))
        return name + ": 送られたファイルを読み戻せません。もう一度送ってください。";
    if (bytes.size() > kMaxUploadedSheetBytes) return SheetTooLarge(name);
    Sheet sheet;
    if (std::string problem = ReadUploadedSheet(bytes, name, sheet); !problem.empty()) return problem;
    bytes.clear();
    const SheetColumns proposed = ProposeSheetColumns(sheet);
    std::optional<size_t> text, student, id;
    if (std::string problem =
            ChooseColumn(sheet, choice.text, proposed.text, false, name, "回答の列を選んでください。", text);
        !problem.empty())
        return problem;
    if (std::string problem = ChooseColumn(sheet, choice.name, proposed.name, true, name,
                                           "氏名の列を選ぶか「なし」にしてください。", student);
        !problem.empty())
        return problem;
    if (std::string problem =
            ChooseColumn(sheet, choice.id, proposed.id, true, name, "番号の列を選ぶか「なし」にしてください。", id);
        !problem.empty())
        return problem;
    auto cell = [](const std::vector<std::string>& row, std::optional<size_t> column) {
        return column && *column < row.size() ? row[*column] : std::string();
    };
    size_t added = 0;
    for (size_t r = 1; r < sheet.rows.size(); ++r) {
        const std::vector<std::string>& row = sheet.rows[r];
        std::string answer = cell(row, text);
        if (IsBlankCell(answer)) continue;
        std::string studentName = cell(row, student), fileName = SheetAnswerFileName(r + 1, studentName);
        std::string shown = name + ": " + std::to_string(r + 1) + " 行目";
        UploadedAnswer a{studentName.empty() ? fileName : studentName, cell(row, id), fileName, name,
                         static_cast<int>(r + 1)};
        if (std::string problem =
                AddAnswer(std::move(a), name + "\n" + std::to_string(r + 1), answer, shown, limits, answers);
            !problem.empty())
            return problem;
        ++added;
    }
    if (added == 0)
        return name + ": 回答の列「" + (*text < sheet.rows.front().size() ? sheet.rows.front()[*text] : "") +
               "」に回答がありません。回答の列を選んでください。";
    return {};
}

// Opens an uploaded zip from its file or its bytes, its consistency checked; null when it is
// no zip archive that can be read.
zip_t* OpenZip(const UploadedFile& file) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = file.path.empty() ? zip_source_buffer_create(file.bytes.data(), file.bytes.size(), 0, &error)
                                             : zip_source_file_create(file.path.c_str(), 0, -1, &error);
    zip_t* archive = source ? zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error) : nullptr;
    if (!archive && source) zip_source_free(source);
    zip_error_fini(&error);
    return archive;
}

std::string AddZip(const UploadedFile& file, const std::string& zipName, const UploadLimits& limits,
                   UploadedAnswers& answers) {
    std::unique_ptr<zip_t, decltype(&zip_discard)> archive(OpenZip(file), &zip_discard);
    // libzip's own text is English; the teacher is told what to do instead.
    if (!archive) return zipName + ": zip ファイルとして読めません。壊れていないか確かめて、作り直してください。";
    zip_int64_t entries = zip_get_num_entries(archive.get(), 0);
    if (entries < 0 || static_cast<size_t>(entries) > limits.maxZipEntries)
        return zipName + ": zip ファイルの中身は " + std::to_string(limits.maxZipEntries) +
               " 個までです。いくつかの zip ファイルに分けてください。";
    for (zip_uint64_t k = 0; k < static_cast<zip_uint64_t>(entries); ++k) {
        zip_stat_t st;
        if (zip_stat_index(archive.get(), k, 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME))
            return zipName + ": " + std::to_string(k + 1) +
                   " 番目の中身が読めません。zip ファイルを作り直してください。";
        std::string entryName = st.name;
        std::string shown = zipName + ": " + entryName;
        std::string base = BaseName(entryName);
        // Folders, hidden files (such as the "._" companions some systems add) and files
        // other than .txt and .docx are not answers.
        if (entryName.empty() || entryName.back() == '/' || base.empty() || base[0] == '.' ||
            entryName.find("__MACOSX/") == 0 || !(EndsWithNoCase(base, ".txt") || EndsWithNoCase(base, ".docx")))
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
        if (!entry) return shown + ": 展開できません。zip ファイルを作り直してください。";
        std::string bytes;
        if (st.valid & ZIP_STAT_SIZE) bytes.reserve(static_cast<size_t>(st.size));
        char buffer[65536];
        for (zip_int64_t n; (n = zip_fread(entry.get(), buffer, sizeof buffer)) != 0;) {
            if (n < 0) return shown + ": 展開できません。zip ファイルを作り直してください。";
            bytes.append(buffer, static_cast<size_t>(n));
            if (std::string problem = sizeProblem(bytes.size()); !problem.empty()) return problem;
        }
        double packed = (st.valid & ZIP_STAT_COMP_SIZE) ? static_cast<double>(st.comp_size) : 0;
        if (bytes.size() > 4096 && bytes.size() > limits.maxZipRatio * std::max(packed, 1.0))
            return shown + ": " + std::to_string(static_cast<int>(limits.maxZipRatio)) +
                   " 分の 1 より小さく圧縮されているため、受け付けません（zip 爆弾のおそれがあります）。";
        if (std::string problem = AddFile(base, std::move(bytes), shown, zipName, limits, answers); !problem.empty())
            return problem;
    }
    return {};
}

// At most `chars` characters of UTF-8 text, "…" after a cut.
std::string Shortened(const std::string& text, size_t chars) {
    size_t at = 0;
    for (size_t n = 0; at < text.size() && n < chars; ++n) {
        unsigned char c = static_cast<unsigned char>(text[at]);
        at += c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
    }
    return at >= text.size() ? text : text.substr(0, at) + "…";
}

}  // namespace

std::string SizeProblem(const std::string& shownName, size_t size, const UploadLimits& limits) {
    if (size <= limits.maxFileBytes) return {};
    return shownName + ": ファイルが大きすぎます。1 つのファイルは " + MegaBytes(limits.maxFileBytes) + " までです。";
}

std::string BaseName(const std::string& name) {
    size_t cut = name.find_last_of("/\\");
    std::string base = cut == std::string::npos ? name : name.substr(cut + 1);
    if (base == "." || base == "..") return {};
    return base;
}

bool EndsWithNoCase(const std::string& name, const std::string& suffix) {
    return name.size() >= suffix.size() &&
           std::equal(suffix.rbegin(), suffix.rend(), name.rbegin(),
                      [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

std::string NameProblem(const std::string& baseName) {
    if (baseName.empty()) return "ファイル名がありません。名前を付けてください。";
    for (unsigned char c : baseName)
        if (c < 0x20 || c == 0x7f) return "ファイル名に制御文字があります。名前を変えてください。";
    return {};
}

bool IsSheetUpload(const std::string& name) { return EndsWithNoCase(name, ".csv") || EndsWithNoCase(name, ".xlsx"); }

std::string SheetTooLarge(const std::string& name) {
    return name + ": 表のファイルが " + std::to_string(kMaxUploadedSheetBytes >> 20) +
           " MB を超えています。表を分けて送ってください。";
}

std::string AddUpload(const UploadedFile& file, const UploadLimits& limits, const SheetChoice& choice,
                      UploadedAnswers& answers) {
    std::string name = BaseName(file.name);
    std::string shown = name.empty() ? file.name : name;
    if (EndsWithNoCase(name, ".zip")) return AddZip(file, name, limits, answers);
    if (IsSheetUpload(name)) return AddSheet(file, name, limits, choice, answers);
    if (!EndsWithNoCase(name, ".txt") && !EndsWithNoCase(name, ".docx"))
        return shown +
               ": .txt、.docx、.zip、.csv、.xlsx "
               "のどれでもありません。回答文はこれらの形式のファイルで送ってください。";
    std::string bytes;
    if (!ReadUpTo(file, limits.maxFileBytes, bytes))
        return shown + ": 送られたファイルを読み戻せません。もう一度送ってください。";
    return AddFile(name, std::move(bytes), name, name, limits, answers);
}

std::string SheetPreview(const std::string& name, std::string_view bytes, Json& preview) {
    if (!IsSheetUpload(name)) return name + ": 表（.csv または .xlsx）ではありません。表のファイルを選んでください。";
    if (bytes.size() > kMaxUploadedSheetBytes) return SheetTooLarge(name);
    Sheet sheet;
    if (std::string refused = ReadUploadedSheet(bytes, name, sheet); !refused.empty()) return refused;
    const SheetColumns proposed = ProposeSheetColumns(sheet);
    const std::vector<std::string>& header = sheet.rows.front();
    auto number = [](std::optional<size_t> column) { return column ? Json(*column + 1) : Json(nullptr); };
    Json answers = Json::array(), sample = Json::array();
    for (size_t c = 0; c < header.size(); ++c) {
        size_t count = 0;
        for (size_t r = 1; r < sheet.rows.size(); ++r)
            count += c < sheet.rows[r].size() && !IsBlankCell(sheet.rows[r][c]);
        answers.push_back(count);
    }
    for (size_t r = 1; r < sheet.rows.size() && r <= 3; ++r) {
        Json cells = Json::array();
        for (size_t c = 0; c < header.size(); ++c)
            cells.push_back(c < sheet.rows[r].size() ? Shortened(sheet.rows[r][c], 60) : std::string());
        sample.push_back(std::move(cells));
    }
    preview = {
        {"file", name},
        {"columns", header},
        {"proposed", {{"text", number(proposed.text)}, {"name", number(proposed.name)}, {"id", number(proposed.id)}}},
        {"rows", sheet.rows.size() - 1},
        {"answers", answers},
        {"sample", sample}};
    return {};
}

}  // namespace tavi
