// Reading a whole file into memory and replacing a file's contents in one piece.
#ifndef QZ_TABLE_FILES_H
#define QZ_TABLE_FILES_H

#include <string>

// False when the file cannot be opened or read.
bool qzReadWholeFile(const std::string& path, std::string& text);

// Replaces the file at `path` (or, through symbolic links, the file it names) with `text` in
// one piece, keeping an existing file's mode, so a failed write never leaves a half-written
// file in place of the old one. Returns the number of bytes written (0 for empty text), -1
// on any failure.
long qzWriteWholeFile(const std::string& path, const std::string& text);

#endif
