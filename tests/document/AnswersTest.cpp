#include <cstdlib>

#include "document/DocumentFixture.h"
#include "document/ParamArchive.h"

namespace tavi::test {
namespace {

TEST_F(DocumentTest, FreshDocumentHoldsTheDefaults) {
    ScoringParams p = doc->GetParams();
    EXPECT_EQ(p.expectedLength, 800.0);
    EXPECT_EQ(p.modelPath, "yoroku2000.tcf");
    double rhetoric = p.sentenceLengthMedianWeight + p.phraseLengthMedianWeight + p.bunsetsuPerPhraseMedianWeight +
                      p.sentenceLengthMaxWeight + p.phraseLengthMaxWeight + p.bunsetsuPerPhraseMaxWeight +
                      p.vocabularyDiversityWeight + p.kanaKanjiRatioWeight + p.longReadingKanjiWeight +
                      p.passiveRateWeight + p.attributiveSentencesWeight + p.continuativeSentencesWeight;
    EXPECT_NEAR(rhetoric, 1.0, 1e-12);
    EXPECT_EQ(p.cueWordWeight + p.demonstrativeWeight, 1.0);
    EXPECT_TRUE(doc->IsAnalyzerLoaded());
    EXPECT_FALSE(doc->HasQuestionVector());
    EXPECT_FALSE(doc->OnUpdateScoreStart());
    EXPECT_FALSE(doc->OnUpdateSaveResults());
    EXPECT_TRUE(doc->OnUpdateDeleteSelected());
    EXPECT_EQ(person.waitCursorDepth, 0);
    EXPECT_GE(person.waitCursorShown, 1);
}

TEST(DocumentStartUp, MissingAnalyserIsReportedOnce) {
    setenv("TAVI_ANALYZER_LIBRARY", "libtavi-no-such-analyzer.so", 1);
    FakePerson person;
    {
        CTaviDoc doc(person);
        EXPECT_FALSE(doc.IsAnalyzerLoaded());
        // Starting a run does nothing without the analyser.
        doc.OnScoreStart();
        EXPECT_FALSE(doc.IsRunning());
    }
    unsetenv("TAVI_ANALYZER_LIBRARY");
    ASSERT_FALSE(person.boxes.empty());
    const MessageBoxRequest& box = person.boxes.back();
    EXPECT_EQ(SjisToUtf8(box.text), "libchasen.dllのロードに失敗しました。");
    EXPECT_EQ(SjisToUtf8(box.caption), "エラー");
    EXPECT_EQ(box.icon, MessageIcon::kError);
    EXPECT_EQ(box.buttons, MessageButtons::kOk);
    EXPECT_FALSE(box.overMainWindow);
    EXPECT_EQ(person.waitCursorDepth, 0);
}

TEST_F(DocumentTest, AddingAnswersNumbersThemAndRefusesDuplicates) {
    std::string a = WriteTempFile("a.txt", "A"), b = WriteTempFile("b.txt", "B"), c = WriteTempFile("c.txt", "C");
    person.filesToOpen = {a, b, c};
    doc->OnAddAnswers();
    EXPECT_EQ(doc->GetAnswerCount(), 3);
    EXPECT_EQ(person.lastOpenRequest.defaultExtension, "txt");
    EXPECT_TRUE(person.boxes.empty());
    EXPECT_EQ(view.Cell(1, MemoryListView::kNumber), "2");
    EXPECT_EQ(view.Cell(1, MemoryListView::kTitle), "b.txt");
    EXPECT_EQ(SjisToUtf8(view.Cell(1, MemoryListView::kStatus)), "未採点");
    EXPECT_EQ(view.Cell(1, MemoryListView::kPath), b);

    doc->OnAddAnswers();
    EXPECT_EQ(doc->GetAnswerCount(), 3);
    ASSERT_EQ(person.boxes.size(), 1u);
    EXPECT_EQ(person.BoxTexts()[0], "以下はリスト内に既に存在します。\n" + a + "\n" + b + "\n" + c + "\n");
    EXPECT_EQ(SjisToUtf8(person.boxes[0].caption), "警告");
    EXPECT_EQ(person.boxes[0].icon, MessageIcon::kExclamation);

    // Numbers are never given twice.
    EXPECT_TRUE(doc->RemoveAnswer(1));
    view.RemoveRow(1);
    EXPECT_FALSE(doc->ContainsPath(b));
    EXPECT_FALSE(doc->RemoveAnswer(2));
    EXPECT_FALSE(doc->RemoveAnswer(-1));
    Add(WriteTempFile("d.txt", "D"));
    EXPECT_EQ(doc->GetAnswer(2).id, 4);
    EXPECT_EQ(doc->GetUnscoredCount(), 3);
}

TEST_F(DocumentTest, FileNamesWithoutShiftJisFormAreRefusedWithAMessage) {
    person.filesToOpen = {WriteTempFile("絵😀.txt", "x")};
    doc->OnAddAnswers();
    EXPECT_EQ(doc->GetAnswerCount(), 0);
    ASSERT_EQ(person.boxes.size(), 1u);
    EXPECT_NE(person.BoxTexts()[0].find("Shift_JIS"), std::string::npos);
}

TEST_F(DocumentTest, AtMost65535NumbersAreGiven) {
    for (int i = 0; i < 65535; ++i) ASSERT_TRUE(doc->AddAnswer("/answers/" + std::to_string(i)));
    EXPECT_FALSE(doc->AddAnswer("/answers/one-more"));
    EXPECT_TRUE(doc->RemoveAnswer(0));
    view.RemoveRow(0);
    EXPECT_FALSE(doc->AddAnswer("/answers/one-more"));
    EXPECT_EQ(doc->GetAnswerCount(), 65534);
}

TEST_F(DocumentTest, CommentTextFollowsTheStatus) {
    Add(onTopic);
    EXPECT_EQ(SjisToUtf8(doc->GetCommentText(0)), "未評価です。");
    EXPECT_EQ(doc->GetCommentText(5), "");
    UseTinyModel();
    SetQuestion(questionPath);
    doc->ScoreEssay(0);
    EssayRecord r = doc->GetAnswer(0);
    ASSERT_EQ(r.status, kStatusScored);
    EXPECT_EQ(doc->GetCommentText(0), r.commentText.empty() ? Sjis("コメントはありません。") : r.commentText);
}

}  // namespace
}  // namespace tavi::test
