#pragma once

#include <string_view>

namespace tavi {

// Counts the cue words of one sentence (Shift_JIS) against the fixed table of 109 entries in
// eight groups: start entries count when the sentence begins with them, the others anywhere.
// Each entry counts at most once. Adds 1.0 to `demonstrativeTotal` for each of the six
// demonstratives that occurs in the sentence. Matches fall on character boundaries.
// Returns the cue-word count. Thread-safe.
double CountCueWords(std::string_view sentence, double& demonstrativeTotal);

}  // namespace tavi
