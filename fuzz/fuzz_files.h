// Scratch files for fuzz targets whose reader takes a path instead of bytes.
#ifndef QZ_FUZZ_FILES_H
#define QZ_FUZZ_FILES_H

#include <cstddef>
#include <cstdint>
#include <string>

// A folder of this process's own, made on first use under the temporary directory and
// removed when the process exits normally.
const std::string& qzFuzzScratchFolder();

// Writes the bytes to `path`, replacing the file; aborts when that fails, since the target
// would otherwise test nothing.
void qzFuzzWriteFile(const std::string& path, const uint8_t* data, size_t size);

#endif
