// Fuzz target: bounded zip extraction into a scratch folder; creating or removing anything outside it is a finding.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "QzGameArchive.h"
#include "fuzz_files.h"

// The extraction's own calls that create, open or remove files are linked to the wrappers
// below (-Wl,--wrap), which let a call through only when its target lies inside the
// folder being extracted into.
extern "C" {
int __real_open(const char* path, int flags, ...);
int __real_openat(int folder, const char* path, int flags, ...);
int __real_mkdirat(int folder, const char* path, mode_t mode);
int __real_unlinkat(int folder, const char* path, int flags);
int __real_renameat(int fromFolder, const char* from, int toFolder, const char* to);
}

namespace {

std::string extractionRoot;  // the folder being extracted into, empty between inputs

std::string folderOf(int folder) {
    if (folder == AT_FDCWD) return std::filesystem::current_path().string();
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", folder);
    std::error_code error;
    return std::filesystem::read_symlink(link, error).string();
}

// Aborts, which the fuzzer reports, unless `name` is one plain component and the folder
// descriptor resolves inside the extraction root.
void requireInside(const char* call, int folder, const char* name) {
    const std::string where = folderOf(folder);
    const bool plainName = std::strchr(name, '/') == nullptr && std::strcmp(name, "..") != 0;
    const bool inside = where == extractionRoot || where.rfind(extractionRoot + "/", 0) == 0;
    if (plainName && inside) return;
    std::fprintf(stderr, "zip_extract: %s(\"%s\", \"%s\") reaches outside %s\n", call, where.c_str(), name,
                 extractionRoot.c_str());
    std::abort();
}

bool writes(int flags) {
    return (flags & (O_CREAT | O_WRONLY | O_RDWR | O_TRUNC)) != 0;
}

}  // namespace

extern "C" {

int __wrap_open(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = va_arg(args, mode_t);
    va_end(args);
    if (writes(flags)) requireInside("open", AT_FDCWD, path);
    return __real_open(path, flags, mode);
}

int __wrap_openat(int folder, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = va_arg(args, mode_t);
    va_end(args);
    requireInside("openat", folder, path);
    return __real_openat(folder, path, flags, mode);
}

int __wrap_mkdirat(int folder, const char* path, mode_t mode) {
    requireInside("mkdirat", folder, path);
    return __real_mkdirat(folder, path, mode);
}

int __wrap_unlinkat(int folder, const char* path, int flags) {
    requireInside("unlinkat", folder, path);
    return __real_unlinkat(folder, path, flags);
}

int __wrap_renameat(int fromFolder, const char* from, int toFolder, const char* to) {
    requireInside("renameat", fromFolder, from);
    requireInside("renameat", toFolder, to);
    return __real_renameat(fromFolder, from, toFolder, to);
}

}  // extern "C"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string archive = qzFuzzScratchFolder() + "/game.zip";
    static const std::string root = qzFuzzScratchFolder() + "/extracted";
    qzFuzzWriteFile(archive, data, size);
    std::filesystem::remove_all(root);
    std::filesystem::create_directory(root);
    extractionRoot = std::filesystem::canonical(root).string();
    // The bounds the player puts on archives from strangers, scaled down so that a bomb in
    // the corpus stays quick.
    std::string error;
    QzExtractArchive(archive, root, {4u << 20, 2000}, &error);
    extractionRoot.clear();
    return 0;
}
