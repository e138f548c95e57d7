// Prints the morpheme table of a text file, one row per line in UTF-8.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "analysis/AnalyzerBinding.h"
#include "analysis/Encoding.h"
#include "analysis/MorphemeTools.h"

namespace {

const char kUsage[] =
    "Usage: tavi-morphemes FILE [PARAGRAPH_MODE]\n\n"
    "Reads FILE as Tavi reads an answer (PARAGRAPH_MODE 0: two or more line breaks separate\n"
    "paragraphs, the default; 1: every line break does), analyses it with ChaSen and prints its\n"
    "morpheme table in UTF-8, one row per line: surface, reading, base form, part of speech,\n"
    "conjugation type and form, separated by tabs; EOS rows end the paragraphs.\n\n"
    "Options:\n"
    "  -h, --help    print this help and exit\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc < 2 || argc > 3) {
        std::fputs(kUsage, stderr);
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
