#include "report/Report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>

#include "analysis/Encoding.h"
#include "analysis/MorphemeTools.h"
#include "evaluation/CommentEvidence.h"
#include "evaluation/CommentTable.h"
#include "web/WebAssets.h"

namespace tavi {
namespace {

// Repeated kanji nouns marked for the vocabulary comment.
constexpr size_t kRepeatedNounsMarked = 5;
// Bars of the histograms.
constexpr int kTotalBins = 20;
constexpr int kAxisBins = 10;

const char* CueGroupName(int group) {
    static const char* const names[] = {"指示語",     "付加・強調", "換言・要約", "理由・帰結", "例示・順序",
                                        "転換・対比", "限定・補足", "譲歩・前提", "比較・対立"};
    return group >= 0 && group <= 8 ? names[group] : "";
}

// HTML-escaped UTF-8.
void Escape(std::string& out, std::string_view utf8) {
    for (char c : utf8) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
}
std::string Html(std::string_view utf8) { return HtmlEscape(utf8); }
std::string HtmlSjis(std::string_view sjis) { return Html(SjisToUtf8(sjis)); }

std::string Fixed(double v, int digits = 2) {
    if (!std::isfinite(v)) return "—";
    if (std::fabs(v) < 0.5 * std::pow(10.0, -digits)) v = 0;  // no "-0.00"
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", digits, v);
    return buffer;
}
// A sort key for a table cell: numbers as they are, missing numbers below all others.
std::string Key(double v) {
    if (!std::isfinite(v)) return "-1e300";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.17g", v);
    return buffer;
}
std::string Int(long long v) { return std::to_string(v); }
// Bytes of full-width text as characters, for readers who count characters.
std::string Chars(double bytes) { return Int(std::llround(bytes / 2.0)) + "字"; }
// The characters of a stretch of the evidence text, counted as they are.
std::string SpanChars(TextSpan span) { return Int(span.end > span.begin ? span.end - span.begin : 0) + "字"; }

// Builds the marks and the one-line details of one answer's comments from their descriptions.
class AnswerEvidence {
public:
    explicit AnswerEvidence(const EssayRecord& record) : m_record(record) {}

    // The detail line of the answer's comment number `position` (UTF-8), adding its marks; empty
    // when the record holds no evidence.
    std::string Explain(const CommentDescription& d, int position) {
        m_comment = position;
        const std::string title = SjisToUtf8(d.comment.text);
        const int index = d.comment.index;
        const double value = d.value.value_or(0);
        if (d.vocabulary) {
            std::string words;
            const auto& repeated = d.vocabulary->repeated;
            for (size_t n = 0; n < std::min(repeated.size(), kRepeatedNounsMarked); ++n) {
                const WordEvidence* noun = repeated[n];
                std::string word = SjisToUtf8(noun->word);
                words += (words.empty() ? "" : "、") + word + "×" + Int(noun->count);
                for (TextSpan at : noun->at) Add(at, 'w', title + "（「" + word + "」" + Int(noun->count) + "回）");
            }
            return "同じ語の繰り返しの度合い " + Fixed(value, 1) +
                   "（大きいほど同じ語が多く繰り返されている。漢字の名詞 " + Int(d.vocabulary->distinct) +
                   " 種類）。繰り返しの多い語: " + (words.empty() ? "なし" : words);
        }
        if (d.sentences) {
            const auto& sentences = *d.sentences;
            for (const SentenceEvidence* s : sentences.listed)
                Add(s->span, 's', title + "（この文 " + SpanChars(s->span) + "）");
            if (sentences.longest)
                Add(sentences.longest->span, 's', title + "（最も長い文 " + SpanChars(sentences.longest->span) + "）");
            return (index == kSentenceLengthMedianComment ? "文の長さの中央値 約" : "最も長い文 約") + Chars(value) +
                   "。約" + Chars(sentences.from) + "以上の文 " + Int(sentences.listed.size()) + " 件";
        }
        if (d.phrases && !d.phrases->byFunctionWords) {
            const auto& phrases = *d.phrases;
            for (const PhraseEvidence* p : phrases.listed)
                Add(p->span, 'p', title + "（この句 " + SpanChars(p->span) + "）");
            if (phrases.top) Add(phrases.top->span, 'p', title + "（最も長い句 " + SpanChars(phrases.top->span) + "）");
            return (index == kPhraseLengthMedianComment ? "句の長さの中央値 約" : "最も長い句 約") + Chars(value) +
                   "。約" + Chars(phrases.from) + "以上の句 " + Int(phrases.listed.size()) + " 件";
        }
        if (d.phrases) {
            const auto& phrases = *d.phrases;
            for (const PhraseEvidence* p : phrases.listed)
                Add(p->span, 'p', title + "（この句の付属語 " + Int(p->functionWords) + "）");
            if (phrases.top)
                Add(phrases.top->span, 'p', title + "（付属語の最も多い句 " + Int(phrases.top->functionWords) + "）");
            return std::string(index == kBunsetsuMedianComment ? "句あたりの付属語の中央値 " : "句の付属語の最大 ") +
                   Fixed(value, 1) + "。付属語 " + Fixed(phrases.from, 0) + " 以上の句 " + Int(phrases.listed.size()) +
                   " 件";
        }
        if (d.passives && d.counted) {
            for (const CountedSentence& s : d.counted->sentences)
                for (TextSpan at : *s.at) Add(at, 'w', title + "（受身）");
            return "受身 " + Int(d.passives->passives) + " 箇所、句 " + Int(d.passives->phrases) + "。受身を含む文 " +
                   Int(d.counted->sentences.size()) + " 件";
        }
        if (d.counted && d.counted->perSentence) {
            const std::string what = index == kAttributiveComment ? "連体修飾" : "連用形・接続助詞";
            size_t counting = 0;
            for (const CountedSentence& s : d.counted->sentences) {
                if (!s.counts) continue;
                ++counting;
                Add(s.sentence->span, 's', title + "（" + what + " " + Int(s.count) + "）");
                for (TextSpan at : *s.at) Add(at, 'w', title + "（" + what + "）");
            }
            return (index == kAttributiveComment ? "連体修飾の述語が " : "連用形・接続助詞が ") +
                   Int(*d.counted->perSentence + 1) + " 以上ある文 " + Int(counting) + " 件";
        }
        if (d.kanji && index == kKanjiShareComment)
            return "漢字 " + Chars(d.kanji->kanjiBytes) + "、かな " + Chars(d.kanji->kanaBytes) + "（かなは漢字の " +
                   Fixed(d.kanji->kanaKanjiRatio) + " 倍。適当なのは " + Fixed(d.thresholds[1]) + "〜" +
                   Fixed(d.thresholds[2]) + " 倍）";
        if (d.kanji) {
            for (const KanjiRunEvidence* run : d.kanji->longReadings)
                Add(run->span, 'n', title + "（読み「" + SjisToUtf8(run->reading) + "」）");
            return "読みの長い漢語 " + Int(d.kanji->longReadings.size()) + " / " + Int(d.kanji->runs) + " 語（" +
                   Fixed(100.0 * d.kanji->longReadingShare, 0) + "%）";
        }
        if (d.hits && d.hits->demonstratives) {
            m_demonstrative = {title, position};
            return "指示語 " + Fixed(value, 0) + "（文ごとの数）";
        }
        if (d.hits) {
            m_cueWord = {title, position};
            return "きっかけ語 " + Fixed(value, 0);
        }
        if (d.length)
            return "文字数（記号を除く）約" + Chars(d.length->textLength) + "、想定字数 " +
                   Fixed(d.length->expectedBytes / 2.0, 0) + " 字の " +
                   Fixed(100.0 * d.length->textLength / d.length->expectedBytes, 0) + "%";
        if (d.content) {
            m_content = {title, position};
            return "設問文との類似度 " + Fixed(value);
        }
        return "";
    }

    // Cue words, demonstratives and shared content nouns: marked whether or not a comment
    // was given, as what the answer does.
    void AddFound() {
        if (!m_record.evidence) return;
        const EssayEvidence& e = *m_record.evidence;
        for (const OrganizationSentence& sentence : e.organization) {
            for (const CueWordHit& hit : sentence.cueWords)
                AddFound(hit.at, m_cueWord,
                         "きっかけ語「" + SjisToUtf8(hit.word) + "」（" + CueGroupName(hit.group) + "）");
            for (const CueWordHit& hit : sentence.demonstratives)
                AddFound(hit.at, m_demonstrative, "指示語「" + SjisToUtf8(hit.word) + "」");
        }
        for (const ContentNounEvidence& noun : e.sharedNouns)
            for (TextSpan at : noun.at)
                AddFound(at, m_content, "設問文と共通の内容語「" + SjisToUtf8(noun.surface) + "」");
    }

    std::vector<EvidenceMark> TakeMarks() { return std::move(m_marks); }

private:
    // A comment that found marks belong to, when it was given.
    struct Given {
        std::string title;
        int position = -1;
    };
    void Add(TextSpan span, char kind, std::string title) {
        m_marks.push_back({span, kind, std::move(title), m_comment});
    }
    void AddFound(TextSpan span, const Given& given, const std::string& what) {
        m_marks.push_back({span, 'g', given.title.empty() ? what : given.title + " " + what, given.position});
    }

    const EssayRecord& m_record;
    std::vector<EvidenceMark> m_marks;
    int m_comment = -1;
    Given m_cueWord, m_demonstrative, m_content;
};

// An SVG histogram of `values` over [low, high] in `bins` bars.
std::string Histogram(const std::vector<double>& values, double low, double high, int bins, int width, int height,
                      const std::string& label) {
    std::vector<int> counts(bins, 0);
    for (double v : values) {
        if (!std::isfinite(v)) continue;
        int bin = high > low ? static_cast<int>(std::floor((v - low) / (high - low) * bins)) : 0;
        counts[std::clamp(bin, 0, bins - 1)]++;
    }
    const int most = std::max(1, *std::max_element(counts.begin(), counts.end()));
    const int left = 34, right = 10, top = 12, bottom = 34;
    const double plotW = width - left - right, plotH = height - top - bottom;
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Int(width) + "\" height=\"" + Int(height) +
                      "\" viewBox=\"0 0 " + Int(width) + " " + Int(height) + "\" role=\"img\" aria-label=\"" +
                      Html(label) + "\">";
    const double barW = plotW / bins;
    for (int b = 0; b < bins; ++b) {
        if (counts[b] == 0) continue;
        double h = plotH * counts[b] / most;
        double x = left + b * barW, y = top + plotH - h;
        svg += "<rect class=\"bar\" x=\"" + Fixed(x + 1, 1) + "\" y=\"" + Fixed(y, 1) + "\" width=\"" +
               Fixed(std::max(1.0, barW - 2), 1) + "\" height=\"" + Fixed(h, 1) + "\"><title>" +
               Fixed(low + b * (high - low) / bins) + "〜" + Fixed(low + (b + 1) * (high - low) / bins) + ": " +
               Int(counts[b]) + " 件</title></rect>";
        svg += "<text x=\"" + Fixed(x + barW / 2, 1) + "\" y=\"" + Fixed(y - 2, 1) + "\" text-anchor=\"middle\">" +
               Int(counts[b]) + "</text>";
    }
    const double baseY = top + plotH;
    svg += "<line class=\"axis\" x1=\"" + Int(left) + "\" y1=\"" + Fixed(baseY, 1) + "\" x2=\"" +
           Fixed(left + plotW, 1) + "\" y2=\"" + Fixed(baseY, 1) + "\"/>";
    svg += "<line class=\"axis\" x1=\"" + Int(left) + "\" y1=\"" + Int(top) + "\" x2=\"" + Int(left) + "\" y2=\"" +
           Fixed(baseY, 1) + "\"/>";
    for (int t = 0; t <= 5; ++t) {
        double v = low + (high - low) * t / 5, x = left + plotW * t / 5;
        svg += "<text x=\"" + Fixed(x, 1) + "\" y=\"" + Fixed(baseY + 14, 1) + "\" text-anchor=\"middle\">" +
               Fixed(v, high - low >= 5 ? 0 : 1) + "</text>";
    }
    svg += "<text x=\"" + Int(left - 4) + "\" y=\"" + Int(top + 8) + "\" text-anchor=\"end\">" + Int(most) + "</text>";
    svg += "<text x=\"" + Int(left - 4) + "\" y=\"" + Fixed(baseY, 1) + "\" text-anchor=\"end\">0</text>";
    svg += "<text x=\"" + Fixed(left + plotW / 2, 1) + "\" y=\"" + Int(height - 4) + "\" text-anchor=\"middle\">" +
           Html(label) + "</text></svg>";
    return svg;
}

// An SVG scatter of the length penalty against the length in characters, with the expected
// length's 10, 40 and 75 percent marked.
std::string PenaltyScatter(const std::vector<const EssayRecord*>& scored, const ScoringParams& params) {
    const int width = 520, height = 260, left = 44, right = 14, top = 12, bottom = 36;
    const double plotW = width - left - right, plotH = height - top - bottom;
    double maxChars = params.expectedLength;
    double minPenalty = -1.0;
    for (const EssayRecord* r : scored) {
        if (std::isfinite(r->textLength)) maxChars = std::max(maxChars, r->textLength / 2.0);
        if (std::isfinite(r->lengthPenalty)) minPenalty = std::min(minPenalty, r->lengthPenalty);
    }
    maxChars = std::max(1.0, maxChars * 1.05);
    minPenalty = std::floor(minPenalty);
    auto x = [&](double chars) { return left + plotW * std::clamp(chars / maxChars, 0.0, 1.0); };
    auto y = [&](double penalty) { return top + plotH * std::clamp(penalty / minPenalty, 0.0, 1.0); };
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Int(width) + "\" height=\"" + Int(height) +
                      "\" viewBox=\"0 0 " + Int(width) + " " + Int(height) +
                      "\" role=\"img\" aria-label=\"文量減点と文字数\">";
    for (double share : {0.1, 0.4, 0.75}) {
        double gx = x(params.expectedLength * share);
        svg += "<line class=\"guide\" x1=\"" + Fixed(gx, 1) + "\" y1=\"" + Int(top) + "\" x2=\"" + Fixed(gx, 1) +
               "\" y2=\"" + Fixed(top + plotH, 1) + "\"/><text x=\"" + Fixed(gx + 2, 1) + "\" y=\"" +
               Fixed(top + plotH - 4, 1) + "\">" + Fixed(share * 100, 0) + "%</text>";
    }
    svg += "<line class=\"axis\" x1=\"" + Int(left) + "\" y1=\"" + Int(top) + "\" x2=\"" + Fixed(left + plotW, 1) +
           "\" y2=\"" + Int(top) + "\"/>";
    svg += "<line class=\"axis\" x1=\"" + Int(left) + "\" y1=\"" + Int(top) + "\" x2=\"" + Int(left) + "\" y2=\"" +
           Fixed(top + plotH, 1) + "\"/>";
    for (const EssayRecord* r : scored) {
        if (!std::isfinite(r->textLength) || !std::isfinite(r->lengthPenalty)) continue;
        svg += "<circle class=\"dot\" cx=\"" + Fixed(x(r->textLength / 2.0), 1) + "\" cy=\"" +
               Fixed(y(r->lengthPenalty), 1) + "\" r=\"4\"><title>" + HtmlSjis(r->title) + ": 約" +
               Chars(r->textLength) + "、減点 " + Fixed(r->lengthPenalty) + "</title></circle>";
    }
    for (int t = 0; t <= 4; ++t) {
        double chars = maxChars * t / 4;
        svg += "<text x=\"" + Fixed(x(chars), 1) + "\" y=\"" + Fixed(top + plotH + 14, 1) +
               "\" text-anchor=\"middle\">" + Fixed(chars, 0) + "</text>";
    }
    svg += "<text x=\"" + Int(left - 4) + "\" y=\"" + Int(top + 4) + "\" text-anchor=\"end\">0</text>";
    svg += "<text x=\"" + Int(left + 4) + "\" y=\"" + Fixed(top + plotH / 2, 1) + "\">文量減点</text>";
    svg += "<text x=\"" + Int(left - 4) + "\" y=\"" + Fixed(top + plotH, 1) + "\" text-anchor=\"end\">" +
           Fixed(minPenalty, 0) + "</text>";
    svg += "<text x=\"" + Fixed(left + plotW / 2, 1) + "\" y=\"" + Int(height - 4) +
           "\" text-anchor=\"middle\">文字数（記号を除く）</text></svg>";
    return svg;
}

}  // namespace

std::string AgreementScatter(const std::vector<AgreementPoint>& points, double fullMark,
                             const std::string& answerHref) {
    const int width = 360, height = 360, left = 44, right = 14, top = 12, bottom = 40;
    const double plotW = width - left - right, plotH = height - top - bottom;
    const double scale = fullMark > 0 ? fullMark : 1;
    auto x = [&](double mark) { return left + plotW * std::clamp(mark / scale, 0.0, 1.0); };
    auto y = [&](double tavi) { return top + plotH * (1 - std::clamp(tavi / scale, 0.0, 1.0)); };
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Int(width) + "\" height=\"" + Int(height) +
                      "\" role=\"group\" aria-label=\"あなたの点数と Tavi の点数\">";
    svg += "<line class=\"guide\" x1=\"" + Fixed(x(0), 1) + "\" y1=\"" + Fixed(y(0), 1) + "\" x2=\"" +
           Fixed(x(scale), 1) + "\" y2=\"" + Fixed(y(scale), 1) + "\"/>";
    svg += "<line class=\"axis\" x1=\"" + Int(left) + "\" y1=\"" + Fixed(top + plotH, 1) + "\" x2=\"" +
           Fixed(left + plotW, 1) + "\" y2=\"" + Fixed(top + plotH, 1) + "\"/>";
    svg += "<line class=\"axis\" x1=\"" + Int(left) + "\" y1=\"" + Int(top) + "\" x2=\"" + Int(left) + "\" y2=\"" +
           Fixed(top + plotH, 1) + "\"/>";
    for (int t = 0; t <= 4; ++t) {
        double v = scale * t / 4;
        svg += "<text x=\"" + Fixed(x(v), 1) + "\" y=\"" + Fixed(top + plotH + 14, 1) + "\" text-anchor=\"middle\">" +
               Fixed(v, v == std::floor(v) ? 0 : 1) + "</text>";
        svg += "<text x=\"" + Int(left - 4) + "\" y=\"" + Fixed(y(v) + 4, 1) + "\" text-anchor=\"end\">" +
               Fixed(v, v == std::floor(v) ? 0 : 1) + "</text>";
    }
    for (const AgreementPoint& p : points) {
        svg += "<a href=\"" + Html(answerHref) + Int(p.number) + "\"><circle class=\"dot\" cx=\"" +
               Fixed(x(p.mark), 1) + "\" cy=\"" + Fixed(y(p.tavi), 1) + "\" r=\"4\"><title>" + Html(p.name) +
               ": あなた " + Fixed(p.mark, 1) + "、Tavi " + Fixed(p.tavi, 1) + "</title></circle></a>";
    }
    svg += "<text x=\"" + Fixed(left + plotW / 2, 1) + "\" y=\"" + Int(height - 6) +
           "\" text-anchor=\"middle\">あなたの点数</text>";
    svg += "<text x=\"" + Int(left + 4) + "\" y=\"" + Int(top + 12) + "\">Tavi の点数（満点に換算）</text></svg>";
    return svg;
}

namespace {

// Adds a word to a list separated by "、"; a comma that ends a cue word (つまり、) is left
// out, so that the list never shows two in a row.
void Append(std::string& list, std::string word) {
    for (std::string_view comma : {"、", "，", ","})
        if (word.size() > comma.size() && word.ends_with(comma)) word.erase(word.size() - comma.size());
    list += (list.empty() ? "" : "、") + word;
}

// The cells of a row and its end, after its <tr>.
void Cells(std::string& out, std::initializer_list<std::string> cells) {
    for (const std::string& cell : cells) out += cell;
    out += "</tr>\n";
}
void Row(std::string& out, std::initializer_list<std::string> cells) {
    out += "<tr>";
    Cells(out, cells);
}
std::string Th(const std::string& text) { return "<th>" + text + "</th>"; }
// Each kind of mark as it looks in the text, with its symbol and name.
std::string LegendMarks() {
    std::string out;
    for (const MarkStyle& style : kMarkStyles)
        out += std::string(" <mark class=\"") + style.kind + "\">" +
               (*style.symbol ? std::string("<span class=\"symbol\">") + style.symbol + "</span>" : "") + style.legend +
               "</mark>";
    return out;
}
std::string Td(const std::string& text) { return "<td>" + text + "</td>"; }
std::string TdNumber(const std::string& text) { return "<td class=\"n\">" + text + "</td>"; }

// The ratios of a group by their short labels; ratios that share one (the median and the
// maximum of a measure) are shown together as "median/maximum".
std::string Ratios(const ScoringParams& p, ParamGroup group) {
    std::vector<std::pair<std::string_view, std::string>> shown;
    for (const ParamSpec& param : kParamSpecs) {
        if (param.group != group) continue;
        auto same =
            std::find_if(shown.begin(), shown.end(), [&](const auto& s) { return s.first == param.shortLabel; });
        if (same == shown.end()) {
            shown.emplace_back(param.shortLabel, Fixed(p.*param.Real()));
        } else {
            same->second += "/" + Fixed(p.*param.Real());
        }
    }
    std::string text;
    for (const auto& [label, values] : shown) text += (text.empty() ? "" : "、") + std::string(label) + " " + values;
    return text;
}

void Parameters(std::string& out, const ReportRun& run) {
    const ScoringParams& p = run.params;
    out += "<div class=\"table-wrap\">\n<table>\n";
    Row(out, {Th("想定字数"), Td(Fixed(p.expectedLength, 0) + " 字")});
    Row(out, {Th("重み（修辞：論理：内容）"),
              Td(Fixed(p.rhetoricWeight) + "：" + Fixed(p.organizationWeight) + "：" + Fixed(p.contentWeight))});
    Row(out, {Th("段落の区切り"), Td(p.paragraphMode == 0 ? "連続する２つ以上の改行" : "改行ごと")});
    Row(out, {Th("内容モデル"), Td(HtmlSjis(p.modelPath))});
    Row(out, {Th("修辞の比率"), Td(Ratios(p, ParamGroup::kRhetoricRatios))});
    Row(out, {Th("論理の比率"), Td(Ratios(p, ParamGroup::kOrganizationRatios))});
    out += "</table>\n</div>\n";
}

void Statistics(std::string& out, const std::vector<const EssayRecord*>& scored) {
    struct Column {
        const char* name;
        double EssayRecord::*member;
    };
    const Column columns[] = {{"総合得点", &EssayRecord::finalScore},
                              {"修辞", &EssayRecord::rhetoricScore},
                              {"論理", &EssayRecord::organizationScore},
                              {"内容", &EssayRecord::contentScore},
                              {"文量減点", &EssayRecord::lengthPenalty}};
    out += "<div class=\"table-wrap\">\n<table class=\"stats\">\n";
    Row(out, {Th(""), Th("件数"), Th("平均"), Th("中央値"), Th("標準偏差"), Th("最小"), Th("最大")});
    for (const Column& column : columns) {
        std::vector<double> values;
        for (const EssayRecord* r : scored) values.push_back(r->*(column.member));
        Summary s = Summarize(values);
        Row(out, {Th(column.name), TdNumber(Int(s.count)), TdNumber(Fixed(s.mean)), TdNumber(Fixed(s.median)),
                  TdNumber(Fixed(s.deviation)), TdNumber(Fixed(s.minimum)), TdNumber(Fixed(s.maximum))});
    }
    out += "</table>\n</div>\n<p class=\"legend\">採点済みの答案について。標準偏差は母標準偏差。</p>\n";
}

void AnswerTable(std::string& out, const ReportRun& run, const std::string& answerHref) {
    out += "<div class=\"table-wrap\">\n<table class=\"sortable\" id=\"answers\">\n<thead>";
    const bool withMarks = !run.marks.empty();
    Row(out, {Th("番号"), Th("ファイル名"), Th("状態"), Th("総合得点"),
              withMarks ? Th("あなたの点数（満点 " +
                             Fixed(run.fullMark, run.fullMark == std::floor(run.fullMark) ? 0 : 2) + "）")
                        : std::string(),
              Th("文量減点"), Th("修辞"), Th("論理"), Th("内容"), Th("文字数"), Th("コメント")});
    out += "</thead>\n<tbody>\n";
    for (size_t i = 0; i < run.answers.size(); ++i) {
        const EssayRecord& r = run.answers[i];
        const std::optional<double> mark = i < run.marks.size() ? run.marks[i] : std::nullopt;
        const bool scored = r.status == kStatusScored;
        auto cell = [&](double v, bool show) {
            return "<td class=\"n\" data-v=\"" + (show ? Key(v) : std::string("-1e300")) + "\">" +
                   (show ? Fixed(v) : std::string()) + "</td>";
        };
        const std::string title = HtmlSjis(r.title);
        const std::vector<ReceivedComment> received = ReceivedComments(r.commentText);
        const std::string comments = Int(received.size());
        std::set<std::string> keys;
        for (const ReceivedComment& c : received) keys.insert(CommentKey(c.index, c.commentClass));
        std::string keyList;
        for (const std::string& key : keys) keyList += (keyList.empty() ? "" : " ") + key;
        out += "<tr data-comments=\"" + keyList + "\">";
        Cells(out,
              {"<td class=\"n\" data-v=\"" + Int(r.id) + "\">" + Int(r.id) + "</td>",
               "<td data-v=\"" + title + "\"><a href=\"" + Html(answerHref) + Int(r.id) + "\">" + title + "</a></td>",
               "<td data-v=\"" + Int(r.status) + "\">" + HtmlSjis(StatusText(r.status)) + "</td>",
               cell(r.finalScore, scored), withMarks ? cell(mark.value_or(0), mark.has_value()) : std::string(),
               cell(r.lengthPenalty, scored), cell(r.rhetoricScore, r.rhetoricScored),
               cell(r.organizationScore, r.organizationScored), cell(r.contentScore, scored),
               "<td class=\"n\" data-v=\"" + Key(r.textLength) + "\">" +
                   (r.rhetoricFeaturesDone ? Int(std::llround(r.textLength / 2.0)) : std::string()) + "</td>",
               "<td class=\"n\" data-v=\"" + comments + "\">" + comments + "</td>"});
    }
    out += "</tbody>\n</table>\n</div>\n";
}

void Answer(std::string& out, const EssayRecord& r, const ScoringParams& params) {
    out +=
        "<section class=\"answer\" id=\"a" + Int(r.id) + "\">\n<h2>" + Int(r.id) + ". " + HtmlSjis(r.title) + "</h2>\n";
    const bool scored = r.status == kStatusScored;
    out += "<div class=\"table-wrap\"><table class=\"scores\">";
    Row(out,
        {Th("状態"), Th("総合得点"), Th("加重合計"), Th("文量減点"), Th("修辞"), Th("論理"), Th("内容"), Th("文字数")});
    Row(out, {Td(HtmlSjis(StatusText(r.status))), TdNumber(scored ? Fixed(r.finalScore) : ""),
              TdNumber(scored ? Fixed(r.weightedTotal) : ""), TdNumber(scored ? Fixed(r.lengthPenalty) : ""),
              TdNumber(r.rhetoricScored ? Fixed(r.rhetoricScore) : ""),
              TdNumber(r.organizationScored ? Fixed(r.organizationScore) : ""),
              TdNumber(scored ? Fixed(r.contentScore) : ""),
              TdNumber(r.rhetoricFeaturesDone ? "約" + Chars(r.textLength) : "")});
    out += "</table></div>\n";

    const MarkedAnswer marked = MarkAnswer(r, params);
    out += "<h3>コメント</h3>\n";
    if (marked.comments.empty()) {
        out += scored ? "<p>コメントはありません。</p>\n" : "<p>未評価です。</p>\n";
    } else {
        out += "<ol class=\"comments\">\n";
        for (size_t c = 0; c < marked.comments.size(); ++c) {
            const bool hasMarks = std::any_of(marked.marks.begin(), marked.marks.end(),
                                              [&](const EvidenceMark& m) { return m.comment == static_cast<int>(c); });
            out += "<li data-c=\"" + Int(c) + "\">" +
                   (hasMarks ? "<button type=\"button\" class=\"comment\" aria-pressed=\"false\">" +
                                   HtmlSjis(marked.comments[c].text) + "</button>"
                             : HtmlSjis(marked.comments[c].text));
            if (!marked.details[c].empty()) out += "<span class=\"detail\">" + Html(marked.details[c]) + "</span>";
            out += "</li>\n";
        }
        out += "</ol>\n";
    }
    if (!r.evidence) {
        out += "</section>\n";
        return;
    }
    const EssayEvidence& e = *r.evidence;

    // What the answer does: cue words and demonstratives sentence by sentence, shared nouns.
    std::string cue, demonstratives;
    for (const OrganizationSentence& sentence : e.organization) {
        for (const CueWordHit& hit : sentence.cueWords) Append(cue, SjisToUtf8(hit.word));
        for (const CueWordHit& hit : sentence.demonstratives) Append(demonstratives, SjisToUtf8(hit.word));
    }
    out += "<h3>論理と内容の手がかり</h3>\n<ul class=\"found\">\n";
    out += "<li class=\"good\">きっかけ語 " + Fixed(r.cueWordTotal, 0) + ": " + Html(cue.empty() ? "なし" : cue) +
           "</li>\n";
    out += "<li class=\"good\">指示語 " + Fixed(r.demonstrativeTotal, 0) + ": " +
           Html(demonstratives.empty() ? "なし" : demonstratives) + "</li>\n";
    if (e.contentRecorded) {
        std::string shared, missing;
        for (const ContentNounEvidence& noun : e.sharedNouns)
            shared += (shared.empty() ? "" : "、") + SjisToUtf8(noun.surface) + "×" + Int(noun.answerCount);
        for (const ContentNounEvidence& noun : e.missingNouns)
            missing += (missing.empty() ? "" : "、") + SjisToUtf8(noun.surface);
        out += "<li class=\"good\">設問文と共通の内容語: " + Html(shared.empty() ? "なし" : shared) + "</li>\n";
        out += "<li>設問文にあって回答文にない内容語: " + Html(missing.empty() ? "なし" : missing) + "</li>\n";
    }
    out += "</ul>\n<h3>回答文</h3>\n<div class=\"text\">" + MarkedTextHtml(e, marked.marks) + "</div>\n</section>\n";
}

}  // namespace

std::string HtmlEscape(std::string_view utf8) {
    std::string out;
    Escape(out, utf8);
    return out;
}

std::string MarkedTextHtml(const EssayEvidence& evidence, const std::vector<EvidenceMark>& marks) {
    const std::string utf8 = SjisToUtf8(evidence.text);
    // Character offsets into the UTF-8 text: one code point per Shift_JIS character.
    std::vector<size_t> starts;
    starts.reserve(utf8.size() + 1);
    for (size_t i = 0; i < utf8.size(); ++i)
        if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80) starts.push_back(i);
    starts.push_back(utf8.size());
    const uint32_t length = static_cast<uint32_t>(starts.size() - 1);

    std::vector<std::pair<uint32_t, int>> events;  // (offset, +index + 1 opens, -(index + 1) closes)
    for (size_t m = 0; m < marks.size(); ++m) {
        uint32_t begin = std::min(marks[m].span.begin, length), end = std::min(marks[m].span.end, length);
        if (begin >= end) continue;
        events.push_back({begin, static_cast<int>(m) + 1});
        events.push_back({end, -static_cast<int>(m) - 1});
    }
    std::sort(events.begin(), events.end());
    std::string out;
    out.reserve(utf8.size() * 2);
    std::multiset<int> open;
    std::set<char> starting;  // kinds of the marks that begin at `at`
    uint32_t at = 0;
    auto emit = [&](uint32_t to) {
        if (to <= at) return;
        std::string_view piece(utf8.data() + starts[at], starts[to] - starts[at]);
        if (open.empty()) {
            Escape(out, piece);
        } else {
            std::set<char> kinds;
            std::set<int> comments;
            std::vector<const std::string*> titles;
            for (int m : open) {
                kinds.insert(marks[m].kind);
                if (marks[m].comment >= 0) comments.insert(marks[m].comment);
                if (std::find_if(titles.begin(), titles.end(),
                                 [&](const std::string* t) { return *t == marks[m].title; }) == titles.end())
                    titles.push_back(&marks[m].title);
            }
            auto list = [&](const auto& items, auto&& text) {
                std::string joined;
                for (const auto& item : items) joined += (joined.empty() ? "" : " ") + text(item);
                return joined;
            };
            auto kind = [](char k) { return std::string(1, k); };
            out += "<mark class=\"" + list(kinds, kind) + "\"";
            if (!comments.empty()) out += " data-c=\"" + list(comments, [](int c) { return Int(c); }) + "\"";
            if (!starting.empty()) out += " data-start=\"" + list(starting, kind) + "\"";
            out += " title=\"";
            for (size_t t = 0; t < titles.size(); ++t) {
                if (t) out += "&#10;";
                Escape(out, *titles[t]);
            }
            out += "\">";
            Escape(out, piece);
            out += "</mark>";
        }
        starting.clear();
        at = to;
    };
    for (const auto& [offset, event] : events) {
        emit(offset);
        if (event > 0) {
            open.insert(event - 1);
            starting.insert(marks[event - 1].kind);
        } else {
            open.erase(open.find(-event - 1));
        }
    }
    emit(length);
    return out;
}

MarkedAnswer MarkAnswer(const EssayRecord& record, const ScoringParams& params) {
    MarkedAnswer marked;
    AnswerEvidence evidence(record);
    for (ReceivedComment& comment : ReceivedComments(record.commentText)) {
        CommentDescription d = DescribeComment(record, params, std::move(comment));
        marked.details.push_back(evidence.Explain(d, static_cast<int>(marked.comments.size())));
        marked.comments.push_back(std::move(d.comment));
    }
    evidence.AddFound();
    marked.marks = evidence.TakeMarks();
    return marked;
}

Summary Summarize(std::vector<double> values) {
    values.erase(std::remove_if(values.begin(), values.end(), [](double v) { return !std::isfinite(v); }),
                 values.end());
    Summary s;
    s.count = values.size();
    if (values.empty()) return s;
    std::sort(values.begin(), values.end());
    double sum = 0;
    for (double v : values) sum += v;
    s.mean = sum / values.size();
    double squares = 0;
    for (double v : values) squares += (v - s.mean) * (v - s.mean);
    s.deviation = std::sqrt(squares / values.size());
    size_t n = values.size();
    s.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
    s.minimum = values.front();
    s.maximum = values.back();
    return s;
}

ReportRun ReportRunOf(const CTaviDoc& doc) {
    ReportRun run;
    run.params = doc.GetParams();
    run.questionPath = doc.GetQuestionPath();
    if (!run.questionPath.empty())
        MorphemeTools().ReadAnswerFile(run.questionPath, run.questionText, run.params.paragraphMode);
    for (int i = 0; i < doc.GetAnswerCount(); ++i) run.answers.push_back(doc.GetAnswer(i));
    return run;
}

std::string MarkText(double v) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%g", v);
    return buffer;
}

std::string CommentKey(int index, int commentClass) { return Int(index) + ":" + Int(commentClass); }

std::vector<CommentCount> CountComments(const std::vector<EssayRecord>& answers) {
    std::map<std::pair<int, int>, CommentCount> counts;
    for (const EssayRecord& r : answers) {
        std::set<std::pair<int, int>> seen;
        for (ReceivedComment& c : ReceivedComments(r.commentText)) {
            if (!seen.insert({c.index, c.commentClass}).second) continue;
            CommentCount& count = counts[{c.index, c.commentClass}];
            if (count.answers++ == 0) count = {c.index, c.commentClass, std::move(c.text), 1};
        }
    }
    std::vector<CommentCount> sorted;
    for (auto& [key, count] : counts) sorted.push_back(std::move(count));
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const CommentCount& a, const CommentCount& b) { return a.answers > b.answers; });
    return sorted;
}

std::string CommentCountsHtml(const std::vector<CommentCount>& counts, size_t answers) {
    std::string out = "<h2 id=\"comment-counts-title\">コメントごとの答案数</h2>\n";
    if (counts.empty()) return out + "<p>コメントのある答案はありません。</p>\n";
    out +=
        "<p class=\"noprint legend\">コメントのボタンを押すと、答案一覧をそのコメントのある答案だけに絞り込みます。"
        "もう一度押すと解除します。</p>\n<div class=\"table-wrap\">\n"
        "<table class=\"comment-counts\" id=\"comment-counts\" aria-labelledby=\"comment-counts-title\">\n"
        "<thead><tr><th scope=\"col\">コメント</th><th scope=\"col\">答案数</th><th scope=\"col\">割合</th></tr>"
        "</thead>\n<tbody>\n";
    constexpr int kBarWidth = 120;
    for (const CommentCount& c : counts) {
        const double share = answers ? static_cast<double>(c.answers) / answers : 0;
        out += "<tr><td><button type=\"button\" class=\"filter\" data-comment=\"" +
               CommentKey(c.index, c.commentClass) + "\" aria-pressed=\"false\">" + HtmlSjis(c.text) +
               "</button></td><td class=\"n\">" + Int(c.answers) +
               "</td><td class=\"share\"><svg class=\"share-bar\" width=\"" + Int(kBarWidth) +
               "\" height=\"12\" viewBox=\"0 0 " + Int(kBarWidth) +
               " 12\" aria-hidden=\"true\" focusable=\"false\">"
               "<rect class=\"track\" width=\"" +
               Int(kBarWidth) + "\" height=\"12\"/><rect class=\"bar\" width=\"" +
               Fixed(std::min(1.0, share) * kBarWidth, 1) + "\" height=\"12\"/></svg> " + Fixed(100 * share, 0) +
               "%</td></tr>\n";
    }
    out += "</tbody>\n</table>\n</div>\n<p class=\"noprint\" id=\"comment-filter-status\" role=\"status\"></p>\n";
    return out;
}

std::string ReportSummaryHtml(const ReportRun& run, const std::string& answerHref) {
    std::vector<const EssayRecord*> scored;
    for (const EssayRecord& r : run.answers)
        if (r.status == kStatusScored) scored.push_back(&r);
    const ScoringParams& p = run.params;

    std::string out;
    out += "<h2>設問文</h2>\n";
    if (run.questionPath.empty()) {
        out += "<p>設問文なし</p>\n";
    } else {
        out += "<p>" + HtmlSjis(run.questionPath) + "</p>\n<div class=\"question\">" + HtmlSjis(run.questionText) +
               "</div>\n";
    }
    out += "<h3>採点パラメータ</h3>\n";
    Parameters(out, run);

    out += "<h2>集計</h2>\n<p>答案 " + Int(run.answers.size()) + " 件、採点済み " + Int(scored.size()) + " 件</p>\n";
    Statistics(out, scored);

    std::vector<double> totals, rhetoric, organization, content;
    for (const EssayRecord* r : scored) {
        totals.push_back(r->finalScore);
        rhetoric.push_back(r->rhetoricScore);
        organization.push_back(r->organizationScore);
        content.push_back(r->contentScore);
    }
    const double maxTotal = std::max(1.0, p.rhetoricWeight + p.organizationWeight + p.contentWeight);
    out += "<div class=\"charts\">\n<figure><figcaption>総合得点の分布</figcaption>" +
           Histogram(totals, 0, maxTotal, kTotalBins, 520, 220, "総合得点") + "</figure>\n";
    out += "<figure><figcaption>文量減点と文字数</figcaption>" + PenaltyScatter(scored, p) + "</figure>\n";
    out += "<figure><figcaption>修辞の分布</figcaption>" + Histogram(rhetoric, 0, 1, kAxisBins, 300, 180, "修辞") +
           "</figure>\n";
    out += "<figure><figcaption>論理の分布</figcaption>" + Histogram(organization, 0, 1, kAxisBins, 300, 180, "論理") +
           "</figure>\n";
    out += "<figure><figcaption>内容の分布</figcaption>" + Histogram(content, 0, 1, kAxisBins, 300, 180, "内容") +
           "</figure>\n</div>\n";

    out += CommentCountsHtml(CountComments(run.answers), scored.size());
    out += "<h2>答案一覧</h2>\n<p class=\"noprint legend\">列の見出しのボタンで並べ替えます。</p>\n";
    AnswerTable(out, run, answerHref);
    return out;
}

std::string ReportAnswerHtml(const EssayRecord& record, const ScoringParams& params) {
    std::string out;
    Answer(out, record, params);
    return out;
}

const std::string kEvidenceLegend =
    "<p class=\"legend\">回答文の印:" + LegendMarks() +
    "。印にポインタを重ねるか、印をタップするかキーボードで選ぶと、どのコメントの根拠かが"
    "表示されます。コメントのボタンを押すと、その根拠の印が強調されます。</p>\n";

std::string FeedbackSheetHtml(const SheetRun& run, const SheetAnswer& answer) {
    const EssayRecord& r = answer.record;
    const std::string id = "sheet-" + Int(r.id);
    // The name heads every printed page of the sheet: a table's head repeats on each page.
    std::string out = "<section class=\"sheet\" aria-labelledby=\"" + id +
                      "\">\n<table class=\"sheet-page\" role=\"presentation\"><thead><tr><td>\n"
                      "<p class=\"sheet-kind\">小論文の講評</p>\n<h2 class=\"sheet-name\" id=\"" +
                      id + "\">" + Html(answer.name) + " さん</h2>\n</td></tr></thead>\n<tbody><tr><td>\n";
    out += "<h3>設問文</h3>\n<div class=\"question\">" + HtmlSjis(run.questionText) + "</div>\n";

    const MarkedAnswer marked = MarkAnswer(r, run.params);
    out += "<h3>回答文</h3>\n";
    if (r.evidence) {
        out += "<p class=\"legend\">印の見方:" + LegendMarks() + "</p>\n<div class=\"text\">" +
               MarkedTextHtml(*r.evidence, marked.marks) + "</div>\n";
    } else {
        out += "<p>この回答文は採点されていません。</p>\n";
    }

    const bool scored = r.status == kStatusScored;
    const ScoringParams& p = run.params;
    const double maxTotal = p.rhetoricWeight + p.organizationWeight + p.contentWeight;
    out += "<h3>Tavi の評価</h3>\n";
    if (scored) {
        out += "<div class=\"table-wrap\"><table class=\"scores\">";
        Row(out, {Th("総合得点"), Th("修辞（文章の読みやすさ）"), Th("論理（議論のつながり）"),
                  Th("内容（設問文との関係）"), Th("文字数（記号を除く）")});
        Row(out, {TdNumber(Fixed(r.finalScore) + " / " + Fixed(maxTotal)), TdNumber(Fixed(r.rhetoricScore) + " / 1"),
                  TdNumber(Fixed(r.organizationScore) + " / 1"), TdNumber(Fixed(r.contentScore) + " / 1"),
                  TdNumber("約" + Chars(r.textLength))});
        out += "</table></div>\n";
        if (r.lengthPenalty < 0)
            out +=
                "<p>総合得点には、分量が想定字数より少ないための減点 " + Fixed(r.lengthPenalty) + " を含みます。</p>\n";
    } else {
        out += "<p>未評価です。</p>\n";
    }
    out += "<h3>コメント</h3>\n";
    if (marked.comments.empty()) {
        if (scored) out += "<p>コメントはありません。</p>\n";
    } else {
        out += "<ol class=\"comments\">\n";
        for (size_t c = 0; c < marked.comments.size(); ++c) {
            out += "<li>" + HtmlSjis(marked.comments[c].text);
            if (!marked.details[c].empty()) out += "<span class=\"detail\">" + Html(marked.details[c]) + "</span>";
            out += "</li>\n";
        }
        out += "</ol>\n";
    }

    out += "<h3>先生の評価</h3>\n<dl class=\"teacher\">\n<dt>点数</dt><dd class=\"teacher-mark\" data-full=\"" +
           MarkText(run.fullMark) + "\">" +
           (answer.mark ? MarkText(*answer.mark) + " / " + MarkText(run.fullMark) + " 点" : std::string("（未記入）")) +
           "</dd>\n<dt>講評</dt><dd class=\"teacher-note\">" +
           (answer.note.empty() ? std::string("（なし）") : Html(answer.note)) +
           "</dd>\n</dl>\n</td></tr></tbody></table>\n</section>\n";
    return out;
}

std::string FormatFeedbackSheets(const SheetRun& run, const std::vector<SheetAnswer>& answers,
                                 const std::string& title) {
    std::string out;
    out.reserve(4096 + answers.size() * 8192);
    out +=
        "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>講評シート - " +
        Html(title) + "</title>\n<style>";
    out += WebAsset("tavi.css");
    out +=
        "</style>\n</head>\n<body class=\"sheets\">\n<div class=\"noprint\">\n<h1>講評シート: " + Html(title) +
        "</h1>\n<p>" + Int(answers.size()) +
        " 人分。1 人ずつ A4 の新しいページに印刷されます。<button type=\"button\" id=\"print-now\">印刷</button></p>\n"
        "</div>\n";
    for (const SheetAnswer& answer : answers) out += FeedbackSheetHtml(run, answer);
    // The marks explain themselves on a tap as on the pages; wide tables scroll by keyboard.
    out += "<script>";
    out += WebAsset("report.js");
    out += WebAsset("sheets.js");
    out += "</script>\n</body>\n</html>\n";
    return out;
}

std::string FormatReport(const ReportRun& run) {
    std::string out;
    out.reserve(4096 + run.answers.size() * 8192);
    out +=
        "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>Tavi 採点レポート</title>\n"
        "<style>";
    out += WebAsset("tavi.css");
    out += "</style>\n</head>\n<body>\n<h1>Tavi 採点レポート</h1>\n";
    out += ReportSummaryHtml(run, "#a");
    out += "<h2>答案ごとの評価</h2>\n";
    out += kEvidenceLegend;
    for (const EssayRecord& r : run.answers) Answer(out, r, run.params);
    out += "<script>";
    out += WebAsset("report.js");
    out += "</script>\n</body>\n</html>\n";
    return out;
}

}  // namespace tavi
