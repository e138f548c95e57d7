#include "tools/CorpusAnalysis.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <system_error>

#include "analysis/MorphemeTools.h"
#include "document/ProcessPool.h"

namespace tavi {
namespace {

// A request is a document's index (uint32); its reply a record: uint8 kind, then for kCounts
// a uint32 pair count and each pair as uint32 key length, key bytes, int32 count; for
// kFailure a uint32 length and the message. Integers are in the host's byte order (both ends
// are the same program).
enum RecordKind : uint8_t { kCounts = 0, kNoText = 1, kFailure = 2 };

template <typename T>
void Put(std::string& out, T value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

void PutString(std::string& out, const std::string& s) {
    Put<uint32_t>(out, static_cast<uint32_t>(s.size()));
    out += s;
}

// Reads a record; every Take fails once the bytes run out.
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

private:
    std::string_view m_bytes;
    size_t m_pos = 0;
};

std::string EncodeRecord(bool ok, const DocumentAnalysis& analysis, const std::string& error) {
    std::string out;
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

// Decodes a record: false with `error` for a failure or a record that is not whole.
bool DecodeRecord(std::string_view bytes, DocumentAnalysis& analysis, std::string& error) {
    RecordReader reader(bytes);
    uint8_t kind = 0;
    analysis = DocumentAnalysis{};
    if (!reader.Take(kind) || kind > kFailure) {
        error = "a worker process sent a malformed record";
        return false;
    }
    if (kind == kFailure) {
        if (!reader.TakeString(error)) error = "a worker process sent a malformed record";
        return false;
    }
    if (kind == kCounts) {
        analysis.hasText = true;
        uint32_t pairs = 0;
        std::string key;
        int32_t count = 0;
        bool whole = reader.Take(pairs);
        for (uint32_t p = 0; whole && p < pairs; ++p) {
            whole = reader.TakeString(key) && reader.Take(count);
            if (whole) analysis.counts.emplace_hint(analysis.counts.end(), key, count);
        }
        if (!whole) {
            error = "a worker process sent a malformed record";
            return false;
        }
    }
    return true;
}

// A worker: analyses the documents asked for with an analyser of its own, until the stream ends.
int RunWorker(const std::vector<CorpusDocument>& paths, int fd) {
    AnalyzerBinding analyzer;
    return ServeRequests(fd, [&](const std::string& request) {
        uint32_t index = UINT32_MAX;
        if (request.size() == sizeof index) std::memcpy(&index, request.data(), sizeof index);
        DocumentAnalysis analysis;
        std::string error = "a malformed request";
        bool ok = index < paths.size() && AnalyseDocument(paths[index], analyzer, analysis, error);
        return EncodeRecord(ok, analysis, error);
    });
}

// The analyser of this process, loaded once and kept until the process ends: ChaSen holds its
// dictionary and buffers for the life of the process, and unloading the library would leave
// them unreachable (leak checkers report them) only to load them again on the next run.
AnalyzerBinding& ProcessAnalyzer() {
    static AnalyzerBinding* analyzer = new AnalyzerBinding();
    return *analyzer;
}

// Documents are dealt round-robin, each worker holding a few at a time; the replies are taken
// in path order, each from the worker it was dealt to.
bool AnalyseInWorkers(const std::vector<CorpusDocument>& paths, int workers, const DocumentSink& sink,
                      const std::function<void(size_t)>& progress, std::string& error) {
    constexpr size_t kAhead = 4;
    WorkerLaunch launch;
    launch.body = [&paths](int fd) { return RunWorker(paths, fd); };
    ProcessPool pool(std::move(launch), static_cast<size_t>(workers));
    size_t sent = 0;
    std::string reply;
    for (size_t next = 0; next < paths.size(); ++next) {
        for (; sent < paths.size() && sent < next + kAhead * pool.Size(); ++sent) {
            uint32_t index = static_cast<uint32_t>(sent);
            if (!pool.Send(sent % pool.Size(), std::string(reinterpret_cast<const char*>(&index), sizeof index), error))
                return false;
        }
        if (pool.Receive(next % pool.Size(), reply) != ProcessPool::Outcome::kReply) {
            error = paths[next].Name() + ": " + reply + " while it analysed the document";
            return false;
        }
        DocumentAnalysis analysis;
        if (!DecodeRecord(reply, analysis, error)) return false;
        sink(next, std::move(analysis));
        if (progress) progress(next + 1);
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
