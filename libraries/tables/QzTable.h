// QzTable: the in-memory data table with sparse cells, titles, types and cell observers.
#ifndef QZ_QZTABLE_H
#define QZ_QZTABLE_H

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "IQzTable.h"

class TablesXML;

// One registered observer. Keyed by `column` in the table's observer map.
struct CallbackReference {
    int column;
    int row;
    std::unique_ptr<TableCallback> callback;  // owned by the table
    void* userData;                           // borrowed; only compared, never dereferenced
};

class QzTable : public IQzTable {
public:
    // Receives each raw field of comma-separated text (still quoted and escaped) with its
    // record and field numbers; it may change the field's text.
    using CSVFieldHandler = std::function<void(int record, int field, std::string& text)>;

    QzTable();
    ~QzTable() override;
    QzTable(const QzTable&) = delete;
    QzTable& operator=(const QzTable&) = delete;

    void registerObserver(TableCallback* callback, void* userData, int column, int row) override;
    void unRegisterObserver(void* userData, int column, int row) override;
    TableColumn* columnAtIndex(int column) override;
    TableColumn* columnWithName(const std::string& name) override;
    void addColumnAtIndex(int column, TableColumn newColumn) override;
    void removeColumnAtIndex(int column) override;
    void addRowAtIndex(int row) override;
    void removeRowAtIndex(int row) override;
    void reorderColumns(int first, int second) override;
    bool columnReadOnly(int column) override;
    void setColumnReadOnly(int column, bool readOnly) override;
    // Parses the file and, only when that succeeds, replaces the table's contents. The path
    // is remembered either way for a later saveTable with an empty path.
    bool loadTable(const std::string& path) override;
    // Writes the table as XML or JSON to `path`, or to the remembered path when it is empty.
    // False (with a message on standard output) when the file cannot be written or the
    // table is larger than a table file may be.
    bool saveTable(const std::string& path, bool json) override;
    void copyTableData(const IQzTable& source) override;
    bool importCSV(const std::string& text) override;
    // False, with the table unchanged, when the file cannot be read or importCSV refuses it.
    bool loadCSV(const std::string& path) override;
    int numberOfRows() const override { return numRows_; }
    int numberOfColumns() const override { return numCols_; }
    void setNumberOfRows(int rows) override;
    void setNumberOfColumns(int columns) override;
    bool isLoaded() const override { return true; }
    void reset() override;
    const char* cellValue(int row, int column) override;
    const char* jsonCellValue(std::string& out, int row, int column) override;
    const char* xmlCellValue(std::string& out, int row, int column) override;
    bool setCellValue(int row, int column, const std::string& value) override;
    ColumnType columnType(int column) const override;
    void setColumnType(int column, ColumnType type) override;
    const char* columnTitle(int column) const override;
    void setColumnTitle(int column, const std::string& title) override;
    const char* rowTitle(int row) const override;
    void setRowTitle(int row, const std::string& title) override;
    int findRowNumberByName(const std::string& name) const override;
    int findColumnNumberByName(const std::string& name) const override;
    void setTableName(const std::string& name) override { name_ = name; }
    const char* tableName() const override { return name_.c_str(); }
    void setTableId(const std::string& tableId) override { tableId_ = tableId; }
    const char* tableId() const override { return tableId_.c_str(); }
    uint32_t flags() const override { return flags_; }
    void setFlags(uint32_t flags) override { flags_ = flags; }
    TableType tableType() const override { return tableType_; }
    void setTableType(TableType type) override;

    // Writes the table as comma-separated text; false when the file cannot be written or the
    // table is larger than CSV import accepts.
    virtual bool exportCSV(const std::string& path);
    virtual const char* columnTypeName(ColumnType type) const;
    // The table as XML / JSON text, kept until the next call.
    virtual const char* getFileStream();
    virtual const char* getFileStreamJSON();

    static std::unique_ptr<TablesXML> createParser();
    const char* columnDefaultValue(int column) const;
    std::vector<TableCallback*> findObservers(int column, int row) const;
    void callObservers(const std::vector<TableCallback*>& observers, const std::string& oldValue,
                       const std::string& newValue, int row, int column);
    // Fills the parser's record from this table, escaping cells and names for XML or JSON.
    void initTableParser(TablesXML& parser, bool json);
    // Splits comma-separated text into records and fields, handing each field over in
    // order; returns the number of records. Commas and line breaks inside double quotes
    // belong to the field; a line break there becomes a carriage return.
    static int validateCSV(std::string_view text, const CSVFieldHandler& onField);

    // The flag bit setTableType keeps in step with a zero table type.
    static constexpr uint32_t kZeroTableTypeFlag = 8;

private:
    // Only with observers registered does setCellValue keep the old text for them.
    bool hasObservers() const { return !observers_.empty(); }
    // The stored cell, or null; nothing is created.
    const TableCell* findCell(int column, int row) const;
    const char* fileStream(bool json);
    // False, with a message naming the writer and the path, when the table is larger than a
    // table file (and CSV import) may be.
    bool fitsTableFile(const char* writer, const std::string& path) const;

    int numRows_ = 1;
    int numCols_ = 1;
    std::string filePath_;
    std::string name_;
    std::string tableId_;
    std::map<int, TableColumn> columns_;
    std::map<int, std::string> rowTitles_;
    std::map<ColumnType, std::string> typeNames_;
    std::string streamBuffer_;
    uint32_t flags_ = 0;
    TableType tableType_ = TableTypeZero;
    std::multimap<int, CallbackReference> observers_;
    // Callbacks unregistered while a notification runs; freed when it ends.
    int notificationDepth_ = 0;
    std::vector<std::unique_ptr<TableCallback>> retiredCallbacks_;
};

#endif
