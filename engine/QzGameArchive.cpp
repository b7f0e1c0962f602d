// Extraction of a zipped game into a folder, refusing every entry that would land outside it.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
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

// One extraction: the archive, the folder it goes into, the bounds and what was written.
struct Extraction {
    unzFile archive;
    int root;  // borrowed descriptor of the target folder
    QzArchiveLimits limits;
    uint64_t bytesWritten = 0;
    std::string failure;  // what went wrong with the last refused entry
    bool printFailures;   // each failure also goes to standard error

    bool fail(std::string why) {
        failure = std::move(why);
        if (printFailures) std::fprintf(stderr, "Quillane: %s\n", failure.c_str());
        return false;
    }
};

std::string quotedEntry(const std::string& name) { return "entry \"" + name + "\""; }

// Writes the current entry under a temporary name in its folder and renames it over any
// existing file only once the entry is complete and its checksum matches, so a damaged entry
// leaves the old file as it was. The byte bound counts what is actually decompressed, not
// what the entry's header claims.
bool copyCurrentEntry(Extraction& x, int folder, const std::string& entry, const std::string& fileName) {
    if (unzOpenCurrentFile(x.archive) != UNZ_OK)
        return x.fail(quotedEntry(entry) + " cannot be read (an unsupported compression method or damaged data)");
    QzReplacementFile out(folder, fileName, 0644);
    if (!out.valid()) {
        unzCloseCurrentFile(x.archive);
        return x.fail("cannot create " + quotedEntry(entry) + ": " + std::strerror(errno));
    }
    char buffer[64 * 1024];
    int count;
    while ((count = unzReadCurrentFile(x.archive, buffer, sizeof buffer)) > 0) {
        x.bytesWritten += static_cast<uint64_t>(count);
        if (x.bytesWritten > x.limits.maxBytes) {
            unzCloseCurrentFile(x.archive);
            return x.fail("it unpacks to more than " + std::to_string(x.limits.maxBytes) +
                          " bytes, more than a game may hold (stopped at " + quotedEntry(entry) + ")");
        }
        if (!out.write(buffer, static_cast<size_t>(count))) {
            const int written = errno;
            unzCloseCurrentFile(x.archive);
            return x.fail("cannot write " + quotedEntry(entry) + ": " + std::strerror(written));
        }
    }
    // Closing checks the entry's CRC.
    const bool checked = unzCloseCurrentFile(x.archive) == UNZ_OK;
    if (count < 0 || !checked) return x.fail(quotedEntry(entry) + " is damaged (its data does not match its checksum)");
    if (!out.commit()) return x.fail("cannot write " + quotedEntry(entry) + ": " + std::strerror(errno));
    return true;
}

// Extracts the archive's current entry below the root folder. False when it was refused or
// could not be written.
bool extractCurrentEntry(Extraction& x) {
    unz_file_info64 info;
    char name[4096];
    if (unzGetCurrentFileInfo64(x.archive, &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK)
        return x.fail("its list of entries is damaged");
    if (info.size_filename >= sizeof name) return x.fail("it holds an entry whose name is too long");
    const std::string entry(name);
    std::vector<std::string> components;
    if (!safeComponents(entry, &components)) {
        return x.fail("refused zip " + quotedEntry(entry) +
                      ": it would be written outside the game folder (an absolute path or '..')");
    }
    const bool isFolder = entry.back() == '/';
    std::string fileName;
    if (!isFolder) {
        fileName = components.back();
        components.pop_back();
    }
    Descriptor folder = openFolders(x.root, components);
    if (!folder.valid())
        return x.fail("cannot make the folder of " + quotedEntry(entry) + " (" + std::strerror(errno) +
                      "; a file or link of the same name may be in the way)");
    return isFolder || copyCurrentEntry(x, folder.get(), entry, fileName);
}

// Extracts every entry; with stopAtFirst, stops at the first failure. Returns the first
// failing status and leaves the last failure's text in x.failure.
int extractAll(const char* zipPath, const char* folder, Extraction& x, bool stopAtFirst) {
    Descriptor root(open(folder, O_RDONLY | O_DIRECTORY));
    if (!root.valid()) {
        x.failure = std::string("the folder to unpack into cannot be opened: ") + std::strerror(errno);
        return UNZ_ERRNO;
    }
    x.root = root.get();
    x.archive = unzOpen64(zipPath);
    if (!x.archive) {
        x.failure = "it is not a zip archive, or it is damaged or cut short";
        return UNZ_BADZIPFILE;
    }
    unz_global_info64 global;
    int result = UNZ_OK;
    if (unzGetGlobalInfo64(x.archive, &global) == UNZ_OK && global.number_entry > x.limits.maxEntries) {
        x.failure = "it holds " + std::to_string(global.number_entry) + " entries, more than the " +
                    std::to_string(x.limits.maxEntries) + " a game may hold";
        unzClose(x.archive);
        return UNZ_BADZIPFILE;
    }
    uint64_t entries = 0;
    int status = unzGoToFirstFile(x.archive);
    while (status == UNZ_OK) {
        if (++entries > x.limits.maxEntries) {
            x.failure = "it holds more than the " + std::to_string(x.limits.maxEntries) + " entries a game may hold";
            result = UNZ_BADZIPFILE;
            break;
        }
        if (!extractCurrentEntry(x)) {
            result = UNZ_INTERNALERROR;
            if (stopAtFirst) break;
        }
        status = unzGoToNextFile(x.archive);
    }
    if (status != UNZ_OK && status != UNZ_END_OF_LIST_OF_FILE) {
        result = status;
        x.failure = "its list of entries is damaged or cut short";
    }
    unzClose(x.archive);
    return result;
}

}  // namespace

int Qz_ExtractGameAtPathToFolder(const char* zipPath, const char* folder) {
    Extraction x{};
    x.limits = {UINT64_MAX, UINT64_MAX};
    x.printFailures = true;
    return extractAll(zipPath, folder, x, false);
}

bool QzExtractArchive(const std::string& zipPath, const std::string& folder, const QzArchiveLimits& limits,
                      std::string* error) {
    Extraction x{};
    x.limits = limits;
    if (extractAll(zipPath.c_str(), folder.c_str(), x, true) == UNZ_OK) return true;
    *error = x.failure;
    return false;
}

int Qz_ExtractGameAtPath(const char* zipPath) {
    return Qz_ExtractGameAtPathToFolder(zipPath, ".");
}
