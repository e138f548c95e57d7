// Reading and analysing corpus documents with ChaSen, in this process and in worker processes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "analysis/Encoding.h"
#include "fakes/TestSupport.h"
#include "tools/CorpusAnalysis.h"

namespace tavi {
namespace {

using test::S;
using test::TempDir;
using test::WriteTempFile;

// Written in UTF-8; the Shift_JIS twin of a document must give the same counts.
constexpr const char* kText =
    "ケーキを東京で食べた。ｹｰｷも好きだ。\n"
    "私は３個のリンゴを田中さんと買った。\n"
    "\n"
    "次の段落では、コーヒーとケーキ。\n";

// One analyser for the whole test program, never unloaded: ChaSen's buffers then stay
// reachable until the end, as they do in the builder.
AnalyzerBinding& Analyzer() {
    static AnalyzerBinding* analyzer = new AnalyzerBinding();
    return *analyzer;
}

// A document that is a file of its own.
CorpusDocument File(const std::string& path) { return CorpusDocument{path}; }

TermCounts ExpectedCounts() {
    // ケーキ twice and the half-width ｹｰｷ once; 私, ３, 個, 田中 and さん carry no content.
    return {{S("けーき"), 3}, {S("東京"), 1}, {S("好き"), 1},    {S("りんご"), 1},
            {S("次"), 1},     {S("段落"), 1}, {S("こーひー"), 1}};
}

TEST(AnalyseDocument, CountsContentNounsOfUtf8AndShiftJisFiles) {
    AnalyzerBinding& analyzer = Analyzer();
    ASSERT_TRUE(analyzer.Load()) << "the ChaSen library could not be loaded";
    for (const auto& [name, bytes] : {std::pair<std::string, std::string>{"utf8.txt", kText},
                                      std::pair<std::string, std::string>{"sjis.txt", S(kText)}}) {
        SCOPED_TRACE(name);
        DocumentAnalysis result;
        std::string error;
        ASSERT_TRUE(AnalyseDocument(File(WriteTempFile(name, bytes)), analyzer, result, error)) << error;
        EXPECT_TRUE(result.hasText);
        EXPECT_EQ(result.counts, ExpectedCounts());
    }
}

TEST(AnalyseDocument, EmptyDocumentsHaveNoText) {
    AnalyzerBinding& analyzer = Analyzer();
    for (const char* bytes : {"", "\n\n\r\n"}) {
        DocumentAnalysis result;
        result.hasText = true;
        std::string error;
        ASSERT_TRUE(AnalyseDocument(File(WriteTempFile("empty.txt", bytes)), analyzer, result, error)) << error;
        EXPECT_FALSE(result.hasText);
        EXPECT_TRUE(result.counts.empty());
    }
}

TEST(AnalyseDocument, NamesFilesThatCannotBeRead) {
    AnalyzerBinding& analyzer = Analyzer();
    DocumentAnalysis result;
    std::string error;
    std::string missing = TempDir() + "/missing.txt";
    EXPECT_FALSE(AnalyseDocument(File(missing), analyzer, result, error));
    EXPECT_NE(error.find(missing), std::string::npos) << error;
    EXPECT_NE(error.find("cannot be opened"), std::string::npos) << error;

    // A folder opens but cannot be read.
    std::string folder = TempDir() + "/folder.txt";
    std::filesystem::create_directories(folder);
    error.clear();
    EXPECT_FALSE(AnalyseDocument(File(folder), analyzer, result, error));
    EXPECT_NE(error.find(folder), std::string::npos) << error;
}

TEST(AnalyseDocument, AFifoInACorpusFolderIsSkippedOrRefusedNotWaitedFor) {
    std::string folder = TempDir() + "/corpus";
    WriteTempFile("corpus/a.txt", kText);
    std::string fifo = folder + "/b.txt";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::vector<CorpusDocument> documents;
    std::string error;
    ASSERT_TRUE(ListCorpusDocuments({{folder}}, documents, error)) << error;
    ASSERT_EQ(documents.size(), 1u);
    EXPECT_EQ(documents[0].path, folder + "/a.txt");
    // Read all the same (it may have become a FIFO after the listing): refused at once. Should
    // the open wait for a writer, the alarm ends the test program instead of the run.
    alarm(30);
    DocumentAnalysis result;
    EXPECT_FALSE(AnalyseDocument(File(fifo), Analyzer(), result, error));
    alarm(0);
    EXPECT_EQ(error, fifo + ": is not a regular file");
}

TEST(AnalyseDocument, ReportsAnAnalyserThatCannotBeLoaded) {
    AnalyzerBinding analyzer("libno-such-analyser.so");
    DocumentAnalysis result;
    std::string error;
    EXPECT_FALSE(AnalyseDocument(File(WriteTempFile("doc.txt", kText)), analyzer, result, error));
    EXPECT_NE(error.find("analyser cannot be loaded"), std::string::npos) << error;
}

class AnalyseDocumentsTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* texts[] = {kText, "雨の日に図書館で本を読んだ。", "", "駅前の書店で雑誌を買った。\n\n雨だった。",
                               "コーヒーを飲む。"};
        for (size_t i = 0; i < std::size(texts); ++i)
            paths.push_back(File(WriteTempFile("corpus/doc" + std::to_string(i) + ".txt", texts[i])));
        // Lines of a line file travel to the worker processes with their text.
        paths.push_back(CorpusDocument{"lines.tsv", 1, "7", S("雨の日に図書館で本を読んだ。")});
        paths.push_back(CorpusDocument{"lines.tsv", 2, "8", ""});
    }

    // Every document's analysis, checking that the sink sees them in order and that
    // progress counts up to the number of documents.
    std::vector<DocumentAnalysis> Analyse(int workers) {
        std::vector<DocumentAnalysis> results;
        size_t lastProgress = 0;
        std::string error;
        bool ok = AnalyseDocuments(
            paths, workers,
            [&](size_t index, DocumentAnalysis&& analysis) {
                EXPECT_EQ(index, results.size());
                results.push_back(std::move(analysis));
            },
            [&](size_t done) {
                EXPECT_EQ(done, lastProgress + 1);
                lastProgress = done;
            },
            error);
        EXPECT_TRUE(ok) << error;
        EXPECT_EQ(lastProgress, paths.size());
        return results;
    }

    std::vector<CorpusDocument> paths;
};

TEST_F(AnalyseDocumentsTest, WorkerProcessesGiveTheSameResultsInTheSameOrder) {
    std::vector<DocumentAnalysis> alone = Analyse(1);
    ASSERT_EQ(alone.size(), paths.size());
    EXPECT_EQ(alone[0].counts, ExpectedCounts());
    EXPECT_FALSE(alone[2].hasText);
    TermCounts library = {{S("雨"), 1}, {S("図書館"), 1}, {S("本"), 1}};  // 日 is a dependent noun here
    EXPECT_EQ(alone[1].counts, library);
    EXPECT_EQ(alone[5].counts, library);  // the same text as a line
    EXPECT_FALSE(alone[6].hasText);

    for (int workers : {2, 3, 8}) {
        SCOPED_TRACE(testing::Message() << workers << " workers");
        std::vector<DocumentAnalysis> shared = Analyse(workers);
        ASSERT_EQ(shared.size(), alone.size());
        for (size_t i = 0; i < alone.size(); ++i) {
            EXPECT_EQ(shared[i].hasText, alone[i].hasText) << "document " << i;
            EXPECT_EQ(shared[i].counts, alone[i].counts) << "document " << i;
        }
    }
}

TEST_F(AnalyseDocumentsTest, AFailingDocumentStopsTheRunAndIsNamed) {
    paths.insert(paths.begin() + 3, File(TempDir() + "/corpus/vanished.txt"));
    for (int workers : {1, 2}) {
        SCOPED_TRACE(testing::Message() << workers << " workers");
        size_t delivered = 0;
        std::string error;
        EXPECT_FALSE(AnalyseDocuments(
            paths, workers, [&](size_t, DocumentAnalysis&&) { ++delivered; }, nullptr, error));
        EXPECT_NE(error.find("vanished.txt"), std::string::npos) << error;
        EXPECT_LE(delivered, 3u);
    }
}

}  // namespace
}  // namespace tavi
