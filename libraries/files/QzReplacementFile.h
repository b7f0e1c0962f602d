// A file written beside its target under a unique temporary name and renamed over it when complete.
#ifndef QZ_REPLACEMENT_FILE_H
#define QZ_REPLACEMENT_FILE_H

#include <cstddef>
#include <string>
#include <string_view>

#include <sys/types.h>

// Replaces one entry of a folder in one piece: readers see the old file or the complete new
// one, never a part. The temporary name is short and unique, so the target's name may be as
// long as the folder allows. An existing regular file keeps its mode; a new file gets
// `newFileMode` less the process's umask. A symbolic link at the entry is replaced, not
// followed. Without commit, the temporary file is removed and the target left alone.
class QzReplacementFile {
public:
    // `folder` is a descriptor of the target's folder (borrowed; must outlive this object).
    QzReplacementFile(int folder, std::string name, mode_t newFileMode);
    ~QzReplacementFile();
    QzReplacementFile(const QzReplacementFile&) = delete;
    QzReplacementFile& operator=(const QzReplacementFile&) = delete;

    // False when the temporary file could not be created.
    bool valid() const { return fd_ >= 0; }
    bool write(const char* bytes, size_t size);
    // Closes the temporary file and renames it over the target; false on any failure.
    bool commit();

private:
    void discard();

    int folder_;
    std::string name_;
    std::string temporaryName_;
    int fd_ = -1;  // owned; the temporary file until commit or discard
};

// Replaces the file at `path` with `bytes` through a QzReplacementFile in the folder where the
// file really lives: a symbolic link to the file (or to a folder on the way) is followed, so
// the link stays and its target gets the new contents. False on any failure.
bool qzReplaceFileContents(const std::string& path, std::string_view bytes);

#endif
