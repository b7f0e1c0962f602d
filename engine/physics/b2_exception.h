// The record that Box2D's assertion macro throws instead of aborting the process.
#ifndef QZ_B2_EXCEPTION_H
#define QZ_B2_EXCEPTION_H

#include <cstdio>

// Thrown by b2Assert with the failed expression, its source file and line. The two strings
// are string literals made by the macro, so the record borrows them for the program's life.
struct b2Exception {
    const char* expression;
    const char* file;
    int line;

    b2Exception(const char* expressionText, const char* fileName, int lineNumber)
        : expression(expressionText), file(fileName), line(lineNumber) {}

    // Writes "file:line assertion failed expression" on one line of standard output.
    void Report() const {
        std::printf("%s:%d assertion failed %s\n", file, line, expression);
        std::fflush(stdout);
    }
};

#endif
