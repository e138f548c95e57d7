#include <unistd.h>

#include "document/DocumentFixture.h"
#include "fakes/DocAccess.h"

namespace tavi::test {
namespace {

TEST_F(DocumentTest, ScoringAnAnswerShowsEveryStageInOrder) {
    UseTinyModel();
    SetQuestion(questionPath);
    ASSERT_TRUE(doc->HasQuestionVector());
    Add(onTopic);
    view.ClearEvents();
    doc->ScoreEssay(0);
    EXPECT_EQ(view.Events(),
              (std::vector<std::string>{"status 0 1", "status 0 2", "status 0 3", "content 0", "rhetoric 0",
                                        "organization 0", "content 0", "penalty 0", "total 0", "status 0 4"}));
    EssayRecord r = doc->GetAnswer(0);
    EXPECT_EQ(r.status, kStatusScored);
    EXPECT_TRUE(r.rhetoricFeaturesDone && r.organizationFeaturesDone);
    EXPECT_EQ(r.contentScore, r.contentSimilarity);
    EXPECT_DOUBLE_EQ(r.finalScore, r.weightedTotal + r.lengthPenalty);
    EXPECT_EQ(doc->GetUnscoredCount(), 0);
    EXPECT_EQ(view.Cell(0, MemoryListView::kTotal), ScoreCellText(r.finalScore));
    EXPECT_EQ(SjisToUtf8(view.Cell(0, MemoryListView::kStatus)), "済");
}

TEST_F(DocumentTest, OnTopicAnswersScoreHigherOnContent) {
    UseTinyModel();
    SetQuestion(questionPath);
    Add(onTopic);
    Add(offTopic);
    Add(questionPath);
    doc->ScoreEssay(0);
    doc->ScoreEssay(1);
    doc->ScoreEssay(2);
    EXPECT_GT(doc->GetAnswer(0).contentScore, 0.9);
    EXPECT_LE(doc->GetAnswer(1).contentScore, 0.5);  // class 2
    EXPECT_NEAR(doc->GetAnswer(2).contentScore, 1.0, 1e-9);
    EXPECT_NE(SjisToUtf8(doc->GetAnswer(1).commentText).find("質問文との関係が希薄"), std::string::npos);
}

TEST_F(DocumentTest, WithoutQuestionTheUserIsAskedOncePerRun) {
    Add(onTopic);
    Add(offTopic);
    doc->ScoreSelected({0, 1});
    ASSERT_EQ(person.boxes.size(), 1u);
    const MessageBoxRequest& box = person.boxes[0];
    EXPECT_EQ(SjisToUtf8(box.text),
              "設問文ファイルが指定されていません。評価を継続しますか？\n OK ... 処理継続\n Cancel ... 処理中断。");
    EXPECT_EQ(box.caption, "Tavi");
    EXPECT_EQ(box.buttons, MessageButtons::kOkCancel);
    EXPECT_EQ(box.icon, MessageIcon::kQuestion);
    EXPECT_EQ(box.defaultButton, 1);
    for (int i = 0; i < 2; ++i) {
        EssayRecord r = doc->GetAnswer(i);
        EXPECT_EQ(r.status, kStatusUnscored);
        EXPECT_TRUE(r.rhetoricScored);
        EXPECT_FALSE(view.Cell(i, MemoryListView::kRhetoric).empty());
        EXPECT_TRUE(view.Cell(i, MemoryListView::kTotal).empty());
    }
    EXPECT_EQ(doc->GetUnscoredCount(), 2);
    EXPECT_FALSE(DocAccess::NoQuestionAccepted(*doc));

    // A later run asks again; Cancel stops it after the first answer.
    person.answers = {MessageAnswer::kCancel};
    view.ClearEvents();
    doc->ScoreSelected({0, 1});
    EXPECT_EQ(person.boxes.size(), 2u);
    EXPECT_TRUE(DocAccess::StopRequested(*doc));
    std::vector<std::string> events = view.Events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back(), "status 0 0");
    for (const std::string& e : events) EXPECT_EQ(e.find(" 0"), e.find(' ')) << "another answer was touched: " << e;
}

TEST_F(DocumentTest, KeptScoresStillShowTheirComments) {
    Add(offTopic);
    doc->ScoreSelected({0});  // no question: rhetoric and organization kept, status 0
    std::string kept = doc->GetAnswer(0).commentText;
    ASSERT_FALSE(kept.empty());
    UseTinyModel();
    SetQuestion(questionPath);
    doc->ScoreEssay(0);
    EssayRecord r = doc->GetAnswer(0);
    EXPECT_EQ(r.status, kStatusScored);
    EXPECT_EQ(r.commentText.substr(0, kept.size()), kept);
    EXPECT_GT(r.commentText.size(), kept.size());  // and the content comment after them
}

TEST_F(DocumentTest, DeletedAnswerFileIsScoredAsEmptyText) {
    UseTinyModel();
    SetQuestion(questionPath);
    std::string path = WriteTempFile("gone.txt", "すぐに消える答案です。");
    Add(path);
    unlink(path.c_str());
    doc->ScoreEssay(0);
    EssayRecord r = doc->GetAnswer(0);
    EXPECT_EQ(r.status, kStatusScored);
    EXPECT_EQ(r.textLength, 3);  // the single end-of-line row
    EXPECT_EQ(r.contentScore, 0);
    EXPECT_NE(SjisToUtf8(r.commentText).find("白紙答案"), std::string::npos);
}

TEST_F(DocumentTest, UnreadableQuestionKeepsPathAndVectorInAgreement) {
    UseTinyModel();
    SetQuestion(questionPath);
    ASSERT_TRUE(doc->HasQuestionVector());
    person.boxes.clear();
    SetQuestion(dir + "/no-such-question.txt");
    EXPECT_EQ(doc->GetQuestionPath(), Sjis(questionPath));
    EXPECT_TRUE(doc->HasQuestionVector());
    ASSERT_EQ(person.boxes.size(), 1u);
    EXPECT_NE(person.BoxTexts()[0].find("no-such-question.txt"), std::string::npos);
}

TEST_F(DocumentTest, ChangingTheQuestionRescoresContentOfScoredAnswers) {
    UseTinyModel();
    SetQuestion(questionPath);
    Add(onTopic);
    doc->ScoreEssay(0);
    double similarity = doc->GetAnswer(0).contentSimilarity;
    view.ClearEvents();
    SetQuestion(offTopic);
    EXPECT_EQ(view.Events(), (std::vector<std::string>{"content 0", "penalty 0", "total 0", "status 0 4"}));
    EXPECT_EQ(doc->GetAnswer(0).contentSimilarity, similarity);  // not measured again
}

TEST_F(DocumentTest, NewRatiosReplaceCommentsAndTotals) {
    UseTinyModel();
    SetQuestion(questionPath);
    Add(offTopic);
    doc->ScoreEssay(0);
    EssayRecord before = doc->GetAnswer(0);
    person.detailDialog = [](ScoringParams& p) {
        p.vocabularyDiversityWeight = 0.7;
        p.kanaKanjiRatioWeight = 0.6;
        return true;
    };
    view.ClearEvents();
    doc->OnParamDetail();
    EssayRecord after = doc->GetAnswer(0);
    EXPECT_EQ(view.Events(), (std::vector<std::string>{"rhetoric 0", "penalty 0", "total 0"}));
    // The comment text equals that of a fresh scoring: the same lines, not twice.
    EXPECT_EQ(after.commentText, before.commentText);
    EXPECT_NE(after.rhetoricScore, before.rhetoricScore);
    EXPECT_DOUBLE_EQ(after.weightedTotal,
                     after.rhetoricScore * 5 + after.organizationScore * 2 + after.contentScore * 3);
    EXPECT_DOUBLE_EQ(after.finalScore, after.weightedTotal + after.lengthPenalty);

    // OK without a change re-scores nothing; Cancel changes nothing.
    view.ClearEvents();
    person.detailDialog = [](ScoringParams&) { return true; };
    doc->OnParamDetail();
    person.detailDialog = [](ScoringParams& p) {
        p.cueWordWeight = 9;
        return false;
    };
    doc->OnParamDetail();
    EXPECT_TRUE(view.Events().empty());
    EXPECT_EQ(doc->GetParams().cueWordWeight, 0.5);
}

TEST_F(DocumentTest, NewWeightsOrExpectedLengthRecomputeTotals) {
    UseTinyModel();
    SetQuestion(questionPath);
    Add(onTopic);
    doc->ScoreEssay(0);
    person.questionDialog = [&](std::string&, ScoringParams& p) {
        p.contentWeight = 10;
        p.expectedLength = 0;
        p.paragraphMode = 1;
        return true;
    };
    view.ClearEvents();
    doc->OnQuestionSettings();
    EXPECT_EQ(view.Events(), (std::vector<std::string>{"penalty 0", "total 0"}));
    EssayRecord r = doc->GetAnswer(0);
    EXPECT_EQ(r.lengthPenalty, 0);  // an expected length of 0 gives no penalty
    EXPECT_DOUBLE_EQ(r.finalScore, r.rhetoricScore * 5 + r.organizationScore * 2 + r.contentScore * 10);
    EXPECT_EQ(doc->GetParams().paragraphMode, 1);
}

TEST_F(DocumentTest, ModelThatCannotBeUsedLeavesTheQuestionUnprepared) {
    person.detailDialog = [&](ScoringParams& p) {
        p.modelPath = Sjis(dir + "/missing/none.tcf");
        return true;
    };
    doc->OnParamDetail();
    ASSERT_FALSE(person.boxes.empty());
    EXPECT_NE(person.BoxTexts()[0].find("none.tcf"), std::string::npos);
    SetQuestion(questionPath);
    EXPECT_FALSE(doc->HasQuestionVector());
    EXPECT_EQ(doc->GetQuestionPath(), "");
    EXPECT_FALSE(doc->OnUpdateScoreStart());
}

// A front end without dialogs: the calls return what the dialogs' path shows, and show nothing.
TEST_F(DocumentTest, SettingsCallsReturnMessagesAndCauses) {
    ScoringParams values = doc->GetParams();
    values.modelPath = Sjis(dir + "/missing/none.tcf");
    DocResult model = doc->ApplyParamDetail(values);
    ASSERT_EQ(model.messages.size(), 1u);
    EXPECT_NE(U(model.messages[0].text).find("none.tcf"), std::string::npos);
    EXPECT_FALSE(model.error);

    values.modelPath = Sjis(dir + "/model/tiny.tcf");
    EXPECT_TRUE(doc->ApplyParamDetail(values).messages.empty());
    values.expectedLength = 400;
    DocResult missing = doc->ApplyQuestionSettings(Sjis(dir + "/none.txt"), values);
    ASSERT_TRUE(missing.error);
    EXPECT_EQ(U(*missing.error), "設問文ファイル : \n " + dir +
                                     "/none.txt \n を読み込めないか、文章が含まれていません。\n原因 : " + dir +
                                     "/none.txt: cannot be opened (No such file or directory)");
    EXPECT_EQ(doc->GetQuestionPath(), "");
    EXPECT_EQ(doc->GetParams().expectedLength, 400);  // taken although the question was refused

    EXPECT_FALSE(doc->ApplyQuestionSettings(Sjis(questionPath), values).error);
    EXPECT_TRUE(doc->HasQuestionVector());
    EXPECT_TRUE(person.boxes.empty());
}

}  // namespace
}  // namespace tavi::test
