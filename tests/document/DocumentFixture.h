#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "analysis/Encoding.h"
#include "document/CTaviDoc.h"
#include "fakes/FakePerson.h"
#include "fakes/TestSupport.h"

namespace tavi::test {

// A document with a small three-dimensional content model (environment, cooking, music),
// a question about the environment and answers on and off that topic, all in a fresh folder.
class DocumentTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = TempDir();
        WriteTempFile("model/words.dic", DictionaryBytes());
        WriteTempFile("model/weights.siv", MatrixBytes());
        WriteTempFile("model/tiny.tcf", "DicFile words.dic  # the words\nsivfile weights.siv\n");
        questionPath = WriteTempFile("question.txt", "環境問題と社会について述べよ。");
        onTopic = WriteTempFile("on.txt", "環境問題は社会全体の課題である。技術と経済の両面から考える。");
        offTopic = WriteTempFile("off.txt", "料理と音楽が好きだ。");
        doc = std::make_unique<CTaviDoc>(person);
        doc->SetListView(&view);
        person.boxes.clear();  // the default model's messages, if any
    }
    void TearDown() override {
        if (doc) doc->WaitForRun();
    }

    // Switches to the small model through the detail dialog.
    void UseTinyModel() {
        person.detailDialog = [&](ScoringParams& p) {
            p.modelChoice = 2;
            p.modelPath = Sjis(dir + "/model/tiny.tcf");
            return true;
        };
        doc->OnParamDetail();
    }
    // Sets the question through the settings dialog.
    void SetQuestion(const std::string& nativePath) {
        person.questionDialog = [&, nativePath](std::string& path, ScoringParams&) {
            path = Sjis(nativePath);
            return true;
        };
        doc->OnQuestionSettings();
    }
    void Add(const std::string& nativePath) { ASSERT_TRUE(doc->AddAnswer(Sjis(nativePath))); }

    static std::string DictionaryBytes() {
        std::string bytes;
        for (const char* w : {"環境", "問題", "社会", "経済", "技術", "料理", "音楽"}) bytes += Sjis(w) + "\n";
        return bytes;
    }
    static std::string MatrixBytes();

    std::string dir, questionPath, onTopic, offTopic;
    FakePerson person;
    RecordingListView view;
    std::unique_ptr<CTaviDoc> doc;
};

inline std::string DocumentTest::MatrixBytes() {
    const double words[7][3] = {{1, 0, 0},       {0.8, 0.2, 0}, {0.9, 0, 0.1}, {0.7, 0.1, 0.2},
                                {0.6, 0.3, 0.1}, {0, 1, 0},     {0, 0, 1}};
    std::string bytes;
    auto put = [&](const void* p, size_t n) { bytes.append(static_cast<const char*>(p), n); };
    int32_t k = 3, n = 7;
    put(&k, 4);
    put(&n, 4);
    for (int d = 0; d < 3; ++d)
        for (int w = 0; w < 7; ++w) put(&words[w][d], 8);
    for (double s : {1.0, 1.0, 1.0}) put(&s, 8);
    return bytes;
}

}  // namespace tavi::test
