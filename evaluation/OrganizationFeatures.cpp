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

}  // namespace

double CountCueWords(std::string_view sentence, double& demonstrativeTotal) {
    const MorphemeTools tools;
    unsigned count = 0;
    for (const CueWordGroup& group : CueWordGroups()) {
        for (const std::string& entry : group.start)
            if (tools.StartsWithText(sentence, entry)) ++count;
        for (const std::string& entry : group.anywhere)
            if (tools.ContainsText(sentence, entry)) ++count;
    }
    for (const std::string& word : Demonstratives())
        if (tools.ContainsText(sentence, word)) demonstrativeTotal += 1.0;
    return count;
}

void EssayRecord::ExtractOrganizationFeatures(const MorphemeTable& table) {
    if (organizationFeaturesDone) return;
    const MorphemeTools tools;
    cueWordTotal = 0.0;
    demonstrativeTotal = 0.0;
    std::string sentence;
    sentence.reserve(kSentenceBufferBytes + 1);

    // A sentence runs up to and including a full stop, or up to the end of its line.
    // Whitespace never enters it; text after the last full stop of an unended line is dropped.
    const size_t rows = table.RowCount();
    for (size_t r = 0; r < rows; ++r) {
        const std::string& pos = table.Field(r, kPartOfSpeech);
        if (tools.IsSpace(pos)) continue;
        const std::string& surface = table.Field(r, kSurface);
        if (tools.IsEndOfLine(surface)) {
            if (!sentence.empty()) {
                cueWordTotal += CountCueWords(sentence, demonstrativeTotal);
                sentence.clear();
            }
            continue;
        }
        sentence += surface;
        if (tools.IsPeriod(pos)) {
            cueWordTotal += CountCueWords(sentence, demonstrativeTotal);
            sentence.clear();
        }
    }
    organizationFeaturesDone = true;
}

}  // namespace tavi
