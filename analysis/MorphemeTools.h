#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "analysis/MorphemeTable.h"

namespace tavi {

class AnalyzerBinding;

// Stateless text utilities: the answer-file reader, the full-width conversion, the splitter
// of analyser output, and the part-of-speech predicates on a MorphemeTable.
// All strings are Shift_JIS bytes. Every member is const and thread-safe.
class MorphemeTools {
public:
    // Paragraph rules of ReadAnswerFile.
    static constexpr int kParagraphBlankLines = 0;  // two or more line breaks separate paragraphs
    static constexpr int kParagraphEveryLine = 1;   // every line break separates paragraphs
    // Bytes of a file that ReadAnswerFile reads at most; an answer is far shorter.
    static constexpr size_t kMaxAnswerBytes = 64 << 20;

    // Reads a text file under the paragraph rule, converting half-width characters to
    // full width. `path` is a Shift_JIS path. Returns the byte length of `text`; 0 when the
    // file cannot be opened (then `text` is empty) or yields no text. A file that is valid
    // UTF-8 with non-ASCII bytes (or a UTF-8 byte-order mark) is converted to Shift_JIS first.
    size_t ReadAnswerFile(const std::string& path, std::string& text, int paragraphMode) const;

    // Same as ReadAnswerFile on bytes already in memory (the file's raw contents).
    size_t ReadAnswerBytes(std::string_view bytes, std::string& text, int paragraphMode) const;

    // Replaces every half-width character of `line` by its full-width form (code page 932
    // table); double-byte characters and control bytes are copied. Returns `result`.
    const std::string& ToFullWidth(std::string_view line, std::string& result) const;

    // Refills `table` from analyser output: every tab- or line-feed-ended field is one
    // element; an "EOS" field fills a whole row of six "EOS" elements.
    void SplitAnalysis(std::string_view analysis, MorphemeTable& table) const;

    // Row forms read field 6*row + k of the table; they throw std::invalid_argument for a
    // row outside the table. Field forms take the field string itself.
    bool IsEndOfLine(const MorphemeTable& t, size_t row) const { return IsEndOfLine(t.Field(row, kSurface)); }
    bool IsComma(const MorphemeTable& t, size_t row) const { return IsComma(t.Field(row, kPartOfSpeech)); }
    bool IsPeriod(const MorphemeTable& t, size_t row) const { return IsPeriod(t.Field(row, kPartOfSpeech)); }
    bool IsSpace(const MorphemeTable& t, size_t row) const { return IsSpace(t.Field(row, kPartOfSpeech)); }
    bool IsNoun(const MorphemeTable& t, size_t row) const { return IsNoun(t.Field(row, kPartOfSpeech)); }
    bool IsNumeral(const MorphemeTable& t, size_t row) const { return IsNumeral(t.Field(row, kPartOfSpeech)); }
    bool IsSymbol(const MorphemeTable& t, size_t row) const { return IsSymbol(t.Field(row, kPartOfSpeech)); }
    bool IsFunctionWord(const MorphemeTable& t, size_t row) const {
        return IsFunctionWord(t.Field(row, kPartOfSpeech));
    }
    bool IsConjunctiveParticle(const MorphemeTable& t, size_t row) const {
        return IsConjunctiveParticle(t.Field(row, kPartOfSpeech));
    }
    bool IsContinuativeForm(const MorphemeTable& t, size_t row) const {
        return IsContinuativeForm(t.Field(row, kConjugationForm));
    }
    bool IsPassive(const MorphemeTable& t, size_t row) const {
        return IsPassive(t.Field(row, kPartOfSpeech), t.Field(row, kBaseForm));
    }
    bool IsContentNoun(const MorphemeTable& t, size_t row) const { return IsContentNoun(t.Field(row, kPartOfSpeech)); }
    // Reads part of speech and conjugation form of `row` and, when needed, the part of speech of row + 1.
    bool IsNounModifyingPredicate(const MorphemeTable& t, size_t row) const;
    bool HasKanji(const MorphemeTable& t, size_t row) const { return HasKanji(t.Field(row, kSurface)); }

    bool IsEndOfLine(std::string_view surface) const;
    bool IsComma(std::string_view pos) const;
    bool IsPeriod(std::string_view pos) const;
    bool IsSpace(std::string_view pos) const;
    bool IsNoun(std::string_view pos) const;
    bool IsNumeral(std::string_view pos) const;
    bool IsSymbol(std::string_view pos) const;
    bool IsFunctionWord(std::string_view pos) const;
    bool IsConjunctiveParticle(std::string_view pos) const;
    bool IsContinuativeForm(std::string_view conjugationForm) const;
    bool IsPassive(std::string_view pos, std::string_view baseForm) const;
    bool IsContentNoun(std::string_view pos) const;
    // `nextPos` is the part of speech of the following row.
    bool IsNounModifyingPredicate(std::string_view pos, std::string_view conjugationForm,
                                  std::string_view nextPos) const;

    // True when the surface holds a double-byte character at or above 0x889F (a kanji).
    bool HasKanji(std::string_view surface) const;

    // True when `name` occurs in `field` starting at a Shift_JIS character boundary.
    bool ContainsText(std::string_view field, std::string_view name) const;
    // Byte offset of the first such occurrence of `name` in `field`, or npos.
    size_t FindText(std::string_view field, std::string_view name) const;
    // True when `field` begins with `name`, compared character by character.
    bool StartsWithText(std::string_view field, std::string_view name) const;

    // Turns full-width katakana into hiragana (ヴ into "う゛"); other characters are copied.
    const std::string& ToHiragana(std::string_view text, std::string& result) const;
};

// The bytes of an answer or question file (native path) that the paragraph rule reads: a text
// file's bytes as they stand; for a Word document (recognised by its content, or named .docx)
// the UTF-8 text of its body (ExtractWordText). False with `error` ("path: cause") when the
// file cannot be read or is a Word document that cannot be read; `bytes` then holds what was
// read of a text file, nothing of a Word document.
bool ReadAnswerSource(const std::string& nativePath, std::string& bytes, std::string& error);

// Reads a text file (native path) as ReadAnswerFile does, analyses it when `analyzer` is
// loaded and refills `table` from the result; without a loaded analyser the text is split as it
// stands. `afterReading`, when set, is called between reading and analysing. Returns the text as
// read (full width, Shift_JIS). When the file cannot be read whole, `error` says why
// ("path: cause") and the text is what came before the failure; otherwise `error` is emptied.
std::string AnalyseText(const std::string& nativePath, int paragraphMode, AnalyzerBinding& analyzer,
                        MorphemeTable& table, std::string& error, const std::function<void()>& afterReading = {});

}  // namespace tavi
