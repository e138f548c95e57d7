#pragma once

#include <optional>
#include <string>
#include <vector>

#include "document/CTaviDoc.h"
#include "report/Report.h"

namespace tavi {

// The run as UTF-8 JSON: question, parameters and every answer with all its members, then its
// evidence (null unless the document kept it). Numbers that are not finite are null; reals are
// written in their shortest form that reads back to the same double.
std::string FormatJson(const CTaviDoc& doc);

// A reader's own mark and note on an answer (the note UTF-8).
struct AnswerReview {
    std::optional<double> mark;
    std::string note;
};

// The same for a run held elsewhere; with `reviews` (one per answer) each answer also gets
// its "mark" and "note".
std::string FormatJson(const ReportRun& run, const std::vector<AnswerReview>* reviews = nullptr);

}  // namespace tavi
