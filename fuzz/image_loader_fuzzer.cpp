// Fuzz target: image files decoded into premultiplied bottom-up RGBA, as a picture named
// ".png" (formats known by their first bytes) and as one named ".tga" (known by its name).
#include <cstddef>
#include <cstdint>
#include <string>

#include "QzImageLoader.h"
#include "fuzz_files.h"

namespace {

void decodeAs(const std::string& path, const uint8_t* data, size_t size) {
    qzFuzzWriteFile(path, data, size);
    QzBitmap bitmap;
    std::string error;
    QzDecodeImageFile(path, &bitmap, &error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string named = qzFuzzScratchFolder() + "/image.png";
    static const std::string targa = qzFuzzScratchFolder() + "/image.tga";
    decodeAs(named, data, size);
    decodeAs(targa, data, size);
    return 0;
}
