// The results file and the document's stored form.
#include <algorithm>
#include <set>
#include <type_traits>

#include "analysis/Encoding.h"
#include "analysis/FileIo.h"
#include "document/CTaviDoc.h"

namespace tavi {
namespace {

// The stored form's real-valued fields, in file order; storing and loading walk the same lists.
constexpr double ScoringParams::*kWeights[] = {&ScoringParams::expectedLength, &ScoringParams::rhetoricWeight,
                                               &ScoringParams::organizationWeight, &ScoringParams::contentWeight};
constexpr double EssayRecord::*kStoredFeatures[] = {&EssayRecord::sentenceLengthMedian,
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
                                                    &EssayRecord::demonstrativeTotal};

// The stored form's fields in file order, named once for storing and for loading, with the
// checks of what was loaded.
// Storing takes them as const, loading fills them.
template <typename Archive, typename Path, typename Params, typename Answers>
void StoredFields(Archive& io, Path& questionPath, Params& p, Answers& answers) {
    io.Str(questionPath);
    for (auto member : kWeights) io.Real(p.*member);
    io.Int(p.paragraphMode);
    io.Int(p.modelChoice);
    io.Str(p.modelPath);
    for (auto member : kRhetoricRatios) io.Real(p.*member);
    for (auto member : kOrganizationRatios) io.Real(p.*member);
    io.Check([&] {
        if (p.paragraphMode != 0 && p.paragraphMode != 1)
            return "paragraph mode " + std::to_string(p.paragraphMode) + " is neither 0 nor 1";
        if (p.modelChoice < 0 || p.modelChoice > 2)
            return "model choice " + std::to_string(p.modelChoice) + " is not 0, 1 or 2";
        return std::string();
    });
    int32_t count = static_cast<int32_t>(answers.size());
    io.Int(count);
    io.Check([&] {
        return count >= 0 && count <= 0xFFFF ? std::string()
                                             : "answer count " + std::to_string(count) + " is out of range";
    });
    std::set<uint16_t> ids;
    std::set<std::string> paths;
    for (int32_t k = 0; k < count && !io.Failed(); ++k) {
        if constexpr (!std::is_const_v<Answers>)
            if (static_cast<size_t>(k) == answers.size()) answers.emplace_back();  // loading
        auto& r = answers[k];
        int32_t status = r.status;
        io.U16(r.id);
        io.Str(r.title);
        io.Str(r.path);
        io.Int(status);
        for (auto member : kStoredFeatures) io.Real(r.*member);
        io.Check([&] {
            std::string answer = "answer " + std::to_string(k + 1);
            if (status < kStatusUnscored || status > kStatusScored)
                return answer + " has status " + std::to_string(status);
            if (r.id == 0 || !ids.insert(r.id).second) return answer + " has a missing or repeated management number";
            if (r.path.empty() || !paths.insert(r.path).second) return answer + " has a missing or repeated path";
            return std::string();
        });
    }
}

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
    static const std::string header = [] {
        std::string cells[ListView::kColumns];
        for (int c = 0; c < ListView::kColumns; ++c) cells[c] = Sjis(kListColumns[c].header);
        return FormatCsvLine(cells);
    }();
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
    ArchiveWriter io{ar};
    StoredFields(io, questionPath, p, answers);
}

void CTaviDoc::Serialize(ParamArchive& ar) {
    if (ar.IsStoring()) {
        std::lock_guard lock(m_mutex);
        StoreParameters(ar, m_strQuestionPath, m_scorer.Params(), m_answers);
        return;
    }

    // Loading reads everything into temporaries first; a failure changes nothing.
    ScoringParams p;
    std::string questionPath;
    std::vector<EssayRecord> answers;
    ArchiveReader io{ar};
    StoredFields(io, questionPath, p, answers);
    if (!ar.Failed() && !ar.AtEnd())
        ar.Fail("unexpected bytes after the last answer, at byte " + std::to_string(ar.Position()));
    if (ar.Failed()) return;
    for (EssayRecord& r : answers) r.longReadingKanji = r.longReadingShare9;

    // The answers come back unscored, to be scored again from their files: their features
    // are recomputed then.
    std::string oldModelPath;
    {
        std::lock_guard lock(m_mutex);
        if (!m_answers.empty() || m_bRunning) {
            ar.Fail("the document already holds answers");
            return;
        }
        oldModelPath = m_scorer.Params().modelPath;
        m_scorer.SetParams(p);  // all but the model path, which LoadModel takes
        m_strQuestionPath = questionPath;
    }
    DocResult result;
    if (p.modelPath != oldModelPath) {
        result = LoadModel(p.modelPath);
    } else if (!questionPath.empty()) {
        result.messages = PrepareQuestion().messages;
    }
    Report(m_person, result);
    for (EssayRecord& r : answers) AddRecord(std::move(r));
}

bool CTaviDoc::SaveParameterFile(const std::string& nativePath, std::string& error) {
    ParamArchive ar;
    Serialize(ar);
    return WriteFileAtomically(nativePath, ar.Bytes(), error);
}

bool CTaviDoc::LoadParameterFile(const std::string& nativePath, std::string& error) {
    std::string bytes;
    if (!ReadRegularFile(nativePath, bytes, error)) return false;
    ParamArchive ar(std::move(bytes));
    Serialize(ar);
    if (ar.Failed()) {
        error = nativePath + ": not a parameter file: " + ar.Error();
        return false;
    }
    return true;
}

}  // namespace tavi
