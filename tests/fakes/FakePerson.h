#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "document/AnswerSources.h"
#include "document/MemoryListView.h"
#include "document/Person.h"

namespace tavi::test {

// A person with scripted answers that records everything shown to it. Thread-safe, since the
// question prompt comes from the worker thread.
class FakePerson : public Person {
public:
    MessageAnswer ShowMessageBox(const MessageBoxRequest& request) override {
        std::lock_guard lock(m_mutex);
        boxes.push_back(request);
        if (answers.empty()) return MessageAnswer::kOk;
        MessageAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    bool ChooseFilesToOpen(const FileDialogRequest& request, std::vector<std::string>& paths) override {
        lastOpenRequest = request;
        paths = filesToOpen;
        return openAccepted;
    }
    bool ChooseFileToSave(const FileDialogRequest& request, std::string& path) override {
        lastSaveRequest = request;
        path = fileToSave;
        return saveAccepted;
    }
    bool ChooseSheetColumns(const std::string&, const Sheet& sheet, size_t& textColumn,
                            std::optional<size_t>& nameColumn) override {
        return sheetColumns ? sheetColumns(sheet, textColumn, nameColumn) : false;
    }
    void BeginWaitCursor() override { ++waitCursorDepth, ++waitCursorShown; }
    void EndWaitCursor() override { --waitCursorDepth; }
    bool RunQuestionSettings(std::string& questionPath, ScoringParams& params) override {
        return questionDialog ? questionDialog(questionPath, params) : false;
    }
    bool RunParamDetail(ScoringParams& params) override { return detailDialog ? detailDialog(params) : false; }
    bool StartProcess(const std::vector<std::string>& command) override {
        started.push_back(command);
        return true;
    }

    // Texts (UTF-8) of the message boxes shown so far.
    std::vector<std::string> BoxTexts() const;

    std::vector<MessageBoxRequest> boxes;
    std::deque<MessageAnswer> answers;  // answers to the next boxes; OK when empty
    std::vector<std::string> filesToOpen;
    bool openAccepted = true;
    std::string fileToSave;
    bool saveAccepted = true;
    FileDialogRequest lastOpenRequest, lastSaveRequest;
    int waitCursorDepth = 0, waitCursorShown = 0;
    std::function<bool(std::string&, ScoringParams&)> questionDialog;
    std::function<bool(ScoringParams&)> detailDialog;
    std::function<bool(const Sheet&, size_t&, std::optional<size_t>&)> sheetColumns;
    std::vector<std::vector<std::string>> started;

private:
    mutable std::mutex m_mutex;
};

// A list view that also logs every notification ("status 0 1", "rhetoric 0 0.75", ...).
class RecordingListView : public MemoryListView {
public:
    void ShowStatus(int index, EssayStatus status) override;
    void ShowTotalScore(int index, double value) override {
        Log("total", index, value), MemoryListView::ShowTotalScore(index, value);
    }
    void ShowLengthPenalty(int index, double value) override {
        Log("penalty", index, value), MemoryListView::ShowLengthPenalty(index, value);
    }
    void ShowRhetoricScore(int index, double value) override {
        Log("rhetoric", index, value), MemoryListView::ShowRhetoricScore(index, value);
    }
    void ShowOrganizationScore(int index, double value) override {
        Log("organization", index, value), MemoryListView::ShowOrganizationScore(index, value);
    }
    void ShowContentScore(int index, double value) override {
        Log("content", index, value), MemoryListView::ShowContentScore(index, value);
    }
    // The notifications so far, each as "kind index" (values left out).
    std::vector<std::string> Events() const;
    void ClearEvents();
    // Called on every status notification (tests use it to act during a run).
    std::function<void(int, EssayStatus)> onStatus;

private:
    void Log(const char* kind, int index, double value);
    mutable std::mutex m_logMutex;
    std::vector<std::string> m_events;
};

}  // namespace tavi::test
