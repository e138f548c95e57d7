#include "analysis/AnalyzerBinding.h"

#include <dlfcn.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "analysis/Encoding.h"

#ifdef TAVI_WEB
// The browser build links ChaSen in; its library entries are called directly.
extern "C" char* chasen_fparse_tostr(void*);
extern "C" char* chasen_sparse_tostr(void*);
#endif

namespace tavi {
namespace {

// How long the start-up probe may take before the analyser counts as broken.
constexpr auto kProbeTimeout = std::chrono::seconds(60);

std::string LibraryNameFromEnvironment() {
    const char* name = std::getenv("TAVI_ANALYZER_LIBRARY");
    return name && *name ? name : AnalyzerBinding::kDefaultLibrary;
}

size_t Utf8Length(uint32_t cp) { return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4; }

// Weight of the character of `n` bytes at line[i] in a piece: its Shift_JIS bytes for a
// double-byte character the analyser reads as it is, else the UTF-8 bytes the analyser will see
// (3 for half-width kana, 4 for a carried character), so that a piece never takes more than 1.5
// UTF-8 bytes per unit of weight.
size_t PieceWeight(std::string_view line, size_t i, size_t n) {
    const uint32_t cp = NextAnalyzerChar(line, i).codePoint;
    return n == 2 && cp < kCarriedBase ? 2 : Utf8Length(cp);
}

// ChaSen's first analysis, of a short word: true when it comes back with an "EOS" line.
bool FirstAnalysisSucceeds(char* (*entry)(void*)) {
    char input[] = "\xe3\x83\x86\xe3\x82\xb9\xe3\x83\x88\n";  // テスト
    const char* result = entry(input);
    return result && std::strstr(result, "EOS");
}

// What ChaSen reads as katakana: ァ to ヶ (0x8340-0x8396, where 0x837F is no character) and
// the long-vowel mark ー (0x815B). `code` is a double-byte character's lead << 8 | trail.
bool IsKatakana(unsigned code) { return (code >= 0x8340 && code <= 0x8396 && code != 0x837F) || code == 0x815B; }

// 。 ． ？ ！
bool IsSentenceEnd(unsigned code) { return code == 0x8142 || code == 0x8144 || code == 0x8148 || code == 0x8149; }

// Appends `bytes` to `to` without their tabs.
void AppendWithoutTabs(std::string& to, std::string_view bytes) {
    for (size_t tab; (tab = bytes.find('\t')) != std::string_view::npos; bytes.remove_prefix(tab + 1))
        to.append(bytes.substr(0, tab));
    to.append(bytes);
}

// Turns the analyser's UTF-8 output for `input` (Shift_JIS; `utf8` is its SjisToAnalyzerUtf8
// form) back into Shift_JIS. Every surface becomes the bytes of `input` it was made from, so
// carried characters and code page 932's duplicate codes come back as they were read. Text of
// a line that the analyser left out of its output becomes an unknown-word row of its own;
// only tabs, which separate the output's fields, are left out. The "EOS" lines that end a
// piece rather than a line (dropEos, one entry per line handed over) are dropped.
std::string RestoreAnalysis(std::string_view output, std::string_view input, std::string_view utf8,
                            const std::vector<bool>& dropEos) {
    static const std::string unknownFields = "\t\t\t" + Sjis("未知語") + "\t\t\n";
    std::string out;
    out.reserve(output.size());
    size_t si = 0, ui = 0;  // the same place in `input` and in `utf8`
    // Moves both places on to utf8 offset `end`, appending the Shift_JIS bytes passed over
    // (tabs excepted) to `to`. A character's UTF-8 length shows in its first byte, and its
    // Shift_JIS length is the one NextAnalyzerChar gives, whatever code the pair has.
    auto advance = [&](size_t end, std::string& to) {
        const size_t from = si;
        while (ui < end && si < input.size()) {
            const auto c = static_cast<unsigned char>(utf8[ui]);
            ui += c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
            si += SjisCharLength(input, si) == 2 && input[si + 1] != '\n' && input[si + 1] != '\t' ? 2 : 1;
        }
        AppendWithoutTabs(to, input.substr(from, si - from));
    };
    // Text of the current line up to utf8 offset `end` that no surface covered.
    auto fillGap = [&](size_t end) {
        const size_t before = out.size();
        advance(end, out);
        if (out.size() > before) out += unknownFields;
    };
    auto endOfLine = [&] { return std::min(utf8.find('\n', ui), utf8.size()); };
    size_t lineEnd = endOfLine();  // of the input line that the output describes
    size_t eosSeen = 0;
    for (size_t pos = 0; pos < output.size();) {
        size_t end = output.find('\n', pos);
        size_t next = end == std::string_view::npos ? output.size() : end + 1;
        std::string_view line = output.substr(pos, next - pos);
        pos = next;
        if (line == "EOS\n" || line == "EOS") {
            fillGap(lineEnd);
            if (si < input.size()) ++si, ++ui;  // the line feed
            lineEnd = endOfLine();
            if (!(eosSeen < dropEos.size() && dropEos[eosSeen])) out += line;
            ++eosSeen;
            continue;
        }
        size_t tab = line.find('\t');
        std::string_view surface = line.substr(0, tab);
        // Almost always the surface starts where the last one ended; else it is searched for.
        const std::string_view lineText = utf8.substr(0, lineEnd);
        size_t at = ui <= lineEnd && lineText.substr(ui).starts_with(surface) ? ui : lineText.find(surface, ui);
        if (tab == std::string_view::npos || at == std::string_view::npos) {
            AppendUtf8AsSjis(out, line);  // not a morpheme of this line: kept as it came
            continue;
        }
        fillGap(at);
        advance(at + surface.size(), out);
        AppendUtf8AsSjis(out, line.substr(tab));
    }
    return out;
}

}  // namespace

AnalyzerBinding::AnalyzerBinding() : m_libraryName(LibraryNameFromEnvironment()) {}

AnalyzerBinding::AnalyzerBinding(std::string libraryName) : m_libraryName(std::move(libraryName)) {}

AnalyzerBinding::~AnalyzerBinding() { Unload(); }

bool AnalyzerBinding::IsLoaded() {
    std::lock_guard lock(m_mutex);
    FinishStartingLocked();
    return m_loaded;
}

bool AnalyzerBinding::Load() {
    std::lock_guard lock(m_mutex);
    return LoadLocked();
}

void AnalyzerBinding::StartLoading() {
    std::lock_guard lock(m_mutex);
#ifdef TAVI_WEB
    // One thread only: the analyser is loaded now.
    LoadLocked();
    return;
#endif
    if (m_loaded || m_starter.joinable() || !OpenLibraryLocked()) return;
    pid_t probe = StartProbe();
    if (probe < 0) {
        CloseLibraryLocked();
        return;
    }
    // The thread touches nothing guarded by the lock: every other use of the analyser
    // joins it first, so its call into ChaSen is never concurrent with another.
    m_cancel = false;
    ParseEntry entry = m_stringEntry;
    m_starter = std::thread([this, probe, entry] { m_started = FinishProbe(probe) && FirstAnalysisSucceeds(entry); });
}

void AnalyzerBinding::FinishStartingLocked() {
    if (!m_starter.joinable()) return;
    m_starter.join();
    if (m_started)
        m_loaded = true;
    else
        CloseLibraryLocked();
}

bool AnalyzerBinding::LoadLocked() {
    FinishStartingLocked();
    if (m_loaded) return true;
    if (!OpenLibraryLocked()) return false;
    if (!FinishProbe(StartProbe())) {
        CloseLibraryLocked();
        return false;
    }
    m_loaded = true;
    return true;
}

#ifdef TAVI_WEB
// The browser build: ChaSen is linked in, and there is no process to probe it in. A broken
// configuration ends the program inside the first analysis.
bool AnalyzerBinding::OpenLibraryLocked() {
    m_fileEntry = chasen_fparse_tostr;
    m_stringEntry = chasen_sparse_tostr;
    return true;
}

void AnalyzerBinding::CloseLibraryLocked() {}

pid_t AnalyzerBinding::StartProbe() { return 0; }

bool AnalyzerBinding::FinishProbe(pid_t) { return FirstAnalysisSucceeds(m_stringEntry); }
#else
bool AnalyzerBinding::OpenLibraryLocked() {
    CloseLibraryLocked();
    // ChaSen keeps process-wide state and memory that it never frees: the code stays mapped
    // after Unload, so a later Load finds it as it was.
    void* library = dlopen(m_libraryName.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!library) return false;
    auto fileEntry = reinterpret_cast<ParseEntry>(dlsym(library, "chasen_fparse_tostr"));
    auto stringEntry = reinterpret_cast<ParseEntry>(dlsym(library, "chasen_sparse_tostr"));
    if (!fileEntry || !stringEntry) {
        dlclose(library);
        return false;
    }
    m_library = library;
    m_fileEntry = fileEntry;
    m_stringEntry = stringEntry;
    return true;
}

void AnalyzerBinding::CloseLibraryLocked() {
    if (m_library) dlclose(m_library);
    m_library = nullptr;
    m_fileEntry = nullptr;
    m_stringEntry = nullptr;
}

// ChaSen reads its configuration and dictionary on the first analysis and calls exit() when
// either is broken. A child process makes that first analysis; only when it comes back with
// an "EOS" line may this process call the analyser itself.
pid_t AnalyzerBinding::StartProbe() {
    std::fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        // Runs first among the exit handlers, so an exit() inside the analyser ends only
        // this child, without running the parent's handlers or flushing its buffers.
        std::atexit([] { _exit(3); });
        _exit(FirstAnalysisSucceeds(m_stringEntry) ? 0 : 2);
    }
    return child;
}

bool AnalyzerBinding::FinishProbe(pid_t child) {
    if (child < 0) return false;
    auto deadline = std::chrono::steady_clock::now() + kProbeTimeout;
    int status = 0;
    while (true) {
        pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) break;
        if (done < 0 && errno != EINTR) return false;
        if (m_cancel || std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
            }
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
#endif  // TAVI_WEB

void AnalyzerBinding::Unload() {
    std::lock_guard lock(m_mutex);
    m_cancel = true;
    FinishStartingLocked();
    m_cancel = false;
    CloseLibraryLocked();
    m_loaded = false;
}

std::vector<std::string_view> AnalyzerBinding::SplitLongLine(std::string_view line) {
    std::vector<std::string_view> pieces;
    while (!line.empty()) {
        size_t weight = 0;
        size_t katakanaRun = 0;
        size_t lastBoundary = 0;  // end of the last whole character within the limit
        size_t lastSentenceEnd = 0;
        bool runTooLong = false;
        size_t i = 0;
        while (i < line.size()) {
            const size_t n = SjisCharLength(line, i);
            const size_t w = PieceWeight(line, i, n);
            if (weight + w > kMaxPieceBytes) break;
            const unsigned code =
                n == 2 ? static_cast<unsigned char>(line[i]) << 8 | static_cast<unsigned char>(line[i + 1]) : 0;
            katakanaRun = IsKatakana(code) ? katakanaRun + 1 : 0;
            if (katakanaRun > kMaxKatakanaRun) {
                runTooLong = true;
                break;
            }
            weight += w;
            if (IsSentenceEnd(code)) lastSentenceEnd = i + n;
            i += n;
            lastBoundary = i;
        }
        if (lastBoundary == line.size()) {
            pieces.push_back(line);
            break;
        }
        size_t cut = lastSentenceEnd && !runTooLong ? lastSentenceEnd : lastBoundary;
        pieces.push_back(line.substr(0, cut));
        line.remove_prefix(cut);
    }
    return pieces;
}

std::string AnalyzerBinding::CutIntoPieces(std::string_view text, std::vector<bool>* pieceEnds) {
    // The analyser takes a NUL-terminated string: the text ends at its first NUL.
    if (size_t nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
    std::string input;
    input.reserve(text.size() + 16);
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        bool hasLineFeed = end != std::string_view::npos;
        std::string_view line = text.substr(start, hasLineFeed ? end - start : std::string_view::npos);
        std::vector<std::string_view> pieces = SplitLongLine(line);
        for (size_t p = 0; p < pieces.size(); ++p) {
            input += pieces[p];
            if (p + 1 < pieces.size()) {
                input += '\n';
                if (pieceEnds) pieceEnds->push_back(true);
            }
        }
        if (pieceEnds) pieceEnds->push_back(false);
        if (!hasLineFeed) break;
        input += '\n';
        start = end + 1;
    }
    return input;
}

std::optional<std::string> AnalyzerBinding::Analyze(std::string_view text) {
    std::lock_guard lock(m_mutex);
    if (!LoadLocked()) return std::nullopt;
    // Each piece is analysed as a line of its own; the "EOS" lines that end a piece rather
    // than a line of the text are dropped from the result.
    std::vector<bool> dropEos;
    const std::string input = CutIntoPieces(text, &dropEos);
    const std::string utf8 = SjisToAnalyzerUtf8(input);
    const char* result = m_stringEntry(const_cast<char*>(utf8.c_str()));
    if (!result) return std::string();
    // Copied out before the next call.
    return RestoreAnalysis(result, input, utf8, dropEos);
}

}  // namespace tavi
