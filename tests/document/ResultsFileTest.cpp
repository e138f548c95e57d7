#include <gtest/gtest.h>

#include "analysis/Encoding.h"
#include "document/ResultsFile.h"
#include "fakes/SampleRun.h"
#include "fakes/TestSupport.h"

namespace tavi::test {
namespace {

// The results file as the list shows the answers: its cells, row by row.
std::string ListCells(MemoryListView& view) {
    std::string text = Sjis("管理番号,ファイル名,状態,総合得点,文量減点,修辞,論理,内容,場所,") + "\r\n";
    for (int row = 0; row < view.GetRowCount(); ++row) {
        std::string cells[ListView::kColumns];
        for (int c = 0; c < ListView::kColumns; ++c) cells[c] = view.Cell(row, c);
        std::string line = FormatCsvLine(cells);
        line.insert(line.size() - 1, "\r");
        text += line;
    }
    return text;
}

std::vector<EssayRecord> Records(const CTaviDoc& doc) {
    std::vector<EssayRecord> records;
    for (int i = 0; i < doc.GetAnswerCount(); ++i) records.push_back(doc.GetAnswer(i));
    return records;
}

// The records give the texts the list shows after every way of scoring: with a question, without one
// (rhetoric and organization only), not yet scored, and scored again after the weights and
// ratios changed.
TEST(ResultsFile, HoldsWhatTheListShowsOfEachRecord) {
    SampleDocument sample;
    std::vector<int> some;
    for (const char* name : SampleDocument::kNames) {
        ASSERT_TRUE(sample.doc->AddAnswer(SampleDocument::AnswerPath(name)));
        if (some.size() < 8) some.push_back(static_cast<int>(some.size()));
    }
    ASSERT_TRUE(sample.doc->AddAnswer(Sjis(WriteTempFile("a,\"quoted\".txt", "環境は大切だ。"))));
    sample.doc->ScoreSelected(some);
    const std::string scored = sample.doc->ResultsFileBytes();
    EXPECT_EQ(scored, ListCells(sample.view));
    EXPECT_EQ(scored, FormatResultsFile(Records(*sample.doc)));
    EXPECT_NE(scored.find(Sjis(",済,")), std::string::npos);
    EXPECT_NE(scored.find(Sjis(",未採点,,,,,,")), std::string::npos);
    EXPECT_NE(scored.find("\"a,\"\"quoted\"\".txt\""), std::string::npos);

    ScoringParams changed = sample.doc->GetParams();
    changed.rhetoricWeight = 1;
    changed.vocabularyDiversityWeight = 0.5;
    sample.person.detailDialog = [&](ScoringParams& p) {
        p = changed;
        return true;
    };
    sample.doc->OnParamDetail();
    sample.doc->ApplyQuestionSettings(sample.doc->GetQuestionPath(), changed);
    EXPECT_NE(sample.doc->ResultsFileBytes(), scored);
    EXPECT_EQ(sample.doc->ResultsFileBytes(), ListCells(sample.view));

    FakePerson person;
    MemoryListView view;
    CTaviDoc noQuestion(person);
    noQuestion.SetListView(&view);
    ASSERT_TRUE(noQuestion.AddAnswer(SampleDocument::AnswerPath("a01_long_on_topic")));
    ASSERT_TRUE(noQuestion.AddAnswer(SampleDocument::AnswerPath("a02_short")));
    noQuestion.ScoreSelected({1});
    ASSERT_TRUE(noQuestion.GetAnswer(1).rhetoricScored);
    EXPECT_EQ(noQuestion.ResultsFileBytes(), ListCells(view));
}

// A list that shows its rows in reverse order of the answers, as after a sort.
class ReversedListView : public MemoryListView {
public:
    int GetRowAnswer(int row) override { return GetRowCount() - 1 - row; }
};

TEST(ResultsFile, FollowsTheListsOrderOrWithoutAListTheAnswers) {
    SampleDocument sample;
    ReversedListView reversed;
    sample.doc->SetListView(&reversed);
    for (const char* name : {"a01_long_on_topic", "a02_short", "a03_off_topic"})
        ASSERT_TRUE(sample.doc->AddAnswer(SampleDocument::AnswerPath(name)));
    sample.doc->ScoreSelected({0, 1, 2});
    std::vector<EssayRecord> records = Records(*sample.doc);
    const std::string inOrder = FormatResultsFile(records);
    std::reverse(records.begin(), records.end());
    EXPECT_EQ(sample.doc->ResultsFileBytes(), FormatResultsFile(records));
    EXPECT_NE(FormatResultsFile(records), inOrder);

    sample.doc->SetListView(nullptr);
    EXPECT_EQ(sample.doc->ResultsFileBytes(), inOrder);
    EXPECT_EQ(FormatResultsFile({}), Sjis("管理番号,ファイル名,状態,総合得点,文量減点,修辞,論理,内容,場所,") + "\r\n");
}

}  // namespace
}  // namespace tavi::test
