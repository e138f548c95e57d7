// Feedback sheets, the comment counts with the rows they filter, and the marks' links to the
// comments they stand for.

#include <gtest/gtest.h>

#include <regex>

#include "evaluation/CommentEvidence.h"
#include "evaluation/CommentTable.h"
#include "fakes/SampleRun.h"
#include "fakes/TestSupport.h"
#include "report/Report.h"

namespace tavi::test {
namespace {

// The pieces between one opening of `open` and the next, each starting with `open`.
std::vector<std::string> Split(const std::string& text, const std::string& open) {
    std::vector<std::string> parts;
    for (size_t at = text.find(open); at != std::string::npos;) {
        size_t next = text.find(open, at + open.size());
        parts.push_back(text.substr(at, next == std::string::npos ? std::string::npos : next - at));
        at = next;
    }
    return parts;
}

std::string Unescape(std::string text) {
    const std::pair<const char*, const char*> entities[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&amp;", "&"}};
    for (const auto& [entity, character] : entities)
        for (size_t at; (at = text.find(entity)) != std::string::npos;) text.replace(at, strlen(entity), character);
    return text;
}

size_t CodePoints(const std::string& utf8) {
    size_t n = 0;
    for (unsigned char c : utf8) n += (c & 0xC0) != 0x80;
    return n;
}

std::string Words(const std::string& list) { return " " + list + " "; }

// A name for each sample answer; none is part of another.
std::string StudentName(size_t i) { return "生徒" + std::to_string(100 + i) + "号"; }

class SampleSheets : public testing::Test {
protected:
    static void SetUpTestSuite() {
        s_run = new SampleRun();
        std::vector<SheetAnswer> answers;
        for (size_t i = 0; i < s_run->answers.size(); ++i) {
            SheetAnswer a{s_run->answers[i], StudentName(i), std::nullopt, ""};
            if (i == 1) a.mark = 7.5, a.note = "一文を短く。\n段落を分けましょう。";
            answers.push_back(std::move(a));
        }
        SheetRun run{"", s_run->doc->GetParams(), 20};
        MorphemeTools().ReadAnswerFile(s_run->doc->GetQuestionPath(), run.questionText, run.params.paragraphMode);
        s_html = new std::string(FormatFeedbackSheets(run, answers, "一組の小論文"));
        s_sheets = new std::vector<std::string>(Split(*s_html, "<section class=\"sheet\""));
    }
    static void TearDownTestSuite() {
        delete s_sheets;
        delete s_html;
        delete s_run;
    }
    static SampleRun* s_run;
    static std::string* s_html;
    static std::vector<std::string>* s_sheets;
};
SampleRun* SampleSheets::s_run = nullptr;
std::string* SampleSheets::s_html = nullptr;
std::vector<std::string>* SampleSheets::s_sheets = nullptr;

TEST_F(SampleSheets, OneSelfContainedDocumentWithAPageBreakAfterEachStudent) {
    const std::string& html = *s_html;
    EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
    for (const char* outside : {"<link", " src=", "@import", "url(", "http:", "https:"})
        EXPECT_EQ(html.find(outside), std::string::npos) << outside;
    EXPECT_NE(html.find("@page { size: A4;"), std::string::npos);
    EXPECT_NE(html.find(".sheet:not(:last-of-type) { break-after: page;"), std::string::npos);
    EXPECT_EQ(Count(html, "<script>"), 1u);
    EXPECT_NE(html.find("#print"), std::string::npos);  // opened for printing, it prints itself
    ASSERT_EQ(s_sheets->size(), s_run->answers.size());
    EXPECT_NE(html.find("講評シート: 一組の小論文"), std::string::npos);
}

TEST_F(SampleSheets, EachSheetNamesItsStudentAndNoOther) {
    for (size_t i = 0; i < s_sheets->size(); ++i) {
        const std::string& sheet = (*s_sheets)[i];
        EXPECT_NE(sheet.find("<h2 class=\"sheet-name\""), std::string::npos);
        EXPECT_NE(sheet.find(StudentName(i) + " さん</h2>"), std::string::npos) << i;
        for (size_t other = 0; other < s_sheets->size(); ++other)
            if (other != i) EXPECT_EQ(sheet.find(StudentName(other)), std::string::npos) << i << " names " << other;
        // Nor the names of the files the answers came from.
        for (size_t other = 0; other < s_run->answers.size(); ++other)
            EXPECT_EQ(sheet.find(U(s_run->answers[other].title)), std::string::npos) << i;
    }
    // The part outside the sheets names no student either.
    std::string outside = s_html->substr(0, s_html->find("<section class=\"sheet\""));
    for (size_t i = 0; i < s_sheets->size(); ++i) EXPECT_EQ(outside.find(StudentName(i)), std::string::npos);
}

TEST_F(SampleSheets, EachSheetHoldsTheQuestionTheMarkedAnswerAndALegend) {
    for (size_t i = 0; i < s_sheets->size(); ++i) {
        const std::string& sheet = (*s_sheets)[i];
        const EssayRecord& r = s_run->answers[i];
        EXPECT_NE(sheet.find("読書の意義について"), std::string::npos) << i;
        for (const MarkStyle& style : kMarkStyles) {
            const std::string symbol =
                *style.symbol ? std::string("<span class=\"symbol\">") + style.symbol + "</span>" : "";
            EXPECT_NE(sheet.find(std::string("<mark class=\"") + style.kind + "\">" + symbol + style.legend),
                      std::string::npos)
                << i << " " << style.legend;
        }
        // The whole text is there under its marks.
        size_t begin = sheet.find("<div class=\"text\">");
        ASSERT_NE(begin, std::string::npos) << i;
        begin += strlen("<div class=\"text\">");
        std::string text = sheet.substr(begin, sheet.find("</div>", begin) - begin);
        EXPECT_EQ(Unescape(std::regex_replace(text, std::regex("<[^>]*>"), "")), U(r.evidence->text)) << i;
        // Every comment in its words, with details that count characters.
        for (const ReceivedComment& c : ReceivedComments(r.commentText))
            EXPECT_NE(sheet.find("<li>" + U(c.text)), std::string::npos) << i;
        EXPECT_NE(sheet.find("総合得点"), std::string::npos);
    }
}

TEST_F(SampleSheets, TheTeachersMarkIsOutOfTheFullMarkAndTheNoteKeepsItsLines) {
    EXPECT_NE((*s_sheets)[1].find(">7.5 / 20 点</dd>"), std::string::npos);
    EXPECT_NE((*s_sheets)[1].find("一文を短く。\n段落を分けましょう。</dd>"), std::string::npos);
    EXPECT_NE(s_html->find(".sheet .teacher dd { margin: 0; white-space: pre-wrap; }"), std::string::npos);
    EXPECT_NE((*s_sheets)[0].find(">（未記入）</dd>"), std::string::npos);
    EXPECT_NE((*s_sheets)[0].find(">（なし）</dd>"), std::string::npos);
}

TEST_F(SampleSheets, ExplanationsCountCharactersInPlainWords) {
    // Bytes are the engine's measure; a teacher reads characters.
    for (const char* word : {"バイト", "Yule", "想定文字数", "、、"})
        EXPECT_EQ(s_html->find(word), std::string::npos) << word;
    const std::string report = FormatReport(ReportRunOf(*s_run->doc));
    for (const char* word : {"バイト", "Yule", "想定文字数", "、、"})
        EXPECT_EQ(report.find(word), std::string::npos) << word;
    // One sample answer uses the cue word "つまり、", which its list shows without the comma.
    EXPECT_NE(report.find("きっかけ語「つまり、」"), std::string::npos);
    EXPECT_NE(report.find("想定字数"), std::string::npos);
}

TEST(Sheet, EscapesAHostileNameAndNote) {
    SheetRun run{Sjis("設問<b>文</b>"), ScoringParams(), 10};
    SheetAnswer answer{EssayRecord(), "<script>alert(1)</script>&\"'", 3, "</dd><img src=x onerror=alert(1)>"};
    answer.record.id = 7;
    const std::string html = FormatFeedbackSheets(run, {answer}, "<i>組</i>");
    EXPECT_EQ(html.find("<script>alert"), std::string::npos);
    EXPECT_EQ(html.find("<img"), std::string::npos);
    EXPECT_EQ(html.find("<b>"), std::string::npos);
    EXPECT_EQ(html.find("<i>"), std::string::npos);
    EXPECT_NE(html.find("&lt;script&gt;alert(1)&lt;/script&gt;&amp;&quot;&#39; さん"), std::string::npos);
    EXPECT_NE(html.find("&lt;/dd&gt;&lt;img src=x onerror=alert(1)&gt;</dd>"), std::string::npos);
    EXPECT_NE(html.find(">3 / 10 点</dd>"), std::string::npos);
    // An answer without a result says so instead of showing scores.
    EXPECT_NE(html.find("この回答文は採点されていません。"), std::string::npos);
    EXPECT_NE(html.find("未評価です。"), std::string::npos);
    EXPECT_EQ(Count(html, "<section class=\"sheet\""), 1u);
}

TEST(CommentCounts, AnAnswerCountsOnceForEachCommentItHas) {
    const std::string longSentence = *FindCommentText(kSentenceLengthMaxComment, 2);
    const std::string cueWords = *FindCommentText(kCueWordComment, 1);
    std::vector<EssayRecord> answers(4);
    // Scored again after a change of ratios, the first holds its rhetoric comment twice.
    answers[0].commentText = longSentence + "\n" + cueWords + "\n" + longSentence + "\n";
    answers[1].commentText = cueWords + "\n" + Sjis("コメントではない行") + "\n";
    answers[2].commentText = cueWords + "\n";
    const std::vector<CommentCount> counts = CountComments(answers);
    ASSERT_EQ(counts.size(), 2u);
    EXPECT_EQ(counts[0].index, kCueWordComment);
    EXPECT_EQ(counts[0].commentClass, 1);
    EXPECT_EQ(counts[0].answers, 3u);
    EXPECT_EQ(counts[0].text, cueWords);
    EXPECT_EQ(counts[1].index, kSentenceLengthMaxComment);
    EXPECT_EQ(counts[1].answers, 1u);

    const std::string html = CommentCountsHtml(counts, 4);
    EXPECT_NE(html.find("data-comment=\"14:1\" aria-pressed=\"false\">" + U(cueWords) +
                        "</button></td><td "
                        "class=\"n\">3</td>"),
              std::string::npos)
        << html;
    EXPECT_NE(html.find(" 75%</td>"), std::string::npos);
    EXPECT_NE(html.find(" 25%</td>"), std::string::npos);
    EXPECT_NE(html.find("<th scope=\"col\">答案数</th>"), std::string::npos);
    EXPECT_NE(CommentCountsHtml({}, 4).find("コメントのある答案はありません。"), std::string::npos);
}

TEST_F(SampleSheets, TheRowsOfTheTableListTheCommentsTheChartCounts) {
    ReportRun run = ReportRunOf(*s_run->doc);
    const std::string summary = ReportSummaryHtml(run, "/a/");
    const std::string table = summary.substr(summary.find("<table class=\"sortable\" id=\"answers\">"));
    std::vector<std::string> rowComments;
    std::regex row("<tr data-comments=\"([^\"]*)\">");
    for (auto it = std::sregex_iterator(table.begin(), table.end(), row); it != std::sregex_iterator(); ++it)
        rowComments.push_back(Words((*it)[1]));
    ASSERT_EQ(rowComments.size(), run.answers.size());
    const std::vector<CommentCount> counts = CountComments(run.answers);
    ASSERT_GE(counts.size(), 5u);
    for (const CommentCount& c : counts) {
        const std::string key = CommentKey(c.index, c.commentClass);
        size_t rows = 0;
        for (const std::string& comments : rowComments) rows += comments.find(" " + key + " ") != std::string::npos;
        EXPECT_EQ(rows, c.answers) << key;
        EXPECT_NE(summary.find("data-comment=\"" + key + "\""), std::string::npos) << key;
    }
    for (size_t i = 1; i < counts.size(); ++i) EXPECT_GE(counts[i - 1].answers, counts[i].answers);
}

// Each piece of marked text lists the comments of the marks over it, and names the kind of each
// mark that begins there, as the pages' scripts read them.
TEST_F(SampleSheets, MarkedPiecesNameTheirCommentsAndWhereMarksBegin) {
    std::regex piece(
        "<mark class=\"([a-z ]+)\"(?: data-c=\"([0-9 ]+)\")?(?: data-start=\"([a-z ]+)\")? title=\"[^\"]*\">"
        "([^<]*)</mark>|([^<]+)");
    for (const EssayRecord& r : s_run->answers) {
        const MarkedAnswer marked = MarkAnswer(r, s_run->doc->GetParams());
        const std::string html = MarkedTextHtml(*r.evidence, marked.marks);
        struct Piece {
            uint32_t begin, end;
            std::string kinds, comments, starts;
        };
        std::vector<Piece> pieces;
        uint32_t at = 0;
        for (auto it = std::sregex_iterator(html.begin(), html.end(), piece); it != std::sregex_iterator(); ++it) {
            const std::smatch& m = *it;
            const bool isMark = m[1].matched;
            const uint32_t length = static_cast<uint32_t>(CodePoints(Unescape(isMark ? m[4].str() : m[5].str())));
            if (isMark) pieces.push_back({at, at + length, Words(m[1]), Words(m[2]), Words(m[3])});
            at += length;
        }
        EXPECT_EQ(at, CodePoints(U(r.evidence->text))) << U(r.title);
        for (const EvidenceMark& mark : marked.marks) {
            if (mark.span.begin >= mark.span.end) continue;
            const std::string kind = " " + std::string(1, mark.kind) + " ";
            bool started = false;
            for (const Piece& p : pieces) {
                if (p.end <= mark.span.begin || p.begin >= mark.span.end) continue;
                EXPECT_NE(p.kinds.find(kind), std::string::npos);
                if (mark.comment >= 0)
                    EXPECT_NE(p.comments.find(" " + std::to_string(mark.comment) + " "), std::string::npos);
                if (p.begin == mark.span.begin) started = p.starts.find(kind) != std::string::npos;
            }
            EXPECT_TRUE(started) << mark.title;
        }
    }
}

}  // namespace
}  // namespace tavi::test
