// Text functions for table cells: substitution, XML, backslash and JSON escaping, decoding.
#include "TableUtil.h"

#include <cstdio>
#include <cstring>

namespace TableUtil {

void cellSubstitute(std::string& text, char c, const std::string& replacement) {
    size_t position = text.find(c);
    while (position != std::string::npos) {
        if (text.compare(position, replacement.size(), replacement) == 0) {
            position = text.find(c, position + 1);
            continue;
        }
        text.replace(position, 1, replacement);
        position = text.find(c, position + replacement.size());
    }
}

void xmlSubstitute(std::string& text) {
    static const std::string amp = "&amp;", apos = "&apos;", quot = "&quot;", lt = "&lt;",
                             gt = "&gt;";
    cellSubstitute(text, '&', amp);
    cellSubstitute(text, '\'', apos);
    cellSubstitute(text, '"', quot);
    cellSubstitute(text, '<', lt);
    cellSubstitute(text, '>', gt);
}

void doubleBackslashes(std::string& text) {
    for (size_t position = text.find('\\'); position != std::string::npos;
         position = text.find('\\', position + 2)) {
        text.insert(position, 1, '\\');
    }
}

void escapeSubstitute(std::string& text) {
    static const std::string comma = "\\,", lineFeed = "\\n",
                             carriageReturn = "\\r", tab = "\\t";
    // Doubling first: every backslash present afterwards belongs to an escape pair.
    doubleBackslashes(text);
    cellSubstitute(text, ',', comma);
    cellSubstitute(text, '\n', lineFeed);
    cellSubstitute(text, '\r', carriageReturn);
    cellSubstitute(text, '\t', tab);
}

namespace {

// The length of the well-formed UTF-8 character XML allows at `at`, or 0 when there is none.
size_t xmlCharacterLength(const std::string& text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return lead >= 0x20 || lead == '\t' || lead == '\n' || lead == '\r' ? 1 : 0;
    size_t length;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (size_t i = 2; i < length; ++i) {
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
    }
    if (lead == 0xEF && byte(at + 1) == 0xBF && byte(at + 2) >= 0xBE) return 0;  // U+FFFE, U+FFFF
    return length;
}

}  // namespace

size_t replaceNonXmlCharacters(std::string& text) {
    static const char kReplacement[] = "\xEF\xBF\xBD";
    size_t replaced = 0;
    std::string out;
    size_t copied = 0;  // text before this position is already in `out`
    for (size_t at = 0; at < text.size();) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte >= 0x20 && byte < 0x80) {  // plain ASCII, by far the most common
            ++at;
            continue;
        }
        const size_t length = xmlCharacterLength(text, at);
        if (length > 0) {
            at += length;
            continue;
        }
        out.append(text, copied, at - copied);
        out += kReplacement;
        ++replaced;
        copied = ++at;
    }
    if (replaced == 0) return 0;
    out.append(text, copied, std::string::npos);
    text.swap(out);
    return replaced;
}

void jsonSubstitute(std::string& text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (unsigned char byte : text) {
        switch (byte) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            default:
                if (byte < 0x20) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04x", byte);
                    out += escape;
                } else {
                    out += static_cast<char>(byte);
                }
        }
    }
    text.swap(out);
}

char unescapedByte(char escaped) {
    switch (escaped) {
        case 'n': return '\n';
        case 'r': return '\r';
        case 't': return '\t';
        default: return escaped;
    }
}

namespace {

struct Entity {
    const char* name;  // without the ampersand
    char byte;
};
const Entity kEntities[] = {
    {"amp;", '&'}, {"apos;", '\''}, {"quot;", '"'}, {"lt;", '<'}, {"gt;", '>'},
};

// Both decoders only ever shorten the text, so they write it over itself.
void decodeEntities(std::string& text) {
    size_t write = 0;
    for (size_t read = 0; read < text.size(); ++read) {
        char byte = text[read];
        if (byte == '&') {
            for (const Entity& entity : kEntities) {
                const size_t length = std::strlen(entity.name);
                if (text.compare(read + 1, length, entity.name) == 0) {
                    byte = entity.byte;
                    read += length;
                    break;
                }
            }
        }
        text[write++] = byte;
    }
    text.resize(write);
}

void decodeBackslashes(std::string& text) {
    size_t write = 0;
    for (size_t read = 0; read < text.size(); ++read) {
        char byte = text[read];
        if (byte == '\\' && read + 1 < text.size()) byte = unescapedByte(text[++read]);
        text[write++] = byte;
    }
    text.resize(write);
}

}  // namespace

void csvDecode(std::string& text) {
    decodeEntities(text);
    decodeBackslashes(text);
}

}  // namespace TableUtil
