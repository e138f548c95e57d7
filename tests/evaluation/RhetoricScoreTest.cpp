#include <gtest/gtest.h>

#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "evaluation/CommentTable.h"
#include "evaluation/EssayRecord.h"
#include "fakes/TestSupport.h"

namespace tavi {
namespace {

// Features that are all in class 0.
EssayRecord GoodRecord() {
    EssayRecord record;
    record.vocabularyDiversity = 50;
    record.sentenceStatsCount = record.phraseStatsCount = record.bunsetsuStatsCount = 6;
    record.sentenceLengthMedian = 60;
    record.sentenceLengthMax = 150;
    record.phraseLengthMedian = 30;
    record.phraseLengthMax = 80;
    record.bunsetsuPerPhraseMedian = 3;
    record.bunsetsuPerPhraseMax = 8;
    record.kanaKanjiRatio = 1.0;
    record.longReadingKanji = 0.4;
    record.passiveRate = 0.5;  // 0.5 / 6 per phrase
    record.attributiveSentences = 1;
    record.continuativeSentences = 0;
    return record;
}

// The comment lines of a record, split at line feeds.
std::vector<std::string> Lines(const EssayRecord& record) {
    std::vector<std::string> lines;
    std::istringstream in(record.commentText);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string Text(int index, int commentClass) { return *FindCommentText(index, commentClass); }

TEST(ScoreRhetoric, AllFeaturesFineScoresOneWithoutComments) {
    EssayRecord record = GoodRecord();
    EXPECT_DOUBLE_EQ(record.ScoreRhetoric(ScoringParams()), 1.0);
    EXPECT_TRUE(record.rhetoricScored);
    EXPECT_EQ(record.rhetoricScore, 1.0);
    EXPECT_EQ(record.commentText, "");
}

TEST(ScoreRhetoric, ClassOneEverywhereScoresHalf) {
    EssayRecord record;
    record.vocabularyDiversity = 150;
    record.sentenceStatsCount = record.phraseStatsCount = record.bunsetsuStatsCount = 3;
    record.phraseLengthMedian = 50;
    record.phraseLengthMax = 120;
    record.sentenceLengthMedian = 120;
    record.sentenceLengthMax = 200;
    record.passiveRate = 1.2;  // judged as 1.2 / 3 = 0.4
    record.attributiveSentences = 2;
    record.continuativeSentences = 1;
    record.bunsetsuPerPhraseMedian = 8;
    record.bunsetsuPerPhraseMax = 14;
    record.kanaKanjiRatio = 1.5;  // band 3
    record.longReadingKanji = 0.2;
    EXPECT_NEAR(record.ScoreRhetoric(ScoringParams()), 0.5, 1e-12);
    // Comments in the order of computation, index 9 with its band.
    EXPECT_EQ(Lines(record),
              (std::vector<std::string>{Text(1, 1), Text(4, 1), Text(5, 1), Text(2, 1), Text(3, 1), Text(8, 1),
                                        Text(11, 1), Text(12, 1), Text(6, 1), Text(7, 1), Text(9, 3), Text(10, 1)}));
}

TEST(ScoreRhetoric, FewerThanThreePhrasesCannotBeJudged) {
    EssayRecord record = GoodRecord();
    record.sentenceStatsCount = record.phraseStatsCount = record.bunsetsuStatsCount = 2;
    ScoringParams params;
    // The nine phrase-, sentence- and bunsetsu-level ratios are lost in full.
    double lost = params.phraseLengthMedianWeight + params.phraseLengthMaxWeight + params.sentenceLengthMedianWeight +
                  params.sentenceLengthMaxWeight + params.passiveRateWeight + params.attributiveSentencesWeight +
                  params.continuativeSentencesWeight + params.bunsetsuPerPhraseMedianWeight +
                  params.bunsetsuPerPhraseMaxWeight;
    EXPECT_NEAR(record.ScoreRhetoric(params), 1.0 - lost, 1e-12);
    // 12 comes before 11 among the cannot-judge comments.
    EXPECT_EQ(Lines(record), (std::vector<std::string>{Text(4, -1), Text(5, -1), Text(2, -1), Text(3, -1), Text(8, -1),
                                                       Text(12, -1), Text(11, -1), Text(6, -1), Text(7, -1)}));
}

TEST(ScoreRhetoric, ThreePhrasesAreEnough) {
    EssayRecord record = GoodRecord();
    record.sentenceStatsCount = record.phraseStatsCount = record.bunsetsuStatsCount = 3;
    EXPECT_DOUBLE_EQ(record.ScoreRhetoric(ScoringParams()), 1.0);
}

TEST(ScoreRhetoric, EachCountGuardsItsOwnGroup) {
    EssayRecord record = GoodRecord();
    record.bunsetsuStatsCount = 0;
    record.ScoreRhetoric(ScoringParams());
    EXPECT_EQ(Lines(record), (std::vector<std::string>{Text(6, -1), Text(7, -1)}));
}

TEST(ScoreRhetoric, NoKanjiLosesBothKanjiRatios) {
    EssayRecord record = GoodRecord();
    record.kanaKanjiRatio = 0;
    ScoringParams params;
    EXPECT_NEAR(record.ScoreRhetoric(params), 1.0 - params.kanaKanjiRatioWeight - params.longReadingKanjiWeight, 1e-12);
    EXPECT_EQ(Lines(record), (std::vector<std::string>{Text(9, -1), Text(10, -1)}));
}

TEST(ScoreRhetoric, UndefinedLongReadingShareIsClassTwo) {
    EssayRecord record = GoodRecord();
    record.longReadingKanji = std::numeric_limits<double>::quiet_NaN();
    EXPECT_NEAR(record.ScoreRhetoric(ScoringParams()), 0.9, 1e-12);
    EXPECT_EQ(Lines(record), std::vector<std::string>{Text(10, 2)});
}

TEST(ScoreRhetoric, NoKanjiNounIsClassTwoVocabulary) {
    EssayRecord record = GoodRecord();
    record.vocabularyDiversity = 10000;
    EXPECT_NEAR(record.ScoreRhetoric(ScoringParams()), 0.8, 1e-12);
    EXPECT_EQ(Lines(record), std::vector<std::string>{Text(1, 2)});
}

TEST(ScoreRhetoric, SentenceMedianThresholds) {
    const std::pair<double, double> cases[] = {{99, 1.0}, {100, 0.975}, {177, 0.975}, {178, 0.95}};
    for (auto [median, score] : cases) {
        EssayRecord record = GoodRecord();
        record.sentenceLengthMedian = median;
        EXPECT_NEAR(record.ScoreRhetoric(ScoringParams()), score, 1e-12) << median;
    }
}

TEST(ScoreRhetoric, KanjiBandFoldsIntoAClassButTheCommentGetsTheBand) {
    // ratio, band given to the comment, score with kanaKanjiRatioWeight 0.1
    const struct {
        double ratio;
        int band;
        double score;
    } cases[] = {{1.0, 0, 1.0}, {0.5, 1, 0.9}, {0.8, 2, 0.95}, {1.5, 3, 0.95}, {2.0, 4, 0.9}};
    for (const auto& c : cases) {
        EssayRecord record = GoodRecord();
        record.kanaKanjiRatio = c.ratio;
        EXPECT_NEAR(record.ScoreRhetoric(ScoringParams()), c.score, 1e-12) << c.ratio;
        if (c.band == 0) {
            EXPECT_EQ(record.commentText, "") << c.ratio;
        } else {
            EXPECT_EQ(Lines(record), std::vector<std::string>{Text(9, c.band)}) << c.ratio;
        }
    }
}

TEST(ScoreRhetoric, PassiveRateIsDividedAgainByThePhrases) {
    EssayRecord record = GoodRecord();
    record.passiveRate = 0.9;  // 0.15 per phrase after the second division: class 0
    EXPECT_DOUBLE_EQ(record.ScoreRhetoric(ScoringParams()), 1.0);
    EssayRecord heavy = GoodRecord();
    heavy.passiveRate = 3.3;  // 0.55: class 2
    EXPECT_NEAR(heavy.ScoreRhetoric(ScoringParams()), 0.9, 1e-12);
    EXPECT_EQ(Lines(heavy), std::vector<std::string>{Text(8, 2)});
}

TEST(ScoreRhetoric, RatiosComeFromTheParameters) {
    EssayRecord record = GoodRecord();
    record.sentenceLengthMax = 300;  // class 2
    record.phraseLengthMedian = 60;  // class 1
    ScoringParams params;
    params.sentenceLengthMaxWeight = 0.3;
    params.phraseLengthMedianWeight = 0.4;
    EXPECT_NEAR(record.ScoreRhetoric(params), 1.0 - 0.3 - 0.2, 1e-12);
}

TEST(ScoreRhetoric, KeptScoreIsReturnedWithoutComments) {
    EssayRecord record = GoodRecord();
    record.vocabularyDiversity = 200;
    double first = record.ScoreRhetoric(ScoringParams());
    std::string comments = record.commentText;
    record.vocabularyDiversity = 50;
    EXPECT_EQ(record.ScoreRhetoric(ScoringParams()), first);
    EXPECT_EQ(record.commentText, comments);
}

TEST(ScoreRhetoric, RescoringReplacesTheRhetoricComments) {
    EssayRecord record = GoodRecord();
    record.vocabularyDiversity = 200;
    record.AddComment(16, 1);
    record.ScoreRhetoric(ScoringParams());
    record.rhetoricScored = false;
    record.vocabularyDiversity = 150;
    record.ScoreRhetoric(ScoringParams());
    EXPECT_EQ(Lines(record), (std::vector<std::string>{Text(1, 1), Text(16, 1)}));
}

}  // namespace
}  // namespace tavi
