#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/MorphemeTable.h"
#include "content/Numeric.h"
#include "content/WordIndex.h"

namespace tavi {

// A content model: a word dictionary (one word per line, in key form) and a term matrix
// with one scaling value per dimension, named by a settings file (.tcf). Paths are
// Shift_JIS. Loading keeps what it has to say in `messages`, for the caller to show.
// Not thread-safe: the document keeps loading and scoring apart.
class ContentModel {
public:
    ContentModel() = default;
    ~ContentModel();
    ContentModel(const ContentModel&) = delete;
    ContentModel& operator=(const ContentModel&) = delete;

    // Loads the dictionary and matrix named by a settings file. A path without "/" names a
    // file in the program's data folder. Returns dictionaryLoaded && matrixLoaded.
    bool LoadSettings(const std::string& path);
    bool LoadDictionary();
    bool LoadMatrix();
    // Index (1..wordCount) of a word in key form, or 0.
    int32_t LookUp(std::string_view word) const;

    bool dictionaryLoaded = false;
    bool matrixLoaded = false;
    int32_t wordCount = 0;
    int32_t dimensionCount = 0;
    std::string dictionaryPath;
    std::string matrixPath;
    WordIndex wordIndex;
    DMatrix termMatrix;  // [1, matrixRowCount] x [1, dimensionCount]
    int32_t matrixRowCount = 0;
    DVector scaleVector;  // [1, dimensionCount]

    // A message of loading (Shift_JIS), shown as a plain box.
    struct Message {
        std::string text;
        std::string caption;
    };
    // What loading had to say, oldest first; the caller shows and clears them.
    std::vector<Message> messages;

private:
    void Show(const std::string& text) { messages.push_back({text, "Tavi"}); }
};

// The folder of the program's data files (built-in models), Shift_JIS, ending in "/":
// the executable's folder when `file` is there, else ../share/tavi/ beside it. The browser build
// has no executable file and takes the folder that its host names in TAVI_MODEL_FOLDER.
std::string DataFolderFor(const std::string& file);

// A content noun of a text that the model's dictionary holds.
struct ContentNounHit {
    size_t row = 0;       // row of the text's table
    int32_t index = 0;    // word index in the dictionary (1..wordCount)
    std::string key;      // key form looked up (Shift_JIS)
    std::string surface;  // as written (Shift_JIS)
};

// A new content vector over [1, dimensionCount] of the table's content nouns; the caller frees it.
// `hits`, when given, receives every content noun that was counted, in text order.
DVector BuildContentVector(const MorphemeTable& table, const ContentModel& model,
                           std::vector<ContentNounHit>* hits = nullptr);

}  // namespace tavi
