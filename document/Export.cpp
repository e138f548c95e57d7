// The results file and the document's stored form.
#include <algorithm>
#include <optional>
#include <set>
#include <type_traits>
#include <variant>

#include "analysis/Encoding.h"
#include "analysis/FileIo.h"
#include "document/CTaviDoc.h"
#include "document/ResultsFile.h"

namespace tavi {
namespace {

// The answers' stored features, in file order; storing and loading walk the same list.
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
    for (const ParamSpec& param : kParamSpecs)
        std::visit(
            [&](auto member) {
                using T = std::remove_cvref_t<decltype(p.*member)>;
                if constexpr (std::is_same_v<T, double>) {
                    io.Real(p.*member);
                } else if constexpr (std::is_same_v<T, int>) {
                    io.Int(p.*member);
                } else {
                    io.Str(p.*member);
                }
            },
            param.member);
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

std::string FormatResultsFile(std::span<const EssayRecord> rows) {
    static const std::string header = [] {
        std::string cells[ListView::kColumns];
        for (int c = 0; c < ListView::kColumns; ++c) cells[c] = Sjis(kListColumns[c].header);
        return FormatCsvLine(cells);
    }();
    std::string text = header;
    std::string cells[ListView::kColumns];
    for (const EssayRecord& r : rows) {
        // The cells the document shows of the record: its scores once they are computed, the
        // content score and totals only with a question.
        const bool scored = r.status == kStatusScored;
        const std::pair<int, std::optional<double>> scores[] = {
            {ListView::kTotal, scored ? std::optional(r.finalScore) : std::nullopt},
            {ListView::kPenalty, scored ? std::optional(r.lengthPenalty) : std::nullopt},
            {ListView::kRhetoric, r.rhetoricScored ? std::optional(r.rhetoricScore) : std::nullopt},
            {ListView::kOrganization, r.organizationScored ? std::optional(r.organizationScore) : std::nullopt},
            {ListView::kContent, scored ? std::optional(r.contentScore) : std::nullopt}};
        cells[ListView::kNumber] = std::to_string(r.id);
        cells[ListView::kTitle] = r.title;
        cells[ListView::kStatus] = StatusText(r.status);
        for (const auto& [column, value] : scores) cells[column] = value ? ScoreCellText(*value) : std::string();
        cells[ListView::kPath] = r.path;
        text += FormatCsvLine(cells);
    }
    return ToCrLf(text);
}

std::string CTaviDoc::ResultsFileBytes() {
    // The list's rows in display order; without a list, the answers in index order.
    std::vector<int> order;
    if (ListView* view = View()) {
        for (int row = 0, rows = view->GetRowCount(); row < rows; ++row) order.push_back(view->GetRowAnswer(row));
    }
    std::vector<EssayRecord> rows;
    {
        std::lock_guard lock(m_mutex);
        if (!View()) {
            rows = m_answers;
        } else {
            rows.reserve(order.size());
            for (int index : order)
                if (index >= 0 && index < static_cast<int>(m_answers.size())) rows.push_back(m_answers[index]);
        }
    }
    return FormatResultsFile(rows);
}

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

bool LoadParameters(ParamArchive& ar, std::string& questionPath, ScoringParams& p, std::vector<EssayRecord>& answers) {
    ArchiveReader io{ar};
    StoredFields(io, questionPath, p, answers);
    if (!ar.Failed() && !ar.AtEnd())
        ar.Fail("unexpected bytes after the last answer, at byte " + std::to_string(ar.Position()));
    if (ar.Failed()) return false;
    for (EssayRecord& r : answers) r.longReadingKanji = r.longReadingShare9;
    return true;
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
    if (!LoadParameters(ar, questionPath, p, answers)) return;

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
