// Scratch files for fuzz targets whose reader takes a path instead of bytes.
#include "fuzz_files.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace {

// Removes the folder when the process exits normally.
class ScratchFolder {
public:
    ScratchFolder()
        : path_((std::filesystem::temp_directory_path() / ("qz-fuzz-" + std::to_string(getpid()))).string()) {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace

const std::string& qzFuzzScratchFolder() {
    static const ScratchFolder folder;
    return folder.path();
}
void qzFuzzWriteFile(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || (size > 0 && std::fwrite(data, 1, size, file) != size) || std::fclose(file) != 0) {
        std::fprintf(stderr, "fuzz: cannot write the scratch file %s\n", path.c_str());
        std::abort();
    }
}
