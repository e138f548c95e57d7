// The evidence of the sample essays, scored by the document with ChaSen and the built-in model:
// every comment comes with what supports it, the evidence agrees with the features, its spans
// index the text as read, and it travels between processes and into the JSON output.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "analysis/MorphemeTools.h"
#include "evaluation/CommentEvidence.h"
#include "evaluation/CommentTable.h"
#include "evaluation/RhetoricThresholds.h"
#include "fakes/SampleRun.h"
#include "fakes/TestSupport.h"
#include "report/EvidenceJson.h"
#include "report/Json.h"
#include "report/RecordCodec.h"
#include "report/Report.h"

namespace tavi::test {
namespace {

// Shift_JIS bytes of a text without full stops, commas and ideographic spaces: what a
// sentence or phrase adds to its length.
size_t CountedBytes(std::string_view sjis) {
    static const std::string skipped[] = {Sjis("。"), Sjis("、"), Sjis("．"), Sjis("，"), Sjis("　")};
    size_t bytes = 0;
    for (size_t at = 0; at < sjis.size();) {
        size_t n = SjisCharLength(sjis, at);
        std::string_view c = sjis.substr(at, n);
        if (std::find(std::begin(skipped), std::end(skipped), c) == std::end(skipped)) bytes += n;
        at += n;
    }
    return bytes;
}

class SampleEvidence : public testing::Test {
protected:
    static void SetUpTestSuite() { s_run = new SampleRun(); }
    static void TearDownTestSuite() {
        delete s_run;
        s_run = nullptr;
    }
    static const std::vector<EssayRecord>& Answers() { return s_run->answers; }
    static SampleRun* s_run;
};
SampleRun* SampleEvidence::s_run = nullptr;

TEST_F(SampleEvidence, EveryAnswerIsScoredWithEvidence) {
    ASSERT_EQ(Answers().size(), 14u);
    for (const EssayRecord& r : Answers()) {
        EXPECT_EQ(r.status, kStatusScored) << U(r.title);
        ASSERT_TRUE(r.evidence) << U(r.title);
        EXPECT_TRUE(r.evidence->rhetoricRecorded);
        EXPECT_TRUE(r.evidence->organizationRecorded);
        EXPECT_TRUE(r.evidence->contentRecorded);
    }
}

TEST_F(SampleEvidence, AgreesWithTheFeaturesItExplains) {
    for (const EssayRecord& r : Answers()) {
        SCOPED_TRACE(U(r.title));
        const EssayEvidence& e = *r.evidence;
        // Sentence and phrase lengths, bunsetsu.
        EXPECT_EQ(LongestSentence(e) ? LongestSentence(e)->bytes : 0, r.sentenceLengthMax);
        EXPECT_EQ(static_cast<int32_t>(e.phrases.size()), r.phraseStatsCount);
        EXPECT_EQ(LongestPhrase(e) ? LongestPhrase(e)->bytes : 0, r.phraseLengthMax);
        EXPECT_EQ(MostFunctionWords(e) ? MostFunctionWords(e)->functionWords : 0, r.bunsetsuPerPhraseMax);
        // Kanji and kana.
        EXPECT_EQ(e.kanjiBytes + e.kanaBytes, r.textLength);
        EXPECT_EQ(e.kanjiRuns.empty(), std::isnan(r.longReadingShare9));
        for (const WordEvidence& noun : e.kanjiNouns) EXPECT_EQ(noun.count, noun.at.size());
        // Noun-modifying predicates and continuative chains.
        EXPECT_EQ(AttributiveSentences(e, true).size(), r.attributiveSentences);
        EXPECT_EQ(LinkedSentences(e, true).size(), r.continuativeSentences);
        uint32_t passivesInSentences = 0;
        for (const SentenceEvidence& s : e.sentences) {
            EXPECT_EQ(s.passives, s.passivesAt.size());
            EXPECT_EQ(s.attributive, s.attributiveAt.size());
            EXPECT_EQ(s.links, s.linksAt.size());
            passivesInSentences += s.passives;
        }
        EXPECT_LE(passivesInSentences, e.passives);
        // Cue words and demonstratives.
        size_t cueWords = 0, demonstratives = 0;
        for (const OrganizationSentence& s : e.organization) {
            cueWords += s.cueWords.size();
            demonstratives += s.demonstratives.size();
        }
        EXPECT_EQ(cueWords, r.cueWordTotal);
        EXPECT_EQ(demonstratives, r.demonstrativeTotal);
    }
}

// tests/data/cli/evidence/passives.txt, worked out by hand: 私は先生に叱られ、友達に笑われ、親に怒られた。
TEST_F(SampleEvidence, PassiveAnswerByHand) {
    const EssayRecord& r = Answers().back();
    ASSERT_EQ(r.title, "passives.txt");
    const EssayEvidence& e = *r.evidence;
    // One sentence of 20 characters without its commas and full stop; phrases of 8, 6 and 6.
    ASSERT_EQ(e.sentences.size(), 1u);
    EXPECT_EQ(e.sentences[0].bytes, 40u);
    EXPECT_EQ(r.sentenceLengthMedian, 40);
    ASSERT_EQ(e.phrases.size(), 3u);
    EXPECT_EQ(e.phrases[0].bytes, 16u);
    EXPECT_EQ(r.phraseLengthMedian, 12);
    EXPECT_EQ(r.phraseLengthMax, 16);
    // Kanji morphemes 私 先生 叱ら 友達 笑わ 親 怒ら: 24 bytes; kana は に れ に れ に れ た and the
    // 3 bytes of the end row: 19.
    EXPECT_EQ(e.kanjiBytes, 24u);
    EXPECT_EQ(e.kanaBytes, 19u);
    EXPECT_EQ(r.kanaKanjiRatio, 19.0 / 24.0);
    // Four kanji nouns, each once: Yule's K is 0. Their readings ワタシ センセイ トモダチ オヤ are
    // at most 8 bytes, so none is long.
    EXPECT_EQ(e.kanjiNouns.size(), 4u);
    EXPECT_EQ(r.vocabularyDiversity, 0);
    EXPECT_EQ(e.kanjiRuns.size(), 4u);
    EXPECT_EQ(r.longReadingShare9, 0);
    // Three passive suffixes in three phrases: a rate of 1 per phrase.
    EXPECT_EQ(e.passives, 3u);
    EXPECT_EQ(r.passiveRate, 1);
}

TEST_F(SampleEvidence, SpansIndexTheTextAsRead) {
    const MorphemeTools tools;
    for (const EssayRecord& r : Answers()) {
        SCOPED_TRACE(U(r.title));
        const EssayEvidence& e = *r.evidence;
        // The text is the file as the reader gives it.
        std::string read;
        tools.ReadAnswerFile(r.path, read, MorphemeTools::kParagraphBlankLines);
        EXPECT_EQ(e.text, read);
        CharacterIndex text(e.text);
        uint32_t previousEnd = 0;
        for (const SentenceEvidence& s : e.sentences) {
            EXPECT_LE(previousEnd, s.span.begin);
            EXPECT_LE(s.span.begin, s.span.end);
            EXPECT_LE(s.span.end, text.Characters());
            previousEnd = s.span.end;
            // A sentence's length is its text without punctuation and spaces, and 3 bytes for
            // the end-of-line row before the first sentence of a later paragraph.
            size_t counted = CountedBytes(text.Cut(s.span));
            EXPECT_TRUE(s.bytes == counted || s.bytes == counted + 3) << U(text.Cut(s.span)) << " " << s.bytes;
            for (const auto* marks : {&s.passivesAt, &s.attributiveAt, &s.linksAt})
                for (TextSpan at : *marks) {
                    EXPECT_LE(s.span.begin, at.begin);
                    EXPECT_LE(at.end, s.span.end);
                    EXPECT_LT(at.begin, at.end);
                }
        }
        for (const PhraseEvidence& p : e.phrases) {
            size_t counted = CountedBytes(text.Cut(p.span));
            EXPECT_TRUE(p.bytes == counted || p.bytes == counted + 3) << U(text.Cut(p.span)) << " " << p.bytes;
        }
        for (const WordEvidence& noun : e.kanjiNouns)
            for (TextSpan at : noun.at) EXPECT_EQ(text.Cut(at), noun.word);
        for (const KanjiRunEvidence& run : e.kanjiRuns) EXPECT_TRUE(tools.HasKanji(text.Cut(run.span)));
        for (const OrganizationSentence& s : e.organization) {
            for (const auto* hits : {&s.cueWords, &s.demonstratives})
                for (const CueWordHit& hit : *hits) {
                    EXPECT_EQ(text.Cut(hit.at), hit.word);
                    EXPECT_LE(s.span.begin, hit.at.begin);
                    EXPECT_LE(hit.at.end, s.span.end);
                }
        }
        std::string key;
        for (const ContentNounEvidence& noun : e.sharedNouns) {
            EXPECT_EQ(noun.answerCount, noun.at.size());
            EXPECT_GT(noun.questionCount, 0u);
            for (TextSpan at : noun.at) EXPECT_EQ(tools.ToHiragana(text.Cut(at), key), noun.key);
        }
    }
}

TEST_F(SampleEvidence, QuestionNounsAreSharedOrMissingNeverBoth) {
    for (const EssayRecord& r : Answers()) {
        SCOPED_TRACE(U(r.title));
        std::set<std::string> shared;
        for (const ContentNounEvidence& noun : r.evidence->sharedNouns) EXPECT_TRUE(shared.insert(noun.key).second);
        for (const ContentNounEvidence& noun : r.evidence->missingNouns) {
            EXPECT_FALSE(shared.count(noun.key)) << U(noun.key);
            EXPECT_EQ(noun.answerCount, 0u);
            EXPECT_GT(noun.questionCount, 0u);
        }
        // Every answer is compared with the same question nouns.
        size_t questionNouns = shared.size() + r.evidence->missingNouns.size();
        EXPECT_EQ(questionNouns,
                  Answers()[0].evidence->sharedNouns.size() + Answers()[0].evidence->missingNouns.size());
    }
}

// What must come with each comment, checked on every answer that draws it.
void ExpectSupport(const EssayRecord& r, const ReceivedComment& c, const ScoringParams& params) {
    SCOPED_TRACE(U(r.title) + " comment " + std::to_string(c.index) + " class " + std::to_string(c.commentClass));
    const EssayEvidence& e = *r.evidence;
    const bool judged = c.commentClass > 0;
    switch (c.index) {
        case kVocabularyComment: {
            // Without kanji nouns K is 10000; above 112 otherwise needs repeated nouns, the most
            // repeated listed first.
            if (e.kanjiNouns.empty()) {
                EXPECT_EQ(r.vocabularyDiversity, 10000);
                break;
            }
            auto repeated = RepeatedKanjiNouns(e, 10);
            ASSERT_FALSE(repeated.empty());
            EXPECT_EQ(repeated[0]->count, e.kanjiNouns[0].count);
            break;
        }
        case kSentenceLengthMedianComment:
        case kSentenceLengthMaxComment:
            if (!judged) {
                EXPECT_LT(r.sentenceStatsCount, kMinimumPhrases);
                break;
            }
            ASSERT_NE(LongestSentence(e), nullptr);
            EXPECT_EQ(LongestSentence(e)->bytes, r.sentenceLengthMax);
            EXPECT_FALSE(SentencesFrom(e, FindRhetoricFeature(c.index)->thresholds[0]).empty());
            if (c.index == kSentenceLengthMaxComment) {
                EXPECT_GE(LongestSentence(e)->bytes, c.commentClass == 2 ? 272u : 198u);
            }
            break;
        case kPhraseLengthMedianComment:
        case kPhraseLengthMaxComment:
            if (!judged) {
                EXPECT_LT(r.phraseStatsCount, kMinimumPhrases);
                break;
            }
            ASSERT_NE(LongestPhrase(e), nullptr);
            EXPECT_EQ(LongestPhrase(e)->bytes, r.phraseLengthMax);
            EXPECT_FALSE(PhrasesFrom(e, FindRhetoricFeature(c.index)->thresholds[0]).empty());
            break;
        case kBunsetsuMedianComment:
        case kBunsetsuMaxComment:
            if (!judged) break;
            ASSERT_NE(MostFunctionWords(e), nullptr);
            EXPECT_EQ(MostFunctionWords(e)->functionWords, r.bunsetsuPerPhraseMax);
            EXPECT_FALSE(PhrasesWithFunctionWordsFrom(e, FindRhetoricFeature(c.index)->thresholds[0]).empty());
            break;
        case kPassiveComment:
            if (!judged) break;
            ASSERT_FALSE(PassiveSentences(e).empty());
            for (const SentenceEvidence* s : PassiveSentences(e))
                for (TextSpan at : s->passivesAt) {
                    std::string word = U(CharacterIndex(e.text).Cut(at));
                    EXPECT_TRUE(word == "れ" || word == "られ" || word == "れる" || word == "られる") << word;
                }
            break;
        case kKanjiShareComment:
            EXPECT_EQ(e.kanjiBytes + e.kanaBytes, r.textLength);
            if (!judged) {
                EXPECT_EQ(e.kanjiBytes, 0u);
            }
            // Bands 1 and 2 mean much kanji, 3 and 4 little.
            if (c.commentClass == 1 || c.commentClass == 2) {
                EXPECT_LT(e.kanaBytes, e.kanjiBytes * 0.94);
            }
            if (c.commentClass >= 3) {
                EXPECT_GE(e.kanaBytes, e.kanjiBytes * 1.28);
            }
            break;
        case kLongReadingComment:
            if (!judged) {
                EXPECT_EQ(e.kanjiBytes, 0u);
                break;
            }
            for (const KanjiRunEvidence* run : LongReadingRuns(e)) EXPECT_GT(run->readingBytes, kLongReadingBytes);
            EXPECT_LE(LongReadingRuns(e).size(), e.kanjiRuns.size() * 0.27);
            break;
        case kAttributiveComment:
            if (!judged) break;
            EXPECT_GE(AttributiveSentences(e, true).size(), 2u);
            for (const SentenceEvidence* s : AttributiveSentences(e, true))
                EXPECT_GT(s->attributive, kAttributivePerSentence);
            break;
        case kContinuativeComment:
            if (!judged) break;
            EXPECT_GE(LinkedSentences(e, true).size(), 1u);
            for (const SentenceEvidence* s : LinkedSentences(e, true)) EXPECT_GT(s->links, kLinksPerSentence);
            break;
        case kDemonstrativeComment:
        case kCueWordComment: {
            size_t hits = 0;
            for (const OrganizationSentence& s : e.organization)
                hits += c.index == kCueWordComment ? s.cueWords.size() : s.demonstratives.size();
            EXPECT_EQ(hits, c.index == kCueWordComment ? r.cueWordTotal : r.demonstrativeTotal);
            EXPECT_EQ(hits == 0, c.commentClass == 2);
            break;
        }
        case kLengthComment: {
            double ratio = r.textLength / (params.expectedLength * 2.0);
            const double upper[] = {0, 0.75, 0.4, 0.1};
            EXPECT_LT(ratio, upper[c.commentClass]);
            break;
        }
        case kContentComment:
            EXPECT_LE(r.contentSimilarity, 0.7);
            if (c.commentClass == 2) {
                EXPECT_LE(r.contentSimilarity, 0.5);
            }
            EXPECT_TRUE(e.contentRecorded);
            EXPECT_FALSE(e.sharedNouns.empty() && e.missingNouns.empty());  // the question has content nouns
            break;
        default:
            ADD_FAILURE() << "unknown comment";
    }
}

TEST_F(SampleEvidence, EveryCommentIndexIsDrawnWithTheEvidenceBehindIt) {
    std::map<int, std::set<int>> drawn;  // index -> classes seen
    for (const EssayRecord& r : Answers()) {
        std::vector<ReceivedComment> comments = ReceivedComments(r.commentText);
        // Every line of the comment text is a comment of the table.
        EXPECT_EQ(comments.size(), static_cast<size_t>(std::count(r.commentText.begin(), r.commentText.end(), '\n')));
        for (const ReceivedComment& c : comments) {
            drawn[c.index].insert(c.commentClass);
            ExpectSupport(r, c, s_run->doc->GetParams());
        }
    }
    for (int index = 1; index <= 16; ++index) EXPECT_TRUE(drawn.count(index)) << "no answer draws comment " << index;
    // The judged classes, not only the cannot-judge texts, are among them.
    EXPECT_TRUE(drawn[kPassiveComment].count(1));
    EXPECT_TRUE(drawn[kSentenceLengthMaxComment].count(2));
    EXPECT_TRUE(drawn[kKanjiShareComment].count(1) && drawn[kKanjiShareComment].count(4));
}

TEST_F(SampleEvidence, KeepingEvidenceChangesNoFeatureScoreOrComment) {
    SampleRun plain(false);
    ASSERT_EQ(plain.answers.size(), Answers().size());
    for (size_t i = 0; i < Answers().size(); ++i) {
        EXPECT_FALSE(plain.answers[i].evidence);
        EssayRecord withEvidence = Answers()[i];
        withEvidence.evidence = nullptr;
        EXPECT_EQ(EncodeRecord(withEvidence), EncodeRecord(plain.answers[i])) << U(Answers()[i].title);
    }
}

TEST_F(SampleEvidence, TravelsBetweenProcessesWhole) {
    for (const EssayRecord& r : Answers()) {
        EssayRecord back;
        ASSERT_TRUE(DecodeRecord(EncodeRecord(r), back));
        ASSERT_TRUE(back.evidence);
        EXPECT_EQ(EncodeRecord(back), EncodeRecord(r));
        EXPECT_EQ(back.evidence->text, r.evidence->text);
        EXPECT_EQ(back.evidence->sentences.size(), r.evidence->sentences.size());
        EXPECT_EQ(back.evidence->missingNouns.size(), r.evidence->missingNouns.size());
        // Read for its scores only, the same record without its evidence.
        EssayRecord scores;
        ASSERT_TRUE(DecodeRecord(EncodeRecord(r), scores, false));
        EXPECT_FALSE(scores.evidence);
        scores.evidence = r.evidence;
        EXPECT_EQ(EncodeRecord(scores), EncodeRecord(r));
    }
    // A count that the bytes cannot hold is refused rather than allocated.
    std::string bytes = EncodeRecord(Answers()[5]);
    std::string text = Answers()[5].evidence->text;
    size_t at = bytes.find(text);
    ASSERT_NE(at, std::string::npos);
    size_t countAt = at + text.size() + 4;  // after the text: the rhetoric flag, then the sentence count
    ASSERT_LT(countAt + 4, bytes.size());
    bytes[countAt + 3] = '\x7f';
    EssayRecord corrupt;
    EXPECT_FALSE(DecodeRecord(bytes, corrupt));
}

// A UTF-8 string cut into its code points (each kept as its bytes), to index it by the
// character offsets of the evidence.
std::vector<std::string> Points(const std::string& utf8) {
    std::vector<std::string> points;
    for (unsigned char c : utf8) {
        if ((c & 0xC0) != 0x80) points.emplace_back();
        points.back() += static_cast<char>(c);
    }
    return points;
}
std::string Cut(const std::vector<std::string>& points, uint32_t begin, uint32_t end) {
    std::string out;
    for (uint32_t i = begin; i < end && i < points.size(); ++i) out += points[i];
    return out;
}

TEST_F(SampleEvidence, JsonCarriesEachCommentWithItsEvidence) {
    auto json = nlohmann::ordered_json::parse(FormatJson(*s_run->doc));
    ASSERT_EQ(json["answers"].size(), Answers().size());
    for (size_t i = 0; i < Answers().size(); ++i) {
        const EssayRecord& r = Answers()[i];
        const auto& answer = json["answers"][i];
        SCOPED_TRACE(U(r.title));
        const auto& evidence = answer["evidence"];
        ASSERT_TRUE(evidence.is_object());
        EXPECT_EQ(evidence["text"], U(r.evidence->text));
        std::vector<std::string> text = Points(evidence["text"]);
        // The comments in the order of the comment text, with their class.
        std::vector<ReceivedComment> comments = ReceivedComments(r.commentText);
        ASSERT_EQ(evidence["comments"].size(), comments.size());
        for (size_t k = 0; k < comments.size(); ++k) {
            const auto& entry = evidence["comments"][k];
            EXPECT_EQ(entry["index"], comments[k].index);
            EXPECT_EQ(entry["class"], comments[k].commentClass);
            EXPECT_EQ(entry["comment"], U(comments[k].text));
            if (entry.contains("longest") && !entry["longest"].is_null()) {
                const auto& longest = entry["longest"];
                EXPECT_EQ(longest["bytes"],
                          comments[k].index <= kSentenceLengthMaxComment ? r.sentenceLengthMax : r.phraseLengthMax);
                uint32_t begin = longest["begin"], end = longest["end"];
                EXPECT_EQ(Cut(text, begin, end), longest["text"]);
            }
            if (comments[k].index == kCueWordComment) {
                EXPECT_EQ(entry["cueWords"].size(), r.cueWordTotal);
            }
            if (comments[k].index == kDemonstrativeComment) {
                EXPECT_EQ(entry["demonstratives"].size(), r.demonstrativeTotal);
            }
        }
        // Cue words and demonstratives, sentence by sentence, also without a comment.
        size_t cueWords = 0;
        for (const auto& sentence : evidence["organization"]["sentences"]) {
            uint32_t begin = sentence["begin"], end = sentence["end"];
            EXPECT_EQ(Cut(text, begin, end), sentence["text"]);
            for (const auto& hit : sentence["cueWords"]) {
                uint32_t b = hit["begin"], e = hit["end"];
                EXPECT_EQ(Cut(text, b, e), hit["word"]);
                ++cueWords;
            }
        }
        EXPECT_EQ(cueWords, r.cueWordTotal);
    }
}

// Every text of the comment table, one per line, as a comment text.
std::string EveryTableComment() {
    std::string all;
    for (int index = kVocabularyComment; index <= kContentComment; ++index)
        for (int commentClass = -1; commentClass <= 4; ++commentClass)
            if (const std::string* text = FindCommentText(index, commentClass)) all += *text + "\n";
    return all;
}

// The spans of every object in `json` that has a begin and an end.
void CollectSpans(const nlohmann::ordered_json& json, std::set<std::pair<uint32_t, uint32_t>>& spans) {
    if (json.is_object() && json.contains("begin") && json.contains("end"))
        spans.insert({json["begin"].get<uint32_t>(), json["end"].get<uint32_t>()});
    if (json.is_structured())
        for (const auto& item : json) CollectSpans(item, spans);
}

TEST_F(SampleEvidence, EveryCommentOfTheTableIsDescribedOnceAndShownByBoth) {
    const ScoringParams& params = s_run->doc->GetParams();
    // Answers with and without sentences, kanji, cue words and shared nouns.
    for (const EssayRecord& sample : Answers()) {
        SCOPED_TRACE(U(sample.title));
        EssayRecord r = sample;
        r.commentText = EveryTableComment();
        std::vector<CommentDescription> described;
        for (ReceivedComment& comment : ReceivedComments(r.commentText))
            described.push_back(DescribeComment(r, params, std::move(comment)));
        const MarkedAnswer marked = MarkAnswer(r, params);
        const auto json = EvidenceJson(r, params);
        ASSERT_EQ(described.size(), 46u);
        ASSERT_EQ(marked.details.size(), described.size());
        ASSERT_EQ(json["comments"].size(), described.size());
        for (size_t k = 0; k < described.size(); ++k) {
            const CommentDescription& d = described[k];
            SCOPED_TRACE("comment " + std::to_string(d.comment.index) + " class " +
                         std::to_string(d.comment.commentClass));
            // One block, or two renderers would write the same keys or marks twice.
            const int blocks = d.vocabulary.has_value() + d.sentences.has_value() + d.phrases.has_value() +
                               d.counted.has_value() + d.kanji.has_value() + d.hits.has_value() + d.length.has_value() +
                               d.content.has_value();
            EXPECT_EQ(blocks, 1);
            EXPECT_EQ(d.passives.has_value(), d.comment.index == kPassiveComment);
            if (const RhetoricFeature* feature = FindRhetoricFeature(d.comment.index)) {
                EXPECT_TRUE(d.value);
                EXPECT_EQ(d.thresholds.size(), feature->band ? 4u : 2u);
            }
            EXPECT_EQ(marked.comments[k].text, d.comment.text);
            EXPECT_FALSE(marked.details[k].empty());
            EXPECT_EQ(json["comments"][k]["index"], d.comment.index);
            EXPECT_GT(json["comments"][k].size(), 4u) << json["comments"][k].dump();  // more than who it is
        }
    }
}

TEST_F(SampleEvidence, HtmlMarksLieOnTheSpansTheJsonGivesTheirComment) {
    const ScoringParams& params = s_run->doc->GetParams();
    size_t checked = 0;
    std::set<char> kinds;
    for (const EssayRecord& sample : Answers()) {
        for (const std::string& commentText : {sample.commentText, EveryTableComment()}) {
            SCOPED_TRACE(U(sample.title));
            EssayRecord r = sample;
            r.commentText = commentText;
            const MarkedAnswer marked = MarkAnswer(r, params);
            const auto comments = EvidenceJson(r, params)["comments"];
            ASSERT_EQ(comments.size(), marked.comments.size());
            std::vector<std::set<std::pair<uint32_t, uint32_t>>> spans(comments.size());
            for (size_t k = 0; k < comments.size(); ++k) CollectSpans(comments[k], spans[k]);
            for (const EvidenceMark& mark : marked.marks) {
                if (mark.comment < 0) continue;
                EXPECT_TRUE(spans[mark.comment].count({mark.span.begin, mark.span.end}))
                    << mark.title << " " << mark.span.begin << "-" << mark.span.end;
                kinds.insert(mark.kind);
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 500u);
    EXPECT_EQ(kinds.size(), std::size(kMarkStyles));  // sentences, phrases, words, long readings, good
}

}  // namespace
}  // namespace tavi::test
