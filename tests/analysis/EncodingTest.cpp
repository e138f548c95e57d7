#include <gtest/gtest.h>
#include <iconv.h>

#include <cstdint>

#include "analysis/Encoding.h"

namespace tavi {
namespace {

TEST(Encoding, LiteralsAndRoundTrip) {
    EXPECT_EQ(Sjis("あ"), "\x82\xA0");
    EXPECT_EQ(Sjis("表"), "\x95\x5C");  // trail byte 0x5C is not a backslash here
    EXPECT_EQ(SjisToUtf8(Sjis("漢字とカナ、ＡＢＣ")), "漢字とカナ、ＡＢＣ");
}

TEST(Encoding, UnconvertibleCharactersBecomeGeta) {
    bool lossy = false;
    EXPECT_EQ(Utf8ToSjis("a😀b", &lossy),
              "a\x81\xAC"
              "b");
    EXPECT_TRUE(lossy);
    EXPECT_EQ(Utf8ToSjis("a\xFF"
                         "b",
                         &lossy),
              "a\x81\xAC"
              "b");
    EXPECT_TRUE(lossy);
    EXPECT_EQ(Utf8ToSjis("abc", &lossy), "abc");
    EXPECT_FALSE(lossy);
}

TEST(Encoding, AnalyzerFormCarriesWhatTheAnalyserCannotTake) {
    // Valid text, tabs and line feeds go as they are.
    EXPECT_EQ(SjisToAnalyzerUtf8(Sjis("漢字\tｶﾅ\n")), "漢字\tｶﾅ\n");
    // Carried: U+F0000 plus the byte or the pair.
    EXPECT_EQ(SjisToAnalyzerUtf8("\x80"), "\xF3\xB0\x82\x80");      // U+F0080
    EXPECT_EQ(SjisToAnalyzerUtf8("\x82\x20"), "\xF3\xB8\x88\xA0");  // U+F8220, one character
    EXPECT_EQ(SjisToAnalyzerUtf8("\r"), "\xF3\xB0\x80\x8D");        // U+F000D
    EXPECT_EQ(SjisToAnalyzerUtf8("\x81\n"), "\xF3\xB0\x82\x81\n");  // a lone lead byte
    EXPECT_EQ(SjisToAnalyzerUtf8("\xFC"), "\xF3\xB0\x83\xBC");      // U+F00FC
    EXPECT_EQ(NextAnalyzerChar("\x81\t", 0).length, 1u);
    EXPECT_EQ(NextAnalyzerChar("\x85\x40", 0).codePoint, kCarriedBase + 0x8540);
    // The general conversion still shows U+FFFD.
    EXPECT_EQ(SjisToUtf8("a\x80"), "a\xEF\xBF\xBD");
}

TEST(Encoding, TableConversionAgreesWithIconvOnTheWholeBasicPlane) {
    iconv_t cd = iconv_open("CP932", "UTF-8");
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
    int mapped = 0;
    for (uint32_t cp = 0x80; cp < 0x10000; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        std::string utf8 =
            cp < 0x800 ? std::string{static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F))}
                       : std::string{static_cast<char>(0xE0 | (cp >> 12)), static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
                                     static_cast<char>(0x80 | (cp & 0x3F))};
        char out[8];
        char* in = utf8.data();
        char* o = out;
        size_t inLeft = utf8.size(), outLeft = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        bool ok = iconv(cd, &in, &inLeft, &o, &outLeft) != static_cast<size_t>(-1);
        std::string expected = ok ? std::string(out, sizeof out - outLeft) : std::string("\x81\xAC");
        bool lossy = false;
        ASSERT_EQ(Utf8ToSjis(utf8, &lossy), expected) << "U+" << std::hex << cp;
        EXPECT_EQ(lossy, !ok);
        mapped += ok;
    }
    iconv_close(cd);
    EXPECT_GT(mapped, 7000);
}

// iconv's reading of Shift_JIS, one character at a time: a character it cannot convert
// becomes U+FFFD and is skipped whole (a lead byte takes its trail byte with it).
std::string IconvSjisToUtf8(iconv_t cd, std::string_view sjis) {
    std::string out;
    for (size_t i = 0; i < sjis.size();) {
        size_t n = SjisCharLength(sjis, i);
        char in[2] = {sjis[i], n == 2 ? sjis[i + 1] : '\0'};
        char buffer[8];
        char* inPtr = in;
        char* o = buffer;
        size_t inLeft = n, outLeft = sizeof buffer;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        bool ok = iconv(cd, &inPtr, &inLeft, &o, &outLeft) != static_cast<size_t>(-1) && inLeft == 0;
        out += ok ? std::string(buffer, sizeof buffer - outLeft) : std::string("\xEF\xBF\xBD");
        i += n;
    }
    return out;
}

TEST(Encoding, ShiftJisTableAgreesWithIconvOnEveryByteAndPair) {
    iconv_t cd = iconv_open("UTF-8", "CP932");
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
    int valid = 0;
    for (unsigned first = 0; first < 0x100; ++first) {
        for (unsigned second = 0; second < (IsSjisLeadByte(first) ? 0x100u : 1u); ++second) {
            std::string sjis{static_cast<char>(first)};
            if (IsSjisLeadByte(first)) sjis += static_cast<char>(second);
            std::string expected = IconvSjisToUtf8(cd, sjis);
            ASSERT_EQ(SjisToUtf8(sjis), expected) << std::hex << first << " " << second;
            valid += expected != "\xEF\xBF\xBD";
        }
    }
    // Mixed strings, bad bytes and cut characters included, read as a whole.
    uint32_t seed = 12345;
    for (int round = 0; round < 2000; ++round) {
        std::string sjis;
        for (int k = 0; k < 12; ++k) {
            seed = seed * 1103515245 + 12345;
            sjis += static_cast<char>(seed >> 16 & 1 ? 0x81 + (seed >> 8) % 0x7C : (seed >> 8) & 0xFF);
        }
        ASSERT_EQ(SjisToUtf8(sjis), IconvSjisToUtf8(cd, sjis)) << round;
    }
    iconv_close(cd);
    EXPECT_GT(valid, 7000);
}

TEST(Encoding, InvalidShiftJisBecomesReplacementCharacter) {
    EXPECT_EQ(SjisToUtf8("a\x80"
                         "b"),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(SjisToUtf8("a\x82"), "a\xEF\xBF\xBD");  // lone lead byte at the end
}

TEST(Encoding, Utf8Validation) {
    EXPECT_TRUE(IsValidUtf8("plain"));
    EXPECT_TRUE(IsValidUtf8("日本語"));
    EXPECT_FALSE(IsValidUtf8(Sjis("日本語")));
    EXPECT_FALSE(IsValidUtf8("\xE6\x97"));      // cut sequence
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));      // overlong
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));  // surrogate
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
