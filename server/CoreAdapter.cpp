#include "server/CoreAdapter.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "analysis/Encoding.h"
#include "analysis/MorphemeTools.h"
#include "document/CTaviDoc.h"
#include "document/ParamArchive.h"
#include "document/ResultsFile.h"
#include "document/Scorer.h"
#include "evaluation/Fit.h"
#include "report/EvidenceJson.h"
#include "report/Json.h"
#include "report/RecordCodec.h"
#include "report/Report.h"
#include "web/WebAssets.h"

namespace tavi::serve {

bool HasSjisForm(const std::string& utf8Name) {
    std::string sjis;
    return NativePathToSjis(utf8Name, sjis);
}

struct ScoringSession::State {
    Scorer scorer;
    std::string configured;  // question path and parameters the scorer holds
};

ScoringSession::ScoringSession() : m_state(std::make_unique<State>()) {
    // The analyser's first run goes on while the default model loads.
    m_state->scorer.StartLoadingAnalyzer();
    m_state->scorer.LoadModel(ScoringParams().modelPath);
}

ScoringSession::~ScoringSession() = default;

bool ScoringSession::Ready(std::string& error) {
    if (m_state->scorer.LoadAnalyzer()) return true;
    error = std::string("形態素解析のライブラリ ") + AnalyzerBinding::kDefaultLibrary +
            " を読み込めません。管理者に Debian のパッケージ libchasen2 と ipadic を入れてもらってください。";
    return false;
}

bool ScoringSession::Configure(const std::string& questionPath, const std::string& paramsJson, std::string& error) {
    std::string key = questionPath + '\n' + paramsJson;
    if (key == m_state->configured) return true;
    m_state->configured.clear();
    std::string sjisQuestion;
    if (!NativePathToSjis(questionPath, sjisQuestion)) {
        error = questionPath + ": パスに Shift_JIS で表せない文字があります。";
        return false;
    }
    ScorerResult result = m_state->scorer.Configure(sjisQuestion, ParamsFromJson(paramsJson));
    if (result.error) {
        // The model's messages name the file it could not read; the question is named without
        // the data folder, which is the server's own.
        std::string cause;
        if (!result.messages.empty()) {
            cause = SjisToUtf8(result.messages.back().text);
        } else {
            std::string text = *result.error;
            if (size_t at = text.find(sjisQuestion); at != std::string::npos)
                text.replace(at, sjisQuestion.size(), sjisQuestion.substr(sjisQuestion.rfind('/') + 1));
            cause = SjisToUtf8(text);
        }
        error = "設問文を準備できません: " + cause;
        return false;
    }
    m_state->configured = key;
    return true;
}

bool ScoringSession::Score(const std::string& questionPath, const std::string& paramsJson,
                           const std::string& answerPath, int number, std::string& record, std::string& error) {
    if (!Configure(questionPath, paramsJson, error)) return false;
    std::string sjisAnswer;
    if (!NativePathToSjis(answerPath, sjisAnswer)) {
        error = answerPath + ": パスに Shift_JIS で表せない文字があります。";
        return false;
    }
    EssayRecord r(sjisAnswer, sjisAnswer.substr(sjisAnswer.rfind('/') + 1));
    r.id = static_cast<uint16_t>(number);
    m_state->scorer.Score(r, true);
    if (r.status != kStatusScored) {
        error = "この回答文は採点できませんでした。";
        return false;
    }
    record = EncodeRecord(r);
    return true;
}

std::string EscapeHtml(std::string_view utf8) { return HtmlEscape(utf8); }

std::string_view Asset(std::string_view name) { return WebAsset(name); }

}  // namespace tavi::serve
