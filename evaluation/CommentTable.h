#pragma once

#include <string>

namespace tavi {

// Comment indices: the feature that a comment speaks of.
enum CommentIndex : int {
    kVocabularyComment = 1,
    kSentenceLengthMedianComment = 2,
    kSentenceLengthMaxComment = 3,
    kPhraseLengthMedianComment = 4,
    kPhraseLengthMaxComment = 5,
    kBunsetsuMedianComment = 6,
    kBunsetsuMaxComment = 7,
    kPassiveComment = 8,
    kKanjiShareComment = 9,
    kLongReadingComment = 10,
    kAttributiveComment = 11,
    kContinuativeComment = 12,
    kDemonstrativeComment = 13,
    kCueWordComment = 14,
    kLengthComment = 15,
    kContentComment = 16,
};

// The fixed comment text (Shift_JIS, without line feed) of a feature index and class, or null
// when the pair has none: class 0, an unknown index or class, and the pairs left empty on purpose.
const std::string* FindCommentText(int index, int commentClass);

// The index and class of a comment text of the table (Shift_JIS, without line feed); false for
// any other text.
bool FindCommentKey(const std::string& text, int& index, int& commentClass);

}  // namespace tavi
