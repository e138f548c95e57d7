#include "analysis/Encoding.h"

#include <gtest/gtest.h>

namespace tavi {
namespace {

TEST(Encoding, LiteralsAndRoundTrip) {
    EXPECT_EQ(Sjis("あ"), "\x82\xA0");
    EXPECT_EQ(Sjis("表"), "\x95\x5C");  // trail byte 0x5C is not a backslash here
    EXPECT_EQ(SjisToUtf8(Sjis("漢字とカナ、ＡＢＣ")), "漢字とカナ、ＡＢＣ");
}

TEST(Encoding, UnconvertibleCharactersBecomeGeta) {
    bool lossy = false;
    EXPECT_EQ(Utf8ToSjis("a😀b", &lossy), "a\x81\xAC" "b");
    EXPECT_TRUE(lossy);
    EXPECT_EQ(Utf8ToSjis("a\xFF" "b", &lossy), "a\x81\xAC" "b");
    EXPECT_TRUE(lossy);
    EXPECT_EQ(Utf8ToSjis("abc", &lossy), "abc");
    EXPECT_FALSE(lossy);
}

TEST(Encoding, InvalidShiftJisBecomesReplacementCharacter) {
    EXPECT_EQ(SjisToUtf8("a\x80" "b"), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(SjisToUtf8("a\x82"), "a\xEF\xBF\xBD");  // lone lead byte at the end
}

TEST(Encoding, Utf8Validation) {
    EXPECT_TRUE(IsValidUtf8("plain"));
    EXPECT_TRUE(IsValidUtf8("日本語"));
    EXPECT_FALSE(IsValidUtf8(Sjis("日本語")));
    EXPECT_FALSE(IsValidUtf8("\xE6\x97"));          // cut sequence
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
}

TEST(Encoding, PathsConvertOnlyWhenExact) {
    std::string sjis;
    EXPECT_TRUE(NativePathToSjis("/tmp/回答1.txt", sjis));
    EXPECT_EQ(SjisPathToNative(sjis), "/tmp/回答1.txt");
    EXPECT_FALSE(NativePathToSjis("/tmp/😀.txt", sjis));
    EXPECT_FALSE(NativePathToSjis("/tmp/\xFF.txt", sjis));
}

}  // namespace
}  // namespace tavi
