#include <gtest/gtest.h>

#include <string>

#include "content/WordIndex.h"

namespace tavi {
namespace {

TEST(WordIndex, FindsEveryWordAcrossGrowthAndKeepsTheLastIndex) {
    WordIndex index;
    EXPECT_EQ(index.Find("a"), 0);  // empty dictionary
    const int words = 20000;
    for (int i = 1; i <= words; ++i) index.Set("w" + std::to_string(i), i);
    index.Set("w7", 70000);  // repeated: the last index counts
    index.Set("", 5);        // the empty word is a word too
    EXPECT_EQ(index.size(), static_cast<size_t>(words) + 1);
    for (int i = 1; i <= words; ++i)
        if (i != 7) {
            ASSERT_EQ(index.Find("w" + std::to_string(i)), i) << i;
        }
    EXPECT_EQ(index.Find("w7"), 70000);
    EXPECT_EQ(index.Find(""), 5);
    EXPECT_EQ(index.Find("w0"), 0);
    EXPECT_EQ(index.Find("w200001"), 0);
    EXPECT_EQ(index.Find(std::string("w1\0", 3)), 0);  // bytes after the word matter

    index.clear();
    EXPECT_TRUE(index.empty());
    EXPECT_EQ(index.Find("w1"), 0);
    index.Set("w1", 3);
    EXPECT_EQ(index.Find("w1"), 3);
}

TEST(WordIndex, ReservingKeepsTheWordsAndAnyAmountIsHarmless) {
    WordIndex index;
    index.Reserve(0);
    EXPECT_EQ(index.Find("a"), 0);
    index.Set("a", 1);
    index.Set("b", 2);
    index.Reserve(5000);  // words already held move to the larger table
    index.Reserve(3);     // less than held: nothing changes
    for (int i = 3; i <= 5000; ++i) index.Set("w" + std::to_string(i), i);
    EXPECT_EQ(index.size(), 5000u);
    EXPECT_EQ(index.Find("a"), 1);
    EXPECT_EQ(index.Find("b"), 2);
    EXPECT_EQ(index.Find("w4999"), 4999);
    EXPECT_EQ(index.Find("w5001"), 0);
    // The look-up with a hash computed ahead gives the same answers.
    for (const char* word : {"a", "w4999", "w5001", ""}) {
        index.Prefetch(WordIndex::HashOf(word));
        EXPECT_EQ(index.Find(word, WordIndex::HashOf(word)), index.Find(word)) << word;
    }
    WordIndex empty;
    empty.Prefetch(WordIndex::HashOf("a"));
    EXPECT_EQ(empty.Find("a", WordIndex::HashOf("a")), 0);
}

}  // namespace
}  // namespace tavi
