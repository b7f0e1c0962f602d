// Extraction of zip archives into a folder, refusing every entry that would land outside it,
// and a bounded form for zipped games from strangers.
#ifndef QZ_GAME_ARCHIVE_H
#define QZ_GAME_ARCHIVE_H

#include <cstdint>
#include <string>

// Extracts every entry of a zip archive into the current working directory.
int Qz_ExtractGameAtPath(const char* zipPath);
// The same into the given folder. Entries with an absolute path or a ".." component are
// refused (nothing is written for them) and make the result non-zero; no write ever
// leaves the folder. Returns 0 when every entry was extracted.
int Qz_ExtractGameAtPathToFolder(const char* zipPath, const char* folder);

// What one archive may put on disk: the bytes actually decompressed (an entry's header may
// claim any size) and the number of entries.
struct QzArchiveLimits {
    uint64_t maxBytes;
    uint64_t maxEntries;
};

// Extracts the zip archive into the folder as Qz_ExtractGameAtPathToFolder does, but stops at
// the first entry that is refused, damaged or cannot be written, and at the first bound
// passed. False with error set to what went wrong; what was written stays for the caller
// to remove.
bool QzExtractArchive(const std::string& zipPath, const std::string& folder, const QzArchiveLimits& limits,
                      std::string* error);

#endif
