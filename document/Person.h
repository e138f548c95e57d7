#pragma once

#include <optional>
#include <string>
#include <vector>

#include "evaluation/ScoringParams.h"

namespace tavi {

struct Sheet;

enum class MessageButtons { kOk, kOkCancel };
enum class MessageIcon { kNone, kError, kExclamation, kQuestion };
enum class MessageAnswer { kOk, kCancel };

// A message box. Texts are Shift_JIS.
struct MessageBoxRequest {
    std::string text;
    std::string caption;
    MessageButtons buttons = MessageButtons::kOk;
    MessageIcon icon = MessageIcon::kNone;
    int defaultButton = 0;       // 0 the first button, 1 the second
    bool overMainWindow = true;  // false: a box without owner window
};

// A standard file dialog. The filter is in the "name|pattern|...||" form, Shift_JIS.
struct FileDialogRequest {
    std::string defaultExtension;
    std::string filter;
};

// Everything the document asks of the person in front of it: message boxes, file dialogs,
// the wait cursor, the two settings dialogs and starting the text editor. The desktop
// program implements it with real windows, the command-line scorer on the terminal, tests
// with scripted answers.
//
// Thread safety: ShowMessageBox may be called from the scoring worker thread (the question
// prompt); an implementation shows it on its own user-interface thread and waits for the
// answer. Everything else is called on the user-interface thread.
//
// The dialogs default to what a front end without them gives: cancelled.
class Person {
public:
    virtual ~Person() = default;
    virtual MessageAnswer ShowMessageBox(const MessageBoxRequest& request) = 0;

    // Open dialog with multiple selection; `paths` receives native (UTF-8) full paths.
    virtual bool ChooseFilesToOpen(const FileDialogRequest& /*request*/, std::vector<std::string>& /*paths*/) {
        return false;
    }
    // Save dialog that asks before overwriting; `path` receives a native full path.
    virtual bool ChooseFileToSave(const FileDialogRequest& /*request*/, std::string& /*path*/) { return false; }

    // The sheet import dialog: shows the first rows of `sheet` (read from the native path
    // `sheetPath`) and lets the person choose the column of the answers and the column that
    // names each answer's file (none: the row number alone). True on OK.
    virtual bool ChooseSheetColumns(const std::string& /*sheetPath*/, const Sheet& /*sheet*/, size_t& /*textColumn*/,
                                    std::optional<size_t>& /*nameColumn*/) {
        return false;
    }

    virtual void BeginWaitCursor() {}
    virtual void EndWaitCursor() {}

    // The question and answer settings dialog: edits the question path (Shift_JIS), the
    // expected length, the three axis weights and the paragraph mode. True on OK.
    virtual bool RunQuestionSettings(std::string& /*questionPath*/, ScoringParams& /*params*/) { return false; }
    // The parameter detail dialog: edits the fourteen ratios, the model choice and path. True on OK.
    virtual bool RunParamDetail(ScoringParams& /*params*/) { return false; }

    // Starts a program (first element) with its arguments, without waiting. False when it
    // cannot be started.
    virtual bool StartProcess(const std::vector<std::string>& command) { return SpawnDetached(command); }

    // Starts a command (program and arguments, looked up in PATH) without waiting for it.
    static bool SpawnDetached(const std::vector<std::string>& command);
};

}  // namespace tavi
