#pragma once

// A job of answers held as stored records (the server's database, the browser's storage), and
// what is made of it: its parameters from form fields, the downloads, the pages' JSON and HTML.

#include <map>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "report/Grades.h"

namespace tavi {

// The content models a job may name: the two built-in ones and the *.tcf files of a folder.
class ModelCatalog {
public:
    ModelCatalog();
    // The model a new job starts with.
    static std::string Default();
    // False with `error` when the folder cannot be listed.
    bool AddFolder(const std::string& folder, std::string& error);
    std::vector<std::string> Names() const;
    bool Contains(const std::string& name) const { return m_paths.count(name) != 0; }

private:
    friend std::string ParseJobParams(const std::map<std::string, std::string>&, const ModelCatalog&, std::string&,
                                      const std::string&);
    std::map<std::string, std::pair<int, std::string>> m_paths;  // name: model choice and path
};

// The optional parameter fields of a new job besides model, weights, expectedLength and
// paragraphMode: the fourteen ratios, each with its label (UTF-8) and the least and greatest
// value it takes (as a form writes them).
struct ParamField {
    std::string name, label, min, max;
};
const std::vector<ParamField>& RatioFields();

// Reads the job's parameters from form fields (absent ones keep their defaults, or those of
// `startJson` when given) into their stored JSON form. Returns the cause of a refusal, naming
// the field; empty when accepted.
std::string ParseJobParams(const std::map<std::string, std::string>& fields, const ModelCatalog& models,
                           std::string& paramsJson, const std::string& startJson = {});
int ParagraphModeOf(const std::string& paramsJson);
// The model's name as a job shows it.
std::string ModelNameOf(const std::string& paramsJson);
// The parameters in the form of the fields that set them (the JSON object, as text):
// expectedLength, weights, paragraphMode, model, the ratios and fullMark.
std::string ParamsFormJson(const std::string& paramsJson, double fullMark);
// The parameters of a parameter file (params.tvp) as the fields of a new job; its model must be
// one of `models`. The cause of a refusal (UTF-8); empty when read.
std::string ParameterFileFields(std::string bytes, const ModelCatalog& models,
                                std::map<std::string, std::string>& fields);
// The full mark of a job from a field (a number above 0 up to 1000); the cause of a refusal
// (UTF-8), empty when accepted.
std::string ParseFullMark(const std::string& text, double& fullMark);
// True when going from one set of parameters to the other needs the answers read and analysed
// again (the paragraph mode or the content model changed); else their stored features are
// scored again.
bool NeedsScoringAgain(const std::string& fromJson, const std::string& toJson);
// A stored record scored again from its features under the parameters; empty when it cannot
// be read or is not scored.
std::string RescoredRecord(const std::string& paramsJson, const std::string& record);

// Why bytes cannot be an answer or question file (empty, a NUL byte, neither UTF-8 nor
// Shift_JIS text); empty when they can.
std::string TextProblem(std::string_view bytes);
// True when the text yields something to analyse under the paragraph rule.
bool HasText(std::string_view bytes, int paragraphMode);

// One answer of a job. Strings are UTF-8 but the record.
struct JobAnswer {
    int number = 0;
    std::string name;     // as shown: the student's name, else the file's
    std::string record;   // the encoded scored record (RecordCodec); empty while unscored
    std::string failure;  // why scoring failed; empty otherwise
    std::optional<double> mark;
    std::string note;
    // Where it came from: the student's id of a sheet, the file's name, the uploaded file
    // (the sheet) and the sheet's row (from 1; 0 for a file of its own).
    std::string studentId, file, source;
    int sheetRow = 0;
};

// A job as the downloads need it.
struct JobData {
    std::string questionName;  // UTF-8, as uploaded
    std::string questionFile;  // the stored question (native path)
    std::string paramsJson;
    std::vector<JobAnswer> answers;  // with records, in number order
    double fullMark = 10;
};

// The teacher's mark and note of the pages' JSON ({mark: a number from 0 to the full mark, or
// null; note: text}). The cause of a refusal (UTF-8); empty when accepted.
std::string ParseReview(const nlohmann::json& body, double fullMark, std::optional<double>& mark, std::string& note);
// The changes of a job's parameters in the pages' JSON (each field a number, a text or null) as
// the fields ParseJobParams reads, and the new full mark in `fullMark` (which holds the job's),
// which no mark of the job's `answers` may exceed. The cause of a refusal (UTF-8); empty when
// accepted.
std::string ParseParamChanges(const nlohmann::json& body, const std::vector<JobAnswer>& answers,
                              std::map<std::string, std::string>& fields, double& fullMark);

// The results file as the desktop program exports it (Shift_JIS, CR LF), the path column
// holding each answer's uploaded name.
std::string ResultsCsv(const JobData& job);
// As tavi-score --format json, with each answer's mark and note.
std::string ResultsJson(const JobData& job);
// The run report (UTF-8 HTML).
std::string ReportHtml(const JobData& job);
// The parameter file of the job, its answers named by their uploaded names.
std::string ParameterFile(const JobData& job);
// The job's grades, one row per answer in number order, with its teacher's marks and notes.
std::vector<GradeRow> GradeRowsOf(const JobData& job);

// Pages: the report's summary of the job (question, parameters, statistics, charts, the
// sortable table, each answer linking to `answerHref` and its number); the feedback sheets of
// every answer in one document, the job named by `title`; the sheet of one answer; one answer
// with its scores, comments and marked text.
std::string JobSummaryHtml(const JobData& job, const std::string& answerHref);
std::string SheetsHtml(const JobData& job, const std::string& title);
std::string AnswerSheetHtml(const JobData& job, const JobAnswer& answer);
std::string AnswerHtml(const std::string& paramsJson, const JobAnswer& answer);

// One scored answer as its page shows it (UTF-8): the scores, the comment text and the
// evidence as JSON (when asked for); false when the record cannot be read.
struct AnswerView {
    double total = 0, penalty = 0, rhetoric = 0, organization = 0, content = 0;
    std::string comments;
    std::string evidenceJson;
};
bool ViewAnswer(const std::string& paramsJson, const std::string& record, AnswerView& view, bool withEvidence);
// An answer as the pages' JSON lists it: number, name, failure, mark, note, where it came from
// and its scores once scored; with `detail` also its comments and evidence.
nlohmann::json AnswerJson(const std::string& paramsJson, const JobAnswer& answer, bool detail);

// The parameters a fit may change, named as the parameters of results.json name them, with
// their labels.
std::vector<ParamField> FittableFields();

// How Tavi's totals, scaled to the full mark, agree with the teacher's marks.
struct AgreementFigures {
    size_t n = 0;
    double pearson = 0, qwk = 0, meanAbsoluteDifference = 0;  // NaN when they cannot be computed
};
struct MarkedAnswerView {
    int number = 0;
    std::string name;  // UTF-8
    double tavi = 0, mark = 0, difference = 0;
};
struct JobAgreement {
    AgreementFigures figures;
    std::vector<MarkedAnswerView> answers;  // by the size of their difference, largest first
    std::string scatterSvg;                 // the answers linking to `answerHref` and their number
};
// The agreement over the scored and marked answers; the refusal (UTF-8) when fewer than the
// fit needs are marked, else empty.
std::string MeasureJobAgreement(const JobData& job, const std::string& answerHref, JobAgreement& agreement);

// What fitting the parameters to the marks suggests: `before` and `after` cross-validated, the
// parameters in the form of ParamsFormJson. `suggested` is false when the fit does not improve
// the agreement (then `paramsForm` holds the job's own).
struct JobFit {
    bool suggested = false;
    std::string paramsForm;
    AgreementFigures before, after;
};
// Fits the parameters named in `names` (all fittable ones when empty). The refusal (UTF-8): too
// few marks, or a name that is not fittable; empty when fitted.
std::string FitJob(const JobData& job, const std::vector<std::string>& names, JobFit& fit);
// The agreement as the pages' JSON gives it: the figures (null where they cannot be computed),
// the full mark, the answers and the scatter plot; the refusal (UTF-8) or empty.
std::string AgreementJson(const JobData& job, const std::string& answerHref, nlohmann::json& body);
// The fit as the pages' JSON gives it: the figures before and after, the current parameters and
// the suggested ones (null, with a message, when the fit does not improve the agreement).
std::string FitJson(const JobData& job, const std::vector<std::string>& names, nlohmann::json& reply);

}  // namespace tavi
