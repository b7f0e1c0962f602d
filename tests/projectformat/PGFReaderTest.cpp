// Tests of the document reader: the trees it builds, its limits and its handling of bad and hostile input.

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <lauxlib.h>
#include <lua.h>

#include "PGFBinding.h"
#include "PGFXMLParser.h"
#include "support/test_files.h"

namespace {

// Describes the node at index as name(attr=value,...)"text" or name(...)[child,child].
std::string describe(lua_State* L, int index) {
    index = index < 0 ? lua_gettop(L) + index + 1 : index;
    lua_checkstack(L, 4);
    lua_rawgeti(L, index, 0);
    std::string out = lua_type(L, -1) == LUA_TSTRING ? lua_tostring(L, -1) : "<no name>";
    lua_pop(L, 1);
    std::map<std::string, std::string> attributes;
    for (lua_pushnil(L); lua_next(L, index); lua_pop(L, 1)) {
        if (lua_type(L, -2) == LUA_TSTRING)
            attributes[lua_tostring(L, -2)] = lua_type(L, -1) == LUA_TSTRING ? lua_tostring(L, -1) : "<not a string>";
    }
    std::string list;
    for (const auto& [name, value] : attributes) list += (list.empty() ? "(" : ",") + name + "=" + value;
    out += list.empty() ? "" : list + ")";
    lua_rawgeti(L, index, 1);
    if (lua_type(L, -1) == LUA_TSTRING) out += "\"" + std::string(lua_tostring(L, -1)) + "\"";
    std::string children;
    for (int key = 1; lua_type(L, -1) == LUA_TTABLE; lua_rawgeti(L, index, ++key)) {
        children += (children.empty() ? "[" : ",") + describe(L, -1);
        lua_pop(L, 1);
    }
    lua_pop(L, 1);
    return out + (children.empty() ? "" : children + "]");
}

// An interpreter allocator that refuses to grow past a budget, to inject memory errors.
struct LimitedAllocator {
    size_t used = 0, budget = 256 * 1024;
    static void* allocate(void* context, void* block, size_t oldSize, size_t newSize) {
        auto* self = static_cast<LimitedAllocator*>(context);
        if (newSize > oldSize && self->used + newSize - oldSize > self->budget) return nullptr;
        void* result = newSize == 0 ? (std::free(block), nullptr) : std::realloc(block, newSize);
        if (result || newSize == 0) self->used = self->used + newSize - oldSize;
        return result;
    }
};

class PGFReaderTest : public ::testing::Test {
protected:
    void SetUp() override { L = luaL_newstate(); }
    void TearDown() override { lua_close(L); }

    // The tree of a document given as text (or in the file at that path), or "nothing" when
    // it is refused; a refused document must leave the interpreter stack as it was.
    std::string read(const std::string& document, bool isPath = false) {
        PGFXMLParser parser = isPath ? PGFXMLParser(L, document.c_str())
                                     : PGFXMLParser(L, document.data(), document.size());
        const int top = lua_gettop(L);
        if (parser.parse() != 0) {
            lastError = parser.errorMessage();
            lua_settop(L, top);
            return "nothing";
        }
        EXPECT_EQ(lua_gettop(L), top + 1) << "one node is left on the stack";
        std::string tree = describe(L, -1);
        lua_settop(L, top);
        return tree;
    }

    std::string writeScratchFile(const std::string& name, const std::string& contents) {
        writeFile(folder.file(name), contents);
        return folder.file(name);
    }

    ScratchFolder folder;
    lua_State* L = nullptr;
    std::string lastError;
};

std::string nested(int levels) {
    std::string open, close;
    for (int i = 0; i < levels; ++i) open += "<e>", close += "</e>";
    return open + close;
}

// Each case: a document and its tree (name(attr=value,...)"text" or name[children]).
TEST_F(PGFReaderTest, DocumentsBecomeTreesOfStrings) {
    const struct { const char* document; const char* tree; } cases[] = {
        {"<a x=\"1\" y='2'/>", "a(x=1,y=2)"},
        {"<a>hello</a>", "a\"hello\""},
        // Text is kept only for elements without children.
        {"<a>before<b/>between<c>inner</c>after</a>", "a[b,c\"inner\"]"},
        {"<a>  </a>", "a\"  \""},
        {"<a><![CDATA[<raw> & ]]>text</a>", "a\"<raw> & text\""},
        {"<r><a i='1'/><b>2</b><c><d/><d/></c></r>", "r[a(i=1),b\"2\",c[d,d]]"},
        // Escaped ampersands arrive as plain ones; a literal "&#38;" written escaped stays.
        {"<a v=\"x&amp;y &#38; z\" w=\"&lt;&gt;&quot;&apos;\"/>", "a(v=x&y & z,w=<>\"')"},
        {"<a v=\"&amp;#38;\"/>", "a(v=&#38;)"},
        {"<a>A &amp; B &lt; C &#38; &#x41;</a>", "a\"A & B < C & A\""},
        {"<?xml version='1.0' encoding='ISO-8859-1'?><a v='caf\xe9'>\xe0</a>", "a(v=caf\xc3\xa9)\"\xc3\xa0\""},
        // Prefixed names and namespace declarations are attributes as written.
        {"<p:a xmlns:p='urn:p' xmlns='urn:d' p:k='1' k='2'><p:b/></p:a>",
         "p:a(k=2,p:k=1,xmlns=urn:d,xmlns:p=urn:p)[p:b]"},
        {"<a xmlns:q='urn:x?a=1&amp;b=2' xmlns='u&#38;v'/>", "a(xmlns=u&v,xmlns:q=urn:x?a=1&b=2)"},
    };
    for (const auto& c : cases) EXPECT_EQ(read(c.document), c.tree) << c.document;
}

// Past 100 levels the reader warns once for each new deepest level, each parse with fresh
// counters; documents within libxml2's depth limit are read whole, deeper ones fail cleanly
// without overflowing any stack.
TEST_F(PGFReaderTest, DeepDocuments) {
    testing::internal::CaptureStdout();
    EXPECT_NE(read(nested(101)), "nothing");
    EXPECT_NE(read(nested(100)), "nothing");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "WARNING! stack size has grown past expected levels( 100 )\n");
    std::string expected = "e";
    for (int i = 1; i < 250; ++i) expected = "e[" + expected + "]";
    testing::internal::CaptureStdout();
    EXPECT_EQ(read(nested(250)), expected);
    EXPECT_EQ(read(nested(100000)), "nothing");
    testing::internal::GetCapturedStdout();
    EXPECT_NE(lastError.find("document string"), std::string::npos) << lastError;
}

// Long texts, also in many chunks (entity references split the character data), are kept
// whole; so are documents of tens of megabytes.
TEST_F(PGFReaderTest, LongTextsAndHugeDocumentsAreKeptWhole) {
    std::string pieces, expected;
    for (int i = 0; i < 5000; ++i) {
        pieces += "abcdefg&amp;";
        expected += "abcdefg&";
    }
    EXPECT_EQ(read("<a>" + pieces + "</a>"), "a\"" + expected + "\"");
    std::string document = "<r>";
    const int count = 100000;
    for (int i = 0; i < count; ++i) document += "<item id=\"" + std::to_string(i) + "\" kind=\"k\">text</item>";
    document += "<big>" + std::string(4 * 1024 * 1024, 'x') + "</big></r>";
    PGFXMLParser parser(L, document.data(), document.size());
    ASSERT_EQ(parser.parse(), 0) << parser.errorMessage();
    EXPECT_EQ(lua_objlen(L, -1), static_cast<size_t>(count + 1));
    lua_rawgeti(L, -1, count);
    EXPECT_EQ(describe(L, -1), "item(id=" + std::to_string(count - 1) + ",kind=k)\"text\"");
    lua_rawgeti(L, -2, count + 1);
    lua_rawgeti(L, -1, 1);
    EXPECT_EQ(lua_objlen(L, -1), 4u * 1024 * 1024);
}

// A few refusals that pass through our code: libxml2's own reason with its line, a document
// without a root, bytes that are not text, and a broken declaration (which once leaked
// libxml2's stand-in document).
TEST_F(PGFReaderTest, DocumentsThatAreNotWellFormedGiveNothing) {
    std::string garbage(64 * 1024, '\0');
    unsigned seed = 12345;
    for (char& c : garbage) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 16);
    const std::string bad[] = {"", "<a><b></a>", "<?xml version='1.0'?>", "<a>&undefined;</a>", "<a>\xff\xfe\x80</a>",
                               "<!DOCTYPE r [<!ENTITY e 'x' oops]><r/>", "<!DOCTYPE r [<!ENTITY e 'x'>]><r>",
                               garbage, "<a>" + garbage};
    for (const std::string& document : bad) {
        EXPECT_EQ(read(document), "nothing") << document.substr(0, 40);
        EXPECT_FALSE(lastError.empty());
    }
    read("<a>\n<b></a>");
    EXPECT_NE(lastError.find("document string: line 2"), std::string::npos) << lastError;
}

TEST_F(PGFReaderTest, FilesAreReadAndMissingFilesGiveNothingWithTheirName) {
    EXPECT_EQ(read(writeScratchFile("doc.xml", "<?xml version='1.0'?>\n<a k='v'><b>t</b></a>\n"), true),
              "a(k=v)[b\"t\"]");
    EXPECT_EQ(read("/nonexistent/folder/doc.xml", true), "nothing");
    EXPECT_NE(lastError.find("'/nonexistent/folder/doc.xml'"), std::string::npos) << lastError;
    EXPECT_EQ(read(std::filesystem::temp_directory_path().string(), true), "nothing") << "a folder";
    EXPECT_NE(lastError.find("Is a directory"), std::string::npos) << lastError;
}

// No entity is loaded from the file system, and none declared in the document is expanded
// (a "billion laughs" document stays small).
TEST_F(PGFReaderTest, EntitiesAreNeverLoadedNorFetchedNorExpanded) {
    const std::string secret = writeScratchFile("secret.txt", "SECRET");
    const std::string dtd = writeScratchFile("attack.dtd", "<!ENTITY leak SYSTEM 'file://" + secret + "'>");
    std::string laughs = "<!DOCTYPE a [<!ENTITY l0 'ha'>";
    for (int i = 1; i < 10; ++i) {
        laughs += "<!ENTITY l" + std::to_string(i) + " '";
        for (int j = 0; j < 10; ++j) laughs += "&l" + std::to_string(i - 1) + ";";
        laughs += "'>";
    }
    std::vector<std::string> documents = {laughs + "]><a>&l9;</a>",
                                          "<!DOCTYPE a [<!ENTITY e SYSTEM '" + secret + "'>]><a v='&e;'>x</a>"};
    for (const std::string& source : {"file://" + secret, "file://" + dtd}) {
        documents.push_back("<!DOCTYPE a [<!ENTITY e SYSTEM '" + source + "'>]><a>&e;</a>");
        documents.push_back("<!DOCTYPE a SYSTEM '" + source + "'><a>&leak;</a>");
        documents.push_back("<!DOCTYPE a [<!ENTITY % p SYSTEM '" + source + "'> %p;]><a>&leak;</a>");
    }
    for (const std::string& document : documents) {
        for (const std::string& tree : {read(document), read(writeScratchFile("attack.xml", document), true)}) {
            EXPECT_EQ(tree.find("SECRET"), std::string::npos) << document;
            EXPECT_LT(tree.size(), 100u) << document;
        }
    }
}

// A document with an external DTD may use entities declared in its own DTD: it loads, and
// the script library names each entity whose references were dropped once per document.
TEST_F(PGFReaderTest, DroppedEntityReferencesAreReportedOncePerDocument) {
    const std::string path = writeScratchFile(
        "entities.xml", "<!DOCTYPE a SYSTEM 'none.dtd' [<!ENTITY e 'x'>]><a v='&e;!'>&e; &f;<b>&f;&amp;</b></a>");
    lua_pushcfunction(L, luaopen_PGF);
    lua_call(L, 0, 0);
    ASSERT_EQ(luaL_loadstring(L, "local path = ... return pgf.loadFile(path), pgf.loadFile(path)"), 0);
    lua_pushstring(L, path.c_str());
    testing::internal::CaptureStdout();
    ASSERT_EQ(lua_pcall(L, 1, 2, 0), 0) << lua_tostring(L, -1);
    const std::string output = testing::internal::GetCapturedStdout();
    EXPECT_EQ(describe(L, -1), "a(v=!)[b\"&\"]");
    const std::string note = "pgf: document '" + path + "': dropped the references to the entity '";
    const std::string advice = "', which the reader does not expand; write its text in the document instead\n";
    const std::string perDocument = note + "e" + advice + note + "f" + advice;
    EXPECT_EQ(output, perDocument + perDocument);
}

TEST_F(PGFReaderTest, TheInterpreterStackGrowsWithTheDocumentAndRefusesPastItsLimit) {
    struct TreeBuilder : PGFParser {
        using PGFParser::PGFParser;
        int parse() override { return 0; }
    } builder(L);
    int pushed = 0;
    testing::internal::CaptureStdout();
    while (pushed < 100000 && builder.pushElement("e", 1, 0)) ++pushed;
    testing::internal::GetCapturedStdout();
    EXPECT_GT(pushed, 1000) << "the stack grows past its guaranteed free slots";
    EXPECT_LT(pushed, 100000) << "and refuses at the interpreter's limit";
    EXPECT_EQ(lua_gettop(L), pushed);
    for (int i = 1; i < pushed; ++i) builder.popElement();
    EXPECT_EQ(lua_gettop(L), 1);
}

// An interpreter out of memory while the tree is built raises its error through libxml2's
// callbacks: the caller's protected call sees it, and nothing leaks.
TEST(PGFReaderMemoryTest, OutOfMemoryWhileBuildingIsAnInterpreterError) {
    std::string document = "<r>";
    for (int i = 0; i < 20000; ++i) document += "<item id='" + std::to_string(i) + "'/>";
    document += "</r>";

    LimitedAllocator allocator;
    lua_State* L = lua_newstate(LimitedAllocator::allocate, &allocator);
    ASSERT_NE(L, nullptr);
    auto read = [](lua_State* L) -> int {
        const auto* document = static_cast<const std::string*>(lua_touserdata(L, 1));
        PGFXMLParser parser(L, document->data(), document->size());
        parser.parse();
        return 0;
    };
    EXPECT_EQ(lua_cpcall(L, read, &document), LUA_ERRMEM);
    lua_close(L);
}

}  // namespace
