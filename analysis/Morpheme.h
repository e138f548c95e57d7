#pragma once

#include <array>
#include <string>

namespace tavi {

// The six fields of one analyser output line, Shift_JIS bytes.
enum MorphemeField : int {
    kSurface = 0,
    kReading = 1,
    kBaseForm = 2,
    kPartOfSpeech = 3,
    kConjugationType = 4,
    kConjugationForm = 5,
    kFieldCount = 6,
};

// One morpheme: surface, reading, base form, part of speech, conjugation type and form.
// An end-of-line row holds "EOS" in all six fields.
struct Morpheme {
    std::array<std::string, kFieldCount> fields;
};

}  // namespace tavi
