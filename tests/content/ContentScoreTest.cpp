#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "content/ContentModel.h"
#include "content/ContentTestSupport.h"
#include "evaluation/EssayRecord.h"

namespace tavi {
namespace {

using test::DictionaryFile;
using test::MatrixFile;
using test::Row;
using test::S;
using test::U;
using test::WriteTempFile;

const char kGeneral[] = "名詞-一般";
const char kPlace[] = "名詞-固有名詞-地域-一般";
const char kSurname[] = "名詞-固有名詞-人名-姓";
const char kNumber[] = "名詞-数";
const char kPronoun[] = "名詞-代名詞-一般";

Row Noun(const std::string& surface, const char* pos = kGeneral) { return {surface, "", surface, pos, "", ""}; }
Row Verb(const std::string& surface) { return {surface, "", surface, "動詞-自立", "一段", "基本形"}; }

// The tiny model: words in key form with their weights in two dimensions, scaling (2, 4).
// The person name, the number and the pronoun carry large weights that must never count.
const std::vector<std::string> kWords = {"けーき", "りんご", "東京", "山田", "三", "彼", "う゛ぁいおりん", "うみ"};
const std::vector<double> kDimension1 = {1, 3, 0, 100, 100, 100, 0, -3};
const std::vector<double> kDimension2 = {2, 0, 5, 100, 100, 100, 8, 0};
const std::vector<double> kScale = {2, 4};

class ContentScoreTest : public ::testing::Test {
protected:
    void SetUp() override { LoadModel(static_cast<int32_t>(kWords.size())); }

    // Loads the tiny model with the first `rows` rows of its matrix.
    void LoadModel(int32_t rows) {
        std::vector<double> values(kDimension1.begin(), kDimension1.begin() + rows);
        values.insert(values.end(), kDimension2.begin(), kDimension2.begin() + rows);
        values.insert(values.end(), kScale.begin(), kScale.end());
        WriteTempFile("model/words.txt", DictionaryFile(kWords));
        WriteTempFile("model/weights.dat", MatrixFile(2, rows, values));
        model.LoadSettings(WriteTempFile("model/x.tcf", "dicfile words.txt\nsivfile weights.dat\n"));
        ASSERT_TRUE(model.dictionaryLoaded && model.matrixLoaded);
        model.messages.clear();
    }

    // The content vector of `table` as plain numbers.
    std::vector<double> ContentVector(const MorphemeTable& table) {
        DVector y = BuildContentVector(table, model);
        EXPECT_EQ(y.nl, 1);
        EXPECT_EQ(y.nh, model.dimensionCount);
        std::vector<double> result;
        for (long d = 1; d <= y.nh; ++d) result.push_back(y[d]);
        free_vector(y, 1, y.nh);
        return result;
    }

    // The similarity that ComputeContentSimilarity gives `answer` against `question`'s vector.
    double Similarity(const MorphemeTable& answer, const MorphemeTable& question) {
        DVector q = BuildContentVector(question, model);
        EssayRecord record;
        record.contentSimilarity = -1;
        record.ComputeContentSimilarity(answer, q, model);
        free_vector(q, 1, model.dimensionCount);
        return record.contentSimilarity;
    }

    ContentModel model;
};

TEST_F(ContentScoreTest, CountsContentNounsAndProjects) {
    MorphemeTable table =
        test::TableOf({Noun("ケーキ"), Verb("食べる"), Noun("ケーキ"), Noun("りんご"), Noun("東京", kPlace), Noun("猫"),
                       test::Eos(), Noun("山田", kSurname), Noun("三", kNumber), Noun("彼", kPronoun)});
    // Counts けーき 2, りんご 1, 東京 1: ((2*1 + 3 + 0) / 2, (2*2 + 0 + 5) / 4).
    EXPECT_EQ(ContentVector(table), (std::vector<double>{2.5, 2.25}));
}

TEST_F(ContentScoreTest, KatakanaFindsItsHiraganaKey) {
    EXPECT_EQ(ContentVector(test::TableOf({Noun("ケーキ")})), (std::vector<double>{0.5, 0.5}));
    EXPECT_EQ(ContentVector(test::TableOf({Noun("けーき")})), (std::vector<double>{0.5, 0.5}));
    // ヴ has no hiragana letter and is keyed as う゛.
    EXPECT_EQ(ContentVector(test::TableOf({Noun("ヴァイオリン")})), (std::vector<double>{0.0, 2.0}));
}

TEST_F(ContentScoreTest, NumbersPronounsAndNamesNeverCount) {
    MorphemeTable table = test::TableOf(
        {Noun("山田", kSurname), Noun("三", kNumber), Noun("彼", kPronoun), Verb("東京"), Noun("犬"), test::Eos()});
    EXPECT_EQ(ContentVector(table), (std::vector<double>{0.0, 0.0}));
    EXPECT_EQ(ContentVector(MorphemeTable()), (std::vector<double>{0.0, 0.0}));
}

TEST_F(ContentScoreTest, WordsBeyondTheLoadedRowsContributeNothing) {
    LoadModel(2);  // rows for けーき and りんご only
    ASSERT_EQ(model.wordCount, 8);
    ASSERT_EQ(model.matrixRowCount, 2);
    MorphemeTable table = test::TableOf({Noun("ウミ"), Noun("りんご"), Noun("東京", kPlace), Noun("ヴァイオリン")});
    EXPECT_EQ(ContentVector(table), (std::vector<double>{1.5, 0.0}));
}

TEST_F(ContentScoreTest, SimilarityOfKnownVectors) {
    MorphemeTable question = test::TableOf({Noun("ケーキ"), Noun("りんご"), Noun("東京", kPlace)});
    MorphemeTable doubled = test::TableOf(
        {Noun("東京", kPlace), Noun("ケーキ"), Noun("りんご"), Noun("りんご"), Noun("けーき"), Noun("東京", kPlace)});
    EXPECT_NEAR(Similarity(question, question), 1.0, 1e-12);
    EXPECT_NEAR(Similarity(doubled, question), 1.0, 1e-12);

    MorphemeTable apple = test::TableOf({Noun("りんご")});        // (1.5, 0)
    MorphemeTable tokyo = test::TableOf({Noun("東京", kPlace)});  // (0, 1.25)
    MorphemeTable sea = test::TableOf({Noun("うみ")});            // (-1.5, 0)
    EXPECT_EQ(Similarity(apple, tokyo), 0.0);
    EXPECT_EQ(Similarity(sea, apple), 0.0);                                      // opposite directions are clamped
    MorphemeTable both = test::TableOf({Noun("りんご"), Noun("東京", kPlace)});  // (1.5, 1.25)
    EXPECT_NEAR(Similarity(apple, both), std::sqrt(1.5 / std::hypot(1.5, 1.25)), 1e-12);
    // No known content noun: the zero vector.
    EXPECT_EQ(Similarity(test::TableOf({Noun("犬")}), question), 0.0);
}

TEST_F(ContentScoreTest, ZeroScalingValueGivesSimilarityZeroNotNan) {
    // A matrix file cut before its scaling values reads them as 0.
    std::vector<double> values(kDimension1.begin(), kDimension1.end());
    values.insert(values.end(), kDimension2.begin(), kDimension2.end());
    WriteTempFile("model/weights.dat", MatrixFile(2, static_cast<int32_t>(kWords.size()), values));
    model.LoadSettings(WriteTempFile("model/x.tcf", "dicfile words.txt\nsivfile weights.dat\n"));
    ASSERT_TRUE(model.matrixLoaded);
    MorphemeTable apple = test::TableOf({Noun("りんご")});
    EXPECT_EQ(Similarity(apple, apple), 0.0);
}

TEST_F(ContentScoreTest, QuestionVectorOfAnotherSizeGivesZero) {
    MorphemeTable answer = test::TableOf({Noun("りんご")});
    // Vectors from models of other sizes that would agree with the answer on the common part.
    for (long k : {1L, 3L}) {
        DVector q = vector(1, k);
        for (long d = 1; d <= k; ++d) q[d] = d == 1 ? 1.0 : 0.0;
        EssayRecord record;
        record.contentSimilarity = 0.9;
        record.ComputeContentSimilarity(answer, q, model);
        EXPECT_EQ(record.contentSimilarity, 0.0) << "K = " << k;
        free_vector(q, 1, k);
    }
    EssayRecord record;
    record.contentSimilarity = 0.9;
    record.ComputeContentSimilarity(answer, DVector{}, model);
    EXPECT_EQ(record.contentSimilarity, 0.0);
}

TEST_F(ContentScoreTest, UnusableModelLeavesTheSimilarity) {
    MorphemeTable answer = test::TableOf({Noun("りんご")});
    DVector q = BuildContentVector(answer, model);
    std::string dictionary = test::TempDir() + "/model/words.txt";

    // Only the matrix failed: nothing is read (the dictionary file is gone, yet no message).
    ASSERT_FALSE(model.LoadSettings(WriteTempFile("model/y.tcf", "sivfile nowhere.dat\n")));
    model.messages.clear();
    std::filesystem::remove(dictionary);
    EssayRecord record;
    record.contentSimilarity = 0.42;
    record.ComputeContentSimilarity(answer, q, model);
    EXPECT_EQ(record.contentSimilarity, 0.42);
    EXPECT_TRUE(model.messages.empty());

    // Both failed: the dictionary is read once more and reports its own failure.
    ASSERT_FALSE(model.LoadSettings(WriteTempFile("model/z.tcf", "dicfile words.txt\n")));
    ASSERT_FALSE(model.dictionaryLoaded);
    ASSERT_FALSE(model.matrixLoaded);
    model.messages.clear();
    record.ComputeContentSimilarity(answer, q, model);
    EXPECT_EQ(record.contentSimilarity, 0.42);
    ASSERT_EQ(model.messages.size(), 1u);
    EXPECT_EQ(U(model.messages[0].text), "内容評価用単語辞書 : \n " + U(model.dictionaryPath) + " \n が開けません。");

    // Once the file is back that read succeeds, but the flags stay as the last load left them.
    WriteTempFile("model/words.txt", DictionaryFile({"x", "y"}));
    model.messages.clear();
    record.ComputeContentSimilarity(answer, q, model);
    EXPECT_EQ(record.contentSimilarity, 0.42);
    EXPECT_TRUE(model.messages.empty());
    EXPECT_EQ(model.wordCount, 2);
    EXPECT_FALSE(model.dictionaryLoaded);
    free_vector(q, 1, 2);
}

TEST(ContentScoreClassTest, ClassifiesTheSimilarity) {
    const std::string somewhatOff = S("質問文との関係がやや希薄であるように見受けられます。") + "\n";
    const std::string off = S("質問文との関係が希薄であるように見受けられます。") + "\n";
    struct Case {
        double similarity;
        std::string comment;
    };
    const Case cases[] = {
        {1.0, ""}, {0.71, ""}, {0.7, somewhatOff}, {0.51, somewhatOff}, {0.5, off}, {0.2, off}, {0.0, off},
    };
    for (const Case& c : cases) {
        EssayRecord record;
        record.contentSimilarity = c.similarity;
        EXPECT_EQ(record.ScoreContent(), c.similarity);
        EXPECT_EQ(record.contentScore, c.similarity);
        EXPECT_EQ(U(std::string(record.AxisComments(EssayRecord::kContentComments))), U(c.comment)) << c.similarity;
        EXPECT_EQ(record.commentText, c.comment) << c.similarity;
    }
}

TEST(ContentScoreClassTest, ScoringAgainReplacesTheContentComment) {
    const std::string off = S("質問文との関係が希薄であるように見受けられます。") + "\n";
    EssayRecord record;
    record.AddComment(14, 1);  // an organization comment, which stays
    const std::string earlier = record.commentText;
    ASSERT_FALSE(earlier.empty());

    record.contentSimilarity = 0.3;
    record.ScoreContent();
    record.ScoreContent();
    EXPECT_EQ(record.commentText, earlier + off);

    record.contentSimilarity = 0.9;
    EXPECT_EQ(record.ScoreContent(), 0.9);
    EXPECT_EQ(record.commentText, earlier);
}

TEST_F(ContentScoreTest, AnswerWithoutKnownNounsScoresZero) {
    MorphemeTable question = test::TableOf({Noun("りんご")});
    DVector q = BuildContentVector(question, model);
    EssayRecord record;
    record.ComputeContentSimilarity(test::TableOf({Noun("犬"), Verb("走る")}), q, model);
    EXPECT_EQ(record.contentSimilarity, 0.0);
    EXPECT_EQ(record.ScoreContent(), 0.0);
    EXPECT_EQ(record.commentText, S("質問文との関係が希薄であるように見受けられます。") + "\n");
    free_vector(q, 1, 2);
}

}  // namespace
}  // namespace tavi
