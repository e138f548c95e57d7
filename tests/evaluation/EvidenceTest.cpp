// Evidence recorded by the feature extractions on hand-made tables: where the rows stand in
// the text as read, and the sentences, phrases, runs, marks and cue words found there.

#include <gtest/gtest.h>

#include "evaluation/CommentEvidence.h"
#include "evaluation/CommentTable.h"
#include "evaluation/EssayRecord.h"
#include "evaluation/RhetoricThresholds.h"
#include "fakes/TestSupport.h"

namespace tavi {
namespace {

using test::Eos;
using test::Row;
using test::S;
using test::TableOf;
using test::U;

Row Noun(const std::string& s, const std::string& reading) { return {s, reading, s, "名詞-一般", "", ""}; }
Row Pronoun(const std::string& s, const std::string& reading) { return {s, reading, s, "名詞-代名詞-一般", "", ""}; }
Row Particle(const std::string& s) { return {s, s, s, "助詞-係助詞", "", ""}; }
Row Period() { return {"。", "。", "。", "記号-句点", "", ""}; }
Row Comma() { return {"、", "、", "、", "記号-読点", "", ""}; }
Row Space() { return {"　", "　", "　", "記号-空白", "", ""}; }
Row Desu() { return {"です", "デス", "です", "助動詞", "特殊・デス", "基本形"}; }

// A record whose extractions ran with evidence on `text` (UTF-8, converted to Shift_JIS).
EssayRecord WithEvidence(const std::string& text, const MorphemeTable& table) {
    EssayRecord record;
    record.BeginEvidence(S(text), table);
    record.ExtractRhetoricFeatures(table);
    record.ExtractOrganizationFeatures(table);
    return record;
}

// The UTF-8 text of a span of the record's text.
std::string Cut(const EssayRecord& record, TextSpan span) { return U(CharacterIndex(record.evidence->text).Cut(span)); }

TEST(TextPositions, RowsFollowTheTextAndEndOfLineRowsStandForLineFeeds) {
    MorphemeTable table = TableOf({Pronoun("私", "ワタシ"), Particle("は"), Noun("学生", "ガクセイ"), Desu(), Period(),
                                   Eos(), Noun("次", "ツギ"), Particle("も"), Eos()});
    TextPositions positions(table, S("私は学生です。\n次も"));
    ASSERT_EQ(positions.RowCount(), 9u);
    const TextSpan expected[] = {{0, 1}, {1, 2}, {2, 4}, {4, 6}, {6, 7}, {7, 8}, {8, 9}, {9, 10}, {10, 10}};
    for (size_t r = 0; r < 9; ++r) EXPECT_EQ(positions.Row(r), expected[r]) << "row " << r;
    // The last paragraph has no line feed: its end-of-line row is empty at the end.
    EXPECT_EQ(positions.Row(20), (TextSpan{10, 10}));
}

TEST(TextPositions, SkipsWhatTheAnalyserDroppedAndKeepsItsPlaceOnRowsTheTextLacks) {
    // A tab the analyser did not return: the next row is found after it.
    MorphemeTable dropped = TableOf({Pronoun("私", "ワタシ"), Particle("は"), Noun("学生", "ガクセイ"), Eos()});
    TextPositions afterTab(dropped, S("私は\t学生"));
    EXPECT_EQ(afterTab.Row(2), (TextSpan{3, 5}));
    EXPECT_EQ(afterTab.Row(3), (TextSpan{5, 5}));

    // A row the text does not hold gets an empty span; the search goes on from there.
    MorphemeTable invented = TableOf({Pronoun("私", "ワタシ"), Noun("猫", "ネコ"), Particle("は"), Eos()});
    TextPositions lacking(invented, S("私は"));
    EXPECT_EQ(lacking.Row(1), (TextSpan{1, 1}));
    EXPECT_EQ(lacking.Row(2), (TextSpan{1, 2}));

    // A row is not looked for beyond its line: the later occurrence stays for the later row.
    MorphemeTable lines =
        TableOf({Pronoun("私", "ワタシ"), Noun("学生", "ガクセイ"), Eos(), Noun("学生", "ガクセイ"), Eos()});
    TextPositions twoLines(lines, S("私は\n学生"));
    EXPECT_EQ(twoLines.Row(1), (TextSpan{1, 1}));
    EXPECT_EQ(twoLines.Row(2), (TextSpan{2, 3}));
    EXPECT_EQ(twoLines.Row(3), (TextSpan{3, 5}));
}

TEST(CharacterIndex, CountsDoubleByteCharactersAndLineFeedsAsOne) {
    const std::string text = S("あA\nい");
    CharacterIndex index(text);
    EXPECT_EQ(index.Characters(), 4u);
    EXPECT_EQ(U(index.Cut({1, 3})), "A\n");  // a single byte is one character too
    EXPECT_EQ(U(index.Cut({3, 9})), "い");   // clipped to the text
    EXPECT_EQ(CharacterCount(text), 4u);
}

TEST(RhetoricEvidence, WorkedExampleOfOneShortSentence) {
    MorphemeTable table =
        TableOf({Pronoun("私", "ワタシ"), Particle("は"), Noun("学生", "ガクセイ"), Desu(), Period(), Eos()});
    EssayRecord record = WithEvidence("私は学生です。\n", table);
    ASSERT_TRUE(record.evidence);
    const EssayEvidence& e = *record.evidence;
    EXPECT_TRUE(e.rhetoricRecorded);
    ASSERT_EQ(e.sentences.size(), 1u);
    EXPECT_EQ(e.sentences[0].bytes, 12u);
    EXPECT_EQ(Cut(record, e.sentences[0].span), "私は学生です。");
    ASSERT_EQ(e.phrases.size(), 1u);
    EXPECT_EQ(e.phrases[0].bytes, 12u);
    EXPECT_EQ(e.phrases[0].functionWords, 2u);
    EXPECT_EQ(Cut(record, e.phrases[0].span), "私は学生です");  // the full stop is no part of the phrase
    // は ends the first run, です the second.
    ASSERT_EQ(e.kanjiRuns.size(), 2u);
    EXPECT_EQ(Cut(record, e.kanjiRuns[0].span), "私");
    EXPECT_EQ(U(e.kanjiRuns[0].reading), "ワタシ");
    EXPECT_EQ(e.kanjiRuns[0].readingBytes, 6u);
    EXPECT_EQ(Cut(record, e.kanjiRuns[1].span), "学生");
    EXPECT_EQ(e.kanjiRuns[1].readingBytes, 8u);
    EXPECT_EQ(e.kanjiBytes, 6u);
    EXPECT_EQ(e.kanaBytes, 9u);
    ASSERT_EQ(e.kanjiNouns.size(), 2u);
    EXPECT_EQ(e.kanjiNouns[0].count, 1u);
    EXPECT_EQ(e.kanjiNouns[1].count, 1u);
}

TEST(RhetoricEvidence, SpansOfSentencesAndPhrasesAcrossCommasAndParagraphs) {
    MorphemeTable table = TableOf({Noun("今日", "キョウ"), Comma(), Noun("雨", "アメ"), Period(), Eos(), Space(),
                                   Noun("明日", "アス"), Period(), Eos()});
    EssayRecord record = WithEvidence("今日、雨。\n　明日。\n", table);
    const EssayEvidence& e = *record.evidence;
    ASSERT_EQ(e.sentences.size(), 2u);
    EXPECT_EQ(Cut(record, e.sentences[0].span), "今日、雨。");
    // The second paragraph's sentence counts the 3 bytes of the end-of-line row before it, but
    // its span starts at its first word, after the line feed and the indent.
    EXPECT_EQ(e.sentences[1].bytes, 3u + 4u);
    EXPECT_EQ(Cut(record, e.sentences[1].span), "明日。");
    ASSERT_EQ(e.phrases.size(), 3u);
    EXPECT_EQ(Cut(record, e.phrases[0].span), "今日");
    EXPECT_EQ(Cut(record, e.phrases[1].span), "雨");
    EXPECT_EQ(Cut(record, e.phrases[2].span), "明日");
    // The lists are the ones the features were computed from.
    EXPECT_EQ(record.sentenceLengthMax, LongestSentence(e)->bytes);
    EXPECT_EQ(record.phraseStatsCount, static_cast<int32_t>(e.phrases.size()));
}

TEST(RhetoricEvidence, PassivesLinksAndPredicatesBelongToTheirSentence) {
    MorphemeTable table = TableOf({
        {"彼", "カレ", "彼", "名詞-代名詞-一般", "", ""},
        Particle("は"),
        {"叱ら", "シカラ", "叱る", "動詞-自立", "五段・ラ行", "未然形"},
        {"れ", "レ", "れる", "動詞-接尾", "一段", "連用形"},
        {"て", "テ", "て", "助詞-接続助詞", "", ""},
        {"泣く", "ナク", "泣く", "動詞-自立", "五段・カ行イ音便", "基本形"},
        Noun("子", "コ"),
        Desu(),
        Period(),
        Eos(),
    });
    EssayRecord record = WithEvidence("彼は叱られて泣く子です。\n", table);
    const EssayEvidence& e = *record.evidence;
    ASSERT_EQ(e.sentences.size(), 1u);
    const SentenceEvidence& s = e.sentences[0];
    EXPECT_EQ(s.passives, 1u);
    ASSERT_EQ(s.passivesAt.size(), 1u);
    EXPECT_EQ(Cut(record, s.passivesAt[0]), "れ");
    // れ is a continuative form and て a conjunctive particle.
    EXPECT_EQ(s.links, 2u);
    ASSERT_EQ(s.linksAt.size(), 2u);
    EXPECT_EQ(Cut(record, s.linksAt[0]), "れ");
    EXPECT_EQ(Cut(record, s.linksAt[1]), "て");
    // 泣く before a noun modifies it; です before the full stop does not.
    EXPECT_EQ(s.attributive, 1u);
    ASSERT_EQ(s.attributiveAt.size(), 1u);
    EXPECT_EQ(Cut(record, s.attributiveAt[0]), "泣く");
    EXPECT_EQ(e.passives, 1u);
    EXPECT_EQ(PassiveSentences(e).size(), 1u);
    EXPECT_TRUE(AttributiveSentences(e, true).empty());  // one predicate is not more than five
}

TEST(RhetoricEvidence, RepeatedKanjiNounsComeFirstWithEveryPlace) {
    MorphemeTable table = TableOf({Noun("本", "ホン"), Particle("は"), Noun("本", "ホン"), Particle("も"),
                                   Noun("紙", "カミ"), Particle("も"), Noun("本", "ホン"), Period(), Eos()});
    EssayRecord record = WithEvidence("本は本も紙も本。\n", table);
    const EssayEvidence& e = *record.evidence;
    ASSERT_EQ(e.kanjiNouns.size(), 2u);
    EXPECT_EQ(U(e.kanjiNouns[0].word), "本");
    EXPECT_EQ(e.kanjiNouns[0].count, 3u);
    EXPECT_EQ(e.kanjiNouns[0].at, (std::vector<TextSpan>{{0, 1}, {2, 3}, {6, 7}}));
    auto repeated = RepeatedKanjiNouns(e, 10);
    ASSERT_EQ(repeated.size(), 1u);  // 紙 occurs once
    EXPECT_EQ(repeated[0], &e.kanjiNouns[0]);
}

TEST(OrganizationEvidence, HitsAreFoundInTheTextPastSkippedSpaces) {
    // The indent never enters the sentence buffer, yet "さて" matches as a start entry.
    MorphemeTable table = TableOf({Space(),
                                   {"さて", "サテ", "さて", "接続詞", "", ""},
                                   Comma(),
                                   Pronoun("それ", "ソレ"),
                                   Particle("は"),
                                   Period(),
                                   Eos()});
    EssayRecord record = WithEvidence("　さて、それは。\n", table);
    const EssayEvidence& e = *record.evidence;
    EXPECT_TRUE(e.organizationRecorded);
    ASSERT_EQ(e.organization.size(), 1u);
    const OrganizationSentence& s = e.organization[0];
    EXPECT_EQ(Cut(record, s.span), "さて、それは。");
    ASSERT_EQ(s.cueWords.size(), 1u);
    EXPECT_EQ(U(s.cueWords[0].word), "さて");
    EXPECT_EQ(s.cueWords[0].group, 5);
    EXPECT_EQ(s.cueWords[0].at, (TextSpan{1, 3}));
    ASSERT_EQ(s.demonstratives.size(), 1u);
    EXPECT_EQ(Cut(record, s.demonstratives[0].at), "それ");
    EXPECT_EQ(record.cueWordTotal, 1);
    EXPECT_EQ(record.demonstrativeTotal, 1);
}

TEST(OrganizationEvidence, EveryCountedEntryIsListedOnceItCounts) {
    // "最後に" stands twice in the table; "このため" counts as a cue word and through "この"
    // as a demonstrative; "それ" twice in one sentence counts once. A sentence without any
    // hit is not listed.
    MorphemeTable table = TableOf({{"最後", "サイゴ", "最後", "名詞-一般", "", ""},
                                   {"に", "ニ", "に", "助詞-格助詞-一般", "", ""},
                                   {"このため", "コノタメ", "このため", "接続詞", "", ""},
                                   Pronoun("それ", "ソレ"),
                                   Pronoun("それ", "ソレ"),
                                   Period(),
                                   Noun("雨", "アメ"),
                                   Period(),
                                   Eos()});
    EssayRecord record = WithEvidence("最後にこのためそれそれ。雨。\n", table);
    const EssayEvidence& e = *record.evidence;
    ASSERT_EQ(e.organization.size(), 1u);
    const OrganizationSentence& s = e.organization[0];
    ASSERT_EQ(s.cueWords.size(), 3u);
    EXPECT_EQ(s.cueWords[0].at, s.cueWords[1].at);  // both "最後に" entries
    EXPECT_EQ(Cut(record, s.cueWords[2].at), "このため");
    ASSERT_EQ(s.demonstratives.size(), 2u);  // それ once, この once
    EXPECT_EQ(Cut(record, s.demonstratives[0].at), "それ");
    EXPECT_EQ(s.demonstratives[0].at, (TextSpan{7, 9}));  // the first of the two
    EXPECT_EQ(Cut(record, s.demonstratives[1].at), "この");
    EXPECT_EQ(record.cueWordTotal, 3);
    EXPECT_EQ(record.demonstrativeTotal, 2);
}

TEST(Evidence, NotAskedForItIsNotKeptAndTheFeaturesDoNotChange) {
    MorphemeTable table = TableOf({Noun("今日", "キョウ"),
                                   Comma(),
                                   {"しかし", "シカシ", "しかし", "接続詞", "", ""},
                                   Noun("雨", "アメ"),
                                   Period(),
                                   Eos()});
    EssayRecord plain;
    plain.ExtractRhetoricFeatures(table);
    plain.ExtractOrganizationFeatures(table);
    EXPECT_FALSE(plain.evidence);
    EssayRecord recorded = WithEvidence("今日、しかし雨。\n", table);
    ASSERT_TRUE(recorded.evidence);
    EXPECT_EQ(recorded.sentenceLengthMax, plain.sentenceLengthMax);
    EXPECT_EQ(recorded.phraseLengthMedian, plain.phraseLengthMedian);
    EXPECT_EQ(recorded.textLength, plain.textLength);
    EXPECT_EQ(recorded.vocabularyDiversity, plain.vocabularyDiversity);
    EXPECT_EQ(recorded.cueWordTotal, plain.cueWordTotal);
    EXPECT_EQ(recorded.demonstrativeTotal, plain.demonstrativeTotal);
}

TEST(Evidence, ExtractionsThatAlreadyRanRecordNothingNew) {
    MorphemeTable table = TableOf({Noun("雨", "アメ"), Period(), Eos()});
    EssayRecord record = WithEvidence("雨。\n", table);
    std::shared_ptr<const EssayEvidence> first = record.evidence;
    record.ExtractRhetoricFeatures(table);
    record.ExtractOrganizationFeatures(table);
    EXPECT_EQ(record.evidence, first);
    // Copies share the evidence.
    EssayRecord copy = record;
    EXPECT_EQ(copy.evidence.get(), record.evidence.get());
}

TEST(Evidence, APassOnACopyLeavesTheEvidenceItSharedUnchanged) {
    MorphemeTable table = TableOf({Noun("雨", "アメ"), Period(), Eos()});
    EssayRecord record;
    record.BeginEvidence(S("雨。\n"), table);
    EssayRecord copy = record;
    copy.ExtractRhetoricFeatures(table);
    EXPECT_TRUE(record.evidence->sentences.empty());
    EXPECT_FALSE(record.evidence->rhetoricRecorded);
    EXPECT_EQ(copy.evidence->sentences.size(), 1u);
    // Held alone, it is added to in place.
    const EssayEvidence* alone = copy.evidence.get();
    copy.ExtractOrganizationFeatures(table);
    EXPECT_EQ(copy.evidence.get(), alone);
    EXPECT_EQ(copy.evidence->sentences.size(), 1u);
}

TEST(ReceivedComments, ReadsIndexAndClassBackFromTheCommentText) {
    EssayRecord record;
    record.AddComment(kSentenceLengthMaxComment, 2);
    record.AddComment(kKanjiShareComment, 4);
    record.AddComment(kPhraseLengthMedianComment, -1);
    record.AddComment(kContentComment, 1);
    std::vector<ReceivedComment> comments = ReceivedComments(record.commentText + S("手書きの行\n"));
    ASSERT_EQ(comments.size(), 4u);
    EXPECT_EQ(comments[0].index, kSentenceLengthMaxComment);
    EXPECT_EQ(comments[0].commentClass, 2);
    EXPECT_EQ(comments[1].index, kKanjiShareComment);
    EXPECT_EQ(comments[1].commentClass, 4);
    EXPECT_EQ(comments[2].commentClass, -1);
    EXPECT_EQ(comments[3].index, kContentComment);
    EXPECT_EQ(U(comments[3].text), "質問文との関係がやや希薄であるように見受けられます。");
}

TEST(CommentEvidence, UnitsAtOrAboveTheThresholdWhereTheCommentStarts) {
    EssayEvidence e;
    e.sentences.resize(3);
    e.sentences[0].bytes = 198;
    e.sentences[1].bytes = 300;
    e.sentences[2].bytes = 197;
    EXPECT_EQ(FindRhetoricFeature(kSentenceLengthMaxComment)->thresholds[0], 198);
    auto from = SentencesFrom(e, FindRhetoricFeature(kSentenceLengthMaxComment)->thresholds[0]);
    ASSERT_EQ(from.size(), 2u);
    EXPECT_EQ(from[0], &e.sentences[0]);
    EXPECT_EQ(LongestSentence(e), &e.sentences[1]);
    e.phrases = {{{}, 10, 13}, {{}, 20, 12}, {{}, 5, 13}};
    EXPECT_EQ(MostFunctionWords(e), &e.phrases[0]);  // the first of equals
    EXPECT_EQ(PhrasesWithFunctionWordsFrom(e, FindRhetoricFeature(kBunsetsuMaxComment)->thresholds[0]).size(), 2u);
    EXPECT_EQ(LongestPhrase(e), &e.phrases[1]);
    EXPECT_EQ(LongestSentence(EssayEvidence()), nullptr);
}

}  // namespace
}  // namespace tavi
