// Builds a content model (settings file, dictionary and matrix file) from folders of plain-text
// documents and files of one document per line: content-noun counts per document, log-entropy
// weighting with a weight per input, truncated SVD.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/CorpusAnalysis.h"
#include "tools/CorpusCounts.h"
#include "tools/CorpusInput.h"
#include "tools/LsaModel.h"
#include "tools/ModelFiles.h"

namespace {

constexpr const char* kProgram = "tavi-build-model";

struct Options {
    std::vector<std::string> inputs;
    std::vector<double> weights;  // one per input, or none for 1 each
    std::string output;
    int dimensions = 100;
    int minDocumentFrequency = 5;
    int jobs = 1;
    bool quiet = false;
};

class Reporter {
public:
    explicit Reporter(bool quiet) : m_quiet(quiet), m_start(std::chrono::steady_clock::now()) {}

    template <typename... Args>
    void Note(const char* format, Args... args) const {
        if (m_quiet) return;
        std::fprintf(stderr, "%s: [%5.1fs] ", kProgram, Seconds());
        std::fprintf(stderr, format, args...);
        std::fputc('\n', stderr);
    }

private:
    double Seconds() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count(); }
    bool m_quiet;
    std::chrono::steady_clock::time_point m_start;
};

int Fail(const std::string& message) {
    std::fprintf(stderr, "%s: error: %s\n", kProgram, message.c_str());
    return 1;
}

// The inputs' own names, with their weights unless all are 1, for the settings file's remark;
// a name that is not plain ASCII is left out.
std::string InputNames(const std::vector<tavi::CorpusInput>& inputs) {
    const bool weighted = std::any_of(inputs.begin(), inputs.end(), [](const auto& in) { return in.weight != 1.0; });
    std::string names;
    for (const tavi::CorpusInput& input : inputs) {
        std::filesystem::path path = std::filesystem::path(input.path).lexically_normal();
        std::string name = path.filename().string();
        if (name.empty()) name = path.parent_path().filename().string();
        bool plain = std::all_of(name.begin(), name.end(), [](char c) { return c > 0x20 && c < 0x7F; });
        if (!plain || name.empty()) continue;
        if (weighted) {
            char weight[32];
            std::snprintf(weight, sizeof weight, " (weight %g)", input.weight);
            name += weight;
        }
        names += names.empty() ? name : ", " + name;
    }
    return names;
}

std::string Megabytes(const std::string& path) {
    std::error_code ec;
    auto bytes = std::filesystem::file_size(path, ec);
    char text[32];
    std::snprintf(text, sizeof text, "%.2f MB", ec ? 0.0 : static_cast<double>(bytes) / 1e6);
    return text;
}

int Run(const Options& options) {
    const Reporter report(options.quiet);
    tavi::ModelFileNames names;
    std::string error;
    if (!tavi::ModelFileNamesFor(options.output, names, error)) return Fail(error);

    if (!options.weights.empty() && options.weights.size() != options.inputs.size())
        return Fail(std::to_string(options.weights.size()) + " weights for " + std::to_string(options.inputs.size()) +
                    " inputs; --weights takes one per input, in their order");
    for (double weight : options.weights)
        if (!(weight > 0) || !std::isfinite(weight)) return Fail("every weight of --weights must be a number above 0");
    std::vector<tavi::CorpusInput> inputs;
    for (size_t i = 0; i < options.inputs.size(); ++i)
        inputs.push_back({options.inputs[i], options.weights.empty() ? 1.0 : options.weights[i]});
    std::vector<tavi::CorpusDocument> documents;
    if (!tavi::ListCorpusDocuments(inputs, documents, error)) return Fail(error);
    const int workers = static_cast<int>(std::min<size_t>(static_cast<size_t>(options.jobs), documents.size()));
    report.Note("%zu documents; analysing with %d %s", documents.size(), workers,
                workers == 1 ? "process" : "worker processes");

    tavi::CorpusCounts corpus;
    std::vector<size_t> inputOf;  // the input of each document with text, in corpus order
    size_t withoutText = 0;
    const size_t step = std::max<size_t>(documents.size() / 10, 1);
    auto sink = [&](size_t index, tavi::DocumentAnalysis&& analysis) {
        const tavi::CorpusDocument& document = documents[index];
        if (!analysis.hasText) {
            ++withoutText;
            if (!options.quiet)
                std::fprintf(stderr, "%s: note: %s holds no text and is left out\n", kProgram, document.Name().c_str());
            return;
        }
        corpus.AddDocument(analysis.counts, inputs[document.input].weight);
        inputOf.push_back(document.input);
    };
    auto progress = [&](size_t done) {
        if (done % step == 0 && done < documents.size())
            report.Note("analysed %zu of %zu documents", done, documents.size());
    };
    if (!tavi::AnalyseDocuments(documents, workers, sink, progress, error)) return Fail(error);
    if (corpus.DocumentCount() == 0)
        return Fail("none of the " + std::to_string(documents.size()) + " documents holds text");
    report.Note("analysed %zu documents (%zu without text); %zu distinct content nouns", documents.size(), withoutText,
                corpus.TermCount());

    tavi::Vocabulary vocabulary = tavi::SelectVocabulary(corpus, options.minDocumentFrequency);
    if (vocabulary.words.empty())
        return Fail("no content noun occurs in at least " + std::to_string(options.minDocumentFrequency) + " of the " +
                    std::to_string(corpus.DocumentCount()) + " documents; lower --min-df or add documents");
    Eigen::SparseMatrix<double> weighted = tavi::LogEntropyMatrix(corpus, vocabulary);
    report.Note("%zu words in at least %d documents; weighted matrix %zu x %zu with %ld non-zero entries",
                vocabulary.words.size(), options.minDocumentFrequency, vocabulary.words.size(), corpus.DocumentCount(),
                static_cast<long>(weighted.nonZeros()));

    if (inputs.size() > 1) {
        // How much each input pulls on the dimensions: its share of the matrix's squared norm.
        std::vector<double> mass(inputs.size(), 0.0);
        for (Eigen::Index j = 0; j < weighted.outerSize(); ++j)
            for (Eigen::SparseMatrix<double>::InnerIterator it(weighted, j); it; ++it)
                mass[inputOf[static_cast<size_t>(j)]] += it.value() * it.value();
        const double total = std::max(weighted.squaredNorm(), 1e-300);
        for (size_t i = 0; i < inputs.size(); ++i)
            report.Note("%s (weight %g): %.1f %% of the weighted matrix's squared norm", inputs[i].path.c_str(),
                        inputs[i].weight, 100.0 * mass[i] / total);
    }

    tavi::TruncatedSvd svd;
    if (!tavi::ComputeTruncatedSvd(weighted, options.dimensions, svd, error)) return Fail(error);
    const long kept = static_cast<long>(svd.singularValues.size());
    if (kept < options.dimensions)
        std::fprintf(stderr,
                     "%s: warning: %ld of the %d dimensions asked for are kept; the rest exceed the matrix's size "
                     "or have a singular value of (nearly) 0\n",
                     kProgram, kept, options.dimensions);
    report.Note("%ld dimensions, singular values %.4g to %.4g", kept, svd.singularValues(0),
                svd.singularValues(kept - 1));

    char shape[200];
    std::snprintf(shape, sizeof shape,
                  "%zu documents, %zu words found in at least %d of them, log-entropy weighting, %ld dimensions.",
                  corpus.DocumentCount(), vocabulary.words.size(), options.minDocumentFrequency, kept);
    std::vector<std::string> remarks = {"Content model written by tavi-build-model.", shape};
    if (std::string names = InputNames(inputs); !names.empty()) remarks.push_back("Corpus: " + names);
    if (!tavi::WriteContentModel(names, vocabulary.words, svd.u, svd.singularValues, remarks, error))
        return Fail(error);
    report.Note("wrote %s, %s (%s) and %s (%s)", names.settings.c_str(), names.dictionary.c_str(),
                Megabytes(names.dictionary).c_str(), names.matrix.c_str(), Megabytes(names.matrix).c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    CLI::App app{
        "Builds a content model for Tavi from plain-text documents (UTF-8 or Shift_JIS): folders whose *.txt "
        "files are one document each, and line files whose \"id<TAB>text\" lines are one document each. Writes "
        "the settings file given by --output and, beside it, a dictionary (.dic) and a matrix file (.siv) of the "
        "same name."};
    app.add_option("inputs", options.inputs, "Corpus folders and line files")->required()->check(CLI::ExistingPath);
    app.add_option("-w,--weights", options.weights,
                   "Weight of each input's documents, one per input in their order, e.g. 1,0.3,0.2 (default 1 each)")
        ->allow_extra_args(false)
        ->delimiter(',')
        ->check(CLI::Range(1e-6, 1e6));
    app.add_option("-o,--output", options.output, "Settings file to write, e.g. models/mymodel.tcf")->required();
    app.add_option("-k,--dims", options.dimensions, "Number of dimensions K of the model")
        ->capture_default_str()
        ->check(CLI::Range(1, 10000));
    app.add_option("--min-df", options.minDocumentFrequency,
                   "Keep only words that occur in at least this many documents")
        ->capture_default_str()
        ->check(CLI::Range(1, 1000000));
    app.add_option("-j,--jobs", options.jobs, "Number of worker processes that analyse documents")
        ->capture_default_str()
        ->check(CLI::Range(1, 256));
    app.add_flag("-q,--quiet", options.quiet, "Print errors and warnings only");
    CLI11_PARSE(app, argc, argv);
    return Run(options);
}
