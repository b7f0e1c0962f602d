// Fuzz target: the bundle's information dictionary (Contents/Info.plist) read for the keys the player uses.
#include <cstddef>
#include <cstdint>
#include <string>

#include "QzBundle.h"
#include "fuzz_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = qzFuzzScratchFolder() + "/Info.plist";
    qzFuzzWriteFile(path, data, size);
    QzBundleInfo info;
    std::string error;
    QzReadInfoPlist(path, &info, &error);
    return 0;
}
