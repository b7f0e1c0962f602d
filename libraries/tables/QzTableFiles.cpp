// QzTable loading from and saving to table files: record to table, table to record.
#include <algorithm>
#include <cstdio>

#include "QzTable.h"
#include "TableUtil.h"
#include "TablesXML.h"

namespace {

// Splits a column text into cells: a comma ends a cell, a backslash takes the next byte
// (n, r and t name control characters). A lone backslash at the very end stays a
// backslash. Blank cells take the default text of the column's type. Cells past
// `rowLimit` are not stored: no script reaches them and no save writes them, and keeping
// them would let a small file of commas cost far more memory than its size. `current`
// keeps its capacity from cell to cell, so only the stored copy allocates.
void decodeColumnText(const std::string& text, int rowLimit, TableColumn& column) {
    if (rowLimit <= 0) return;
    TableColumn::Cells& cells = column.cells();
    const char* defaultText = qzColumnTypeDefaultText(column.columnType());
    const char* const end = text.data() + text.size();
    const char* cursor = text.data();
    int row = 0;
    std::string current;
    for (;;) {
        // The run up to the next comma or backslash is copied in one piece.
        const char* special = cursor;
        while (special != end && *special != ',' && *special != '\\') ++special;
        current.append(cursor, static_cast<size_t>(special - cursor));
        if (special != end && *special == '\\') {
            const bool lone = special + 1 == end;
            current += lone ? '\\' : TableUtil::unescapedByte(special[1]);
            cursor = lone ? end : special + 2;
            continue;
        }
        if (qzIsBlankCell(current)) current = defaultText;
        cells.emplace_hint(cells.end(), row++, TableCell(current));
        current.clear();
        if (special == end || row == rowLimit) break;
        cursor = special + 1;
    }
}

}  // namespace

std::unique_ptr<TablesXML> QzTable::createParser() {
    return std::make_unique<TablesXML>();
}

bool QzTable::loadTable(const std::string& path) {
    filePath_ = path;
    std::unique_ptr<TablesXML> parser = createParser();
    if (!parser->initWithFile(path)) return false;
    const tables::Table& record = parser->getTable();

    // Built aside and swapped in, so the table is never left half filled.
    std::map<int, std::string> titles{{0, std::string()}};
    for (const tables::Row& row : record.rows) {
        // Titles outside the stated rows would be unreachable and never saved.
        if (row.id >= 0 && row.id < record.numRows) titles[row.id] = row.name;
    }
    std::map<int, TableColumn> columns{{0, TableColumn()}};
    int position = 0;
    for (const tables::Column& columnRecord : record.columns) {
        if (position == record.numCols) break;  // columns past the count are never used
        TableColumn column(static_cast<ColumnType>(columnRecord.type), columnRecord.name,
                           columnRecord.readonly);
        decodeColumnText(columnRecord.text, record.numRows, column);
        columns[position++] = std::move(column);
    }

    reset();
    name_ = record.name;
    flags_ = record.flags;
    tableType_ = static_cast<TableType>(record.tableType);
    rowTitles_.swap(titles);
    columns_.swap(columns);
    numCols_ = record.numCols;
    numRows_ = record.numRows;
    return true;
}

bool QzTable::saveTable(const std::string& path, bool json) {
    const std::string& target = path.empty() ? filePath_ : path;
    if (target.empty()) {
        std::printf("TableWriter Error: the table has no file to be saved to\n");
        return false;
    }
    if (!fitsTableFile("TableWriter", target)) return false;
    std::unique_ptr<TablesXML> parser = createParser();
    initTableParser(*parser, json);
    if (parser->writeFileOut(target, json) == 0) {
        std::printf("TableWriter Error: cannot write %s\n", target.c_str());
        return false;
    }
    return true;
}

// A file the player itself would refuse to read is never written.
bool QzTable::fitsTableFile(const char* writer, const std::string& path) const {
    const std::string problem = TablesXML::sizeProblem(numRows_, numCols_);
    if (problem.empty()) return true;
    std::printf("%s Error: %s is not written: %s; remove rows or columns and save again\n", writer,
                path.c_str(), problem.c_str());
    return false;
}

void QzTable::initTableParser(TablesXML& parser, bool json) {
    tables::Table& record = parser.getTable();
    size_t replaced = 0;  // characters XML cannot hold
    const auto escapeName = [json, &replaced](std::string name) {
        if (json) {
            TableUtil::jsonSubstitute(name);
        } else {
            replaced += TableUtil::replaceNonXmlCharacters(name);
            TableUtil::xmlSubstitute(name);
            // A reader turns raw line breaks and tabs in attributes into spaces; character
            // references keep them.
            TableUtil::cellSubstitute(name, '\n', "&#10;");
            TableUtil::cellSubstitute(name, '\r', "&#13;");
            TableUtil::cellSubstitute(name, '\t', "&#9;");
        }
        return name;
    };
    record.name = escapeName(name_);
    record.numRows = numRows_;
    record.numCols = numCols_;
    record.flags = flags_;
    record.tableType = tableType_;

    record.rows.reserve(static_cast<size_t>(std::max(numRows_, 0)));
    for (int row = 0; row < numRows_; ++row) record.rows.push_back({row, escapeName(rowTitle(row))});

    std::string escaped;
    for (int index = 0; index < numCols_; ++index) {
        tables::Column column;
        column.id = index;
        column.name = escapeName(columnTitle(index));
        column.type = columnType(index);
        auto found = columns_.find(index);
        column.readonly = found != columns_.end() && found->second.readOnly();
        const char* defaultText = qzColumnTypeDefaultText(static_cast<ColumnType>(column.type));
        // The stored cells are walked in row order alongside the rows.
        static const TableColumn::Cells kNoCells;
        const TableColumn::Cells& cells = found != columns_.end() ? found->second.cells() : kNoCells;
        auto next = cells.lower_bound(0);
        for (int row = 0; row < numRows_; ++row) {
            if (row > 0) column.text += ',';
            escaped.clear();
            const TableCell* cell = nullptr;
            if (next != cells.end() && next->first == row) cell = &(next++)->second;
            if (cell) {
                if (json) {
                    cell->jsonEscapedValue(escaped);
                } else {
                    cell->xmlEscapedValue(escaped);
                    replaced += TableUtil::replaceNonXmlCharacters(escaped);
                }
            }
            if (qzIsBlankCell(escaped)) escaped = defaultText;
            if (json) column.text += '"';
            column.text += escaped;
            if (json) column.text += '"';
        }
        record.columns.push_back(std::move(column));
    }
    if (replaced > 0) {
        std::printf("TableWriter Warning: %zu characters that XML cannot hold were written as U+FFFD\n",
                    replaced);
    }
}

const char* QzTable::fileStream(bool json) {
    std::unique_ptr<TablesXML> parser = createParser();
    initTableParser(*parser, json);
    streamBuffer_ = json ? parser->getFileStreamJSON() : parser->getFileStream();
    return streamBuffer_.c_str();
}

const char* QzTable::getFileStream() {
    return fileStream(false);
}

const char* QzTable::getFileStreamJSON() {
    return fileStream(true);
}
