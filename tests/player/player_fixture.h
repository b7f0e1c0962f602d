// Test bundles made from the probe engine script or the real one, and runs of quillane-player with its
// output captured.
#ifndef QZ_TESTS_PLAYER_FIXTURE_H
#define QZ_TESTS_PLAYER_FIXTURE_H

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <png.h>

#include "support/test_files.h"

const std::string kPlayer = std::string(QZ_BINARY_DIR) + "/player/quillane-player";
const std::string kProbeEngine = std::string(QZ_BINARY_DIR) + "/tests/player/probe_engine.luo";
const std::string kEngineScript = std::string(QZ_BINARY_DIR) + "/enginescript/engine64.luo";

// A sanitizer build's memory figures count its shadow memory and the freed blocks it holds
// back, so memory bounds are checked in the normal build only.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMemoryIsMeasurable = false;
#else
constexpr bool kMemoryIsMeasurable = true;
#endif
const std::string kGuardedProject = std::string(QZ_SOURCE_DIR) + "/tests/player/guarded.gameproj";

struct ProbeBundle {
    std::string plist = "<key>CFBundleName</key><string>Probe</string>";
    std::string game{};     // game.lua of the project
    std::string project{};  // else a project folder to copy, played by the real engine script
};

// Makes folder/Probe.app from the probe engine script; or from the real engine script and a
// copy of probe.project; or, when startScene is given, from the real engine script with the
// guarded project starting at that scene. Returns its path.
inline std::string makeBundle(const ScratchFolder& scratch, const ProbeBundle& probe = {},
                              const std::string& startScene = "") {
    const std::filesystem::path app = scratch.path() / "Probe.app";
    const std::filesystem::path resources = app / "Contents" / "Resources";
    std::filesystem::create_directories(resources / "main.gameproj");
    writeFile((app / "Contents" / "Info.plist").string(),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>" + probe.plist +
                  "</dict></plist>\n");
    const auto replace = std::filesystem::copy_options::overwrite_existing;
    if (startScene.empty() && probe.project.empty()) {
        std::filesystem::copy_file(kProbeEngine, resources / "engine64.luo", replace);
        writeFile((resources / "main.gameproj" / "game.lua").string(), probe.game);
        return app.string();
    }
    std::filesystem::copy_file(kEngineScript, resources / "engine64.luo", replace);
    std::filesystem::copy(startScene.empty() ? probe.project : kGuardedProject, resources / "main.gameproj",
                          std::filesystem::copy_options::recursive | replace);
    if (startScene.empty()) return app.string();
    const std::string gameXml = (resources / "main.gameproj" / "game.xml").string();
    std::string text = readFile(gameXml);
    const std::string from = "startScene=\"saves\"";
    text.replace(text.find(from), from.size(), "startScene=\"" + startScene + "\"");
    writeFile(gameXml, text);
    return app.string();
}

struct PlayerRun {
    int status;
    std::string output;  // standard output and standard error together
};

// Runs the player with the scratch folder as data and cache home; `environment` is put
// before the command (for example "DISPLAY=:5"); `directory`, when given, is the working folder.
inline PlayerRun runPlayer(const ScratchFolder& scratch, const std::string& arguments,
                           const std::string& environment = "", const std::string& directory = "") {
    const std::string output = scratch.file("player-output.txt");
    const std::string command = (directory.empty() ? "" : "cd '" + directory + "' && ") + "env XDG_DATA_HOME=" + scratch.file("data") + " XDG_CACHE_HOME=" +
                                scratch.file("cache") + " " + environment + " timeout -k 5 60 " + kPlayer + " " +
                                arguments + " > " + output + " 2>&1";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw), readFile(output)};
}

// Starts a program in the background with its standard output and error going to `output`.
inline pid_t spawn(const std::vector<std::string>& arguments, const std::string& output) {
    extern char** environ;
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// The exit status of a child (128 + the signal that ended it), or -1 when it has not ended
// within the timeout.
inline int waitForExit(pid_t pid, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
}

// A picture read from a PNG file; channels of a pixel counted from the top left.
struct Picture {
    // PNG_FORMAT_RGB composes translucent pixels over black; PNG_FORMAT_RGBA gives the
    // colours as written.
    explicit Picture(const std::string& path, png_uint_32 format = PNG_FORMAT_RGB) {
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_file(&image, path.c_str())) return;
        image.format = format;
        channels = PNG_IMAGE_PIXEL_CHANNELS(format);
        width = static_cast<int>(image.width);
        height = static_cast<int>(image.height);
        pixels.resize(PNG_IMAGE_SIZE(image));
        png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr);
    }
    int channel(int x, int y, int c) const {
        return pixels.empty() ? -1 : pixels[(static_cast<size_t>(y) * width + x) * channels + c];
    }
    int red(int x, int y) const { return channel(x, y, 0); }
    int green(int x, int y) const { return channel(x, y, 1); }
    int blue(int x, int y) const { return channel(x, y, 2); }
    int width = 0;
    int height = 0;
    int channels = 3;
    std::vector<unsigned char> pixels;
};

inline int countOf(const std::string& text, const std::string& part) {
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

// Writes a 4 × 4 PNG picture of one colour.
inline void writeSolidPNG(const std::string& path, unsigned char red, unsigned char green, unsigned char blue) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = image.height = 4;
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> pixels;
    for (int i = 0; i < 16; ++i) pixels.insert(pixels.end(), {red, green, blue});
    ASSERT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, nullptr)) << path;
}

#endif
