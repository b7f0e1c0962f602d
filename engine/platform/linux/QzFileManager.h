// File-manager operations: making a folder, and zip archives (made by Debian's zip tool).
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

    // Extracts ARCHIVE into DIRECTORY (made when missing) with the extractor game bundles
    // use: entries that would land outside DIRECTORY are refused and symbolic links are not
    // restored, so nothing written later into the folder can be sent elsewhere. Any failure
    // stores kFileReadCorruptFile in `error` when given. Always returns true.
    static bool unzipItemAtPath(const std::string& archive, const std::string& directory, QzFileError* error);
};

#endif
