// Fuzz target: comma-separated text imported into a table, then the table written back.
#include <cstddef>
#include <cstdint>
#include <string>

#include "QzTable.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QzTable table;
    if (table.importCSV(std::string(reinterpret_cast<const char*>(data), size))) table.getFileStream();
    return 0;
}
