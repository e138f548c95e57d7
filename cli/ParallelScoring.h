#pragma once

#include <functional>
#include <vector>

#include "document/CTaviDoc.h"

namespace tavi {

// Scores the given unscored answers of `doc` in `jobs` processes: this one and jobs - 1
// workers forked from it (the analyser is process-global, so processes rather than threads).
// Each worker is given a few answers at a time, and this process scores one between looking
// at their replies. Every worker scores with its copy of the document's scorer (the same
// question, model and parameters), without a document, and sends its records back; an answer that no worker delivered
// (a worker that died) is scored in this process. `progress` is called after each answer with the number done so far.
void ScoreInProcesses(CTaviDoc& doc, const std::vector<int>& answers, int jobs,
                      const std::function<void(size_t)>& progress);

}  // namespace tavi
