// Benchmark of the document reader: pgf.loadFile against a bare libxml2 SAX pass over the same file.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <lauxlib.h>
#include <libxml/parser.h>
#include <lua.h>
#include <lualib.h>

#include "PGFBinding.h"
#include "PGFParser.h"
#include "QzRatioReporter.h"

namespace {

constexpr const char* kBareName = "BM_BareLibxml2SaxPass";
constexpr const char* kLoadName = "BM_PgfLoadFile";
constexpr const char* kTreeName = "BM_TreeBuildingOnly";

// A project document of about 10 MB: scenes of actors with attributes, behaviours and
// short texts.
const std::string& documentPath() {
    static const std::string path = [] {
        const std::string file = (std::filesystem::temp_directory_path() / "quillane-pgf-bench.xml").string();
        std::ofstream out(file, std::ios::binary);
        out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<project name=\"Bench\" version=\"3\">\n";
        int actor = 0;
        for (int scene = 0; out.tellp() < 10 * 1000 * 1000; ++scene) {
            out << "<scene id=\"" << scene << "\" name=\"Scene " << scene << "\" width=\"480\" height=\"320\">\n";
            for (int i = 0; i < 50; ++i, ++actor) {
                out << "<actor id=\"a" << actor << "\" name=\"Actor &amp; " << actor << "\" x=\"" << (actor % 480)
                    << ".5\" y=\"" << (actor % 320) << "\" layer=\"" << (i % 4) << "\">"
                    << "<image>sprite" << (actor % 37) << ".png</image>"
                    << "<behavior type=\"move\" speed=\"3.25\" loop=\"true\"><target>hero</target></behavior>"
                    << "<attribute name=\"health\" type=\"real\">100</attribute>"
                    << "<note>Short text for actor " << actor << "</note></actor>\n";
            }
            out << "</scene>\n";
        }
        out << "</project>\n";
        return file;
    }();
    return path;
}

void ignoreElementStart(void*, const xmlChar*, const xmlChar*, const xmlChar*, int, const xmlChar**, int, int,
                        const xmlChar**) {}
void ignoreElementEnd(void*, const xmlChar*, const xmlChar*, const xmlChar*) {}
void ignoreCharacters(void*, const xmlChar*, int) {}

void BM_BareLibxml2SaxPass(benchmark::State& state) {
    const std::string& path = documentPath();
    xmlSAXHandler handler{};
    handler.initialized = XML_SAX2_MAGIC;
    handler.getEntity = [](void*, const xmlChar* name) { return xmlGetPredefinedEntity(name); };
    handler.startElementNs = ignoreElementStart;
    handler.endElementNs = ignoreElementEnd;
    handler.characters = ignoreCharacters;
    for (auto _ : state) {
        if (xmlSAXUserParseFile(&handler, nullptr, path.c_str()) != 0) state.SkipWithError("libxml2 failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(std::filesystem::file_size(path)));
}

void BM_PgfLoadFile(benchmark::State& state) {
    const std::string& path = documentPath();
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    lua_pushcfunction(L, luaopen_PGF);
    lua_call(L, 0, 0);
    const int baseKilobytes = lua_gc(L, LUA_GCCOUNT, 0);
    int treeKilobytes = 0;
    for (auto _ : state) {
        lua_getglobal(L, "pgf");
        lua_getfield(L, -1, "loadFile");
        lua_pushstring(L, path.c_str());
        lua_call(L, 1, 1);
        if (!lua_istable(L, -1)) state.SkipWithError("loadFile gave no tree");
        state.PauseTiming();
        lua_gc(L, LUA_GCCOLLECT, 0);
        treeKilobytes = lua_gc(L, LUA_GCCOUNT, 0) - baseKilobytes;
        lua_settop(L, 0);
        lua_gc(L, LUA_GCCOLLECT, 0);
        state.ResumeTiming();
    }
    state.counters["tree_MB"] = treeKilobytes / 1024.0;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(std::filesystem::file_size(path)));
    lua_close(L);
}

// The document's element events, recorded once so that the tree can be built without parsing.
struct RecordedEvent {
    enum Kind { kStart, kAttribute, kEnd } kind;
    std::string first;   // element or attribute name; the text for kEnd
    std::string second;  // attribute value
    int attributeCount;
};

struct Recorder {
    std::vector<RecordedEvent> events;
    std::string text;
};

void recordStart(void* context, const xmlChar* name, const xmlChar*, const xmlChar*, int, const xmlChar**,
                 int attributeCount, int, const xmlChar** attributes) {
    auto* recorder = static_cast<Recorder*>(context);
    recorder->text.clear();
    recorder->events.push_back({RecordedEvent::kStart, reinterpret_cast<const char*>(name), {}, attributeCount});
    for (int i = 0; i < attributeCount; ++i) {
        const xmlChar** attribute = attributes + 5 * i;
        recorder->events.push_back({RecordedEvent::kAttribute, reinterpret_cast<const char*>(attribute[0]),
                                    std::string(reinterpret_cast<const char*>(attribute[3]),
                                                static_cast<size_t>(attribute[4] - attribute[3])),
                                    0});
    }
}

void recordEnd(void* context, const xmlChar*, const xmlChar*, const xmlChar*) {
    auto* recorder = static_cast<Recorder*>(context);
    recorder->events.push_back({RecordedEvent::kEnd, recorder->text, {}, 0});
    recorder->text.clear();
}

void recordText(void* context, const xmlChar* bytes, int length) {
    static_cast<Recorder*>(context)->text.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(length));
}

// The interpreter's share alone: the same tree built from recorded events, with no parsing.
// It bounds from below what any reader producing this tree can reach.
void BM_TreeBuildingOnly(benchmark::State& state) {
    xmlSAXHandler handler{};
    handler.initialized = XML_SAX2_MAGIC;
    handler.startElementNs = recordStart;
    handler.endElementNs = recordEnd;
    handler.characters = recordText;
    Recorder recorder;
    xmlSAXUserParseFile(&handler, &recorder, documentPath().c_str());

    struct TreeBuilder : PGFParser {
        using PGFParser::PGFParser;
        int parse() override { return 0; }
    };
    lua_State* L = luaL_newstate();
    for (auto _ : state) {
        TreeBuilder builder(L);
        for (const RecordedEvent& event : recorder.events) {
            if (event.kind == RecordedEvent::kStart) {
                builder.pushElement(event.first.data(), event.first.size(), event.attributeCount);
            } else if (event.kind == RecordedEvent::kAttribute) {
                builder.setAttribute(event.first.data(), event.first.size(), event.second.data(), event.second.size());
            } else {
                if (!event.first.empty() && builder.currentElementIsChildless()) {
                    builder.setTextValue(event.first.data(), event.first.size());
                }
                builder.popElement();
            }
        }
        state.PauseTiming();
        lua_settop(L, 0);
        lua_gc(L, LUA_GCCOLLECT, 0);
        state.ResumeTiming();
    }
    lua_close(L);
}

BENCHMARK(BM_BareLibxml2SaxPass)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_PgfLoadFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_TreeBuildingOnly)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Prints the usual table, then the reader's time as a ratio of the bare pass of this run,
// in processor time (steady on a shared machine) and in elapsed time.
class RatioReporter : public QzRatioReporter {
    void printRatios() override {
        const Times* bare = times(kBareName);
        const Times* load = times(kLoadName);
        if (!bare || !load) return;
        std::printf("pgf.loadFile / bare libxml2 SAX pass: %.2f in processor time, %.2f elapsed (target at most 2.5)\n",
                    load->cpu / bare->cpu, load->real / bare->real);
        if (const Times* tree = times(kTreeName))
            std::printf("tree building alone / bare libxml2 SAX pass: %.2f in processor time\n", tree->cpu / bare->cpu);
    }
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::filesystem::remove(documentPath());
    return 0;
}
