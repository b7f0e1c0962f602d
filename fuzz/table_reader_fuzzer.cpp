// Fuzz target: the table file reader, from memory and from a file, then the loaded table written back.
#include <cstddef>
#include <cstdint>
#include <limits>

#include "QzTable.h"
#include "TablesXML.h"
#include "fuzz_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > static_cast<size_t>(std::numeric_limits<int>::max())) return -1;
    TablesXML parser;
    parser.initWithBuffer(reinterpret_cast<const char*>(data), static_cast<int>(size));

    static const std::string path = qzFuzzScratchFolder() + "/table.xml";
    qzFuzzWriteFile(path, data, size);
    QzTable table;
    if (table.loadTable(path)) {
        // Writing walks every cell the file stated, so the bounds on counts are tested too.
        table.getFileStream();
        table.getFileStreamJSON();
    }
    return 0;
}
