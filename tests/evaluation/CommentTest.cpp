#include <gtest/gtest.h>

#include <map>
#include <set>

#include "evaluation/CommentTable.h"
#include "evaluation/EssayRecord.h"
#include "fakes/TestSupport.h"

namespace tavi {
namespace {

using test::S;
using test::U;

TEST(CommentTable, HoldsFortySixTextsUnderTheExpectedKeys) {
    // index -> classes that have a text
    const std::map<int, std::set<int>> expected = {
        {1, {1, 2}},     {2, {-1, 1, 2}}, {3, {-1, 1, 2}},       {4, {-1, 1, 2}},  {5, {-1, 1, 2}},  {6, {-1, 1, 2}},
        {7, {-1, 1, 2}}, {8, {-1, 1, 2}}, {9, {-1, 1, 2, 3, 4}}, {10, {-1, 1, 2}}, {11, {-1, 1, 2}}, {12, {-1, 1, 2}},
        {13, {1, 2}},    {14, {1, 2}},    {15, {1, 2, 3}},       {16, {1, 2}},
    };
    int texts = 0;
    for (int index = -1; index <= 18; ++index) {
        for (int commentClass = -2; commentClass <= 5; ++commentClass) {
            const std::string* text = FindCommentText(index, commentClass);
            auto it = expected.find(index);
            bool wanted = it != expected.end() && it->second.count(commentClass) > 0;
            EXPECT_EQ(text != nullptr, wanted) << index << " " << commentClass;
            if (text) {
                ++texts;
                EXPECT_FALSE(text->empty());
                EXPECT_EQ(text->find('\n'), std::string::npos);
            }
        }
    }
    EXPECT_EQ(texts, 46);
}

TEST(CommentTable, TextsAreShiftJisBytesOfTheFixedWording) {
    EXPECT_EQ(*FindCommentText(4, 1), S("句（読点と読点の間、あるいは読点と句点の間）が総じて（平均的に）"
                                        "やや長いように見受けられます。"));
    EXPECT_EQ(*FindCommentText(12, -1),
              S("全体としての句の数が少なく、連用形や接続助詞の句の並びの多寡を判定できません。"));
    EXPECT_EQ(*FindCommentText(10, -1), S("漢字が使用されていません。漢字の「よみ」について判定できません。"));
    // Index 9: 1 is the stronger finding of too many kanji, 2 the milder; 3 mild and 4 strong for too few.
    EXPECT_EQ(*FindCommentText(9, 1), S("漢字が必要以上に使われているように見受けられます。"));
    EXPECT_EQ(*FindCommentText(9, 2), S("漢字がやや必要以上に使われているように見受けられます。"));
    EXPECT_EQ(*FindCommentText(9, 3), S("漢字の使用がやや少ないように見受けられます。"));
    EXPECT_EQ(*FindCommentText(9, 4), S("漢字の使用が少ないように見受けられます。"));
    // Half-width percent sign with a blank on each side of the number group.
    const std::string& blank = *FindCommentText(15, 3);
    EXPECT_NE(blank.find(" 10% "), std::string::npos);
    EXPECT_EQ(blank, S("全体の分量が記号を除き 10% 以内で白紙答案とみなします。"));
    EXPECT_EQ(*FindCommentText(12, 2), S("連用形や接続助詞の句の並びの多い文が、幾つかあるように見受けられます。"));
}

TEST(AddComment, AppendsTheTextAndOneLineFeed) {
    EssayRecord record;
    record.AddComment(16, 0.0);
    EXPECT_EQ(record.commentText, "");
    record.AddComment(16, 2.0);
    EXPECT_EQ(record.commentText, S("質問文との関係が希薄であるように見受けられます。\n"));
}

TEST(AddComment, PairsWithoutTextAddNothing) {
    EssayRecord record;
    record.AddComment(13, -1.0);  // empty entry
    record.AddComment(1, -1.0);   // empty entry
    record.AddComment(1, 3.0);    // no such class
    record.AddComment(17, 1.0);   // no such index
    record.AddComment(0, 1.0);
    EXPECT_EQ(record.commentText, "");
    record.AddComment(2, -1.0);
    EXPECT_EQ(U(record.commentText), "文がほとんど含まれていません。文の平均的な長さについては判定不能です。\n");
}

TEST(AddComment, TruncatesTheClassTowardZero) {
    EssayRecord record;
    record.AddComment(15, 3.0);
    EXPECT_EQ(U(record.commentText), "全体の分量が記号を除き 10% 以内で白紙答案とみなします。\n");
    EssayRecord other;
    other.AddComment(16, 1.9);   // class 1
    other.AddComment(14, -0.5);  // truncates to 0: no text for class 0
    EXPECT_EQ(U(other.commentText), "質問文との関係がやや希薄であるように見受けられます。\n");
}

// Features that put nothing but the two organization features in a weak class.
EssayRecord RecordWithWeakOrganizationOnly() {
    EssayRecord record;
    record.vocabularyDiversity = 50;
    record.sentenceStatsCount = record.phraseStatsCount = record.bunsetsuStatsCount = 5;
    record.sentenceLengthMedian = 40;
    record.sentenceLengthMax = 80;
    record.phraseLengthMedian = 20;
    record.phraseLengthMax = 40;
    record.bunsetsuPerPhraseMedian = 2;
    record.bunsetsuPerPhraseMax = 4;
    record.kanaKanjiRatio = 1.0;
    record.longReadingKanji = 0.5;
    record.passiveRate = 0;
    record.cueWordTotal = 1;
    record.demonstrativeTotal = 0;
    record.contentScore = 0.2;
    record.textLength = 1600;
    return record;
}

TEST(CommentOrder, OrganizationThenContentThenLength) {
    ScoringParams params;
    EssayRecord record = RecordWithWeakOrganizationOnly();
    record.ScoreRhetoric(params);
    record.ScoreOrganization(params);
    record.AddComment(16, 1);  // as the content score adds it
    record.ComputeWeightedTotal(params);
    record.ComputeLengthPenalty(params);
    EXPECT_EQ(U(record.commentText),
              "議論の掘り下げがやや不十分であるように見受けられます。\n"
              "議論の接続が不十分であるように見受けられます。\n"
              "質問文との関係がやや希薄であるように見受けられます。\n");
}

TEST(CommentOrder, EachAxisKeepsItsPlaceWhateverTheCallOrder) {
    ScoringParams params;
    EssayRecord record = RecordWithWeakOrganizationOnly();
    record.textLength = 100;
    record.weightedTotal = 1.0;
    record.ComputeLengthPenalty(params);
    record.AddComment(16, 2);
    record.ScoreOrganization(params);
    record.vocabularyDiversity = 200;
    record.ScoreRhetoric(params);
    EXPECT_EQ(U(record.commentText),
              "語彙の多様性が不足しています。\n"
              "議論の掘り下げがやや不十分であるように見受けられます。\n"
              "議論の接続が不十分であるように見受けられます。\n"
              "質問文との関係が希薄であるように見受けられます。\n"
              "全体の分量が記号を除き 10% 以内で白紙答案とみなします。\n");
}

TEST(CommentOrder, RescoringAnAxisReplacesItsComments) {
    ScoringParams params;
    EssayRecord record = RecordWithWeakOrganizationOnly();
    record.ScoreRhetoric(params);
    record.ScoreOrganization(params);
    record.AddComment(16, 1);
    const std::string first = record.commentText;

    // New ratios: the organization score is computed again and its comments are not doubled.
    params.cueWordWeight = 0.8;
    params.demonstrativeWeight = 0.2;
    record.organizationScored = false;
    EXPECT_DOUBLE_EQ(record.ScoreOrganization(params), 1.0 - 0.4 - 0.2);
    EXPECT_EQ(record.commentText, first);

    // The features changed (a stand-in for another answer): the new comments replace the old.
    record.cueWordTotal = 5;
    record.organizationScored = false;
    record.ScoreOrganization(params);
    EXPECT_EQ(U(record.commentText),
              "議論の接続が不十分であるように見受けられます。\n"
              "質問文との関係がやや希薄であるように見受けられます。\n");
}

TEST(CommentOrder, ANewPassWithKeptScoresShowsTheSameCommentsAsAFreshScoring) {
    ScoringParams params;
    EssayRecord fresh = RecordWithWeakOrganizationOnly();
    fresh.vocabularyDiversity = 150;
    fresh.BeginCommentPass();
    fresh.ScoreRhetoric(params);
    fresh.ScoreOrganization(params);
    fresh.AddComment(16, 2);
    fresh.ComputeWeightedTotal(params);
    fresh.ComputeLengthPenalty(params);

    // A second pass over the same record: both scores are kept and add nothing, yet their
    // comments stay; the content and length comments are those of this pass.
    EssayRecord again = fresh;
    again.BeginCommentPass();
    EXPECT_EQ(U(again.commentText),
              "語彙の多様性がやや不足しています。\n"
              "議論の掘り下げがやや不十分であるように見受けられます。\n"
              "議論の接続が不十分であるように見受けられます。\n");
    again.ScoreRhetoric(params);
    again.ScoreOrganization(params);
    again.AddComment(16, 2);
    again.ComputeWeightedTotal(params);
    again.ComputeLengthPenalty(params);
    EXPECT_EQ(again.commentText, fresh.commentText);
}

TEST(CommentOrder, ANewPassDropsCommentsOfScoresThatAreComputedAgain) {
    ScoringParams params;
    EssayRecord record = RecordWithWeakOrganizationOnly();
    record.ScoreOrganization(params);
    record.AddComment(16, 2);
    record.organizationScored = false;  // the ratios changed before the next pass
    record.BeginCommentPass();
    EXPECT_EQ(record.commentText, "");
}

}  // namespace
}  // namespace tavi
