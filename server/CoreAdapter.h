#pragma once

// Every call of the server into the scoring core goes through here: checking uploaded texts,
// the job's parameters, scoring one answer in a worker process, and the downloads.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "report/Grades.h"
#include "report/Job.h"
#include "server/Store.h"

namespace tavi::serve {

// True when a UTF-8 file name has a Shift_JIS form, as every answer's name must.
bool HasSjisForm(const std::string& utf8Name);

// Scores answers one at a time in this process, keeping the analyser and the last question
// and parameters between answers.
class ScoringSession {
public:
    ScoringSession();
    ~ScoringSession();
    // False with `error` when the analyser cannot be loaded.
    bool Ready(std::string& error);
    // Scores the answer file at `answerPath` (native) against the question file with the
    // job's parameters, as answer `number`; `record` receives the encoded record. False with
    // `error` when the question cannot be prepared or the answer not scored.
    bool Score(const std::string& questionPath, const std::string& paramsJson, const std::string& answerPath,
               int number, std::string& record, std::string& error);

private:
    bool Configure(const std::string& questionPath, const std::string& paramsJson, std::string& error);
    struct State;
    std::unique_ptr<State> m_state;
};

// Pages: HTML escaping.
std::string EscapeHtml(std::string_view utf8);
// A web asset (stylesheet, script, page template) by its file name; empty when unknown.
std::string_view Asset(std::string_view name);

}  // namespace tavi::serve
