// The abstract data-table interface and the observer types that report cell changes.
#ifndef QZ_IQZTABLE_H
#define QZ_IQZTABLE_H

#include <cstdint>
#include <string>

#include "TableColumn.h"

class IQzTable;

// Stored with a table; only zero versus non-zero has a meaning (see setTableType).
enum TableType : uint32_t {
    TableTypeZero = 0,
};

// What one setCellValue changed.
struct TableChangeContainer {
    IQzTable* table;  // borrowed: the table that changed
    int column;
    int row;
    std::string oldValue;
    std::string newValue;
};

// Receives cell changes. A registered callback is owned by the table it is registered with.
class TableCallback {
public:
    virtual ~TableCallback() = default;
    virtual void tableChanged(TableChangeContainer& change) = 0;
};

// A grid of text cells in typed, titled columns, with titled rows. Rows and columns are
// numbered from 0. Text results point into storage owned by the table and stay valid until
// that storage next changes.
class IQzTable {
public:
    virtual ~IQzTable() = default;

    // Takes ownership of `callback`. Row -1 observes a whole column; column -1 with row -1
    // the whole table.
    virtual void registerObserver(TableCallback* callback, void* userData, int column, int row) = 0;
    virtual void unRegisterObserver(void* userData, int column, int row) = 0;
    virtual TableColumn* columnAtIndex(int column) = 0;
    virtual TableColumn* columnWithName(const std::string& name) = 0;
    virtual void addColumnAtIndex(int column, TableColumn newColumn) = 0;
    virtual void removeColumnAtIndex(int column) = 0;
    virtual void addRowAtIndex(int row) = 0;
    virtual void removeRowAtIndex(int row) = 0;
    virtual void reorderColumns(int first, int second) = 0;
    virtual bool columnReadOnly(int column) = 0;
    virtual void setColumnReadOnly(int column, bool readOnly) = 0;
    virtual bool loadTable(const std::string& path) = 0;
    virtual bool saveTable(const std::string& path, bool json) = 0;
    virtual void copyTableData(const IQzTable& source) = 0;
    // False, with the table unchanged, when the text describes too large a table.
    virtual bool importCSV(const std::string& text) = 0;
    virtual bool loadCSV(const std::string& path) = 0;
    virtual int numberOfRows() const = 0;
    virtual int numberOfColumns() const = 0;
    virtual void setNumberOfRows(int rows) = 0;
    virtual void setNumberOfColumns(int columns) = 0;
    virtual bool isLoaded() const = 0;
    virtual void reset() = 0;
    virtual const char* cellValue(int row, int column) = 0;
    virtual const char* jsonCellValue(std::string& out, int row, int column) = 0;
    virtual const char* xmlCellValue(std::string& out, int row, int column) = 0;
    virtual bool setCellValue(int row, int column, const std::string& value) = 0;
    virtual ColumnType columnType(int column) const = 0;
    virtual void setColumnType(int column, ColumnType type) = 0;
    virtual const char* columnTitle(int column) const = 0;
    virtual void setColumnTitle(int column, const std::string& title) = 0;
    virtual const char* rowTitle(int row) const = 0;
    virtual void setRowTitle(int row, const std::string& title) = 0;
    virtual int findRowNumberByName(const std::string& name) const = 0;
    virtual int findColumnNumberByName(const std::string& name) const = 0;
    virtual void setTableName(const std::string& name) = 0;
    virtual const char* tableName() const = 0;
    virtual void setTableId(const std::string& tableId) = 0;
    virtual const char* tableId() const = 0;
    virtual uint32_t flags() const = 0;
    virtual void setFlags(uint32_t flags) = 0;
    virtual TableType tableType() const = 0;
    virtual void setTableType(TableType type) = 0;
};

#endif
