#pragma once

#include <string>

#include "evaluation/ScoringParams.h"
#include "evaluation/EssayRecord.h"

namespace tavi {

// The evidence of an answer as a UTF-8 JSON object, its lines after the first indented by
// `indent`: the text as read, each comment received with what supports it, and the cue words
// and demonstratives sentence by sentence. "null" for a record without evidence.
// Offsets count the characters of the text as read (one per double-byte pair and line feed).
std::string EvidenceJson(const EssayRecord& record, const ScoringParams& params, const std::string& indent);

}  // namespace tavi
