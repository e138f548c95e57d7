#include "ui/CMainFrame.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QToolBar>

#include "ui/CTaviView.h"
#include "ui/Icons.h"
#include "ui/KeyIndicators.h"
#include "ui/Resources.h"

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace tavi {
namespace {

constexpr int kSeparator = 0;

const QString kGeometryKey = QStringLiteral("Settings/MainFrameGeometry");
const QString kStateKey = QStringLiteral("Settings/MainFrameState");
const QString kSplitterKey = QStringLiteral("Settings/AnswerPaneSplitter");
const QString kPaneVisibleKey = QStringLiteral("Settings/AnswerPaneVisible");

}  // namespace

CMainFrame::CMainFrame() : m_router(this) {
    setObjectName(QStringLiteral("mainFrame"));
    setWindowIcon(AppIcon());
    setDockOptions(QMainWindow::AnimatedDocks);
    resize(800, 500);

    AddMenu("ファイル(&F)",
            {cmd::kQuestionSettings, cmd::kAddAnswers, cmd::kImportSheet, cmd::kSaveResults, cmd::kSaveReport,
             kSeparator, cmd::kParamDetail, cmd::kLoadParams, cmd::kWriteParams, kSeparator, cmd::kAppExit});
    AddMenu("表示(&V)", {cmd::kViewToolBar, cmd::kViewStatusBar, cmd::kViewAnswerPane});
    AddMenu("Tavi(&T)", {cmd::kScoreStart, cmd::kScoreStop});
    AddMenu("ヘルプ(&H)", {cmd::kAppAbout});

    // The accelerators.
    Action(cmd::kQuestionSettings)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    Action(cmd::kAddAnswers)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    Action(cmd::kSaveResults)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));

    // The list's context menu; its commands are routed like every other.
    m_contextMenu = new QMenu(this);
    m_contextMenu->setObjectName(QStringLiteral("menu134"));
    for (int command : {cmd::kViewSelected, cmd::kScoreSelected, cmd::kDeleteSelected})
        m_contextMenu->addAction(Action(command));
    m_router.WatchMenu(m_contextMenu);
    connect(m_contextMenu, &QMenu::aboutToHide, this, [this] { SetMessageText(QString()); });

    OnCommand(cmd::kViewToolBar, [this] { m_wndToolBar->setVisible(m_wndToolBar->isHidden()); });
    OnUpdateCommand(cmd::kViewToolBar,
                    [this](CommandUi& ui) { ui.checked = m_wndToolBar && !m_wndToolBar->isHidden(); });
    OnCommand(cmd::kViewStatusBar, [this] { m_wndStatusBar->setVisible(m_wndStatusBar->isHidden()); });
    OnUpdateCommand(cmd::kViewStatusBar,
                    [this](CommandUi& ui) { ui.checked = m_wndStatusBar && !m_wndStatusBar->isHidden(); });
    OnCommand(cmd::kViewAnswerPane, [this] {
        if (m_answerPane) m_answerPane->setVisible(m_answerPane->isHidden());
    });
    OnUpdateCommand(cmd::kViewAnswerPane, [this](CommandUi& ui) {
        ui.enabled = m_answerPane != nullptr;
        ui.checked = m_answerPane && !m_answerPane->isHidden();
    });
}

QMenu* CMainFrame::AddMenu(const char* title, std::initializer_list<int> commands) {
    QMenu* menu = menuBar()->addMenu(QString::fromUtf8(title));
    for (int command : commands) {
        if (command == kSeparator) {
            menu->addSeparator();
        } else {
            menu->addAction(Action(command));
            addAction(Action(command));  // shortcuts work wherever the focus is in the window
        }
    }
    m_router.WatchMenu(menu);
    connect(menu, &QMenu::aboutToHide, this, [this] { SetMessageText(QString()); });
    return menu;
}

bool CMainFrame::OnCreate() {
    m_wndToolBar = new QToolBar(QString::fromUtf8("ツール バー"), this);
    m_wndToolBar->setObjectName(QStringLiteral("toolBar128"));
    m_wndToolBar->setMovable(true);
    m_wndToolBar->setFloatable(true);
    m_wndToolBar->setAllowedAreas(Qt::AllToolBarAreas);
    m_wndToolBar->setIconSize(kToolBarImageSize);
    m_wndToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    const int buttons[] = {cmd::kQuestionSettings, kSeparator, cmd::kAddAnswers,  kSeparator, cmd::kScoreStart,
                           cmd::kScoreStop,        kSeparator, cmd::kSaveResults, kSeparator, cmd::kAppAbout};
    for (int command : buttons) {
        if (command == kSeparator) {
            m_wndToolBar->addSeparator();
        } else {
            QAction* action = Action(command);
            action->setIcon(ToolBarIcon(command));
            action->setIconVisibleInMenu(false);
            m_wndToolBar->addAction(action);
        }
    }
    m_wndToolBar->installEventFilter(this);  // prompts also while the toolbar floats

    m_wndStatusBar = new QStatusBar(this);
    m_wndStatusBar->setObjectName(QStringLiteral("statusBar"));
    m_messagePane = new QLabel(res::IdleMessage(), m_wndStatusBar);
    m_messagePane->setObjectName(QStringLiteral("messagePane"));
    m_messagePane->setTextFormat(Qt::PlainText);
    m_wndStatusBar->addWidget(m_messagePane, 1);
    const QString names[3] = {res::IndicatorCaps(), res::IndicatorNum(), res::IndicatorScroll()};
    for (int i = 0; i < 3; ++i) {
        auto* pane = new QLabel(m_wndStatusBar);
        pane->setObjectName(QStringLiteral("indicator") + names[i]);
        pane->setProperty("indicator", names[i]);
        pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        pane->setAlignment(Qt::AlignCenter);
        pane->setFixedWidth(pane->fontMetrics().horizontalAdvance(names[i]) + 12);
        m_indicators[i] = pane;
        m_wndStatusBar->addPermanentWidget(pane);
    }
    setStatusBar(m_wndStatusBar);

    addToolBar(Qt::TopToolBarArea, m_wndToolBar);
    // The window system says how the lock keys stand only where it can; poll it there.
    if (QueryLockKeyStates()) {
        connect(&m_indicatorTimer, &QTimer::timeout, this, &CMainFrame::UpdateIndicators);
        m_indicatorTimer.start(250);
        UpdateIndicators();
    }
    m_router.UpdateStates();
    return m_wndToolBar && m_wndStatusBar;
}

void CMainFrame::UpdateIndicators() {
    std::optional<LockKeyStates> states = QueryLockKeyStates();
    if (!states || !m_indicators[0]) return;
    const bool on[3] = {states->caps, states->num, states->scroll};
    for (int i = 0; i < 3; ++i)
        m_indicators[i]->setText(on[i] ? m_indicators[i]->property("indicator").toString() : QString());
}

void CMainFrame::SetView(CTaviView* view, QWidget* answerPane) {
    m_splitter = new QSplitter(Qt::Vertical, this);
    m_splitter->setObjectName(QStringLiteral("answerSplitter"));
    m_splitter->setChildrenCollapsible(false);
    m_splitter->addWidget(view);
    m_splitter->addWidget(answerPane);
    m_splitter->setStretchFactor(0, 3);
    m_splitter->setStretchFactor(1, 2);
    m_answerPane = answerPane;
    setCentralWidget(m_splitter);
    view->SetContextMenu(m_contextMenu);
}

void CMainFrame::SetDocumentTitle(const QString& documentTitle) {
    setWindowTitle(documentTitle + QStringLiteral(" - ") + res::AppTitle());
}

void CMainFrame::SetMessageText(const QString& text) {
    if (m_messagePane) m_messagePane->setText(text.isEmpty() ? res::IdleMessage() : text);
}

bool CMainFrame::event(QEvent* event) {
    if (event->type() == QEvent::StatusTip) {
        SetMessageText(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_wndToolBar && event->type() == QEvent::StatusTip) {
        SetMessageText(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (m_closeHandler && !m_closeHandler()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void CMainFrame::SaveSettings(QSettings& settings) const {
    settings.setValue(kGeometryKey, saveGeometry());
    settings.setValue(kStateKey, saveState());
    if (m_splitter) {
        settings.setValue(kSplitterKey, m_splitter->saveState());
        settings.setValue(kPaneVisibleKey, !m_answerPane->isHidden());
    }
}

void CMainFrame::RestoreSettings(const QSettings& settings) {
    restoreGeometry(settings.value(kGeometryKey).toByteArray());
    restoreState(settings.value(kStateKey).toByteArray());
    if (m_splitter) {
        m_splitter->restoreState(settings.value(kSplitterKey).toByteArray());
        m_answerPane->setVisible(settings.value(kPaneVisibleKey, true).toBool());
    }
}

#ifdef Q_OS_WIN
bool CMainFrame::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
    // Prompts for the items of the window's system menu.
    const MSG* msg = static_cast<const MSG*>(message);
    if (msg->message == WM_MENUSELECT) {
        UINT item = LOWORD(msg->wParam);
        UINT flags = HIWORD(msg->wParam);
        if (flags == 0xFFFF && msg->lParam == 0)
            SetMessageText(QString());
        else if (flags & MF_SYSMENU)
            SetMessageText(res::SystemMenuPrompt(static_cast<int>(item)));
    }
    return QMainWindow::nativeEvent(eventType, message, result);
}
#endif

}  // namespace tavi
