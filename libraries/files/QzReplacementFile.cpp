// A file written beside its target under a unique temporary name and renamed over it when complete.
#include "QzReplacementFile.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Creates a new file named ".qz-" and 16 hex digits in the folder, never opening one that
// exists. The digits mix the process, a counter and the clock; a clash only costs a retry.
int createUniqueFile(int folder, mode_t mode, std::string* name) {
    static std::atomic<unsigned long long> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto ticks = static_cast<unsigned long long>(
            std::chrono::steady_clock::now().time_since_epoch().count());
        const unsigned long long mixed =
            (static_cast<unsigned long long>(getpid()) << 40) ^ (counter++ * 0x9E3779B97F4A7C15ull) ^ ticks;
        char text[32];
        std::snprintf(text, sizeof text, ".qz-%016llx", mixed);
        const int fd = openat(folder, text, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0) {
            *name = text;
            return fd;
        }
        if (errno != EEXIST) return -1;
    }
    return -1;
}

struct PathFree {
    void operator()(char* path) const { std::free(path); }
};

// The real folder and name of the file at path: the path with every symbolic link resolved,
// or, when the file does not exist yet, its resolved folder and its own name.
bool resolveTarget(const std::string& path, std::string* folder, std::string* name) {
    std::unique_ptr<char, PathFree> real(realpath(path.c_str(), nullptr));
    std::string resolved;
    if (real) {
        resolved = real.get();
    } else {
        if (errno != ENOENT) return false;
        const size_t slash = path.rfind('/');
        const std::string parent = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
        std::unique_ptr<char, PathFree> realParent(realpath(parent.c_str(), nullptr));
        if (!realParent) return false;
        resolved = std::string(realParent.get()) + "/" + path.substr(slash + 1);
    }
    const size_t slash = resolved.rfind('/');
    *folder = slash == 0 ? "/" : resolved.substr(0, slash);
    *name = resolved.substr(slash + 1);
    return !name->empty();
}

}  // namespace

QzReplacementFile::QzReplacementFile(int folder, std::string name, mode_t newFileMode)
    : folder_(folder), name_(std::move(name)) {
    fd_ = createUniqueFile(folder_, newFileMode, &temporaryName_);
    struct stat existing;
    if (fd_ >= 0 && fstatat(folder_, name_.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(existing.st_mode) && fchmod(fd_, existing.st_mode & 07777) != 0) {
        discard();
    }
}

QzReplacementFile::~QzReplacementFile() {
    discard();
}

bool QzReplacementFile::write(const char* bytes, size_t size) {
    while (fd_ >= 0 && size > 0) {
        const ssize_t written = ::write(fd_, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            discard();
            return false;
        }
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return fd_ >= 0;
}

bool QzReplacementFile::commit() {
    if (fd_ < 0) return false;
    const bool closed = close(fd_) == 0;
    fd_ = -1;
    if (closed && renameat(folder_, temporaryName_.c_str(), folder_, name_.c_str()) == 0) {
        temporaryName_.clear();
        return true;
    }
    unlinkat(folder_, temporaryName_.c_str(), 0);
    temporaryName_.clear();
    return false;
}

void QzReplacementFile::discard() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    if (!temporaryName_.empty()) unlinkat(folder_, temporaryName_.c_str(), 0);
    temporaryName_.clear();
}

bool qzReplaceFileContents(const std::string& path, std::string_view bytes) {
    std::string folderPath, name;
    if (!resolveTarget(path, &folderPath, &name)) return false;
    const int folder = open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return false;
    bool written;
    {
        QzReplacementFile file(folder, name, 0666);
        written = file.write(bytes.data(), bytes.size()) && file.commit();
    }
    close(folder);
    return written;
}
