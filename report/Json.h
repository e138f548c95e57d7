#pragma once

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

#include "document/CTaviDoc.h"
#include "report/Report.h"

namespace tavi {

// The parameters as the JSON forms hold them: every member by its name, the model path UTF-8.
nlohmann::ordered_json ParamsJson(const ScoringParams& params);
// The parameters of such an object (UTF-8 JSON text); a member that is absent or of another
// kind keeps its default.
ScoringParams ParamsFromJson(const std::string& text);

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
