#include "analysis/MorphemeTools.h"

#include <cctype>
#include <cstring>
#include <filesystem>

#include "analysis/AnalyzerBinding.h"
#include "analysis/Encoding.h"
#include "analysis/FileIo.h"
#include "analysis/WordDocument.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tavi {
namespace {

// Full-width Shift_JIS codes of the printable ASCII bytes 0x20-0x7E (code page 932 table;
// the characters with several candidates use the forms listed in the notes of the reader).
constexpr uint16_t kAsciiFullWidth[95] = {
    0x8140, 0x8149, 0x8168, 0x8194, 0x8190, 0x8193, 0x8195, 0x8166, 0x8169, 0x816A, 0x8196, 0x817B, 0x8143, 0x817C,
    0x8144, 0x815E, 0x824F, 0x8250, 0x8251, 0x8252, 0x8253, 0x8254, 0x8255, 0x8256, 0x8257, 0x8258, 0x8146, 0x8147,
    0x8183, 0x8181, 0x8184, 0x8148, 0x8197, 0x8260, 0x8261, 0x8262, 0x8263, 0x8264, 0x8265, 0x8266, 0x8267, 0x8268,
    0x8269, 0x826A, 0x826B, 0x826C, 0x826D, 0x826E, 0x826F, 0x8270, 0x8271, 0x8272, 0x8273, 0x8274, 0x8275, 0x8276,
    0x8277, 0x8278, 0x8279, 0x816D, 0x818F, 0x816E, 0x814F, 0x8151, 0x8165, 0x8281, 0x8282, 0x8283, 0x8284, 0x8285,
    0x8286, 0x8287, 0x8288, 0x8289, 0x828A, 0x828B, 0x828C, 0x828D, 0x828E, 0x828F, 0x8290, 0x8291, 0x8292, 0x8293,
    0x8294, 0x8295, 0x8296, 0x8297, 0x8298, 0x8299, 0x829A, 0x816F, 0x8162, 0x8170, 0x8150,
};

// Full-width Shift_JIS codes of the half-width katakana bytes 0xA1-0xDF; the voicing marks
// become the separate marks ゛ and ゜.
constexpr uint16_t kKanaFullWidth[63] = {
    0x8142, 0x8175, 0x8176, 0x8141, 0x8145, 0x8392, 0x8340, 0x8342, 0x8344, 0x8346, 0x8348, 0x8383, 0x8385,
    0x8387, 0x8362, 0x815B, 0x8341, 0x8343, 0x8345, 0x8347, 0x8349, 0x834A, 0x834C, 0x834E, 0x8350, 0x8352,
    0x8354, 0x8356, 0x8358, 0x835A, 0x835C, 0x835E, 0x8360, 0x8363, 0x8365, 0x8367, 0x8369, 0x836A, 0x836B,
    0x836C, 0x836D, 0x836E, 0x8371, 0x8374, 0x8377, 0x837A, 0x837D, 0x837E, 0x8380, 0x8381, 0x8382, 0x8384,
    0x8386, 0x8388, 0x8389, 0x838A, 0x838B, 0x838C, 0x838D, 0x838F, 0x8393, 0x814A, 0x814B,
};

// A line reader's buffer holds 1023 bytes: a chunk ends after a line feed or 1022 bytes.
constexpr size_t kChunkBytes = 1022;

struct Names {
    std::string eos = "EOS";
    std::string comma = Sjis("記号-読点");
    std::string period = Sjis("記号-句点");
    std::string space = Sjis("記号-空白");
    std::string noun = Sjis("名詞");
    std::string numeral = Sjis("数");
    std::string symbol = Sjis("記号");
    std::string particle = Sjis("助詞");
    std::string auxiliary = Sjis("助動詞");
    std::string conjunction = Sjis("接続詞");
    std::string conjunctiveParticle = Sjis("助詞-接続助詞");
    std::string continuative = Sjis("連用形");
    std::string verbSuffix = Sjis("動詞-接尾");
    std::string passiveBase = Sjis("れる");
    std::string attributiveForm = Sjis("体言接続");
    std::string verb = Sjis("動詞");
    std::string basicForm = Sjis("基本形");
    std::string finalParticle = Sjis("助詞-終助詞");
    // Content nouns: prefixes that exclude, then parts that exclude.
    std::string excludedPrefixes[4] = {Sjis("名詞-数"), Sjis("名詞-特殊"), Sjis("名詞-接続詞的"),
                                       Sjis("名詞-動詞非自立的")};
    std::string excludedParts[6] = {Sjis("-代名詞"), Sjis("副詞可能"), Sjis("ない形容詞語幹"),
                                    Sjis("-接尾-"),  Sjis("-非自立-"), Sjis("-人名-")};
};

[[gnu::always_inline]] inline const Names& N() {
    static const Names names;
    return names;
}

// Byte comparisons of fields with names; the first two bytes (the first character of every
// name) are compared inline, which settles most comparisons without calling memcmp.
inline bool StartsWithBytes(std::string_view field, std::string_view name) {
    if (field.size() < name.size()) return false;
    if (name.size() >= 2 && (field[0] != name[0] || field[1] != name[1])) return false;
    return std::memcmp(field.data(), name.data(), name.size()) == 0;
}

inline bool EqualsBytes(std::string_view field, std::string_view name) {
    return field.size() == name.size() && StartsWithBytes(field, name);
}

// Calls onSeparator(p) for the position p of every tab and line feed of `text`, in order;
// sixteen bytes at a time where the processor has SSE2.
template <typename OnSeparator>
void ForEachSeparator(std::string_view text, OnSeparator onSeparator) {
    const char* data = text.data();
    size_t p = 0;
#if defined(__SSE2__)
    const __m128i tab = _mm_set1_epi8('\t');
    const __m128i lineFeed = _mm_set1_epi8('\n');
    for (; p + 16 <= text.size(); p += 16) {
        __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + p));
        auto mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(chunk, tab), _mm_cmpeq_epi8(chunk, lineFeed))));
        for (; mask; mask &= mask - 1) onSeparator(p + static_cast<size_t>(__builtin_ctz(mask)));
    }
#endif
    for (; p < text.size(); ++p)
        if (data[p] == '\t' || data[p] == '\n') onSeparator(p);
}

void AppendCode(std::string& out, uint16_t code) {
    out.push_back(static_cast<char>(code >> 8));
    out.push_back(static_cast<char>(code & 0xFF));
}

// Removes a UTF-8 text's byte-order mark and converts it to Shift_JIS when the bytes are
// UTF-8 with non-ASCII characters; other bytes are taken as Shift_JIS unchanged.
std::string ToSjisBytes(std::string_view bytes) {
    bool bom = bytes.size() >= 3 && std::memcmp(bytes.data(), "\xEF\xBB\xBF", 3) == 0;
    if (bom) return Utf8ToSjis(bytes.substr(3));
    bool ascii = true;
    for (unsigned char c : bytes)
        if (c >= 0x80) {
            ascii = false;
            break;
        }
    if (!ascii && IsValidUtf8(bytes)) return Utf8ToSjis(bytes);
    return std::string(bytes);
}

// Text-mode reading: a carriage return followed by a line feed reads as one line feed.
std::string DropCarriageReturns(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
        out.push_back(bytes[i]);
    }
    return out;
}

}  // namespace

size_t MorphemeTools::ReadAnswerFile(const std::string& path, std::string& text, int paragraphMode) const {
    std::string bytes, error;
    // A read error ends the text where it happened, and so does the size limit.
    ReadAnswerSource(SjisPathToNative(path), bytes, error);
    return ReadAnswerBytes(bytes, text, paragraphMode);
}

size_t MorphemeTools::ReadAnswerBytes(std::string_view raw, std::string& text, int paragraphMode) const {
    text.clear();
    const std::string bytes = DropCarriageReturns(ToSjisBytes(raw));
    bool atBreak = true;
    std::string converted;
    size_t pos = 0;
    while (pos < bytes.size()) {
        // One chunk: up to and including a line feed, or 1022 bytes; a double-byte
        // character that the limit would cut is kept whole.
        size_t end = pos;
        bool hasLineFeed = false;
        while (end < bytes.size() && end - pos < kChunkBytes) {
            if (bytes[end] == '\n') {
                hasLineFeed = true;
                ++end;
                break;
            }
            if (IsSjisLeadByte(static_cast<unsigned char>(bytes[end])) && end + 1 < bytes.size() &&
                bytes[end + 1] != '\n') {
                end += 2;
            } else {
                ++end;
            }
        }
        std::string_view chunk(bytes.data() + pos, end - pos);
        pos = end;
        if (chunk[0] == '\n') {
            if (!atBreak) {
                text.push_back('\n');
                atBreak = true;
            }
            continue;
        }
        atBreak = false;
        if (hasLineFeed) {
            if (paragraphMode == kParagraphEveryLine) {
                atBreak = true;
            } else {
                chunk.remove_suffix(1);
            }
        }
        text += ToFullWidth(chunk, converted);
    }
    return text.size();
}

const std::string& MorphemeTools::ToFullWidth(std::string_view line, std::string& result) const {
    result.clear();
    result.reserve(line.size() * 2);
    for (size_t i = 0; i < line.size();) {
        unsigned char c = static_cast<unsigned char>(line[i]);
        if (IsSjisLeadByte(c) && i + 1 < line.size()) {
            result.push_back(line[i]);
            result.push_back(line[i + 1]);
            i += 2;
            continue;
        }
        if (c >= 0x20 && c <= 0x7E) {
            AppendCode(result, kAsciiFullWidth[c - 0x20]);
        } else if (c >= 0xA1 && c <= 0xDF) {
            AppendCode(result, kKanaFullWidth[c - 0xA1]);
        } else {
            result.push_back(static_cast<char>(c));
        }
        ++i;
    }
    return result;
}

void MorphemeTools::SplitAnalysis(std::string_view analysis, MorphemeTable& table) const {
    // Every tab or line feed ends a field; an "EOS" field fills its whole row. The array
    // holds at least one element more than there are separators.
    const std::string_view eos = N().eos;
    table.Reset(analysis);
    size_t separators = 0;
    size_t start = 0;
    ForEachSeparator(analysis, [&](size_t p) {
        ++separators;
        const size_t length = p - start;
        const bool isEos = length == eos.size() && analysis.compare(start, length, eos) == 0;
        for (size_t k = 0; k < (isEos ? kFieldCount : 1); ++k) table.AppendSpan(start, length);
        start = p + 1;
    });
    if (table.ElementCount() < separators + 1) table.AppendSpan(0, 0);
}

bool MorphemeTools::IsEndOfLine(std::string_view surface) const { return EqualsBytes(surface, N().eos); }
bool MorphemeTools::IsComma(std::string_view pos) const { return EqualsBytes(pos, N().comma); }
bool MorphemeTools::IsPeriod(std::string_view pos) const { return EqualsBytes(pos, N().period); }
bool MorphemeTools::IsSpace(std::string_view pos) const { return EqualsBytes(pos, N().space); }
bool MorphemeTools::IsNoun(std::string_view pos) const { return StartsWithBytes(pos, N().noun); }
bool MorphemeTools::IsNumeral(std::string_view pos) const { return ContainsText(pos, N().numeral); }
bool MorphemeTools::IsSymbol(std::string_view pos) const { return StartsWithBytes(pos, N().symbol); }

bool MorphemeTools::IsFunctionWord(std::string_view pos) const {
    return StartsWithBytes(pos, N().particle) || StartsWithBytes(pos, N().auxiliary) ||
           StartsWithBytes(pos, N().conjunction);
}

bool MorphemeTools::IsConjunctiveParticle(std::string_view pos) const {
    return StartsWithBytes(pos, N().conjunctiveParticle);
}

bool MorphemeTools::IsContinuativeForm(std::string_view form) const { return StartsWithBytes(form, N().continuative); }

bool MorphemeTools::IsPassive(std::string_view pos, std::string_view baseForm) const {
    return StartsWithBytes(pos, N().verbSuffix) && ContainsText(baseForm, N().passiveBase);
}

bool MorphemeTools::IsContentNoun(std::string_view pos) const {
    if (!StartsWithBytes(pos, N().noun)) return false;
    for (const std::string& prefix : N().excludedPrefixes)
        if (StartsWithBytes(pos, prefix)) return false;
    for (const std::string& part : N().excludedParts)
        if (ContainsText(pos, part)) return false;
    return true;
}

bool MorphemeTools::IsNounModifyingPredicate(const MorphemeTable& t, size_t row) const {
    std::string_view form = t.Field(row, kConjugationForm);
    // Most rows have neither form: settled without looking at the part of speech.
    if (!StartsWithBytes(form, N().attributiveForm) && !StartsWithBytes(form, N().basicForm)) return false;
    std::string_view pos = t.Field(row, kPartOfSpeech);
    // Only a verb in its basic form looks at the next row; a table that ends without its
    // end-of-line row is read as if that row were there.
    bool needsNext = !StartsWithBytes(form, N().attributiveForm) && ContainsText(pos, N().verb);
    std::string_view next = N().eos;
    if (needsNext && row + 1 < t.RowCount()) next = t.Field(row + 1, kPartOfSpeech);
    return IsNounModifyingPredicate(pos, form, next);
}

bool MorphemeTools::IsNounModifyingPredicate(std::string_view pos, std::string_view form,
                                             std::string_view nextPos) const {
    if (StartsWithBytes(form, N().attributiveForm)) return true;
    if (StartsWithBytes(form, N().basicForm) && ContainsText(pos, N().verb)) {
        if (StartsWithBytes(nextPos, N().noun)) return true;
        return !(EqualsBytes(nextPos, N().period) || StartsWithBytes(nextPos, N().finalParticle));
    }
    return false;
}

bool MorphemeTools::HasKanji(std::string_view surface) const {
    for (size_t i = 0; i < surface.size();) {
        size_t n = SjisCharLength(surface, i);
        if (n == 2) {
            unsigned code = (static_cast<unsigned char>(surface[i]) << 8) | static_cast<unsigned char>(surface[i + 1]);
            if (code >= 0x889F) return true;
        }
        i += n;
    }
    return false;
}

bool MorphemeTools::ContainsText(std::string_view field, std::string_view name) const {
    return FindText(field, name) != std::string_view::npos;
}

size_t MorphemeTools::FindText(std::string_view field, std::string_view name) const {
    if (name.empty()) return 0;
    if (name.size() > field.size()) return std::string_view::npos;
    if (field.size() <= 32) {
        // Short fields (parts of speech): character by character, the first two bytes inline.
        const size_t last = field.size() - name.size();
        for (size_t i = 0; i <= last; i += SjisCharLength(field, i))
            if (field[i] == name[0] && (name.size() == 1 || field[i + 1] == name[1]) &&
                std::memcmp(field.data() + i, name.data(), name.size()) == 0)
                return i;
        return std::string_view::npos;
    }
    // Long fields (sentences): byte search finds the candidates; a candidate counts only at a
    // character boundary, which one walk over the characters, never going back, tells.
    size_t boundary = 0;
    while (boundary + name.size() <= field.size()) {
        const void* hit = memmem(field.data() + boundary, field.size() - boundary, name.data(), name.size());
        if (!hit) break;
        size_t at = static_cast<size_t>(static_cast<const char*>(hit) - field.data());
        while (boundary < at) boundary += SjisCharLength(field, boundary);
        if (boundary == at) return at;
    }
    return std::string_view::npos;
}

bool MorphemeTools::StartsWithText(std::string_view field, std::string_view name) const {
    // Character by character: the first n characters of the field against the n of the name.
    size_t i = 0;
    while (i < name.size()) {
        size_t n = SjisCharLength(name, i);
        if (i + n > field.size() || SjisCharLength(field, i) != n) return false;
        if (std::memcmp(field.data() + i, name.data() + i, n) != 0) return false;
        i += n;
    }
    return true;
}

const std::string& MorphemeTools::ToHiragana(std::string_view text, std::string& result) const {
    static const std::string kVu = Sjis("う゛");
    result.clear();
    result.reserve(text.size() + 8);
    for (size_t i = 0; i < text.size();) {
        size_t n = SjisCharLength(text, i);
        if (n == 2) {
            unsigned code = (static_cast<unsigned char>(text[i]) << 8) | static_cast<unsigned char>(text[i + 1]);
            if (code >= 0x8340 && code <= 0x8393) {
                // Katakana skips the trail byte 0x7F; hiragana ぁ-ん is contiguous from 0x829F.
                unsigned offset = code - 0x8340 - (code >= 0x8380 ? 1 : 0);
                AppendCode(result, static_cast<uint16_t>(0x829F + offset));
                i += 2;
                continue;
            }
            if (code == 0x8394) {
                result += kVu;
                i += 2;
                continue;
            }
        }
        result.append(text.data() + i, n);
        i += n;
    }
    return result;
}

bool ReadAnswerSource(const std::string& nativePath, std::string& bytes, std::string& error) {
    const bool whole = ReadRegularFile(nativePath, bytes, error, MorphemeTools::kMaxAnswerBytes);
    std::string extension = std::filesystem::path(nativePath).extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension != ".docx" && !IsWordDocument(bytes)) return whole;
    std::string text, cause;
    const bool extracted = whole && ExtractWordText(bytes, text, cause);
    if (whole && !extracted) error = nativePath + ": " + cause;
    bytes = std::move(text);
    return extracted;
}

std::string AnalyseText(const std::string& nativePath, int paragraphMode, AnalyzerBinding& analyzer,
                        MorphemeTable& table, std::string& error, const std::function<void()>& afterReading) {
    const MorphemeTools tools;
    std::string bytes;
    error.clear();
    ReadAnswerSource(nativePath, bytes, error);
    std::string text;
    tools.ReadAnswerBytes(bytes, text, paragraphMode);
    if (afterReading) afterReading();
    std::optional<std::string> analysis;
    if (analyzer.IsLoaded()) analysis = analyzer.Analyze(text);
    tools.SplitAnalysis(analysis ? *analysis : text, table);
    return text;
}

}  // namespace tavi
