// Extraction of zip archives into a folder, refusing every entry that would land outside it.
#ifndef QZ_GAME_ARCHIVE_H
#define QZ_GAME_ARCHIVE_H

// Extracts every entry of a zip archive into the current working directory.
int Qz_ExtractGameAtPath(const char* zipPath);
// The same into the given folder. Entries with an absolute path or a ".." component are
// refused (nothing is written for them) and make the result non-zero; no write ever
// leaves the folder. Returns 0 when every entry was extracted.
int Qz_ExtractGameAtPathToFolder(const char* zipPath, const char* folder);

#endif
