// Reading only regular files, and replacing files whole (a FIFO: MorphemeToolsTest and
// CorpusAnalysisTest).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "analysis/FileIo.h"
#include "fakes/TestSupport.h"

namespace tavi {
namespace {

using test::TempDir;
using test::WriteTempFile;

TEST(ReadRegularFile, RefusesAFolderAndWhatIsTooLarge) {
    std::string bytes, error;
    EXPECT_FALSE(ReadRegularFile(TempDir(), bytes, error));
    EXPECT_EQ(error, TempDir() + ": cannot be opened (Is a directory)");
    std::string path = WriteTempFile("ten.txt", "0123456789");
    EXPECT_TRUE(ReadRegularFile(path, bytes, error, 10));
    EXPECT_EQ(bytes, "0123456789");
    EXPECT_FALSE(ReadRegularFile(path, bytes, error, 9));
    EXPECT_EQ(error, path + ": is larger than 9 bytes");
}

TEST(WriteFileAtomically, ReplacesAFileWholeKeepingItsModeAndLeavesNothingElse) {
    std::string path = WriteTempFile("out/kept.txt", "old");
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(path, "new", error)) << error;
    EXPECT_EQ(test::ReadFileBytes(path), "new");
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    auto entries = std::filesystem::directory_iterator(TempDir() + "/out");
    EXPECT_EQ(std::distance(begin(entries), end(entries)), 1);

    std::string missing = TempDir() + "/none/x.txt";
    EXPECT_FALSE(WriteFileAtomically(missing, "x", error));
    EXPECT_EQ(error, missing + ": cannot be created (No such file or directory)");
}

}  // namespace
}  // namespace tavi
