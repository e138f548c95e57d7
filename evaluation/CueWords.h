#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tavi {

// Counts the cue words of one sentence (Shift_JIS) against the fixed table of 109 entries in
// eight groups: start entries count when the sentence begins with them, the others anywhere.
// Each entry counts at most once. Adds 1.0 to `demonstrativeTotal` for each of the six
// demonstratives that occurs in the sentence. Matches fall on character boundaries.
// Returns the cue-word count. Thread-safe.
double CountCueWords(std::string_view sentence, double& demonstrativeTotal);

// One table entry that matched a sentence: the entry (Shift_JIS), its group (1 to 8, or 0 for a
// demonstrative) and the byte offset of its first occurrence in the sentence.
struct CueWordMatch {
    const std::string* entry = nullptr;
    int group = 0;
    size_t offset = 0;
};

// CountCueWords that also appends every entry that counted, cue words and demonstratives, to `matches`.
double CountCueWords(std::string_view sentence, double& demonstrativeTotal, std::vector<CueWordMatch>* matches);

}  // namespace tavi
