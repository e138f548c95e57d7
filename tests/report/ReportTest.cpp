// The HTML report: its statistics, charts, table and the answers with highlighted evidence.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <limits>
#include <regex>

#include "evaluation/CommentEvidence.h"
#include "evaluation/CommentTable.h"
#include "fakes/SampleRun.h"
#include "fakes/TestSupport.h"
#include "report/Report.h"

namespace tavi::test {
namespace {

// The text between `open` (from its first occurrence at or after `from`) and the next `close`.
std::string Between(const std::string& text, const std::string& open, const std::string& close, size_t from = 0) {
    size_t begin = text.find(open, from);
    if (begin == std::string::npos) return "";
    begin += open.size();
    size_t end = text.find(close, begin);
    return end == std::string::npos ? "" : text.substr(begin, end - begin);
}

// HTML without its tags, entities turned back into characters.
std::string PlainText(const std::string& html) {
    std::string text = std::regex_replace(html, std::regex("<[^>]*>"), "");
    const std::pair<const char*, const char*> entities[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&amp;", "&"}};
    for (const auto& [entity, character] : entities)
        for (size_t at; (at = text.find(entity)) != std::string::npos;) text.replace(at, strlen(entity), character);
    return text;
}

TEST(Summary, CountMeanMedianPopulationDeviationAndRange) {
    Summary even = Summarize({4, 1, 3, 2});
    EXPECT_EQ(even.count, 4u);
    EXPECT_DOUBLE_EQ(even.mean, 2.5);
    EXPECT_DOUBLE_EQ(even.median, 2.5);
    EXPECT_DOUBLE_EQ(even.deviation, std::sqrt(1.25));
    EXPECT_EQ(even.minimum, 1);
    EXPECT_EQ(even.maximum, 4);
    Summary odd = Summarize({5, 1, 3, std::numeric_limits<double>::quiet_NaN()});
    EXPECT_EQ(odd.count, 3u);  // a value that is not a number is left out
    EXPECT_EQ(odd.median, 3);
    EXPECT_DOUBLE_EQ(odd.mean, 3);
    Summary none = Summarize({});
    EXPECT_EQ(none.count, 0u);
    EXPECT_EQ(none.mean, 0);
    EXPECT_EQ(none.deviation, 0);
}

class SampleReport : public testing::Test {
protected:
    static void SetUpTestSuite() {
        s_run = new SampleRun();
        s_html = new std::string(FormatReport(ReportRunOf(*s_run->doc)));
    }
    static void TearDownTestSuite() {
        delete s_html;
        delete s_run;
    }
    // The section of one answer.
    static std::string Section(const EssayRecord& r) {
        return Between(*s_html, "<section class=\"answer\" id=\"a" + std::to_string(r.id) + "\">", "</section>");
    }
    static SampleRun* s_run;
    static std::string* s_html;
};
SampleRun* SampleReport::s_run = nullptr;
std::string* SampleReport::s_html = nullptr;

TEST_F(SampleReport, IsOneSelfContainedPage) {
    const std::string& html = *s_html;
    EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_NE(html.find("<meta charset=\"utf-8\">"), std::string::npos);
    EXPECT_TRUE(IsValidUtf8(html));
    // Nothing is fetched: no links, sources, imports or URLs but the SVG namespace.
    for (const char* outside : {"<link", " src=", "@import", "url(", "//fonts"})
        EXPECT_EQ(html.find(outside), std::string::npos) << outside;
    EXPECT_EQ(Count(html, "http"), Count(html, "xmlns=\"http://www.w3.org/2000/svg\""));
    EXPECT_EQ(Count(html, "<script>"), 1u);
    EXPECT_EQ(html.substr(html.size() - 8), "</html>\n");
}

TEST_F(SampleReport, ShowsTheRunAndItsStatistics) {
    const std::string& html = *s_html;
    EXPECT_NE(html.find(U(Sjis(std::string(TAVI_SAMPLES_DIR) + "/question.txt"))), std::string::npos);
    EXPECT_NE(html.find("読書の意義について"), std::string::npos);  // the question's text
    EXPECT_NE(html.find("答案 14 件、採点済み 14 件"), std::string::npos);
    std::vector<double> totals;
    for (const EssayRecord& r : s_run->answers) totals.push_back(r.finalScore);
    Summary s = Summarize(totals);
    char row[256];
    std::snprintf(row, sizeof row,
                  "<tr><th>総合得点</th><td class=\"n\">14</td><td class=\"n\">%.2f</td><td class=\"n\">%.2f</td>"
                  "<td class=\"n\">%.2f</td><td class=\"n\">%.2f</td><td class=\"n\">%.2f</td></tr>",
                  s.mean, s.median, s.deviation, s.minimum, s.maximum);
    EXPECT_NE(html.find(row), std::string::npos) << row;
}

TEST_F(SampleReport, ChartsCountEveryScoredAnswer) {
    const std::string& html = *s_html;
    // Totals, penalty against length, three axes; the bars of the comment counts are not charts of answers.
    EXPECT_EQ(Count(html, "<svg "), 5u + Count(html, "<svg class=\"share-bar\""));
    // Each histogram's bars add up to the scored answers.
    size_t from = 0;
    for (int chart = 0; chart < 5; ++chart) {
        std::string svg = Between(html, "<svg ", "</svg>", from);
        from = html.find("<svg ", from) + 1;
        if (svg.find("<circle") != std::string::npos) {
            EXPECT_EQ(Count(svg, "<circle"), 14u);
            continue;
        }
        int total = 0;
        std::regex bar(": (\\d+) 件</title>");
        for (auto it = std::sregex_iterator(svg.begin(), svg.end(), bar); it != std::sregex_iterator(); ++it)
            total += std::stoi((*it)[1]);
        EXPECT_EQ(total, 14) << "chart " << chart;
    }
}

TEST_F(SampleReport, TableSortsInTheBrowserByAnyColumn) {
    std::string table = Between(*s_html, "<table class=\"sortable\" id=\"answers\">", "</table>");
    ASSERT_FALSE(table.empty());
    EXPECT_EQ(Count(table, "<th>"), 10u);
    EXPECT_EQ(Count(Between(table, "<tbody>", "</tbody>"), "<tr data-comments=\""), 14u);
    // Every cell carries the key it sorts by.
    EXPECT_EQ(Count(table, "<td"), Count(table, "data-v=\""));
    EXPECT_EQ(Count(table, "<td"), 14u * 10u);
    EXPECT_NE(s_html->find("addEventListener('click'"), std::string::npos);
    for (const EssayRecord& r : s_run->answers)
        EXPECT_NE(table.find("href=\"#a" + std::to_string(r.id) + "\""), std::string::npos);
}

TEST_F(SampleReport, PrintsEachAnswerOnANewPage) {
    std::string print = Between(*s_html, "@media print {", "\n}\n");
    EXPECT_NE(print.find(".answer { page-break-before: always; break-before: page; }"), std::string::npos) << print;
    EXPECT_EQ(Count(*s_html, "<section class=\"answer\""), 14u);
}

TEST_F(SampleReport, AnswersKeepTheirWholeTextUnderTheHighlights) {
    for (const EssayRecord& r : s_run->answers) {
        std::string text = Between(Section(r), "<div class=\"text\">", "</div>");
        EXPECT_EQ(PlainText(text), U(r.evidence->text)) << U(r.title);
        EXPECT_EQ(Count(text, "<mark"), Count(text, "</mark>"));
    }
}

TEST_F(SampleReport, HighlightsNameTheCommentTheySupport) {
    // The long-sentence essay draws the length, bunsetsu, predicate and vocabulary comments.
    const EssayRecord& longSentences = s_run->answers[5];
    const std::string section = Section(longSentences);
    int marked = 0;
    for (const ReceivedComment& c : ReceivedComments(longSentences.commentText)) {
        if (c.index == kKanjiShareComment || c.index == kLengthComment) continue;  // numbers, no places
        // A piece under several marks lists their titles one per line.
        bool inTitle = section.find("title=\"" + U(c.text)) != std::string::npos ||
                       section.find("&#10;" + U(c.text)) != std::string::npos;
        EXPECT_TRUE(inTitle) << U(c.text);
        ++marked;
    }
    EXPECT_GE(marked, 10);
    // The longest sentence lies under the marks of comment 3.
    const SentenceEvidence* longest = LongestSentence(*longSentences.evidence);
    ASSERT_NE(longest, nullptr);
    // Its length is counted in characters of the text, not in bytes.
    ASSERT_GT(longest->bytes, longest->span.end - longest->span.begin);
    std::string title = U(*FindCommentText(kSentenceLengthMaxComment, 2)) + "（最も長い文 " +
                        std::to_string(longest->span.end - longest->span.begin) + "字）";
    EXPECT_NE(section.find(title), std::string::npos);
    // The passive suffixes of the passive answer, and the cue words of an answer without an
    // organization comment, are marked too.
    EXPECT_EQ(Count(Section(s_run->answers[13]), "（受身）"), 3u);
    const EssayRecord& connectives = s_run->answers[4];
    ASSERT_EQ(connectives.commentText.find(*FindCommentText(kCueWordComment, 1)), std::string::npos);
    const std::string connectiveSection = Section(connectives);
    for (const OrganizationSentence& sentence : connectives.evidence->organization)
        for (const CueWordHit& hit : sentence.cueWords)
            EXPECT_NE(connectiveSection.find("きっかけ語「" + U(hit.word) + "」"), std::string::npos) << U(hit.word);
}

TEST_F(SampleReport, MarksBelongToTheCommentWhoseTitleTheyCarry) {
    for (const EssayRecord& r : s_run->answers) {
        const MarkedAnswer marked = MarkAnswer(r, s_run->doc->GetParams());
        ASSERT_EQ(marked.details.size(), marked.comments.size());
        for (const EvidenceMark& mark : marked.marks) {
            if (mark.comment < 0) {
                EXPECT_EQ(mark.kind, 'g') << mark.title;  // only what the answer does well stands alone
                continue;
            }
            ASSERT_LT(mark.comment, static_cast<int>(marked.comments.size()));
            EXPECT_EQ(mark.title.rfind(U(marked.comments[mark.comment].text), 0), 0u) << mark.title;
        }
    }
}

TEST_F(SampleReport, TheStylesheetAndLegendShowTheSharedMarkColours) {
    // The desktop program draws marks from the same table: the page must agree with it.
    for (const MarkStyle& style : kMarkStyles) {
        const std::string rule = std::string("mark.") + style.kind + " { ";
        const std::string colour = style.background ? std::string("background: ") + style.background
                                                    : std::string("box-shadow: inset 0 -3px 0 ") + style.underline;
        EXPECT_NE(s_html->find(rule + colour), std::string::npos) << rule + colour;
        const std::string symbol =
            *style.symbol ? std::string("<span class=\"symbol\">") + style.symbol + "</span>" : "";
        EXPECT_NE(s_html->find(std::string("<mark class=\"") + style.kind + "\">" + symbol + style.legend + "</mark>"),
                  std::string::npos);
        // A long stretch starts with its symbol, which the legend shows.
        if (*style.symbol)
            EXPECT_NE(s_html->find(std::string("mark[data-start~=") + style.kind + "]::before"), std::string::npos);
    }
}

TEST(Report, EscapesTextAndShowsAnswersWithoutEvidence) {
    ReportRun run;
    EssayRecord r(Sjis("/答案/<b>&\"x\".txt"), Sjis("<b>&\"x\".txt"));
    r.id = 3;
    run.answers.push_back(r);
    std::string html = FormatReport(run);
    EXPECT_EQ(html.find("<b>"), std::string::npos);
    EXPECT_NE(html.find("&lt;b&gt;&amp;&quot;x&quot;.txt"), std::string::npos);
    EXPECT_NE(html.find("設問文なし"), std::string::npos);
    EXPECT_NE(html.find("未評価です。"), std::string::npos);
    EXPECT_EQ(html.find("<div class=\"text\">"), std::string::npos);
    EXPECT_NE(html.find("答案 1 件、採点済み 0 件"), std::string::npos);
}

TEST(Report, WrittenByTheScorerBesideItsUsualOutput) {
    std::string dir = TempDir();
    std::string samples = TAVI_SAMPLES_DIR;
    std::string command = std::string(TAVI_BIN_DIR) + "/tavi-score --report " + dir + "/run.html -q " + samples +
                          "/question.txt " + samples + "/answers >" + dir + "/out 2>" + dir + "/err";
    int rc = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(rc));
    EXPECT_EQ(WEXITSTATUS(rc), 0) << ReadFileBytes(dir + "/err");
    std::string html = ReadFileBytes(dir + "/run.html");
    EXPECT_EQ(Count(html, "<section class=\"answer\""), 13u);
    EXPECT_EQ(Count(html, "<div class=\"text\">"), 13u);                             // evidence was kept for the report
    EXPECT_NE(ReadFileBytes(dir + "/out").find("a13_utf8.txt"), std::string::npos);  // the table, as without --report
}

}  // namespace
}  // namespace tavi::test
