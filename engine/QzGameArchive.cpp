// Extraction of a zipped game into a folder, refusing every entry that would land outside it.
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unzip.h>

#include "QzGameArchive.h"
#include "QzReplacementFile.h"

namespace {

// A file descriptor closed when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor(Descriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Descriptor& operator=(Descriptor&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~Descriptor() {
        if (fd_ >= 0) close(fd_);
    }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

private:
    int fd_;
};

// Splits an entry name into its path components; false when the name is absolute, empty,
// or has a ".." component, any of which could reach outside the target folder.
bool safeComponents(const std::string& name, std::vector<std::string>* components) {
    if (name.empty() || name[0] == '/') return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find('/', start);
        if (end == std::string::npos) end = name.size();
        std::string part = name.substr(start, end - start);
        if (part == "..") return false;
        if (!part.empty() && part != ".") components->push_back(std::move(part));
        start = end + 1;
    }
    return !components->empty();
}

// Opens (creating where missing) each folder of the path below the root, never following a
// symbolic link, so an existing link cannot redirect the write elsewhere.
Descriptor openFolders(int root, const std::vector<std::string>& folders) {
    Descriptor current(dup(root));
    for (const std::string& folder : folders) {
        if (mkdirat(current.get(), folder.c_str(), 0755) != 0 && errno != EEXIST) return Descriptor();
        Descriptor next(openat(current.get(), folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW));
        if (!next.valid()) return Descriptor();
        current = std::move(next);
    }
    return current;
}

// Writes the current entry under a temporary name in its folder and renames it over any
// existing file only once the entry is complete and its checksum matches, so a damaged entry
// leaves the old file as it was.
bool copyCurrentEntry(unzFile archive, int folder, const std::string& fileName) {
    if (unzOpenCurrentFile(archive) != UNZ_OK) return false;
    QzReplacementFile out(folder, fileName, 0644);
    char buffer[64 * 1024];
    int count;
    while ((count = unzReadCurrentFile(archive, buffer, sizeof buffer)) > 0) {
        if (!out.write(buffer, static_cast<size_t>(count))) break;
    }
    // Closing checks the entry's CRC.
    const bool complete = count == 0 && out.valid();
    return unzCloseCurrentFile(archive) == UNZ_OK && complete && out.commit();
}

// Extracts the archive's current entry below the root folder. False when it was refused or
// could not be written.
bool extractCurrentEntry(unzFile archive, int root) {
    unz_file_info64 info;
    char name[4096];
    if (unzGetCurrentFileInfo64(archive, &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK)
        return false;
    if (info.size_filename >= sizeof name) {
        std::fprintf(stderr, "Quillane: refused a zip entry whose name is too long\n");
        return false;
    }
    const std::string entry(name);
    std::vector<std::string> components;
    if (!safeComponents(entry, &components)) {
        std::fprintf(stderr, "Quillane: refused zip entry \"%s\": it would be written outside the game folder\n",
                     entry.c_str());
        return false;
    }
    const bool isFolder = entry.back() == '/';
    std::string fileName;
    if (!isFolder) {
        fileName = components.back();
        components.pop_back();
    }
    Descriptor folder = openFolders(root, components);
    if (!folder.valid()) return false;
    return isFolder || copyCurrentEntry(archive, folder.get(), fileName);
}

}  // namespace

int Qz_ExtractGameAtPathToFolder(const char* zipPath, const char* folder) {
    Descriptor root(open(folder, O_RDONLY | O_DIRECTORY));
    if (!root.valid()) return UNZ_ERRNO;
    unzFile archive = unzOpen64(zipPath);
    if (!archive) return UNZ_BADZIPFILE;
    int result = UNZ_OK;
    int status = unzGoToFirstFile(archive);
    while (status == UNZ_OK) {
        if (!extractCurrentEntry(archive, root.get())) result = UNZ_INTERNALERROR;
        status = unzGoToNextFile(archive);
    }
    if (status != UNZ_END_OF_LIST_OF_FILE) result = status;
    unzClose(archive);
    return result;
}

int Qz_ExtractGameAtPath(const char* zipPath) {
    return Qz_ExtractGameAtPathToFolder(zipPath, ".");
}
