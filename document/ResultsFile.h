#pragma once

#include <span>
#include <string>

#include "evaluation/EssayRecord.h"

namespace tavi {

// The bytes of the results file (Shift_JIS, CR LF line ends): the header, then one line of
// nine cells per record in the order given, as the answer list shows them (see FormatCsvLine):
// the rhetoric and organization scores once kept, the total, penalty and content score of a
// scored answer, other cells empty.
std::string FormatResultsFile(std::span<const EssayRecord> rows);

}  // namespace tavi
