#include "report/Json.h"

#include <nlohmann/json.hpp>

#include "analysis/Encoding.h"
#include "report/EvidenceJson.h"

namespace tavi {

std::string FormatJson(const CTaviDoc& doc) { return FormatJson(ReportRunOf(doc)); }

std::string FormatJson(const ReportRun& run, const std::vector<AnswerReview>* reviews) {
    using Json = nlohmann::ordered_json;
    const ScoringParams& p = run.params;
    const std::string& question = run.questionPath;
    Json answers = Json::array();
    for (size_t i = 0; i < run.answers.size(); ++i) {
        const EssayRecord& r = run.answers[i];
        answers.push_back({{"id", r.id},
                           {"status", r.status},
                           {"path", SjisToUtf8(r.path)},
                           {"title", SjisToUtf8(r.title)},
                           {"sentenceLengthMedian", r.sentenceLengthMedian},
                           {"sentenceLengthMax", r.sentenceLengthMax},
                           {"sentenceStatsCount", r.sentenceStatsCount},
                           {"phraseLengthMedian", r.phraseLengthMedian},
                           {"phraseLengthMax", r.phraseLengthMax},
                           {"phraseStatsCount", r.phraseStatsCount},
                           {"bunsetsuPerPhraseMedian", r.bunsetsuPerPhraseMedian},
                           {"bunsetsuPerPhraseMax", r.bunsetsuPerPhraseMax},
                           {"bunsetsuStatsCount", r.bunsetsuStatsCount},
                           {"vocabularyDiversity", r.vocabularyDiversity},
                           {"kanaKanjiRatio", r.kanaKanjiRatio},
                           {"longReadingKanji", r.longReadingKanji},
                           {"longReadingShare9", r.longReadingShare9},
                           {"longReadingShare11", r.longReadingShare11},
                           {"passiveRate", r.passiveRate},
                           {"attributiveSentences", r.attributiveSentences},
                           {"continuativeSentences", r.continuativeSentences},
                           {"rhetoricFeaturesDone", r.rhetoricFeaturesDone},
                           {"rhetoricScore", r.rhetoricScore},
                           {"rhetoricScored", r.rhetoricScored},
                           {"cueWordTotal", r.cueWordTotal},
                           {"demonstrativeTotal", r.demonstrativeTotal},
                           {"organizationFeaturesDone", r.organizationFeaturesDone},
                           {"organizationScore", r.organizationScore},
                           {"organizationScored", r.organizationScored},
                           {"contentSimilarity", r.contentSimilarity},
                           {"contentScore", r.contentScore},
                           {"weightedTotal", r.weightedTotal},
                           {"textLength", r.textLength},
                           {"lengthPenalty", r.lengthPenalty},
                           {"finalScore", r.finalScore},
                           {"commentText", SjisToUtf8(r.commentText)},
                           {"evidence", EvidenceJson(r, p)}});
        if (reviews && i < reviews->size()) {
            const AnswerReview& review = (*reviews)[i];
            answers.back()["mark"] = review.mark ? Json(*review.mark) : Json();
            answers.back()["note"] = review.note;
        }
    }
    Json root = {{"question", question.empty() ? Json() : Json(SjisToUtf8(question))},
                 {"parameters",
                  {{"expectedLength", p.expectedLength},
                   {"rhetoricWeight", p.rhetoricWeight},
                   {"organizationWeight", p.organizationWeight},
                   {"contentWeight", p.contentWeight},
                   {"paragraphMode", p.paragraphMode},
                   {"modelChoice", p.modelChoice},
                   {"modelPath", SjisToUtf8(p.modelPath)},
                   {"sentenceLengthMedianWeight", p.sentenceLengthMedianWeight},
                   {"phraseLengthMedianWeight", p.phraseLengthMedianWeight},
                   {"bunsetsuPerPhraseMedianWeight", p.bunsetsuPerPhraseMedianWeight},
                   {"sentenceLengthMaxWeight", p.sentenceLengthMaxWeight},
                   {"phraseLengthMaxWeight", p.phraseLengthMaxWeight},
                   {"bunsetsuPerPhraseMaxWeight", p.bunsetsuPerPhraseMaxWeight},
                   {"vocabularyDiversityWeight", p.vocabularyDiversityWeight},
                   {"kanaKanjiRatioWeight", p.kanaKanjiRatioWeight},
                   {"longReadingKanjiWeight", p.longReadingKanjiWeight},
                   {"passiveRateWeight", p.passiveRateWeight},
                   {"attributiveSentencesWeight", p.attributiveSentencesWeight},
                   {"continuativeSentencesWeight", p.continuativeSentencesWeight},
                   {"cueWordWeight", p.cueWordWeight},
                   {"demonstrativeWeight", p.demonstrativeWeight}}},
                 {"answers", std::move(answers)}};
    return root.dump(2) + "\n";
}

}  // namespace tavi
