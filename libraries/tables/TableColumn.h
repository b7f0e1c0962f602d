// Column types, the table cell and the table column of the data-table model.
#ifndef QZ_TABLE_COLUMN_H
#define QZ_TABLE_COLUMN_H

#include <cstdint>
#include <map>
#include <string>

// How a column's cells are handed to scripts. The numbers are stored in table files; any
// other 32-bit value may arrive from a file and is treated like Undefined.
enum ColumnType : int32_t {
    ColumnTypeUndefined = 0,
    ColumnTypeText = 1,
    ColumnTypeInteger = 2,
    ColumnTypeReal = 3,
    ColumnTypeBoolean = 4,
    ColumnTypeAngle = 5,
    ColumnTypeImage = 6,
    ColumnTypeSound = 7,
};

// The text an empty (or one-space) cell of this type stands for: "0" for numbers, "False"
// for Boolean, empty otherwise.
const char* qzColumnTypeDefaultText(ColumnType type);

// True for the texts that stand for "no value": empty or exactly one space.
bool qzIsBlankCell(const std::string& text);

class TableCell {
public:
    TableCell() = default;
    explicit TableCell(std::string value) : value_(std::move(value)) {}

    const std::string& value() const { return value_; }
    void setValue(std::string value) { value_ = std::move(value); }
    // The text as it travels inside a table file's column text: XML entities, then
    // backslash escapes.
    void xmlEscapedValue(std::string& out) const;
    // The text as a JSON string body.
    void jsonEscapedValue(std::string& out) const;

private:
    std::string value_;
};

class TableColumn {
public:
    using Cells = std::map<int, TableCell>;

    TableColumn() = default;
    TableColumn(ColumnType type, std::string name, bool readOnly)
        : columnType_(type), columnName_(std::move(name)), readOnly_(readOnly) {}

    // The cell at the row, created empty when absent.
    TableCell& cellAtRowIndex(int row) { return cells_[row]; }
    // Opens an empty row at `row`: every cell at or past it moves one row down.
    void addCellAtRowIndex(int row);
    // Drops the cell at `row`: every cell past it moves one row up.
    void removeCellAtRowIndex(int row);

    ColumnType columnType() const { return columnType_; }
    void setColumnType(ColumnType type) { columnType_ = type; }
    const std::string& columnName() const { return columnName_; }
    void setColumnName(std::string name) { columnName_ = std::move(name); }
    bool readOnly() const { return readOnly_; }
    void setReadOnly(bool readOnly) { readOnly_ = readOnly; }
    const Cells& cells() const { return cells_; }
    Cells& cells() { return cells_; }

private:
    ColumnType columnType_ = ColumnTypeUndefined;
    std::string columnName_;
    Cells cells_;  // sparse: an absent cell reads as empty
    bool readOnly_ = false;
};

#endif
