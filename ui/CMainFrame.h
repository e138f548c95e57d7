#pragma once

#include <QMainWindow>
#include <QTimer>
#include <functional>

#include "ui/CommandRouter.h"
#include "ui/CommandTarget.h"

class QLabel;
class QMenu;
class QSettings;
class QSplitter;
class QStatusBar;
class QToolBar;

namespace tavi {

class CTaviView;

// The main window: menu bar, a dockable toolbar, the status bar with its message pane and
// lock-key indicators, and the answer list with the answer pane below it as its client area.
// It owns the command layer; it carries out the commands that show and hide the toolbar, the
// status bar and the answer pane.
class CMainFrame : public QMainWindow, public CommandTarget {
    Q_OBJECT
public:
    CMainFrame();

    // Creates the toolbar and the status bar and docks the toolbar at the top. False when
    // a part cannot be made (the window is then unusable).
    bool OnCreate();
    // Makes the view and the answer pane below it the client area and gives the view the
    // context menu.
    void SetView(CTaviView* view, QWidget* answerPane);
    // The window title: the document's title, a spaced hyphen and the application title.
    void SetDocumentTitle(const QString& documentTitle);
    // Shows a prompt in the message pane; an empty text shows the idle message.
    void SetMessageText(const QString& text);
    // Asked when the window is about to close; false keeps it open.
    void SetCloseHandler(std::function<bool()> handler) { m_closeHandler = std::move(handler); }

    void SaveSettings(QSettings& settings) const;
    void RestoreSettings(const QSettings& settings);

    CommandRouter& Router() { return m_router; }
    QAction* Action(int command) { return m_router.Action(command); }
    QToolBar* ToolBar() const { return m_wndToolBar; }
    QLabel* MessagePane() const { return m_messagePane; }
    // The lock-key indicators CAP, NUM and SCRL, in that order.
    QLabel* Indicator(int pane) const { return m_indicators[pane]; }
    QMenu* ContextMenu() const { return m_contextMenu; }
    QSplitter* Splitter() const { return m_splitter; }

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    QMenu* createPopupMenu() override { return nullptr; }
#ifdef Q_OS_WIN
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
#endif

private:
    QMenu* AddMenu(const char* title, std::initializer_list<int> commands);
    void UpdateIndicators();

    QStatusBar* m_wndStatusBar = nullptr;
    QToolBar* m_wndToolBar = nullptr;
    CommandRouter m_router;
    QMenu* m_contextMenu = nullptr;
    QSplitter* m_splitter = nullptr;
    QWidget* m_answerPane = nullptr;
    QLabel* m_messagePane = nullptr;
    QLabel* m_indicators[3] = {};
    QTimer m_indicatorTimer;
    std::function<bool()> m_closeHandler;
};

}  // namespace tavi
