// TablesXML reading: expat callbacks that build the table record, file and buffer parsing.
#include "TablesXML.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include <expat.h>

namespace {

// The standard library's string-to-integer reading, clamped to the int range so that an
// enormous value cannot overflow (an unparsable value reads as 0).
int readInt(const char* text) {
    const long long value = std::strtoll(text, nullptr, 10);
    if (value < INT_MIN) return INT_MIN;
    if (value > INT_MAX) return INT_MAX;
    return static_cast<int>(value);
}

uint32_t readUnsigned(const char* text) {
    return static_cast<uint32_t>(std::strtoll(text, nullptr, 10));
}

void applyTableAttribute(tables::Table& table, const char* key, const char* value) {
    if (std::strcmp(key, "version") == 0) table.version = std::strtod(value, nullptr);
    else if (std::strcmp(key, "name") == 0) table.name = value;
    else if (std::strcmp(key, "numRows") == 0) table.numRows = readInt(value);
    else if (std::strcmp(key, "numCols") == 0) table.numCols = readInt(value);
    else if (std::strcmp(key, "flags") == 0) table.flags = readUnsigned(value);
    else if (std::strcmp(key, "tableType") == 0) table.tableType = readUnsigned(value);
}

void applyColumnAttribute(tables::Column& column, const char* key, const char* value) {
    if (std::strcmp(key, "id") == 0) column.id = readInt(value);
    else if (std::strcmp(key, "name") == 0) column.name = value;
    else if (std::strcmp(key, "type") == 0) column.type = readInt(value);
    else if (std::strcmp(key, "readonly") == 0) column.readonly = readInt(value) != 0;
}

void applyRowAttribute(tables::Row& row, const char* key, const char* value) {
    if (std::strcmp(key, "id") == 0) row.id = readInt(value);
    else if (std::strcmp(key, "name") == 0) row.name = value;
}

template <typename Record, typename Apply>
void applyAttributes(Record& record, const char** attributes, Apply apply) {
    for (const char** pair = attributes; pair[0] && pair[1]; pair += 2) apply(record, pair[0], pair[1]);
}

// Prints a parse error in the form "TableParser Error: <what> at line <n>[ in <path>]"
// followed by an empty line.
void printParseError(const std::string& what, unsigned long line, const std::string& where) {
    std::printf("TableParser Error: %s at line %lu%s\n\n", what.c_str(), line, where.c_str());
}

}  // namespace

// One expat parser with the defences a table file needs: no parameter entities, no external
// entities (no handler is set, so none is ever fetched) and the entity amplification limits.
class TablesXML::ExpatParser {
public:
    explicit ExpatParser(TablesXML* owner) : parser_(XML_ParserCreate(nullptr)) {
        if (!parser_) throw std::bad_alloc();
        XML_SetUserData(parser_, owner);
        XML_SetElementHandler(parser_, &TablesXML::StartElement, &TablesXML::EndElement);
        XML_SetCharacterDataHandler(parser_, &TablesXML::HandleText);
        XML_SetParamEntityParsing(parser_, XML_PARAM_ENTITY_PARSING_NEVER);
#if XML_MAJOR_VERSION > 2 || (XML_MAJOR_VERSION == 2 && XML_MINOR_VERSION >= 4)
        XML_SetBillionLaughsAttackProtectionMaximumAmplification(parser_, 100.0f);
        XML_SetBillionLaughsAttackProtectionActivationThreshold(parser_, 8 * 1024 * 1024);
#endif
    }
    ~ExpatParser() { XML_ParserFree(parser_); }
    ExpatParser(const ExpatParser&) = delete;
    ExpatParser& operator=(const ExpatParser&) = delete;

    bool parse(const char* data, int length, bool final) {
        return XML_Parse(parser_, data, length, final ? 1 : 0) != XML_STATUS_ERROR;
    }
    std::string errorText() const { return XML_ErrorString(XML_GetErrorCode(parser_)); }
    unsigned long line() const { return XML_GetCurrentLineNumber(parser_); }

private:
    XML_Parser parser_;  // owned
};

TablesXML::TablesXML() {
    tagMap_ = {{"table", TAG_TABLE}, {"columns", TAG_COLUMNS}, {"rows", TAG_ROWS},
               {"column", TAG_COLUMN}, {"row", TAG_ROW}};
    converters_.push_back(std::make_unique<ConversionFromZeroToOne>());
}

TablesXML::~TablesXML() = default;

void TablesXML::SetCurrentTag(const char* name) {
    auto it = tagMap_.find(name);
    currentTag_ = it == tagMap_.end() ? TAG_UNKNOWN : it->second;
    currentTagName_ = name;
}

void TablesXML::StartElement(void* userData, const char* name, const char** attributes) {
    auto* self = static_cast<TablesXML*>(userData);
    ++self->depth_;
    self->SetCurrentTag(name);
    if (self->depth_ == 1) {
        self->rootName_ = name;
        if (self->currentTag_ == TAG_TABLE) applyAttributes(self->table_, attributes, applyTableAttribute);
    } else if (self->depth_ == 3) {
        if (self->currentTag_ == TAG_ROW) {
            self->table_.rows.emplace_back();
            applyAttributes(self->table_.rows.back(), attributes, applyRowAttribute);
        } else if (self->currentTag_ == TAG_COLUMN) {
            self->table_.columns.emplace_back();
            applyAttributes(self->table_.columns.back(), attributes, applyColumnAttribute);
        }
    }
}

void TablesXML::EndElement(void* userData, const char*) {
    --static_cast<TablesXML*>(userData)->depth_;
}

// Only the character content of a column element is kept; text anywhere else, the
// whitespace between elements included, is dropped.
void TablesXML::HandleText(void* userData, const char* text, int length) {
    auto* self = static_cast<TablesXML*>(userData);
    if (self->depth_ != 3 || self->currentTag_ != TAG_COLUMN || self->table_.columns.empty()) return;
    self->table_.columns.back().text.append(text, static_cast<size_t>(length));
}

bool TablesXML::initWithFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(file, &std::fclose);
    ExpatParser parser(this);
    char block[4096];
    for (;;) {
        const size_t count = std::fread(block, 1, sizeof block, file);
        if (std::ferror(file)) {
            printParseError("the file could not be read", parser.line(), " in " + path);
            return false;
        }
        const bool final = count < sizeof block;
        if (!parser.parse(block, static_cast<int>(count), final)) {
            printParseError(parser.errorText(), parser.line(), " in " + path);
            return false;
        }
        if (final) break;
    }
    return finishParse(" in " + path);
}

bool TablesXML::initWithBuffer(const char* buffer, int length) {
    if (!buffer || length < 0) {
        std::printf("Error reading the buffer");
        return false;
    }
    ExpatParser parser(this);
    if (!parser.parse(buffer, length, true)) {
        printParseError(parser.errorText(), parser.line(), "");
        return false;
    }
    return finishParse("");
}

std::string TablesXML::sizeProblem(int numRows, int numCols) {
    char text[160];
    if (numRows < 0 || numRows > kMaxRows) {
        std::snprintf(text, sizeof text, "numRows %d is outside 0 to %d", numRows, kMaxRows);
        return text;
    }
    if (numCols < 0 || numCols > kMaxColumns) {
        std::snprintf(text, sizeof text, "numCols %d is outside 0 to %d", numCols, kMaxColumns);
        return text;
    }
    if (int64_t{numRows} * numCols > kMaxCells) {
        std::snprintf(text, sizeof text, "%d rows of %d columns exceed %lld cells", numRows, numCols,
                      static_cast<long long>(kMaxCells));
        return text;
    }
    return std::string();
}

std::string TablesXML::recordProblem() const {
    if (rootName_ != "table") {
        return "the root element is <" + rootName_ + ">, not <table>";
    }
    return sizeProblem(table_.numRows, table_.numCols);
}

// A parse that expat accepted still has to describe a table of bounded size.
bool TablesXML::finishParse(const std::string& where) {
    const std::string problem = recordProblem();
    if (!problem.empty()) {
        std::printf("TableParser Error: %s%s\n\n", problem.c_str(), where.c_str());
        return false;
    }
    ConvertDataByVersion();
    return true;
}

// Files of format 0 (the whole-number part of "version" is 0) are rewritten into format 1.
// A failed conversion keeps what was converted and the parse still counts as successful.
void TablesXML::ConvertDataByVersion() {
    if (table_.columns.empty() || std::floor(table_.version) != 0.0) return;
    try {
        if (converters_.empty()) throw std::logic_error("no converter");
        converters_.front()->convert(table_);
    } catch (const std::exception&) {
        std::printf("Error converting file!");
    }
}
