// File-manager operations: making a folder, and zip archives through Debian's zip and unzip.
#ifndef QZ_FILE_MANAGER_H
#define QZ_FILE_MANAGER_H

#include <string>

// The error the unzip operation reports: the platform's "file read corrupt" code in the
// Cocoa error domain, without further information.
struct QzFileError {
    static constexpr const char* kDomain = "NSCocoaErrorDomain";
    static constexpr int kFileReadCorruptFile = 259;
    int code = 0;
};

class QzFileManager {
public:
    // False when anything exists at `path`; otherwise makes the folder (not its parents)
    // and says whether that worked.
    static bool createDirectoryIfNotExists(const std::string& path);

    // Runs "/usr/bin/zip -y -r DESTINATION NAME" in the source's parent folder, NAME being
    // the source's last path component, and waits for it. Always returns true.
    static bool zipItemAtPath(const std::string& source, const std::string& destination);

    // Runs "/usr/bin/unzip ARCHIVE -d DIRECTORY" and waits for it; a non-zero exit status
    // (or a tool that cannot be run) stores kFileReadCorruptFile in `error` when given.
    // Always returns true. unzip itself refuses entries that would land outside DIRECTORY.
    static bool unzipItemAtPath(const std::string& archive, const std::string& directory, QzFileError* error);
};

#endif
