// TablesXML: reads table files with expat into a table record and writes records as XML or JSON.
#ifndef QZ_TABLES_XML_H
#define QZ_TABLES_XML_H

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "TableConversion.h"
#include "TableRecords.h"

class IQzTableParser {
public:
    virtual ~IQzTableParser() = default;
    virtual bool initWithFile(const std::string& path) = 0;
    virtual bool initWithBuffer(const char* buffer, int length) = 0;
    virtual std::string getFileStream() = 0;
    virtual std::string getFileStreamJSON() = 0;
    // Bytes written; 0 when the file cannot be written.
    virtual long writeFileOut(const std::string& path, bool json) = 0;
    // The record, owned by the parser.
    virtual tables::Table& getTable() = 0;
};

enum TABLES_TAG_NAMES {
    TAG_UNKNOWN = 0,
    TAG_TABLE = 1,
    TAG_COLUMNS = 2,
    TAG_ROWS = 3,
    TAG_COLUMN = 4,
    TAG_ROW = 5,
};

// Made for one parse or one write. A second parse into the same object appends to the
// record of the first.
class TablesXML : public IQzTableParser {
public:
    // Counts a table file may state. A count is read from the file before any cell exists,
    // and saving or growing the table touches rows x columns cells, so both are bounded.
    static constexpr int kMaxRows = 1 << 20;
    static constexpr int kMaxColumns = 1 << 14;
    static constexpr int64_t kMaxCells = int64_t{1} << 22;

    // Why a table of this size cannot be a table file (empty when it can).
    static std::string sizeProblem(int numRows, int numCols);

    TablesXML();
    ~TablesXML() override;
    TablesXML(const TablesXML&) = delete;
    TablesXML& operator=(const TablesXML&) = delete;

    // Parses the file. False, with a "TableParser Error" line on standard output, when the
    // file is not a well-formed table; false without a message when it cannot be opened.
    bool initWithFile(const std::string& path) override;
    bool initWithBuffer(const char* buffer, int length) override;
    std::string getFileStream() override;
    std::string getFileStreamJSON() override;
    long writeFileOut(const std::string& path, bool json) override;
    tables::Table& getTable() override { return table_; }

private:
    class ExpatParser;

    static void StartElement(void* userData, const char* name, const char** attributes);
    static void EndElement(void* userData, const char* name);
    static void HandleText(void* userData, const char* text, int length);
    void SetCurrentTag(const char* name);
    void ConvertDataByVersion();
    // Why the parsed record cannot be a table (empty when it can).
    std::string recordProblem() const;
    bool finishParse(const std::string& where);

    // One element line: "<tag" + formatted attributes + ">" or "/>", or "<tag>text</tag>".
    static void FormatXMLString(std::string& out, const char* tag, bool withAttributes, bool openTag,
                                bool noNewline, const char* format, ...)
        __attribute__((format(printf, 6, 7)));

    int depth_ = 0;
    int currentTag_ = TAG_UNKNOWN;
    std::string currentTagName_;
    std::map<std::string, int> tagMap_;
    tables::Table table_;
    std::vector<std::unique_ptr<IQzTableXMLConverter>> converters_;  // owned
    std::string rootName_;  // the name of the first element the parse met
};

#endif
