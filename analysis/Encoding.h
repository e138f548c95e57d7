#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tavi {

// Shift_JIS (code page 932) helpers. The core keeps every text as Shift_JIS bytes;
// these convert at the edges (analyser, file names, UI, JSON).

// True for a byte that starts a double-byte Shift_JIS character (0x81-0x9F, 0xE0-0xFC).
inline bool IsSjisLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Byte length of the Shift_JIS character that starts at `s[i]`: 2 for a lead byte
// followed by another byte, else 1.
inline size_t SjisCharLength(std::string_view s, size_t i) {
    return IsSjisLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
}

// The Shift_JIS form of a UTF-8 literal of the program. Every Japanese string constant of
// the core passes through here once (kept in a static), so source files stay UTF-8.
// Aborts on a literal without a code page 932 form: that is a programming error.
std::string Sjis(std::string_view utf8);

// Converts Shift_JIS to UTF-8. Bytes that are not valid code page 932 become U+FFFD.
std::string SjisToUtf8(std::string_view sjis);

// One character of a Shift_JIS text as the analyser is handed it: `length` bytes of the
// text, given as the code point `codePoint`.
struct AnalyzerChar {
    size_t length;
    uint32_t codePoint;
};

// First code point of the private-use plane that carries, as kCarriedBase + code, a
// character the analyser cannot take as it is: a single byte (code < 0x100) or a lead and
// trail byte pair (lead << 8 | trail).
constexpr uint32_t kCarriedBase = 0xF0000;

// The character at `sjis[i]` for the analyser. A lead byte followed by a line feed or a tab
// stands alone (those two bytes structure the analyser's input and output). Characters
// without a code page 932 form, a lone lead byte, and the bytes that ChaSen drops or misreads
// (carriage return, vertical tab, form feed, escape, space) are carried (kCarriedBase + code).
AnalyzerChar NextAnalyzerChar(std::string_view sjis, size_t i);

// Converts Shift_JIS to UTF-8 for the analyser, character by character as NextAnalyzerChar
// reads them; nothing is lost, so every surface of the result maps back to the bytes it came from.
std::string SjisToAnalyzerUtf8(std::string_view sjis);

// Converts UTF-8 to Shift_JIS. A character without a code page 932 form, or an invalid
// UTF-8 sequence, becomes "〓" (0x81AC); `lossy`, when given, tells whether that happened.
std::string Utf8ToSjis(std::string_view utf8, bool* lossy = nullptr);
// Appends the Utf8ToSjis form of `utf8` to `out`; false when a character became "〓".
bool AppendUtf8AsSjis(std::string& out, std::string_view utf8);

// True when `bytes` is valid UTF-8.
bool IsValidUtf8(std::string_view bytes);

// The UTF-8 form of a Shift_JIS path, for the file system.
std::string SjisPathToNative(const std::string& sjisPath);

// The Shift_JIS form of a native path; false when it has no exact code page 932 form.
bool NativePathToSjis(const std::string& nativePath, std::string& sjisPath);

}  // namespace tavi
