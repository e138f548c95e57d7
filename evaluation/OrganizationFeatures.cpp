#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "analysis/Encoding.h"
#include "analysis/MorphemeTools.h"
#include "evaluation/CueWords.h"
#include "evaluation/EssayRecord.h"

namespace tavi {
namespace {

struct CueWordGroupText {
    std::vector<const char*> start;     // count only at the start of a sentence
    std::vector<const char*> anywhere;  // count anywhere in a sentence
};

struct CueWordGroup {
    std::vector<std::string> start;
    std::vector<std::string> anywhere;
};

const std::vector<CueWordGroup>& CueWordGroups() {
    static const std::vector<CueWordGroup> groups = [] {
        // Eight groups of 19, 12, 24, 4, 10, 9, 20 and 11 entries. Only their sum is used. "最後に"
        // stands twice on purpose, and "むしろ" is in groups 1 and 8.
        const CueWordGroupText text[8] = {
            // addition and emphasis
            {{"加えて"},
             {"また、", "また，", "そして", "しかも", "むしろ", "とりわけ", "さらに", "とくに", "特に", "このほか",
              "この他", "何より", "なにより", "そのうえ", "それに加えて", "それどころか", "最後に", "最後に"}},
            // restatement and summary
            {{},
             {"つまり、", "つまり，", "すなわち", "即ち", "言い換えれば", "換言すれば", "言い換えると", "要約すれば",
              "要するに", "要は", "まさに", "その点で"}},
            // reason and consequence
            {{"そう考える"},
             {"なぜなら",     "と言うのも",   "その理由は",   "その意味で",     "そのため",   "どうしてか。",
              "どうしてか．", "なぜなのか。", "なぜなのか．", "そうでなければ", "それならば", "それゆえ",
              "それ故",       "したがって",   "従って",       "この結果",       "その結果",   "このため",
              "結論として",   "だから",       "結局は",       "結局、",         "結局，"}},
            // example and order
            {{}, {"たとえば", "例えば", "具体的には", "まず"}},
            // change of topic and contrast
            {{"さて", "では", "が、", "が，"},
             {"折しも", "そうかと思えば", "ところが", "とにもかくにも", "だが", "しかし"}},
            // restriction and supplement
            {{"もっとも", "なかでも", "中でも"},
             {"まして", "そのなかでも", "その中でも", "ただし", "ただ、", "ただ，"}},
            // concession and premise
            {{"もちろん", "勿論", "果たして", "むろん", "無論", "幸い", "本来", "とすれば", "そうだと", "そうであ"},
             {"確かに", "たしかに", "だとしたら", "とはいえ", "とは言っても", "さいわい", "ただでさえ", "さすがに",
              "そもそも", "もともと"}},
            // comparison and opposition
            {{"翻って", "むしろ"},
             {"一方", "半面", "他方", "それに対し", "これに対し", "それに比べ", "これに比べ", "にもかかわらず",
              "それでも"}},
        };
        std::vector<CueWordGroup> result;
        for (const CueWordGroupText& group : text) {
            CueWordGroup entries;
            for (const char* entry : group.start) entries.start.push_back(Sjis(entry));
            for (const char* entry : group.anywhere) entries.anywhere.push_back(Sjis(entry));
            result.push_back(std::move(entries));
        }
        return result;
    }();
    return groups;
}

const std::vector<std::string>& Demonstratives() {
    static const std::vector<std::string> words = [] {
        const char* const text[] = {"それ", "これ", "その", "この", "そういう", "こういう"};
        std::vector<std::string> result;
        for (const char* entry : text) result.push_back(Sjis(entry));
        return result;
    }();
    return words;
}

// Initial room of the sentence buffer in bytes; a longer sentence makes it grow.
constexpr size_t kSentenceBufferBytes = 64000;

// Records the sentences in which the extraction found cue words or demonstratives, with the
// place of each entry, mapping bytes of the sentence buffer back to the rows they came from.
// Does nothing without evidence to fill.
class OrganizationRecorder {
public:
    explicit OrganizationRecorder(EssayEvidence* evidence) : m_evidence(evidence) {}
    bool On() const { return m_evidence != nullptr; }

    // The surface of `row` is about to be appended to the buffer, which holds `bufferBytes`.
    void Append(size_t row, size_t bufferBytes) {
        if (m_evidence) m_pieces.push_back({bufferBytes, row});
    }
    // The buffer `sentence` was counted with these matches; the buffer is emptied next.
    void Counted(std::string_view sentence, const std::vector<CueWordMatch>& matches) {
        if (!m_evidence) return;
        if (!matches.empty() && !m_pieces.empty()) {
            OrganizationSentence found;
            found.span = {Place(sentence, 0), Place(sentence, sentence.size(), true)};
            for (const CueWordMatch& match : matches) {
                TextSpan at{Place(sentence, match.offset), Place(sentence, match.offset + match.entry->size(), true)};
                auto& list = match.group == 0 ? found.demonstratives : found.cueWords;
                list.push_back({*match.entry, match.group, at});
            }
            m_evidence->organization.push_back(std::move(found));
        }
        m_pieces.clear();
    }
    void Finish() {
        if (m_evidence) m_evidence->organizationRecorded = true;
    }

private:
    // The character offset in the text of byte `offset` of the sentence buffer, taken in the
    // row that holds that byte, or for an end (`isEnd`) in the row that holds the byte before:
    // whitespace rows left out of the buffer then stay outside the span.
    uint32_t Place(std::string_view sentence, size_t offset, bool isEnd = false) const {
        size_t p = m_pieces.size() - 1;
        while (p > 0 && (isEnd ? m_pieces[p].bufferOffset >= offset : m_pieces[p].bufferOffset > offset)) --p;
        const Piece& piece = m_pieces[p];
        uint32_t chars = CharacterCount(sentence.substr(piece.bufferOffset, offset - piece.bufferOffset));
        return m_evidence->positions.Row(piece.row).begin + chars;
    }

    struct Piece {
        size_t bufferOffset;  // where the row's surface starts in the buffer
        size_t row;
    };
    EssayEvidence* m_evidence;
    std::vector<Piece> m_pieces;
};

}  // namespace

double CountCueWords(std::string_view sentence, double& demonstrativeTotal) {
    return CountCueWords(sentence, demonstrativeTotal, nullptr);
}

namespace {

// Every entry matched anywhere (the groups' anywhere lists, then the demonstratives), indexed
// by its first character, so one walk over a sentence finds where each entry first occurs.
// The index is a table over all 65,536 character codes: one load per character of a sentence.
struct AnywhereIndex {
    std::vector<const std::string*> entries;  // slot -> entry, in table order
    std::vector<std::vector<size_t>> lists;   // lists[0] is empty; others: slots sharing a first character
    std::vector<uint8_t> listOfFirst;         // character code -> its list
};

uint16_t CharacterCode(std::string_view text, size_t i, size_t n) {
    return n == 2 ? static_cast<uint16_t>(static_cast<unsigned char>(text[i]) << 8 |
                                          static_cast<unsigned char>(text[i + 1]))
                  : static_cast<unsigned char>(text[i]);
}

const AnywhereIndex& Anywhere() {
    static const AnywhereIndex index = [] {
        AnywhereIndex x;
        for (const CueWordGroup& group : CueWordGroups())
            for (const std::string& entry : group.anywhere) x.entries.push_back(&entry);
        for (const std::string& word : Demonstratives()) x.entries.push_back(&word);
        x.lists.emplace_back();
        x.listOfFirst.assign(0x10000, 0);
        for (size_t slot = 0; slot < x.entries.size(); ++slot) {
            const std::string& e = *x.entries[slot];
            uint8_t& list = x.listOfFirst[CharacterCode(e, 0, SjisCharLength(e, 0))];
            if (list == 0) {
                if (x.lists.size() > UINT8_MAX) throw std::logic_error("cue words: too many first characters");
                list = static_cast<uint8_t>(x.lists.size());
                x.lists.emplace_back();
            }
            x.lists[list].push_back(slot);
        }
        return x;
    }();
    return index;
}

}  // namespace

double CountCueWords(std::string_view sentence, double& demonstrativeTotal, std::vector<CueWordMatch>* matches) {
    const MorphemeTools tools;
    const AnywhereIndex& index = Anywhere();
    // The first character-boundary position of every anywhere entry, found in one walk.
    std::vector<size_t> first(index.entries.size(), std::string_view::npos);
    for (size_t i = 0; i < sentence.size();) {
        size_t n = SjisCharLength(sentence, i);
        for (size_t slot : index.lists[index.listOfFirst[CharacterCode(sentence, i, n)]]) {
            const std::string& entry = *index.entries[slot];
            if (first[slot] == std::string_view::npos && sentence.compare(i, entry.size(), entry) == 0) first[slot] = i;
        }
        i += n;
    }
    unsigned count = 0;
    int groupNumber = 0;
    size_t slot = 0;
    for (const CueWordGroup& group : CueWordGroups()) {
        ++groupNumber;
        for (const std::string& entry : group.start) {
            if (!tools.StartsWithText(sentence, entry)) continue;
            ++count;
            if (matches) matches->push_back({&entry, groupNumber, 0});
        }
        for (const std::string& entry : group.anywhere) {
            size_t at = first[slot++];
            if (at == std::string_view::npos) continue;
            ++count;
            if (matches) matches->push_back({&entry, groupNumber, at});
        }
    }
    for (const std::string& word : Demonstratives()) {
        size_t at = first[slot++];
        if (at == std::string_view::npos) continue;
        demonstrativeTotal += 1.0;
        if (matches) matches->push_back({&word, 0, at});
    }
    return count;
}

void EssayRecord::ExtractOrganizationFeatures(const MorphemeTable& table) {
    if (organizationFeaturesDone) return;
    const MorphemeTools tools;
    std::shared_ptr<EssayEvidence> recorded = EvidenceToAmend();
    if (recorded) {
        recorded->organization.clear();
    }
    OrganizationRecorder recorder(recorded.get());
    cueWordTotal = 0.0;
    demonstrativeTotal = 0.0;
    std::string sentence;
    sentence.reserve(kSentenceBufferBytes + 1);
    std::vector<CueWordMatch> matches;
    auto countSentence = [&] {
        matches.clear();
        cueWordTotal += CountCueWords(sentence, demonstrativeTotal, recorder.On() ? &matches : nullptr);
        recorder.Counted(sentence, matches);
        sentence.clear();
    };

    // A sentence runs up to and including a full stop, or up to the end of its line.
    // Whitespace never enters it; text after the last full stop of an unended line is dropped.
    const size_t rows = table.RowCount();
    for (size_t r = 0; r < rows; ++r) {
        std::string_view pos = table.Field(r, kPartOfSpeech);
        if (tools.IsSpace(pos)) continue;
        std::string_view surface = table.Field(r, kSurface);
        if (tools.IsEndOfLine(surface)) {
            if (!sentence.empty()) countSentence();
            continue;
        }
        recorder.Append(r, sentence.size());
        sentence += surface;
        if (tools.IsPeriod(pos)) countSentence();
    }
    recorder.Finish();
    if (recorded) evidence = std::move(recorded);
    organizationFeaturesDone = true;
}

}  // namespace tavi
