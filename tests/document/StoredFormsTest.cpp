#include <sys/stat.h>

#include "document/DocumentFixture.h"
#include "document/ParamArchive.h"

namespace tavi::test {
namespace {

std::string Store(CTaviDoc& doc) {
    ParamArchive ar;
    doc.Serialize(ar);
    return ar.Bytes();
}

TEST_F(DocumentTest, EmptyDocumentStoresIn172Bytes) {
    std::string bytes = Store(*doc);
    ASSERT_EQ(bytes.size(), 172u);
    EXPECT_EQ(bytes[0], 0);
    EXPECT_EQ(bytes.substr(1 + 32 + 8, 15), "\x0Eyoroku2000.tcf");
    EXPECT_EQ(bytes.substr(168), std::string(4, '\0'));
}

TEST(ParamArchive, StringPrefixes) {
    ParamArchive ar;
    ar.WriteString(std::string(254, 'a'));
    ar.WriteString(std::string(255, 'b'));
    ar.WriteString(std::string(65534, 'c'));
    const std::string& b = ar.Bytes();
    EXPECT_EQ(static_cast<unsigned char>(b[0]), 254);
    EXPECT_EQ(b.substr(255, 3), std::string("\xFF\xFF\x00", 3));
    EXPECT_EQ(b.substr(255 + 3 + 255, 7), std::string("\xFF\xFF\xFF\xFE\xFF\x00\x00", 7));
    ParamArchive in(b);
    EXPECT_EQ(in.ReadString().size(), 254u);
    EXPECT_EQ(in.ReadString().size(), 255u);
    EXPECT_EQ(in.ReadString().size(), 65534u);
    EXPECT_TRUE(in.AtEnd());
    EXPECT_FALSE(in.Failed());
    ParamArchive wide(std::string("\xFF\xFE\xFF", 3));
    wide.ReadString();
    EXPECT_TRUE(wide.Failed());
}

TEST_F(DocumentTest, StoredFormRoundTrip) {
    UseTinyModel();
    SetQuestion(questionPath);
    Add(onTopic);
    Add(offTopic);
    Add(questionPath);
    doc->ScoreEssay(1);
    doc->RemoveAnswer(0);
    std::string saved = dir + "/job.prm";
    std::string error;
    ASSERT_TRUE(doc->SaveParameterFile(saved, error)) << error;
    std::string bytes = ReadFileBytes(saved);
    EXPECT_EQ(bytes, Store(*doc));
    // Two answers of 126 bytes plus their strings.
    size_t strings = 0;
    for (int i = 0; i < 2; ++i) strings += 2 + doc->GetAnswer(i).title.size() + doc->GetAnswer(i).path.size();
    size_t paramsSize = 1 + Sjis(questionPath).size() + 32 + 8 + 1 + Sjis(dir + "/model/tiny.tcf").size() + 112 + 4;
    EXPECT_EQ(bytes.size(), paramsSize + 2 * 126 + strings);

    FakePerson person2;
    RecordingListView view2;
    CTaviDoc loaded(person2);
    loaded.SetListView(&view2);
    ASSERT_TRUE(loaded.LoadParameterFile(saved, error)) << error;
    EXPECT_EQ(loaded.GetQuestionPath(), Sjis(questionPath));
    EXPECT_TRUE(loaded.HasQuestionVector());
    EXPECT_EQ(loaded.GetParams().modelPath, Sjis(dir + "/model/tiny.tcf"));
    ASSERT_EQ(loaded.GetAnswerCount(), 2);
    EXPECT_EQ(loaded.GetAnswer(0).id, 2);
    EXPECT_EQ(loaded.GetAnswer(1).id, 3);
    EXPECT_EQ(loaded.GetAnswer(0).status, kStatusUnscored);
    EXPECT_EQ(view2.Cell(0, MemoryListView::kNumber), "2");
    EXPECT_EQ(loaded.GetUnscoredCount(), 2);
    EXPECT_EQ(Store(loaded).size(), bytes.size());  // the same fields; statuses are 0 now
    // Scored again from their files, they give the scores they had.
    loaded.ScoreEssay(0);
    EXPECT_EQ(loaded.GetAnswer(0).finalScore, doc->GetAnswer(0).finalScore);
    EXPECT_TRUE(loaded.AddAnswer("/x/new.txt"));
    EXPECT_EQ(loaded.GetAnswer(2).id, 4);
}

TEST_F(DocumentTest, TruncatedOrCorruptStoredFormsChangeNothing) {
    UseTinyModel();
    Add(onTopic);
    Add(offTopic);
    std::string bytes = Store(*doc);
    // One document takes every cut: a refused load must leave it exactly as it was.
    FakePerson p;
    CTaviDoc target(p);
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        std::string path = WriteTempFile("cut.prm", bytes.substr(0, cut));
        std::string error;
        ASSERT_FALSE(target.LoadParameterFile(path, error)) << "cut at " << cut;
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(target.GetAnswerCount(), 0);
        EXPECT_EQ(target.GetParams().modelPath, "yoroku2000.tcf");
    }
    FakePerson fresh;
    CTaviDoc untouched(fresh);
    EXPECT_EQ(Store(target), Store(untouched));
    auto refused = [&](std::string corrupt) {
        std::string error;
        bool ok = target.LoadParameterFile(WriteTempFile("bad.prm", corrupt), error);
        return !ok && target.GetAnswerCount() == 0;
    };
    EXPECT_TRUE(refused(bytes + "x"));  // trailing bytes
    std::string negative = bytes;
    size_t countAt = bytes.size() - 2 * 126 - 2 * (2 + 6) - Sjis(onTopic).size() - Sjis(offTopic).size() - 4;
    negative.replace(countAt, 4, std::string("\xFF\xFF\xFF\xFF", 4));
    EXPECT_TRUE(refused(negative));
    std::string badMode = bytes;
    badMode[1 + Sjis(doc->GetQuestionPath()).size() + 32] = 7;  // paragraph mode 7
    EXPECT_TRUE(refused(badMode));
    std::string error;
    EXPECT_FALSE(target.LoadParameterFile(dir + "/none.prm", error));
    EXPECT_FALSE(target.LoadParameterFile(dir, error));
    EXPECT_FALSE(target.LoadParameterFile("/dev/zero", error));
}

TEST_F(DocumentTest, ResultsFileBytes) {
    UseTinyModel();
    SetQuestion(questionPath);
    Add(onTopic);
    Add(WriteTempFile("a,\"b\".txt", "環境と社会。"));
    Add(offTopic);
    EXPECT_FALSE(doc->OnUpdateSaveResults());
    doc->OnScoreStart();
    doc->WaitForRun();
    ASSERT_TRUE(doc->OnUpdateSaveResults());
    person.fileToSave = dir + "/results.csv";
    doc->OnSaveResults();
    EXPECT_EQ(person.lastSaveRequest.defaultExtension, "CSV");
    EXPECT_TRUE(person.boxes.empty());
    EXPECT_FALSE(doc->OnUpdateSaveResults());

    std::string expected = Sjis("管理番号,ファイル名,状態,総合得点,文量減点,修辞,論理,内容,場所,") + "\r\n";
    for (int row = 0; row < 3; ++row) {
        EssayRecord r = doc->GetAnswer(row);
        std::string title = row == 1 ? "\"a,\"\"b\"\".txt\"" : r.title;
        std::string path = row == 1 ? "\"" + dir + "/a,\"\"b\"\".txt\"" : r.path;
        expected += std::to_string(r.id) + "," + title + "," + Sjis("済") + "," + ScoreCellText(r.finalScore) + "," +
                    ScoreCellText(r.lengthPenalty) + "," + ScoreCellText(r.rhetoricScore) + "," +
                    ScoreCellText(r.organizationScore) + "," + ScoreCellText(r.contentScore) + "," + path + ",\r\n";
    }
    EXPECT_EQ(ReadFileBytes(dir + "/results.csv"), expected);

    // Adding an answer enables saving again once it is scored.
    Add(WriteTempFile("late.txt", "遅い。"));
    EXPECT_FALSE(doc->OnUpdateSaveResults());
    doc->ScoreEssay(3);
    EXPECT_TRUE(doc->OnUpdateSaveResults());
}

TEST_F(DocumentTest, ResultsFileFailuresAreReportedAndLoseNothing) {
    Add(onTopic);
    doc->RemoveAnswer(0);
    view.RemoveRow(0);
    ASSERT_TRUE(doc->OnUpdateSaveResults());  // all removed: enabled, header only
    std::string existing = WriteTempFile("old.csv", "old contents");
    for (std::string target : {dir + "/missing/folder/r.csv", dir}) {
        person.boxes.clear();
        person.fileToSave = target;
        doc->OnSaveResults();
        ASSERT_EQ(person.boxes.size(), 1u) << target;
        EXPECT_NE(person.BoxTexts()[0].find(target), std::string::npos);
        EXPECT_TRUE(doc->OnUpdateSaveResults());
    }
    person.saveAccepted = false;
    person.fileToSave = existing;
    doc->OnSaveResults();
    EXPECT_EQ(ReadFileBytes(existing), "old contents");
    person.saveAccepted = true;
    doc->OnSaveResults();
    EXPECT_EQ(ReadFileBytes(existing),
              Sjis("管理番号,ファイル名,状態,総合得点,文量減点,修辞,論理,内容,場所,") + "\r\n");
    EXPECT_FALSE(doc->OnUpdateSaveResults());
}

}  // namespace
}  // namespace tavi::test
