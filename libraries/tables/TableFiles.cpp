// Reading a whole file into memory and replacing a file's contents in one piece.
#include "TableFiles.h"

#include <cstdio>
#include <memory>

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
    const std::string temporary = path + ".saving";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) return -1;
    const size_t written = std::fwrite(text.data(), 1, text.size(), file);
    const long position = std::ftell(file);
    const bool closed = std::fclose(file) == 0;
    if (written != text.size() || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return -1;
    }
    return position;
}
