#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavi {

class MorphemeTable;

// A stretch of an answer: character offsets [begin, end) into the text as read, where a
// Shift_JIS double-byte pair is one character and so is each line feed.
struct TextSpan {
    uint32_t begin = 0;
    uint32_t end = 0;
    bool operator==(const TextSpan&) const = default;
};

// Where each row of a morpheme table stands in the text that was analysed.
class TextPositions {
public:
    TextPositions() = default;
    // Aligns the rows with `text` (Shift_JIS): each surface form is looked for from where the
    // previous row ended, within the same line; an "EOS" row stands for the next line feed, or
    // for the end of a text whose last line has none. A row that the text does not hold (the
    // analyser changed or invented it) gets an empty span where the search stood.
    TextPositions(const MorphemeTable& table, std::string_view text);

    // The span of a row; an empty span at the end of the text for a row beyond the table.
    TextSpan Row(size_t row) const { return row < m_rows.size() ? m_rows[row] : TextSpan{m_length, m_length}; }
    size_t RowCount() const { return m_rows.size(); }

private:
    std::vector<TextSpan> m_rows;
    uint32_t m_length = 0;  // characters of the text
};

// A sentence as the rhetoric features count it, with the morphemes counted in it.
struct SentenceEvidence {
    TextSpan span;             // first word to full stop; a paragraph's opening line feed is left out
    uint32_t bytes = 0;        // its length, as entered in the sentence lengths
    uint32_t attributive = 0;  // noun-modifying predicates
    uint32_t links = 0;        // continuative forms + conjunctive particles
    uint32_t passives = 0;     // passive suffixes
    std::vector<TextSpan> attributiveAt;
    std::vector<TextSpan> linksAt;
    std::vector<TextSpan> passivesAt;
};

// A phrase (between commas, or a comma and a full stop), the comma left out of its span.
struct PhraseEvidence {
    TextSpan span;
    uint32_t bytes = 0;          // its length, as entered in the phrase lengths
    uint32_t functionWords = 0;  // stands for its number of bunsetsu
};

// A run of kanji nouns read as one compound.
struct KanjiRunEvidence {
    TextSpan span;              // first to last kanji noun of the run
    std::string reading;        // the readings joined (Shift_JIS katakana)
    uint32_t readingBytes = 0;  // as entered in the run readings
};

// A word with every place where it was counted.
struct WordEvidence {
    std::string word;  // Shift_JIS
    uint32_t count = 0;
    std::vector<TextSpan> at;
};

// One cue-word or demonstrative entry that matched a sentence. Each entry counts once per
// sentence; `at` is its first occurrence (the sentence start for a start entry).
struct CueWordHit {
    std::string word;  // the table entry, Shift_JIS
    int group = 0;     // 1 to 8 for cue words, 0 for demonstratives
    TextSpan at;
};

// A sentence as the organization features count it, when it holds at least one hit.
struct OrganizationSentence {
    TextSpan span;
    std::vector<CueWordHit> cueWords;
    std::vector<CueWordHit> demonstratives;
};

// A content noun of the model's dictionary, compared between the answer and the question.
struct ContentNounEvidence {
    std::string key;      // key form (katakana turned into hiragana), Shift_JIS
    std::string surface;  // as first written (in the answer when it has the noun, else in the question)
    uint32_t answerCount = 0;
    uint32_t questionCount = 0;
    std::vector<TextSpan> at;  // its occurrences in the answer
};

// Where the features of one answer were found. Filled by the same passes that measure the
// features, so every list here is the list those passes counted (the sentence lengths, the
// phrase lengths, the run readings, the kanji-noun frequencies and so on).
struct EssayEvidence {
    std::string text;         // the answer as read (Shift_JIS); every span indexes its characters
    TextPositions positions;  // the rows of the answer's table in `text`; used while extracting, not stored

    bool rhetoricRecorded = false;
    std::vector<SentenceEvidence> sentences;  // every closed sentence, in text order
    std::vector<PhraseEvidence> phrases;      // every closed phrase, in text order
    std::vector<KanjiRunEvidence> kanjiRuns;  // every closed kanji-noun run, in text order
    std::vector<WordEvidence> kanjiNouns;     // every distinct kanji noun, most frequent first
    uint32_t kanjiBytes = 0;
    uint32_t kanaBytes = 0;
    uint32_t passives = 0;  // in the whole answer, closed sentences or not

    bool organizationRecorded = false;
    std::vector<OrganizationSentence> organization;  // sentences with a cue word or demonstrative

    bool contentRecorded = false;
    std::vector<ContentNounEvidence> sharedNouns;   // in the answer and the question, in answer order
    std::vector<ContentNounEvidence> missingNouns;  // only in the question, most frequent there first
};

// Number of characters of a Shift_JIS string.
uint32_t CharacterCount(std::string_view sjis);

// The characters of a Shift_JIS text by their offsets, to cut spans out of it. Keeps a view of
// the text, which must outlive it.
class CharacterIndex {
public:
    explicit CharacterIndex(std::string_view text);
    uint32_t Characters() const { return static_cast<uint32_t>(m_starts.size() - 1); }
    // The bytes of the characters [span.begin, span.end), clipped to the text.
    std::string_view Cut(TextSpan span) const;

private:
    std::string_view m_text;
    std::vector<size_t> m_starts;  // byte offset of each character, and the text's size last
};

}  // namespace tavi
