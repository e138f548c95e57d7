#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
#include <atomic>
#include <thread>

#include "UiTestSupport.h"
#include "analysis/Encoding.h"
#include "document/CTaviDoc.h"
#include "fakes/DocAccess.h"
#include "ui/AnswerListModel.h"
#include "ui/CMainFrame.h"
#include "ui/CTaviView.h"

namespace tavi::test {
namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// A list of answers whose files need not exist: the tests set the cells themselves.
class AnswerListTest : public ::testing::Test {
protected:
    CTaviView& view() { return *run.view; }
    void Add(const std::string& utf8Path) { ASSERT_TRUE(run.doc->AddAnswer(Sjis(utf8Path))); }
    void AddNumbered(int n) {
        for (int i = 0; i < n; ++i) Add("/answers/a" + std::to_string(i) + ".txt");
    }
    QString Cell(int row, int column) { return view().CellText(row, column); }
    // The answer indexes that the rows show, top to bottom.
    std::vector<int> Order() {
        std::vector<int> order;
        for (int row = 0; row < view().RowCount(); ++row) order.push_back(view().ItemValue(row));
        return order;
    }
    void Select(std::initializer_list<int> rows) {
        view().clearSelection();
        for (int row : rows)
            view().selectionModel()->select(view().model()->index(row, 0),
                                            QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    // Every row shows the answer that the document holds at its item value, and the map
    // leads back to the row.
    void ExpectRowsMatchTheDocument() {
        ASSERT_EQ(view().RowCount(), run.doc->GetAnswerCount());
        for (int row = 0; row < view().RowCount(); ++row) {
            int index = view().ItemValue(row);
            EXPECT_EQ(Cell(row, CTaviView::kPath).toStdString(), SjisToUtf8(run.doc->GetAnswer(index).path)) << row;
            EXPECT_EQ(Cell(row, CTaviView::kNumber).toInt(), run.doc->GetAnswer(index).id) << row;
            EXPECT_EQ(view().RowOfAnswer(index), row);
        }
    }
    void Trigger(int command) {
        run.frame->Router().UpdateStates();
        run.frame->Action(command)->trigger();
    }

    RunningApp run;
};

TEST_F(AnswerListTest, ColumnsHaveTheirHeadersAndStartingWidths) {
    QStringList headers;
    for (int c = 0; c < view().model()->columnCount(); ++c)
        headers << view().model()->headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(headers, (QStringList{U("管理番号"), U("ファイル名"), U("状態"), U("総合得点"), U("文量減点"), U("修辞"),
                                    U("論理"), U("内容"), U("場所")}));
    EXPECT_EQ(view().columnWidth(CTaviView::kTitle), 150);
    EXPECT_EQ(view().columnWidth(CTaviView::kPath), 300);
    // Fitted columns are wide enough for their header and for a score such as "-10.00".
    for (int c : {0, 2, 3, 4, 5, 6, 7}) {
        QFontMetrics metrics = view().horizontalHeader()->fontMetrics();
        EXPECT_GE(view().columnWidth(c),
                  metrics.horizontalAdvance(view().model()->headerData(c, Qt::Horizontal).toString()))
            << c;
    }
    EXPECT_GE(view().columnWidth(CTaviView::kRhetoric), view().fontMetrics().horizontalAdvance("0.85") + 8);
    EXPECT_TRUE(view().showGrid());
    EXPECT_EQ(view().selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(view().selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_TRUE(view().horizontalHeader()->sectionsMovable());
}

TEST_F(AnswerListTest, AnAddedAnswerShowsItsNumberTitlePathAndStatus) {
    Add("/answers/first essay.txt");
    ASSERT_EQ(view().RowCount(), 1);
    EXPECT_EQ(Cell(0, CTaviView::kNumber), "1");
    EXPECT_EQ(Cell(0, CTaviView::kTitle), "first essay.txt");
    EXPECT_EQ(Cell(0, CTaviView::kStatus), U("未採点"));
    EXPECT_EQ(Cell(0, CTaviView::kTotal), "");
    EXPECT_EQ(Cell(0, CTaviView::kPath), "/answers/first essay.txt");
    EXPECT_EQ(view().ItemValue(0), 0);
    EXPECT_NE(run.doc->ResultsFileBytes().find(Sjis("\r\n1,first essay.txt,未採点,,,,,,/answers/first essay.txt,\r\n")),
              std::string::npos);
}

TEST_F(AnswerListTest, ScoreCellsShowTwoDecimals) {
    AddNumbered(1);
    view().ShowTotalScore(0, 72.5);
    view().ShowLengthPenalty(0, -1.25);
    view().ShowRhetoricScore(0, 0.85);
    view().ShowOrganizationScore(0, 1);
    view().ShowContentScore(0, 0.314159);
    EXPECT_EQ(Cell(0, CTaviView::kTotal), "72.50");
    EXPECT_EQ(Cell(0, CTaviView::kRhetoric), "0.85");
    EXPECT_EQ(Cell(0, CTaviView::kOrganization), "1.00");
    EXPECT_EQ(Cell(0, CTaviView::kContent), "0.31");
    EXPECT_EQ(Cell(0, CTaviView::kPenalty), "-1.25");
}

TEST_F(AnswerListTest, TotalSortsHighestFirstThenLowestFirstWithADirectionPerColumn) {
    AddNumbered(3);
    view().ShowTotalScore(0, 3.5);
    view().ShowTotalScore(1, 9.07);
    view().ShowTotalScore(2, 1);
    view().ShowRhetoricScore(0, 0.2);
    view().ShowRhetoricScore(1, 0.1);
    view().ShowRhetoricScore(2, 0.3);

    view().OnColumnClick(CTaviView::kTotal);
    EXPECT_EQ(Order(), (std::vector<int>{1, 0, 2}));
    EXPECT_EQ(view().m_descendingColumns, 1u << CTaviView::kTotal);
    view().OnColumnClick(CTaviView::kTotal);
    EXPECT_EQ(Order(), (std::vector<int>{2, 0, 1}));
    EXPECT_EQ(view().m_descendingColumns, 0u);

    // Total, then rhetoric twice, then total again: the last sort on total was descending.
    view().OnColumnClick(CTaviView::kTotal);
    view().OnColumnClick(CTaviView::kRhetoric);
    EXPECT_EQ(Order(), (std::vector<int>{2, 0, 1}));
    view().OnColumnClick(CTaviView::kRhetoric);
    EXPECT_EQ(Order(), (std::vector<int>{1, 0, 2}));
    view().OnColumnClick(CTaviView::kTotal);
    EXPECT_EQ(Order(), (std::vector<int>{2, 0, 1}));
    ExpectRowsMatchTheDocument();
}

TEST_F(AnswerListTest, AHeaderClickSorts) {
    AddNumbered(3);
    view().ShowTotalScore(2, 5);
    QHeaderView* header = view().horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(CTaviView::kTotal) + 5, header->height() / 2));
    EXPECT_EQ(Order().front(), 2);
}

TEST_F(AnswerListTest, ANewAnswerGoesLastWhateverTheSortOrder) {
    AddNumbered(3);
    view().ShowTotalScore(0, 1);
    view().ShowTotalScore(1, 2);
    view().ShowTotalScore(2, 3);
    view().OnColumnClick(CTaviView::kTotal);
    ASSERT_EQ(Order(), (std::vector<int>{2, 1, 0}));
    Add("/answers/late.txt");
    EXPECT_EQ(Order(), (std::vector<int>{2, 1, 0, 3}));
    EXPECT_EQ(Cell(3, CTaviView::kTitle), "late.txt");
    view().ShowTotalScore(3, 7);  // reaches the new row through the map
    EXPECT_EQ(Cell(3, CTaviView::kTotal), "7.00");
    ExpectRowsMatchTheDocument();
}

TEST_F(AnswerListTest, NumbersCompareWithinTheToleranceAndTextsWithoutANumberAsZero) {
    auto cmp = [](const char* a, const char* b) { return AnswerListModel::CompareCells(CTaviView::kTotal, a, b); };
    EXPECT_EQ(cmp("0.50", "0.50"), 0);
    EXPECT_EQ(cmp("", "0.00"), 0);
    EXPECT_EQ(cmp("-0.00", "0.00"), 0);
    EXPECT_EQ(cmp("1.00000001", "1"), 0);
    EXPECT_GT(cmp("1.0000002", "1"), 0);
    EXPECT_LT(cmp("1", "1.0000002"), 0);
    EXPECT_LT(cmp("-3", "2"), 0);
    EXPECT_GT(cmp("10", "9.99"), 0);
    EXPECT_EQ(cmp(" 5", "5"), 0);
    EXPECT_EQ(cmp("12abc", "12"), 0);
    EXPECT_EQ(cmp("3e2x", "300"), 0);
    EXPECT_EQ(cmp("7e", "7"), 0);
    EXPECT_EQ(cmp(".5", "0.5"), 0);
    EXPECT_EQ(AnswerListModel::CompareCells(CTaviView::kStatus, Sjis("未採点").c_str(), Sjis("済").c_str()), 0);
    EXPECT_EQ(AnswerListModel::CompareCells(CTaviView::kNumber, "2", "10") < 0, true);
}

TEST_F(AnswerListTest, SortingByStatusTreatsEveryRowAsEqual) {
    AddNumbered(4);
    view().ShowStatus(2, kStatusScored);
    view().ShowStatus(0, kStatusAnalysing);
    view().OnColumnClick(CTaviView::kStatus);
    EXPECT_EQ(Order(), (std::vector<int>{0, 1, 2, 3}));
}

TEST_F(AnswerListTest, FileNamesAndPathsCompareTheirShiftJisBytes) {
    // "Ａ" is 0x8260 and "あ" 0x82A0 in Shift_JIS, but U+FF21 and U+3042: the byte order
    // differs from the order of the characters' code points.
    Add("/z/Ａ.txt");
    Add("/z/あ.txt");
    Add("/z/あ.txtx");
    view().OnColumnClick(CTaviView::kTitle);  // descending
    EXPECT_EQ(Order(), (std::vector<int>{2, 1, 0}));
    view().OnColumnClick(CTaviView::kTitle);  // ascending: a prefix sorts first
    EXPECT_EQ(Order(), (std::vector<int>{0, 1, 2}));
    EXPECT_LT(AnswerListModel::CompareCells(CTaviView::kPath, Sjis("/z/Ａ").c_str(), Sjis("/z/あ").c_str()), 0);
    EXPECT_GT(AnswerListModel::CompareCells(CTaviView::kPath, "\xE0", "\x7F"), 0);  // bytes are unsigned
}

TEST_F(AnswerListTest, HeaderClicksAreIgnoredWhileScoringRuns) {
    AddNumbered(3);
    view().ShowTotalScore(2, 5);
    DocAccess::Running(*run.doc) = true;
    view().OnColumnClick(CTaviView::kTotal);
    DocAccess::Running(*run.doc) = false;
    EXPECT_EQ(Order(), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(view().m_descendingColumns, 0u);
}

TEST_F(AnswerListTest, DeletingRowsTwoAndFourOfSixRenumbersTheRest) {
    AddNumbered(6);
    Select({2, 4});
    Trigger(32785);
    EXPECT_EQ(Order(), (std::vector<int>{0, 1, 2, 3}));
    QStringList numbers, titles;
    for (int row = 0; row < 4; ++row) numbers << Cell(row, 0), titles << Cell(row, 1);
    EXPECT_EQ(numbers, (QStringList{"1", "2", "4", "6"}));
    EXPECT_EQ(titles, (QStringList{"a0.txt", "a1.txt", "a3.txt", "a5.txt"}));
    ExpectRowsMatchTheDocument();
    // Numbers of removed answers are not given again.
    Add("/answers/new.txt");
    EXPECT_EQ(Cell(4, 0), "7");
    EXPECT_EQ(view().ItemValue(4), 4);
}

TEST_F(AnswerListTest, DeletingFromASortedListKeepsRowsAndDocumentTogether) {
    AddNumbered(7);
    const double totals[] = {4, 9, 1, 7, 3, 8, 2};
    for (int i = 0; i < 7; ++i) view().ShowTotalScore(i, totals[i]);
    view().OnColumnClick(CTaviView::kTotal);  // answers 1 5 3 0 4 6 2
    Select({0, 2, 6});                        // answers 1, 3 and 2
    Trigger(32785);
    ExpectRowsMatchTheDocument();
    QStringList titles;
    for (int row = 0; row < view().RowCount(); ++row) titles << Cell(row, 1);
    EXPECT_EQ(titles, (QStringList{"a5.txt", "a0.txt", "a4.txt", "a6.txt"}));
    // Updates still reach the right rows.
    view().ShowTotalScore(0, 0.5);  // answer a0 is index 0 after the deletion
    EXPECT_EQ(Cell(1, CTaviView::kTotal), "0.50");
}

TEST_F(AnswerListTest, DeletingIsRefusedWhileScoringRuns) {
    AddNumbered(2);
    Select({0});
    DocAccess::Running(*run.doc) = true;
    Trigger(32785);
    DocAccess::Running(*run.doc) = false;
    EXPECT_EQ(view().RowCount(), 2);
}

TEST_F(AnswerListTest, CommandsWithoutASelectionDoNothing) {
    AddNumbered(2);
    view().clearSelection();
    Trigger(32785);
    Trigger(32783);
    EXPECT_EQ(view().RowCount(), 2);
    EXPECT_TRUE(run.person.started.empty());
}

TEST_F(AnswerListTest, ViewingEightSelectedAnswersOpensTheFirstSixInRowOrder) {
    AddNumbered(9);
    for (int i = 0; i < 9; ++i) view().ShowTotalScore(i, i);
    view().OnColumnClick(CTaviView::kTotal);  // answers 8 7 6 ... 0
    Select({0, 1, 2, 3, 4, 5, 6, 7});
    Trigger(32783);
    ASSERT_EQ(run.person.started.size(), 6u);
    for (int k = 0; k < 6; ++k) EXPECT_EQ(run.person.started[k].back(), "/answers/a" + std::to_string(8 - k) + ".txt");
    EXPECT_EQ(run.person.started[0].front(), "true");  // the editor named by TAVI_EDITOR
}

TEST_F(AnswerListTest, AStatusChangeScrollsAnOutOfSightRowToTheTopOnly) {
    run.frame->resize(600, 300);
    AddNumbered(80);
    ASSERT_TRUE(WaitUntil([&] { return view().viewport()->height() > 0; }));
    view().verticalScrollBar()->setValue(0);
    view().ShowStatus(50, kStatusReading);
    EXPECT_EQ(view().rowAt(0), 50);
    view().ShowStatus(52, kStatusAnalysing);  // visible: no scroll
    EXPECT_EQ(view().rowAt(0), 50);
    view().ShowStatus(3, kStatusScoring);  // above: scrolls up
    EXPECT_EQ(view().rowAt(0), 3);
    view().ShowStatus(79, kStatusScored);  // the last row: as far as the list scrolls
    EXPECT_EQ(view().verticalScrollBar()->value(), view().verticalScrollBar()->maximum());
    EXPECT_EQ(Cell(79, CTaviView::kStatus), U("済"));
}

TEST_F(AnswerListTest, ChangesFromAnotherThreadReachTheListWithoutAnyRead) {
    AddNumbered(3);
    std::thread worker([&] {
        view().ShowRhetoricScore(2, 3.5);
        view().ShowStatus(2, kStatusScored);
    });
    worker.join();  // the worker did not wait for the list
    EXPECT_TRUE(WaitUntil([&] { return Cell(2, CTaviView::kStatus) == U("済"); }));
    EXPECT_EQ(Cell(2, CTaviView::kRhetoric), "3.50");
}

TEST_F(AnswerListTest, ChangesStillWaitingArePlacedBeforeAnswersAreRenumbered) {
    AddNumbered(4);
    // From another thread, with no event processed before the deletion: the change for answer
    // 3 must land on answer 3's row, not on the row that answer 3's number has after it.
    std::thread worker([&] { view().ShowTotalScore(3, 9.75); });
    worker.join();
    Select({1});
    Trigger(32785);
    EXPECT_EQ(Cell(2, CTaviView::kTitle), "a3.txt");
    EXPECT_EQ(Cell(2, CTaviView::kTotal), "9.75");
    ExpectRowsMatchTheDocument();
}

TEST_F(AnswerListTest, UpdatesFromAnotherThreadAreInPlaceForTheNextRead) {
    AddNumbered(2);
    std::atomic<bool> done = false;
    int seen = -1;
    std::thread worker([&] {
        view().ShowTotalScore(1, 7.25);
        view().ShowStatus(1, kStatusScored);
        seen = view().GetRowAnswer(1);  // carried out on the user-interface thread as well
        done = true;
    });
    EXPECT_TRUE(WaitUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(Cell(1, CTaviView::kTotal), "7.25");
    EXPECT_EQ(Cell(1, CTaviView::kStatus), U("済"));
}

TEST_F(AnswerListTest, ADoubleClickOnARowShowsItsCommentAndElsewhereNothing) {
    AddNumbered(2);
    QRect second = view().visualRect(view().model()->index(1, 1));
    QTest::mouseDClick(view().viewport(), Qt::LeftButton, {}, second.center());
    ASSERT_EQ(run.person.Boxes().size(), 1u);
    ShownBox box = run.person.Boxes()[0];
    EXPECT_EQ(box.text, "未評価です。");
    EXPECT_EQ(box.caption, "Tavi");
    EXPECT_EQ(box.icon, MessageIcon::kNone);
    EXPECT_EQ(box.buttons, MessageButtons::kOk);

    QPoint below(second.center().x(), second.bottom() + 3 * second.height());
    QTest::mouseDClick(view().viewport(), Qt::LeftButton, {}, below);
    EXPECT_EQ(run.person.Boxes().size(), 1u);
}

TEST_F(AnswerListTest, ARightClickOnARowOpensTheContextMenu) {
    AddNumbered(2);
    QMenu* menu = run.frame->ContextMenu();
    QStringList texts;
    for (QAction* a : menu->actions()) texts << a->text();
    EXPECT_EQ(texts, (QStringList{U("選択部分を表示(&V)"), U("選択部分を採点(&R)"), U("選択部分を削除(&D)")}));

    QRect row = view().visualRect(view().model()->index(0, 0));
    QPoint off(row.center().x(), row.bottom() + 5 * row.height());
    QContextMenuEvent offRows(QContextMenuEvent::Mouse, off, view().viewport()->mapToGlobal(off));
    QApplication::sendEvent(view().viewport(), &offRows);
    EXPECT_FALSE(menu->isVisible());

    QContextMenuEvent onRow(QContextMenuEvent::Mouse, row.center(), view().viewport()->mapToGlobal(row.center()));
    QApplication::sendEvent(view().viewport(), &onRow);
    EXPECT_TRUE(menu->isVisible());
    // Opening the menu brought its states up to date: no question, so scoring is disabled.
    EXPECT_TRUE(run.frame->Action(32783)->isEnabled());
    EXPECT_FALSE(run.frame->Action(32786)->isEnabled());
    EXPECT_TRUE(run.frame->Action(32785)->isEnabled());
    menu->hide();
}

// Drops local files and folders on the list; true when the list took the drop.
bool Drop(CTaviView& view, const QStringList& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
    data.setUrls(urls);
    QPoint at = view.viewport()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &drop);
    return drop.isAccepted();
}

TEST_F(AnswerListTest, DroppedFilesAndFoldersAreAddedAsTheAddCommandAddsThem) {
    const QString dir = TempFolder();
    QDir().mkpath(dir + "/folder/sub");
    for (const char* name :
         {"one.txt", "folder/b.txt", "folder/a.txt", "folder/C.TXT", "folder/notes.md", "folder/sub/deep.txt"}) {
        QFile file(dir + "/" + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(Drop(view(), {dir + "/one.txt", dir + "/folder"}));
    QStringList titles;
    for (int row = 0; row < view().RowCount(); ++row) titles << Cell(row, CTaviView::kTitle);
    // The folder's answer files by name (bytes: capitals first), nothing from its subfolder.
    EXPECT_EQ(titles, (QStringList{"one.txt", "C.TXT", "a.txt", "b.txt"}));
    EXPECT_TRUE(run.person.Boxes().empty());

    // Dropping what is listed already gives the add command's warning, naming the file.
    ASSERT_TRUE(Drop(view(), {dir + "/folder/a.txt"}));
    EXPECT_EQ(view().RowCount(), 4);
    ASSERT_EQ(run.person.Boxes().size(), 1u);
    EXPECT_EQ(run.person.Boxes()[0].text,
              "以下はリスト内に既に存在します。\n" + (dir + "/folder/a.txt\n").toStdString());
    EXPECT_EQ(run.person.Boxes()[0].caption, "警告");
}

TEST_F(AnswerListTest, ADropIsRefusedWhileAddingIsNotAllowed) {
    bool allowed = false;
    std::vector<std::string> added;
    view().SetDropHandlers([&] { return allowed; }, [&](const std::vector<std::string>& paths) { added = paths; });
    EXPECT_FALSE(Drop(view(), {"/answers/x.txt"}));
    EXPECT_TRUE(added.empty());
    allowed = true;
    EXPECT_TRUE(Drop(view(), {"/answers/x.txt"}));
    EXPECT_EQ(added, (std::vector<std::string>{"/answers/x.txt"}));
}

}  // namespace
}  // namespace tavi::test
