#pragma once

#include <memory>
#include <string>
#include <vector>

#include "analysis/Encoding.h"
#include "document/CTaviDoc.h"
#include "document/MemoryListView.h"
#include "fakes/FakePerson.h"

namespace tavi::test {

// A document with the sample question set, the default parameters and the built-in model,
// reporting to a fake person and an in-memory list.
struct SampleDocument {
    static constexpr const char* kNames[] = {
        "a01_long_on_topic",  "a02_short",       "a03_off_topic", "a04_no_kanji",    "a05_connectives",
        "a06_long_sentences", "a07_medium",      "a08_passive",   "a09_kanji_heavy", "a10_blank",
        "a11_demonstratives", "a12_mixed_width", "a13_utf8"};

    explicit SampleDocument(bool keepEvidence = false) {
        doc = std::make_unique<CTaviDoc>(person);
        doc->SetListView(&view);
        doc->SetKeepEvidence(keepEvidence);
        person.questionDialog = [](std::string& path, ScoringParams&) {
            path = Sjis(std::string(TAVI_SAMPLES_DIR) + "/question.txt");
            return true;
        };
        doc->OnQuestionSettings();
    }

    // The path of a sample answer, Shift_JIS.
    static std::string AnswerPath(const std::string& name) {
        return Sjis(std::string(TAVI_SAMPLES_DIR) + "/answers/" + name + ".txt");
    }

    FakePerson person;
    MemoryListView view;
    std::unique_ptr<CTaviDoc> doc;
};

// The bundled sample essays and the passive-voice answer of tests/data/cli/evidence, scored
// against the sample question, keeping evidence.
struct SampleRun : SampleDocument {
    explicit SampleRun(bool keepEvidence = true) : SampleDocument(keepEvidence) {
        std::vector<int> all;
        for (const char* name : kNames) {
            doc->AddAnswer(AnswerPath(name));
            all.push_back(static_cast<int>(all.size()));
        }
        doc->AddAnswer(Sjis(std::string(TAVI_TEST_DATA_DIR) + "/cli/evidence/passives.txt"));
        all.push_back(static_cast<int>(all.size()));
        doc->ScoreSelected(all);
        for (int i = 0; i < doc->GetAnswerCount(); ++i) answers.push_back(doc->GetAnswer(i));
    }

    std::vector<EssayRecord> answers;
};

}  // namespace tavi::test
