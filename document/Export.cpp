// The results file and the document's stored form.
#include <algorithm>
#include <set>

#include "analysis/Encoding.h"
#include "document/AtomicFile.h"
#include "document/CTaviDoc.h"

namespace tavi {
namespace {

// The stored form's real-valued fields, in file order; storing and loading walk the same lists.
constexpr double ScoringParams::*kWeights[] = {&ScoringParams::expectedLength, &ScoringParams::rhetoricWeight,
                                               &ScoringParams::organizationWeight, &ScoringParams::contentWeight};
constexpr double EssayRecord::*kStoredFeatures[] = {
    &EssayRecord::sentenceLengthMedian,    &EssayRecord::sentenceLengthMax,   &EssayRecord::phraseLengthMedian,
    &EssayRecord::phraseLengthMax,         &EssayRecord::bunsetsuPerPhraseMedian, &EssayRecord::bunsetsuPerPhraseMax,
    &EssayRecord::vocabularyDiversity,     &EssayRecord::kanaKanjiRatio,      &EssayRecord::longReadingShare9,
    &EssayRecord::longReadingShare11,      &EssayRecord::passiveRate,         &EssayRecord::attributiveSentences,
    &EssayRecord::continuativeSentences,   &EssayRecord::cueWordTotal,        &EssayRecord::demonstrativeTotal};

// Text mode: every line feed is written as carriage return and line feed.
std::string ToCrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

}  // namespace

void CTaviDoc::OnSaveResults() {
    static const std::string filter = Sjis("採点ファイル(*.csv)|*.csv|全て(*.*)|*.*||");
    std::string path;
    if (m_person.ChooseFileToSave({"CSV", filter}, path)) {
        std::string error;
        if (!WriteResultsFile(path, error)) {
            m_person.ShowMessageBox({Sjis("採点結果ファイル : \n ") + Utf8ToSjis(path) +
                                         Sjis(" \n に書き込めません。\n原因 : ") + Utf8ToSjis(error),
                                     "Tavi", MessageButtons::kOk, MessageIcon::kExclamation, 0, true});
        }
    }
    if (View()) View()->UpdateAllViews();
}

std::string ResultsFileBytes(ListView* view) {
    static const std::string header = Sjis("管理番号,ファイル名,状態,総合得点,文量減点,修辞,論理,内容,場所,\n");
    std::string text = header;
    if (view) {
        int rows = view->GetRowCount();
        std::string line;
        for (int row = 0; row < rows; ++row) {
            view->GetRowCsvLine(row, line);
            text += line;
        }
    }
    return ToCrLf(text);
}

std::string CTaviDoc::ResultsFileBytes() { return tavi::ResultsFileBytes(View()); }

bool CTaviDoc::WriteResultsFile(const std::string& nativePath, std::string& error) {
    if (!WriteFileAtomically(nativePath, ResultsFileBytes(), error)) return false;
    std::lock_guard lock(m_mutex);
    m_bResultsSaved = true;
    return true;
}

void StoreParameters(ParamArchive& ar, const std::string& questionPath, const ScoringParams& p,
                     const std::vector<EssayRecord>& answers) {
    ar.WriteString(questionPath);
    for (auto member : kWeights) ar.WriteF64(p.*member);
    ar.WriteI32(p.paragraphMode);
    ar.WriteI32(p.modelChoice);
    ar.WriteString(p.modelPath);
    for (auto member : kRhetoricRatios) ar.WriteF64(p.*member);
    for (auto member : kOrganizationRatios) ar.WriteF64(p.*member);
    ar.WriteI32(static_cast<int32_t>(answers.size()));
    for (const EssayRecord& r : answers) {
        ar.WriteU16(r.id);
        ar.WriteString(r.title);
        ar.WriteString(r.path);
        ar.WriteI32(r.status);
        for (auto member : kStoredFeatures) ar.WriteF64(r.*member);
    }
}

void CTaviDoc::Serialize(ParamArchive& ar) {
    if (ar.IsStoring()) {
        std::lock_guard lock(m_mutex);
        StoreParameters(ar, m_strQuestionPath, m_params, m_answers);
        return;
    }

    // Loading reads everything into temporaries first; a failure changes nothing.
    ScoringParams p;
    std::string questionPath = ar.ReadString();
    for (auto member : kWeights) p.*member = ar.ReadF64();
    p.paragraphMode = ar.ReadI32();
    p.modelChoice = ar.ReadI32();
    p.modelPath = ar.ReadString();
    for (auto member : kRhetoricRatios) p.*member = ar.ReadF64();
    for (auto member : kOrganizationRatios) p.*member = ar.ReadF64();
    if (!ar.Failed() && (p.paragraphMode < 0 || p.paragraphMode > 1))
        ar.Fail("paragraph mode " + std::to_string(p.paragraphMode) + " is neither 0 nor 1");
    if (!ar.Failed() && (p.modelChoice < 0 || p.modelChoice > 2))
        ar.Fail("model choice " + std::to_string(p.modelChoice) + " is not 0, 1 or 2");
    int32_t count = ar.ReadI32();
    if (!ar.Failed() && (count < 0 || count > 0xFFFF))
        ar.Fail("answer count " + std::to_string(count) + " is out of range");
    std::vector<EssayRecord> answers;
    std::set<uint16_t> ids;
    std::set<std::string> paths;
    for (int32_t k = 0; k < count && !ar.Failed(); ++k) {
        EssayRecord r;
        r.id = ar.ReadU16();
        r.title = ar.ReadString();
        r.path = ar.ReadString();
        int32_t status = ar.ReadI32();
        for (auto member : kStoredFeatures) r.*member = ar.ReadF64();
        r.longReadingKanji = r.longReadingShare9;
        if (ar.Failed()) break;
        if (status < kStatusUnscored || status > kStatusScored)
            ar.Fail("answer " + std::to_string(k + 1) + " has status " + std::to_string(status));
        else if (r.id == 0 || !ids.insert(r.id).second)
            ar.Fail("answer " + std::to_string(k + 1) + " has a missing or repeated management number");
        else if (r.path.empty() || !paths.insert(r.path).second)
            ar.Fail("answer " + std::to_string(k + 1) + " has a missing or repeated path");
        answers.push_back(std::move(r));
    }
    if (!ar.Failed() && !ar.AtEnd())
        ar.Fail("unexpected bytes after the last answer, at byte " + std::to_string(ar.Position()));
    if (ar.Failed()) return;

    // The answers come back unscored, to be scored again from their files: their features
    // are recomputed then.
    std::string oldModelPath;
    {
        std::lock_guard lock(m_mutex);
        if (!m_answers.empty() || m_bRunning) {
            ar.Fail("the document already holds answers");
            return;
        }
        oldModelPath = m_params.modelPath;
        m_params = p;
        m_strQuestionPath = questionPath;
    }
    if (p.modelPath != oldModelPath) LoadModel(p.modelPath);
    if (!questionPath.empty()) PrepareQuestion();
    for (EssayRecord& r : answers) AddRecord(std::move(r));
}

bool CTaviDoc::SaveParameterFile(const std::string& nativePath, std::string& error) {
    ParamArchive ar;
    Serialize(ar);
    return WriteFileAtomically(nativePath, ar.Bytes(), error);
}

bool CTaviDoc::LoadParameterFile(const std::string& nativePath, std::string& error) {
    std::string bytes;
    if (!ReadWholeFile(nativePath, bytes, error)) return false;
    ParamArchive ar(std::move(bytes));
    Serialize(ar);
    if (ar.Failed()) {
        error = ar.Error();
        return false;
    }
    return true;
}

}  // namespace tavi
