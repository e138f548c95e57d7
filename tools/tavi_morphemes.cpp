// Prints the morpheme table of a text file, one row per line in UTF-8.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "analysis/AnalyzerBinding.h"
#include "analysis/Encoding.h"
#include "analysis/MorphemeTools.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: tavi-morphemes FILE [PARAGRAPH_MODE]\n");
        return 2;
    }
    tavi::AnalyzerBinding analyzer;
    if (!analyzer.Load()) {
        std::fprintf(stderr, "tavi-morphemes: the analyser (%s) cannot be loaded\n",
                     tavi::AnalyzerBinding::kDefaultLibrary);
        return 1;
    }
    int mode = argc == 3 ? std::atoi(argv[2]) : 0;
    tavi::MorphemeTable table;
    std::string error;
    if (tavi::AnalyseText(argv[1], mode, analyzer, table, error).empty()) {
        if (error.empty()) error = std::string(argv[1]) + ": holds no text";
        std::fprintf(stderr, "tavi-morphemes: %s\n", error.c_str());
        return 1;
    }
    for (size_t r = 0; r < table.RowCount(); ++r) {
        std::string line;
        for (int k = 0; k < tavi::kFieldCount; ++k) {
            if (k) line += '\t';
            line += tavi::SjisToUtf8(table.Field(r, k));
        }
        std::printf("%s\n", line.c_str());
    }
    return 0;
}
