// Prints how the parameters' numbers are read and written, for each line of the files named:
// the line, whether it reads as a number, and the number written back, with its third and its
// multiples by 1e20 and 1e-20 (long fixed forms and the exponent form). Built natively
// (std::to_chars) and for Node (emscripten's libc++ has none for floating point), so that the
// two can be compared byte for byte.
#include <cstdio>
#include <fstream>
#include <string>

#include "evaluation/ScoringParams.h"

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i]);
        for (std::string line; std::getline(in, line);) {
            double value = 0;
            if (!tavi::ParseParamNumber(line, value)) {
                std::printf("[%s] no number\n", line.c_str());
                continue;
            }
            std::printf("[%s] %s", line.c_str(), tavi::FormatParamNumber(value).c_str());
            for (double derived : {value / 3, value * 1e20, value * 1e-20})
                std::printf(" %s", tavi::FormatParamNumber(derived).c_str());
            std::printf("\n");
        }
    }
    return 0;
}
