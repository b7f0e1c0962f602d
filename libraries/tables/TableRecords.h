// The parsed form of a table file: table, column and row records as the file states them.
#ifndef QZ_TABLE_RECORDS_H
#define QZ_TABLE_RECORDS_H

#include <cstdint>
#include <string>
#include <vector>

namespace tables {

struct Column {
    int id = -1;
    std::string name;
    int type = -1;      // a ColumnType number
    std::string text;   // the column's cells, escaped and joined by commas
    bool readonly = false;
};

struct Row {
    int id = -1;
    std::string name;
};

struct Table {
    std::vector<Column> columns;  // in document order
    std::vector<Row> rows;        // in document order
    double version = 1.0;
    std::string name;
    int numRows = 1;
    int numCols = 1;
    uint32_t flags = 0;
    uint32_t tableType = 0;
};

}  // namespace tables

#endif
