// Opening and checking game bundles, reading Info.plist with libxml2, extracting zipped
// bundles into a per-user cache and preparing the save folder.
#include "QzBundle.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <utility>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include <fcntl.h>
#include <lauxlib.h>
#include <nettle/sha2.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <unistd.h>

#include "QzEngine.h"
#include "QzGameArchive.h"
#include "QzShippedFiles.h"

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
            info->startFullscreenSet = true;
        } else if (name == "QzOverscan") {
            info->overscan = plistBoolean(value);
        } else if (name == "CFBundleIconFile" && std::strcmp(elementName(value), "string") == 0) {
            info->iconFile = elementText(value);
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

namespace {

// The picture an icon name stands for in the resources folder: the name itself, the name with
// ".png" added, or for a ".icns" name (the icon format of other systems) the PNG named alike.
// Names that would reach outside the folder stand for nothing.
std::string findIcon(const fs::path& resources, const std::string& name) {
    if (name.empty() || !isSafeFolderName(name)) return "";
    std::vector<std::string> names = {name, name + ".png"};
    if (name.size() > 5 && name.ends_with(".icns")) names.push_back(name.substr(0, name.size() - 5) + ".png");
    for (const std::string& candidate : names)
        if (isFile(resources / candidate)) return (resources / candidate).string();
    return "";
}

}  // namespace

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
    bundle->iconPath = findIcon(resources, bundle->info.iconFile);
    return true;
}

namespace {

// The last component of a folder path, also when it ends in '/'.
std::string folderName(const std::string& path) {
    const fs::path normal = fs::path(path).lexically_normal();
    return (normal.filename().empty() ? normal.parent_path().filename() : normal.filename()).string();
}

}  // namespace

bool QzIsProjectPath(const std::string& path) {
    const std::string name = folderName(path);
    return name.size() > 9 && name.ends_with(".gameproj");
}

bool QzReadProjectSettings(const std::string& project, QzBundleInfo* info, std::string* error) {
    const std::string path = (fs::path(project) / "game.xml").string();
    if (!isFile(path)) {
        *error = quoted(path) + " is missing; a game project needs its game.xml (see docs/project-format.md)";
        return false;
    }
    // No network access, no entity expansion, no DTD loading: the file is untrusted.
    XmlDocument doc{xmlReadFile(path.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING)};
    xmlNode* root = doc.document ? xmlDocGetRootElement(doc.document) : nullptr;
    if (!root || std::strcmp(elementName(root), "game") != 0) {
        const xmlError* failure = xmlGetLastError();
        *error = quoted(path) + (failure && !root ? ":" + std::to_string(failure->line) : "") +
                 ": not a well-formed XML document with a <game> root; mend it (see docs/project-format.md)";
        return false;
    }
    const auto attribute = [root](const char* name, std::string* value) {
        xmlChar* text = xmlGetProp(root, reinterpret_cast<const xmlChar*>(name));
        if (text) *value = reinterpret_cast<const char*>(text);
        xmlFree(text);
        return text != nullptr;
    };
    std::string title = folderName(project);
    if (title.ends_with(".gameproj")) title.resize(title.size() - std::string(".gameproj").size());
    attribute("title", &title);
    if (!isSafeFolderName(title)) {
        *error = quoted(path) + ": the title \"" + title + "\" cannot name the save folder; use one without '/' " +
                 "that is not '.' or '..'";
        return false;
    }
    info->bundleName = title;
    std::string flag;
    info->startFullscreenSet = attribute("startFullscreen", &flag);
    info->startFullscreen = flag == "true";
    info->overscan = attribute("overscan", &flag) && flag == "true";
    return true;
}

std::vector<std::string> QzProjectSceneNames(const std::string& project) {
    const std::string path = (fs::path(project) / "game.xml").string();
    XmlDocument doc{xmlReadFile(path.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING)};
    xmlNode* root = doc.document ? xmlDocGetRootElement(doc.document) : nullptr;
    std::vector<std::string> names;
    for (xmlNode* list = root ? nextElement(root->children) : nullptr; list; list = nextElement(list->next)) {
        if (std::strcmp(elementName(list), "scenes") != 0) continue;
        for (xmlNode* scene = nextElement(list->children); scene; scene = nextElement(scene->next)) {
            xmlChar* name = xmlGetProp(scene, reinterpret_cast<const xmlChar*>("name"));
            if (name && std::strcmp(elementName(scene), "scene") == 0) names.push_back(reinterpret_cast<const char*>(name));
            xmlFree(name);
        }
    }
    return names;
}

bool QzOpenProjectFolder(const std::string& project, QzBundle* bundle, std::string* error) {
    const std::string prefix = "cannot open project " + quoted(project) + ": ";
    if (!isFolder(project)) {
        *error = prefix + "there is no such folder; give the path of a NAME.gameproj folder";
        return false;
    }
    std::string detail;
    if (!QzReadProjectSettings(project, &bundle->info, &detail)) {
        *error = prefix + detail;
        return false;
    }
    const std::string engine = QzFindShippedFile("engine64.luo");
    if (engine.empty()) {
        *error = prefix + "the player's engine script engine64.luo is neither beside the program nor in " +
                 QzProgramDirectory() + "/../share/quillane-player; reinstall the player";
        return false;
    }
    if (!QzCheckEngineScript(engine, &detail)) {
        *error = prefix + detail;
        return false;
    }
    fs::path folder = fs::path(project).lexically_normal();
    if (folder.filename().empty()) folder = folder.parent_path();
    bundle->folder = folder.string();
    bundle->resources = folder.string();
    bundle->enginePath = engine;
    bundle->projectPath = folder.string();
    bundle->defaultImagePath = isFile(folder / "Default.png") ? (folder / "Default.png").string() : "";
    return true;
}

namespace {

// Bounds of one unpacked game: far above any game we know, far below a full disk. The
// cache keeps the kKeptBundles most recently played games besides those playing now, so
// it stays within a few of these bounds.
constexpr uint64_t kMaxBundleBytes = 1ull << 30;
constexpr uint64_t kMaxBundleEntries = 20000;
constexpr size_t kKeptBundles = 4;
// Unpacking folders older than this were left by a player that died while unpacking.
constexpr auto kAbandonedAfter = std::chrono::hours(1);

// A file descriptor closed when it goes out of scope.
struct Descriptor {
    int fd = -1;
    Descriptor() = default;
    explicit Descriptor(int value) : fd(value) {}
    Descriptor(Descriptor&& other) noexcept : fd(std::exchange(other.fd, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        std::swap(fd, other.fd);
        return *this;
    }
    ~Descriptor() {
        if (fd >= 0) close(fd);
    }
};

// The SHA-256 of the file's contents in hexadecimal: the archive's identity, whatever its
// name, size or time say. Empty when the file cannot be read.
std::string contentHash(const std::string& path) {
    Descriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.fd < 0) return "";
    sha256_ctx context;
    sha256_init(&context);
    std::vector<uint8_t> buffer(1 << 20);
    ssize_t count;
    while ((count = read(file.fd, buffer.data(), buffer.size())) > 0)
        sha256_update(&context, static_cast<size_t>(count), buffer.data());
    if (count < 0) return "";
    uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&context, sizeof digest, digest);
    std::string hex;
    for (uint8_t byte : digest) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", byte);
        hex += two;
    }
    return hex;
}

// Takes a lock (flock `operation`) on a slot's lock file. A remover unlinks the lock file
// while it holds it exclusively, so a lock taken on a file that is no longer at the path
// protects nothing and is taken again on the new one. With create false, a missing lock
// file fails.
bool lockSlot(const fs::path& lockPath, int operation, bool create, Descriptor* lock) {
    for (;;) {
        Descriptor file(open(lockPath.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | (create ? O_CREAT : 0), 0644));
        if (file.fd < 0 || flock(file.fd, operation) != 0) return false;
        struct stat held, current;
        if (fstat(file.fd, &held) == 0 && stat(lockPath.c_str(), &current) == 0 && held.st_ino == current.st_ino &&
            held.st_dev == current.st_dev) {
            *lock = std::move(file);
            return true;
        }
        if (!create) return false;
    }
}

// Removes a folder by first renaming it to a hidden name, so that nobody sees it half gone.
void removeFolder(const fs::path& folder) {
    std::error_code ignored;
    const fs::path doomed = folder.parent_path() / (".removing-" + folder.filename().string() + "-" +
                                                    std::to_string(getpid()));
    fs::rename(folder, doomed, ignored);
    fs::remove_all(ignored ? folder : doomed, ignored);
}

// Removes the slots no player holds beyond the kKeptBundles most recently played, folders
// left without a lock file (from older players or removals cut short), and abandoned
// unpacking folders.
void pruneCache(const fs::path& root, const fs::path& current) {
    std::error_code ignored;
    std::vector<std::pair<fs::file_time_type, fs::path>> locks;
    const auto now = fs::file_time_type::clock::now();
    for (const auto& entry : fs::directory_iterator(root, ignored)) {
        const fs::path path = entry.path();
        const std::string name = path.filename().string();
        if (name.ends_with(".lock")) {
            if (path.stem() != current) locks.emplace_back(fs::last_write_time(path, ignored), path);
        } else if (name.starts_with(".")) {
            if (now - fs::last_write_time(path, ignored) > kAbandonedAfter) fs::remove_all(path, ignored);
        } else if (!fs::exists(root / (name + ".lock"), ignored)) {
            fs::remove_all(path, ignored);
        }
    }
    std::sort(locks.begin(), locks.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    for (size_t i = kKeptBundles; i < locks.size(); ++i) {
        Descriptor lock;
        if (!lockSlot(locks[i].second, LOCK_EX | LOCK_NB, false, &lock)) continue;  // playing
        removeFolder(root / locks[i].second.stem());
        fs::remove(locks[i].second, ignored);
    }
}

}  // namespace

QzCacheHold::~QzCacheHold() {
    if (fd >= 0) close(fd);
}

bool QzExtractZippedBundle(const std::string& zipPath, const std::string& cacheRoot, std::string* folder,
                           std::shared_ptr<QzCacheHold>* hold, std::string* error) {
    const std::string prefix = "cannot open zipped bundle " + quoted(zipPath) + ": ";
    std::error_code failure;
    const fs::path archive = fs::canonical(zipPath, failure);
    if (failure || !isFile(archive)) {
        *error = prefix + "there is no such file; give the path of a .zip holding a game bundle";
        return false;
    }
    const std::string hash = contentHash(archive.string());
    if (hash.empty()) {
        *error = prefix + "it cannot be read (" + std::strerror(errno) + "); check its permissions";
        return false;
    }
    const fs::path root(cacheRoot);
    const fs::path slot = root / hash;
    Descriptor lock;
    fs::create_directories(root, failure);
    if (!lockSlot(root / (hash + ".lock"), LOCK_SH, true, &lock)) {
        *error = prefix + "cannot use the cache folder " + quoted(root.string()) + " (" + std::strerror(errno) +
                 "); check that it is writable";
        return false;
    }
    futimens(lock.fd, nullptr);  // most recently played
    if (!isFolder(slot)) {
        static int unpackings = 0;
        const fs::path work = root / (".unpacking-" + hash + "-" + std::to_string(getpid()) + "-" +
                                      std::to_string(++unpackings));
        if (!fs::create_directories(work, failure)) {
            *error = prefix + "cannot create the cache folder " + quoted(work.string()) + " (" + failure.message() +
                     "); check that " + quoted(cacheRoot) + " is writable";
            return false;
        }
        std::string why;
        if (!QzExtractArchive(archive.string(), work.string(), {kMaxBundleBytes, kMaxBundleEntries}, &why)) {
            fs::remove_all(work, failure);
            *error = prefix + why + "; nothing from it is used";
            return false;
        }
        // Published whole: another player unpacking the same archive at the same time may
        // have been first, and its copy is as good.
        fs::rename(work, slot, failure);
        if (failure) fs::remove_all(work, failure);
    }
    if (!findBundleIn(slot, folder)) {
        *error = prefix + "the archive holds no bundle (no folder with a Contents folder); zip the whole bundle folder";
        return false;
    }
    pruneCache(root, hash);
    *hold = std::make_shared<QzCacheHold>(std::exchange(lock.fd, -1));
    return true;
}

std::string QzEngineScriptHash(const QzBundle& bundle) { return contentHash(bundle.enginePath); }

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
