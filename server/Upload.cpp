#include "server/Upload.h"

#include <zip.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>

#include "server/CoreAdapter.h"

namespace tavi::serve {
namespace {

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

// Reads up to `limit` + 1 bytes of a file (one beyond, to tell that it is over the limit).
bool ReadUpTo(const std::string& path, size_t limit, std::string& bytes) {
    std::error_code ec;
    uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec) return false;
    std::ifstream in(path, std::ios::binary);
    bytes.assign(static_cast<size_t>(std::min<uintmax_t>(size, limit + 1)), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return !in.bad();
}

// Checks one answer and writes it as the next numbered file. `key` tells answers apart: the
// file's name, or a sheet's name and row.
std::string AddAnswer(NewAnswer answer, const std::string& key, const std::string& bytes, const std::string& shownName,
                      const UploadLimits& limits, UploadedAnswers& answers) {
    if (std::string problem = NameProblem(answer.file); !problem.empty()) return shownName + ": " + problem;
    if (std::string problem = SizeProblem(shownName, bytes.size(), limits); !problem.empty()) return problem;
    if (!HasSjisForm(answer.file))
        return shownName + ": ファイル名に Shift_JIS で表せない文字があります。名前を変えてください。";
    if (std::string problem = TextProblem(bytes); !problem.empty()) return shownName + ": " + problem;
    if (answers.answers.size() >= limits.maxAnswers)
        return shownName + ": 1 つのジョブの回答文は " + std::to_string(limits.maxAnswers) +
               " 件までです。回答文を分けて、いくつかのジョブにしてください。";
    if (std::string problem = TotalProblem(shownName, answers.unpacked + bytes.size(), limits); !problem.empty())
        return problem;
    if (!answers.seen.insert(key).second)
        return shownName + ": 「" + key + "」という名前の回答文が 2 つあります。どちらかの名前を変えてください。";
    std::string path = answers.folder + "/" + std::to_string(answers.answers.size() + 1) + ".txt";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        return shownName +
               ": データフォルダーに書き込めません。ディスクに空きがあるか、管理者に確かめてもらってください。";
    answers.unpacked += bytes.size();
    answers.answers.push_back(std::move(answer));
    return {};
}

// An answer file by its name: a .docx gives its text.
std::string AddFile(const std::string& name, std::string bytes, const std::string& shownName, const std::string& source,
                    const UploadLimits& limits, UploadedAnswers& answers) {
    if (EndsWithNoCase(name, ".docx")) {
        std::string text;
        if (std::string problem = WordUploadText(bytes, text); !problem.empty()) return shownName + ": " + problem;
        bytes = std::move(text);
    }
    return AddAnswer({name, {}, name, source, 0}, name, bytes, shownName, limits, answers);
}

// The column of a sheet that a field names, or the proposed one when the field is absent (or,
// for the answers' column, empty); an empty field takes none when `mayBeNone`. The cause of a
// refusal, with `advice` on what to do, or empty.
std::string ChooseColumn(UploadedSheet& sheet, const std::optional<std::string>& field, std::optional<size_t> proposed,
                         bool mayBeNone, const std::string& shownName, const char* advice,
                         std::optional<size_t>& column) {
    column = proposed;
    if (!field || (field->empty() && !mayBeNone)) return {};
    column.reset();
    if (field->empty()) return {};
    column = UploadedSheetColumn(sheet, *field);
    if (column) return {};
    return shownName + ": 表の列「" + *field + "」が見つかりません。" + advice;
}

// The rows of a sheet with an answer, each named by the student's name (else the file name
// the desktop's import gives it) and id.
std::string AddSheet(const std::string& name, const std::string& path, const UploadLimits& limits,
                     const SheetChoice& choice, UploadedAnswers& answers) {
    std::string bytes;
    if (!ReadUpTo(path, kMaxUploadedSheetBytes, bytes))
        return name + ": 送られたファイルを読み戻せません。もう一度送ってください。";
    if (bytes.size() > kMaxUploadedSheetBytes)
        return name + ": 表のファイルが " + std::to_string(kMaxUploadedSheetBytes >> 20) +
               " MB を超えています。表を分けて送ってください。";
    UploadedSheet sheet;
    if (std::string problem = ReadUploadedSheet(bytes, name, sheet); !problem.empty()) return problem;
    bytes.clear();
    std::optional<size_t> text, student, id;
    if (std::string problem =
            ChooseColumn(sheet, choice.text, sheet.text, false, name, "回答の列を選んでください。", text);
        !problem.empty())
        return problem;
    if (std::string problem = ChooseColumn(sheet, choice.name, sheet.name, true, name,
                                           "氏名の列を選ぶか「なし」にしてください。", student);
        !problem.empty())
        return problem;
    if (std::string problem =
            ChooseColumn(sheet, choice.id, sheet.id, true, name, "番号の列を選ぶか「なし」にしてください。", id);
        !problem.empty())
        return problem;
    auto cell = [](const std::vector<std::string>& row, std::optional<size_t> column) {
        return column && *column < row.size() ? row[*column] : std::string();
    };
    size_t added = 0;
    for (size_t r = 1; r < sheet.rows.size(); ++r) {
        const std::vector<std::string>& row = sheet.rows[r];
        std::string answer = cell(row, text);
        if (BlankCell(answer)) continue;
        std::string studentName = cell(row, student), file = SheetRowFileName(r + 1, studentName);
        std::string shown = name + ": " + std::to_string(r + 1) + " 行目";
        NewAnswer a{studentName.empty() ? file : studentName, cell(row, id), file, name, static_cast<int>(r + 1)};
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

std::string ZipError(const std::string& zipName, zip_error_t* error) {
    // libzip's own text is English; the teacher is told what to do instead.
    (void)error;
    return zipName + ": zip ファイルとして読めません。壊れていないか確かめて、作り直してください。";
}

std::string AddZip(const std::string& zipName, const std::string& path, const UploadLimits& limits,
                   UploadedAnswers& answers) {
    int code = 0;
    std::unique_ptr<zip_t, decltype(&zip_discard)> archive(zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code),
                                                           &zip_discard);
    if (!archive) {
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        std::string message = ZipError(zipName, &error);
        zip_error_fini(&error);
        return message;
    }
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

std::string AddUpload(const std::string& uploadedName, const std::string& path, const UploadLimits& limits,
                      const SheetChoice& choice, UploadedAnswers& answers) {
    std::string name = BaseName(uploadedName);
    std::string shown = name.empty() ? uploadedName : name;
    if (EndsWithNoCase(name, ".zip")) return AddZip(name, path, limits, answers);
    if (IsSheetUpload(name)) return AddSheet(name, path, limits, choice, answers);
    if (!EndsWithNoCase(name, ".txt") && !EndsWithNoCase(name, ".docx"))
        return shown +
               ": .txt、.docx、.zip、.csv、.xlsx "
               "のどれでもありません。回答文はこれらの形式のファイルで送ってください。";
    std::string bytes;
    if (!ReadUpTo(path, limits.maxFileBytes, bytes))
        return shown + ": 送られたファイルを読み戻せません。もう一度送ってください。";
    return AddFile(name, std::move(bytes), name, name, limits, answers);
}

}  // namespace tavi::serve
