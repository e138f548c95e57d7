#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <filesystem>

#include "content/ContentModel.h"
#include "fakes/TestSupport.h"
#include "tools/ModelFiles.h"

namespace tavi {
namespace {

using test::ReadFileBytes;
using test::S;
using test::TempDir;

int32_t Int32At(const std::string& bytes, size_t offset) {
    uint32_t u = 0;
    for (int i = 3; i >= 0; --i) u = u << 8 | static_cast<unsigned char>(bytes[offset + static_cast<size_t>(i)]);
    return static_cast<int32_t>(u);
}

double DoubleAt(const std::string& bytes, size_t offset) {
    uint64_t u = 0;
    for (int i = 7; i >= 0; --i) u = u << 8 | static_cast<unsigned char>(bytes[offset + static_cast<size_t>(i)]);
    return std::bit_cast<double>(u);
}

TEST(ModelFileNamesFor, DerivesDictionaryAndMatrixNamesFromTheSettingsName) {
    ModelFileNames names;
    std::string error;
    ASSERT_TRUE(ModelFileNamesFor("out/models/essays.tcf", names, error)) << error;
    EXPECT_EQ(names.settings, "out/models/essays.tcf");
    EXPECT_EQ(names.dictionary, "out/models/essays.dic");
    EXPECT_EQ(names.matrix, "out/models/essays.siv");

    ASSERT_TRUE(ModelFileNamesFor("plain", names, error)) << error;
    EXPECT_EQ(names.dictionary, "plain.dic");
    EXPECT_EQ(names.matrix, "plain.siv");
}

TEST(ModelFileNamesFor, RefusesNamesASettingsLineCannotHold) {
    ModelFileNames names;
    for (const char* path : {"out/my model.tcf", "out/a#b.tcf", "out/50%.tcf", "out/tab\there.tcf", "out/"}) {
        std::string error;
        EXPECT_FALSE(ModelFileNamesFor(path, names, error)) << path;
        EXPECT_FALSE(error.empty()) << path;
    }
    // A blank in the folder is no problem: the settings file names its files without a folder.
    std::string error;
    EXPECT_TRUE(ModelFileNamesFor("my models/x.tcf", names, error)) << error;
}

class WriteContentModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(ModelFileNamesFor(TempDir() + "/small.tcf", names, error)) << error;
        // K = 2, N = 3: word w of dimension d is 10 * d + w; scaling values 7.5 and 0.25.
        termMatrix.resize(3, 2);
        termMatrix << 11, 21, 12, 22, 13, 23;
        scaling.resize(2);
        scaling << 7.5, 0.25;
    }
    ModelFileNames names;
    std::vector<std::string> words = {S("けーき"), S("東京"), S("本")};
    Eigen::MatrixXd termMatrix;
    Eigen::VectorXd scaling;
};

TEST_F(WriteContentModelTest, WritesTheThreeFormats) {
    std::string error;
    ASSERT_TRUE(WriteContentModel(names, words, termMatrix, scaling, {"first remark", "second"}, error)) << error;

    EXPECT_EQ(ReadFileBytes(names.dictionary), S("けーき") + "\n" + S("東京") + "\n" + S("本") + "\n");
    EXPECT_EQ(ReadFileBytes(names.settings), "# first remark\n# second\ndicfile small.dic\nsivfile small.siv\n");

    std::string matrix = ReadFileBytes(names.matrix);
    ASSERT_EQ(matrix.size(), 8u + 8u * 2u * (3u + 1u));
    EXPECT_EQ(Int32At(matrix, 0), 2);
    EXPECT_EQ(Int32At(matrix, 4), 3);
    const double expected[] = {11, 12, 13, 21, 22, 23, 7.5, 0.25};  // dimension after dimension, then scaling
    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(DoubleAt(matrix, 8 + 8 * i), expected[i]) << "double " << i;

    for (const char* leftover : {"small.tcf.tmp", "small.dic.tmp", "small.siv.tmp"})
        EXPECT_FALSE(std::filesystem::exists(TempDir() + "/" + leftover)) << leftover;
}

TEST_F(WriteContentModelTest, TheScorersLoaderReadsWhatWasWritten) {
    std::string error;
    ASSERT_TRUE(WriteContentModel(names, words, termMatrix, scaling, {}, error)) << error;

    ContentModel model;
    EXPECT_TRUE(model.LoadSettings(names.settings));
    EXPECT_TRUE(model.messages.empty()) << test::U(model.messages.front().text);
    EXPECT_EQ(model.wordCount, 3);
    EXPECT_EQ(model.dimensionCount, 2);
    EXPECT_EQ(model.LookUp(S("けーき")), 1);
    EXPECT_EQ(model.LookUp(S("本")), 3);
    for (long w = 1; w <= 3; ++w)
        for (long d = 1; d <= 2; ++d) EXPECT_EQ(model.termMatrix[w][d], 10.0 * static_cast<double>(d) + w);
    EXPECT_EQ(model.scaleVector[1], 7.5);
    EXPECT_EQ(model.scaleVector[2], 0.25);
}

TEST_F(WriteContentModelTest, RefusesInconsistentShapes) {
    std::string error;
    std::vector<std::string> twoWords = {"a", "b"};
    EXPECT_FALSE(WriteContentModel(names, twoWords, termMatrix, scaling, {}, error));
    EXPECT_NE(error.find("small.siv"), std::string::npos) << error;
    Eigen::VectorXd threeValues = Eigen::VectorXd::Ones(3);
    EXPECT_FALSE(WriteContentModel(names, words, termMatrix, threeValues, {}, error));
    EXPECT_FALSE(std::filesystem::exists(names.settings));
}

TEST_F(WriteContentModelTest, NamesTheFileThatCannotBeWritten) {
    ModelFileNames missing;
    std::string error;
    ASSERT_TRUE(ModelFileNamesFor(TempDir() + "/no/such/folder/m.tcf", missing, error));
    EXPECT_FALSE(WriteContentModel(missing, words, termMatrix, scaling, {}, error));
    EXPECT_NE(error.find("m.dic"), std::string::npos) << error;
    EXPECT_NE(error.find("cannot be created"), std::string::npos) << error;
}

TEST_F(WriteContentModelTest, ReplacesAnEarlierModel) {
    std::string error;
    ASSERT_TRUE(WriteContentModel(names, words, termMatrix, scaling, {}, error)) << error;
    std::vector<std::string> one = {"x"};
    Eigen::MatrixXd single = Eigen::MatrixXd::Constant(1, 1, 0.5);
    Eigen::VectorXd unit = Eigen::VectorXd::Ones(1);
    ASSERT_TRUE(WriteContentModel(names, one, single, unit, {}, error)) << error;
    EXPECT_EQ(ReadFileBytes(names.dictionary), "x\n");
    EXPECT_EQ(ReadFileBytes(names.matrix).size(), 8u + 8u * 1u * 2u);
}

}  // namespace
}  // namespace tavi
