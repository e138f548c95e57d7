#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "document/DocumentFixture.h"

namespace tavi::test {
namespace {

TEST_F(DocumentTest, AnswerReplacedByAFolderIsScoredAsEmptyText) {
    UseTinyModel();
    SetQuestion(questionPath);
    std::string path = WriteTempFile("soon-a-folder.txt", "答案。");
    Add(path);
    std::filesystem::remove(path);
    std::filesystem::create_directory(path);
    doc->ScoreEssay(0);
    EssayRecord r = doc->GetAnswer(0);
    EXPECT_EQ(r.status, kStatusScored);
    EXPECT_EQ(r.textLength, 3);
}

TEST_F(DocumentTest, ModelFilesRemovedOrTruncatedBetweenRuns) {
    UseTinyModel();
    SetQuestion(questionPath);
    Add(onTopic);
    doc->ScoreEssay(0);
    double before = doc->GetAnswer(0).contentScore;

    // A copy of the model whose matrix is gone: the loader names it, the question keeps its vector.
    std::filesystem::copy(dir + "/model", dir + "/broken");
    std::filesystem::remove(dir + "/broken/weights.siv");
    person.boxes.clear();
    person.detailDialog = [&](ScoringParams& p) {
        p.modelPath = Sjis(dir + "/broken/tiny.tcf");
        return true;
    };
    doc->OnParamDetail();
    ASSERT_FALSE(person.boxes.empty());
    EXPECT_NE(person.BoxTexts()[0].find("weights.siv"), std::string::npos);
    EXPECT_TRUE(doc->HasQuestionVector());
    Add(offTopic);
    doc->ScoreEssay(1);
    EXPECT_EQ(doc->GetAnswer(1).status, kStatusScored);
    EXPECT_EQ(doc->GetAnswer(0).contentScore, before);

    // A truncated matrix loads with the short-file warning; missing values read as 0.
    std::filesystem::copy(dir + "/model", dir + "/short");
    std::filesystem::resize_file(dir + "/short/weights.siv", 40);
    person.boxes.clear();
    person.detailDialog = [&](ScoringParams& p) {
        p.modelPath = Sjis(dir + "/short/tiny.tcf");
        return true;
    };
    doc->OnParamDetail();
    ASSERT_FALSE(person.boxes.empty());
    EXPECT_NE(person.BoxTexts()[0].find("内容評価用逆行列データサイズが異なります"), std::string::npos);
    Add(questionPath);
    doc->ScoreEssay(2);
    EXPECT_EQ(doc->GetAnswer(2).status, kStatusScored);
    EXPECT_FALSE(std::isnan(doc->GetAnswer(2).finalScore));
}

TEST_F(DocumentTest, The65536thAnswerIsRefusedWithTheWarning) {
    for (int i = 0; i < 65535; ++i) ASSERT_TRUE(doc->AddAnswer("/answers/" + std::to_string(i)));
    person.filesToOpen = {onTopic};
    doc->OnAddAnswers();
    EXPECT_EQ(doc->GetAnswerCount(), 65535);
    ASSERT_EQ(person.boxes.size(), 1u);
    EXPECT_EQ(person.BoxTexts()[0], "以下はリスト内に既に存在します。\n" + onTopic + "\n");
}

// A file system with almost no room left, mounted for the test (needs root; skipped otherwise).
class FullDiskTest : public DocumentTest {
protected:
    void SetUp() override {
        DocumentTest::SetUp();
        disk = dir + "/disk";
        std::filesystem::create_directory(disk);
        if (mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k") != 0) GTEST_SKIP() << "cannot mount a tmpfs here";
        mounted = true;
        // Leave a little under one page free.
        std::string filler(60 * 1024, 'x');
        WriteTempFile("disk/filler", filler);
    }
    void TearDown() override {
        if (mounted) umount2(disk.c_str(), MNT_DETACH);
        DocumentTest::TearDown();
    }
    std::vector<std::string> Listing() {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(disk)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string disk;
    bool mounted = false;
};

TEST_F(FullDiskTest, ResultsAndParameterFilesFailWholeAndLeaveNothingHalfWritten) {
    UseTinyModel();
    SetQuestion(questionPath);
    for (int i = 0; i < 60; ++i) Add(WriteTempFile("a" + std::to_string(i) + ".txt", "環境問題と社会。"));
    doc->ScoreSelected([] {
        std::vector<int> all(60);
        for (int i = 0; i < 60; ++i) all[i] = i;
        return all;
    }());
    ASSERT_GT(doc->ResultsFileBytes().size(), 8192u);
    std::string old = "the results of yesterday";
    std::string results = disk + "/results.csv";
    std::ofstream(results) << old;

    person.fileToSave = results;
    doc->OnSaveResults();
    ASSERT_EQ(person.boxes.size(), 1u);
    EXPECT_NE(person.BoxTexts()[0].find("results.csv"), std::string::npos);
    EXPECT_TRUE(doc->OnUpdateSaveResults());
    EXPECT_EQ(ReadFileBytes(results), old);

    std::string error;
    EXPECT_FALSE(doc->SaveParameterFile(disk + "/job.prm", error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(Listing(), (std::vector<std::string>{"filler", "results.csv"}));
}

}  // namespace
}  // namespace tavi::test
