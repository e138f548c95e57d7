#include "fuzz/FuzzTargets.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "analysis/AnalyzerBinding.h"
#include "analysis/Encoding.h"
#include "analysis/MorphemeTools.h"
#include "content/ContentModel.h"
#include "document/AnswerSources.h"
#include "document/CTaviDoc.h"
#include "document/MemoryListView.h"
#include "evaluation/EssayRecord.h"
#include "fakes/SpelledText.h"

namespace tavi::fuzz {
namespace {

// A person that answers everything with OK and keeps nothing.
class SilentPerson : public Person {
public:
    MessageAnswer ShowMessageBox(const MessageBoxRequest&) override { return MessageAnswer::kOk; }
    bool StartProcess(const std::vector<std::string>&) override { return false; }
};

// A folder of this process for the files the loaders read.
const std::string& WorkDir() {
    static const std::string dir = [] {
        std::string d = "/tmp/tavi-fuzz-" + std::to_string(getpid());
        mkdir(d.c_str(), 0700);
        return d;
    }();
    return dir;
}

std::string Write(const std::string& name, const uint8_t* data, size_t size) {
    std::string path = WorkDir() + "/" + name;
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data), size);
    return path;
}

// A small valid model: three words in two dimensions.
void WriteSmallModel() {
    static bool written = false;
    if (written) return;
    written = true;
    std::string dic = Sjis("環境\n問題\nけーき\n");
    Write("small.dic", reinterpret_cast<const uint8_t*>(dic.data()), dic.size());
    std::string siv;
    auto put = [&](const void* p, size_t n) { siv.append(static_cast<const char*>(p), n); };
    int32_t k = 2, n = 3;
    put(&k, 4);
    put(&n, 4);
    for (double v : {1.0, 0.5, 0.0, 0.0, 0.5, 1.0, 1.0, 2.0}) put(&v, 8);
    Write("small.siv", reinterpret_cast<const uint8_t*>(siv.data()), siv.size());
    std::string tcf = "dicfile small.dic\nsivfile small.siv\n";
    Write("small.tcf", reinterpret_cast<const uint8_t*>(tcf.data()), tcf.size());
}

}  // namespace

int FuzzReader(const uint8_t* data, size_t size) {
    static AnalyzerBinding analyzer;
    MorphemeTools tools;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string text, wide;
    MorphemeTable table;
    for (int mode : {0, 1}) {
        tools.ReadAnswerBytes(bytes, text, mode);
        for (std::string_view piece : AnalyzerBinding::SplitLongLine(text))
            if (piece.size() > AnalyzerBinding::kMaxPieceBytes) std::abort();
        // The table spells the text as read, whatever its bytes.
        std::optional<std::string> analysis = analyzer.Analyze(text);
        if (!analysis) std::abort();
        tools.SplitAnalysis(*analysis, table);
        if (test::SpelledText(table) != test::ExpectedSpelling(text)) std::abort();
    }
    tools.ToFullWidth(bytes, wide);
    tools.ToHiragana(bytes, wide);
    return 0;
}

int FuzzAnalysisFeatures(const uint8_t* data, size_t size) {
    static ContentModel model;
    static bool loaded = [] {
        WriteSmallModel();
        return model.LoadSettings(WorkDir() + "/small.tcf");
    }();
    if (!loaded) std::abort();
    MorphemeTools tools;
    MorphemeTable table;
    tools.SplitAnalysis(std::string_view(reinterpret_cast<const char*>(data), size), table);
    EssayRecord r;
    r.ExtractRhetoricFeatures(table);
    r.ExtractOrganizationFeatures(table);
    DVector question = BuildContentVector(table, model);
    r.ComputeContentSimilarity(table, question, model);
    free_vector(question, 1, model.dimensionCount);
    ScoringParams params;
    r.ScoreRhetoric(params);
    r.ScoreOrganization(params);
    r.ScoreContent();
    r.ComputeWeightedTotal(params);
    r.ComputeLengthPenalty(params);
    r.ComputeFinalScore();
    if (r.contentSimilarity < 0 || r.contentSimilarity > 1.0000001) std::abort();
    return 0;
}

int FuzzSettingsFile(const uint8_t* data, size_t size) {
    WriteSmallModel();
    ContentModel model;
    model.LoadSettings(Write("fuzz.tcf", data, size));
    return 0;
}

int FuzzDictionary(const uint8_t* data, size_t size) {
    ContentModel model;
    model.dictionaryPath = Write("fuzz.dic", data, size);
    if (model.LoadDictionary() && model.wordCount < 0) std::abort();
    return 0;
}

int FuzzMatrix(const uint8_t* data, size_t size) {
    ContentModel model;
    model.matrixPath = Write("fuzz.siv", data, size);
    if (model.LoadMatrix()) {
        // Every loaded value is readable.
        double sum = 0;
        for (long d = 1; d <= model.dimensionCount; ++d) sum += model.scaleVector[d];
        for (long w = 1; w <= model.matrixRowCount; ++w)
            for (long d = 1; d <= model.dimensionCount; ++d) sum += model.termMatrix[w][d];
        (void)sum;
    }
    return 0;
}

int FuzzParameterFile(const uint8_t* data, size_t size) {
    // No analyser (its start-up probe forks) and no built-in model: the loader alone.
    static bool environment = [] { return setenv("TAVI_ANALYZER_LIBRARY", "libtavi-fuzz-none.so", 1) == 0; }();
    (void)environment;
    SilentPerson person;
    MemoryListView view;
    CTaviDoc doc(person);
    doc.SetListView(&view);
    std::string error;
    if (doc.LoadParameterFile(Write("fuzz.prm", data, size), error)) {
        // What loads stores back to a file that loads again.
        std::string again = WorkDir() + "/again.prm";
        if (!doc.SaveParameterFile(again, error)) std::abort();
        SilentPerson person2;
        CTaviDoc doc2(person2);
        if (!doc2.LoadParameterFile(again, error)) std::abort();
        if (doc2.GetAnswerCount() != doc.GetAnswerCount()) std::abort();
    }
    return 0;
}

int FuzzSheet(const uint8_t* data, size_t size) {
    // The first byte chooses the name, so that a workbook is also tried as a CSV and back.
    const std::string name = size > 0 && (data[0] & 1) ? "fuzz.xlsx" : "fuzz.csv";
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    Sheet sheet;
    std::string error;
    if (!ReadSheetBytes(bytes, name, sheet, error)) {
        if (!sheet.rows.empty() || error.rfind(name + ": ", 0) != 0) std::abort();
        return 0;
    }
    size_t cells = 0;
    for (const auto& row : sheet.rows) cells += row.size();
    if (sheet.rows.empty() || cells > kMaxSheetCells) std::abort();
    SheetColumns proposed = ProposeSheetColumns(sheet);
    if (proposed.name == proposed.text || proposed.id == proposed.text) std::abort();
    CountSheetAnswers(sheet, proposed.text);
    return 0;
}

}  // namespace tavi::fuzz
