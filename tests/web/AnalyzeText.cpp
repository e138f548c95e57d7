// Prints the analyser binding's result for each file named, as Shift_JIS bytes after a line
// "# FILE". Built natively (ChaSen loaded at run time) and for Node (ChaSen linked in), so that
// the two can be compared byte for byte. UTF-8 files are converted to Shift_JIS first.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "analysis/AnalyzerBinding.h"
#include "analysis/Encoding.h"

int main(int argc, char** argv) {
    static char buffer[1 << 16];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    tavi::AnalyzerBinding analyzer;
    if (!analyzer.Load()) {
        std::fprintf(stderr, "analyze-text: the analyser cannot be loaded\n");
        return 1;
    }
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in.good() && !in.eof()) {
            std::fprintf(stderr, "analyze-text: %s cannot be read\n", argv[i]);
            return 1;
        }
        if (tavi::IsValidUtf8(text)) text = tavi::Utf8ToSjis(text);
        std::optional<std::string> result = analyzer.Analyze(text);
        if (!result) {
            std::fprintf(stderr, "analyze-text: %s: the analysis failed\n", argv[i]);
            return 1;
        }
        std::printf("# %s\n", argv[i]);
        std::fwrite(result->data(), 1, result->size(), stdout);
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
