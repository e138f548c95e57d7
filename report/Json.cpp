#include "report/Json.h"

#include <nlohmann/json.hpp>

#include "analysis/Encoding.h"
#include "evaluation/RecordMembers.h"
#include "report/EvidenceJson.h"

namespace tavi {

nlohmann::ordered_json ParamsJson(const ScoringParams& p) {
    nlohmann::ordered_json j = nlohmann::ordered_json::object();
    for (const ParamSpec& param : kParamSpecs)
        std::visit(
            [&](auto member) {
                if constexpr (std::is_same_v<decltype(member), std::string ScoringParams::*>) {
                    j[param.name] = SjisToUtf8(p.*member);
                } else {
                    j[param.name] = p.*member;
                }
            },
            param.member);
    return j;
}

ScoringParams ParamsFromJson(const std::string& text) {
    ScoringParams p;
    auto j = nlohmann::json::parse(text, nullptr, false);
    if (!j.is_object()) return p;
    for (const ParamSpec& param : kParamSpecs) {
        auto it = j.find(param.name);
        if (it == j.end()) continue;
        std::visit(
            [&](auto member) {
                using Member = decltype(member);
                if constexpr (std::is_same_v<Member, std::string ScoringParams::*>) {
                    if (it->is_string()) p.*member = Utf8ToSjis(it->template get<std::string>());
                } else if constexpr (std::is_same_v<Member, int ScoringParams::*>) {
                    if (it->is_number_integer()) p.*member = it->template get<int>();
                } else if (it->is_number()) {
                    p.*member = it->template get<double>();
                }
            },
            param.member);
    }
    return p;
}

std::string FormatJson(const CTaviDoc& doc) { return FormatJson(ReportRunOf(doc)); }

std::string FormatJson(const ReportRun& run, const std::vector<AnswerReview>* reviews) {
    using Json = nlohmann::ordered_json;
    const std::string& question = run.questionPath;
    Json answers = Json::array();
    for (size_t i = 0; i < run.answers.size(); ++i) {
        const EssayRecord& r = run.answers[i];
        Json& answer = answers.emplace_back(Json::object());
        ForEachRecordMember([&](const auto& entry, auto) {
            if constexpr (std::is_same_v<RecordMemberType<decltype(entry)>, std::string>) {
                answer[entry.name] = SjisToUtf8(r.*entry.member);
            } else {
                answer[entry.name] = r.*entry.member;
            }
        });
        answer["evidence"] = EvidenceJson(r, run.params);
        if (reviews && i < reviews->size()) {
            const AnswerReview& review = (*reviews)[i];
            answer["mark"] = review.mark ? Json(*review.mark) : Json();
            answer["note"] = review.note;
        }
    }
    Json root = {{"question", question.empty() ? Json() : Json(SjisToUtf8(question))},
                 {"parameters", ParamsJson(run.params)},
                 {"answers", std::move(answers)}};
    return root.dump(2) + "\n";
}

}  // namespace tavi
