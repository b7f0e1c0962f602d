// Opening and checking game bundles, reading Info.plist with libxml2, extracting zipped
// bundles into a per-user cache and preparing the save folder.
#include "QzBundle.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include <lauxlib.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <unistd.h>

#include "QzEngine.h"

namespace fs = std::filesystem;

namespace {

std::string quoted(const std::string& path) { return "'" + path + "'"; }

bool isFolder(const fs::path& path) {
    std::error_code ignored;
    return fs::is_directory(path, ignored);
}

bool isFile(const fs::path& path) {
    std::error_code ignored;
    return fs::is_regular_file(path, ignored);
}

const char* elementName(xmlNode* node) { return reinterpret_cast<const char*>(node->name); }

xmlNode* nextElement(xmlNode* node) {
    while (node && node->type != XML_ELEMENT_NODE) node = node->next;
    return node;
}

std::string elementText(xmlNode* node) {
    xmlChar* content = xmlNodeGetContent(node);
    std::string text = content ? reinterpret_cast<const char*>(content) : "";
    xmlFree(content);
    return text;
}

// A boolean value: <true/>, <false/>, or an integer (non-zero is true).
bool plistBoolean(xmlNode* value) {
    const std::string name = elementName(value);
    if (name == "integer") return std::atol(elementText(value).c_str()) != 0;
    return name == "true";
}

// The bundle name names a folder below the data folder: one plain path component.
bool isSafeFolderName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

struct XmlDocument {
    xmlDoc* document;
    ~XmlDocument() { xmlFreeDoc(document); }
};

// Whether the file's contents equal text.
bool fileHolds(const fs::path& path, const std::string& text) {
    std::ifstream in(path, std::ios::binary);
    std::string contents((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return in.good() || in.eof() ? contents == text : false;
}

// The bundle in an extracted archive: the folder itself when it has Contents/, otherwise its
// first subfolder in name order that has.
bool findBundleIn(const fs::path& extracted, std::string* folder) {
    if (isFolder(extracted / "Contents")) {
        *folder = extracted.string();
        return true;
    }
    std::vector<fs::path> candidates;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(extracted, ignored))
        if (isFolder(entry.path() / "Contents")) candidates.push_back(entry.path());
    if (candidates.empty()) return false;
    *folder = std::min_element(candidates.begin(), candidates.end())->string();
    return true;
}

// FNV-1a: a short stable name for an archive's cache folder.
std::string hashName(const std::string& text) {
    uint64_t hash = 1469598103934665603ull;
    for (unsigned char c : text) hash = (hash ^ c) * 1099511628211ull;
    char name[17];
    std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(hash));
    return name;
}

std::string homeRelative(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    if (value && value[0] == '/') return value;
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/" + fallback;
    return "";
}

}  // namespace

bool QzReadInfoPlist(const std::string& path, QzBundleInfo* info, std::string* error) {
    // No network access, no entity expansion, no DTD loading: the file is untrusted.
    XmlDocument doc{xmlReadFile(path.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING)};
    xmlNode* root = doc.document ? xmlDocGetRootElement(doc.document) : nullptr;
    if (!root) {
        *error = quoted(path) + " is not an XML property list; save it as XML (for example with plutil -convert xml1)";
        return false;
    }
    xmlNode* dict = std::strcmp(elementName(root), "plist") == 0 ? nextElement(root->children) : root;
    if (!dict || std::strcmp(elementName(dict), "dict") != 0) {
        *error = quoted(path) + " has no dictionary at its root; it must be a property list holding a <dict>";
        return false;
    }
    bool haveName = false;
    for (xmlNode* key = nextElement(dict->children); key; key = nextElement(key->next)) {
        xmlNode* value = nextElement(key->next);
        if (!value) break;
        const std::string name = elementText(key);
        if (std::strcmp(elementName(key), "key") != 0) continue;
        if (name == "CFBundleName" && std::strcmp(elementName(value), "string") == 0) {
            info->bundleName = elementText(value);
            haveName = true;
        } else if (name == "QzStartFullscreen") {
            info->startFullscreen = plistBoolean(value);
        } else if (name == "QzOverscan") {
            info->overscan = plistBoolean(value);
        }
        key = value;
    }
    if (!haveName) {
        *error = quoted(path) + " has no CFBundleName string; add one (it names the window and the save folder)";
        return false;
    }
    if (!isSafeFolderName(info->bundleName)) {
        *error = quoted(path) + ": CFBundleName \"" + info->bundleName +
                 "\" cannot name a folder; use a name without '/' that is not '.' or '..'";
        return false;
    }
    return true;
}

namespace {

// Whether the script compiles (source) or loads whole (a precompiled chunk), tried in a
// bare interpreter: a damaged script is a damaged bundle, not a game that starts dead.
bool engineScriptLoads(const std::string& path, const char* advice, std::string* error) {
    lua_State* L = luaL_newstate();
    if (!L) {
        *error = "no interpreter could be made to check " + quoted(path);
        return false;
    }
    const bool loads = luaL_loadfile(L, path.c_str()) == 0;
    if (!loads) *error = quoted(path) + " cannot be loaded: " + (lua_tostring(L, -1) ? lua_tostring(L, -1) : "") + advice;
    lua_close(L);
    return loads;
}

}  // namespace

bool QzCheckEngineScript(const std::string& path, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = quoted(path) + " cannot be read; check its permissions";
        return false;
    }
    unsigned char header[12] = {};
    in.read(reinterpret_cast<char*>(header), sizeof header);
    if (in.gcount() == 0) {
        *error = quoted(path) + " is empty; put the game's precompiled engine script there";
        return false;
    }
    const auto recompile = "; compile it again with the player's luac (Lua 5.1, 32-bit float numbers)";
    if (header[0] != 0x1b) return engineScriptLoads(path, "", error);  // Lua source
    if (in.gcount() < static_cast<std::streamsize>(sizeof header) || std::memcmp(header, "\x1bLua", 4) != 0) {
        *error = quoted(path) + " is not a Lua chunk (its header is damaged)" + recompile;
        return false;
    }
    if (header[4] != 0x51 || header[5] != 0) {
        *error = quoted(path) + " was compiled for another Lua version" + recompile;
        return false;
    }
    if (header[10] != sizeof(lua_Number) || header[11] != 0) {
        *error = quoted(path) + " was compiled for another number type (" + std::to_string(header[10]) + "-byte " +
                 (header[11] ? "integer" : "floating-point") + " numbers)" + recompile;
        return false;
    }
    const uint16_t probe = 1;
    const unsigned char littleEndian = *reinterpret_cast<const unsigned char*>(&probe);
    if (header[6] != littleEndian || header[7] != sizeof(int) || header[8] != sizeof(size_t) || header[9] != 4) {
        *error = quoted(path) + " was compiled for another kind of machine" + recompile;
        return false;
    }
    return engineScriptLoads(path, recompile, error);
}

bool QzOpenBundleFolder(const std::string& folder, QzBundle* bundle, std::string* error) {
    const std::string prefix = "cannot open bundle " + quoted(folder) + ": ";
    if (!isFolder(folder)) {
        *error = prefix + "there is no such folder; give the path of a game bundle folder or a zipped bundle";
        return false;
    }
    const fs::path contents = fs::path(folder) / "Contents";
    const fs::path plist = contents / "Info.plist";
    if (!isFile(plist)) {
        *error = prefix + "Contents/Info.plist is missing; a game bundle needs it (with CFBundleName)";
        return false;
    }
    std::string detail;
    if (!QzReadInfoPlist(plist.string(), &bundle->info, &detail)) {
        *error = prefix + detail;
        return false;
    }
    const fs::path resources = contents / "Resources";
    const fs::path engine = resources / "engine64.luo";
    if (!isFile(engine)) {
        *error = prefix + "Contents/Resources/engine64.luo is missing; add the game's precompiled engine script";
        return false;
    }
    if (!QzCheckEngineScript(engine.string(), &detail)) {
        *error = prefix + detail;
        return false;
    }
    std::vector<std::string> projects;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(resources, ignored)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > 9 && name.ends_with(".gameproj")) projects.push_back(name);
    }
    if (projects.empty()) {
        *error = prefix + "Contents/Resources holds no NAME.gameproj; add the game project exported for the player";
        return false;
    }
    std::sort(projects.begin(), projects.end());
    bundle->folder = folder;
    bundle->resources = resources.string();
    bundle->enginePath = engine.string();
    bundle->projectPath = (resources / projects.front()).string();
    bundle->defaultImagePath = isFile(resources / "Default.png") ? (resources / "Default.png").string() : "";
    return true;
}

bool QzExtractZippedBundle(const std::string& zipPath, const std::string& cacheRoot, std::string* folder,
                           std::string* error) {
    const std::string prefix = "cannot open zipped bundle " + quoted(zipPath) + ": ";
    std::error_code failure;
    const fs::path archive = fs::canonical(zipPath, failure);
    if (failure || !isFile(archive)) {
        *error = prefix + "there is no such file; give the path of a .zip holding a game bundle";
        return false;
    }
    const std::string stamp = std::to_string(fs::file_size(archive, failure)) + " " +
                              std::to_string(fs::last_write_time(archive, failure).time_since_epoch().count());
    const fs::path slot = fs::path(cacheRoot) / hashName(archive.string());
    const fs::path extracted = slot / "bundle";
    if (fileHolds(slot / "stamp", stamp) && findBundleIn(extracted, folder)) return true;

    fs::remove_all(slot, failure);
    const fs::path work = slot / ("extracting-" + std::to_string(getpid()));
    if (!fs::create_directories(work, failure)) {
        *error = prefix + "cannot create the cache folder " + quoted(work.string()) + " (" + failure.message() +
                 "); check that " + quoted(cacheRoot) + " is writable";
        return false;
    }
    if (Qz_ExtractGameAtPathToFolder(archive.c_str(), work.c_str()) != 0) {
        fs::remove_all(slot, failure);
        *error = prefix + "the archive is damaged or holds entries that would land outside its folder "
                          "(absolute paths or '..'); nothing from it is used. Zip the bundle folder again";
        return false;
    }
    fs::rename(work, extracted, failure);
    std::ofstream(slot / "stamp", std::ios::binary) << stamp;
    if (failure || !findBundleIn(extracted, folder)) {
        fs::remove_all(slot, failure);
        *error = prefix + "the archive holds no bundle (no folder with a Contents folder); zip the whole bundle folder";
        return false;
    }
    return true;
}

bool QzPrepareSaveFolder(const std::string& dataHome, const std::string& bundleName, std::string* savePath,
                         std::string* error) {
    if (dataHome.empty()) {
        *error = "cannot find a folder for saved games: neither XDG_DATA_HOME nor HOME is set to an absolute path; set one";
        return false;
    }
    const fs::path folder = fs::path(dataHome) / bundleName;
    std::error_code failure;
    fs::create_directories(folder, failure);
    if (failure || !isFolder(folder) || access(folder.c_str(), W_OK | X_OK) != 0) {
        *error = "cannot use the save folder " + quoted(folder.string()) + (failure ? " (" + failure.message() + ")" : "") +
                 ": it must be a writable folder; fix its permissions or set XDG_DATA_HOME to a writable folder";
        return false;
    }
    *savePath = (folder / "save.data").string();
    return true;
}

std::string QzUserDataHome() { return homeRelative("XDG_DATA_HOME", ".local/share"); }

std::string QzUserCacheHome() { return homeRelative("XDG_CACHE_HOME", ".cache"); }
