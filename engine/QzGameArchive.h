// Bounded extraction of a zipped game, for archives from strangers.
#ifndef QZ_GAME_ARCHIVE_H
#define QZ_GAME_ARCHIVE_H

#include <cstdint>
#include <string>

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
