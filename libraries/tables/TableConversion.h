// Converters that rewrite a parsed table record of an older file format into the current one.
#ifndef QZ_TABLE_CONVERSION_H
#define QZ_TABLE_CONVERSION_H

#include <string>
#include <vector>

#include "TableColumn.h"
#include "TableRecords.h"

class IQzTableXMLConverter {
public:
    virtual ~IQzTableXMLConverter() = default;
    virtual void convert(tables::Table& record) = 0;
};

// Format 0 wrote a column's cells like one line of comma-separated values: a cell holding
// commas was wrapped in double quotes and nothing was escaped. This rewrites every column
// text into the backslash-escaped form of format 1.
class ConversionFromZeroToOne : public IQzTableXMLConverter {
public:
    void convert(tables::Table& record) override;

    // Splits a format-0 column text into `tokens`, blank cells taking the type's default.
    void grabTokens(const std::string& text, ColumnType type);
    // Replaces `text` with the format-1 form of `tokens`.
    void convertTokens(std::string& text) const;
    // Escapes one cell for format 1: backslash, comma, line feed and carriage return.
    static std::string xmlEscapedValue(const std::string& token);

    const std::vector<std::string>& currentTokens() const { return tokens; }

private:
    std::vector<std::string> tokens;
};

#endif
