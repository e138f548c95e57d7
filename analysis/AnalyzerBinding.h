#pragma once

#include <sys/types.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tavi {

// Run-time binding to the ChaSen morphological analyser (Debian's libchasen2 with ipadic).
//
// The library is loaded with dlopen. Its installed dictionary is UTF-8, so Analyze converts
// the Shift_JIS text to UTF-8 before the call and the result back to Shift_JIS after it;
// callers see Shift_JIS only. ChaSen ends the process with exit() when its configuration or
// dictionary is broken, so Load first lets a child process initialise the analyser and
// counts the load as failed unless the child comes back with an analysis.
//
// Thread safety: every member function may be called from any thread. Analyses are
// serialised by a lock (ChaSen is not reentrant) and each returns its own copy of the result.
class AnalyzerBinding {
public:
    // The library file loaded by default. TAVI_ANALYZER_LIBRARY, when set, names another.
    static constexpr const char* kDefaultLibrary = "libchasen.so.2";
    // Longest line, in Shift_JIS bytes, handed to the analyser in one piece.
    static constexpr size_t kMaxPieceBytes = 5000;
    // Most katakana (and "ー") in a row handed to the analyser in one piece: ChaSen takes a
    // longer run (over 128 UTF-8 bytes) as one unknown word that overflows its buffers, drops
    // the line and may crash later.
    static constexpr size_t kMaxKatakanaRun = 42;

    AnalyzerBinding();
    explicit AnalyzerBinding(std::string libraryName);
    ~AnalyzerBinding();
    AnalyzerBinding(const AnalyzerBinding&) = delete;
    AnalyzerBinding& operator=(const AnalyzerBinding&) = delete;

    // Loads the library and resolves "chasen_fparse_tostr" and "chasen_sparse_tostr".
    // Returns true at once when already loaded; false when the library, either entry or a
    // working analyser configuration is missing.
    bool Load();
    // Begins Load in the background: the library is opened, the child's first analysis
    // starts, and a thread waits for its outcome and then makes this process's own first
    // analysis, in which ChaSen reads its dictionary. The next Load, Analyze or IsLoaded
    // waits for that thread. Lets a caller do other start-up work meanwhile.
    void StartLoading();
    bool IsLoaded();

    // Analyses a Shift_JIS text: one line per morpheme with six tab-separated fields, and
    // "EOS" after each line of the text. The text is analysed up to its first NUL byte;
    // lines longer than kMaxPieceBytes are cut at sentence ends, long katakana runs after
    // kMaxKatakanaRun characters (see SplitLongLine). Every surface of the result is the
    // bytes of the text it stands for, so the surfaces spell the text, tabs excepted.
    // Loads the library first when needed; returns nothing when it cannot be loaded.
    std::optional<std::string> Analyze(std::string_view text);

    // Releases the library; harmless when nothing is loaded.
    void Unload();

    // The pieces, each at most kMaxPieceBytes, into which one line (without its line feed) is
    // cut: just after the last "。", "．", "？" or "！" that keeps a piece within the limit,
    // else at the last character boundary within it; and after every kMaxKatakanaRun
    // katakana in a row. A line that needs no cut is one piece; an empty line none.
    static std::vector<std::string_view> SplitLongLine(std::string_view line);

    // The Shift_JIS text that Analyze hands the analyser (as SjisToAnalyzerUtf8 converts it):
    // `text` up to its first NUL, with every line cut by SplitLongLine into lines of its own.
    // `pieceEnds`, when given, receives one entry per line of the result: true for a line that
    // ends a piece rather than a line of `text`.
    static std::string CutIntoPieces(std::string_view text, std::vector<bool>* pieceEnds = nullptr);

private:
    using ParseEntry = char* (*)(void*);
    bool LoadLocked();
    bool OpenLibraryLocked();
    void CloseLibraryLocked();
    void FinishStartingLocked();
    pid_t StartProbe();
    bool FinishProbe(pid_t child);

    bool m_loaded = false;
    std::thread m_starter;               // the thread of StartLoading until it is joined
    bool m_started = false;              // its outcome, read after the join
    std::atomic<bool> m_cancel = false;  // makes a waiting probe end at once (Unload)
    void* m_library = nullptr;
    ParseEntry m_fileEntry = nullptr;
    ParseEntry m_stringEntry = nullptr;
    std::string m_libraryName;
    std::mutex m_mutex;
};

}  // namespace tavi
