// Fuzz target: the save store opening a damaged database file, then loading and storing values.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "QzDatabase.h"
#include "fuzz_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = qzFuzzScratchFolder() + "/persistent.save";
    // A journal left by the previous input would be replayed into this one.
    std::filesystem::remove(path + "-wal");
    std::filesystem::remove(path + "-shm");
    std::filesystem::remove(path + "-journal");
    qzFuzzWriteFile(path, data, size);

    QzDatabase* store = QzDatabaseOpen(path.c_str());
    std::string value;
    QzDatabaseLoadValue(store, "score", &value);
    const std::string stored = "7";
    QzDatabaseStoreValue(store, "score", &stored);
    QzDatabaseStoreValue(store, "level", nullptr);
    QzDatabaseLoadValue(store, "score", &value);
    QzDatabaseClose(store);
    return 0;
}
