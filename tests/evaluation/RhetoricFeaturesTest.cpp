#include <gtest/gtest.h>

#include <cmath>

#include "evaluation/EssayRecord.h"
#include "fakes/TestSupport.h"

namespace tavi {
namespace {

using test::Eos;
using test::Row;
using test::TableOf;

// Hand-made rows in the analyser's tagging.
Row Kana(const std::string& s) { return {s, s, s, "感動詞", "", ""}; }
Row Noun(const std::string& s, const std::string& reading) { return {s, reading, s, "名詞-一般", "", ""}; }
Row Particle(const std::string& s) { return {s, s, s, "助詞-格助詞-一般", "", ""}; }
Row Period() { return {"。", "。", "。", "記号-句点", "", ""}; }
Row Comma() { return {"、", "、", "、", "記号-読点", "", ""}; }

EssayRecord Extract(const MorphemeTable& table) {
    EssayRecord record;
    record.ExtractRhetoricFeatures(table);
    return record;
}

TEST(RhetoricFeatures, WorkedExampleOfOneShortSentence) {
    EssayRecord record = Extract(TableOf({
        {"私", "ワタシ", "私", "名詞-代名詞-一般", "", ""},
        {"は", "ハ", "は", "助詞-係助詞", "", ""},
        {"学生", "ガクセイ", "学生", "名詞-一般", "", ""},
        {"です", "デス", "です", "助動詞", "特殊・デス", "基本形"},
        Period(),
        Eos(),
    }));
    EXPECT_TRUE(record.rhetoricFeaturesDone);
    EXPECT_EQ(record.sentenceLengthMedian, 12);
    EXPECT_EQ(record.sentenceLengthMax, 12);
    EXPECT_EQ(record.sentenceStatsCount, 1);
    EXPECT_EQ(record.phraseLengthMedian, 12);
    EXPECT_EQ(record.phraseLengthMax, 12);
    EXPECT_EQ(record.phraseStatsCount, 1);
    EXPECT_EQ(record.bunsetsuPerPhraseMedian, 2);
    EXPECT_EQ(record.bunsetsuPerPhraseMax, 2);
    EXPECT_EQ(record.bunsetsuStatsCount, 1);
    EXPECT_EQ(record.vocabularyDiversity, 0);  // two kanji nouns, once each
    EXPECT_EQ(record.textLength, 15);          // 6 kanji bytes; は, です and "EOS"
    EXPECT_DOUBLE_EQ(record.kanaKanjiRatio, 1.5);
    EXPECT_EQ(record.longReadingShare9, 0);  // runs of 6 and 8 reading bytes
    EXPECT_EQ(record.longReadingShare11, 0);
    EXPECT_EQ(record.longReadingKanji, 0);
    EXPECT_EQ(record.passiveRate, 0);
    EXPECT_EQ(record.attributiveSentences, 0);  // です before the full stop
    EXPECT_EQ(record.continuativeSentences, 0);
}

TEST(RhetoricFeatures, EmptyTable) {
    EssayRecord record = Extract(MorphemeTable());
    EXPECT_TRUE(record.rhetoricFeaturesDone);
    EXPECT_EQ(record.sentenceLengthMedian, 0);
    EXPECT_EQ(record.sentenceLengthMax, 0);
    EXPECT_EQ(record.sentenceStatsCount, 0);
    EXPECT_EQ(record.phraseLengthMax, 0);
    EXPECT_EQ(record.bunsetsuPerPhraseMax, 0);
    EXPECT_EQ(record.vocabularyDiversity, 10000);
    EXPECT_EQ(record.kanaKanjiRatio, 0);
    EXPECT_EQ(record.textLength, 0);
    EXPECT_TRUE(std::isnan(record.passiveRate));
    EXPECT_TRUE(std::isnan(record.longReadingShare9));
    EXPECT_TRUE(std::isnan(record.longReadingShare11));
    EXPECT_TRUE(std::isnan(record.longReadingKanji));
}

TEST(RhetoricFeatures, SecondCallKeepsTheFirstFeatures) {
    EssayRecord record = Extract(TableOf({Kana("あ"), Period(), Eos()}));
    record.ExtractRhetoricFeatures(TableOf({Kana("ああああ"), Period(), Kana("い"), Period(), Eos()}));
    EXPECT_EQ(record.sentenceLengthMax, 2);
    EXPECT_EQ(record.sentenceStatsCount, 1);
}

TEST(RhetoricFeatures, EveryParagraphAfterTheFirstStartsAtThreeBytes) {
    // The end row "EOS" counts as a 3-byte word of the next sentence and of the kana bytes.
    EssayRecord record = Extract(TableOf({Kana("あ"), Period(), Eos(), Kana("い"), Period(), Eos()}));
    EXPECT_EQ(record.sentenceStatsCount, 2);
    EXPECT_EQ(record.sentenceLengthMax, 5);
    EXPECT_EQ(record.sentenceLengthMedian, 3.5);
    EXPECT_EQ(record.textLength, 10);
}

TEST(RhetoricFeatures, ParagraphEndClosesASentenceWithoutFullStop) {
    EssayRecord record = Extract(TableOf({Kana("あい"), Kana("う"), Eos(), Kana("え"), Period(), Eos()}));
    // "あいう" closes at the end row; "EOS" + "え" is the second sentence.
    EXPECT_EQ(record.sentenceStatsCount, 2);
    EXPECT_EQ(record.sentenceLengthMax, 6);
    EXPECT_EQ(record.sentenceLengthMedian, 5.5);
}

TEST(RhetoricFeatures, OpenSentenceAtTheEndIsDropped) {
    EssayRecord record = Extract(TableOf({Kana("あ"), Comma(), Kana("いいいい")}));
    EXPECT_EQ(record.phraseStatsCount, 1);
    EXPECT_EQ(record.phraseLengthMax, 2);
    EXPECT_EQ(record.sentenceLengthMax, 0);
    EXPECT_EQ(record.textLength, 10);
}

TEST(RhetoricFeatures, ConsecutiveFullStopsCloseAnEmptySentence) {
    EssayRecord record = Extract(TableOf({Kana("ああ"), Period(), Period(), Eos()}));
    EXPECT_EQ(record.sentenceStatsCount, 2);
    EXPECT_EQ(record.sentenceLengthMax, 4);
    EXPECT_EQ(record.sentenceLengthMedian, 2);  // (4 + 0) / 2
    EXPECT_EQ(record.phraseLengthMedian, 2);
}

TEST(RhetoricFeatures, CommaAfterFullStopAddsAnEmptyPhrase) {
    EssayRecord record = Extract(TableOf({Kana("ああ"), Period(), Comma(), Kana("い"), Period(), Eos()}));
    EXPECT_EQ(record.phraseStatsCount, 3);  // 4, 0, 2
    EXPECT_EQ(record.phraseLengthMedian, 2);
    EXPECT_EQ(record.sentenceLengthMedian, 3);  // 4 and 2
    EXPECT_EQ(record.bunsetsuStatsCount, 3);
}

TEST(RhetoricFeatures, MediansOfOddAndEvenCounts) {
    // Phrases of 2, 6 and 4 bytes, then 8 bytes in a second sentence.
    MorphemeTable odd = TableOf({Kana("あ"), Comma(), Kana("あああ"), Comma(), Kana("ああ"), Period(), Eos()});
    EssayRecord first = Extract(odd);
    EXPECT_EQ(first.phraseLengthMedian, 4);
    EXPECT_EQ(first.phraseLengthMax, 6);
    MorphemeTable even = TableOf(
        {Kana("あ"), Comma(), Kana("あああ"), Comma(), Kana("ああ"), Period(), Kana("ああああ"), Period(), Eos()});
    EssayRecord second = Extract(even);
    EXPECT_EQ(second.phraseStatsCount, 4);
    EXPECT_EQ(second.phraseLengthMedian, 5);  // (6 + 4) / 2
    EXPECT_EQ(second.phraseLengthMax, 8);
    EXPECT_EQ(second.sentenceLengthMedian, 10);  // sentences of 12 and 8 bytes
}

TEST(RhetoricFeatures, FunctionWordsArePerPhrase) {
    EssayRecord record = Extract(TableOf({
        Kana("あ"),
        Particle("が"),
        Particle("に"),
        Particle("を"),
        Comma(),  // 3
        Kana("い"),
        {"だ", "ダ", "だ", "助動詞", "特殊・ダ", "基本形"},
        Comma(),  // 1
        {"しかし", "シカシ", "しかし", "接続詞", "", ""},
        Kana("う"),
        Particle("と"),
        Period(),  // 2
        Eos(),
    }));
    EXPECT_EQ(record.bunsetsuStatsCount, 3);
    EXPECT_EQ(record.bunsetsuPerPhraseMedian, 2);
    EXPECT_EQ(record.bunsetsuPerPhraseMax, 3);
}

TEST(RhetoricFeatures, KanjiNounRunsEndAtKanaWordsOnly) {
    EssayRecord record = Extract(TableOf({
        // 経済 + 政策: a katakana noun between them neither ends nor extends the run (16 bytes).
        Noun("経済", "ケイザイ"),
        Noun("ゲーム", "ゲーム"),
        Noun("政策", "セイサク"),
        Particle("と"),
        // 東京: 10 bytes; a kanji numeral neither counts nor ends it.
        Noun("東京", "トウキョウ"),
        {"三", "サン", "三", "名詞-数", "", ""},
        Particle("の"),
        // 花: 4 bytes, ended by the end row.
        Noun("花", "ハナ"),
        Eos(),
    }));
    EXPECT_DOUBLE_EQ(record.longReadingShare9, 2.0 / 3.0);  // 16 and 10 of (16, 10, 4)
    EXPECT_DOUBLE_EQ(record.longReadingShare11, 1.0 / 3.0);
    EXPECT_EQ(record.longReadingKanji, record.longReadingShare9);
}

TEST(RhetoricFeatures, KanjiVerbsGiveKanjiBytesButNoRun) {
    EssayRecord record = Extract(TableOf({
        {"食べ", "タベ", "食べる", "動詞-自立", "一段", "連用形"},
        {"た", "タ", "た", "助動詞", "特殊・タ", "基本形"},
        Period(),
        Eos(),
    }));
    EXPECT_TRUE(std::isnan(record.longReadingShare9));
    EXPECT_TRUE(std::isnan(record.longReadingShare11));
    EXPECT_EQ(record.vocabularyDiversity, 10000);
    EXPECT_DOUBLE_EQ(record.kanaKanjiRatio, 5.0 / 4.0);  // た and "EOS" against 食べ
}

TEST(RhetoricFeatures, YulesKOfRepeatedKanjiNouns) {
    // 問題 five times and 社会 once: T = 6, Q = 25 + 1.
    EssayRecord record = Extract(TableOf({
        Noun("問題", "モンダイ"),
        Particle("と"),
        Noun("問題", "モンダイ"),
        Particle("と"),
        Noun("問題", "モンダイ"),
        Particle("と"),
        Noun("問題", "モンダイ"),
        Particle("と"),
        Noun("問題", "モンダイ"),
        Particle("と"),
        Noun("社会", "シャカイ"),
        {"三", "サン", "三", "名詞-数", "", ""},
        {"三", "サン", "三", "名詞-数", "", ""},
        Period(),
        Eos(),
    }));
    EXPECT_DOUBLE_EQ(record.vocabularyDiversity, 10000.0 * (26 - 6) / 6 / 6);
}

TEST(RhetoricFeatures, KanaBytesLeaveOutSymbols) {
    EssayRecord record = Extract(TableOf({
        {"「", "「", "「", "記号-括弧開", "", ""},
        Kana("ああ"),
        {"」", "」", "」", "記号-括弧閉", "", ""},
        {"　", "　", "　", "記号-空白", "", ""},
        Noun("字", "ジ"),
        Period(),
        Eos(),
    }));
    EXPECT_EQ(record.textLength, 4 + 2 + 3);
    // Brackets count toward the sentence length; the blank and the full stop do not.
    EXPECT_EQ(record.sentenceLengthMax, 2 + 4 + 2 + 2);
}

Row TaigenForm() { return {"ない", "ナイ", "ない", "助動詞", "特殊・ナイ", "体言接続"}; }
Row Continuative() { return {"見", "ミ", "見る", "動詞-自立", "一段", "連用形"}; }
Row Conjunctive() { return {"て", "テ", "て", "助詞-接続助詞", "", ""}; }

TEST(RhetoricFeatures, AttributiveSentencesHaveMoreThanFivePredicates) {
    // A basic-form verb before a noun, before a particle, and a 体言接続 form all count.
    Row verb = {"走る", "ハシル", "走る", "動詞-自立", "五段・ラ行", "基本形"};
    Row noun = Noun("人", "ヒト");
    EssayRecord six = Extract(TableOf({verb, noun, verb, Particle("の"), TaigenForm(), noun, TaigenForm(), noun,
                                       TaigenForm(), noun, TaigenForm(), noun, Period(), Eos()}));
    EXPECT_EQ(six.attributiveSentences, 1);
    // Five, and a basic form before the full stop, which does not count.
    EssayRecord five = Extract(TableOf({verb, noun, TaigenForm(), noun, TaigenForm(), noun, TaigenForm(), noun,
                                        TaigenForm(), noun, verb, Period(), Eos()}));
    EXPECT_EQ(five.attributiveSentences, 0);
}

TEST(RhetoricFeatures, ContinuativeSentencesHaveMoreThanSevenLinks) {
    EssayRecord eight = Extract(TableOf({Continuative(), Conjunctive(), Continuative(), Conjunctive(), Continuative(),
                                         Conjunctive(), Continuative(), Conjunctive(), Period(), Eos()}));
    EXPECT_EQ(eight.continuativeSentences, 1);
    // Seven, and the count starts again after the full stop.
    EssayRecord seven = Extract(TableOf({Continuative(), Conjunctive(), Continuative(), Conjunctive(), Continuative(),
                                         Conjunctive(), Continuative(), Period(), Conjunctive(), Period(), Eos()}));
    EXPECT_EQ(seven.continuativeSentences, 0);
}

TEST(RhetoricFeatures, PassiveRateIsPassivesPerPhrase) {
    Row passive = {"れ", "レ", "れる", "動詞-接尾", "一段", "連用形"};
    EssayRecord record = Extract(TableOf({Kana("あ"), passive, Comma(), Kana("い"), passive, Comma(), Kana("う"),
                                          passive, Period(), Kana("え"), Period(), Eos()}));
    EXPECT_EQ(record.sentenceStatsCount, 4);
    EXPECT_DOUBLE_EQ(record.passiveRate, 3.0 / 4.0);
}

}  // namespace
}  // namespace tavi
