// A file opened for writing that remembers its first write error, for the document writers.
#include "PGFOutputFile.h"

#include <cerrno>
#include <cstring>

PGFOutputFile::~PGFOutputFile() { close(nullptr); }

bool PGFOutputFile::open(const char* path, std::string* error) {
    close(nullptr);
    path_ = path;
    errorNumber_ = 0;
    file_ = std::fopen(path, "wb");
    if (!file_) {
        *error = "cannot open '" + path_ + "' for writing: " + std::strerror(errno);
        return false;
    }
    return true;
}

bool PGFOutputFile::write(const void* data, size_t length) {
    if (!file_ || errorNumber_ != 0) return false;
    errno = 0;
    if (std::fwrite(data, 1, length, file_) != length) {
        errorNumber_ = errno != 0 ? errno : EIO;
        return false;
    }
    return true;
}

bool PGFOutputFile::close(std::string* error) {
    if (!file_) return true;
    if (std::fclose(file_) != 0 && errorNumber_ == 0) errorNumber_ = errno != 0 ? errno : EIO;
    file_ = nullptr;
    if (errorNumber_ == 0) return true;
    if (error) *error = failureMessage();
    return false;
}

std::string PGFOutputFile::failureMessage() const {
    return "cannot write '" + path_ + "': " + std::strerror(errorNumber_);
}
