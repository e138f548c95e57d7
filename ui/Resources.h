#pragma once

#include <QString>

namespace tavi {

// Command numbers of the menus, the toolbar and the context menu.
namespace cmd {
constexpr int kQuestionSettings = 57600;
constexpr int kAddAnswers = 57601;
constexpr int kImportSheet = 32801;
constexpr int kSaveResults = 57603;
constexpr int kScoreStart = 32772;
constexpr int kScoreStop = 32776;
constexpr int kParamDetail = 32778;
constexpr int kViewSelected = 32783;
constexpr int kDeleteSelected = 32785;
constexpr int kScoreSelected = 32786;
constexpr int kLoadParams = 32799;
constexpr int kWriteParams = 32800;
constexpr int kSaveReport = 32810;
constexpr int kViewAnswerPane = 32811;
constexpr int kAppAbout = 57664;
constexpr int kAppExit = 57665;
constexpr int kViewToolBar = 59392;
constexpr int kViewStatusBar = 59393;
}  // namespace cmd

// The program's own texts.
namespace res {
// The application title, caption of the message boxes.
QString AppTitle();
// The framework's name for a document that has no file.
QString UntitledTitle();
// The message pane's text while nothing is highlighted.
QString IdleMessage();
// The status-bar indicators of the lock keys.
QString IndicatorCaps();
QString IndicatorNum();
QString IndicatorScroll();
// The prompt of a window system-menu item by its system command (SC_SIZE ... SC_TASKLIST);
// empty for others.
QString SystemMenuPrompt(int systemCommand);
// The key under which the program keeps its own settings, with the application title.
QString RegistryKey();
// The menu text of a command ("&" marks the mnemonic, "\t" starts the shortcut text).
QString MenuText(int command);
// The status-bar prompt of a command; empty when it has none.
QString CommandPrompt(int command);
// The tooltip of a command; empty when it has none.
QString CommandTooltip(int command);
}  // namespace res

}  // namespace tavi
