// QzTable comma-separated text: splitting, import, loading and export.
#include <cstdint>
#include <cstdio>
#include <map>
#include <string_view>

#include "QzTable.h"
#include "TableFiles.h"
#include "TableUtil.h"
#include "TablesXML.h"

namespace {

// Spreadsheet programs start a UTF-8 file with it; it is not part of the first title.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool isCSVSpecial(char byte) {
    return byte == '"' || byte == ',' || byte == '\r' || byte == '\n';
}

}  // namespace

// Quotes toggle a quoted region; a quote left open takes the rest of the text into its field.
// Outside quotes a comma ends a field and a line break (CR LF, LF or CR) ends a record; an
// empty line is a record of one empty field. Inside quotes a line break becomes a carriage
// return. Text that does not end with a line break still ends its last record, and empty
// text is one record of one empty field.
int QzTable::validateCSV(std::string_view text, const CSVFieldHandler& onField) {
    int record = 0;
    int fieldIndex = 0;
    std::string field;
    bool quoted = false;
    bool recordStarted = false;
    const auto endField = [&]() {
        onField(record, fieldIndex++, field);
        field.clear();
    };
    for (size_t i = 0; i < text.size(); ++i) {
        // Ordinary bytes are copied a run at a time.
        size_t runEnd = i;
        while (runEnd < text.size() && !isCSVSpecial(text[runEnd])) ++runEnd;
        if (runEnd > i) {
            field.append(text, i, runEnd - i);
            recordStarted = true;
            i = runEnd - 1;
            continue;
        }
        const char byte = text[i];
        if (byte == '\r' || byte == '\n') {
            if (byte == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            if (quoted) {
                field += '\r';
                continue;
            }
            endField();
            ++record;
            fieldIndex = 0;
            recordStarted = false;
            continue;
        }
        recordStarted = true;
        if (byte == '"') quoted = !quoted;
        if (byte == ',' && !quoted) {
            endField();
        } else {
            field += byte;
        }
    }
    if (recordStarted || record == 0) {
        endField();
        ++record;
    }
    if (quoted) {
        std::printf("TableCSV Warning: a double quote is never closed; the text after it is one field\n");
    }
    return record;
}

// A leading UTF-8 byte-order mark is dropped. A field that begins with a double quote loses
// it, and its closing quote when it ends with one; the rest is decoded from its XML and
// backslash escapes. Text describing more rows,
// columns or cells than a table file may state is refused: saving or exporting walks every
// cell of the grid, so a short text of commas and line breaks could otherwise cost far more
// time and memory than its size. Once a bound is passed nothing more is stored.
bool QzTable::importCSV(const std::string& text) {
    std::map<int, TableColumn> columns;
    int widest = 0;
    int64_t stored = 0;
    bool tooLarge = false;
    std::string_view fields = text;
    if (fields.starts_with(kByteOrderMark)) fields.remove_prefix(kByteOrderMark.size());
    const int records = validateCSV(fields, [&](int record, int column, std::string& field) {
        if (tooLarge || record >= TablesXML::kMaxRows || column >= TablesXML::kMaxColumns ||
            stored >= TablesXML::kMaxCells) {
            tooLarge = true;
            return;
        }
        if (!field.empty() && field[0] == '"') {
            field.erase(0, 1);
            if (!field.empty() && field.back() == '"') field.pop_back();
        }
        TableUtil::csvDecode(field);
        TableColumn::Cells& cells = columns[column].cells();
        cells.emplace_hint(cells.end(), record, TableCell(field));
        ++stored;
        if (column >= widest) widest = column + 1;
    });
    if (tooLarge || int64_t{records} * widest > TablesXML::kMaxCells) {
        std::printf("TableCSV Error: the text holds more than %d records, %d fields in a record or "
                    "%lld cells\n",
                    TablesXML::kMaxRows, TablesXML::kMaxColumns, static_cast<long long>(TablesXML::kMaxCells));
        return false;
    }
    reset();
    columns_.swap(columns);
    numCols_ = static_cast<int>(columns_.size());
    numRows_ = records;
    for (int title = 0; title < numRows_; ++title) rowTitles_[title] = std::string();
    return true;
}

bool QzTable::loadCSV(const std::string& path) {
    std::string text;
    if (!qzReadWholeFile(path, text)) {
        std::printf("TableCSV Error: cannot read %s\n", path.c_str());
        return false;
    }
    return importCSV(text);
}

// Cells are written escaped for XML and backslashes and wrapped in double quotes; a blank
// cell is written as its column type's default text without quotes.
bool QzTable::exportCSV(const std::string& path) {
    if (!fitsTableFile("TableCSV", path)) return false;
    std::string text;
    std::string escaped;
    for (int row = 0; row < numRows_; ++row) {
        for (int column = 0; column < numCols_; ++column) {
            if (column > 0) text += ',';
            escaped.clear();
            if (const TableCell* cell = findCell(column, row)) cell->xmlEscapedValue(escaped);
            if (qzIsBlankCell(escaped)) {
                text += columnDefaultValue(column);
            } else {
                text += '"';
                text += escaped;
                text += '"';
            }
        }
        text += '\n';
    }
    if (qzWriteWholeFile(path, text) < 0) {
        std::printf("TableCSV Error: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}
