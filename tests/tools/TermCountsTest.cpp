#include <gtest/gtest.h>

#include "fakes/TestSupport.h"
#include "tools/CorpusCounts.h"
#include "tools/TermCounts.h"

namespace tavi {
namespace {

using test::Eos;
using test::S;
using test::TableOf;

TEST(CountContentNouns, CountsContentNounsByHiraganaKey) {
    MorphemeTools tools;
    MorphemeTable table = TableOf({
        {"ケーキ", "ケーキ", "ケーキ", "名詞-一般", "", ""},
        {"を", "ヲ", "を", "助詞-格助詞-一般", "", ""},
        {"東京", "トウキョウ", "東京", "名詞-固有名詞-地域-一般", "", ""},
        {"けーき", "ケーキ", "けーき", "名詞-一般", "", ""},
        Eos(),
        {"ヴァイオリン", "ヴァイオリン", "ヴァイオリン", "名詞-一般", "", ""},
        {"ケーキ", "ケーキ", "ケーキ", "名詞-一般", "", ""},
        {"食べ", "タベ", "食べる", "動詞-自立", "一段", "連用形"},
        Eos(),
    });
    TermCounts expected = {{S("けーき"), 3}, {S("東京"), 1}, {S("う゛ぁいおりん"), 1}};
    EXPECT_EQ(CountContentNouns(table, tools), expected);
}

TEST(CountContentNouns, LeavesOutNounsThatCarryNoContent) {
    MorphemeTools tools;
    MorphemeTable table = TableOf({
        {"私", "ワタシ", "私", "名詞-代名詞-一般", "", ""},
        {"３", "サン", "３", "名詞-数", "", ""},
        {"個", "コ", "個", "名詞-接尾-助数詞", "", ""},
        {"田中", "タナカ", "田中", "名詞-固有名詞-人名-姓", "", ""},
        {"さん", "サン", "さん", "名詞-接尾-人名", "", ""},
        {"こと", "コト", "こと", "名詞-非自立-一般", "", ""},
        {"今日", "キョウ", "今日", "名詞-副詞可能", "", ""},
        {"好き", "スキ", "好き", "名詞-形容動詞語幹", "", ""},
        Eos(),
    });
    TermCounts expected = {{S("好き"), 1}};
    EXPECT_EQ(CountContentNouns(table, tools), expected);
}

TEST(CountContentNouns, SkipsKeysThatCannotBeADictionaryLine) {
    MorphemeTools tools;
    MorphemeTable table;
    table.AppendRow({{"", "", "", S("名詞-一般"), "", ""}});
    table.AppendRow({{"ab\r", "", "", S("名詞-一般"), "", ""}});
    table.AppendRow({{S("本"), "", "", S("名詞-一般"), "", ""}});
    TermCounts expected = {{S("本"), 1}};
    EXPECT_EQ(CountContentNouns(table, tools), expected);
}

TEST(CorpusCounts, InternsTermsAndCountsDocumentFrequencies) {
    CorpusCounts corpus;
    corpus.AddDocument({{"b", 2}, {"a", 1}});
    corpus.AddDocument({{"c", 5}, {"b", 1}, {"z", 0}});
    corpus.AddDocument({});
    ASSERT_EQ(corpus.DocumentCount(), 3u);
    ASSERT_EQ(corpus.TermCount(), 3u);  // "z" with a count of 0 is no term

    // Ids follow first appearance; the map's byte order makes "a" the first term seen.
    EXPECT_EQ(corpus.Term(0), "a");
    EXPECT_EQ(corpus.Term(1), "b");
    EXPECT_EQ(corpus.Term(2), "c");
    CorpusCounts::DocumentEntries second = {{1, 1}, {2, 5}};
    EXPECT_EQ(corpus.Document(1), second);
    EXPECT_TRUE(corpus.Document(2).empty());
    EXPECT_EQ(corpus.DocumentFrequencies(), (std::vector<int32_t>{1, 2, 1}));
}

}  // namespace
}  // namespace tavi
