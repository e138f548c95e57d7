// Runs the tavi-build-model program on small corpora written by the tests.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "content/ContentModel.h"
#include "fakes/TestSupport.h"

namespace tavi {
namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteTempFile;

struct RunResult {
    int exitCode = -1;
    std::string errors;  // what the program wrote to stderr
};

RunResult RunBuilder(const std::string& arguments) {
    std::string errorsPath = TempDir() + "/stderr.txt";
    std::string command =
        std::string("'") + TAVI_BIN_DIR + "/tavi-build-model' " + arguments + " >/dev/null 2>'" + errorsPath + "'";
    int status = std::system(command.c_str());
    RunResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.errors = ReadFileBytes(errorsPath);
    return result;
}

class BuildModelToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Three topics, three short documents each, and one document without text.
        const char* documents[] = {
            "野球の試合で投手が好投した。打者も本塁打を打った。",
            "野球の監督は投手を交代させた。試合は延長戦になった。",
            "投手と打者の対決が試合の見どころだった。野球場は満員だった。",
            "料理の基本は出汁だ。野菜と魚を煮る料理を作った。",
            "魚の料理には野菜と出汁が合う。台所で料理を習った。",
            "野菜を切って出汁で煮る。料理の味は魚で決まる。",
            "電車が駅に着いた。乗客は駅の改札を出た。",
            "駅前から電車とバスが出る。乗客が駅に集まった。",
            "電車の乗客は次の駅で降りた。バスも駅に着いた。",
            "\n\n",
        };
        for (size_t i = 0; i < std::size(documents); ++i)
            WriteTempFile("corpus/doc" + std::to_string(i) + ".txt", documents[i]);
        WriteTempFile("corpus/index.tsv", "file\ttitle\n");
        corpus = TempDir() + "/corpus";
        out = TempDir() + "/out";
        std::filesystem::create_directories(out);
    }

    // A line file of weather sentences, one document per line, the third without text.
    std::string Lines() {
        return WriteTempFile("weather.tsv",
                             "101\t雨の日は傘を持って駅へ行く。\n"
                             "102\t今日の天気は雨のち晴れ。\n"
                             "103\t\n"
                             "104\t晴れた日に傘はいらない。天気がよい。\n");
    }

    // The largest magnitude, in the first dimension, of the words' rows of a model's term matrix.
    static double FirstDimension(const ContentModel& model, std::initializer_list<const char*> words) {
        double largest = 0;
        for (const char* word : words) {
            int32_t row = model.LookUp(test::S(word));
            EXPECT_GT(row, 0) << word;
            if (row > 0) largest = std::max(largest, std::abs(model.termMatrix[row][1]));
        }
        return largest;
    }

    std::string corpus;
    std::string out;
};

TEST_F(BuildModelToolTest, TakesAFolderAndALineFileTogether) {
    const std::string lines = Lines();
    RunResult run = RunBuilder("--dims 3 --min-df 2 --output '" + out + "/mixed.tcf' '" + corpus + "' '" + lines + "'");
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_NE(run.errors.find("14 documents"), std::string::npos) << run.errors;
    EXPECT_NE(run.errors.find(lines + ":3 (id 103) holds no text"), std::string::npos) << run.errors;

    ContentModel model;
    ASSERT_TRUE(model.LoadSettings(out + "/mixed.tcf"));
    EXPECT_GT(model.LookUp(test::S("野球")), 0);  // from the folder
    EXPECT_GT(model.LookUp(test::S("傘")), 0);    // from two lines
    EXPECT_EQ(model.LookUp(test::S("今日")), 0);  // in one line only
    EXPECT_NE(ReadFileBytes(out + "/mixed.tcf").find("# Corpus: corpus, weather.tsv\n"), std::string::npos);
}

TEST_F(BuildModelToolTest, AnInputsWeightDecidesWhichFieldTheModelFollows) {
    // Baseball and weather share no word, so the one dimension kept belongs to one of them:
    // to the input whose documents weigh more, whichever that is.
    const std::string sports = TempDir() + "/sports";
    std::filesystem::create_directories(sports);
    for (const char* name : {"doc0.txt", "doc1.txt", "doc2.txt"})
        std::filesystem::copy_file(corpus + "/" + name, sports + "/" + name);
    const std::string inputs = " '" + sports + "' '" + Lines() + "'";
    for (const char* weights : {"1,20", "20,1"}) {
        SCOPED_TRACE(weights);
        const std::string model = out + "/w" + weights[0] + ".tcf";
        RunResult run = RunBuilder(std::string("-k 1 --min-df 2 -w ") + weights + " -o '" + model + "'" + inputs);
        ASSERT_EQ(run.exitCode, 0) << run.errors;
        EXPECT_NE(run.errors.find("(weight 20): "), std::string::npos) << run.errors;  // its share of the matrix
        ContentModel m;
        ASSERT_TRUE(m.LoadSettings(model));
        ASSERT_EQ(m.dimensionCount, 1);
        double baseball = FirstDimension(m, {"野球", "投手", "試合"});
        double weather = FirstDimension(m, {"傘", "天気", "雨"});
        if (weights[0] == '1') {
            EXPECT_GT(weather, 0.3);
            EXPECT_LT(baseball, 1e-6);
        } else {
            EXPECT_GT(baseball, 0.3);
            EXPECT_LT(weather, 1e-6);
        }
    }
}

TEST_F(BuildModelToolTest, WeightsOfOneChangeNothingAndEveryInputNeedsOne) {
    const std::string inputs = " '" + corpus + "' '" + Lines() + "'";
    std::filesystem::create_directories(out + "/plain");
    std::filesystem::create_directories(out + "/ones");
    ASSERT_EQ(RunBuilder("-q -k 3 --min-df 2 -o '" + out + "/plain/m.tcf'" + inputs).exitCode, 0);
    ASSERT_EQ(RunBuilder("-q -k 3 --min-df 2 -w 1,1 -o '" + out + "/ones/m.tcf'" + inputs).exitCode, 0);
    EXPECT_EQ(ReadFileBytes(out + "/plain/m.siv"), ReadFileBytes(out + "/ones/m.siv"));

    RunResult tooFew = RunBuilder("-q -w 2 -o '" + out + "/m.tcf'" + inputs);
    EXPECT_EQ(tooFew.exitCode, 1);
    EXPECT_NE(tooFew.errors.find("1 weights for 2 inputs"), std::string::npos) << tooFew.errors;
    EXPECT_NE(RunBuilder("-q -w 1,0 -o '" + out + "/m.tcf'" + inputs).exitCode, 0);
    EXPECT_NE(RunBuilder("-q -w 1,-1 -o '" + out + "/m.tcf'" + inputs).exitCode, 0);
    RunResult notANumber = RunBuilder("-q -w nan,1 -o '" + out + "/m.tcf'" + inputs);
    EXPECT_EQ(notANumber.exitCode, 1);
    EXPECT_NE(notANumber.errors.find("must be a number above 0"), std::string::npos) << notANumber.errors;
    EXPECT_FALSE(std::filesystem::exists(out + "/m.tcf"));
}

TEST_F(BuildModelToolTest, BuildsAModelThatTheScorerLoads) {
    RunResult run = RunBuilder("--dims 3 --min-df 2 --output '" + out + "/sports.tcf' '" + corpus + "'");
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_NE(run.errors.find("doc9.txt holds no text"), std::string::npos) << run.errors;

    ContentModel model;
    ASSERT_TRUE(model.LoadSettings(out + "/sports.tcf"));
    EXPECT_TRUE(model.messages.empty()) << test::U(model.messages.front().text);
    EXPECT_EQ(model.dimensionCount, 3);
    EXPECT_EQ(model.matrixRowCount, model.wordCount);
    EXPECT_GT(model.LookUp(test::S("野球")), 0);
    EXPECT_GT(model.LookUp(test::S("ばす")), 0);  // katakana バス, stored in key form
    EXPECT_EQ(model.LookUp(test::S("バス")), 0);
    EXPECT_EQ(model.LookUp(test::S("台所")), 0);  // in one document only
    for (long d = 1; d <= model.dimensionCount; ++d) {
        EXPECT_GT(model.scaleVector[d], 0.0);
        if (d > 1) {
            EXPECT_LE(model.scaleVector[d], model.scaleVector[d - 1]);
        }
    }
    EXPECT_NE(ReadFileBytes(out + "/sports.tcf").find("dicfile sports.dic\nsivfile sports.siv\n"), std::string::npos);
}

TEST_F(BuildModelToolTest, OutputDoesNotDependOnTheNumberOfWorkers) {
    std::filesystem::create_directories(out + "/one");
    std::filesystem::create_directories(out + "/three");
    const std::string inputs = " -w 1,0.5 '" + corpus + "' '" + Lines() + "'";
    ASSERT_EQ(RunBuilder("-q -k 4 --min-df 2 -j 1 -o '" + out + "/one/m.tcf'" + inputs).exitCode, 0);
    ASSERT_EQ(RunBuilder("-q -k 4 --min-df 2 -j 3 -o '" + out + "/three/m.tcf'" + inputs).exitCode, 0);
    for (const char* name : {"m.tcf", "m.dic", "m.siv"}) {
        std::string one = ReadFileBytes(out + "/one/" + name);
        EXPECT_FALSE(one.empty()) << name;
        EXPECT_EQ(one, ReadFileBytes(out + "/three/" + name)) << name;
    }
}

TEST_F(BuildModelToolTest, KeepsOnlyTheDimensionsTheCorpusHas) {
    RunResult run = RunBuilder("-q --dims 50 --min-df 2 -o '" + out + "/m.tcf' '" + corpus + "'");
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_NE(run.errors.find("of the 50 dimensions asked for are kept"), std::string::npos) << run.errors;
    ContentModel model;
    ASSERT_TRUE(model.LoadSettings(out + "/m.tcf"));
    EXPECT_GE(model.dimensionCount, 1);
    EXPECT_LE(model.dimensionCount, 9);  // nine documents with text
    for (long d = 1; d <= model.dimensionCount; ++d) EXPECT_GT(model.scaleVector[d], 0.0);
}

TEST_F(BuildModelToolTest, ExplainsWhyNoModelCanBeBuilt) {
    std::filesystem::create_directories(TempDir() + "/empty");
    RunResult empty = RunBuilder("-o '" + out + "/m.tcf' '" + TempDir() + "/empty'");
    EXPECT_EQ(empty.exitCode, 1);
    EXPECT_NE(empty.errors.find("holds no document"), std::string::npos) << empty.errors;

    RunResult rare = RunBuilder("-q --min-df 20 -o '" + out + "/m.tcf' '" + corpus + "'");
    EXPECT_EQ(rare.exitCode, 1);
    EXPECT_NE(rare.errors.find("no content noun occurs in at least 20 of the 9 documents"), std::string::npos)
        << rare.errors;

    WriteTempFile("blank/only.txt", "\n");
    RunResult blank = RunBuilder("-q -o '" + out + "/m.tcf' '" + TempDir() + "/blank'");
    EXPECT_EQ(blank.exitCode, 1);
    EXPECT_NE(blank.errors.find("none of the 1 documents holds text"), std::string::npos) << blank.errors;

    RunResult badName = RunBuilder("-q -o '" + out + "/my model.tcf' '" + corpus + "'");
    EXPECT_EQ(badName.exitCode, 1);
    EXPECT_NE(badName.errors.find("must not be empty or hold a blank"), std::string::npos) << badName.errors;

    EXPECT_NE(RunBuilder("-o '" + out + "/m.tcf'").exitCode, 0);  // no corpus folder
    EXPECT_NE(RunBuilder("-o '" + out + "/m.tcf' --dims 0 '" + corpus + "'").exitCode, 0);
    EXPECT_FALSE(std::filesystem::exists(out + "/m.tcf"));
}

}  // namespace
}  // namespace tavi
