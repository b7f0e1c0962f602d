// Game bundles: opening and checking a bundle folder or a zipped bundle, its information
// dictionary (Contents/Info.plist), and the per-game save folder.
#ifndef QZ_BUNDLE_H
#define QZ_BUNDLE_H

#include <memory>
#include <string>
#include <vector>

// The keys of the bundle's information dictionary the player reads.
struct QzBundleInfo {
    std::string bundleName;        // "CFBundleName": window title and save folder name
    bool startFullscreen = false;  // "QzStartFullscreen"
    bool startFullscreenSet = false;  // the key is present: the game decides, not the player
    bool overscan = false;         // "QzOverscan": crop to fill instead of letterbox
    std::string iconFile;          // "CFBundleIconFile": the icon's name in Contents/Resources
};

struct QzCacheHold;

struct QzBundle {
    std::string folder;            // the bundle folder
    std::string resources;         // its Contents/Resources
    std::string enginePath;        // Contents/Resources/engine64.luo
    std::string projectPath;       // the first NAME.gameproj in name order
    std::string defaultImagePath;  // Contents/Resources/Default.png, empty when absent
    std::string iconPath;          // the picture info.iconFile names, empty when there is none
    QzBundleInfo info;
    std::shared_ptr<QzCacheHold> cacheHold;  // a zipped bundle's cache slot, held while playing
};

// Every failure below sets error to one line naming the file, what is wrong and what to do.

// Opens a bundle folder and checks everything the player needs in it.
bool QzOpenBundleFolder(const std::string& folder, QzBundle* bundle, std::string* error);

// Opens a game project folder (NAME.gameproj) to be played as it is, with the engine script the
// player ships (found from the program's place, as its other shipped files are). The settings
// a bundle's Info.plist would hold come from game.xml (QzReadProjectSettings); Default.png is
// the project's own, when it has one.
bool QzOpenProjectFolder(const std::string& project, QzBundle* bundle, std::string* error);

// The bundle settings of a project, read from the attributes of game.xml's root <game>:
// `title` (else the folder's name without ".gameproj") names the game and its save folder,
// `startFullscreen` and `overscan` ("true" or "false") as the Info.plist keys.
bool QzReadProjectSettings(const std::string& project, QzBundleInfo* info, std::string* error);

// The names of the scenes game.xml lists under <scenes>, in order; empty when it cannot be read
// (the engine script reports why when it loads the game).
std::vector<std::string> QzProjectSceneNames(const std::string& project);

// Whether the path names a game project folder (its name ends in ".gameproj").
bool QzIsProjectPath(const std::string& path);

// Reads an XML property list whose root dictionary holds the keys of QzBundleInfo. A missing
// CFBundleName is an error: it names the save folder.
bool QzReadInfoPlist(const std::string& path, QzBundleInfo* info, std::string* error);

// Checks that an engine script is non-empty Lua source or a chunk precompiled for this interpreter
// (Lua 5.1, 32-bit float numbers, this machine's sizes).
bool QzCheckEngineScript(const std::string& path, std::string* error);

// The SHA-256 in hexadecimal of the engine script the player ships (defined by the build in
// the player program), and that of a bundle's engine script (empty when it cannot be read).
// A bundle with another engine script runs it with the user's rights.
extern const char* const kQzShippedEngineHash;
std::string QzEngineScriptHash(const QzBundle& bundle);

// A shared lock on the cache slot a zipped bundle was unpacked into: while any player holds
// one, no player removes the slot.
struct QzCacheHold {
    explicit QzCacheHold(int lockFile) : fd(lockFile) {}
    ~QzCacheHold();
    QzCacheHold(const QzCacheHold&) = delete;
    QzCacheHold& operator=(const QzCacheHold&) = delete;
    int fd;  // owned
};

// Unpacks a zipped bundle into its slot below cacheRoot, named by the hash of the archive's
// contents, and sets folder to the bundle in it and hold to the slot's lock (keep it while
// playing). A slot is unpacked into a folder of its own and published by renaming it, so
// players starting on the same archive at once never see each other's half-made copy; an
// unpacked slot is re-used as it is. Unpacking stops, removes what it wrote and fails with
// the reason at the first damaged or refused entry (one that would land outside the slot)
// and when the archive would unpack to more than the bounds of a game. Old slots that no
// player holds are pruned.
bool QzExtractZippedBundle(const std::string& zipPath, const std::string& cacheRoot, std::string* folder,
                           std::shared_ptr<QzCacheHold>* hold, std::string* error);

// Creates dataHome/<bundleName>/ when missing, checks that it is writable, and sets savePath
// to that folder followed by "save.data" (the store file becomes save.datapersistent.save).
bool QzPrepareSaveFolder(const std::string& dataHome, const std::string& bundleName, std::string* savePath,
                         std::string* error);

// $XDG_DATA_HOME, else ~/.local/share; $XDG_CACHE_HOME, else ~/.cache. Relative values are
// ignored, as the XDG base directory rules say. Empty when neither can be found.
std::string QzUserDataHome();
std::string QzUserCacheHome();

#endif
