// QzTable: the in-memory model: rows, columns, cells, titles, counts and observers.
#include "QzTable.h"

#include <cctype>
#include <stdexcept>

#include "IndexedMap.h"

namespace {

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

template <typename Value>
void eraseIndexRange(std::map<int, Value>& entries, int first, int end) {
    entries.erase(entries.lower_bound(first), entries.lower_bound(end));
}

// Keeps callbacks that are unregistered during a notification alive until it has ended.
class NotificationScope {
public:
    NotificationScope(int& depth, std::vector<std::unique_ptr<TableCallback>>& retired)
        : depth_(depth), retired_(retired) {
        ++depth_;
    }
    ~NotificationScope() {
        if (--depth_ == 0) retired_.clear();
    }
    NotificationScope(const NotificationScope&) = delete;
    NotificationScope& operator=(const NotificationScope&) = delete;

private:
    int& depth_;                                             // borrowed from the table
    std::vector<std::unique_ptr<TableCallback>>& retired_;  // borrowed from the table
};

}  // namespace

QzTable::QzTable() {
    typeNames_ = {
        {ColumnTypeUndefined, "Undefined"}, {ColumnTypeText, "Text"},
        {ColumnTypeInteger, "Integer"},     {ColumnTypeReal, "Real"},
        {ColumnTypeBoolean, "Boolean"},     {ColumnTypeAngle, "Angle"},
        {ColumnTypeImage, "Image"},         {ColumnTypeSound, "Sound"},
    };
    reset();
}

QzTable::~QzTable() = default;

void QzTable::reset() {
    numRows_ = 1;
    numCols_ = 1;
    columns_.clear();
    rowTitles_.clear();
    columns_[0] = TableColumn();
    rowTitles_[0] = std::string();
}

void QzTable::registerObserver(TableCallback* callback, void* userData, int column, int row) {
    observers_.emplace(column,
                       CallbackReference{column, row, std::unique_ptr<TableCallback>(callback), userData});
}

void QzTable::unRegisterObserver(void* userData, int column, int row) {
    auto [it, end] = observers_.equal_range(column);
    while (it != end) {
        CallbackReference& entry = it->second;
        if (entry.row == row && entry.userData == userData && entry.callback) {
            if (notificationDepth_ > 0) retiredCallbacks_.push_back(std::move(entry.callback));
            it = observers_.erase(it);
        } else {
            ++it;
        }
    }
}

TableColumn* QzTable::columnAtIndex(int column) {
    auto it = columns_.find(column);
    return it == columns_.end() ? nullptr : &it->second;
}

TableColumn* QzTable::columnWithName(const std::string& name) {
    for (auto& [index, column] : columns_) {
        if (column.columnName() == name) return &column;
    }
    return nullptr;
}

// Insertion is accepted from the first position up to appending; everything at or after
// the position moves one column on.
void QzTable::addColumnAtIndex(int column, TableColumn newColumn) {
    if (column < 0 || column > numCols_) return;
    qzOpenIndex(columns_, column);
    columns_[column] = std::move(newColumn);
    ++numCols_;
}

void QzTable::removeColumnAtIndex(int column) {
    if (column < 0 || column >= numCols_ || !columns_.count(column)) return;
    qzCloseIndex(columns_, column);
    --numCols_;
}

void QzTable::addRowAtIndex(int row) {
    if (row < 0 || row > numRows_) return;
    for (auto& [index, column] : columns_) {
        if (index >= 0 && index < numCols_) column.addCellAtRowIndex(row);
    }
    qzOpenIndex(rowTitles_, row);
    rowTitles_[row] = std::string();
    ++numRows_;
}

// Removing at numRows_ (one past the last row) only drops the count and the last title:
// the former last row's cells stay stored one past the new count.
void QzTable::removeRowAtIndex(int row) {
    if (numRows_ < 1 || row < 0 || row > numRows_) return;
    for (auto& [index, column] : columns_) {
        if (index >= 0 && index < numCols_) column.removeCellAtRowIndex(row);
    }
    qzCloseIndex(rowTitles_, row);
    --numRows_;
    rowTitles_.erase(numRows_);
}

void QzTable::reorderColumns(int first, int second) {
    if (first < 0 || first >= numCols_ || second < 0 || second >= numCols_) return;
    std::swap(columns_[first], columns_[second]);
}

bool QzTable::columnReadOnly(int column) {
    return columns_[column].readOnly();
}

void QzTable::setColumnReadOnly(int column, bool readOnly) {
    columns_[column].setReadOnly(readOnly);
}

void QzTable::copyTableData(const IQzTable& source) {
    const auto* other = dynamic_cast<const QzTable*>(&source);
    if (!other) throw std::invalid_argument("copyTableData: the source is not a QzTable");
    if (other == this) return;
    numRows_ = other->numRows_;
    numCols_ = other->numCols_;
    name_ = other->name_;
    columns_ = other->columns_;
    rowTitles_ = other->rowTitles_;
    flags_ = other->flags_;
    tableType_ = other->tableType_;
}

void QzTable::setNumberOfRows(int rows) {
    if (rows < 0 || rows == numRows_) return;
    if (rows < numRows_) {
        for (auto& [index, column] : columns_) {
            if (index >= 0 && index < numCols_) eraseIndexRange(column.cells(), rows, numRows_);
        }
        eraseIndexRange(rowTitles_, rows, numRows_);
    } else {
        for (auto& [index, column] : columns_) {
            if (index < 0 || index >= numCols_) continue;
            const char* defaultText = qzColumnTypeDefaultText(column.columnType());
            for (int row = numRows_; row < rows; ++row) column.cellAtRowIndex(row).setValue(defaultText);
        }
        for (int row = numRows_; row < rows; ++row) rowTitles_[row] = std::string();
    }
    numRows_ = rows;
}

void QzTable::setNumberOfColumns(int columns) {
    if (columns < 0) return;
    if (columns < numCols_) {
        eraseIndexRange(columns_, columns, numCols_);
    } else {
        for (int index = numCols_; index < columns; ++index) columns_[index] = TableColumn();
    }
    numCols_ = columns;
}

namespace {

// The text an out-of-range read returns, or null when the position is in range. The range
// includes one past the last row and column; negative indices are out of range.
const char* rangeError(int row, int column, int numRows, int numCols) {
    if (row < 0 || row > numRows) return "BadRow";
    if (column < 0 || column > numCols) return "BadCol";
    return nullptr;
}

}  // namespace

const TableCell* QzTable::findCell(int column, int row) const {
    auto columnIt = columns_.find(column);
    if (columnIt == columns_.end()) return nullptr;
    auto cellIt = columnIt->second.cells().find(row);
    return cellIt == columnIt->second.cells().end() ? nullptr : &cellIt->second;
}

const char* QzTable::cellValue(int row, int column) {
    if (const char* error = rangeError(row, column, numRows_, numCols_)) return error;
    return columns_[column].cellAtRowIndex(row).value().c_str();
}

const char* QzTable::jsonCellValue(std::string& out, int row, int column) {
    if (const char* error = rangeError(row, column, numRows_, numCols_)) return error;
    columns_[column].cellAtRowIndex(row).jsonEscapedValue(out);
    return out.c_str();
}

const char* QzTable::xmlCellValue(std::string& out, int row, int column) {
    if (const char* error = rangeError(row, column, numRows_, numCols_)) return error;
    columns_[column].cellAtRowIndex(row).xmlEscapedValue(out);
    return out.c_str();
}

bool QzTable::setCellValue(int row, int column, const std::string& value) {
    if (rangeError(row, column, numRows_, numCols_)) return false;
    TableCell& cell = columns_[column].cellAtRowIndex(row);
    if (!hasObservers()) {
        cell.setValue(value);
        return true;
    }
    const std::string oldValue = cell.value();
    cell.setValue(value);
    callObservers(findObservers(column, row), oldValue, value, row, column);
    callObservers(findObservers(column, -1), oldValue, value, row, column);
    callObservers(findObservers(-1, -1), oldValue, value, row, column);
    return true;
}

std::vector<TableCallback*> QzTable::findObservers(int column, int row) const {
    std::vector<TableCallback*> found;
    auto [it, end] = observers_.equal_range(column);
    for (; it != end; ++it) {
        if (it->second.row == row && it->second.callback) found.push_back(it->second.callback.get());
    }
    return found;
}

void QzTable::callObservers(const std::vector<TableCallback*>& observers, const std::string& oldValue,
                            const std::string& newValue, int row, int column) {
    NotificationScope scope(notificationDepth_, retiredCallbacks_);
    for (TableCallback* callback : observers) {
        TableChangeContainer change{this, column, row, oldValue, newValue};
        callback->tableChanged(change);
    }
}

ColumnType QzTable::columnType(int column) const {
    auto it = columns_.find(column);
    return it == columns_.end() ? ColumnTypeUndefined : it->second.columnType();
}

void QzTable::setColumnType(int column, ColumnType type) {
    if (TableColumn* found = columnAtIndex(column)) found->setColumnType(type);
}

const char* QzTable::columnTitle(int column) const {
    auto it = columns_.find(column);
    return it == columns_.end() ? "" : it->second.columnName().c_str();
}

void QzTable::setColumnTitle(int column, const std::string& title) {
    if (TableColumn* found = columnAtIndex(column)) found->setColumnName(title);
}

const char* QzTable::rowTitle(int row) const {
    auto it = rowTitles_.find(row);
    return it == rowTitles_.end() ? "" : it->second.c_str();
}

void QzTable::setRowTitle(int row, const std::string& title) {
    auto it = rowTitles_.find(row);
    if (it != rowTitles_.end()) it->second = title;
}

int QzTable::findRowNumberByName(const std::string& name) const {
    for (const auto& [index, title] : rowTitles_) {
        if (equalsIgnoringCase(title, name)) return index;
    }
    return -1;
}

int QzTable::findColumnNumberByName(const std::string& name) const {
    for (const auto& [index, column] : columns_) {
        if (equalsIgnoringCase(column.columnName(), name)) return index;
    }
    return -1;
}

void QzTable::setTableType(TableType type) {
    tableType_ = type;
    if (type == TableTypeZero) {
        flags_ |= kZeroTableTypeFlag;
    } else {
        flags_ &= ~kZeroTableTypeFlag;
    }
}

const char* QzTable::columnTypeName(ColumnType type) const {
    auto it = typeNames_.find(type);
    return it == typeNames_.end() ? "" : it->second.c_str();
}

const char* QzTable::columnDefaultValue(int column) const {
    return qzColumnTypeDefaultText(columnType(column));
}
