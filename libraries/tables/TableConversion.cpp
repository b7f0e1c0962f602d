// Conversion of format-0 column texts (quoted comma-separated cells) into format 1.
#include "TableConversion.h"

#include "TableUtil.h"

void ConversionFromZeroToOne::convert(tables::Table& record) {
    for (tables::Column& column : record.columns) {
        grabTokens(column.text, static_cast<ColumnType>(column.type));
        convertTokens(column.text);
    }
}

namespace {

bool containsLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

// Reads from `position` up to the next `delimiter` (consumed, not kept) or to the end.
std::string readUpTo(const std::string& text, size_t& position, char delimiter) {
    const size_t end = text.find(delimiter, position);
    std::string token = text.substr(position, end == std::string::npos ? std::string::npos : end - position);
    position = end == std::string::npos ? text.size() : end + 1;
    return token;
}

}  // namespace

// Tokens are read until a read finds nothing more, so a trailing comma adds no empty cell.
void ConversionFromZeroToOne::grabTokens(const std::string& text, ColumnType type) {
    tokens.clear();
    size_t position = 0;
    while (position < text.size()) {
        std::string token = readUpTo(text, position, ',');
        if (!token.empty() && token[0] == '"') {
            if (token.size() >= 2 && token.back() == '"') {
                // A quoted cell that closes before the next comma.
                token = token.substr(1, token.size() - 2);
            } else if (containsLineBreak(token)) {
                token.erase(0, 1);
            } else {
                // A quoted cell that continued past a comma: read on to its closing quote,
                // then skip whatever follows it up to the next comma.
                const std::string rest = readUpTo(text, position, '"');
                token = token.substr(1) + "," + rest;
                readUpTo(text, position, ',');
            }
        }
        if (qzIsBlankCell(token)) token = qzColumnTypeDefaultText(type);
        tokens.push_back(std::move(token));
    }
}

void ConversionFromZeroToOne::convertTokens(std::string& text) const {
    text.clear();
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (i > 0) text += ',';
        text += xmlEscapedValue(tokens[i]);
    }
}

// Format 0 stored backslashes as they were, so they are doubled here: the format-1 reader
// would otherwise take them for escapes. Ampersands stay plain; the XML parser has already
// decoded the file's entities and the reader decodes only backslash escapes.
std::string ConversionFromZeroToOne::xmlEscapedValue(const std::string& token) {
    std::string escaped = token;
    if (escaped.empty()) return escaped;
    static const std::string comma = "\\,", lineFeed = "\\n", carriageReturn = "\\r";
    TableUtil::doubleBackslashes(escaped);
    TableUtil::cellSubstitute(escaped, ',', comma);
    TableUtil::cellSubstitute(escaped, '\n', lineFeed);
    TableUtil::cellSubstitute(escaped, '\r', carriageReturn);
    return escaped;
}
