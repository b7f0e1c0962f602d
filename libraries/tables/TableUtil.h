// Text functions for table cells: substitution, XML, backslash and JSON escaping, decoding.
#ifndef QZ_TABLE_UTIL_H
#define QZ_TABLE_UTIL_H

#include <string>

namespace TableUtil {

// Replaces each byte `c` by `replacement`. An occurrence where the text already begins with
// the replacement is left alone (so an existing "&amp;" is never escaped twice), and
// replacement texts are never rescanned.
void cellSubstitute(std::string& text, char c, const std::string& replacement);

// Escapes the five XML special characters as entities.
void xmlSubstitute(std::string& text);

// Doubles every backslash.
void doubleBackslashes(std::string& text);

// Backslash-escapes backslash, comma, line feed, carriage return and tab.
void escapeSubstitute(std::string& text);

// Replaces what XML 1.0 cannot hold, even escaped, by U+FFFD: control characters other than
// tab, line feed and carriage return, the non-characters U+FFFE and U+FFFF, and every byte
// that is not part of well-formed UTF-8. Returns how many were replaced.
size_t replaceNonXmlCharacters(std::string& text);

// Escapes a JSON string body: double quote, backslash and every control character.
void jsonSubstitute(std::string& text);

// The byte a backslash escape stands for: n, r and t name control characters, any other
// byte (backslash and comma included) stands for itself.
char unescapedByte(char escaped);

// Undoes xmlSubstitute and then escapeSubstitute, each in one left-to-right pass, so that
// an escaped backslash or entity is never decoded twice. A lone backslash at the very end
// is kept as a backslash.
void csvDecode(std::string& text);

}  // namespace TableUtil

#endif
