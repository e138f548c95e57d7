// The bodies of the teacher's pages: every value a teacher or a student typed is escaped, the
// links between answers stop at the ends, and the select shows the job's model.

#include <gtest/gtest.h>

#include "fakes/TestSupport.h"
#include "report/Pages.h"

namespace tavi::test {
namespace {

// Text that breaks the page when it is not escaped, as a name, note or message may hold it.
const std::string kHostile = "<script>alert(1)</script>\"組\"&'";
const std::string kEscaped = "&lt;script&gt;alert(1)&lt;/script&gt;&quot;組&quot;&amp;&#39;";

void ExpectOnlyEscaped(const std::string& html, size_t escapedAtLeast) {
    EXPECT_EQ(Count(html, "<script>"), 0u);
    EXPECT_EQ(Count(html, "\"組\""), 0u);
    EXPECT_GE(Count(html, kEscaped), escapedAtLeast);
}

TEST(PageTemplate, EscapesDoubleBracesAndKeepsTripleOnesAsTheyAre) {
    EXPECT_EQ(RenderTemplate("<p>{{a}}</p>{{{b}}}", {{"a", "<i>&"}, {"b", "<i>&"}}), "<p>&lt;i&gt;&amp;</p><i>&");
    // A name without a value leaves nothing; an unclosed one stays as written.
    EXPECT_EQ(RenderTemplate("[{{missing}}][{{{gone}}}] {{open", {}), "[][] {{open");
    // A value is not read as a template again.
    EXPECT_EQ(RenderTemplate("{{{a}}}{{b}}", {{"a", "{{b}}"}, {"b", "x"}}), "{{b}}x");
}

TEST(JobsPageBody, EscapesTheNamesAndIdsOfJobsInTheirCellsAndLinks) {
    PageHtml page = JobsPage({{"id\"><b", kHostile, "done", 3, 2, 1, 0}, {"ab12", "二組", "queued", 5, 0, 0, 0}});
    EXPECT_EQ(page.title, "ジョブ一覧");
    // The name in its sort value and in its link's text.
    ExpectOnlyEscaped(page.body, 2);
    EXPECT_EQ(Count(page.body, "href=\"/jobs/id&quot;&gt;&lt;b\""), 1u);
    EXPECT_EQ(Count(page.body, "<a href=\"/jobs/ab12\">二組</a>"), 1u);
    EXPECT_EQ(Count(page.body, "<tr><td"), 2u);
    EXPECT_EQ(Count(page.body, ">完了</td>"), 1u);
    EXPECT_EQ(Count(page.body, ">順番待ち</td>"), 1u);
    EXPECT_EQ(Count(page.body, "ジョブはまだありません。"), 0u);
}

TEST(JobsPageBody, SaysSoWhenThereIsNoJob) {
    PageHtml page = JobsPage({});
    EXPECT_EQ(Count(page.body, "<p>ジョブはまだありません。</p>"), 1u);
    EXPECT_EQ(Count(page.body, "<tr><td"), 0u);
}

TEST(NewJobPageBody, ChoosesTheGivenModelOnly) {
    ModelCatalog models;
    std::vector<std::string> names = models.Names();
    ASSERT_EQ(names.size(), 2u);
    for (const std::string& chosen : names) {
        PageHtml page = NewJobPage(models, chosen);
        EXPECT_EQ(page.title, "新しいジョブ");
        EXPECT_EQ(Count(page.body, " selected"), 1u) << chosen;
        EXPECT_EQ(Count(page.body, "<option selected>" + chosen + "</option>"), 1u) << chosen;
        EXPECT_EQ(Count(page.body, "<option>"), 1u);  // the other model
    }
    // The fourteen ratios, each an input of its own.
    EXPECT_EQ(Count(NewJobPage(models, names[0]).body, "placeholder=\"既定値\""), RatioFields().size());
}

JobPageView View(const std::string& state) {
    return {"0123abcd",
            kHostile,
            state,
            10,
            4,
            2,
            "分析器が止まっています。",
            "<table id=\"summary\"></table>",
            ModelCatalog::Default()};
}

TEST(JobPageBody, EscapesTheJobsNameAndShowsItsModelAndSummary) {
    ModelCatalog models;
    PageHtml page = JobPage(View("done"), models);
    EXPECT_EQ(page.title, kHostile);  // the layout escapes the title
    ExpectOnlyEscaped(page.body, 1);
    EXPECT_EQ(Count(page.body, "<table id=\"summary\"></table>"), 1u);
    EXPECT_EQ(Count(page.body, "<option selected>" + ModelCatalog::Default() + "</option>"), 1u);
    EXPECT_EQ(Count(page.body, "失敗 2 件"), 1u);
    EXPECT_EQ(Count(page.body, "4 / 10"), 1u);
    EXPECT_EQ(Count(page.body, "/api/jobs/0123abcd/results.csv"), 1u);
    EXPECT_EQ(Count(page.body, "name=\"fit\""), FittableFields().size());
}

TEST(JobPageBody, SaysWhyScoringIsPausedOnlyWhileTheJobWaitsOrIsScored) {
    ModelCatalog models;
    for (const char* state : {"queued", "scoring"}) {
        EXPECT_EQ(Count(JobPage(View(state), models).body, "分析器が止まっています。"), 1u) << state;
        EXPECT_FALSE(JobSummaryNote(state).empty()) << state;
    }
    for (const char* state : {"idle", "done"}) {
        EXPECT_EQ(Count(JobPage(View(state), models).body, "分析器が止まっています。"), 0u) << state;
        EXPECT_TRUE(JobSummaryNote(state).empty()) << state;
    }
}

class AnswerPageBody : public testing::Test {
protected:
    void SetUp() override {
        ModelCatalog models;
        ASSERT_EQ(ParseJobParams({}, models, job.paramsJson), "");
        job.questionName = "question.txt";
        job.questionFile = WriteTempFile("question.txt", S("読書の意義について述べなさい。\n"));
        job.fullMark = 20;
        answer.name = kHostile;
        answer.studentId = "7";
        answer.note = kHostile;
        answer.failure = kHostile;
        answer.mark = 7.5;
    }
    PageHtml Page(int number, int count) {
        answer.number = number;
        return AnswerPage(job, "0123abcd", kHostile, answer, count);
    }
    JobData job;
    JobAnswer answer;
};

TEST_F(AnswerPageBody, EscapesTheJobsAndAnswersNamesTheNoteAndTheFailure) {
    PageHtml page = Page(2, 3);
    EXPECT_EQ(page.title, kHostile + "（7）");
    // The job's name, the heading, the failure, the note, and the sheet's name and note.
    ExpectOnlyEscaped(page.body, 6);
    EXPECT_EQ(Count(page.body, "<p class=\"failure\">採点できませんでした: " + kEscaped + "</p>"), 1u);
    EXPECT_EQ(Count(page.body, "rows=\"3\">" + kEscaped + "</textarea>"), 1u);
    EXPECT_EQ(Count(page.body, "value=\"7.5\""), 1u);
    EXPECT_EQ(Count(page.body, "（0〜20 点）"), 1u);
    EXPECT_EQ(Count(page.body, "data-number=\"2\""), 1u);
    EXPECT_EQ(Count(page.body, "回答文の印"), 1u);  // the legend
    EXPECT_EQ(Count(page.body, "<div class=\"printonly\"><section class=\"sheet\""), 1u);
}

TEST_F(AnswerPageBody, LinksToTheAnswersBeforeAndAfterButNotPastTheEnds) {
    std::string middle = Page(2, 3).body;
    EXPECT_EQ(Count(middle, "<a href=\"/jobs/0123abcd/answers/1\">前の答案</a>"), 1u);
    EXPECT_EQ(Count(middle, "<a href=\"/jobs/0123abcd/answers/3\">次の答案</a>"), 1u);

    std::string first = Page(1, 3).body;
    EXPECT_EQ(Count(first, "前の答案"), 0u);
    EXPECT_EQ(Count(first, "/answers/2\">次の答案</a>"), 1u);

    std::string last = Page(3, 3).body;
    EXPECT_EQ(Count(last, "/answers/2\">前の答案</a>"), 1u);
    EXPECT_EQ(Count(last, "次の答案"), 0u);

    std::string only = Page(1, 1).body;
    EXPECT_EQ(Count(only, "前の答案") + Count(only, "次の答案"), 0u);
}

TEST_F(AnswerPageBody, LeavesTheMarkEmptyAndShowsNoFailureWhenThereIsNone) {
    answer.mark.reset();
    answer.failure.clear();
    std::string body = Page(1, 1).body;
    EXPECT_EQ(Count(body, "value=\"\""), 1u);
    EXPECT_EQ(Count(body, "class=\"failure\""), 0u);
}

TEST(ErrorPageBody, NamesTheStatusAndEscapesTheMessageAndTheWayBack) {
    EXPECT_EQ(ErrorPage(404, "x").title, "見つかりません");
    EXPECT_EQ(ErrorPage(403, "x").title, "このページは開けません");
    EXPECT_EQ(ErrorPage(400, "x").title, "ページを表示できません");
    PageHtml page = ErrorPage(404, kHostile, "/jobs/\"x", kHostile);
    EXPECT_EQ(Count(page.body, "<h1>見つかりません</h1>"), 1u);
    ExpectOnlyEscaped(page.body, 2);
    EXPECT_EQ(Count(page.body, "href=\"/jobs/&quot;x\""), 1u);
    // Without a message, a general one; without a way back, the list of jobs.
    PageHtml general = ErrorPage(500, "");
    EXPECT_EQ(Count(general.body, "要求を受け付けられませんでした。"), 1u);
    EXPECT_EQ(Count(general.body, "<a href=\"/\">ジョブ一覧へ戻る</a>"), 1u);
}

}  // namespace
}  // namespace tavi::test
