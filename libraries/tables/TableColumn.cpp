// Column type defaults and the cell and column operations of the data-table model.
#include "TableColumn.h"

#include "IndexedMap.h"
#include "TableUtil.h"

const char* qzColumnTypeDefaultText(ColumnType type) {
    switch (type) {
        case ColumnTypeInteger:
        case ColumnTypeReal:
        case ColumnTypeAngle:
            return "0";
        case ColumnTypeBoolean:
            return "False";
        default:
            return "";
    }
}

bool qzIsBlankCell(const std::string& text) {
    return text.empty() || text == " ";
}

void TableCell::xmlEscapedValue(std::string& out) const {
    out = value_;
    if (out.empty()) return;
    TableUtil::xmlSubstitute(out);
    TableUtil::escapeSubstitute(out);
}

void TableCell::jsonEscapedValue(std::string& out) const {
    out = value_;
    if (out.empty()) return;
    TableUtil::jsonSubstitute(out);
}

// Shifting by key rather than over a dense run keeps sparse columns aligned: a cell stored
// past a gap moves with its row instead of being overwritten.
void TableColumn::addCellAtRowIndex(int row) {
    qzOpenIndex(cells_, row);
}

void TableColumn::removeCellAtRowIndex(int row) {
    qzCloseIndex(cells_, row);
}
