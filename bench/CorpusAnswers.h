#pragma once

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace tavi::bench {

// Answers of about 1,600 characters: the first lines of the corpus documents (UTF-8, `corpusDir`
// holding essays/ and news/) up to 4,800 bytes, in file name order; documents whose first line
// is longer are left out. Each answer is (file name, text).
inline std::vector<std::pair<std::string, std::string>> CorpusAnswers(const std::filesystem::path& corpusDir,
                                                                      size_t count) {
    std::vector<std::filesystem::path> files;
    for (const char* dir : {"essays", "news"})
        for (const auto& e : std::filesystem::directory_iterator(corpusDir / dir))
            if (e.path().extension() == ".txt") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    std::vector<std::pair<std::string, std::string>> answers;
    for (size_t k = 0; k < files.size() && answers.size() < count; ++k) {
        std::ifstream in(files[k]);
        std::string text;
        for (std::string line; std::getline(in, line) && text.size() + line.size() + 1 <= 4800;) text += line + "\n";
        if (text.empty()) continue;
        char name[32];
        std::snprintf(name, sizeof name, "%05zu.txt", k);
        answers.emplace_back(name, text);
    }
    return answers;
}

}  // namespace tavi::bench
