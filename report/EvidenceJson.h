#pragma once

#include <nlohmann/json_fwd.hpp>

#include "evaluation/EssayRecord.h"
#include "evaluation/ScoringParams.h"

namespace tavi {

// The evidence of an answer as a UTF-8 JSON object: the text as read, each comment received with
// what supports it, and the cue words and demonstratives sentence by sentence. Null for a record
// without evidence. Offsets count the characters of the text as read (one per double-byte pair
// and line feed).
nlohmann::ordered_json EvidenceJson(const EssayRecord& record, const ScoringParams& params);

}  // namespace tavi
