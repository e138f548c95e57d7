#include <algorithm>
#include <atomic>
#include <future>

#include "document/DocumentFixture.h"

namespace tavi::test {
namespace {

class WorkerTest : public DocumentTest {
protected:
    void SetUp() override {
        DocumentTest::SetUp();
        UseTinyModel();
        SetQuestion(questionPath);
        for (int i = 0; i < 5; ++i) Add(WriteTempFile("answer" + std::to_string(i) + ".txt", "環境は社会の問題だ。"));
    }
    int ScoredCount() {
        int n = 0;
        for (int i = 0; i < doc->GetAnswerCount(); ++i) n += doc->GetAnswer(i).status == kStatusScored;
        return n;
    }
};

TEST_F(WorkerTest, StopThenStartScoresWhatIsLeft) {
    EXPECT_TRUE(doc->OnUpdateScoreStart());
    EXPECT_FALSE(doc->OnUpdateScoreStop());
    view.onStatus = [&](int index, EssayStatus status) {
        if (index == 1 && status == kStatusScored) doc->OnScoreStop();
    };
    doc->OnScoreStart();
    doc->WaitForRun();
    EXPECT_EQ(ScoredCount(), 2);
    EXPECT_EQ(doc->GetAnswer(2).status, kStatusUnscored);
    EXPECT_EQ(doc->GetUnscoredCount(), 3);
    EXPECT_TRUE(doc->OnUpdateScoreStart());

    view.onStatus = nullptr;
    view.ClearEvents();
    doc->OnScoreStart();
    doc->WaitForRun();
    EXPECT_EQ(ScoredCount(), 5);
    EXPECT_EQ(view.Events().front(), "status 2 1");
    EXPECT_FALSE(doc->OnUpdateScoreStart());
    EXPECT_TRUE(doc->OnUpdateSaveResults());
}

TEST_F(WorkerTest, CommandStatesDuringARun) {
    std::promise<void> inRun, checked;
    std::shared_future<void> checkedFuture = checked.get_future().share();
    view.onStatus = [&, checkedFuture](int index, EssayStatus status) {
        if (index == 0 && status == kStatusAnalysing) {
            inRun.set_value();
            checkedFuture.wait();
        }
    };
    doc->OnScoreStart();
    inRun.get_future().wait();
    EXPECT_TRUE(doc->IsRunning());
    EXPECT_FALSE(doc->OnUpdateScoreStart());
    EXPECT_FALSE(doc->OnUpdateScoreSelected());
    EXPECT_TRUE(doc->OnUpdateScoreStop());
    EXPECT_FALSE(doc->OnUpdateDeleteSelected());
    EXPECT_FALSE(doc->OnUpdateSaveResults());
    doc->OnScoreStart();  // a second start is refused
    checked.set_value();
    doc->WaitForRun();
    EXPECT_FALSE(doc->IsRunning());
    EXPECT_EQ(ScoredCount(), 5);
    EXPECT_TRUE(doc->OnUpdateDeleteSelected());
}

TEST_F(WorkerTest, AnswerAddedDuringARunIsScoredByIt) {
    std::promise<void> inRun, added;
    std::shared_future<void> addedFuture = added.get_future().share();
    view.onStatus = [&, addedFuture](int index, EssayStatus status) {
        if (index == 0 && status == kStatusAnalysing) {
            inRun.set_value();
            addedFuture.wait();
        }
    };
    doc->OnScoreStart();
    inRun.get_future().wait();
    // Enough answers to move the array while the worker holds answer 0.
    for (int i = 0; i < 200; ++i) Add(WriteTempFile("late" + std::to_string(i) + ".txt", "遅れて届いた答案。"));
    added.set_value();
    doc->WaitForRun();
    EXPECT_EQ(ScoredCount(), 205);
    EXPECT_EQ(doc->GetUnscoredCount(), 0);
}

TEST_F(WorkerTest, QuestionChangedDuringARunAppliesBetweenAnswers) {
    std::promise<void> inRun;
    std::atomic<bool> signalled = false;
    view.onStatus = [&](int index, EssayStatus status) {
        if (index == 0 && status == kStatusScoring && !signalled.exchange(true)) inRun.set_value();
    };
    doc->OnScoreStart();
    inRun.get_future().wait();
    SetQuestion(offTopic);  // waits for the answer in progress, then applies before the next
    doc->WaitForRun();
    std::vector<std::string> events = view.Events();
    // The question changed between two answers: right after some answer k finished, every
    // answer scored so far was rescored (content, penalty, total, status), and only then did
    // answer k + 1 start. Which k depends on how fast this thread got there.
    auto done = std::find(events.begin(), events.end(), "status 0 4");
    ASSERT_NE(done, events.end());
    auto block = std::find(done + 1, events.end(), "content 0");
    ASSERT_NE(block, events.end());
    const std::string& before = *(block - 1);
    ASSERT_EQ(before.substr(0, 7), "status ") << before;
    ASSERT_EQ(before.back(), '4') << before;
    int k = std::stoi(before.substr(7));
    ASSERT_LE(static_cast<size_t>(block - events.begin()) + 4 * (k + 1) + (k < 4), events.size());
    for (int i = 0; i <= k; ++i) {
        std::string n = std::to_string(i);
        std::vector<std::string> rescore = {"content " + n, "penalty " + n, "total " + n, "status " + n + " 4"};
        EXPECT_TRUE(std::equal(rescore.begin(), rescore.end(), block + 4 * i)) << "answer " << i;
    }
    if (k < 4) {
        EXPECT_EQ(*(block + 4 * (k + 1)), "status " + std::to_string(k + 1) + " 1");
    }
    EXPECT_EQ(doc->GetQuestionPath(), Sjis(offTopic));
    EXPECT_EQ(ScoredCount(), 5);
}

TEST_F(WorkerTest, SelectionRunScoresOnlyUnscoredSelectedAnswers) {
    doc->ScoreSelected({3, 1, 99});
    EXPECT_EQ(doc->GetAnswer(1).status, kStatusScored);
    EXPECT_EQ(doc->GetAnswer(3).status, kStatusScored);
    EXPECT_EQ(ScoredCount(), 2);
    view.ClearEvents();
    doc->ScoreSelected({1});
    EXPECT_TRUE(view.Events().empty());
    EXPECT_FALSE(doc->IsRunning());
}

TEST_F(WorkerTest, SettingsChosenWhileTheSameThreadScoresApplyAfterThatAnswer) {
    // A selection run processes events while it scores; a settings command arriving then
    // must not wait for itself.
    bool asked = false;
    view.onStatus = [&](int index, EssayStatus status) {
        if (index == 0 && status == kStatusScoring && !asked) {
            asked = true;
            SetQuestion(offTopic);
            EXPECT_EQ(doc->GetQuestionPath(), Sjis(questionPath));  // not yet
        }
    };
    doc->ScoreSelected({0, 1});
    EXPECT_TRUE(asked);
    EXPECT_EQ(doc->GetQuestionPath(), Sjis(offTopic));
    EXPECT_EQ(ScoredCount(), 2);
}

TEST_F(WorkerTest, EditorGetsTheUnquotedPathAsOneArgument) {
    std::string spaced = WriteTempFile("with space.txt", "x");
    Add(spaced);
    setenv("TAVI_EDITOR", "my-editor --wait", 1);
    doc->OpenInEditor(5);
    unsetenv("TAVI_EDITOR");
    doc->OpenInEditor(5);
    doc->OpenInEditor(42);
    ASSERT_EQ(person.started.size(), 2u);
    EXPECT_EQ(person.started[0], (std::vector<std::string>{"my-editor", "--wait", spaced}));
    EXPECT_EQ(person.started[1], (std::vector<std::string>{"xdg-open", spaced}));
}

}  // namespace
}  // namespace tavi::test
