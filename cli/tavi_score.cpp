// tavi-score: scores answer files against a question from the command line.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <sstream>

#include "analysis/Encoding.h"
#include "analysis/FileIo.h"
#include "analysis/WordDocument.h"
#include "cli/ParallelScoring.h"
#include "cli/Table.h"
#include "cli/TerminalPerson.h"
#include "document/AnswerSources.h"
#include "document/CTaviDoc.h"
#include "document/MemoryListView.h"
#include "report/About.h"
#include "report/Json.h"
#include "report/Report.h"

namespace fs = std::filesystem;
using namespace tavi;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

void Error(const std::string& message) { std::fprintf(stderr, "tavi-score: %s\n", message.c_str()); }

// The columns of the sheets named on the command line (a header text or a number from 1).
struct SheetOptions {
    std::string textColumn, nameColumn;
};

// Imports a sheet with the columns of the options and appends the files it gives; an exit status.
int ImportSheetFile(const std::string& path, const SheetOptions& options, std::vector<std::string>& files) {
    if (options.textColumn.empty()) {
        Error(path + ": a sheet needs --text-column (the column of the answers)");
        return kExitUsage;
    }
    Sheet sheet;
    std::string error;
    if (!ReadSheet(path, sheet, error)) {
        Error(error);
        return kExitFailed;
    }
    auto column = [&](const char* option, const std::string& named) {
        std::optional<size_t> found = FindSheetColumn(sheet, named);
        if (!found) Error(path + ": " + option + " \"" + named + "\" names no column of the header");
        return found;
    };
    std::optional<size_t> text = column("--text-column", options.textColumn), name;
    if (!options.nameColumn.empty() && !(name = column("--name-column", options.nameColumn))) return kExitUsage;
    if (!text) return kExitUsage;
    if (!ImportSheet(path, sheet, *text, name, files, error)) {
        Error(error);
        return kExitFailed;
    }
    return kExitOk;
}

// Answer files in argument order; a folder gives its answer files sorted by name, a sheet the
// files it is imported into. An exit status.
int CollectAnswers(const std::vector<std::string>& inputs, const SheetOptions& options,
                   std::vector<std::string>& files) {
    for (const std::string& input : inputs) {
        std::vector<std::string> found;
        std::string error;
        if (!AnswerFilesOf(input, found, error)) {
            Error(error);
            return kExitUsage;
        }
        for (const std::string& file : found) {
            if (!IsSheetFile(file)) {
                files.push_back(file);
            } else if (int status = ImportSheetFile(file, options, files); status != kExitOk) {
                return status;
            }
        }
    }
    return kExitOk;
}

// A progress bar on stderr, drawn only when stderr is a terminal.
class Progress {
public:
    explicit Progress(size_t total) : m_total(total), m_show(isatty(STDERR_FILENO) && total > 0) {}
    void Update(size_t done) {
        if (!m_show) return;
        int width = 40;
        int filled = static_cast<int>(width * done / m_total);
        std::fprintf(stderr, "\r[%s%s] %zu/%zu", std::string(filled, '#').c_str(),
                     std::string(width - filled, ' ').c_str(), done, m_total);
        if (done == m_total) std::fprintf(stderr, "\n");
        std::fflush(stderr);
    }

private:
    size_t m_total;
    bool m_show;
};

bool WriteOutput(const std::string& out, const std::string& bytes) {
    if (out.empty()) {
        std::fwrite(bytes.data(), 1, bytes.size(), stdout);
        return std::fflush(stdout) == 0;
    }
    std::string error;
    if (WriteFileAtomically(out, bytes, error)) return true;
    Error(error);
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Scores Japanese essays (Shift_JIS or UTF-8 text files) against a question."};
    std::string question, model, weightsText, paramsFile, saveParams, format = "table", out, report;
    std::optional<double> expected;
    std::optional<int> paragraph;
    int jobs = std::max(1, static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN)));
    std::vector<std::string> inputs;
    SheetOptions sheetOptions;
    app.add_option("-q,--question", question, "question file (設問文)");
    app.add_option("-m,--model", model, "content model settings file (.tcf); a bare name is a built-in model");
    const ScoringParams defaults;
    constexpr const ParamSpec& lengthSpec = SpecOf(&ScoringParams::expectedLength);
    app.add_option(
        "-l,--expected-length", expected,
        "expected length of an answer in characters (default " + FormatParamNumber(defaults.expectedLength) + ")");
    app.add_option("-w,--weights", weightsText,
                   "axis weights rhetoric:organization:content (default " + FormatParamNumber(defaults.rhetoricWeight) +
                       ":" + FormatParamNumber(defaults.organizationWeight) + ":" +
                       FormatParamNumber(defaults.contentWeight) + ")");
    constexpr const ParamSpec& paragraphSpec = SpecOf(&ScoringParams::paragraphMode);
    std::vector<int> paragraphModes;
    for (int mode = static_cast<int>(paragraphSpec.min); mode <= paragraphSpec.max; ++mode)
        paragraphModes.push_back(mode);
    app.add_option("-p,--paragraph-mode", paragraph, "0: blank lines separate paragraphs; 1: every line break")
        ->check(CLI::IsMember(paragraphModes));
    app.add_option("--params", paramsFile, "parameter file to start from (question, parameters, answers)");
    app.add_option("--save-params", saveParams, "write the parameter file of the run");
    app.add_option("--format", format, "output format: table, csv or json")
        ->check(CLI::IsMember({"table", "csv", "json"}));
    app.add_option("-o,--output", out, "write the output to this file instead of stdout");
    app.add_option("--report", report, "also write an HTML report of the run (statistics, charts, evidence)");
    app.add_option("-j,--jobs", jobs, "processes that score: this one and N-1 workers (default: the number of cores)")
        ->check(CLI::PositiveNumber);
    app.add_option("--text-column", sheetOptions.textColumn,
                   "the column of the answers in a sheet (.csv, .xlsx): its header text or its number from 1");
    app.add_option("--name-column", sheetOptions.nameColumn,
                   "the column of a sheet that names each answer's file (header text or number)");
    app.set_version_flag("--version", std::string("tavi-score (Tavi) ") + TAVI_VERSION + "\n" + kLicenceNotice + "\n" +
                                          kLicenceWhere + "\n" + kNoticesWhere);
    app.add_option("answers", inputs, "answer files (.txt, .docx), sheets (.csv, .xlsx), or folders of them");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return kExitUsage;
    }
    ScoringParams weights;
    switch (weightsText.empty() ? WeightsProblem::kNone : ParseAxisWeights(weightsText, weights)) {
        case WeightsProblem::kNone:
            break;
        case WeightsProblem::kMalformed:
            Error("--weights takes three numbers as R:O:C, not \"" + weightsText + "\"");
            return kExitUsage;
        case WeightsProblem::kOutOfRange:
            Error("--weights takes three numbers that are not negative and do not sum to zero, not \"" + weightsText +
                  "\"");
            return kExitUsage;
    }
    if (expected && !lengthSpec.Accepts(*expected)) {
        std::ostringstream given;
        given << *expected;
        Error("--expected-length takes a positive number of characters up to " + FormatParamNumber(lengthSpec.max) +
              ", not " + given.str());
        return kExitUsage;
    }
    if (inputs.empty() && paramsFile.empty()) {
        Error("no answer files given (see --help)");
        return kExitUsage;
    }
    std::vector<std::string> files;
    if (int status = CollectAnswers(inputs, sheetOptions, files); status != kExitOk) return status;

    TerminalPerson person;
    MemoryListView view;
    CTaviDoc doc(person);
    doc.SetListView(&view);
    doc.SetKeepEvidence(format == "json" || !report.empty());
    if (!doc.IsAnalyzerLoaded()) {
        Error(std::string("the analyser library ") + AnalyzerBinding::kDefaultLibrary +
              " (Debian packages libchasen2 and ipadic) cannot be loaded");
        return kExitFailed;
    }
    if (!paramsFile.empty()) {
        std::string error;
        if (!doc.LoadParameterFile(paramsFile, error)) {
            Error(error);
            return kExitFailed;
        }
    }
    if (!model.empty()) {
        ScoringParams values = doc.GetParams();
        if (!NativePathToSjis(model, values.modelPath)) {
            Error(model + ": the path has no Shift_JIS form");
            return kExitFailed;
        }
        values.modelChoice = ModelChoiceOf(values.modelPath);
        Report(person, doc.ApplyParamDetail(values));
    }
    // Parameters first, then the question, so the question is read with the new paragraph mode.
    ScoringParams values = doc.GetParams();
    if (expected) values.expectedLength = *expected;
    if (!weightsText.empty())
        for (auto weight : kAxisWeights) values.*weight = weights.*weight;
    if (paragraph) values.paragraphMode = *paragraph;
    Report(person, doc.ApplyQuestionSettings(doc.GetQuestionPath(), values));
    if (!question.empty()) {
        std::error_code ec;
        std::string full = fs::absolute(question, ec).lexically_normal().string(), sjis;
        if (!NativePathToSjis(full, sjis)) {
            Error(question + ": the path has no Shift_JIS form");
            return kExitFailed;
        }
        DocResult result = doc.ApplyQuestionSettings(sjis, values);
        Report(person, result);
        if (result.error || !doc.HasQuestionVector()) {
            Error(question + ": the question could not be prepared (see the message above)");
            return kExitFailed;
        }
    } else if (!doc.HasQuestionVector()) {
        Error("warning: no question (-q): answers get rhetoric and organization scores only and stay unscored");
    }

    for (const std::string& file : files) {
        std::string sjis;
        if (!NativePathToSjis(file, sjis)) {
            Error(file + ": the file name has no Shift_JIS form");
            return kExitFailed;
        }
        std::string bytes, error;
        if (!doc.AddAnswer(sjis)) {
            Error("warning: " + file + ": already listed, not added again");
        } else if (!ReadAnswerSource(file, bytes, error)) {
            Error("warning: " + error + "; scored as an empty answer");
        }
    }

    std::vector<int> pending;
    for (int i = 0; i < doc.GetAnswerCount(); ++i)
        if (doc.IsUnscored(i)) pending.push_back(i);
    Progress progress(pending.size());
    ScoreInProcesses(doc, pending, jobs, [&](size_t done) { progress.Update(done); });

    std::string output;
    if (format == "csv") {
        output = doc.ResultsFileBytes();
    } else if (format == "json") {
        output = FormatJson(doc);
    } else {
        output = FormatTable(view, view.GetRowCount());
    }
    if (!WriteOutput(out, output)) return kExitFailed;
    if (!report.empty()) {
        std::string error;
        if (!WriteFileAtomically(report, FormatReport(ReportRunOf(doc)), error)) {
            Error(error);
            return kExitFailed;
        }
    }
    if (!saveParams.empty()) {
        std::string error;
        if (!doc.SaveParameterFile(saveParams, error)) {
            Error(error);
            return kExitFailed;
        }
    }
    bool allScored = doc.GetUnscoredCount() == 0;
    return allScored || !doc.HasQuestionVector() ? kExitOk : kExitFailed;
}
