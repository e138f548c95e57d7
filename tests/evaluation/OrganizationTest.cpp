#include <gtest/gtest.h>

#include <string>

#include "evaluation/CommentTable.h"
#include "evaluation/CueWords.h"
#include "evaluation/EssayRecord.h"
#include "fakes/TestSupport.h"

namespace tavi {
namespace {

using test::Eos;
using test::Row;
using test::S;
using test::TableOf;

struct Counted {
    double cueWords;
    double demonstratives;
};

// Cue words and demonstratives of one sentence given in UTF-8.
Counted Count(const std::string& utf8) {
    double demonstratives = 0.0;
    double cueWords = CountCueWords(S(utf8), demonstratives);
    return {cueWords, demonstratives};
}

TEST(CountCueWords, MatchesCharactersNotWords) {
    EXPECT_EQ(Count("それは重要だからだ。").cueWords, 1);
    EXPECT_EQ(Count("このように考えた。").demonstratives, 1);
    EXPECT_EQ(Count("何も関係ない。").cueWords, 0);
}

TEST(CountCueWords, EachEntryCountsOncePerSentence) {
    Counted c = Count("しかし、しかし、それもそれだ。");
    EXPECT_EQ(c.cueWords, 1);
    EXPECT_EQ(c.demonstratives, 1);
}

TEST(CountCueWords, DuplicatedEntriesCountTwice) {
    EXPECT_EQ(Count("最後に述べる。").cueWords, 2);
    EXPECT_EQ(Count("むしろ逆だ。").cueWords, 2);      // group 1 anywhere and group 8 start
    EXPECT_EQ(Count("彼はむしろ逆だ。").cueWords, 1);  // only the anywhere entry
}

TEST(CountCueWords, StartEntriesCountOnlyAtTheStart) {
    EXPECT_EQ(Count("加えて述べる。").cueWords, 1);
    EXPECT_EQ(Count("彼に加えて述べる。").cueWords, 0);
    EXPECT_EQ(Count("それに加えて述べる。").cueWords, 1);
    EXPECT_EQ(Count("「では」と言う。").cueWords, 0);  // an opening bracket hides the start
    EXPECT_EQ(Count("では始める。").cueWords, 1);
    EXPECT_EQ(Count("私が、行く。").cueWords, 0);
    EXPECT_EQ(Count("が、行く。").cueWords, 1);
    EXPECT_EQ(Count("が，行く。").cueWords, 1);
    EXPECT_EQ(Count("そう").cueWords, 0);  // shorter than "そう考える"
}

TEST(CountCueWords, OneStretchCanSatisfySeveralEntries) {
    Counted therefore = Count("このため中止した。");
    EXPECT_EQ(therefore.cueWords, 1);
    EXPECT_EQ(therefore.demonstratives, 1);
    Counted contrast = Count("それに対し反論した。");
    EXPECT_EQ(contrast.cueWords, 1);
    EXPECT_EQ(contrast.demonstratives, 1);
    Counted result = Count("その結果、負けた。");
    EXPECT_EQ(result.cueWords, 1);
    EXPECT_EQ(result.demonstratives, 1);
}

TEST(CountCueWords, PunctuationIsPartOfTheEntry) {
    EXPECT_EQ(Count("どうしてか。").cueWords, 1);
    EXPECT_EQ(Count("どうしてか？。").cueWords, 0);
    EXPECT_EQ(Count("つまり、そうだ。").cueWords, 1);
    EXPECT_EQ(Count("つまりそうだ。").cueWords, 0);
    EXPECT_EQ(Count("また，来る。").cueWords, 1);
}

TEST(CountCueWords, EveryDemonstrativeCountsOnceAndAddsToTheTotal) {
    double demonstratives = 2.0;
    double cueWords = CountCueWords(S("それ、これ、その、この、そういう、こういう"), demonstratives);
    EXPECT_EQ(cueWords, 0);
    EXPECT_EQ(demonstratives, 8.0);
}

TEST(CountCueWords, MatchesOnlyAtCharacterBoundaries) {
    // Bytes 8C 82 | BE | 82 AA: a kanji ending in 0x82, the half-width ｾ, then が.
    // The bytes of "だが" (82 BE 82 AA) start inside the kanji.
    const std::string sentence = "\x8C\x82\xBE\x82\xAA";
    ASSERT_EQ(S("だが"), "\x82\xBE\x82\xAA");
    double demonstratives = 0.0;
    EXPECT_EQ(CountCueWords(sentence, demonstratives), 0);
    EXPECT_EQ(CountCueWords("\xBE" + S("だが"), demonstratives), 1);
}

Row Word(const std::string& s) { return {s, s, s, "名詞-一般", "", ""}; }
Row Period() { return {"。", "。", "。", "記号-句点", "", ""}; }
Row Space() { return {"　", "　", "　", "記号-空白", "", ""}; }

EssayRecord Extract(const MorphemeTable& table) {
    EssayRecord record;
    record.ExtractOrganizationFeatures(table);
    return record;
}

TEST(OrganizationFeatures, SentencesEndAtFullStopsAndLineEnds) {
    EssayRecord record = Extract(TableOf({
        Word("しかし"), Word("それ"), Period(),         // 1 cue word, 1 demonstrative
        Word("まず"), Word("この"), Word("点"), Eos(),  // a line without full stop: 1 and 1
        Word("だが"), Period(), Eos(),                  // 1
    }));
    EXPECT_TRUE(record.organizationFeaturesDone);
    EXPECT_EQ(record.cueWordTotal, 3);
    EXPECT_EQ(record.demonstrativeTotal, 2);
}

TEST(OrganizationFeatures, SentencesDoNotReachAcrossBoundaries) {
    // "だ" + "が、" would make "だが" within one sentence; a full stop or a line end keeps them apart.
    EXPECT_EQ(Extract(TableOf({Word("だ"), Period(), Word("が"), Eos()})).cueWordTotal, 0);
    EXPECT_EQ(Extract(TableOf({Word("だ"), Eos(), Word("が"), Eos()})).cueWordTotal, 0);
    EXPECT_EQ(Extract(TableOf({Word("だ"), Word("が"), Eos()})).cueWordTotal, 1);
}

TEST(OrganizationFeatures, CommasDoNotEndASentence) {
    Row comma = {"、", "、", "、", "記号-読点", "", ""};
    // "では" counts only at the start of a sentence, and a comma starts none.
    EXPECT_EQ(Extract(TableOf({Word("私"), comma, Word("では"), Period(), Eos()})).cueWordTotal, 0);
    EXPECT_EQ(Extract(TableOf({Word("では"), comma, Word("私"), Period(), Eos()})).cueWordTotal, 1);
}

TEST(OrganizationFeatures, WhitespaceIsSkipped) {
    // A paragraph that begins with an ideographic space still matches start entries.
    EXPECT_EQ(Extract(TableOf({Space(), Word("加えて"), Period(), Eos()})).cueWordTotal, 1);
    // A blank between two pieces does not break an entry.
    EXPECT_EQ(Extract(TableOf({Word("しか"), Space(), Word("し"), Period(), Eos()})).cueWordTotal, 1);
    EXPECT_EQ(Extract(TableOf({Space(), Space(), Eos()})).cueWordTotal, 0);
}

TEST(OrganizationFeatures, TextAfterTheLastFullStopWithoutLineEndIsNotCounted) {
    EssayRecord record = Extract(TableOf({Word("しかし"), Period(), Word("その"), Word("結果")}));
    EXPECT_EQ(record.cueWordTotal, 1);
    EXPECT_EQ(record.demonstrativeTotal, 0);
}

TEST(OrganizationFeatures, EmptyTablesLeaveBothTotalsAtZero) {
    for (const MorphemeTable& table : {MorphemeTable(), TableOf({Eos(), Eos()})}) {
        EssayRecord record = Extract(table);
        EXPECT_TRUE(record.organizationFeaturesDone);
        EXPECT_EQ(record.cueWordTotal, 0);
        EXPECT_EQ(record.demonstrativeTotal, 0);
    }
}

TEST(OrganizationFeatures, SecondCallKeepsTheFirstTotals) {
    EssayRecord record = Extract(TableOf({Word("しかし"), Period(), Eos()}));
    record.ExtractOrganizationFeatures(TableOf({Word("まず"), Word("この"), Period(), Word("だが"), Period(), Eos()}));
    EXPECT_EQ(record.cueWordTotal, 1);
    EXPECT_EQ(record.demonstrativeTotal, 0);
}

TEST(OrganizationFeatures, SentencesLongerThanTheBufferAreMatchedWhole) {
    // 70,000 bytes of text before the cue word and the demonstrative.
    MorphemeTable table;
    Morpheme filler;
    filler.fields = {
        S("ああああああああああ"), S("アアアアアアアアアア"), S("ああああああああああ"), S("名詞-一般"), "", ""};
    for (int i = 0; i < 3500; ++i) table.AppendRow(filler);
    for (const Row& r : {Word("だが"), Word("それ"), Period(), Eos()}) {
        Morpheme m;
        m.fields = {S(r.surface), S(r.reading), S(r.baseForm), S(r.pos), S(r.conjType), S(r.conjForm)};
        table.AppendRow(m);
    }
    EssayRecord record = Extract(table);
    EXPECT_EQ(record.cueWordTotal, 1);
    EXPECT_EQ(record.demonstrativeTotal, 1);
}

EssayRecord WithTotals(double cueWords, double demonstratives) {
    EssayRecord record;
    record.cueWordTotal = cueWords;
    record.demonstrativeTotal = demonstratives;
    return record;
}

TEST(ScoreOrganization, EnoughCueWordsAndDemonstrativesScoreOne) {
    EssayRecord record = WithTotals(3, 2);
    EXPECT_EQ(record.ScoreOrganization(ScoringParams()), 1.0);
    EXPECT_TRUE(record.organizationScored);
    EXPECT_EQ(record.commentText, "");
}

TEST(ScoreOrganization, ThresholdsAreNotExceededAtTwoAndOne) {
    EssayRecord record = WithTotals(2, 1);
    EXPECT_DOUBLE_EQ(record.ScoreOrganization(ScoringParams()), 0.5);
    EXPECT_EQ(record.commentText, *FindCommentText(14, 1) + "\n" + *FindCommentText(13, 1) + "\n");
}

TEST(ScoreOrganization, NothingFoundScoresZero) {
    EssayRecord record = WithTotals(0, 0);
    EXPECT_DOUBLE_EQ(record.ScoreOrganization(ScoringParams()), 0.0);
    EXPECT_EQ(record.commentText, S("議論の掘り下げが不十分であるように見受けられます。\n"
                                    "議論の接続が不十分であるように見受けられます。\n"));
}

TEST(ScoreOrganization, WeightsAreNotBounded) {
    EssayRecord record = WithTotals(0, 1);
    ScoringParams params;
    params.cueWordWeight = 1.5;
    params.demonstrativeWeight = 0.25;
    EXPECT_DOUBLE_EQ(record.ScoreOrganization(params), 1.0 - 1.5 - 0.125);
}

TEST(ScoreOrganization, KeptScoreIsReturnedWithoutComments) {
    EssayRecord record = WithTotals(1, 5);
    double first = record.ScoreOrganization(ScoringParams());
    std::string comments = record.commentText;
    record.cueWordTotal = 10;
    EXPECT_EQ(record.ScoreOrganization(ScoringParams()), first);
    EXPECT_EQ(record.commentText, comments);
    EXPECT_DOUBLE_EQ(first, 0.75);
}

}  // namespace
}  // namespace tavi
