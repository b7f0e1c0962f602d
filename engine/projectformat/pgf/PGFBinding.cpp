// The script library `pgf`: the document reader and the document writers.
#include "PGFBinding.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include <lauxlib.h>
#include <private/lstate.h>

#include "PGFJSONWriter.h"
#include "PGFXMLParser.h"
#include "PGFXMLWriter.h"
#include "QzLuaArgs.h"
#include "QzLuaGuard.h"

namespace {

constexpr const char* kWriterMetatable = "pgf.writerMT";

std::string_view checkText(lua_State* L, int index) {
    size_t length = 0;
    const char* text = luaL_checklstring(L, index, &length);
    return {text, length};
}

// A path handed to the C library: a zero byte inside would silently name another file.
const char* checkPath(lua_State* L, int index) {
    const std::string_view path = checkText(L, index);
    luaL_argcheck(L, path.find('\0') == std::string_view::npos, index, "path contains a zero byte");
    return path.data();
}

// The reader functions take their argument as the last one, so the dot and the colon
// syntax (pgf.parser:loadFile(path)) both work.
int lastArgument(lua_State* L) { return QzArgsFromTop(L, 1)[1]; }

// Everything the reader allocates ends up in the tree, so a collection cycle during the read
// would only traverse the growing tree again and again: the collector's threshold is raised
// out of reach for the read. The interpreter has no query for a stopped collector, so the
// threshold itself is kept and put back: a collector the script stopped stays stopped, and a
// running one goes on from where it was, without a debt for the read's allocations.
class CollectorPause {
public:
    explicit CollectorPause(lua_State* L) : state_(G(L)), threshold_(state_->GCthreshold) {
        state_->GCthreshold = MAX_LUMEM;
    }
    ~CollectorPause() { state_->GCthreshold = std::max(threshold_, state_->totalbytes); }
    CollectorPause(const CollectorPause&) = delete;
    CollectorPause& operator=(const CollectorPause&) = delete;

private:
    global_State* state_;  // borrowed
    lu_mem threshold_;
};

// Reads the document: true with the root node pushed (notes on dropped entities printed on
// standard output), false with the stack as it was.
bool readDocument(lua_State* L, PGFXMLParser& parser) {
    const int top = lua_gettop(L);
    CollectorPause pause(L);
    if (parser.parse() != 0) {
        lua_settop(L, top);
        return false;
    }
    for (const std::string& note : parser.droppedEntityNotes()) std::printf("pgf: %s\n", note.c_str());
    return true;
}

// The root node, or no value at all when the document cannot be read (the reason is
// printed on standard output).
int pushDocument(lua_State* L, PGFXMLParser& parser) {
    if (readDocument(L, parser)) return 1;
    std::printf("pgf: %s\n", parser.errorMessage().c_str());
    return 0;
}

int loadFile(lua_State* L) {
    PGFXMLParser parser(L, checkPath(L, lastArgument(L)));
    return pushDocument(L, parser);
}

// readFile(path): as loadFile, but a document that cannot be read gives nil and the reason
// (with the line of the first fault) instead of printing it.
int readFile(lua_State* L) {
    PGFXMLParser parser(L, checkPath(L, lastArgument(L)));
    if (readDocument(L, parser)) return 1;
    lua_pushnil(L);
    lua_pushstring(L, parser.errorMessage().c_str());
    return 2;
}

int loadString(lua_State* L) {
    const std::string_view text = checkText(L, lastArgument(L));
    PGFXMLParser parser(L, text.data(), text.size());
    return pushDocument(L, parser);
}

// "json-pretty" and "json" choose JSON; no format and every other text choose XML.
std::unique_ptr<PGFWriter> createWriter(std::string_view format, const char* path, std::string* error) {
    const bool pretty = format == "json-pretty";
    if (pretty || format == "json") {
        return path ? PGFJSONWriter::newToFile(path, pretty, error) : PGFJSONWriter::newToString(pretty, error);
    }
    return path ? std::unique_ptr<PGFWriter>(PGFXMLWriter::newToFile(path, error))
                : std::unique_ptr<PGFWriter>(PGFXMLWriter::newToString(error));
}

// Pushes a writer object, or nil and the reason when the writer cannot be created. The
// userdata exists before the writer does, so a failed allocation leaks nothing.
int pushNewWriter(lua_State* L, int formatIndex, const char* path) {
    size_t formatLength = 0;
    const char* format = luaL_optlstring(L, formatIndex, "", &formatLength);
    auto** handle = static_cast<PGFWriter**>(lua_newuserdata(L, sizeof(PGFWriter*)));
    *handle = nullptr;
    luaL_getmetatable(L, kWriterMetatable);
    lua_setmetatable(L, -2);
    std::string error;
    std::unique_ptr<PGFWriter> writer = createWriter({format, formatLength}, path, &error);
    if (!writer) {
        lua_pushnil(L);
        lua_pushlstring(L, error.data(), error.size());
        return 2;
    }
    *handle = writer.release();
    return 1;
}

// The constructors read their arguments by position: call them with the dot syntax.
int newToFile(lua_State* L) { return pushNewWriter(L, 2, checkPath(L, 1)); }

int newToString(lua_State* L) { return pushNewWriter(L, 1, nullptr); }

PGFWriter** checkHandle(lua_State* L, int index) {
    return static_cast<PGFWriter**>(luaL_checkudata(L, index, kWriterMetatable));
}

// The writer of the object at index; a closed writer is a Lua error.
PGFWriter* checkWriter(lua_State* L, int index) {
    PGFWriter* writer = *checkHandle(L, index);
    if (!writer) luaL_error(L, "attempt to use a closed writer");
    return writer;
}

// Returns true, or nil and the reason when the file could not be written completely.
// A second close does nothing.
int close(lua_State* L) {
    PGFWriter** handle = checkHandle(L, QzArgsFromTop(L, 1)[1]);
    if (!*handle) return 0;
    std::unique_ptr<PGFWriter> writer(*handle);
    *handle = nullptr;
    std::string error;
    if (writer->finish(&error)) {
        lua_pushboolean(L, 1);
        return 1;
    }
    lua_pushnil(L);
    lua_pushlstring(L, error.data(), error.size());
    return 2;
}

// A writer collected without close is released; its file is finished.
int collect(lua_State* L) {
    PGFWriter** handle = checkHandle(L, 1);
    delete *handle;
    *handle = nullptr;
    return 0;
}

int pushResult(lua_State* L, int result) {
    lua_pushinteger(L, result);
    return 1;
}

// The writing functions count their arguments back from the last one, the writer first.
PGFWriter* checkOnlyWriter(lua_State* L) { return checkWriter(L, QzArgsFromTop(L, 1)[1]); }

int startDocument(lua_State* L) { return pushResult(L, checkOnlyWriter(L)->startDocument()); }

int endDocument(lua_State* L) { return pushResult(L, checkOnlyWriter(L)->endDocument()); }

int startElement(lua_State* L) {
    const QzArgsFromTop arg(L, 2);
    PGFWriter* writer = checkWriter(L, arg[1]);
    return pushResult(L, writer->startElement(checkText(L, arg[2])));
}

int endElement(lua_State* L) { return pushResult(L, checkOnlyWriter(L)->endElement()); }

int writeAttribute(lua_State* L) {
    const QzArgsFromTop arg(L, 3);
    PGFWriter* writer = checkWriter(L, arg[1]);
    const std::string_view name = checkText(L, arg[2]);
    return pushResult(L, writer->writeAttribute(name, checkText(L, arg[3])));
}

int writeTextValue(lua_State* L) {
    const QzArgsFromTop arg(L, 2);
    PGFWriter* writer = checkWriter(L, arg[1]);
    return pushResult(L, writer->writeTextValue(checkText(L, arg[2])));
}

int getString(lua_State* L) {
    const std::optional<std::string_view> text = checkOnlyWriter(L)->getString();
    if (text) {
        lua_pushlstring(L, text->data(), text->size());
    } else {
        lua_pushnil(L);
    }
    return 1;
}

const luaL_Reg kReaderFunctions[] = {
    {"loadFile", QzGuarded<loadFile>},
    {"loadString", QzGuarded<loadString>},
    {"readFile", QzGuarded<readFile>},
    {nullptr, nullptr},
};

const luaL_Reg kWriterFunctions[] = {
    {"newToFile", QzGuarded<newToFile>},
    {"newToString", QzGuarded<newToString>},
    {"close", QzGuarded<close>},
    {"startDocument", QzGuarded<startDocument>},
    {"endDocument", QzGuarded<endDocument>},
    {"startElement", QzGuarded<startElement>},
    {"endElement", QzGuarded<endElement>},
    {"writeAttribute", QzGuarded<writeAttribute>},
    {"writeTextValue", QzGuarded<writeTextValue>},
    {"getString", QzGuarded<getString>},
    {nullptr, nullptr},
};

}  // namespace

int luaopen_PGF(lua_State* L) {
    luaL_newmetatable(L, kWriterMetatable);
    lua_pushcfunction(L, QzGuarded<collect>);
    lua_setfield(L, -2, "__gc");

    luaL_register(L, "pgf", kReaderFunctions);
    lua_newtable(L);
    luaL_register(L, nullptr, kReaderFunctions);
    lua_setfield(L, -2, "parser");

    lua_newtable(L);
    luaL_register(L, nullptr, kWriterFunctions);
    lua_pushvalue(L, -1);
    lua_setfield(L, -4, "__index");
    lua_setfield(L, -2, "writer");

    lua_remove(L, -2);  // the metatable; the `pgf` table stays as the result
    return 1;
}
