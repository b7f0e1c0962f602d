// Tests of the table model: counts, cells, titles, row and column edits, observers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "QzTable.h"

namespace {

// A table of `rows` x `columns` whose cell (r, c) holds "r,c" and row r is titled "row r".
void fill(QzTable& table, int rows, int columns) {
    table.setNumberOfRows(rows);
    table.setNumberOfColumns(columns);
    for (int r = 0; r < rows; ++r) {
        table.setRowTitle(r, "row " + std::to_string(r));
        for (int c = 0; c < columns; ++c) table.setCellValue(r, c, std::to_string(r) + "," + std::to_string(c));
    }
}

TEST(TableModel, NewTableHasOneEmptyCellAndAcceptsOnePastTheEnd) {
    QzTable table;
    EXPECT_EQ(table.numberOfRows(), 1);
    EXPECT_EQ(table.numberOfColumns(), 1);
    EXPECT_STREQ(table.cellValue(0, 0), "");
    EXPECT_STREQ(table.cellValue(1, 1), "");
    EXPECT_STREQ(table.cellValue(2, 0), "BadRow");
    EXPECT_STREQ(table.cellValue(0, 2), "BadCol");
    EXPECT_STREQ(table.cellValue(-1, 0), "BadRow");
    EXPECT_STREQ(table.cellValue(0, -1), "BadCol");
    std::string out;
    EXPECT_STREQ(table.xmlCellValue(out, 2, 0), "BadRow");
    EXPECT_STREQ(table.jsonCellValue(out, 0, 2), "BadCol");
    EXPECT_FALSE(table.setCellValue(2, 0, "x"));
    EXPECT_FALSE(table.setCellValue(0, -1, "x"));
}

TEST(TableModel, FindsTitlesWithoutRegardToCaseAndColumnsByExactName) {
    QzTable table;
    fill(table, 3, 2);
    table.setRowTitle(1, "Level");
    table.setRowTitle(2, "level");
    table.setColumnTitle(1, "Speed");
    EXPECT_EQ(table.findRowNumberByName("LEVEL"), 1);
    EXPECT_EQ(table.findRowNumberByName("none"), -1);
    EXPECT_EQ(table.findColumnNumberByName("speed"), 1);
    EXPECT_EQ(table.columnWithName("speed"), nullptr);
    EXPECT_EQ(table.columnWithName("Speed"), table.columnAtIndex(1));
    table.setRowTitle(7, "absent");  // only stored titles change
    EXPECT_STREQ(table.rowTitle(7), "");
}

TEST(TableModel, InsertingAndRemovingRowZeroMovesCellsAndTitles) {
    QzTable table;
    fill(table, 2, 2);
    table.addRowAtIndex(0);
    ASSERT_EQ(table.numberOfRows(), 3);
    EXPECT_STREQ(table.cellValue(0, 0), "");
    EXPECT_STREQ(table.rowTitle(0), "");
    EXPECT_STREQ(table.cellValue(1, 1), "0,1");
    EXPECT_STREQ(table.rowTitle(1), "row 0");
    EXPECT_STREQ(table.cellValue(2, 0), "1,0");
    table.removeRowAtIndex(0);
    ASSERT_EQ(table.numberOfRows(), 2);
    EXPECT_STREQ(table.cellValue(0, 1), "0,1");
    EXPECT_STREQ(table.rowTitle(1), "row 1");
    EXPECT_STREQ(table.cellValue(1, 0), "1,0");
}

// Regression: a column whose cells are stored with a gap (only row 2 written) kept its
// cell at the inserted row and lost it, instead of moving it down with its row.
TEST(TableModel, InsertingARowMovesCellsOfSparseColumnsAndRemovingPastTheEndDropsTheLast) {
    QzTable table;
    table.setNumberOfRows(3);
    table.setNumberOfColumns(2);
    table.setCellValue(2, 1, "kept");
    table.addRowAtIndex(2);
    EXPECT_STREQ(table.cellValue(3, 1), "kept");
    EXPECT_STREQ(table.cellValue(2, 1), "");
    table.removeRowAtIndex(1);
    EXPECT_STREQ(table.cellValue(2, 1), "kept");
    // Removing one past the last row drops the last row only; other rows out of range do nothing.
    fill(table, 3, 1);
    table.removeRowAtIndex(3);
    EXPECT_EQ(table.numberOfRows(), 2);
    EXPECT_STREQ(table.cellValue(1, 0), "1,0");
    EXPECT_STREQ(table.rowTitle(2), "");
    table.removeRowAtIndex(-1);
    table.removeRowAtIndex(5);
    table.addRowAtIndex(9);
    EXPECT_EQ(table.numberOfRows(), 2);
}

TEST(TableModel, GrowingFillsDefaultsByColumnTypeAndShrinkingDropsCells) {
    QzTable table;
    table.setNumberOfColumns(3);
    table.setColumnType(0, ColumnTypeInteger);
    table.setColumnType(1, ColumnTypeBoolean);
    table.setNumberOfRows(3);
    EXPECT_STREQ(table.cellValue(2, 0), "0");
    EXPECT_STREQ(table.cellValue(2, 1), "False");
    EXPECT_STREQ(table.cellValue(2, 2), "");
    table.setCellValue(2, 0, "7");
    table.setNumberOfRows(2);
    table.setNumberOfRows(3);
    EXPECT_STREQ(table.cellValue(2, 0), "0");
    table.setNumberOfColumns(1);
    EXPECT_EQ(table.columnAtIndex(1), nullptr);
    table.setNumberOfRows(-4);
    EXPECT_EQ(table.numberOfRows(), 3);
}

TEST(TableModel, ColumnsInsertRemoveAndSwapWithTheirCells) {
    QzTable table;
    fill(table, 2, 2);
    TableColumn inserted(ColumnTypeReal, "Inserted", true);
    inserted.cellAtRowIndex(0).setValue("new");
    table.addColumnAtIndex(1, inserted);
    ASSERT_EQ(table.numberOfColumns(), 3);
    EXPECT_STREQ(table.cellValue(0, 1), "new");
    EXPECT_TRUE(table.columnReadOnly(1));
    EXPECT_STREQ(table.cellValue(0, 2), "0,1");
    table.addColumnAtIndex(5, TableColumn());  // past the end: ignored
    EXPECT_EQ(table.numberOfColumns(), 3);
    table.reorderColumns(0, 2);
    EXPECT_STREQ(table.cellValue(1, 0), "1,1");
    EXPECT_STREQ(table.cellValue(1, 2), "1,0");
    table.removeColumnAtIndex(1);
    ASSERT_EQ(table.numberOfColumns(), 2);
    EXPECT_STREQ(table.columnTitle(1), "");
    EXPECT_STREQ(table.cellValue(1, 1), "1,0");
}

TEST(TableModel, AbsentColumnsAreNotCreatedByLookupsAndTypeZeroSetsAFlag) {
    QzTable table;
    table.setNumberOfColumns(0);
    table.setNumberOfColumns(2);
    table.setColumnTitle(5, "x");
    table.setColumnType(5, ColumnTypeText);
    EXPECT_EQ(table.columnAtIndex(5), nullptr);
    EXPECT_EQ(table.columnType(5), ColumnTypeUndefined);
    EXPECT_STREQ(table.columnTitle(5), "");
    EXPECT_STREQ(table.columnTypeName(ColumnTypeAngle), "Angle");
    EXPECT_STREQ(table.columnTypeName(static_cast<ColumnType>(8)), "");
    // Table type zero sets flag bit eight; any other clears it.
    table.setFlags(0x3);
    table.setTableType(TableTypeZero);
    EXPECT_EQ(table.flags(), 0xBu);
    table.setTableType(static_cast<TableType>(3));
    EXPECT_EQ(table.flags(), 0x3u);
    EXPECT_EQ(table.tableType(), 3u);
}

TEST(TableModel, CopyKeepsTheDestinationsIdentifierAndPath) {
    QzTable source;
    fill(source, 2, 2);
    source.setTableName("Source");
    source.setTableId("source-id");
    source.setColumnTitle(1, "B");
    QzTable destination;
    destination.setTableId("dest-id");
    destination.copyTableData(source);
    EXPECT_STREQ(destination.tableId(), "dest-id");
    EXPECT_STREQ(destination.tableName(), "Source");
    EXPECT_EQ(destination.numberOfRows(), 2);
    EXPECT_STREQ(destination.cellValue(1, 1), "1,1");
    EXPECT_STREQ(destination.columnTitle(1), "B");
    source.setCellValue(1, 1, "changed");
    EXPECT_STREQ(destination.cellValue(1, 1), "1,1");
    destination.copyTableData(destination);
    EXPECT_STREQ(destination.cellValue(1, 1), "1,1");
}

// Logs "name column row old>new" for each change it is told of.
class RecordingCallback : public TableCallback {
public:
    RecordingCallback(std::string name, std::vector<std::string>& log, int* destroyed = nullptr)
        : name_(std::move(name)), log_(log), destroyed_(destroyed) {}
    ~RecordingCallback() override {
        if (destroyed_) ++*destroyed_;
    }
    void tableChanged(TableChangeContainer& change) override {
        log_.push_back(name_ + " " + std::to_string(change.column) + " " + std::to_string(change.row) + " " +
                       change.oldValue + ">" + change.newValue);
    }

private:
    std::string name_;
    std::vector<std::string>& log_;
    int* destroyed_;
};

TEST(TableObservers, CellThenColumnThenTableObserversAreCalled) {
    QzTable table;
    fill(table, 2, 2);
    std::vector<std::string> log;
    int tag = 0;
    table.registerObserver(new RecordingCallback("table", log), &tag, -1, -1);
    table.registerObserver(new RecordingCallback("column", log), &tag, 1, -1);
    table.registerObserver(new RecordingCallback("cell", log), &tag, 1, 0);
    table.registerObserver(new RecordingCallback("other cell", log), &tag, 1, 1);
    table.setCellValue(0, 1, "new");
    EXPECT_EQ(log, (std::vector<std::string>{"cell 1 0 0,1>new", "column 1 0 0,1>new", "table 1 0 0,1>new"}));
}

TEST(TableObservers, UnregisteringDeletesOnlyTheMatchingCallbacks) {
    int destroyed = 0;
    std::vector<std::string> log;
    int mine = 0, theirs = 0;
    {
        QzTable table;
        table.registerObserver(new RecordingCallback("mine", log, &destroyed), &mine, 0, -1);
        table.registerObserver(new RecordingCallback("theirs", log, &destroyed), &theirs, 0, -1);
        table.unRegisterObserver(&mine, 0, -1);
        EXPECT_EQ(destroyed, 1);
        table.setCellValue(0, 0, "x");
        EXPECT_EQ(log, std::vector<std::string>{"theirs 0 0 >x"});
    }
    EXPECT_EQ(destroyed, 2);  // the table's destructor deletes the rest
}

// A callback that unregisters itself while it is being called must stay alive until the
// notification has ended.
class SelfRemovingCallback : public TableCallback {
public:
    SelfRemovingCallback(QzTable& table, int& calls) : table_(table), calls_(calls) {}
    void tableChanged(TableChangeContainer&) override {
        ++calls_;
        table_.unRegisterObserver(this, -1, -1);
        ++calls_;  // touches this object after its own removal
    }

private:
    QzTable& table_;
    int& calls_;
};

TEST(TableObservers, ACallbackMayUnregisterItselfDuringTheNotification) {
    QzTable table;
    int calls = 0;
    auto* callback = new SelfRemovingCallback(table, calls);
    table.registerObserver(callback, callback, -1, -1);
    table.setCellValue(0, 0, "a");
    table.setCellValue(0, 0, "b");
    EXPECT_EQ(calls, 2);
}

}  // namespace
