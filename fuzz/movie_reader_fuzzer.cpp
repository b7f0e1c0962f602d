// Fuzz target: movie files opened by the intro movie's reader and their first pictures
// decoded into RGBA.
#include <cstddef>
#include <cstdint>
#include <string>

#include "QzMovieReader.h"
#include "fuzz_files.h"

namespace {

// Enough pictures to pass the first key frame and a few that depend on it.
constexpr int kPicturesRead = 24;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = qzFuzzScratchFolder() + "/intro-mac.mov";
    qzFuzzWriteFile(path, data, size);
    std::string error;
    const auto reader = QzMovieReader::open(path, &error);
    if (!reader) return 0;
    QzMovieFrame frame;
    for (int i = 0; i < kPicturesRead && reader->nextFrame(&frame, &error); ++i) {
    }
    return 0;
}
