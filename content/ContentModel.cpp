#include "content/ContentModel.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <vector>

#include "analysis/Encoding.h"
#include "analysis/FileIo.h"

namespace tavi {
namespace {

// Message formats (Shift_JIS, printf style).
const std::string& SettingsOpenFailedFormat() {
    static const std::string s = Sjis("内容評価用設定ファイル : \n %s \n を開けません。");
    return s;
}
const std::string& DictionaryOpenFailedFormat() {
    static const std::string s = Sjis("内容評価用単語辞書 : \n %s \n が開けません。");
    return s;
}
const std::string& MatrixOpenFailedFormat() {
    static const std::string s = Sjis("内容評価用逆行列データ : \n %s \n が開けません。\nエラーコード : %u");
    return s;
}
const std::string& RowMismatchFormat() {
    static const std::string s = Sjis("内容評価用逆行列データサイズ行数が辞書数と一致しません。\n em = %ld nrow = %ld");
    return s;
}
const std::string& ShortMatrixFormat() {
    static const std::string s = Sjis(
        "内容評価用逆行列データサイズが異なります\n(実際読まれた数 : 必要数 = %llu : %llu)。\n"
        "内容評価結果は予期せぬ結果を返します。");
    return s;
}
// A matrix file that cannot describe a model: the file and the cause are named, nothing is loaded.
const std::string& CorruptMatrixFormat() {
    static const std::string s = Sjis(
        "内容評価用逆行列データ : \n %s \n は壊れているため読み込めません。\n(%s)\n内容評価用データは変更されません。");
    return s;
}
const std::string& HeaderTooShortCause() {
    static const std::string s = Sjis("ファイルが 8 バイトより短く、次元数と行数を読めません");
    return s;
}
const std::string& BadCountsCauseFormat() {
    static const std::string s = Sjis("次元数 = %ld 行数 = %ld は不正な値です");
    return s;
}
const std::string& TooLargeCauseFormat() {
    static const std::string s = Sjis("次元数 = %ld 行数 = %ld のデータは大きすぎます");
    return s;
}
const std::string& BeyondFileCauseFormat() {
    static const std::string s =
        Sjis("必要なデータサイズ %llu バイトがファイルの大きさ %llu バイトを大きく超えています");
    return s;
}

// A file shorter than its header announces is still loaded (missing values read as 0) as long
// as the missing part is at most this many bytes or at most the part present; beyond that the
// header is taken as corrupt, so a damaged file never makes the model allocate far more
// memory than the file holds.
constexpr unsigned long long kShortFileSlackBytes = 1ULL << 20;
// The numeric module's limits: a row count of at most 4294967295 / 4, a column count of at most 4294967295 / 8.
constexpr long long kMaxRows = 4294967295LL / 4;
constexpr long long kMaxColumns = 4294967295LL / 8;

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<size_t>(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, args);
        text.resize(static_cast<size_t>(length));
    }
    va_end(args);
    return text;
}

// Takes the next line of `rest` without its LF or CR LF (a last line without LF keeps any CR);
// false when nothing is left.
bool TakeLine(std::string_view& rest, std::string_view& line) {
    if (rest.empty()) return false;
    size_t end = rest.find('\n');
    line = rest.substr(0, end);
    if (end == std::string_view::npos) {
        rest = {};
    } else {
        rest.remove_prefix(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    }
    return true;
}

// Reads a whole file named by a Shift_JIS path; false when it cannot be opened (a folder or
// anything else that is not a regular file cannot). A read error ends the text where it happened.
bool ReadModelFile(const std::string& sjisPath, std::string& text) {
    std::string error;
    return ReadRegularFile(SjisPathToNative(sjisPath), text, error) || !text.empty();
}

// ASCII letters to lower case; double-byte Shift_JIS characters are left alone.
std::string LowerCase(std::string_view text) {
    std::string result(text);
    for (size_t i = 0; i < result.size(); i += SjisCharLength(result, i))
        if (result[i] >= 'A' && result[i] <= 'Z') result[i] = static_cast<char>(result[i] - 'A' + 'a');
    return result;
}

// True when `part` occurs in `text` starting at a Shift_JIS character boundary.
bool ContainsAtBoundary(std::string_view text, std::string_view part) {
    for (size_t i = 0; i < text.size(); i += SjisCharLength(text, i))
        if (text.substr(i, part.size()) == part) return true;
    return false;
}

// Tokens of a settings line after its comment is removed and its ends are trimmed.
std::vector<std::string> SettingsTokens(std::string_view text) {
    std::string line(text);
    size_t comment = line.find_first_of("#%");
    if (comment != std::string::npos) line.erase(comment);
    std::vector<std::string> tokens;
    size_t pos = 0;
    while (true) {
        pos = line.find_first_not_of(" \t\r\n\v\f", pos);
        if (pos == std::string::npos) break;
        size_t end = line.find_first_of(" \t\r\n\v\f", pos);
        tokens.push_back(line.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
        pos = end;
    }
    return tokens;
}

int32_t LittleEndianInt32(const unsigned char* bytes) {
    uint32_t value = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                     static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    return static_cast<int32_t>(value);
}

double LittleEndianDouble(const unsigned char* bytes) {
    uint64_t value;
    std::memcpy(&value, bytes, sizeof value);
    if constexpr (std::endian::native == std::endian::big) value = __builtin_bswap64(value);
    double number;  // std::bit_cast, which emscripten's libc++ lacks
    std::memcpy(&number, &value, sizeof number);
    return number;
}

// Why a matrix header cannot be loaded from a file of `fileBytes` bytes (-1 when unknown),
// or empty when it can; sets `dataBytes` to the size of the area after the header.
std::string MatrixHeaderProblem(int32_t k, int32_t n, long long fileBytes, unsigned long long& dataBytes) {
    if (k < 1 || n < 0) return Format(BadCountsCauseFormat().c_str(), static_cast<long>(k), static_cast<long>(n));
    // k <= 2^29 and n + 1 <= 2^30 here, so 8 * k * (n + 1) fits in 62 bits.
    if (k > kMaxColumns || n > kMaxRows)
        return Format(TooLargeCauseFormat().c_str(), static_cast<long>(k), static_cast<long>(n));
    dataBytes = 8ULL * static_cast<unsigned long long>(k) * (static_cast<unsigned long long>(n) + 1);
    unsigned long long present = fileBytes > 8 ? static_cast<unsigned long long>(fileBytes) - 8 : 0;
    if (dataBytes > present && dataBytes - present > std::max(present, kShortFileSlackBytes))
        return Format(BeyondFileCauseFormat().c_str(), dataBytes,
                      fileBytes > 0 ? static_cast<unsigned long long>(fileBytes) : 0ULL);
    return {};
}

}  // namespace

ContentModel::~ContentModel() {
    free_matrix(termMatrix, 1, matrixRowCount, 1, dimensionCount);
    free_vector(scaleVector, 1, dimensionCount);
}

bool ContentModel::LoadSettings(const std::string& path) {
    std::string folder;
    std::string settingsPath;
    size_t slash = path.rfind('/');
    if (slash != std::string::npos) {
        settingsPath = path;
        folder = path.substr(0, slash + 1);
    } else {
        folder = DataFolderFor(path);
        settingsPath = folder + path;
    }

    std::string text;
    if (!ReadModelFile(settingsPath, text)) {
        Show(Format(SettingsOpenFailedFormat().c_str(), settingsPath.c_str()));
        dictionaryLoaded = false;
        matrixLoaded = false;
        return false;
    }
    std::string_view rest(text);
    for (std::string_view line; TakeLine(rest, line);) {
        std::vector<std::string> tokens = SettingsTokens(line);
        if (tokens.empty()) continue;
        std::string key = LowerCase(tokens[0]);
        // A missing name leaves the folder itself, which then fails to open with that file's message.
        size_t next = 1;
        auto takeName = [&]() { return next < tokens.size() ? tokens[next++] : std::string(); };
        if (ContainsAtBoundary(key, "dicfile")) {
            dictionaryPath = folder + takeName();
            dictionaryLoaded = LoadDictionary();
        }
        if (ContainsAtBoundary(key, "sivfile")) {
            matrixPath = folder + takeName();
            matrixLoaded = LoadMatrix();
        }
    }
    return dictionaryLoaded && matrixLoaded;
}

bool ContentModel::LoadDictionary() {
    // The whole file first, so that the index is made the right size once.
    std::string text;
    if (!ReadModelFile(dictionaryPath, text)) {
        Show(Format(DictionaryOpenFailedFormat().c_str(), dictionaryPath.c_str()));
        return false;
    }

    wordIndex.clear();
    wordIndex.Reserve(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    wordCount = 0;
    // Every line counts, empty ones included; a repeated word keeps its last index. A line
    // ends with LF or CR LF; a last line without LF keeps any CR.
    std::string_view rest(text);
    for (std::string_view line; wordCount < INT32_MAX && TakeLine(rest, line);) wordIndex.Set(line, ++wordCount);
    return true;
}

bool ContentModel::LoadMatrix() {
    // Read-only: installed models may not be writable, and nothing is written.
    std::FILE* file = OpenRegularFile(SjisPathToNative(matrixPath));
    if (!file) {
        unsigned code = static_cast<unsigned>(errno);
        Show(Format(MatrixOpenFailedFormat().c_str(), matrixPath.c_str(), code));
        return false;
    }
    auto refuse = [&](const std::string& cause) {
        std::fclose(file);
        Show(Format(CorruptMatrixFormat().c_str(), matrixPath.c_str(), cause.c_str()));
        return false;
    };

    struct stat info;
    long long fileBytes = ::fstat(::fileno(file), &info) == 0 && S_ISREG(info.st_mode) ? info.st_size : -1;
    unsigned char header[8];
    if (std::fread(header, 1, sizeof header, file) < sizeof header) return refuse(HeaderTooShortCause());
    int32_t k = LittleEndianInt32(header);
    int32_t n = LittleEndianInt32(header + 4);
    unsigned long long dataBytes = 0;
    std::string problem = MatrixHeaderProblem(k, n, fileBytes, dataBytes);
    if (!problem.empty()) return refuse(problem);

    if (n != wordCount) Show(Format(RowMismatchFormat().c_str(), static_cast<long>(k), static_cast<long>(n)));

    // Dimension after dimension: the value of word w in dimension d is double (d - 1) * N + (w - 1).
    // Read a few dimensions at a time, so that each row is written half a cache line at a
    // time, and the buffer stays small (fresh memory costs a page fault per 4 KiB) instead
    // of holding the whole file. Values beyond the end of a short file read as 0.
    constexpr long kColumnsPerBlock = 4;
    DMatrix rows = matrix(1, n, 1, k);
    DVector scale = vector(1, k);
    std::vector<unsigned char> block(static_cast<size_t>(n) * 8 * kColumnsPerBlock);
    unsigned long long bytesRead = 0;
    auto readValues = [&](size_t bytes) {
        if (bytes == 0) return;
        size_t got = std::fread(block.data(), 1, bytes, file);
        std::memset(block.data() + got, 0, bytes - got);
        bytesRead += got;
    };
    for (long first = 1; first <= k; first += kColumnsPerBlock) {
        const long columns = std::min(kColumnsPerBlock, k - first + 1);
        readValues(static_cast<size_t>(columns) * static_cast<size_t>(n) * 8);
        for (long w = 1; w <= n; ++w)
            for (long c = 0; c < columns; ++c)
                rows[w][first + c] = LittleEndianDouble(block.data() + (static_cast<size_t>(c) * n + (w - 1)) * 8);
    }
    if (block.size() < static_cast<size_t>(k) * 8) block.resize(static_cast<size_t>(k) * 8);
    readValues(static_cast<size_t>(k) * 8);
    for (long d = 1; d <= k; ++d) scale[d] = LittleEndianDouble(block.data() + (d - 1) * 8);
    std::fclose(file);
    if (bytesRead < dataBytes) Show(Format(ShortMatrixFormat().c_str(), bytesRead, dataBytes));

    free_matrix(termMatrix, 1, matrixRowCount, 1, dimensionCount);
    free_vector(scaleVector, 1, dimensionCount);
    dimensionCount = k;
    termMatrix = rows;
    matrixRowCount = n;
    scaleVector = scale;
    return true;
}

int32_t ContentModel::LookUp(std::string_view word) const { return wordIndex.Find(word); }

std::string DataFolderFor([[maybe_unused]] const std::string& file) {
#ifdef TAVI_WEB
    // A WebAssembly program has no executable file: its host names the models' folder.
    const char* given = std::getenv("TAVI_MODEL_FOLDER");
    if (!given || !*given) return {};  // the current folder
    std::string sjis;
    if (!NativePathToSjis((std::filesystem::path(given) / "").string(), sjis)) sjis = Utf8ToSjis(given);
    return sjis;
#else
    std::vector<char> buffer(4096);
    ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0 || static_cast<size_t>(length) >= buffer.size()) return {};  // the current folder
    std::filesystem::path exeFolder =
        std::filesystem::path(std::string(buffer.data(), static_cast<size_t>(length))).parent_path();

    struct stat info;
    std::filesystem::path folder = exeFolder / "";
    if (::stat((exeFolder / SjisPathToNative(file)).c_str(), &info) != 0)
        folder = (exeFolder / ".." / "share" / "tavi" / "").lexically_normal();

    std::string sjis;
    // A folder without a Shift_JIS form keeps a lossy one: opening then fails with a message that names it.
    if (!NativePathToSjis(folder.string(), sjis)) sjis = Utf8ToSjis(folder.string());
    return sjis;
#endif
}

}  // namespace tavi
