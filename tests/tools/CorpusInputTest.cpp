// The builder's inputs: folders of documents and line files of "id<TAB>text" documents.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "fakes/TestSupport.h"
#include "tools/CorpusInput.h"

namespace tavi {
namespace {

using test::S;
using test::TempDir;
using test::WriteTempFile;

// The documents of the inputs; fails the test when they cannot be listed.
std::vector<CorpusDocument> List(const std::vector<CorpusInput>& inputs) {
    std::vector<CorpusDocument> documents;
    std::string error;
    EXPECT_TRUE(ListCorpusDocuments(inputs, documents, error)) << error;
    return documents;
}

// The error of listing inputs that must be refused.
std::string Refusal(const std::vector<CorpusInput>& inputs) {
    std::vector<CorpusDocument> documents;
    std::string error;
    EXPECT_FALSE(ListCorpusDocuments(inputs, documents, error));
    return error;
}

TEST(ListCorpusDocuments, ListsTextFilesByNameFolderAfterFolder) {
    std::string first = TempDir() + "/first";
    std::string second = TempDir() + "/second";
    WriteTempFile("first/b.txt", "b");
    WriteTempFile("first/a.txt", "a");
    WriteTempFile("first/index.tsv", "file\ttitle\n");
    WriteTempFile("first/sub/c.txt", "c");
    std::filesystem::create_directories(first + "/folder.txt");
    WriteTempFile("second/0.txt", "0");

    std::vector<CorpusDocument> documents = List({{second}, {first}});
    ASSERT_EQ(documents.size(), 3u);
    EXPECT_EQ(documents[0].path, second + "/0.txt");
    EXPECT_EQ(documents[1].path, first + "/a.txt");
    EXPECT_EQ(documents[2].path, first + "/b.txt");
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(documents[i].line, 0u);
        EXPECT_TRUE(documents[i].text.empty());  // read when analysed
        EXPECT_EQ(documents[i].input, i == 0 ? 0u : 1u);
        EXPECT_EQ(documents[i].Name(), documents[i].path);
    }
}

TEST(ListCorpusDocuments, RefusesMissingFoldersAndFoldersWithoutDocuments) {
    WriteTempFile("empty/index.tsv", "file\n");
    EXPECT_NE(Refusal({{TempDir() + "/empty"}}).find("holds no document"), std::string::npos);
    EXPECT_NE(Refusal({{TempDir() + "/nowhere"}}).find("nowhere"), std::string::npos);
}

TEST(ListCorpusDocuments, ALineFileHoldsOneDocumentPerLineWithItsId) {
    // UTF-8 with a byte-order mark, CR LF and LF line ends, an empty line, a line with no text,
    // a tab inside the text and no line feed at the end.
    std::string file = WriteTempFile("sentences.tsv",
                                     "\xEF\xBB\xBF"
                                     "1297\tきみにちょっとしたものをもってきたよ。\r\n"
                                     "4702\t何かしてみましょう。\n"
                                     "\n"
                                     "4703\t\n"
                                     "x-9\t雨\tです。");
    WriteTempFile("first/a.txt", "a");
    std::vector<CorpusDocument> documents = List({{TempDir() + "/first"}, {file, 0.5}});
    ASSERT_EQ(documents.size(), 5u);
    EXPECT_EQ(documents[0].line, 0u);
    const struct {
        size_t line;
        const char* id;
        const char* text;
    } expected[] = {{1, "1297", "きみにちょっとしたものをもってきたよ。"},
                    {2, "4702", "何かしてみましょう。"},
                    {4, "4703", ""},
                    {5, "x-9", "雨\tです。"}};
    for (size_t i = 0; i < std::size(expected); ++i) {
        const CorpusDocument& d = documents[i + 1];
        SCOPED_TRACE(expected[i].id);
        EXPECT_EQ(d.path, file);
        EXPECT_EQ(d.line, expected[i].line);
        EXPECT_EQ(d.id, expected[i].id);
        EXPECT_EQ(d.text, S(expected[i].text));  // Shift_JIS, as the analysis takes it
        EXPECT_EQ(d.input, 1u);
    }
    EXPECT_EQ(documents[1].Name(), file + ":1 (id 1297)");
}

TEST(ListCorpusDocuments, ALineFileInShiftJisIsTakenAsItIs) {
    // 能 is 0x94 0x5C in Shift_JIS: the trail byte is a backslash, and the bytes are no UTF-8.
    std::string file = WriteTempFile("sjis.tsv", "1\t" + S("能の舞台。") + "\n2\t" + S("ソフト") + "\n");
    std::vector<CorpusDocument> documents = List({{file}});
    ASSERT_EQ(documents.size(), 2u);
    EXPECT_EQ(documents[0].text, S("能の舞台。"));
    EXPECT_EQ(documents[1].text, S("ソフト"));
}

TEST(ListCorpusDocuments, RefusesBrokenLineFilesNamingTheLine) {
    std::string noTab = WriteTempFile("no-tab.tsv", "1\tひとつ\n2 ふたつ\n");
    std::string error = Refusal({{noTab}});
    EXPECT_NE(error.find(noTab + ":2: no tab"), std::string::npos) << error;

    std::string noId = WriteTempFile("no-id.tsv", "1\tひとつ\n\tふたつ\n");
    error = Refusal({{noId}});
    EXPECT_NE(error.find(noId + ":2: the id before the tab is empty"), std::string::npos) << error;

    // A file given twice, or two exports joined, repeats its ids.
    std::string repeated = WriteTempFile("repeated.tsv", "1\tひとつ\n2\tふたつ\n\n1\tひとつ\n");
    error = Refusal({{repeated}});
    EXPECT_NE(error.find(repeated + ":4: the id 1 is that of line 1 too"), std::string::npos) << error;

    std::string blank = WriteTempFile("blank.tsv", "\n\r\n");
    error = Refusal({{blank}});
    EXPECT_NE(error.find(blank + ": holds no document"), std::string::npos) << error;

    // The first broken input stops the listing, whatever follows.
    std::string good = WriteTempFile("good.tsv", "1\tひとつ\n");
    error = Refusal({{good}, {noTab}, {repeated}});
    EXPECT_NE(error.find("no-tab.tsv"), std::string::npos) << error;
}

TEST(ListCorpusDocuments, ALineFileThatIsNoRegularFileIsRefusedNotWaitedFor) {
    std::string fifo = TempDir() + "/lines.tsv";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    alarm(30);  // should the open wait for a writer, the alarm ends the test program
    std::string error = Refusal({{fifo}});
    alarm(0);
    EXPECT_NE(error.find(fifo), std::string::npos) << error;
}

}  // namespace
}  // namespace tavi
