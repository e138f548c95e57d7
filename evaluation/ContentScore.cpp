#include <algorithm>
#include <cmath>
#include <string>
#include <unordered_map>

#include "content/ContentModel.h"
#include "evaluation/EssayRecord.h"

namespace tavi {
namespace {

constexpr int kContentCommentIndex = 16;
// Falling thresholds of the similarity: above 0.7 fine, above 0.5 somewhat off, else off.
constexpr double kContentFine = 0.7;
constexpr double kContentSomewhatOff = 0.5;

// The content-noun evidence of an answer: the dictionary nouns it shares with the question,
// with their places in the answer, and the question's nouns that it lacks.
void CompareContentNouns(const std::vector<ContentNounHit>& answerNouns,
                         const std::vector<ContentNounHit>& questionNouns, EssayEvidence& evidence) {
    // Question nouns by key, in order of first occurrence.
    std::vector<ContentNounEvidence> question;
    std::unordered_map<std::string, size_t> questionIndex;
    for (const ContentNounHit& hit : questionNouns) {
        auto [it, added] = questionIndex.try_emplace(hit.key, question.size());
        if (added) question.push_back({hit.key, hit.surface, 0, 0, {}});
        ++question[it->second].questionCount;
    }
    std::unordered_map<std::string, size_t> sharedIndex;
    for (const ContentNounHit& hit : answerNouns) {
        auto inQuestion = questionIndex.find(hit.key);
        if (inQuestion == questionIndex.end()) continue;
        auto [it, added] = sharedIndex.try_emplace(hit.key, evidence.sharedNouns.size());
        if (added)
            evidence.sharedNouns.push_back({hit.key, hit.surface, 0, question[inQuestion->second].questionCount, {}});
        ContentNounEvidence& shared = evidence.sharedNouns[it->second];
        ++shared.answerCount;
        shared.at.push_back(evidence.positions.Row(hit.row));
    }
    for (const ContentNounEvidence& noun : question)
        if (!sharedIndex.count(noun.key)) evidence.missingNouns.push_back(noun);
    std::stable_sort(
        evidence.missingNouns.begin(), evidence.missingNouns.end(),
        [](const ContentNounEvidence& a, const ContentNounEvidence& b) { return a.questionCount > b.questionCount; });
}

}  // namespace

void EssayRecord::ComputeContentSimilarity(const MorphemeTable& table, const DVector& questionVector,
                                           ContentModel& model, const std::vector<ContentNounHit>* questionNouns) {
    if (!model.dictionaryLoaded || !model.matrixLoaded) {
        // With nothing loaded the dictionary is tried once more (it reports its own failure);
        // its result sets no flag. Either way the similarity keeps its value.
        if (!model.dictionaryLoaded && !model.matrixLoaded) model.LoadDictionary();
        return;
    }
    std::vector<ContentNounHit> answerNouns;
    DVector answerVector = BuildContentVector(table, model, evidence ? &answerNouns : nullptr);
    if (std::shared_ptr<EssayEvidence> recorded = EvidenceToAmend()) {
        recorded->sharedNouns.clear();
        recorded->missingNouns.clear();
        CompareContentNouns(answerNouns, questionNouns ? *questionNouns : std::vector<ContentNounHit>(), *recorded);
        recorded->contentRecorded = true;
        evidence = std::move(recorded);
    }
    const long k = model.dimensionCount;
    // A question vector of another size was built with another model; its dimensions mean
    // nothing in this one, so the answer is given similarity 0 rather than a comparison over
    // the common part. No component beyond either vector is read.
    bool sameSpace = questionVector && questionVector.nl == 1 && questionVector.nh == k;
    double similarity = sameSpace ? std::sqrt(cosine_similarity(answerVector, questionVector, k)) : 0.0;
    // A scaling value of 0 (a truncated matrix file reads its missing values as 0) makes the
    // vectors infinite or not a number; such a comparison measures nothing, so it counts as 0
    // rather than turning every total into "nan".
    contentSimilarity = std::isfinite(similarity) ? similarity : 0.0;
    free_vector(answerVector, 1, k);
}

double EssayRecord::ScoreContent() {
    // Each call replaces the content comment of an earlier call.
    ClearAxisComments(kContentComments);
    int contentClass = ClassifyTwoThresholds(contentSimilarity, kContentFine, kContentSomewhatOff);
    AddComment(kContentCommentIndex, contentClass);
    contentScore = contentSimilarity;
    return contentScore;
}

}  // namespace tavi
