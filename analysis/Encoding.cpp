#include "analysis/Encoding.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace tavi {

// Generated from iconv's CP932 when building (analysis/tables).
extern const uint16_t kSjisOfBmp[0x10000];
extern const uint16_t kBmpOfSjis[0x10000];

namespace {

constexpr uint16_t kGetaCode = 0x81AC;  // 〓, for a character without a Shift_JIS form
constexpr uint16_t kNoCharacter = 0xFFFF;

// Length of the UTF-8 sequence that starts at p[i], at least 1, for skipping a bad character.
size_t Utf8SequenceLength(const unsigned char* p, size_t i, size_t size) {
    unsigned char c = p[i];
    size_t n = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    if (n > size - i) return 1;
    for (size_t k = 1; k < n; ++k)
        if ((p[i + k] & 0xC0) != 0x80) return 1;
    return n;
}

char* AppendUtf8(char* o, uint32_t cp) {
    if (cp < 0x80) {
        *o++ = static_cast<char>(cp);
    } else if (cp < 0x800) {
        *o++ = static_cast<char>(0xC0 | (cp >> 6));
        *o++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *o++ = static_cast<char>(0xE0 | (cp >> 12));
        *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *o++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        *o++ = static_cast<char>(0xF0 | (cp >> 18));
        *o++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *o++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
    return o;
}

// Bytes that ChaSen skips as white space (vertical tab, form feed, space), reads as a line
// end (carriage return) or as the start of an escape sequence.
bool IsCarriedControl(unsigned c) { return c == 0x0B || c == 0x0C || c == 0x0D || c == 0x1B || c == 0x20; }

// Converts character by character as `next` reads them (at most 4 UTF-8 bytes per byte).
template <class NextChar>
std::string ToUtf8(std::string_view sjis, NextChar next) {
    std::string out(sjis.size() * 4, '\0');
    char* o = out.data();
    for (size_t i = 0; i < sjis.size();) {
        const AnalyzerChar ch = next(sjis, i);
        o = AppendUtf8(o, ch.codePoint);
        i += ch.length;
    }
    out.resize(static_cast<size_t>(o - out.data()));
    return out;
}

}  // namespace

std::string Sjis(std::string_view utf8) {
    bool lossy = false;
    std::string sjis = Utf8ToSjis(utf8, &lossy);
    if (lossy) {
        std::fprintf(stderr, "tavi: literal without a Shift_JIS form: %.*s\n", static_cast<int>(utf8.size()),
                     utf8.data());
        std::abort();
    }
    return sjis;
}

std::string SjisToUtf8(std::string_view sjis) {
    return ToUtf8(sjis, [](std::string_view s, size_t i) -> AnalyzerChar {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) return {1, c};
        // A lead byte with its trail byte is one character, valid or not; a lead byte at the
        // end is an incomplete one.
        const size_t n = SjisCharLength(s, i);
        uint16_t cp = kNoCharacter;
        if (n == 2)
            cp = kBmpOfSjis[c << 8 | static_cast<unsigned char>(s[i + 1])];
        else if (!IsSjisLeadByte(c))
            cp = kBmpOfSjis[c];
        return {n, cp == kNoCharacter ? 0xFFFDu : cp};
    });
}

AnalyzerChar NextAnalyzerChar(std::string_view sjis, size_t i) {
    const auto* p = reinterpret_cast<const unsigned char*>(sjis.data());
    const unsigned c = p[i];
    if (c < 0x80) return {1, IsCarriedControl(c) ? kCarriedBase + c : c};
    if (IsSjisLeadByte(c) && i + 1 < sjis.size() && p[i + 1] != '\n' && p[i + 1] != '\t') {
        const unsigned code = c << 8 | p[i + 1];
        return {2, kBmpOfSjis[code] == kNoCharacter ? kCarriedBase + code : kBmpOfSjis[code]};
    }
    const uint16_t cp = IsSjisLeadByte(c) ? kNoCharacter : kBmpOfSjis[c];
    return {1, cp == kNoCharacter ? kCarriedBase + c : cp};
}

std::string SjisToAnalyzerUtf8(std::string_view sjis) { return ToUtf8(sjis, NextAnalyzerChar); }

std::string Utf8ToSjis(std::string_view utf8, bool* lossy) {
    std::string out;
    const bool lost = !AppendUtf8AsSjis(out, utf8);
    if (lossy) *lossy = lost;
    return out;
}

bool AppendUtf8AsSjis(std::string& out, std::string_view utf8) {
    bool lost = false;
    // A Shift_JIS form is never longer than its UTF-8 form, except "〓" for a lone bad byte;
    // so two bytes of room per input byte, and a second byte written ahead is always in it.
    const size_t start = out.size();
    out.resize(start + utf8.size() * 2);
    char* o = out.data() + start;
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const size_t size = utf8.size();
    for (size_t i = 0; i < size;) {
        const unsigned c = p[i];
        if (c < 0x80) {
            *o++ = static_cast<char>(c);
            ++i;
            continue;
        }
        uint32_t cp = 0;
        size_t n;
        const uint32_t three = i + 3 <= size ? c | p[i + 1] << 8 | p[i + 2] << 16 : 0;
        if ((three & 0xC0C0F0u) == 0x8080E0u) {
            n = 3;  // the usual case: kana, kanji and full-width forms; an overlong form has no code
            cp = (three & 0x0Fu) << 12 | (three & 0x3F00u) >> 2 | (three >> 16 & 0x3Fu);
            if (cp < 0x800) cp = 0;
        } else {
            n = Utf8SequenceLength(p, i, size);
            if (n == 2 && c >= 0xC2) cp = (c & 0x1Fu) << 6 | (p[i + 1] & 0x3Fu);
        }
        const uint16_t code = kSjisOfBmp[cp];  // kSjisOfBmp[0] is 0: no code
        if (code == 0) lost = true;
        const uint16_t sjis = code == 0 ? kGetaCode : code;
        const bool twoBytes = sjis >= 0x100;
        o[0] = static_cast<char>(twoBytes ? sjis >> 8 : sjis);
        o[1] = static_cast<char>(sjis & 0xFF);
        o += twoBytes ? 2 : 1;
        i += n;
    }
    out.resize(static_cast<size_t>(o - out.data()));
    return !lost;
}

bool IsValidUtf8(std::string_view bytes) {
    size_t i = 0;
    while (i < bytes.size()) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        size_t n;
        uint32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            n = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + n > bytes.size()) return false;
        for (size_t k = 1; k < n; ++k) {
            unsigned char t = static_cast<unsigned char>(bytes[i + k]);
            if ((t & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (t & 0x3F);
        }
        if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += n;
    }
    return true;
}

std::string SjisPathToNative(const std::string& sjisPath) { return SjisToUtf8(sjisPath); }

bool NativePathToSjis(const std::string& nativePath, std::string& sjisPath) {
    if (!IsValidUtf8(nativePath)) return false;
    bool lossy = false;
    std::string sjis = Utf8ToSjis(nativePath, &lossy);
    if (lossy || SjisToUtf8(sjis) != nativePath) return false;
    sjisPath = std::move(sjis);
    return true;
}

}  // namespace tavi
