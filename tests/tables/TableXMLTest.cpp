// Tests of table files: the expat reader, format-0 conversion, the XML and JSON writers.
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <string>

#include <sys/resource.h>
#include <sys/stat.h>

#include "QzTable.h"
#include "TableConversion.h"
#include "TableTestSupport.h"
#include "TablesXML.h"

namespace {

const std::string kData = QZ_TABLES_DATA;

std::string tableFile(const std::string& attributes, const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<table " + attributes + ">\n" + body + "</table>\n";
}

// Loads `xml` from a scratch file into `table`, returning loadTable's result.
bool loadText(QzTable& table, const ScratchFolder& folder, const std::string& xml) {
    writeFile(folder.file("in.xml"), xml);
    return table.loadTable(folder.file("in.xml"));
}

// The sample table: a name and a row title with XML specials, a read-only Text column and
// an Integer column with one blank cell.
void fillSample(QzTable& table) {
    table.setTableName("Tom & Jerry");
    table.setNumberOfColumns(2);
    table.setNumberOfRows(2);
    table.setRowTitle(0, "First");
    table.setRowTitle(1, "<b>");
    table.setColumnTitle(0, "Name");
    table.setColumnType(0, ColumnTypeText);
    table.setColumnReadOnly(0, true);
    table.setColumnTitle(1, "Count");
    table.setColumnType(1, ColumnTypeInteger);
    table.setCellValue(0, 0, "a,b");
    table.setCellValue(1, 0, "Say \"hi\"");
    table.setCellValue(0, 1, "5");
    table.setCellValue(1, 1, "");
}

// The three file writers, each as (table, path) -> success.
const std::function<bool(QzTable&, const std::string&)> kWriters[] = {
    [](QzTable& table, const std::string& path) { return table.saveTable(path, false); },
    [](QzTable& table, const std::string& path) { return table.saveTable(path, true); },
    [](QzTable& table, const std::string& path) { return table.exportCSV(path); },
};

// Limits the size of files this process writes (a write past it fails instead of raising
// SIGXFSZ); returns the previous limit.
rlimit fileSizeLimit(rlim_t bytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    const rlimit limited{bytes, previous.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limited);
    return previous;
}

TEST(TableWriter, NewTableIsWrittenExactly) {
    QzTable table;
    EXPECT_EQ(table.getFileStream(), readFile(kData + "/new_table.xml"));
}

TEST(TableWriter, XmlAndJsonMatchTheirLayoutsByteForByte) {
    QzTable table;
    fillSample(table);
    EXPECT_EQ(table.getFileStream(), readFile(kData + "/sample.xml"));
    EXPECT_EQ(table.getFileStreamJSON(), readFile(kData + "/sample.json"));
}

TEST(TableWriter, BlankIntegerCellsAreWrittenAsZero) {
    QzTable table;
    table.setColumnType(0, ColumnTypeInteger);
    table.setNumberOfRows(3);
    table.setCellValue(0, 0, "5");
    table.setCellValue(1, 0, "");
    table.setCellValue(2, 0, " ");
    EXPECT_NE(std::string(table.getFileStream()).find(">5,0,0</column>"), std::string::npos);
    EXPECT_NE(std::string(table.getFileStreamJSON()).find("\"_text\":[\"5\",\"0\",\"0\"]"), std::string::npos);
}

TEST(TableWriter, JsonNamesAndCellsAreEscapedIntoValidStrings) {
    QzTable table;
    table.setTableName("a\"b\\c");
    table.setColumnTitle(0, "tab\t");
    table.setCellValue(0, 0, "x\ny\\");
    const std::string json = table.getFileStreamJSON();
    EXPECT_NE(json.find("\"name\": \"a\\\"b\\\\c\","), std::string::npos) << json;
    EXPECT_NE(json.find("\"name\":\"tab\\t\","), std::string::npos) << json;
    EXPECT_NE(json.find("\"_text\":[\"x\\ny\\\\\"]"), std::string::npos) << json;
}

// Attributes longer than the format buffer are written whole; an empty path saves where the
// table was loaded from.
TEST(TableWriter, LongAttributesAndTheRememberedPath) {
    ScratchFolder folder;
    QzTable table;
    const std::string longName(100000, 'n');
    ASSERT_TRUE(loadText(table, folder, tableFile("numRows=\"1\" numCols=\"1\"", "")));
    table.setTableName(longName);
    table.setColumnTitle(0, longName + "c");
    ASSERT_TRUE(table.saveTable("", false));
    QzTable loaded;
    ASSERT_TRUE(loaded.loadTable(folder.file("in.xml")));
    EXPECT_EQ(loaded.tableName(), longName);
    EXPECT_EQ(loaded.columnTitle(0), longName + "c");
}

// Every writer: one that cannot write, or a table beyond what the reader accepts, is
// reported and writes nothing; a write cut short leaves the old file whole.
TEST(TableWriter, FilesThatCannotOrMustNotBeWrittenAreReported) {
    ScratchFolder folder;
    for (const auto& write : kWriters) {
        QzTable table;
        testing::internal::CaptureStdout();
        EXPECT_FALSE(write(table, folder.file("missing/dir/t.xml")));
        table.setNumberOfColumns(TablesXML::kMaxColumns + 1);
        EXPECT_FALSE(write(table, folder.file("wide")));
        table.setNumberOfColumns(1);
        table.setNumberOfRows(2048);
        table.setNumberOfColumns(2049);  // new columns hold no cells: quick to make
        EXPECT_FALSE(write(table, folder.file("large")));
        const std::string output = testing::internal::GetCapturedStdout();
        EXPECT_NE(output.find("cannot write"), std::string::npos) << output;
        EXPECT_NE(output.find("wide is not written: numCols 16385 is outside 0 to 16384"), std::string::npos);
        EXPECT_NE(output.find("large is not written: 2048 rows of 2049 columns exceed 4194304 cells"),
                  std::string::npos);
    }
    EXPECT_FALSE(std::filesystem::exists(folder.file("wide")) || std::filesystem::exists(folder.file("large")));
    QzTable table;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(table.saveTable("", true));  // never loaded: no path to save to
    EXPECT_NE(testing::internal::GetCapturedStdout().find("no file"), std::string::npos);

    writeFile(folder.file("t.xml"), "old");
    table.setTableName(std::string(100000, 'n'));
    const rlimit previous = fileSizeLimit(1000);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(table.saveTable(folder.file("t.xml"), false));
    testing::internal::GetCapturedStdout();
    setrlimit(RLIMIT_FSIZE, &previous);
    EXPECT_EQ(readFile(folder.file("t.xml")), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.file("")), {}), 1) << "no file left behind";
}

// Every writer replaces the file where it really lives: through a symbolic link (which stays
// a link), with names as long as the folder allows, keeping an existing file's mode.
TEST(TableWriter, WritersReplaceTheRealFileKeepingItsMode) {
    namespace fs = std::filesystem;
    ScratchFolder folder;
    fs::create_directory(folder.file("real"));
    fs::create_directory_symlink(folder.file("real"), folder.file("linked"));
    const fs::perms kept = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    const mode_t previousMask = umask(022);
    for (const auto& write : kWriters) {
        QzTable table;
        table.setCellValue(0, 0, "new");
        for (const size_t length : {249, 255}) {
            const std::string path = folder.file("real/" + std::string(length, 'n'));
            EXPECT_TRUE(write(table, path)) << length;
            EXPECT_NE(readFile(path).find("new"), std::string::npos) << length;
            EXPECT_EQ(fs::status(path).permissions(), kept | fs::perms::group_read | fs::perms::others_read);
        }
        writeFile(folder.file("real/t"), "old");
        fs::permissions(folder.file("real/t"), kept);
        fs::create_symlink("t", folder.file("real/link"));
        EXPECT_TRUE(write(table, folder.file("linked/link")));
        EXPECT_TRUE(fs::is_symlink(folder.file("real/link")));
        EXPECT_NE(readFile(folder.file("real/t")).find("new"), std::string::npos);
        EXPECT_EQ(fs::status(folder.file("real/t")).permissions(), kept);
        EXPECT_EQ(std::distance(fs::directory_iterator(folder.file("real")), {}), 4) << "no temporary file left";
        for (const auto& entry : fs::directory_iterator(folder.file("real"))) fs::remove(entry.path());
    }
    umask(previousMask);
}

TEST(TableRoundTrip, EveryColumnTypeAndSpecialTextSurvivesXml) {
    ScratchFolder folder;
    const std::string specials[] = {"comma, here", "quote \" 'apos'", "back\\slash\\", "line\nfeed\r\n",
                                    "tab\there", "amp & <tag>", "\xc3\xa9t\xc3\xa9 \xe2\x82\xac \xd0\xb0"};
    const int count = static_cast<int>(std::size(specials));
    QzTable table;
    table.setTableName("Name \"<&>\" \xc3\xa9");
    table.setFlags(5);
    table.setTableType(static_cast<TableType>(2));
    table.setNumberOfColumns(8);
    table.setNumberOfRows(count);
    for (int c = 0; c < 8; ++c) {
        table.setColumnType(c, static_cast<ColumnType>(c));
        table.setColumnTitle(c, "Col <" + std::to_string(c) + "> & 'x'");
        table.setColumnReadOnly(c, c % 2 == 1);
        for (int r = 0; r < count; ++r) table.setCellValue(r, c, specials[(r + c) % count]);
    }
    for (int r = 0; r < count; ++r) table.setRowTitle(r, "Row \"" + specials[r].substr(0, 3) + "\n\t\r" + "\"");
    ASSERT_TRUE(table.saveTable(folder.file("t.xml"), false));

    QzTable loaded;
    ASSERT_TRUE(loaded.loadTable(folder.file("t.xml")));
    EXPECT_STREQ(loaded.tableName(), table.tableName());
    EXPECT_EQ(loaded.flags(), table.flags());
    EXPECT_EQ(loaded.tableType(), table.tableType());
    ASSERT_EQ(loaded.numberOfRows(), count);
    ASSERT_EQ(loaded.numberOfColumns(), 8);
    for (int c = 0; c < 8; ++c) {
        EXPECT_EQ(loaded.columnType(c), c);
        EXPECT_STREQ(loaded.columnTitle(c), table.columnTitle(c));
        EXPECT_EQ(loaded.columnReadOnly(c), c % 2 == 1);
        for (int r = 0; r < count; ++r) EXPECT_STREQ(loaded.cellValue(r, c), table.cellValue(r, c));
    }
    for (int r = 0; r < count; ++r) EXPECT_STREQ(loaded.rowTitle(r), table.rowTitle(r));
}

// Regression: a control character or a byte that is not UTF-8 in one cell made the whole
// saved file unreadable.
TEST(TableRoundTrip, TextXmlCannotHoldIsReplacedSoTheFileStaysReadable) {
    ScratchFolder folder;
    QzTable table;
    table.setTableName(std::string("bell\x07"));
    table.setNumberOfRows(3);
    table.setCellValue(0, 0, std::string("nul\0x\x01", 6));
    table.setCellValue(1, 0, "bad \xff\xc3 utf8 \xed\xa0\x80 \xef\xbf\xbf");
    table.setCellValue(2, 0, "fine \xc3\xa9 \xf0\x9f\x98\x80 \x7f");
    testing::internal::CaptureStdout();
    ASSERT_TRUE(table.saveTable(folder.file("t.xml"), false));
    EXPECT_NE(testing::internal::GetCapturedStdout().find("11 characters"), std::string::npos);
    QzTable loaded;
    ASSERT_TRUE(loaded.loadTable(folder.file("t.xml")));
    const std::string fffd = "\xef\xbf\xbd";
    EXPECT_EQ(loaded.tableName(), "bell" + fffd);
    EXPECT_EQ(loaded.cellValue(0, 0), "nul" + fffd + "x" + fffd);
    EXPECT_EQ(loaded.cellValue(1, 0), "bad " + fffd + fffd + " utf8 " + fffd + fffd + fffd + " " + fffd + fffd + fffd);
    EXPECT_STREQ(loaded.cellValue(2, 0), table.cellValue(2, 0));
}

// Column texts decode their escapes and fill blanks with the type's default; rows go by id
// (ids outside the count are dropped), columns by position; cells and columns past the
// stated counts are not stored, so a file of commas cannot make the table far larger.
TEST(TableReader, CellsTitlesAndCountsComeFromTheFile) {
    ScratchFolder folder;
    QzTable table;
    ASSERT_TRUE(loadText(table, folder,
                         tableFile("version=\"1\" numRows=\"3\" numCols=\"4\" flags=\"4294967295\"",
                                   "<columns>"
                                   "<column type=\"1\" name=\"A\">a\\,b,c</column>"
                                   "<column type=\"2\" name=\"B\">7,</column>"
                                   "<column type=\"1\">x\\\\y,line1\\nline2,tab\\tq\\r,past</column>"
                                   "<column type=\"1\">ends\\</column><column>x</column>"
                                   "</columns><rows><row id=\"2\" name=\"two\"/><row id=\"0\" name=\"zero\"/>"
                                   "<row id=\"-7\" name=\"bad\"/></rows>")));
    const char* expected[3][4] = {
        {"a,b", "7", "x\\y", "ends\\"}, {"c", "0", "line1\nline2", ""}, {"", "", "tab\tq\r", ""}};
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 4; ++column) EXPECT_STREQ(table.cellValue(row, column), expected[row][column]);
    EXPECT_EQ(table.columnAtIndex(2)->cells().size(), 3u);
    EXPECT_EQ(table.columnAtIndex(4), nullptr);
    EXPECT_STREQ(table.rowTitle(0), "zero");
    EXPECT_STREQ(table.rowTitle(2), "two");
    EXPECT_EQ(table.findRowNumberByName("bad"), -1);
    EXPECT_STREQ(table.columnTitle(1), "B");
    EXPECT_EQ(table.flags(), 4294967295u);
    ASSERT_TRUE(
        loadText(table, folder, tableFile("numRows=\"0\" numCols=\"1\"", "<columns><column>a,b</column></columns>")));
    EXPECT_TRUE(table.columnAtIndex(0)->cells().empty());

    const std::string xml = tableFile("name=\"Buf\" numRows=\"2\"", "<columns><column>a,b</column></columns>");
    TablesXML parser;
    ASSERT_TRUE(parser.initWithBuffer(xml.data(), static_cast<int>(xml.size())));
    EXPECT_EQ(parser.getTable().name + parser.getTable().columns.at(0).text, "Buf" "a,b");
}

// Each bad file is refused with a message naming the problem, and the table that was
// loaded before keeps everything it held.
TEST(TableReader, BadFilesAreRefusedAndLeaveTheTableAsItWas) {
    ScratchFolder folder;
    const std::string good = tableFile("name=\"Good\" numRows=\"1\" numCols=\"1\"",
                                       "<columns><column>kept</column></columns>");
    struct Case {
        std::string xml;
        std::string message;
    } cases[] = {
        {"<table><columns></table>", "mismatched tag at line 1"},
        {"", "no element found"},
        {tableFile("numRows=\"-1\"", ""), "numRows -1 is outside"},
        {tableFile("numRows=\"99999999999999999999\"", ""), "is outside"},
        {tableFile("numCols=\"-3\"", ""), "numCols -3 is outside"},
        {tableFile("numRows=\"1000000\" numCols=\"10000\"", ""), "exceed"},
        {"<?xml version=\"1.0\"?><notatable numRows=\"1\"/>", "root element is <notatable>"},
        {"<?xml version=\"1.0\"?>\n<!DOCTYPE t [<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">"
         "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
         "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">"
         "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">"
         "<!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\">"
         "<!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;\">]>\n"
         "<table><columns><column>&f;</column></columns></table>",
         "TableParser Error"},
    };
    for (const Case& bad : cases) {
        QzTable table;
        ASSERT_TRUE(loadText(table, folder, good));
        testing::internal::CaptureStdout();
        EXPECT_FALSE(loadText(table, folder, bad.xml)) << bad.xml.substr(0, 80);
        const std::string output = testing::internal::GetCapturedStdout();
        EXPECT_NE(output.find(bad.message), std::string::npos) << output;
        EXPECT_NE(output.find(folder.file("in.xml")), std::string::npos) << output;
        EXPECT_STREQ(table.tableName(), "Good");
        EXPECT_STREQ(table.cellValue(0, 0), "kept");
        EXPECT_EQ(table.numberOfRows(), 1);
    }
}

TEST(TableReader, MissingFilesAndNullBuffersFail) {
    ScratchFolder folder;
    QzTable table;
    table.setCellValue(0, 0, "kept");
    testing::internal::CaptureStdout();
    EXPECT_FALSE(table.loadTable(folder.file("missing.xml")));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    testing::internal::CaptureStdout();
    EXPECT_FALSE(table.loadTable(folder.file("")));  // a folder opens but cannot be read
    EXPECT_NE(testing::internal::GetCapturedStdout().find("could not be read"), std::string::npos);
    EXPECT_STREQ(table.cellValue(0, 0), "kept");
    TablesXML parser;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(parser.initWithBuffer(nullptr, 10));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error reading the buffer");
    testing::internal::CaptureStdout();
    EXPECT_FALSE(parser.initWithBuffer("<a>", 3));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "TableParser Error: no element found at line 1\n\n");
}

// In format 0 a plain ampersand and backslashes were data.
TEST(TableConversion, VersionZeroFilesAreConvertedOnLoad) {
    QzTable table;
    ASSERT_TRUE(table.loadTable(kData + "/version0.xml"));
    const char* expected[3][3] = {{"a", "1", "two\nlines"}, {"b,c", "0", "Tom & Jerry"}, {"d", "3", "C:\\new"}};
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column) EXPECT_STREQ(table.cellValue(row, column), expected[row][column]);
    EXPECT_STREQ(table.rowTitle(2), "third");
}

TEST(TableConversion, OnlyVersionsWithWholePartZeroAreConverted) {
    ScratchFolder folder;
    const std::string columns = "<columns><column>a,\"b,c\",d</column></columns>";
    QzTable table;
    ASSERT_TRUE(loadText(table, folder, tableFile("version=\"0.9\" numRows=\"3\"", columns)));
    EXPECT_STREQ(table.cellValue(1, 0), "b,c");
    for (const std::string version : {"version=\"1\" ", "version=\"1.5\" ", ""}) {
        ASSERT_TRUE(loadText(table, folder, tableFile(version + "numRows=\"4\"", columns)));
        EXPECT_STREQ(table.cellValue(1, 0), "\"b") << version;
        EXPECT_STREQ(table.cellValue(2, 0), "c\"") << version;
    }
}

TEST(TableConversion, TokensOfQuotedAndBlankCells) {
    ConversionFromZeroToOne converter;
    converter.grabTokens("\"abc\",x,\"p,q,r\" tail,\"\",end", ColumnTypeText);
    EXPECT_EQ(converter.currentTokens(), (std::vector<std::string>{"abc", "x", "p,q,r", "", "end"}));
    converter.grabTokens(" ,,2", ColumnTypeBoolean);
    EXPECT_EQ(converter.currentTokens(), (std::vector<std::string>{"False", "False", "2"}));
    std::string text;
    converter.grabTokens("\"x\ny\",a\\b", ColumnTypeText);
    converter.convertTokens(text);
    EXPECT_EQ(text, "x\\ny,a\\\\b");
}

}  // namespace
