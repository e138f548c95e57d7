#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <stdexcept>

#include "analysis/MorphemeTools.h"
#include "fakes/TestSupport.h"

namespace tavi {
namespace {

using test::S;
using test::U;

class ReaderTest : public ::testing::Test {
protected:
    std::string Read(std::string_view bytes, int mode) {
        std::string path = test::WriteTempFile("answer.txt", bytes);
        std::string text;
        size_t n = tools.ReadAnswerFile(path, text, mode);
        EXPECT_EQ(n, text.size());
        return text;
    }
    MorphemeTools tools;
};

TEST_F(ReaderTest, ParagraphModes) {
    const char* file = "AB\nCD\n\n\nEF";
    EXPECT_EQ(Read(file, 0), S("ＡＢＣＤ") + "\n" + S("ＥＦ"));
    EXPECT_EQ(Read(file, 1), S("ＡＢ") + "\n" + S("ＣＤ") + "\n" + S("ＥＦ"));
    // Carriage returns of CR LF line ends read as plain line feeds.
    EXPECT_EQ(Read("AB\r\nCD\r\n\r\nEF\r\n", 0), S("ＡＢＣＤ") + "\n" + S("ＥＦ"));
}

TEST_F(ReaderTest, LeadingEmptyLinesAndSpaceLines) {
    EXPECT_EQ(Read("\n\nAB\n", 0), S("ＡＢ"));
    EXPECT_EQ(Read("\n\nAB\n", 1), S("ＡＢ") + "\n");
    // A line of spaces is text, not an empty line.
    EXPECT_EQ(Read("A\n  \nB", 1), S("Ａ") + "\n" + S("　　") + "\n" + S("Ｂ"));
}

TEST_F(ReaderTest, LineOfExactly1022BytesEndsAParagraphInMode0) {
    std::string line(1022, 'a');
    std::string text = Read(line + "\nb", 0);
    EXPECT_EQ(text.size(), 1022 * 2 + 1 + 2);
    EXPECT_EQ(text[2044], '\n');
    // One byte shorter: the line feed ends the chunk and the lines join.
    std::string shorter = Read(std::string(1021, 'a') + "\nb", 0);
    EXPECT_EQ(shorter.find('\n'), std::string::npos);
}

TEST_F(ReaderTest, DoubleByteCharacterAtChunkBoundaryStaysWhole) {
    std::string line = std::string(1021, 'a') + S("漢") + "b";
    std::string text = Read(line, 0);
    EXPECT_EQ(text, [] {
        std::string expected;
        for (int i = 0; i < 1021; ++i) expected += S("ａ");
        return expected + S("漢") + S("ｂ");
    }());
}

TEST_F(ReaderTest, Utf8FilesAreConvertedToShiftJis) {
    EXPECT_EQ(Read("日本語です。\nabc", 1), S("日本語です。") + "\n" + S("ａｂｃ"));
    EXPECT_EQ(Read("\xEF\xBB\xBF"
                   "abc",
                   0),
              S("ａｂｃ"));
    EXPECT_EQ(Read("絵😀文字", 0), S("絵〓文字"));
    // Shift_JIS bytes are read as they stand.
    EXPECT_EQ(Read(S("日本語"), 0), S("日本語"));
}

TEST_F(ReaderTest, BadInput) {
    std::string text = "left over";
    EXPECT_EQ(tools.ReadAnswerFile("/nonexistent/answer.txt", text, 0), 0u);
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(Read("", 0), "");
    EXPECT_EQ(Read("\n\n\n", 0), "");
    // A binary file keeps its bytes (the analyser stops at the first NUL).
    std::string binary(
        "\x00\x01\xFF\x80"
        "A",
        5);
    std::string read = Read(binary, 0);
    EXPECT_EQ(read, std::string("\x00\x01\xFF\x80", 4) + S("Ａ"));
    // One line of 100,000 bytes: every byte arrives, doubled to full width.
    EXPECT_EQ(Read(std::string(100000, 'x'), 0).size(), 200000u);
    // Only regular files are read: a device or a FIFO would never end or never open.
    EXPECT_EQ(tools.ReadAnswerFile("/dev/zero", text, 0), 0u);
    std::string fifo = test::TempDir() + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(tools.ReadAnswerFile(fifo, text, 0), 0u);
    EXPECT_EQ(tools.ReadAnswerFile(test::TempDir(), text, 0), 0u);
    // A lone lead byte at the end of the file is copied as a single byte.
    EXPECT_EQ(Read(S("あ") + "\x82", 0), S("あ") + "\x82");
}

TEST(FullWidth, EveryPrintableAsciiByteAgreesWithCodePage932) {
    MorphemeTools tools;
    // Bytes with several full-width candidates take these forms.
    const std::map<char, std::string> chosen = {{' ', "\x81\x40"}, {'"', "\x81\x68"}, {'\'', "\x81\x66"},
                                                {'-', "\x81\x7C"}, {'/', "\x81\x5E"}, {'\\', "\x81\x8F"},
                                                {'^', "\x81\x4F"}, {'_', "\x81\x51"}, {'`', "\x81\x65"},
                                                {'|', "\x81\x62"}, {'~', "\x81\x50"}};
    std::string out;
    for (int c = 0x20; c <= 0x7E; ++c) {
        std::string expected;
        if (auto it = chosen.find(static_cast<char>(c)); it != chosen.end()) {
            expected = it->second;
        } else {
            // U+FF01..U+FF5E are the full-width forms of 0x21..0x7E.
            char32_t cp = 0xFF01 + (c - 0x21);
            std::string utf8 = {static_cast<char>(0xE0 | (cp >> 12)), static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
                                static_cast<char>(0x80 | (cp & 0x3F))};
            expected = Utf8ToSjis(utf8);
        }
        EXPECT_EQ(tools.ToFullWidth(std::string(1, static_cast<char>(c)), out), expected) << "byte " << c;
    }
    EXPECT_EQ(tools.ToFullWidth(",.09AZaz", out), S("，．０９ＡＺａｚ"));
}

TEST(FullWidth, EveryHalfWidthKatakana) {
    MorphemeTools tools;
    std::string out;
    std::string all;
    for (int c = 0xA1; c <= 0xDF; ++c) all.push_back(static_cast<char>(c));
    EXPECT_EQ(U(tools.ToFullWidth(all, out)),
              "。「」、・ヲァィゥェォャュョッーアイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホマミムメモヤ"
              "ユヨラリルレロワン゛゜");
    EXPECT_EQ(tools.ToFullWidth("\xB6\xDE", out), S("カ゛"));
    EXPECT_EQ(tools.ToFullWidth("\xA1\xA4\xB1\xDD\xDF", out), S("。、アン゜"));
    EXPECT_EQ(tools.ToFullWidth(std::string("\t\n\r\x01", 4), out), std::string("\t\n\r\x01", 4));
    EXPECT_EQ(tools.ToFullWidth(S("漢字") + "EOS", out), S("漢字ＥＯＳ"));
}

TEST(SplitAnalysis, RowsAndEndOfLine) {
    MorphemeTools tools;
    MorphemeTable table;
    tools.SplitAnalysis(S("犬\tイヌ\t犬\t名詞-一般\t\t\nEOS\n"), table);
    ASSERT_EQ(table.RowCount(), 2u);
    EXPECT_EQ(U(table.Field(0, kSurface)), "犬");
    EXPECT_EQ(U(table.Field(0, kPartOfSpeech)), "名詞-一般");
    EXPECT_EQ(table.Field(0, kConjugationForm), "");
    for (int k = 0; k < kFieldCount; ++k) EXPECT_EQ(table.Field(1, k), "EOS");

    tools.SplitAnalysis("", table);
    EXPECT_EQ(table.RowCount(), 0u);
    tools.SplitAnalysis("EOS\n", table);
    EXPECT_EQ(table.RowCount(), 1u);
    // Text that is not analyser output: every piece is one element, unwritten slots stay empty.
    tools.SplitAnalysis("a\nb\tc", table);
    EXPECT_EQ(table.ElementCount(), 3u);
    EXPECT_EQ(table.RowCount(), 0u);
    EXPECT_THROW(table.Field(0, kConjugationForm), std::invalid_argument);
    EXPECT_EQ(table.Element(2), "");
}

TEST(SplitAnalysis, LongFieldsAreStoredWhole) {
    MorphemeTools tools;
    MorphemeTable table;
    std::string longField(10000, 'x');
    tools.SplitAnalysis(longField + "\t\t\t\t\t\nEOS\n", table);
    EXPECT_EQ(table.Field(0, kSurface), longField);
}

TEST(Predicates, PartsOfSpeech) {
    MorphemeTools t;
    EXPECT_TRUE(t.IsComma(S("記号-読点")));
    EXPECT_FALSE(t.IsComma(S("記号-読点-一般")));
    EXPECT_TRUE(t.IsPeriod(S("記号-句点")));
    EXPECT_FALSE(t.IsPeriod(S("記号-句点-")));
    EXPECT_TRUE(t.IsSpace(S("記号-空白")));
    EXPECT_TRUE(t.IsSymbol(S("記号-括弧開")));
    EXPECT_TRUE(t.IsEndOfLine("EOS"));
    EXPECT_FALSE(t.IsEndOfLine(S("ＥＯＳ")));

    std::string counter = S("名詞-接尾-助数詞");
    EXPECT_TRUE(t.IsNoun(counter));
    EXPECT_TRUE(t.IsNumeral(counter));
    EXPECT_FALSE(t.IsContentNoun(counter));
    EXPECT_TRUE(t.IsNoun(S("名詞-代名詞-一般")));
    EXPECT_FALSE(t.IsContentNoun(S("名詞-代名詞-一般")));
    EXPECT_FALSE(t.IsContentNoun(S("名詞-固有名詞-人名-姓")));
    EXPECT_TRUE(t.IsContentNoun(S("名詞-固有名詞-地域-一般")));
    EXPECT_TRUE(t.IsContentNoun(S("名詞-サ変接続")));
    EXPECT_TRUE(t.IsContentNoun(S("名詞-形容動詞語幹")));
    EXPECT_FALSE(t.IsContentNoun(S("名詞-数")));
    EXPECT_FALSE(t.IsContentNoun(S("名詞-副詞可能")));
    EXPECT_FALSE(t.IsContentNoun(S("名詞-非自立-一般")));
    EXPECT_FALSE(t.IsContentNoun(S("動詞-自立")));

    EXPECT_TRUE(t.IsFunctionWord(S("助詞-格助詞-一般")));
    EXPECT_TRUE(t.IsFunctionWord(S("助動詞")));
    EXPECT_TRUE(t.IsFunctionWord(S("接続詞")));
    EXPECT_FALSE(t.IsFunctionWord(S("動詞-自立")));
    EXPECT_TRUE(t.IsConjunctiveParticle(S("助詞-接続助詞")));
    EXPECT_TRUE(t.IsContinuativeForm(S("連用形")));
    EXPECT_FALSE(t.IsContinuativeForm(S("連用タ接続")));
    EXPECT_TRUE(t.IsPassive(S("動詞-接尾"), S("られる")));
    EXPECT_FALSE(t.IsPassive(S("動詞-接尾"), S("せる")));
    EXPECT_FALSE(t.IsPassive(S("動詞-自立"), S("くれる")));
}

TEST(Predicates, NumeralMatchesOnCharacterBoundariesOnly) {
    MorphemeTools t;
    // "数" is 0x90 0x94; a field whose bytes hold 0x90 0x94 across two characters does not contain it.
    std::string straddling = "\x82\x90\x94\x40";
    EXPECT_FALSE(t.ContainsText(straddling, S("数")));
    EXPECT_TRUE(t.ContainsText(S("名詞-数"), S("数")));
    // Long fields take another search; it too must skip matches across characters.
    std::string sentence = S("ああああああああああああああああああああ") + straddling + S("いいいい");
    EXPECT_FALSE(t.ContainsText(sentence, S("数")));
    EXPECT_EQ(t.FindText(sentence + S("数"), S("数")), sentence.size());
    EXPECT_EQ(t.FindText(sentence, S("いい")), sentence.size() - 8);
    EXPECT_TRUE(t.StartsWithText(S("なぜなら私は"), S("なぜなら")));
    EXPECT_FALSE(t.StartsWithText(S("なぜ"), S("なぜなら")));
    EXPECT_FALSE(t.StartsWithText(S("「なぜなら"), S("なぜなら")));
}

TEST(Predicates, NounModifyingPredicate) {
    MorphemeTools t;
    auto table = test::TableOf({
        {"読む", "ヨム", "読む", "動詞-自立", "五段・マ行", "基本形"},
        {"本", "ホン", "本", "名詞-一般", "", ""},
        {"読む", "ヨム", "読む", "動詞-自立", "五段・マ行", "基本形"},
        {"。", "。", "。", "記号-句点", "", ""},
        {"読む", "ヨム", "読む", "動詞-自立", "五段・マ行", "基本形"},
        {"よ", "ヨ", "よ", "助詞-終助詞", "", ""},
        {"読む", "ヨム", "読む", "動詞-自立", "五段・マ行", "基本形"},
        {"の", "ノ", "の", "助詞-格助詞-一般", "", ""},
        {"な", "ナ", "だ", "助動詞", "特殊・ダ", "体言接続"},
        {"だ", "ダ", "だ", "助動詞", "特殊・ダ", "基本形"},
        test::Eos(),
    });
    EXPECT_TRUE(t.IsNounModifyingPredicate(table, 0));   // before a noun
    EXPECT_FALSE(t.IsNounModifyingPredicate(table, 2));  // before a full stop
    EXPECT_FALSE(t.IsNounModifyingPredicate(table, 4));  // before a sentence-final particle
    EXPECT_TRUE(t.IsNounModifyingPredicate(table, 6));   // before a case particle
    EXPECT_TRUE(t.IsNounModifyingPredicate(table, 8));   // attributive form
    EXPECT_TRUE(t.IsNounModifyingPredicate(table, 9));   // auxiliary before the end of the line
    EXPECT_FALSE(t.IsNounModifyingPredicate(table, 1));
    EXPECT_THROW(t.IsNounModifyingPredicate(table, 11), std::invalid_argument);
}

TEST(Predicates, KanjiAndHiragana) {
    MorphemeTools t;
    EXPECT_FALSE(t.HasKanji(S("かなＡＢＣカナ")));
    EXPECT_TRUE(t.HasKanji(S("かな漢")));
    EXPECT_TRUE(t.HasKanji(S("亜")));      // 0x889F, the first kanji
    EXPECT_FALSE(t.HasKanji("\x88\x9E"));  // just below it
    EXPECT_FALSE(t.HasKanji("\x88"));      // a lone lead byte is no character
    std::string out;
    EXPECT_EQ(U(t.ToHiragana(S("ヴァイオリン"), out)), "う゛ぁいおりん");
    EXPECT_EQ(U(t.ToHiragana(S("ケーキ"), out)), "けーき");
    EXPECT_EQ(U(t.ToHiragana(S("ムミヵヶ漢a"), out)), "むみヵヶ漢a");
    EXPECT_EQ(U(t.ToHiragana(S("ァン"), out)), "ぁん");
}

}  // namespace
}  // namespace tavi
