#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QPersistentModelIndex>
#include <QSignalSpy>

#include "UiTestSupport.h"
#include "analysis/Encoding.h"
#include "document/CTaviDoc.h"
#include "ui/AnswerListModel.h"

namespace tavi::test {
namespace {

// The model on its own over a document's answers, checked by Qt's model tester throughout.
class AnswerListModelTest : public ::testing::Test {
protected:
    AnswerListModelTest() {
        run.doc->SetListView(nullptr);  // the model below is the only list
    }
    void Add(int n) {
        for (int i = 0; i < n; ++i) {
            ASSERT_TRUE(run.doc->AddAnswer("/answers/b" + std::to_string(i) + ".txt"));
            model.AppendRow(run.doc->GetAnswerCount() - 1, static_cast<uint16_t>(100 + i));
        }
    }
    QString Text(int row, int column) { return model.index(row, column).data().toString(); }

    RunningApp run;
    AnswerListModel model{*run.doc};
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::Fatal};
};

TEST_F(AnswerListModelTest, RowsShowTheDocumentsFilesAndWhatWasShownOfThem) {
    Add(2);
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.columnCount(), 9);
    EXPECT_EQ(Text(1, ListView::kNumber), "101");
    EXPECT_EQ(Text(1, ListView::kTitle), "b1.txt");
    EXPECT_EQ(Text(1, ListView::kPath), "/answers/b1.txt");
    EXPECT_EQ(Text(1, ListView::kStatus), "");
    EXPECT_EQ(Text(1, ListView::kPenalty), "");

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.SetStatus(1, kStatusScored);
    model.SetScore(1, ListView::kPenalty, -0.005);
    ASSERT_EQ(changed.size(), 2);
    EXPECT_EQ(changed[1][0].value<QModelIndex>(), model.index(1, ListView::kPenalty));
    EXPECT_EQ(Text(1, ListView::kStatus), QString::fromUtf8("済"));
    EXPECT_EQ(model.CellSjis(1, ListView::kStatus), Sjis("済"));
    EXPECT_EQ(Text(1, ListView::kPenalty), "-0.01");  // as "%0.2f" rounds it
    EXPECT_EQ(Text(1, ListView::kTotal), "");         // other score cells stay empty
    EXPECT_EQ(Text(0, ListView::kStatus), "");
    EXPECT_FALSE(model.index(0, 0).flags() & Qt::ItemIsEditable);
}

TEST_F(AnswerListModelTest, SortingIsStableAndCarriesPersistentIndexes) {
    Add(5);
    const double totals[] = {2, 5, 2.000000001, 9, 5};
    for (int i = 0; i < 5; ++i) model.SetScore(i, ListView::kTotal, totals[i]);
    QPersistentModelIndex answer3 = model.index(3, ListView::kTitle);
    model.SortByColumn(ListView::kTotal, true);
    std::vector<int> order;
    for (int row = 0; row < 5; ++row) order.push_back(model.ItemValue(row));
    // Equal texts keep their order: 1 before 4, 0 before 2.
    EXPECT_EQ(order, (std::vector<int>{3, 1, 4, 0, 2}));
    EXPECT_EQ(answer3.row(), 0);
    EXPECT_EQ(answer3.data().toString(), "b3.txt");

    model.SortByColumn(ListView::kTitle, false);
    for (int row = 0; row < 5; ++row) EXPECT_EQ(model.ItemValue(row), row);
    EXPECT_EQ(answer3.row(), 3);
}

TEST_F(AnswerListModelTest, RemovingARowKeepsTheOthersCells) {
    Add(3);
    model.SetScore(2, ListView::kContent, 0.5);
    model.RemoveRowAt(1);
    model.RemoveRowAt(7);  // beyond the rows: nothing
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(Text(1, ListView::kNumber), "102");
    EXPECT_EQ(Text(1, ListView::kContent), "0.50");
    EXPECT_EQ(model.ItemValue(5), -1);
}

}  // namespace
}  // namespace tavi::test
