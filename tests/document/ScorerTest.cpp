#include <cmath>

#include "document/DocumentFixture.h"
#include "document/Scorer.h"
#include "fakes/SampleRun.h"

namespace tavi::test {
namespace {

// Everything scoring sets in a record, compared member by member so that a failure names it.
void ExpectSameScores(const EssayRecord& a, const EssayRecord& b) {
    static constexpr double EssayRecord::*kValues[] = {&EssayRecord::sentenceLengthMedian,
                                                       &EssayRecord::sentenceLengthMax,
                                                       &EssayRecord::phraseLengthMedian,
                                                       &EssayRecord::phraseLengthMax,
                                                       &EssayRecord::bunsetsuPerPhraseMedian,
                                                       &EssayRecord::bunsetsuPerPhraseMax,
                                                       &EssayRecord::vocabularyDiversity,
                                                       &EssayRecord::kanaKanjiRatio,
                                                       &EssayRecord::longReadingShare9,
                                                       &EssayRecord::longReadingShare11,
                                                       &EssayRecord::passiveRate,
                                                       &EssayRecord::attributiveSentences,
                                                       &EssayRecord::continuativeSentences,
                                                       &EssayRecord::cueWordTotal,
                                                       &EssayRecord::demonstrativeTotal,
                                                       &EssayRecord::rhetoricScore,
                                                       &EssayRecord::organizationScore,
                                                       &EssayRecord::contentSimilarity,
                                                       &EssayRecord::contentScore,
                                                       &EssayRecord::weightedTotal,
                                                       &EssayRecord::textLength,
                                                       &EssayRecord::lengthPenalty,
                                                       &EssayRecord::finalScore};
    EXPECT_EQ(a.status, b.status);
    for (size_t k = 0; k < std::size(kValues); ++k) {
        const double x = a.*kValues[k], y = b.*kValues[k];
        EXPECT_TRUE(x == y || (std::isnan(x) && std::isnan(y))) << "value " << k << ": " << x << " and " << y;
    }
    EXPECT_EQ(a.rhetoricScored, b.rhetoricScored);
    EXPECT_EQ(a.organizationScored, b.organizationScored);
    EXPECT_EQ(U(a.commentText), U(b.commentText));
}

std::string FileBytes(const std::string& sjisPath) {
    std::string bytes, error;
    EXPECT_TRUE(ReadAnswerSource(SjisPathToNative(sjisPath), bytes, error)) << error;
    return bytes;
}

std::string SampleQuestion() { return Sjis(std::string(TAVI_SAMPLES_DIR) + "/question.txt"); }

// The sample essays against the sample question with the built-in model.
class ScorerSamplesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(scorer.LoadAnalyzer()) << "ChaSen is needed for these tests";
        ASSERT_FALSE(scorer.Configure(SampleQuestion(), ScoringParams()).error);
    }
    EssayRecord Scored(const char* name, bool withEvidence = false) {
        EssayRecord r(SampleDocument::AnswerPath(name), name);
        scorer.Score(r, withEvidence);
        return r;
    }
    Scorer scorer;
};

TEST_F(ScorerSamplesTest, PathBytesAndEvidenceScoreAlikeAndAsTheDocument) {
    SampleRun run;  // the document's records, with evidence
    for (const EssayRecord& fromDoc : run.answers) {
        SCOPED_TRACE(U(fromDoc.title));
        EssayRecord fromPath(fromDoc.path, fromDoc.title), fromBytes(fromDoc.path, fromDoc.title), plain;
        ScoreOutcome byPath = scorer.Score(fromPath, true);
        ScoreOutcome byBytes = scorer.ScoreText(fromBytes, FileBytes(fromDoc.path), true);
        EXPECT_TRUE(byPath.withQuestion && byBytes.withQuestion);
        EXPECT_EQ(byPath.readError, "");
        ExpectSameScores(fromPath, fromDoc);
        ExpectSameScores(fromBytes, fromPath);
        // Evidence changes no score.
        scorer.ScoreText(plain, FileBytes(fromDoc.path), false);
        ExpectSameScores(plain, fromPath);
        EXPECT_FALSE(plain.evidence);
        ASSERT_TRUE(fromDoc.evidence && fromPath.evidence && fromBytes.evidence);
        for (const EssayRecord* r : {&fromPath, &fromBytes}) {
            EXPECT_EQ(r->evidence->text, fromDoc.evidence->text);
            EXPECT_EQ(r->evidence->sentences.size(), fromDoc.evidence->sentences.size());
            EXPECT_EQ(r->evidence->sharedNouns.size(), fromDoc.evidence->sharedNouns.size());
            EXPECT_EQ(r->evidence->missingNouns.size(), fromDoc.evidence->missingNouns.size());
        }
    }
}

// What the detail dialog and the settings do to scored answers equals scoring them afresh.
TEST_F(ScorerSamplesTest, RescoringEqualsScoringAfreshWithTheNewValues) {
    std::vector<EssayRecord> records;
    for (const char* name : SampleDocument::kNames) records.push_back(Scored(name, true));

    ScoringParams p = scorer.Params();
    p.rhetoricWeight = 1;
    p.contentWeight = 8;
    p.expectedLength = 100;
    scorer.SetParams(p);
    for (EssayRecord& r : records) scorer.Rescore(r, {});
    for (size_t k = 0; k < records.size(); ++k) {
        SCOPED_TRACE(SampleDocument::kNames[k]);
        ExpectSameScores(records[k], Scored(SampleDocument::kNames[k]));
    }

    p.sentenceLengthMaxWeight = 0.3;
    p.vocabularyDiversityWeight = 0.01;
    p.kanaKanjiRatioWeight = 0.6;
    p.cueWordWeight = 0.9;
    p.demonstrativeWeight = 0.1;
    scorer.SetParams(p);
    for (EssayRecord& r : records) scorer.Rescore(r, {.rhetoric = true, .organization = true, .content = true});
    for (size_t k = 0; k < records.size(); ++k) {
        SCOPED_TRACE(SampleDocument::kNames[k]);
        ExpectSameScores(records[k], Scored(SampleDocument::kNames[k]));
    }
}

// The small model of the document's tests.
class ScorerTest : public DocumentTest {
protected:
    void SetUp() override {
        DocumentTest::SetUp();
        ASSERT_TRUE(scorer.LoadAnalyzer()) << "ChaSen is needed for these tests";
        tiny.modelPath = Sjis(dir + "/model/tiny.tcf");
        tiny.modelChoice = 2;
    }
    EssayRecord Scored(const std::string& nativePath) {
        EssayRecord r(Sjis(nativePath), "answer");
        scorer.Score(r, false);
        return r;
    }
    Scorer scorer;
    ScoringParams tiny;
};

TEST_F(ScorerTest, RefusalsSayWhyAndKeepThePreviousQuestion) {
    ASSERT_FALSE(scorer.Configure(Sjis(questionPath), tiny).error);
    const EssayRecord before = Scored(onTopic);
    ASSERT_GT(before.contentSimilarity, 0.9);

    ScorerResult missing = scorer.PrepareQuestion(Sjis(dir + "/none.txt"));
    ASSERT_TRUE(missing.error);
    EXPECT_EQ(U(*missing.error), "設問文ファイル : \n " + dir +
                                     "/none.txt \n を読み込めないか、文章が含まれていません。\n原因 : " + dir +
                                     "/none.txt: cannot be opened (No such file or directory)");
    ScorerResult empty = scorer.PrepareQuestionText("", S("空の設問.txt"));
    ASSERT_TRUE(empty.error);
    EXPECT_EQ(U(*empty.error), "設問文ファイル : \n 空の設問.txt \n を読み込めないか、文章が含まれていません。");
    EXPECT_FALSE(missing.questionPrepared || empty.questionPrepared);
    EXPECT_EQ(scorer.QuestionPath(), Sjis(questionPath));

    ScorerResult model = scorer.LoadModel(Sjis(dir + "/missing/none.tcf"));
    ASSERT_TRUE(model.error);
    ASSERT_FALSE(model.messages.empty());
    EXPECT_NE(U(model.messages[0].text).find("none.tcf"), std::string::npos);
    EXPECT_FALSE(model.questionPrepared);
    EXPECT_EQ(scorer.Params().modelPath, Sjis(dir + "/missing/none.tcf"));
    ScorerResult unusable = scorer.PrepareQuestion(Sjis(offTopic));
    ASSERT_TRUE(unusable.error);
    EXPECT_EQ(U(*unusable.error),
              "内容評価用辞書が使用できないため、設問文ファイル : \n " + offTopic + " \n を処理できません。");
    EXPECT_TRUE(scorer.HasQuestion());
    EXPECT_EQ(scorer.QuestionPath(), Sjis(questionPath));

    // The question kept is the one that was in use: the tiny model back, the same similarity.
    EXPECT_TRUE(scorer.LoadModel(tiny.modelPath).questionPrepared);
    EXPECT_EQ(Scored(onTopic).contentSimilarity, before.contentSimilarity);
}

// A new model prepares the question again, whether it came from a file or as bytes.
TEST_F(ScorerTest, ANewModelPreparesTheQuestionAgain) {
    ASSERT_FALSE(scorer.Configure(Sjis(questionPath), ScoringParams()).error);
    const EssayRecord builtIn = Scored(onTopic);

    ASSERT_FALSE(scorer.Configure(Sjis(questionPath), tiny).error);
    ASSERT_NE(Scored(onTopic).contentSimilarity, builtIn.contentSimilarity);
    ScorerResult fromFile = scorer.LoadModel(ScoringParams().modelPath);
    EXPECT_FALSE(fromFile.error);
    EXPECT_TRUE(fromFile.questionPrepared);
    ExpectSameScores(Scored(onTopic), builtIn);

    ASSERT_FALSE(scorer.Configure("", tiny).error);
    ASSERT_TRUE(scorer.PrepareQuestionText(FileBytes(Sjis(questionPath)), S("設問")).questionPrepared);
    EXPECT_EQ(U(scorer.QuestionPath()), "設問");
    EXPECT_TRUE(scorer.LoadModel(ScoringParams().modelPath).questionPrepared);
    ExpectSameScores(Scored(onTopic), builtIn);
}

TEST_F(ScorerTest, StagesAndAnAnswerWithoutQuestion) {
    ASSERT_FALSE(scorer.Configure("", tiny).error);
    EXPECT_FALSE(scorer.HasQuestion());
    std::vector<EssayStatus> stages;
    bool askedWithQuestion = true;
    ScoringHooks stop{[&](EssayStatus s) { stages.push_back(s); },
                      [&](const EssayRecord& r, const ScoreOutcome& sofar) {
                          EXPECT_TRUE(r.rhetoricFeaturesDone && r.organizationFeaturesDone);
                          askedWithQuestion = sofar.withQuestion;
                          return false;
                      }};
    EssayRecord r(Sjis(offTopic), "off");
    ScoreOutcome stopped = scorer.Score(r, false, stop);
    EXPECT_EQ(stages, (std::vector<EssayStatus>{kStatusReading, kStatusAnalysing, kStatusScoring}));
    EXPECT_FALSE(askedWithQuestion);
    EXPECT_TRUE(stopped.stopped);
    EXPECT_EQ(r.status, kStatusUnscored);
    EXPECT_FALSE(r.rhetoricScored || r.organizationScored);

    // Going on without a question gives the two axes that need none, and the answer stays unscored.
    ScoreOutcome without = scorer.Score(r, false);
    EXPECT_FALSE(without.stopped || without.withQuestion);
    EXPECT_EQ(r.status, kStatusUnscored);
    EXPECT_TRUE(r.rhetoricScored && r.organizationScored);
    EXPECT_EQ(r.finalScore, 0);

    // With a question the same record is scored, its kept scores and their comments as they were.
    ASSERT_TRUE(scorer.PrepareQuestion(Sjis(questionPath)).questionPrepared);
    const std::string kept = r.commentText;
    EXPECT_TRUE(scorer.Score(r, false).withQuestion);
    EXPECT_EQ(r.status, kStatusScored);
    EXPECT_EQ(r.commentText.substr(0, kept.size()), kept);
    ExpectSameScores(r, Scored(offTopic));

    // A file that cannot be read is scored as an empty text, saying why.
    EssayRecord gone(Sjis(dir + "/gone.txt"), "gone");
    ScoreOutcome unread = scorer.Score(gone, false);
    EXPECT_EQ(unread.readError, dir + "/gone.txt: cannot be opened (No such file or directory)");
    EXPECT_EQ(gone.status, kStatusScored);
    EXPECT_EQ(gone.textLength, 3);
}

}  // namespace
}  // namespace tavi::test
