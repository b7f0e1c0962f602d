// The label markup: [b], [i], [u], [color=#rrggbb] and [size=N] runs with [[ for a bracket,
// read into the plain text and its styled runs.
#ifndef QZ_TEXT_MARKUP_H
#define QZ_TEXT_MARKUP_H

#include <cstddef>
#include <string>
#include <vector>

// The largest font size a [size=N] tag may ask for, in pixels. A run this large already makes
// a texture near the size cap; the bound keeps the size Pango computes with in its int range.
inline constexpr double kQzMarkupMaxSize = 500;

enum class QzTextRunKind { Bold, Italic, Underline, Color, Size };

// One styled run: a byte range of the plain text and what it changes.
struct QzTextRun {
    QzTextRunKind kind;
    size_t start = 0;  // first byte in the plain text
    size_t end = 0;    // one past the last byte
    double r = 0, g = 0, b = 0, a = 1;  // Color runs, each 0 to 1
    double size = 0;                    // Size runs, pixels
};

struct QzTextMarkup {
    std::string text;             // the text without its tags, [[ turned into [
    std::vector<QzTextRun> runs;  // in the order their tags open
    std::string problem;          // empty when the markup is well formed; else what is wrong and where
};

// Reads markup (UTF-8). On a problem the text and runs are left empty and `problem` says,
// counting characters from 1, where the first fault lies and what to write instead.
QzTextMarkup QzParseTextMarkup(const std::string& markup);

#endif
