// Features and comments of short answers analysed by ChaSen. The answers live in
// tests/data/evaluation as UTF-8 text; the reader turns them into Shift_JIS.

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>

#include "analysis/AnalyzerBinding.h"
#include "analysis/MorphemeTools.h"
#include "evaluation/CommentTable.h"
#include "evaluation/EssayRecord.h"
#include "fakes/TestSupport.h"

namespace tavi {
namespace {

using test::U;

class AnalysedEssay : public testing::Test {
protected:
    static void SetUpTestSuite() { s_binding = new AnalyzerBinding(); }
    static void TearDownTestSuite() {
        delete s_binding;
        s_binding = nullptr;
    }

    // Reads, analyses and splits one answer, then extracts both feature sets and scores the
    // rhetoric and organization axes, the total and the length penalty as the pipeline does.
    EssayRecord Score(const std::string& name) {
        EssayRecord record;
        const MorphemeTools tools;
        std::string text;
        const std::string path = std::string(TAVI_TEST_DATA_DIR) + "/evaluation/" + name;
        EXPECT_GT(tools.ReadAnswerFile(path, text, MorphemeTools::kParagraphBlankLines), 0u) << path;
        EXPECT_TRUE(s_binding->Load()) << "the ChaSen library could not be loaded";
        std::optional<std::string> analysis = s_binding->Analyze(text);
        EXPECT_TRUE(analysis.has_value());
        if (!analysis) return record;
        tools.SplitAnalysis(*analysis, table);
        record.BeginCommentPass();
        record.ExtractRhetoricFeatures(table);
        record.ExtractOrganizationFeatures(table);
        record.ScoreRhetoric(params);
        record.ScoreOrganization(params);
        record.ComputeWeightedTotal(params);
        record.ComputeLengthPenalty(params);
        record.ComputeFinalScore();
        return record;
    }

    // Number of end-of-line rows of the last analysed table.
    int EndRows() const {
        const MorphemeTools tools;
        int rows = 0;
        for (size_t r = 0; r < table.RowCount(); ++r) rows += tools.IsEndOfLine(table, r) ? 1 : 0;
        return rows;
    }

    static bool HasComment(const EssayRecord& record, int index, int commentClass) {
        const std::string* text = FindCommentText(index, commentClass);
        return text && record.commentText.find(*text + "\n") != std::string::npos;
    }

    static AnalyzerBinding* s_binding;
    ScoringParams params;
    MorphemeTable table;
};

AnalyzerBinding* AnalysedEssay::s_binding = nullptr;

TEST_F(AnalysedEssay, LongSentences) {
    // One paragraph of three sentences without commas, 140, 117 and 120 characters long.
    EssayRecord record = Score("long_sentences.txt");
    ASSERT_TRUE(record.rhetoricFeaturesDone);
    EXPECT_EQ(record.sentenceStatsCount, 3);
    EXPECT_EQ(record.sentenceLengthMax, 280);
    EXPECT_EQ(record.sentenceLengthMedian, 240);
    EXPECT_EQ(record.phraseLengthMax, 280);
    EXPECT_EQ(record.phraseLengthMedian, 240);
    EXPECT_EQ(record.textLength, 2 * (140 + 117 + 120) + 3 * EndRows());
    // Chains of たり and て in the first two sentences.
    EXPECT_GE(record.continuativeSentences, 2);

    EXPECT_TRUE(HasComment(record, 2, 2)) << U(record.commentText);
    EXPECT_TRUE(HasComment(record, 3, 2)) << U(record.commentText);
    EXPECT_TRUE(HasComment(record, 4, 2)) << U(record.commentText);
    EXPECT_TRUE(HasComment(record, 5, 2)) << U(record.commentText);
    EXPECT_TRUE(HasComment(record, 12, 2)) << U(record.commentText);
    // The four length features and the continuative chains cost their whole ratios.
    EXPECT_LE(record.rhetoricScore, 1.0 - 4 * 0.05 - 0.1);
    // しかし and この in the second sentence only.
    EXPECT_EQ(record.cueWordTotal, 1);
    EXPECT_EQ(record.demonstrativeTotal, 1);
    EXPECT_TRUE(HasComment(record, 14, 1));
    EXPECT_TRUE(HasComment(record, 13, 1));
}

TEST_F(AnalysedEssay, NoKanji) {
    // Hiragana only, words separated by ideographic spaces.
    EssayRecord record = Score("no_kanji.txt");
    ASSERT_TRUE(record.rhetoricFeaturesDone);
    EXPECT_EQ(record.kanaKanjiRatio, 0);
    EXPECT_EQ(record.vocabularyDiversity, 10000);
    EXPECT_TRUE(std::isnan(record.longReadingKanji));
    // 135 characters, of which 5 full stops, 2 commas and 21 spaces are symbols.
    EXPECT_EQ(record.textLength, 2 * (135 - 5 - 2 - 21) + 3 * EndRows());
    EXPECT_EQ(record.sentenceStatsCount, 7);

    EXPECT_TRUE(HasComment(record, 1, 2)) << U(record.commentText);
    EXPECT_TRUE(HasComment(record, 9, -1)) << U(record.commentText);
    EXPECT_TRUE(HasComment(record, 10, -1)) << U(record.commentText);
    // The kanji comments come last among the rhetoric ones, before the organization comments.
    const std::string kanjiComments = *FindCommentText(9, -1) + "\n" + *FindCommentText(10, -1) + "\n";
    size_t kanji = record.commentText.find(kanjiComments);
    ASSERT_NE(kanji, std::string::npos);
    const std::string after = record.commentText.substr(kanji + kanjiComments.size());
    const std::string organization = *FindCommentText(14, 2) + "\n" + *FindCommentText(13, 1) + "\n";
    EXPECT_EQ(after.substr(0, organization.size()), organization) << U(after);
    // Vocabulary and both kanji features cost their whole ratios.
    EXPECT_LE(record.rhetoricScore, 1.0 - 0.2 - 0.1 - 0.1 + 1e-12);
    EXPECT_EQ(record.cueWordTotal, 0);
    EXPECT_EQ(record.demonstrativeTotal, 1);  // その
}

TEST_F(AnalysedEssay, RichInConnectives) {
    // Two paragraphs of three sentences, each opened by a connective and a comma.
    EssayRecord record = Score("connectives.txt");
    ASSERT_TRUE(record.organizationFeaturesDone);
    // まず, なぜなら, たとえば, しかし, その結果, つまり; この, それ, その.
    EXPECT_EQ(record.cueWordTotal, 6);
    EXPECT_EQ(record.demonstrativeTotal, 3);
    EXPECT_EQ(record.organizationScore, 1.0);
    EXPECT_FALSE(HasComment(record, 14, 1));
    EXPECT_FALSE(HasComment(record, 13, 1));

    EXPECT_EQ(record.phraseStatsCount, 12);
    // Sentences of 26, 46, 30 | 30, 42, 26 bytes without their punctuation; the second paragraph
    // starts with the 3 bytes of "EOS", so its first sentence counts 33.
    EXPECT_EQ(record.sentenceLengthMax, 46);
    EXPECT_EQ(record.sentenceLengthMedian, (33 + 30) / 2.0);
    EXPECT_EQ(record.textLength, 2 * (112 - 6 - 6) + 3 * EndRows());

    // 200-odd bytes against 800 expected characters: between a tenth and two fifths.
    EXPECT_LT(record.lengthPenalty, 0);
    EXPECT_DOUBLE_EQ(record.finalScore, record.weightedTotal + record.lengthPenalty);
    const std::string lengthComment = *FindCommentText(15, 2) + "\n";
    ASSERT_GE(record.commentText.size(), lengthComment.size());
    EXPECT_EQ(record.commentText.substr(record.commentText.size() - lengthComment.size()), lengthComment);
}

}  // namespace
}  // namespace tavi
