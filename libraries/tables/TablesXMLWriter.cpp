// TablesXML writing: the table record rendered as a version-1 XML table file or as JSON.
#include <cstdarg>
#include <cstdio>
#include <string>

#include "TableFiles.h"
#include "TablesXML.h"

namespace {

// printf-style formatting into a buffer that starts at 4096 bytes and grows to fit, so an
// attribute text of any length is written whole.
std::string formatText(const char* format, va_list args) {
    std::string text(4096, '\0');
    va_list retry;
    va_copy(retry, args);
    const int needed = std::vsnprintf(text.data(), text.size(), format, args);
    if (needed < 0) {
        va_end(retry);
        return std::string();
    }
    if (static_cast<size_t>(needed) >= text.size()) {
        text.resize(static_cast<size_t>(needed) + 1);
        std::vsnprintf(text.data(), text.size(), format, retry);
    }
    va_end(retry);
    text.resize(static_cast<size_t>(needed));
    return text;
}

std::string decimal(int value) {
    char text[23];
    std::snprintf(text, sizeof text, "%d", value);
    return text;
}

}  // namespace

void TablesXML::FormatXMLString(std::string& out, const char* tag, bool withAttributes, bool openTag,
                                bool noNewline, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string formatted = formatText(format, args);
    va_end(args);
    out += '<';
    out += tag;
    if (withAttributes) {
        out += formatted;
        if (!openTag) {
            out += "/>\n";
            return;
        }
        out += '>';
        if (!noNewline) out += '\n';
        return;
    }
    out += '>';
    out += formatted;
    out += "</";
    out += tag;
    out += ">\n";
}

std::string TablesXML::getFileStream() {
    std::string out;
    size_t estimate = 512;
    for (const tables::Column& column : table_.columns) estimate += column.text.size() + 96;
    out.reserve(estimate + table_.rows.size() * 48);

    out += "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
    FormatXMLString(out, "table", true, true, false,
                    " %s=\"%f\" %s=\"%s\" %s=\"%d\" %s=\"%d\" %s=\"%u\" %s=\"%u\"", "version",
                    table_.version, "name", table_.name.c_str(), "numRows", table_.numRows,
                    "numCols", table_.numCols, "flags", table_.flags, "tableType", table_.tableType);
    out += "    <rows>\n";
    for (const tables::Row& row : table_.rows) {
        out += "        ";
        FormatXMLString(out, "row", true, false, false, " %s=\"%d\" %s=\"%s\"", "id", row.id, "name",
                        row.name.c_str());
    }
    out += "    </rows>\n";
    out += "    <columns>\n";
    for (const tables::Column& column : table_.columns) {
        out += "        ";
        FormatXMLString(out, "column", true, true, true, " %s=\"%d\" %s=\"%s\" %s=\"%d\" %s=\"%d\"", "id",
                        column.id, "name", column.name.c_str(), "type", column.type, "readonly",
                        column.readonly ? 1 : 0);
        out += column.text;
        out += "</column>\n";
    }
    out += "    </columns>\n";
    out += "</table>\n";
    return out;
}

// Every key and value is a JSON string. The counts print as signed decimals; the format
// version is always "0.1" and the table id always "0".
std::string TablesXML::getFileStreamJSON() {
    std::string out;
    size_t estimate = 1024;
    for (const tables::Column& column : table_.columns) estimate += column.text.size() + 256;
    out.reserve(estimate + table_.rows.size() * 128);

    const auto quoted = [](const std::string& text) { return "\"" + text + "\""; };
    out += "{\n";
    out += "   \"version\": \"0.1\",\n";
    out += "   \"id\": \"0\",\n";
    out += "   \"name\": " + quoted(table_.name) + ",\n";
    out += "   \"numRows\": " + quoted(decimal(table_.numRows)) + ",\n";
    out += "   \"numCols\": " + quoted(decimal(table_.numCols)) + ",\n";
    out += "   \"flags\": " + quoted(decimal(static_cast<int>(table_.flags))) + ",\n";
    out += "   \"tableType\": " + quoted(decimal(static_cast<int>(table_.tableType))) + ",\n";
    out += "   \"_type\":\"table\",\n";
    out += "   \"_children\": [\n";
    out += "       {\n";
    out += "           \"_type\": \"rows\",\n";
    out += "           \"_children\": [\n";
    for (size_t i = 0; i < table_.rows.size(); ++i) {
        const tables::Row& row = table_.rows[i];
        out += "               {\n";
        out += "                   \"_type\": \"row\",\n";
        out += "                   \"id\": " + quoted(decimal(row.id)) + ",\n";
        out += "                   \"name\":" + quoted(row.name) + "\n";
        out += i + 1 < table_.rows.size() ? "               },\n" : "               }\n";
    }
    out += "           ]\n";
    out += "       },\n";
    out += "       {\n";
    out += "           \"_type\": \"columns\",\n";
    out += "           \"_children\":[\n";
    for (size_t i = 0; i < table_.columns.size(); ++i) {
        const tables::Column& column = table_.columns[i];
        out += "               {\n";
        out += "                   \"_text\":[" + column.text + "],\n";
        out += "                   \"_type\":\"column\",\n";
        out += "                   \"id\":" + quoted(decimal(column.id)) + ",\n";
        out += "                   \"name\":" + quoted(column.name) + ",\n";
        out += "                   \"type\":" + quoted(decimal(column.type)) + ",\n";
        out += "                   \"readonly\":" + quoted(column.readonly ? "1" : "0") + "\n";
        out += i + 1 < table_.columns.size() ? "               },\n" : "               }\n";
    }
    out += "           ]\n";
    out += "       }\n";
    out += "   ]\n";
    out += "}\n";
    return out;
}

long TablesXML::writeFileOut(const std::string& path, bool json) {
    const long written = qzWriteWholeFile(path, json ? getFileStreamJSON() : getFileStream());
    return written < 0 ? 0 : written;
}
