// Reading a whole file into memory and replacing a file's contents in one piece.
#include "TableFiles.h"

#include <cstdio>
#include <memory>

#include "QzReplacementFile.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

bool qzReadWholeFile(const std::string& path, std::string& text) {
    FileHandle file(std::fopen(path.c_str(), "rb"));
    if (!file) return false;
    std::string contents;
    char block[65536];
    size_t count;
    while ((count = std::fread(block, 1, sizeof block, file.get())) > 0) contents.append(block, count);
    if (std::ferror(file.get())) return false;
    text.swap(contents);
    return true;
}

long qzWriteWholeFile(const std::string& path, const std::string& text) {
    return qzReplaceFileContents(path, text) ? static_cast<long>(text.size()) : -1;
}
