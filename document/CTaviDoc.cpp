#include "document/CTaviDoc.h"

#include <chrono>
#include <utility>

#include "analysis/Encoding.h"
#include "document/AnswerSources.h"

namespace tavi {
namespace {

// Shows the wait cursor for the life of the object.
class WaitCursor {
public:
    explicit WaitCursor(Person& person) : m_person(person) { m_person.BeginWaitCursor(); }
    ~WaitCursor() { m_person.EndWaitCursor(); }

private:
    Person& m_person;
};

}  // namespace

void Report(Person& person, const DocResult& result) {
    for (const ContentModel::Message& m : result.messages)
        person.ShowMessageBox({m.text, m.caption, MessageButtons::kOk, MessageIcon::kNone, 0, true});
    if (result.error)
        person.ShowMessageBox({*result.error, "Tavi", MessageButtons::kOk, MessageIcon::kExclamation, 0, true});
}

CTaviDoc::CTaviDoc(Person& person) : m_person(person) {
    m_scorer.StartLoadingAnalyzer();  // the analyser's first run goes on while the model loads
    Report(m_person, LoadModel(m_scorer.Params().modelPath));
    WaitCursor wait(m_person);
    if (!m_scorer.LoadAnalyzer()) {
        m_person.ShowMessageBox({Sjis("libchasen.dllのロードに失敗しました。"), Sjis("エラー"), MessageButtons::kOk,
                                 MessageIcon::kError, 0, false});
    }
}

CTaviDoc::~CTaviDoc() {
    m_bStopRequested = true;
    WaitForRun();
    std::lock_guard lock(m_mutex);
    m_answers.clear();
    m_pathIndex.clear();
}

DocResult CTaviDoc::LoadModel(const std::string& path) {
    DocResult result;
    bool namedOther;
    {
        std::lock_guard lock(m_mutex);
        result = m_scorer.LoadModel(path);  // prepares the question in use again
        // A stored form may name a question that was refused: it is tried with the new model.
        namedOther = !m_strQuestionPath.empty() && m_strQuestionPath != m_scorer.QuestionPath();
    }
    result.error.reset();
    if (result.questionPrepared) RescoreContent();
    if (namedOther)
        for (ContentModel::Message& m : PrepareQuestion().messages) result.messages.push_back(std::move(m));
    return result;
}

void CTaviDoc::OnAddAnswers() {
    static const std::string filter = Sjis("回答文ファイル(*.txt *.docx)|*.txt;*.docx|全て(*.*)|*.*||");
    std::vector<std::string> paths;
    if (m_person.ChooseFilesToOpen({"txt", filter}, paths)) {
        AddAnswerFiles(paths);
    } else if (View()) {
        View()->UpdateAllViews();
    }
}

void CTaviDoc::OnImportSheet() {
    static const std::string filter = Sjis("スプレッドシート(*.csv *.xlsx)|*.csv;*.xlsx|全て(*.*)|*.*||");
    std::vector<std::string> paths;
    if (m_person.ChooseFilesToOpen({"csv", filter}, paths)) {
        AddAnswerFiles(paths, true);
    } else if (View()) {
        View()->UpdateAllViews();
    }
}

// What one adding could not do: lines ("path\n" or "path: cause\n") of each kind, Shift_JIS,
// shown in one warning per kind afterwards.
struct CTaviDoc::AddingReport {
    std::string duplicates, unnamed, unreadable, failed;

    void Show(Person& person) const {
        static const std::pair<const char*, std::string AddingReport::*> kinds[] = {
            {"以下はリスト内に既に存在します。\n", &AddingReport::duplicates},
            {"以下のファイルは名前を Shift_JIS で表せないため追加できません。\n", &AddingReport::unnamed},
            {"以下のファイルは読み込めないため、空の回答として採点されます。\n", &AddingReport::unreadable},
            {"以下は追加できません。\n", &AddingReport::failed}};
        static const std::string warning = Sjis("警告");
        for (const auto& [header, lines] : kinds)
            if (!(this->*lines).empty())
                person.ShowMessageBox(
                    {Sjis(header) + this->*lines, warning, MessageButtons::kOk, MessageIcon::kExclamation, 0, false});
    }
};

void CTaviDoc::AddAnswerFiles(const std::vector<std::string>& nativePaths, bool asSheets) {
    AddingReport report;
    for (const std::string& input : nativePaths) {
        std::vector<std::string> files;
        std::string error;
        if (!AnswerFilesOf(input, files, error)) report.failed += Utf8ToSjis(error) + "\n";
        for (const std::string& file : files) {
            if (asSheets || IsSheetFile(file)) {
                AddSheet(file, report);
            } else {
                AddAnswerFile(file, report);
            }
        }
    }
    report.Show(m_person);
    if (View()) View()->UpdateAllViews();
}

void CTaviDoc::AddAnswerFile(const std::string& nativePath, AddingReport& report) {
    std::string path, bytes, error;
    if (!NativePathToSjis(nativePath, path)) {
        report.unnamed += Utf8ToSjis(nativePath) + "\n";
    } else if (!AddAnswer(path)) {
        report.duplicates += path + "\n";
    } else if (!ReadAnswerSource(nativePath, bytes, error)) {
        report.unreadable += Utf8ToSjis(error) + "\n";
    }
}

// Imports a sheet with the columns the person chooses and adds the files it gives.
void CTaviDoc::AddSheet(const std::string& nativePath, AddingReport& report) {
    Sheet sheet;
    std::string error;
    if (!ReadSheet(nativePath, sheet, error)) {
        report.failed += Utf8ToSjis(error) + "\n";
        return;
    }
    // The person starts from the columns the header proposes.
    const SheetColumns proposed = ProposeSheetColumns(sheet);
    size_t textColumn = proposed.text;
    std::optional<size_t> nameColumn = proposed.name;
    if (!m_person.ChooseSheetColumns(nativePath, sheet, textColumn, nameColumn)) return;
    std::vector<std::string> files;
    if (!ImportSheet(nativePath, sheet, textColumn, nameColumn, files, error))
        report.failed += Utf8ToSjis(error) + "\n";
    for (const std::string& file : files) AddAnswerFile(file, report);
}

bool CTaviDoc::AddAnswer(const std::string& path) {
    size_t slash = path.rfind('/');
    std::string title = slash == std::string::npos ? path : path.substr(slash + 1);
    return AddRecord(EssayRecord(path, title));
}

// Appends a record; a record without a management number gets the next one.
bool CTaviDoc::AddRecord(EssayRecord record) {
    int index;
    {
        std::lock_guard lock(m_mutex);
        if (record.id == 0 && m_lastNumber == 0xFFFF) return false;
        if (m_pathIndex.contains(record.path)) return false;
        if (record.id == 0) {
            record.id = ++m_lastNumber;
        } else if (record.id > m_lastNumber) {
            m_lastNumber = record.id;
        }
        record.status = kStatusUnscored;
        m_pathIndex.insert(record.path);
        m_answers.push_back(record);
        index = static_cast<int>(m_answers.size()) - 1;
        ++m_nUnscored;
        m_bResultsSaved = false;
    }
    if (View()) {
        View()->AddAnswerRow(index, record.id, record.title, record.path);
        View()->ShowStatus(index, kStatusUnscored);
    }
    return true;
}

bool CTaviDoc::RemoveAnswer(int index) {
    std::lock_guard lock(m_mutex);
    if (index < 0 || index >= static_cast<int>(m_answers.size())) return false;
    if (m_answers[index].status == kStatusUnscored) --m_nUnscored;
    m_pathIndex.erase(m_answers[index].path);
    m_answers.erase(m_answers.begin() + index);
    return true;
}

int CTaviDoc::GetAnswerCount() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_answers.size());
}

bool CTaviDoc::ContainsPath(const std::string& path) const {
    std::lock_guard lock(m_mutex);
    return m_pathIndex.contains(path);
}

std::string CTaviDoc::GetCommentText(int index) const {
    static const std::string unscored = Sjis("未評価です。");
    static const std::string inProgress = Sjis("評価中です。");
    static const std::string none = Sjis("コメントはありません。");
    std::lock_guard lock(m_mutex);
    if (index < 0 || index >= static_cast<int>(m_answers.size())) return {};
    const EssayRecord& r = m_answers[index];
    switch (r.status) {
        case kStatusUnscored:
            return unscored;
        case kStatusScored:
            return r.commentText.empty() ? none : r.commentText;
        default:
            return inProgress;
    }
}

EssayRecord CTaviDoc::GetAnswer(int index) const {
    std::lock_guard lock(m_mutex);
    if (index < 0 || index >= static_cast<int>(m_answers.size())) return {};
    return m_answers[index];
}

std::string CTaviDoc::GetAnswerTitle(int index) const {
    std::lock_guard lock(m_mutex);
    return index >= 0 && index < static_cast<int>(m_answers.size()) ? m_answers[index].title : std::string();
}

std::string CTaviDoc::GetAnswerPath(int index) const {
    std::lock_guard lock(m_mutex);
    return index >= 0 && index < static_cast<int>(m_answers.size()) ? m_answers[index].path : std::string();
}

ScoringParams CTaviDoc::GetParams() const {
    std::lock_guard lock(m_mutex);
    return m_scorer.Params();
}

std::string CTaviDoc::GetQuestionPath() const {
    std::lock_guard lock(m_mutex);
    return m_strQuestionPath;
}

bool CTaviDoc::HasQuestionVector() const {
    std::lock_guard lock(m_mutex);
    return m_scorer.HasQuestion();
}

int CTaviDoc::GetUnscoredCount() const {
    std::lock_guard lock(m_mutex);
    return m_nUnscored;
}

void CTaviDoc::BeginAnswer() {
    std::unique_lock lock(m_mutex);
    // Settings being applied by this very thread (re-entered through an event) do not wait.
    m_idle.wait(lock, [&] { return m_settingsPending == 0 || m_settingsThread == std::this_thread::get_id(); });
    m_answerInProgress = true;
    m_answerThread = std::this_thread::get_id();
}

void CTaviDoc::EndAnswer() {
    std::vector<std::function<DocResult()>> deferred;
    {
        std::lock_guard lock(m_mutex);
        m_answerInProgress = false;
        m_answerThread = {};
        deferred.swap(m_deferred);
    }
    m_idle.notify_all();
    for (const auto& apply : deferred) Report(m_person, ApplyBetweenAnswers(apply));
}

DocResult CTaviDoc::ApplyBetweenAnswers(const std::function<DocResult()>& apply) {
    std::unique_lock lock(m_mutex);
    if (m_answerInProgress && m_answerThread == std::this_thread::get_id()) {
        m_deferred.push_back(apply);
        return {};
    }
    ++m_settingsPending;
    m_settingsThread = std::this_thread::get_id();
    while (m_answerInProgress) {
        // The worker may be waiting for this thread to show its progress: keep events flowing.
        lock.unlock();
        if (View()) View()->PumpMessages();
        lock.lock();
        m_idle.wait_for(lock, std::chrono::milliseconds(2), [&] { return !m_answerInProgress; });
    }
    lock.unlock();
    DocResult result = apply();
    lock.lock();
    if (--m_settingsPending == 0) m_settingsThread = {};
    lock.unlock();
    m_idle.notify_all();
    return result;
}

}  // namespace tavi
