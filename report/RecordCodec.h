#pragma once

#include <string>

#include "evaluation/EssayRecord.h"

namespace tavi {

// Every member of a record as bytes, to pass scored records between processes.
std::string EncodeRecord(const EssayRecord& record);
// False when the bytes are not a whole encoded record. Without `withEvidence` the evidence is
// left unread (and the record's own kept), for callers that need only the scores.
bool DecodeRecord(const std::string& bytes, EssayRecord& record, bool withEvidence = true);

}  // namespace tavi
