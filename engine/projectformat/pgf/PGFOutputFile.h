// A file opened for writing that remembers its first write error, for the document writers.
#ifndef PGF_OUTPUT_FILE_H
#define PGF_OUTPUT_FILE_H

#include <cstddef>
#include <cstdio>
#include <string>

class PGFOutputFile {
public:
    PGFOutputFile() = default;
    ~PGFOutputFile();
    PGFOutputFile(const PGFOutputFile&) = delete;
    PGFOutputFile& operator=(const PGFOutputFile&) = delete;

    // Creates or truncates the file. False, with the reason in error, when it cannot.
    bool open(const char* path, std::string* error);
    // False once any write to the file has failed.
    bool write(const void* data, size_t length);
    // Flushes and closes. False, with the reason in error (when given), when any write
    // failed or the final flush did; true when the file is already closed.
    bool close(std::string* error);
    bool isOpen() const { return file_ != nullptr; }
    bool hasFailed() const { return errorNumber_ != 0; }
    // "cannot write 'path': reason", for a file that has failed.
    std::string failureMessage() const;

private:
    std::FILE* file_ = nullptr;  // owned
    std::string path_;
    int errorNumber_ = 0;        // errno of the first failed write
};

#endif
