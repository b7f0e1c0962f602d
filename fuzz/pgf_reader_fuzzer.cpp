// Fuzz target: the project document reader, from memory and from a file, building script tables.
#include <cstddef>
#include <cstdint>

#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>

#include "PGFXMLParser.h"
#include "fuzz_files.h"

namespace {

struct Source {
    const char* fileName;  // borrowed; null to read from memory
    const uint8_t* data;   // borrowed
    size_t size;
};

// Runs inside a protected call: the reader may raise interpreter errors (out of memory).
int readDocument(lua_State* L) {
    const auto* source = static_cast<const Source*>(lua_touserdata(L, 1));
    if (source->fileName) {
        PGFXMLParser parser(L, source->fileName);
        parser.parse();
    } else {
        PGFXMLParser parser(L, reinterpret_cast<const char*>(source->data), source->size);
        parser.parse();
    }
    return 0;
}

void readWith(const Source& source) {
    lua_State* L = luaL_newstate();
    lua_cpcall(L, readDocument, const_cast<Source*>(&source));
    lua_close(L);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    readWith(Source{nullptr, data, size});
    static const std::string path = qzFuzzScratchFolder() + "/document.xml";
    qzFuzzWriteFile(path, data, size);
    readWith(Source{path.c_str(), data, size});
    return 0;
}
