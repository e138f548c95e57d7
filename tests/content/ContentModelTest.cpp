#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "content/ContentModel.h"
#include "content/ContentTestSupport.h"

namespace tavi {
namespace {

using test::DictionaryFile;
using test::MatrixFile;
using test::S;
using test::U;
using test::WriteTempFile;

// The 72-byte example model: K = 2, N = 3; doubles 0..2 are dimension 1 of words 1..3,
// doubles 3..5 dimension 2, doubles 6 and 7 the scaling values.
const std::vector<double> kExampleValues = {11, 21, 31, 12, 22, 32, 0.5, 0.25};

class ContentModelTest : public ::testing::Test {
protected:
    // Writes the example model (dictionary りんご, みかん, けーき) under `folder` of the temporary
    // folder and returns the settings path.
    std::string WriteExampleModel(const std::string& folder = "model") {
        WriteTempFile(folder + "/words.txt", DictionaryFile({"りんご", "みかん", "けーき"}));
        WriteTempFile(folder + "/weights.dat", MatrixFile(2, 3, kExampleValues));
        return WriteTempFile(folder + "/x.tcf", "dicfile words.txt\nsivfile weights.dat\n");
    }

    std::string Folder(const std::string& folder = "model") { return test::TempDir() + "/" + folder + "/"; }

    // The messages shown so far, in UTF-8 for readable failures; clears them.
    std::vector<std::string> TakeMessages() {
        std::vector<std::string> texts;
        for (const auto& m : model.messages) {
            EXPECT_EQ(m.caption, "Tavi");
            texts.push_back(U(m.text));
        }
        model.messages.clear();
        return texts;
    }

    void ExpectExampleMatrix() {
        ASSERT_EQ(model.dimensionCount, 2);
        ASSERT_EQ(model.matrixRowCount, 3);
        ASSERT_TRUE(model.termMatrix);
        ASSERT_TRUE(model.scaleVector);
        for (long w = 1; w <= 3; ++w)
            for (long d = 1; d <= 2; ++d) EXPECT_EQ(model.termMatrix[w][d], w * 10.0 + d) << w << "," << d;
        EXPECT_EQ(model.scaleVector[1], 0.5);
        EXPECT_EQ(model.scaleVector[2], 0.25);
    }

    ContentModel model;
};

TEST_F(ContentModelTest, StartsEmpty) {
    EXPECT_FALSE(model.dictionaryLoaded);
    EXPECT_FALSE(model.matrixLoaded);
    EXPECT_EQ(model.wordCount, 0);
    EXPECT_EQ(model.dimensionCount, 0);
    EXPECT_EQ(model.matrixRowCount, 0);
    EXPECT_TRUE(model.dictionaryPath.empty());
    EXPECT_TRUE(model.matrixPath.empty());
    EXPECT_TRUE(model.wordIndex.empty());
    EXPECT_FALSE(model.termMatrix);
    EXPECT_FALSE(model.scaleVector);
    EXPECT_EQ(model.LookUp(S("りんご")), 0);
}

TEST_F(ContentModelTest, LoadsTheExampleModel) {
    std::string settings = WriteExampleModel();
    EXPECT_TRUE(model.LoadSettings(settings));
    EXPECT_TRUE(TakeMessages().empty());
    EXPECT_TRUE(model.dictionaryLoaded);
    EXPECT_TRUE(model.matrixLoaded);
    EXPECT_EQ(model.dictionaryPath, Folder() + "words.txt");
    EXPECT_EQ(model.matrixPath, Folder() + "weights.dat");
    EXPECT_EQ(model.wordCount, 3);
    EXPECT_EQ(model.LookUp(S("りんご")), 1);
    EXPECT_EQ(model.LookUp(S("みかん")), 2);
    EXPECT_EQ(model.LookUp(S("けーき")), 3);
    EXPECT_EQ(model.LookUp(S("ケーキ")), 0);  // look-ups take the key form as it stands
    EXPECT_EQ(model.LookUp(""), 0);
    ExpectExampleMatrix();
}

TEST_F(ContentModelTest, SettingsKeysAndComments) {
    WriteTempFile("model/words.txt", DictionaryFile({"りんご", "みかん", "けーき"}));
    WriteTempFile("model/weights.dat", MatrixFile(2, 3, kExampleValues));
    struct Case {
        const char* name;
        std::string text;
    };
    const Case cases[] = {
        {"capitals", "DICFILE words.txt\nSivFile weights.dat\n"},
        {"keys that contain the word", "my_dicfile_path words.txt\nthe-sivfile weights.dat\n"},
        {"comments and blank lines",
         "# a model for tests\n\n   \n% another comment\n\tdicfile\twords.txt  # remark\n  sivfile weights.dat%x\n"},
        {"unknown keys ignored", "name test\ndicfile words.txt\nsivfile weights.dat\nversion 2\n"},
        {"one key naming both files", "dicfile_sivfile words.txt weights.dat\n"},
        {"CR LF line ends", "dicfile words.txt\r\nsivfile weights.dat\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string settings = WriteTempFile("model/x.tcf", c.text);
        ContentModel fresh;
        EXPECT_TRUE(fresh.LoadSettings(settings));
        EXPECT_TRUE(fresh.messages.empty());
        EXPECT_EQ(fresh.dictionaryPath, Folder() + "words.txt");
        EXPECT_EQ(fresh.matrixPath, Folder() + "weights.dat");
        EXPECT_EQ(fresh.wordCount, 3);
        EXPECT_EQ(fresh.dimensionCount, 2);
    }
}

TEST_F(ContentModelTest, FileNameAfterHashIsAComment) {
    std::string settings = WriteTempFile("model/x.tcf", "dicfile #words.txt\n");
    WriteTempFile("model/words.txt", "a\n");
    EXPECT_FALSE(model.LoadSettings(settings));
    // The folder itself is opened and fails with the dictionary message.
    EXPECT_EQ(model.dictionaryPath, Folder());
    EXPECT_FALSE(model.dictionaryLoaded);
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{"内容評価用単語辞書 : \n " + Folder() + " \n が開けません。"});
}

TEST_F(ContentModelTest, MatrixLineWithoutNameOpensTheFolder) {
    std::string settings = WriteTempFile("model/x.tcf", "sivfile\n");
    EXPECT_FALSE(model.LoadSettings(settings));
    EXPECT_EQ(model.matrixPath, Folder());
    EXPECT_FALSE(model.matrixLoaded);
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{"内容評価用逆行列データ : \n " + Folder() +
                                                       " \n が開けません。\nエラーコード : " + std::to_string(EISDIR)});
}

TEST_F(ContentModelTest, SettingsFileThatCannotBeOpened) {
    ASSERT_TRUE(model.LoadSettings(WriteExampleModel()));
    std::string missing = test::TempDir() + "/none/missing.tcf";
    EXPECT_FALSE(model.LoadSettings(missing));
    EXPECT_EQ(TakeMessages(),
              std::vector<std::string>{"内容評価用設定ファイル : \n " + missing + " \n を開けません。"});
    // Both flags are cleared; the paths, the dictionary and the matrix stay.
    EXPECT_FALSE(model.dictionaryLoaded);
    EXPECT_FALSE(model.matrixLoaded);
    EXPECT_EQ(model.dictionaryPath, Folder() + "words.txt");
    EXPECT_EQ(model.matrixPath, Folder() + "weights.dat");
    EXPECT_EQ(model.LookUp(S("けーき")), 3);
    ExpectExampleMatrix();
}

TEST_F(ContentModelTest, DictionaryThatCannotBeOpenedKeepsThePreviousOne) {
    ASSERT_TRUE(model.LoadSettings(WriteExampleModel()));
    // A matrix of three rows follows the missing dictionary: it matches the kept one, so no row message.
    WriteTempFile("other/weights.dat", MatrixFile(1, 3, {1, 2, 3, 4}));
    std::string settings = WriteTempFile("other/x.tcf", "dicfile nowhere.txt\nsivfile weights.dat\n");
    EXPECT_FALSE(model.LoadSettings(settings));
    EXPECT_EQ(TakeMessages(),
              std::vector<std::string>{"内容評価用単語辞書 : \n " + Folder("other") + "nowhere.txt \n が開けません。"});
    EXPECT_FALSE(model.dictionaryLoaded);
    EXPECT_TRUE(model.matrixLoaded);
    EXPECT_EQ(model.dictionaryPath, Folder("other") + "nowhere.txt");
    EXPECT_EQ(model.wordCount, 3);
    EXPECT_EQ(model.LookUp(S("みかん")), 2);
    EXPECT_EQ(model.dimensionCount, 1);
}

TEST_F(ContentModelTest, MatrixThatCannotBeOpenedKeepsThePreviousOne) {
    ASSERT_TRUE(model.LoadSettings(WriteExampleModel()));
    std::string settings = WriteTempFile("model/y.tcf", "sivfile nowhere.dat\n");
    EXPECT_FALSE(model.LoadSettings(settings));
    EXPECT_EQ(TakeMessages(),
              std::vector<std::string>{"内容評価用逆行列データ : \n " + Folder() +
                                       "nowhere.dat \n が開けません。\nエラーコード : " + std::to_string(ENOENT)});
    EXPECT_FALSE(model.matrixLoaded);
    EXPECT_TRUE(model.dictionaryLoaded);  // no dictionary line: the flag keeps its value
    ExpectExampleMatrix();
}

TEST_F(ContentModelTest, MatrixFileIsOpenedReadOnly) {
    // A running program cannot be opened for writing (ETXTBSY), whoever asks; opened for
    // reading, it is no model and is refused as such, not reported as unopenable.
    std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    int fd = ::open(self.c_str(), O_RDWR);
    if (fd >= 0) {
        ::close(fd);
        GTEST_SKIP() << "this system lets a running program be opened for writing";
    }
    std::string sjisSelf;
    ASSERT_TRUE(NativePathToSjis(self, sjisSelf));
    model.matrixPath = sjisSelf;
    EXPECT_FALSE(model.LoadMatrix());
    std::vector<std::string> messages = TakeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].find("が開けません"), std::string::npos) << messages[0];
    EXPECT_NE(messages[0].find("は壊れているため読み込めません"), std::string::npos) << messages[0];
}

TEST_F(ContentModelTest, DictionaryLinesCountAsTheyStand) {
    model.dictionaryPath = WriteTempFile("words.txt", S("りんご") + "\n\n" + S("りんご") + "\n");
    EXPECT_TRUE(model.LoadDictionary());
    EXPECT_EQ(model.wordCount, 3);
    EXPECT_EQ(model.LookUp(S("りんご")), 3);  // the last occurrence
    EXPECT_EQ(model.LookUp(""), 2);           // the empty line is a word too
    EXPECT_EQ(model.wordIndex.size(), 2u);

    // CR LF is a line end; other blanks are part of the word; a last line without a line end counts.
    model.dictionaryPath = WriteTempFile("words.txt", S("ねこ") + "\r\n " + S("いぬ") + "\t\n" + S("とり"));
    EXPECT_TRUE(model.LoadDictionary());
    EXPECT_EQ(model.wordCount, 3);
    EXPECT_EQ(model.LookUp(S("ねこ")), 1);
    EXPECT_EQ(model.LookUp(" " + S("いぬ") + "\t"), 2);
    EXPECT_EQ(model.LookUp(S("いぬ")), 0);
    EXPECT_EQ(model.LookUp(S("とり")), 3);
    EXPECT_EQ(model.LookUp(S("りんご")), 0);  // the earlier dictionary is gone
    EXPECT_TRUE(TakeMessages().empty());

    // A NUL byte is part of the word; a CR not followed by LF stays.
    model.dictionaryPath = WriteTempFile("words.txt", std::string("a\0b\n", 4) + "c\r");
    EXPECT_TRUE(model.LoadDictionary());
    EXPECT_EQ(model.wordCount, 2);
    EXPECT_EQ(model.LookUp(std::string("a\0b", 3)), 1);
    EXPECT_EQ(model.LookUp("a"), 0);
    EXPECT_EQ(model.LookUp("c\r"), 2);
    EXPECT_EQ(model.LookUp("c"), 0);

    model.dictionaryPath = WriteTempFile("empty.txt", "");
    EXPECT_TRUE(model.LoadDictionary());
    EXPECT_EQ(model.wordCount, 0);
    EXPECT_TRUE(model.wordIndex.empty());
}

TEST_F(ContentModelTest, LoadDictionaryAloneSetsNoFlag) {
    model.dictionaryPath = WriteTempFile("words.txt", "a\n");
    EXPECT_TRUE(model.LoadDictionary());
    EXPECT_FALSE(model.dictionaryLoaded);
    model.dictionaryPath = test::TempDir() + "/missing.txt";
    EXPECT_FALSE(model.LoadDictionary());
    EXPECT_EQ(model.LookUp("a"), 1);
    EXPECT_EQ(TakeMessages().size(), 1u);
}

TEST_F(ContentModelTest, RowCountDifferentFromWordCount) {
    WriteTempFile("model/words.txt", DictionaryFile({"a", "b", "c"}));
    WriteTempFile("model/weights.dat", MatrixFile(2, 4, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_TRUE(model.LoadSettings(WriteTempFile("model/x.tcf", "dicfile words.txt\nsivfile weights.dat\n")));
    EXPECT_EQ(TakeMessages(),
              std::vector<std::string>{"内容評価用逆行列データサイズ行数が辞書数と一致しません。\n em = 2 nrow = 4"});
    EXPECT_TRUE(model.matrixLoaded);
    EXPECT_EQ(model.matrixRowCount, 4);
    EXPECT_EQ(model.wordCount, 3);
    EXPECT_EQ(model.termMatrix[4][1], 4.0);
    EXPECT_EQ(model.termMatrix[4][2], 8.0);
    EXPECT_EQ(model.scaleVector[2], 10.0);
}

TEST_F(ContentModelTest, LinesTakeEffectInOrder) {
    WriteTempFile("model/first.txt", DictionaryFile({"a"}));
    WriteTempFile("model/second.txt", DictionaryFile({"a", "b", "c"}));
    WriteTempFile("model/weights.dat", MatrixFile(2, 3, kExampleValues));

    // The matrix is checked against the dictionary loaded when its line is read.
    std::string settings = WriteTempFile("model/x.tcf", "dicfile first.txt\nsivfile weights.dat\ndicfile second.txt\n");
    EXPECT_TRUE(model.LoadSettings(settings));
    EXPECT_EQ(TakeMessages(),
              std::vector<std::string>{"内容評価用逆行列データサイズ行数が辞書数と一致しません。\n em = 2 nrow = 3"});
    EXPECT_EQ(model.dictionaryPath, Folder() + "second.txt");
    EXPECT_EQ(model.wordCount, 3);

    // With the dictionary first, nothing is reported.
    settings = WriteTempFile("model/y.tcf", "dicfile first.txt\ndicfile second.txt\nsivfile weights.dat\n");
    EXPECT_TRUE(model.LoadSettings(settings));
    EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(ContentModelTest, SettingsWithoutMatrixLineKeepTheMatrixAndItsFlag) {
    ASSERT_TRUE(model.LoadSettings(WriteExampleModel()));
    WriteTempFile("other/words.txt", DictionaryFile({"x", "y", "z"}));
    EXPECT_TRUE(model.LoadSettings(WriteTempFile("other/x.tcf", "dicfile words.txt\n")));
    EXPECT_TRUE(model.matrixLoaded);
    EXPECT_EQ(model.LookUp("y"), 2);
    EXPECT_EQ(model.matrixPath, Folder() + "weights.dat");
    ExpectExampleMatrix();

    // A failed matrix stays failed while later settings leave it out.
    ASSERT_FALSE(model.LoadSettings(WriteTempFile("other/y.tcf", "sivfile nowhere.dat\n")));
    EXPECT_FALSE(model.LoadSettings(WriteTempFile("other/z.tcf", "dicfile words.txt\n")));
    EXPECT_TRUE(model.dictionaryLoaded);
    EXPECT_FALSE(model.matrixLoaded);
}

TEST_F(ContentModelTest, ShortMatrixFileLoadsWithZeros) {
    WriteTempFile("model/words.txt", DictionaryFile({"a", "b", "c"}));
    // Five of the eight doubles: 8 + 40 of 72 bytes.
    WriteTempFile("model/weights.dat", MatrixFile(2, 3, {11, 21, 31, 12, 22}));
    EXPECT_TRUE(model.LoadSettings(WriteTempFile("model/x.tcf", "dicfile words.txt\nsivfile weights.dat\n")));
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{"内容評価用逆行列データサイズが異なります\n(実際読まれた数 : "
                                                       "必要数 = 40 : 64)。\n内容評価結果は予期せぬ結果を返します。"});
    EXPECT_TRUE(model.matrixLoaded);
    EXPECT_EQ(model.termMatrix[2][2], 22.0);
    EXPECT_EQ(model.termMatrix[3][2], 0.0);
    EXPECT_EQ(model.scaleVector[1], 0.0);
    EXPECT_EQ(model.scaleVector[2], 0.0);

    // A file of the header alone is short by all of its data.
    WriteTempFile("model/weights.dat", MatrixFile(1, 0, {}));
    WriteTempFile("model/words.txt", "");
    EXPECT_TRUE(model.LoadSettings(WriteTempFile("model/x.tcf", "dicfile words.txt\nsivfile weights.dat\n")));
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{"内容評価用逆行列データサイズが異なります\n(実際読まれた数 : "
                                                       "必要数 = 0 : 8)。\n内容評価結果は予期せぬ結果を返します。"});
    EXPECT_EQ(model.dimensionCount, 1);
    EXPECT_EQ(model.matrixRowCount, 0);
    EXPECT_EQ(model.scaleVector[1], 0.0);
}

TEST_F(ContentModelTest, BytesBeyondTheMatrixAreIgnored) {
    std::vector<double> values = kExampleValues;
    values.push_back(99);
    WriteTempFile("model/words.txt", DictionaryFile({"a", "b", "c"}));
    WriteTempFile("model/weights.dat", MatrixFile(2, 3, values));
    EXPECT_TRUE(model.LoadSettings(WriteTempFile("model/x.tcf", "dicfile words.txt\nsivfile weights.dat\n")));
    EXPECT_TRUE(TakeMessages().empty());
    ExpectExampleMatrix();
}

TEST_F(ContentModelTest, CorruptMatrixIsRefusedAndThePreviousModelStays) {
    ASSERT_TRUE(model.LoadSettings(WriteExampleModel()));
    struct Case {
        const char* name;
        std::string bytes;
        std::string cause;  // UTF-8
    };
    const Case cases[] = {
        {"empty file", "", "ファイルが 8 バイトより短く、次元数と行数を読めません"},
        {"header cut short", MatrixFile(2, 3, {}).substr(0, 6),
         "ファイルが 8 バイトより短く、次元数と行数を読めません"},
        {"negative K", MatrixFile(-2, 3, kExampleValues), "次元数 = -2 行数 = 3 は不正な値です"},
        {"negative N", MatrixFile(2, -1, kExampleValues), "次元数 = 2 行数 = -1 は不正な値です"},
        {"no dimensions", MatrixFile(0, 3, kExampleValues), "次元数 = 0 行数 = 3 は不正な値です"},
        // 8 * K * (N + 1) does not fit in 64 bits.
        {"overflowing size", MatrixFile(INT32_MAX, INT32_MAX, kExampleValues),
         "次元数 = 2147483647 行数 = 2147483647 のデータは大きすぎます"},
        {"more rows than the matrix can hold", MatrixFile(1, 1 << 30, kExampleValues),
         "次元数 = 1 行数 = 1073741824 のデータは大きすぎます"},
        {"far beyond the file", MatrixFile(1000, 1000, kExampleValues),
         "必要なデータサイズ 8008000 バイトがファイルの大きさ 72 バイトを大きく超えています"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = WriteTempFile("bad/weights.dat", c.bytes);
        std::string settings = WriteTempFile("bad/x.tcf", "sivfile weights.dat\n");
        EXPECT_FALSE(model.LoadSettings(settings));
        EXPECT_EQ(TakeMessages(), std::vector<std::string>{"内容評価用逆行列データ : \n " + path +
                                                           " \n は壊れているため読み込めません。\n(" + c.cause +
                                                           ")\n内容評価用データは変更されません。"});
        EXPECT_FALSE(model.matrixLoaded);
        EXPECT_TRUE(model.dictionaryLoaded);
        ExpectExampleMatrix();
    }
}

TEST_F(ContentModelTest, ShortFileWithinTheAllowanceIsNotCorrupt) {
    // A file that holds half of what its header announces is short, not corrupt: 8 + 8 * 1000 * 1001
    // bytes announced, half of the data present.
    const int32_t k = 1000, n = 1000;
    std::vector<double> values(static_cast<size_t>(k) * (n + 1) / 2, 1.0);
    WriteTempFile("model/weights.dat", MatrixFile(k, n, values));
    model.matrixPath = Folder() + "weights.dat";
    EXPECT_TRUE(model.LoadMatrix());
    std::vector<std::string> messages = TakeMessages();
    ASSERT_EQ(messages.size(), 2u);  // rows differ from the (empty) dictionary, and the file is short
    EXPECT_NE(messages[1].find("(実際読まれた数 : 必要数 = 4004000 : 8008000)"), std::string::npos) << messages[1];
    EXPECT_EQ(model.termMatrix[1000][500], 1.0);
    EXPECT_EQ(model.termMatrix[1000][501], 0.0);
}

TEST_F(ContentModelTest, ReloadingReplacesEachPart) {
    ASSERT_TRUE(model.LoadSettings(WriteExampleModel()));
    WriteTempFile("other/words.txt", DictionaryFile({"x"}));
    WriteTempFile("other/weights.dat", MatrixFile(3, 1, {1, 2, 3, 4, 5, 6}));
    EXPECT_TRUE(model.LoadSettings(WriteTempFile("other/x.tcf", "dicfile words.txt\nsivfile weights.dat\n")));
    EXPECT_TRUE(TakeMessages().empty());
    EXPECT_EQ(model.wordCount, 1);
    EXPECT_EQ(model.LookUp(S("りんご")), 0);
    EXPECT_EQ(model.dimensionCount, 3);
    EXPECT_EQ(model.matrixRowCount, 1);
    EXPECT_EQ(model.termMatrix[1][3], 3.0);
    EXPECT_EQ(model.scaleVector[3], 6.0);
}

// Runs in `folder` and returns to the previous current folder afterwards.
class CurrentFolder {
public:
    explicit CurrentFolder(const std::string& folder) : m_previous(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~CurrentFolder() { std::filesystem::current_path(m_previous); }

private:
    std::filesystem::path m_previous;
};

TEST_F(ContentModelTest, RelativePathWithSlashIsUsedAsItStands) {
    WriteExampleModel("models");
    CurrentFolder here(test::TempDir());
    EXPECT_TRUE(model.LoadSettings("models/x.tcf"));
    EXPECT_EQ(model.dictionaryPath, "models/words.txt");
    EXPECT_EQ(model.matrixPath, "models/weights.dat");
}

TEST_F(ContentModelTest, ShiftJisFolderNames) {
    std::string settings = WriteExampleModel("モデル");
    std::string sjisSettings;
    ASSERT_TRUE(NativePathToSjis(settings, sjisSettings));
    EXPECT_TRUE(model.LoadSettings(sjisSettings));
    EXPECT_EQ(U(model.dictionaryPath), Folder("モデル") + "words.txt");
    EXPECT_EQ(model.LookUp(S("けーき")), 3);
}

// Files written beside the test program for the length of a test.
class ProgramFolderFiles {
public:
    ProgramFolderFiles() : folder(std::filesystem::read_symlink("/proc/self/exe").parent_path()) {}
    ~ProgramFolderFiles() {
        for (const auto& path : m_written) std::filesystem::remove(path);
    }
    void Write(const std::string& name, const std::string& bytes) {
        std::filesystem::path path = folder / name;
        m_written.push_back(path);
        FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr) << path;
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    const std::filesystem::path folder;

private:
    std::vector<std::filesystem::path> m_written;
};

TEST_F(ContentModelTest, NameWithoutSlashIsLookedUpInTheProgramFolder) {
    ProgramFolderFiles files;
    std::string tag = "tavi_content_test_" + std::to_string(::getpid());
    files.Write(tag + ".tcf", "dicfile " + tag + ".txt\nsivfile " + tag + ".dat\n");
    files.Write(tag + ".txt", DictionaryFile({"a", "b", "c"}));
    files.Write(tag + ".dat", MatrixFile(2, 3, kExampleValues));
    std::string folder = files.folder.string() + "/";
    EXPECT_EQ(DataFolderFor(tag + ".tcf"), folder);

    // Whatever the current folder is.
    CurrentFolder elsewhere(test::TempDir());
    EXPECT_TRUE(model.LoadSettings(tag + ".tcf"));
    EXPECT_TRUE(TakeMessages().empty());
    EXPECT_EQ(model.dictionaryPath, folder + tag + ".txt");
    EXPECT_EQ(model.matrixPath, folder + tag + ".dat");
    ExpectExampleMatrix();
}

TEST_F(ContentModelTest, NameNotBesideTheProgramIsLookedUpInTheInstalledDataFolder) {
    std::filesystem::path programFolder = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    std::string installed = programFolder.parent_path().string() + "/share/tavi/";
    std::string name = "tavi_content_test_absent_" + std::to_string(::getpid()) + ".tcf";
    EXPECT_EQ(DataFolderFor(name), installed);
    EXPECT_FALSE(model.LoadSettings(name));
    EXPECT_EQ(TakeMessages(),
              std::vector<std::string>{"内容評価用設定ファイル : \n " + installed + name + " \n を開けません。"});
}

}  // namespace
}  // namespace tavi
