#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "analysis/AnalyzerBinding.h"
#include "analysis/MorphemeTools.h"
#include "fakes/SpelledText.h"
#include "fakes/TestSupport.h"

namespace tavi {
namespace {

using test::S;
using test::U;

MorphemeTable Analyze(AnalyzerBinding& analyzer, std::string_view text) {
    std::optional<std::string> result = analyzer.Analyze(text);
    EXPECT_TRUE(result.has_value());
    MorphemeTable table;
    MorphemeTools().SplitAnalysis(result.value_or(""), table);
    return table;
}

size_t CountEos(const MorphemeTable& table) {
    size_t n = 0;
    for (size_t r = 0; r < table.RowCount(); ++r) n += table.Field(r, kSurface) == "EOS";
    return n;
}

std::string Surfaces(const MorphemeTable& table) {
    std::string s;
    for (size_t r = 0; r < table.RowCount(); ++r)
        if (table.Field(r, kSurface) != "EOS") s += table.Field(r, kSurface);
    return s;
}

TEST(AnalyzerBinding, LoadStates) {
    AnalyzerBinding analyzer;
    EXPECT_FALSE(analyzer.IsLoaded());
    analyzer.Unload();  // never loaded: harmless
    ASSERT_TRUE(analyzer.Load());
    EXPECT_TRUE(analyzer.IsLoaded());
    EXPECT_TRUE(analyzer.Load());
    analyzer.Unload();
    analyzer.Unload();
    EXPECT_FALSE(analyzer.IsLoaded());
    // Analyze loads on demand.
    EXPECT_TRUE(analyzer.Analyze(S("テスト")).has_value());
    EXPECT_TRUE(analyzer.IsLoaded());
}

TEST(AnalyzerBinding, MissingOrIncompleteLibrariesFailToLoad) {
    AnalyzerBinding missing("libtavi-no-such-analyzer.so");
    EXPECT_FALSE(missing.Load());
    EXPECT_FALSE(missing.Analyze("x").has_value());
    AnalyzerBinding noFileEntry(TAVI_FAKE_NO_FILE_ENTRY);
    EXPECT_FALSE(noFileEntry.Load());
    EXPECT_FALSE(noFileEntry.IsLoaded());
}

TEST(AnalyzerBinding, AnalyserThatExitsOnStartFailsToLoadWithoutEndingTheProgram) {
    AnalyzerBinding exiting(TAVI_FAKE_EXITING_ANALYZER);
    EXPECT_FALSE(exiting.Load());
    EXPECT_FALSE(exiting.IsLoaded());
}

TEST(AnalyzerBinding, LoadingInTheBackground) {
    AnalyzerBinding analyzer;
    analyzer.StartLoading();
    analyzer.StartLoading();  // already under way: harmless
    EXPECT_TRUE(analyzer.IsLoaded());
    EXPECT_EQ(U(Surfaces(Analyze(analyzer, S("テスト")))), "テスト");
    analyzer.StartLoading();  // already loaded: harmless
    EXPECT_TRUE(analyzer.IsLoaded());

    // Unloading, or destroying, while the start is under way ends it; a later load starts afresh.
    AnalyzerBinding other;
    other.StartLoading();
    other.Unload();
    EXPECT_FALSE(other.IsLoaded());
    EXPECT_TRUE(other.Load());
    AnalyzerBinding dropped;
    dropped.StartLoading();
}

TEST(AnalyzerBinding, BackgroundStartOfABrokenAnalyserFails) {
    AnalyzerBinding exiting(TAVI_FAKE_EXITING_ANALYZER);
    exiting.StartLoading();
    EXPECT_FALSE(exiting.IsLoaded());
    EXPECT_FALSE(exiting.Analyze("x").has_value());

    AnalyzerBinding missing("libtavi-no-such-analyzer.so");
    missing.StartLoading();
    EXPECT_FALSE(missing.IsLoaded());

    // A start that hangs is cut short by Unload rather than waited for.
    AnalyzerBinding hanging(TAVI_FAKE_HANGING_ANALYZER);
    hanging.StartLoading();
    auto start = std::chrono::steady_clock::now();
    hanging.Unload();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_FALSE(hanging.IsLoaded());
}

TEST(AnalyzerBindingDeathTest, BrokenConfigurationFailsToLoad) {
    // A fresh process, in which ChaSen has not read its configuration yet.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("CHASENRC", "/nonexistent/chasenrc", 1);
            AnalyzerBinding analyzer;
            bool loaded = analyzer.Load();
            std::_Exit(loaded ? 10 : 42);
        },
        ::testing::ExitedWithCode(42), "");
}

TEST(AnalyzerBinding, ShiftJisSixFieldOutput) {
    AnalyzerBinding analyzer;
    MorphemeTable table = Analyze(analyzer, S("私は学生です。"));
    ASSERT_EQ(table.RowCount(), 6u);
    EXPECT_EQ(U(table.Field(0, kSurface)), "私");
    EXPECT_EQ(U(table.Field(0, kReading)), "ワタシ");
    EXPECT_EQ(U(table.Field(0, kPartOfSpeech)), "名詞-代名詞-一般");
    EXPECT_EQ(U(table.Field(3, kConjugationType)), "特殊・デス");
    EXPECT_EQ(U(table.Field(3, kConjugationForm)), "基本形");
    EXPECT_EQ(U(table.Field(4, kPartOfSpeech)), "記号-句点");
    EXPECT_EQ(table.Field(5, kSurface), "EOS");
}

TEST(AnalyzerBinding, EmptyTextAndNulBytes) {
    AnalyzerBinding analyzer;
    EXPECT_EQ(analyzer.Analyze("").value_or("?"), "EOS\n");
    std::string withNul = S("犬です。") + std::string(1, '\0') + S("猫です。");
    MorphemeTable table = Analyze(analyzer, withNul);
    EXPECT_EQ(U(Surfaces(table)), "犬です。");
    EXPECT_EQ(CountEos(table), 1u);
}

TEST(AnalyzerBinding, OneEndOfLineRowPerLine) {
    AnalyzerBinding analyzer;
    EXPECT_EQ(CountEos(Analyze(analyzer, S("一行目。") + "\n" + S("二行目。") + "\n")), 2u);
    EXPECT_EQ(CountEos(Analyze(analyzer, S("一行目。") + "\n" + S("二行目"))), 2u);
}

TEST(AnalyzerBinding, LongParagraphIsCutAtSentenceEnds) {
    AnalyzerBinding analyzer;
    std::string sentence = S("今日は天気が良いので公園まで歩いて行きました。");
    std::string text;
    while (text.size() < 40000) text += sentence;  // 20,000 characters in one paragraph
    MorphemeTable table = Analyze(analyzer, text);
    EXPECT_EQ(CountEos(table), 1u);
    EXPECT_EQ(table.Field(table.RowCount() - 1, kSurface), "EOS");
    EXPECT_EQ(Surfaces(table), text);

    auto pieces = AnalyzerBinding::SplitLongLine(text);
    ASSERT_GT(pieces.size(), 8u);
    for (size_t p = 0; p < pieces.size(); ++p) {
        EXPECT_LE(pieces[p].size(), AnalyzerBinding::kMaxPieceBytes);
        if (p + 1 < pieces.size()) {
            EXPECT_TRUE(pieces[p].ends_with(S("。")));
        }
    }
}

TEST(AnalyzerBinding, LongLineWithoutFullStopIsCutAtCharacterBoundaries) {
    AnalyzerBinding analyzer;
    std::string text;
    while (text.size() < 6000) text += S("あいうえお");
    auto pieces = AnalyzerBinding::SplitLongLine(text);
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0].size(), 5000u);
    EXPECT_EQ(pieces[1].size(), 1000u);
    MorphemeTable table = Analyze(analyzer, text + "\n" + S("次の段落。"));
    EXPECT_EQ(CountEos(table), 2u);
    EXPECT_EQ(Surfaces(table), text + S("次の段落。"));
    // A piece never ends inside a double-byte character, even at an odd limit.
    std::string odd = "a" + text;
    for (std::string_view piece : AnalyzerBinding::SplitLongLine(odd)) {
        size_t i = 0;
        while (i < piece.size()) i += SjisCharLength(piece, i);
        EXPECT_EQ(i, piece.size());
    }
}

// Bytes that are not Shift_JIS, or that ChaSen would drop or misread, come back as they were
// read, each kind in its own row; code page 932's duplicate codes keep their own bytes.
TEST(AnalyzerBinding, EveryByteComesBackAsRead) {
    AnalyzerBinding analyzer;
    const std::string dog = S("犬"), cat = S("猫です。");
    struct Case {
        const char* what;
        std::string bad;
    };
    const Case cases[] = {
        {"lead byte before a byte that cannot trail it", "\x82\x20"},
        {"lead byte before a control byte", "\x82\x01"},
        {"pair without a code page 932 character", "\x85\x40"},
        {"single bytes", "\x80\xA0\xFD\xFE\xFF"},
        {"lead byte before a line feed", "\x81\n"},
        {"lead byte before a tab", "\x81\t"},
        {"carriage return, vertical tab, form feed, escape", "\r\x0B\x0C\x1B"},
        {"duplicate codes of code page 932", "\xED\x40\x87\x90\xEE\xF9"},
    };
    for (const Case& c : cases) {
        const std::string text = dog + c.bad + cat;
        MorphemeTable table = Analyze(analyzer, text);
        EXPECT_EQ(test::SpelledText(table), test::ExpectedSpelling(text)) << c.what;
        EXPECT_EQ(U(table.Field(0, kSurface)), "犬") << c.what;
        EXPECT_EQ(U(table.Field(table.RowCount() - 4, kSurface)), "猫") << c.what;
        EXPECT_EQ(U(table.Field(table.RowCount() - 4, kPartOfSpeech)), "名詞-一般") << c.what;
    }
    // A lead byte at the end, alone in its row as an unknown word.
    MorphemeTable table = Analyze(analyzer, dog + "\x81");
    ASSERT_EQ(table.RowCount(), 3u);
    EXPECT_EQ(table.Field(1, kSurface), "\x81");
    EXPECT_EQ(U(table.Field(1, kPartOfSpeech)), "未知語");
}

// ChaSen takes a run of more than 42 unknown katakana for one word that overflows its
// buffers: it dropped the line and, after a long paragraph, crashed. Runs are cut into pieces.
TEST(AnalyzerBinding, LongKatakanaRunIsCutIntoPieces) {
    AnalyzerBinding analyzer;
    std::string paragraph, run;
    while (paragraph.size() < 40000) paragraph += S("今日は天気が良いので公園まで歩いて行きました。");
    for (int i = 0; i < 100; ++i) run += S(i % 3 ? "ア" : "ー");
    const std::string text = paragraph + "\n" + run + S("です。") + "\n" + S("猫です。");
    MorphemeTable table = Analyze(analyzer, text);
    EXPECT_EQ(test::SpelledText(table), test::ExpectedSpelling(text));
    EXPECT_EQ(CountEos(table), 3u);
    auto pieces = AnalyzerBinding::SplitLongLine(run);
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0].size(), 2 * AnalyzerBinding::kMaxKatakanaRun);
}

// A run is what ChaSen reads as katakana: the pair 0x83 0x7F between ァ and ヶ is no character
// and ends the run, while ー and ヶ belong to it.
TEST(AnalyzerBinding, KatakanaRunFollowsTheAnalysersKatakana) {
    std::string half;
    for (size_t i = 0; i < AnalyzerBinding::kMaxKatakanaRun; ++i) half += S(i % 2 ? "ア" : "ー");
    EXPECT_EQ(AnalyzerBinding::SplitLongLine(half + "\x83\x7F" + half).size(), 1u);
    EXPECT_EQ(AnalyzerBinding::SplitLongLine(half + S("ヶ") + half).size(), 3u);
    EXPECT_EQ(AnalyzerBinding::SplitLongLine(half + "\x83\x97" + half).size(), 1u);  // past ヶ
}

// Text that the analyser leaves out of its output comes back as an unknown word per line.
TEST(AnalyzerBinding, TextTheAnalyserLeavesOutComesBackAsUnknownWords) {
    AnalyzerBinding analyzer(TAVI_FAKE_DROPPING_ANALYZER);
    const std::string text = S("犬です。") + "\t\x80\n" + S("猫");
    MorphemeTable table = Analyze(analyzer, text);
    EXPECT_EQ(test::SpelledText(table), test::ExpectedSpelling(text));
    ASSERT_EQ(table.RowCount(), 4u);
    EXPECT_EQ(table.Field(0, kSurface), S("犬です。") + "\x80");
    EXPECT_EQ(U(table.Field(0, kPartOfSpeech)), "未知語");
}

// A carried pair takes 4 UTF-8 bytes: pieces stay within ChaSen's line buffer all the same.
TEST(AnalyzerBinding, LongLineOfCarriedCharacters) {
    AnalyzerBinding analyzer;
    std::string text;
    for (int i = 0; i < 3000; ++i) text += "\x85\x40";
    text += "\x80";
    MorphemeTable table = Analyze(analyzer, text);
    EXPECT_EQ(test::SpelledText(table), test::ExpectedSpelling(text));
    EXPECT_EQ(CountEos(table), 1u);
}

// Tags of the dictionary that the predicates rely on.
TEST(AnalyzerBinding, PredicatesOnRealAnalyses) {
    AnalyzerBinding analyzer;
    MorphemeTools t;
    auto rowOf = [](const MorphemeTable& table, const char* surface) {
        for (size_t r = 0; r < table.RowCount(); ++r)
            if (table.Field(r, kSurface) == S(surface)) return r;
        ADD_FAILURE() << "no row " << surface;
        return size_t(0);
    };
    MorphemeTable a = Analyze(analyzer, S("田中さんは東京で本を読む人に会った。"));
    EXPECT_FALSE(t.IsContentNoun(a, rowOf(a, "田中")));  // person name
    EXPECT_FALSE(t.IsContentNoun(a, rowOf(a, "さん")));  // suffix
    EXPECT_TRUE(t.IsContentNoun(a, rowOf(a, "東京")));
    EXPECT_TRUE(t.IsContentNoun(a, rowOf(a, "本")));
    EXPECT_TRUE(t.IsNounModifyingPredicate(a, rowOf(a, "読む")));  // before a noun
    EXPECT_TRUE(t.HasKanji(a, rowOf(a, "東京")));

    MorphemeTable b = Analyze(analyzer, S("これは彼が書くのだ。私は毎日書く。書くよ。"));
    EXPECT_FALSE(t.IsContentNoun(b, rowOf(b, "これ")));  // pronoun
    EXPECT_FALSE(t.IsContentNoun(b, rowOf(b, "彼")));
    EXPECT_FALSE(t.IsContentNoun(b, rowOf(b, "毎日")));  // adverbial noun
    size_t count = 0, modifying = 0;
    for (size_t r = 0; r < b.RowCount(); ++r)
        if (b.Field(r, kSurface) == S("書く")) {
            ++count;
            modifying += t.IsNounModifyingPredicate(b, r);
        }
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(modifying, 1u);  // before の; not before 。 nor before よ

    MorphemeTable c = Analyze(analyzer, S("先生に褒められ、雨に降られた。"));
    size_t passives = 0;
    for (size_t r = 0; r < c.RowCount(); ++r) passives += t.IsPassive(c, r);
    EXPECT_EQ(passives, 2u);
    EXPECT_TRUE(t.IsComma(c, rowOf(c, "、")));

    MorphemeTable d = Analyze(analyzer, S("食べ、飲み、歌ったが、帰ったので寝た。"));
    EXPECT_TRUE(t.IsContinuativeForm(d, rowOf(d, "食べ")));
    EXPECT_TRUE(t.IsContinuativeForm(d, rowOf(d, "飲み")));
    EXPECT_FALSE(t.IsContinuativeForm(d, rowOf(d, "歌っ")));  // 連用タ接続
    EXPECT_TRUE(t.IsConjunctiveParticle(d, rowOf(d, "が")));
    EXPECT_TRUE(t.IsConjunctiveParticle(d, rowOf(d, "ので")));
    EXPECT_TRUE(t.IsPeriod(d, rowOf(d, "。")));
}

TEST(AnalyzerBinding, ConcurrentAnalysesDoNotMix) {
    AnalyzerBinding analyzer;
    ASSERT_TRUE(analyzer.Load());
    std::string a = S("犬が走る。"), b = S("猫が眠る。");
    std::string expectA = *analyzer.Analyze(a), expectB = *analyzer.Analyze(b);
    std::vector<std::thread> threads;
    std::atomic<int> mismatches = 0;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&, i] {
            for (int k = 0; k < 50; ++k) {
                const std::string& text = i % 2 ? a : b;
                const std::string& expected = i % 2 ? expectA : expectB;
                if (analyzer.Analyze(text) != expected) ++mismatches;
            }
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(mismatches, 0);
}

}  // namespace
}  // namespace tavi
