#include "tools/CorpusAnalysis.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>

#include "analysis/MorphemeTools.h"

namespace tavi {
namespace {

// Records that a worker sends to the parent over its pipe:
// uint32 document index, uint8 kind, then for kCounts a uint32 pair count and each pair as
// uint32 key length, key bytes, int32 count; for kFailure a uint32 length and the message.
// Integers are in the host's byte order (both ends are the same program).
enum RecordKind : uint8_t { kCounts = 0, kNoText = 1, kFailure = 2 };

template <typename T>
void Put(std::string& out, T value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

void PutString(std::string& out, const std::string& s) {
    Put<uint32_t>(out, static_cast<uint32_t>(s.size()));
    out += s;
}

// Reads from a record under construction; every Take fails once the bytes run out.
class RecordReader {
public:
    explicit RecordReader(std::string_view bytes) : m_bytes(bytes) {}
    template <typename T>
    bool Take(T& value) {
        if (m_bytes.size() - m_pos < sizeof value) return false;
        std::memcpy(&value, m_bytes.data() + m_pos, sizeof value);
        m_pos += sizeof value;
        return true;
    }
    bool TakeString(std::string& s) {
        uint32_t length = 0;
        if (!Take(length) || m_bytes.size() - m_pos < length) return false;
        s.assign(m_bytes.data() + m_pos, length);
        m_pos += length;
        return true;
    }
    size_t Position() const { return m_pos; }

private:
    std::string_view m_bytes;
    size_t m_pos = 0;
};

std::string EncodeRecord(uint32_t index, bool ok, const DocumentAnalysis& analysis, const std::string& error) {
    std::string out;
    Put<uint32_t>(out, index);
    if (!ok) {
        Put<uint8_t>(out, kFailure);
        PutString(out, error);
    } else if (!analysis.hasText) {
        Put<uint8_t>(out, kNoText);
    } else {
        Put<uint8_t>(out, kCounts);
        Put<uint32_t>(out, static_cast<uint32_t>(analysis.counts.size()));
        for (const auto& [key, count] : analysis.counts) {
            PutString(out, key);
            Put<int32_t>(out, count);
        }
    }
    return out;
}

// Decodes one whole record from the front of `buffer`; false when it is not complete yet.
bool DecodeRecord(std::string_view buffer, size_t& used, uint32_t& index, bool& ok, DocumentAnalysis& analysis,
                  std::string& error) {
    RecordReader reader(buffer);
    uint8_t kind = 0;
    if (!reader.Take(index) || !reader.Take(kind)) return false;
    analysis = DocumentAnalysis{};
    ok = kind != kFailure;
    if (kind == kFailure) {
        if (!reader.TakeString(error)) return false;
    } else if (kind == kCounts) {
        analysis.hasText = true;
        uint32_t pairs = 0;
        if (!reader.Take(pairs)) return false;
        std::string key;
        int32_t count = 0;
        for (uint32_t p = 0; p < pairs; ++p) {
            if (!reader.TakeString(key) || !reader.Take(count)) return false;
            analysis.counts.emplace_hint(analysis.counts.end(), key, count);
        }
    }
    used = reader.Position();
    return true;
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// The body of worker `worker` of `workers`: analyses its share of the documents and sends the
// records down `fd`. Never returns.
[[noreturn]] void RunWorker(const std::vector<CorpusDocument>& paths, int worker, int workers, int fd) {
    AnalyzerBinding analyzer;
    for (size_t i = static_cast<size_t>(worker); i < paths.size(); i += static_cast<size_t>(workers)) {
        DocumentAnalysis analysis;
        std::string error;
        bool ok = AnalyseDocument(paths[i], analyzer, analysis, error);
        if (!WriteAll(fd, EncodeRecord(static_cast<uint32_t>(i), ok, analysis, error))) _exit(3);
        if (!ok) _exit(1);
    }
    // _exit: the worker must not run the parent's exit handlers or flush its copied buffers.
    _exit(0);
}

// The analyser of this process, loaded once and kept until the process ends: ChaSen holds its
// dictionary and buffers for the life of the process, and unloading the library would leave
// them unreachable (leak checkers report them) only to load them again on the next run.
AnalyzerBinding& ProcessAnalyzer() {
    static AnalyzerBinding* analyzer = new AnalyzerBinding();
    return *analyzer;
}

std::string DescribeStatus(int status) {
    if (WIFSIGNALED(status)) return "was killed by signal " + std::to_string(WTERMSIG(status));
    if (WIFEXITED(status)) return "ended with status " + std::to_string(WEXITSTATUS(status));
    return "ended";
}

bool AnalyseInWorkers(const std::vector<CorpusDocument>& paths, int workers, const DocumentSink& sink,
                      const std::function<void(size_t)>& progress, std::string& error) {
    struct Worker {
        pid_t pid = -1;
        int fd = -1;
        std::string buffer;
    };
    std::vector<Worker> pool(static_cast<size_t>(workers));
    auto stopAll = [&]() {
        for (Worker& w : pool) {
            if (w.fd >= 0) ::close(w.fd);
            if (w.pid > 0) {
                ::kill(w.pid, SIGKILL);
                ::waitpid(w.pid, nullptr, 0);
            }
            w = Worker{};
        }
    };

    std::fflush(nullptr);
    for (int w = 0; w < workers; ++w) {
        int fds[2];
        if (::pipe(fds) != 0) {
            error = std::string("cannot create a pipe for a worker process (") + std::strerror(errno) + ")";
            stopAll();
            return false;
        }
        pid_t pid = ::fork();
        if (pid < 0) {
            error = std::string("cannot start a worker process (") + std::strerror(errno) + ")";
            ::close(fds[0]);
            ::close(fds[1]);
            stopAll();
            return false;
        }
        if (pid == 0) {
            ::close(fds[0]);
            for (int other = 0; other < w; ++other) ::close(pool[static_cast<size_t>(other)].fd);
            RunWorker(paths, w, workers, fds[1]);
        }
        ::close(fds[1]);
        pool[static_cast<size_t>(w)].pid = pid;
        pool[static_cast<size_t>(w)].fd = fds[0];
    }

    // Results come back in any order; hand them on in path order.
    std::map<size_t, DocumentAnalysis> waiting;
    size_t next = 0;
    size_t open = pool.size();
    std::vector<pollfd> polled;
    while (open > 0) {
        polled.clear();
        for (const Worker& w : pool)
            if (w.fd >= 0) polled.push_back({w.fd, POLLIN, 0});
        if (::poll(polled.data(), polled.size(), -1) < 0) {
            if (errno == EINTR) continue;
            error = std::string("cannot wait for the worker processes (") + std::strerror(errno) + ")";
            stopAll();
            return false;
        }
        for (Worker& w : pool) {
            if (w.fd < 0) continue;
            auto found = std::find_if(polled.begin(), polled.end(), [&](const pollfd& p) { return p.fd == w.fd; });
            if (found == polled.end() || found->revents == 0) continue;
            char chunk[65536];
            ssize_t n = ::read(w.fd, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                ::close(w.fd);
                w.fd = -1;
                --open;
                continue;
            }
            w.buffer.append(chunk, static_cast<size_t>(n));
            size_t used = 0;
            uint32_t index = 0;
            bool ok = false;
            DocumentAnalysis analysis;
            std::string failure;
            size_t start = 0;
            while (DecodeRecord(std::string_view(w.buffer).substr(start), used, index, ok, analysis, failure)) {
                start += used;
                if (!ok) {
                    error = failure;
                    stopAll();
                    return false;
                }
                waiting.emplace(index, std::move(analysis));
            }
            w.buffer.erase(0, start);
        }
        while (!waiting.empty() && waiting.begin()->first == next) {
            sink(next, std::move(waiting.begin()->second));
            waiting.erase(waiting.begin());
            ++next;
            if (progress) progress(next);
        }
    }

    bool allEnded = true;
    for (size_t w = 0; w < pool.size(); ++w) {
        int status = 0;
        ::waitpid(pool[w].pid, &status, 0);
        pool[w].pid = -1;
        if (!(WIFEXITED(status) && WEXITSTATUS(status) == 0) && allEnded) {
            error = "worker process " + std::to_string(w + 1) + " " + DescribeStatus(status) +
                    " before it had analysed all its documents";
            allEnded = false;
        }
    }
    if (!allEnded) return false;
    if (next != paths.size()) {
        error = "the worker processes returned " + std::to_string(next) + " of " + std::to_string(paths.size()) +
                " documents";
        return false;
    }
    return true;
}

}  // namespace

bool AnalyseDocument(const CorpusDocument& document, AnalyzerBinding& analyzer, DocumentAnalysis& result,
                     std::string& error) {
    result = DocumentAnalysis{};
    if (!analyzer.Load()) {
        error = document.Name() + ": the analyser cannot be loaded (" + AnalyzerBinding::kDefaultLibrary +
                " with its dictionary, or the library named by TAVI_ANALYZER_LIBRARY)";
        return false;
    }
    MorphemeTable table;
    std::string text;
    if (document.line == 0) {
        text = AnalyseText(document.path, MorphemeTools::kParagraphBlankLines, analyzer, table, error);
        if (!error.empty()) return false;
    } else {
        // A line holds no line break, so the paragraph rule leaves its full-width form as it is.
        const MorphemeTools tools;
        tools.ToFullWidth(document.text, text);
        if (!text.empty()) tools.SplitAnalysis(analyzer.Analyze(text).value_or(""), table);
    }
    result.hasText = !text.empty();
    if (result.hasText) result.counts = CountContentNouns(table, MorphemeTools());
    return true;
}

bool AnalyseDocuments(const std::vector<CorpusDocument>& paths, int workers, const DocumentSink& sink,
                      const std::function<void(size_t)>& progress, std::string& error) {
    if (static_cast<size_t>(workers) > paths.size()) workers = static_cast<int>(paths.size());
    if (workers > 1) return AnalyseInWorkers(paths, workers, sink, progress, error);
    AnalyzerBinding& analyzer = ProcessAnalyzer();
    for (size_t i = 0; i < paths.size(); ++i) {
        DocumentAnalysis analysis;
        if (!AnalyseDocument(paths[i], analyzer, analysis, error)) return false;
        sink(i, std::move(analysis));
        if (progress) progress(i + 1);
    }
    return true;
}

}  // namespace tavi
