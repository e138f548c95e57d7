#include "cli/Output.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>

#include "analysis/Encoding.h"
#include "cli/EvidenceJson.h"

namespace tavi {
namespace {

std::string Number(double v) {
    if (!std::isfinite(v)) return "null";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.17g", v);
    return buffer;
}

std::string Text(const std::string& sjis) { return nlohmann::json(SjisToUtf8(sjis)).dump(); }

// Builds one JSON object member by member, in the order given.
class Object {
public:
    explicit Object(std::string indent) : m_indent(std::move(indent)) {}
    Object& Raw(const char* name, const std::string& json) {
        m_text += (m_text.empty() ? "{\n" : ",\n") + m_indent + "  \"" + name + "\": " + json;
        return *this;
    }
    Object& Real(const char* name, double v) { return Raw(name, Number(v)); }
    Object& Int(const char* name, long long v) { return Raw(name, std::to_string(v)); }
    Object& Bool(const char* name, bool v) { return Raw(name, v ? "true" : "false"); }
    Object& Str(const char* name, const std::string& sjis) { return Raw(name, Text(sjis)); }
    std::string Close() const { return m_text.empty() ? "{}" : m_text + "\n" + m_indent + "}"; }

private:
    std::string m_indent;
    std::string m_text;
};

}  // namespace

std::string FormatTable(const MemoryListView& view, int rows) {
    static const std::string headers[] = {Sjis("番号"), Sjis("ファイル名"), Sjis("状態"), Sjis("総合得点"),
                                          Sjis("文量減点"), Sjis("修辞"), Sjis("論理"), Sjis("内容"), Sjis("場所")};
    // In Shift_JIS a character's bytes are its width on a terminal, so byte counts align columns.
    size_t widths[9];
    for (int c = 0; c < 9; ++c) {
        widths[c] = headers[c].size();
        for (int r = 0; r < rows; ++r) widths[c] = std::max(widths[c], view.Cell(r, c).size());
    }
    auto line = [&](auto cell) {
        std::string sjis;
        for (int c = 0; c < 9; ++c) {
            std::string text = cell(c);
            bool number = c == 0 || (c >= 3 && c <= 7);
            std::string pad(widths[c] - text.size(), ' ');
            sjis += number ? pad + text : text + (c == 8 ? "" : pad);
            if (c < 8) sjis += "  ";
        }
        return SjisToUtf8(sjis) + "\n";
    };
    std::string out = line([&](int c) { return headers[c]; });
    for (int r = 0; r < rows; ++r) out += line([&](int c) { return view.Cell(r, c); });
    return out;
}

std::string FormatJson(const CTaviDoc& doc) {
    ReportRun run;
    run.params = doc.GetParams();
    run.questionPath = doc.GetQuestionPath();
    for (int i = 0; i < doc.GetAnswerCount(); ++i) run.answers.push_back(doc.GetAnswer(i));
    return FormatJson(run);
}

std::string FormatJson(const ReportRun& run, const std::vector<AnswerReview>* reviews) {
    const ScoringParams& p = run.params;
    const std::string& question = run.questionPath;
    Object params("  ");
    params.Real("expectedLength", p.expectedLength)
        .Real("rhetoricWeight", p.rhetoricWeight)
        .Real("organizationWeight", p.organizationWeight)
        .Real("contentWeight", p.contentWeight)
        .Int("paragraphMode", p.paragraphMode)
        .Int("modelChoice", p.modelChoice)
        .Str("modelPath", p.modelPath)
        .Real("sentenceLengthMedianWeight", p.sentenceLengthMedianWeight)
        .Real("phraseLengthMedianWeight", p.phraseLengthMedianWeight)
        .Real("bunsetsuPerPhraseMedianWeight", p.bunsetsuPerPhraseMedianWeight)
        .Real("sentenceLengthMaxWeight", p.sentenceLengthMaxWeight)
        .Real("phraseLengthMaxWeight", p.phraseLengthMaxWeight)
        .Real("bunsetsuPerPhraseMaxWeight", p.bunsetsuPerPhraseMaxWeight)
        .Real("vocabularyDiversityWeight", p.vocabularyDiversityWeight)
        .Real("kanaKanjiRatioWeight", p.kanaKanjiRatioWeight)
        .Real("longReadingKanjiWeight", p.longReadingKanjiWeight)
        .Real("passiveRateWeight", p.passiveRateWeight)
        .Real("attributiveSentencesWeight", p.attributiveSentencesWeight)
        .Real("continuativeSentencesWeight", p.continuativeSentencesWeight)
        .Real("cueWordWeight", p.cueWordWeight)
        .Real("demonstrativeWeight", p.demonstrativeWeight);
    std::string answers;
    for (size_t i = 0; i < run.answers.size(); ++i) {
        const EssayRecord& r = run.answers[i];
        Object a("    ");
        a.Int("id", r.id)
            .Int("status", r.status)
            .Str("path", r.path)
            .Str("title", r.title)
            .Real("sentenceLengthMedian", r.sentenceLengthMedian)
            .Real("sentenceLengthMax", r.sentenceLengthMax)
            .Int("sentenceStatsCount", r.sentenceStatsCount)
            .Real("phraseLengthMedian", r.phraseLengthMedian)
            .Real("phraseLengthMax", r.phraseLengthMax)
            .Int("phraseStatsCount", r.phraseStatsCount)
            .Real("bunsetsuPerPhraseMedian", r.bunsetsuPerPhraseMedian)
            .Real("bunsetsuPerPhraseMax", r.bunsetsuPerPhraseMax)
            .Int("bunsetsuStatsCount", r.bunsetsuStatsCount)
            .Real("vocabularyDiversity", r.vocabularyDiversity)
            .Real("kanaKanjiRatio", r.kanaKanjiRatio)
            .Real("longReadingKanji", r.longReadingKanji)
            .Real("longReadingShare9", r.longReadingShare9)
            .Real("longReadingShare11", r.longReadingShare11)
            .Real("passiveRate", r.passiveRate)
            .Real("attributiveSentences", r.attributiveSentences)
            .Real("continuativeSentences", r.continuativeSentences)
            .Bool("rhetoricFeaturesDone", r.rhetoricFeaturesDone)
            .Real("rhetoricScore", r.rhetoricScore)
            .Bool("rhetoricScored", r.rhetoricScored)
            .Real("cueWordTotal", r.cueWordTotal)
            .Real("demonstrativeTotal", r.demonstrativeTotal)
            .Bool("organizationFeaturesDone", r.organizationFeaturesDone)
            .Real("organizationScore", r.organizationScore)
            .Bool("organizationScored", r.organizationScored)
            .Real("contentSimilarity", r.contentSimilarity)
            .Real("contentScore", r.contentScore)
            .Real("weightedTotal", r.weightedTotal)
            .Real("textLength", r.textLength)
            .Real("lengthPenalty", r.lengthPenalty)
            .Real("finalScore", r.finalScore)
            .Str("commentText", r.commentText)
            .Raw("evidence", EvidenceJson(r, p, "      "));
        if (reviews && i < reviews->size()) {
            const AnswerReview& review = (*reviews)[i];
            a.Raw("mark", review.mark ? Number(*review.mark) : "null")
                .Raw("note", nlohmann::json(review.note).dump());
        }
        answers += (answers.empty() ? "\n    " : ",\n    ") + a.Close();
    }
    Object root("");
    root.Raw("question", question.empty() ? "null" : Text(question))
        .Raw("parameters", params.Close())
        .Raw("answers", answers.empty() ? "[]" : "[" + answers + "\n  ]");
    return root.Close() + "\n";
}

}  // namespace tavi
