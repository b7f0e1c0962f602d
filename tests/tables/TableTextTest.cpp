// Tests of cell text: XML, backslash and JSON escaping, decoding, CSV import and export.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "QzTable.h"
#include "TableTestSupport.h"
#include "TableUtil.h"
#include "TablesXML.h"

namespace {

// A cell's text in its XML (with backslash escapes) or JSON form.
std::string escaped(const std::string& text, bool json = false) {
    std::string out;
    json ? TableCell(text).jsonEscapedValue(out) : TableCell(text).xmlEscapedValue(out);
    return out;
}

std::string xmlEscaped(const std::string& text) { return escaped(text); }
std::string jsonEscaped(const std::string& text) { return escaped(text, true); }

TEST(TableText, XmlEscapingAppliesEntitiesThenBackslashes) {
    EXPECT_EQ(xmlEscaped("Tom & Jerry,\n"), "Tom &amp; Jerry\\,\\n");
    EXPECT_EQ(xmlEscaped("&amp;"), "&amp;");
    EXPECT_EQ(xmlEscaped("&lt;"), "&amp;lt;");
    EXPECT_EQ(xmlEscaped("a\\b"), "a\\\\b");
    EXPECT_EQ(xmlEscaped("<x> 'q' \"d\"\t\r"), "&lt;x&gt; &apos;q&apos; &quot;d&quot;\\t\\r");
}

TEST(TableText, CellSubstituteNeverRescansItsReplacement) {
    std::string text = "a&b&amp;c";
    TableUtil::cellSubstitute(text, '&', "&amp;");
    EXPECT_EQ(text, "a&amp;b&amp;c");
    std::string commas = ",,";
    TableUtil::cellSubstitute(commas, ',', "\\,");
    EXPECT_EQ(commas, "\\,\\,");
}

// JSON strings must stay valid: backslashes and control characters are escaped too.
TEST(TableText, JsonEscapingKeepsTheStringValid) {
    EXPECT_EQ(jsonEscaped("say \"hi\""), "say \\\"hi\\\"");
    EXPECT_EQ(jsonEscaped("a\\"), "a\\\\");
    EXPECT_EQ(jsonEscaped("tab\there\nx\x01"), "tab\\there\\nx\\u0001");
    EXPECT_EQ(jsonEscaped("caf\xc3\xa9"), "caf\xc3\xa9");
}

// Regression: decoding entity by entity turned an escaped "&lt;" back into "<", and
// decoding escape by escape turned an escaped backslash followed by n into a line feed.
TEST(TableText, CsvDecodeUndoesEachEscapeExactlyOnce) {
    for (const std::string original :
         {"&lt;", "a\\nb", "\\\\", "x&amp;lt;", "Tom & Jerry,\n\r\t", "\xd0\xb0\xc2\xb0 ok"}) {
        std::string text = xmlEscaped(original);
        TableUtil::csvDecode(text);
        // An existing "&amp;" is not escaped again.
        EXPECT_EQ(text, original == "x&amp;lt;" ? std::string("x&lt;") : original);
    }
    std::string loneBackslash = "end\\";
    TableUtil::csvDecode(loneBackslash);
    EXPECT_EQ(loneBackslash, "end\\");
}

// Each case: the text, the rows and columns it makes, and cells (row, column, text) to check.
// Regressions: bytes 0xB0 and 0xB1 inside UTF-8 characters were taken for separators; a
// spreadsheet's byte-order mark stuck to the first title.
TEST(TableCSV, ImportSplitsRecordsAndFields) {
    struct Cell { int row, column; const char* text; };
    const struct { const char* text; int rows, columns; std::vector<Cell> cells; } cases[] = {
        {"a,b\nc,d\ne,f\n", 3, 2, {{2, 1, "f"}, {0, 0, "a"}}},
        {"\"a,b\",\"line\r\nbreak\",\"x\ny\"\r\nlast,\"\"\r\n", 2, 3,
         {{0, 0, "a,b"}, {0, 1, "line\rbreak"}, {0, 2, "x\ry"}, {1, 0, "last"}, {1, 1, ""}}},
        {"\nx\ry,z", 3, 2, {{0, 0, ""}, {1, 0, "x"}, {2, 1, "z"}}},
        {"", 1, 1, {{0, 0, ""}}},
        {"\xd0\xb0\xd0\xb1,\xc2\xb0\xc2\xb1\n", 1, 2, {{0, 0, "\xd0\xb0\xd0\xb1"}, {0, 1, "\xc2\xb0\xc2\xb1"}}},
        {"a,\"open,b\nc", 1, 2, {{0, 1, "open,b\rc"}}},
        {"\xef\xbb\xbfName,Score\n\xef\xbb\xbfx,1\n", 2, 2, {{0, 0, "Name"}, {1, 0, "\xef\xbb\xbfx"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.text)));
        QzTable table;
        testing::internal::CaptureStdout();
        EXPECT_TRUE(table.importCSV(c.text));
        const std::string output = testing::internal::GetCapturedStdout();
        EXPECT_EQ(output.find("never closed") != std::string::npos, std::string(c.text).starts_with("a,\"open"));
        EXPECT_EQ(table.numberOfRows(), c.rows);
        EXPECT_EQ(table.numberOfColumns(), c.columns);
        for (const Cell& cell : c.cells) EXPECT_STREQ(table.cellValue(cell.row, cell.column), cell.text);
        EXPECT_STREQ(table.rowTitle(0), "");
        EXPECT_EQ(table.columnType(0), ColumnTypeUndefined);
    }
}

// A short text of commas and line breaks must not describe a grid that saving or exporting
// would have to walk cell by cell: the same bounds as a table file's counts apply.
TEST(TableCSV, TextDescribingTooLargeATableIsRefusedAndChangesNothing) {
    ScratchFolder folder;
    const std::string tooWide(TablesXML::kMaxColumns, ',');  // one field more than allowed
    const std::string tooManyCells = std::string(3000, ',') + std::string(1400, '\n');
    for (const std::string& text : {tooWide, tooManyCells}) {
        QzTable table;
        table.setCellValue(0, 0, "kept");
        writeFile(folder.file("big.csv"), text);
        testing::internal::CaptureStdout();
        EXPECT_FALSE(table.importCSV(text));
        EXPECT_FALSE(table.loadCSV(folder.file("big.csv")));
        EXPECT_NE(testing::internal::GetCapturedStdout().find("TableCSV Error"), std::string::npos);
        EXPECT_EQ(table.numberOfRows(), 1);
        EXPECT_EQ(table.numberOfColumns(), 1);
        EXPECT_STREQ(table.cellValue(0, 0), "kept");
    }
    QzTable table;
    EXPECT_TRUE(table.importCSV(std::string(TablesXML::kMaxColumns - 1, ',')));
    EXPECT_EQ(table.numberOfColumns(), TablesXML::kMaxColumns);
}

TEST(TableCSV, ExportWritesQuotedEscapedCellsAndUnquotedDefaults) {
    ScratchFolder folder;
    QzTable table;
    table.setNumberOfColumns(3);
    table.setColumnType(1, ColumnTypeBoolean);
    table.setColumnType(2, ColumnTypeInteger);
    table.setNumberOfRows(2);
    table.setCellValue(0, 0, "a,b");
    table.setCellValue(0, 1, "");
    table.setCellValue(0, 2, " ");
    table.setCellValue(1, 0, "<q>");
    table.setCellValue(1, 1, "True");
    table.setCellValue(1, 2, "5");
    ASSERT_TRUE(table.exportCSV(folder.file("out.csv")));
    EXPECT_EQ(readFile(folder.file("out.csv")), "\"a\\,b\",False,0\n\"&lt;q&gt;\",\"True\",\"5\"\n");
}

// Regression: a table without rows exports empty text, which was reported as a failure.
TEST(TableCSV, ATableWithoutRowsExportsAnEmptyFile) {
    ScratchFolder folder;
    QzTable table;
    table.removeRowAtIndex(0);
    testing::internal::CaptureStdout();
    EXPECT_TRUE(table.exportCSV(folder.file("empty.csv")));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(std::filesystem::exists(folder.file("empty.csv")));
    EXPECT_EQ(readFile(folder.file("empty.csv")), "");
}

TEST(TableCSV, ExportThenLoadRoundTripsSpecialCharacters) {
    ScratchFolder folder;
    const std::string cells[] = {"comma, here", "quote \" and 'apos'", "back\\slash\\",
                                 "line\nfeed", "tab\there", "amp & <tag>", "\xc3\xa9t\xc3\xa9 \xe2\x82\xac"};
    QzTable table;
    table.setNumberOfColumns(static_cast<int>(std::size(cells)));
    table.setNumberOfRows(2);
    for (int c = 0; c < static_cast<int>(std::size(cells)); ++c) {
        table.setCellValue(0, c, cells[c]);
        table.setCellValue(1, c, "plain");
    }
    ASSERT_TRUE(table.exportCSV(folder.file("t.csv")));
    QzTable loaded;
    ASSERT_TRUE(loaded.loadCSV(folder.file("t.csv")));
    ASSERT_EQ(loaded.numberOfRows(), 2);
    ASSERT_EQ(loaded.numberOfColumns(), static_cast<int>(std::size(cells)));
    for (int c = 0; c < static_cast<int>(std::size(cells)); ++c) {
        EXPECT_EQ(loaded.cellValue(0, c), cells[c]) << "column " << c;
        EXPECT_STREQ(loaded.cellValue(1, c), "plain");
    }
}

TEST(TableCSV, AnUnreadableFileIsReportedAndChangesNothing) {
    QzTable table;
    table.setCellValue(0, 0, "kept");
    testing::internal::CaptureStdout();
    EXPECT_FALSE(table.loadCSV("/nonexistent/missing.csv"));
    EXPECT_NE(testing::internal::GetCapturedStdout().find("cannot read"), std::string::npos);
    EXPECT_STREQ(table.cellValue(0, 0), "kept");
}

}  // namespace
