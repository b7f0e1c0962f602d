// Test bundles made from the probe engine script or the real one, and runs of quillane-player with its
// output captured.
#ifndef QZ_TESTS_PLAYER_FIXTURE_H
#define QZ_TESTS_PLAYER_FIXTURE_H

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <png.h>

#include "support/test_files.h"

const std::string kPlayer = std::string(QZ_BINARY_DIR) + "/player/quillane-player";
const std::string kProbeEngine = std::string(QZ_BINARY_DIR) + "/tests/player/probe_engine.luo";
const std::string kEngineScript = std::string(QZ_BINARY_DIR) + "/enginescript/engine64.luo";

struct BundleSpec {
    std::string plist = "<key>CFBundleName</key><string>Probe</string>";
    std::string game{};     // game.lua of the project
    std::string project{};  // else a project folder to copy, played by the real engine script
};

// Makes folder/Probe.app from the probe engine script, or from the real engine script and a
// copy of spec.project; returns its path.
inline std::string makeBundle(const ScratchFolder& scratch, const BundleSpec& spec = {}) {
    const std::filesystem::path app = scratch.path() / "Probe.app";
    const std::filesystem::path resources = app / "Contents" / "Resources";
    std::filesystem::create_directories(resources / "main.gameproj");
    writeFile((app / "Contents" / "Info.plist").string(),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>" + spec.plist +
                  "</dict></plist>\n");
    std::filesystem::copy_file(spec.project.empty() ? kProbeEngine : kEngineScript, resources / "engine64.luo",
                               std::filesystem::copy_options::overwrite_existing);
    if (spec.project.empty())
        writeFile((resources / "main.gameproj" / "game.lua").string(), spec.game);
    else
        std::filesystem::copy(spec.project, resources / "main.gameproj", std::filesystem::copy_options::recursive);
    return app.string();
}

struct PlayerRun {
    int status;
    std::string output;  // standard output and standard error together
};

// Runs the player with the scratch folder as data and cache home; `environment` is put
// before the command (for example "DISPLAY=:5").
inline PlayerRun runPlayer(const ScratchFolder& scratch, const std::string& arguments,
                           const std::string& environment = "") {
    const std::string output = scratch.file("player-output.txt");
    const std::string command = "env XDG_DATA_HOME=" + scratch.file("data") + " XDG_CACHE_HOME=" +
                                scratch.file("cache") + " " + environment + " timeout -k 5 60 " + kPlayer + " " +
                                arguments + " > " + output + " 2>&1";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw), readFile(output)};
}

// A picture read from a PNG file; channels of a pixel counted from the top left.
struct Picture {
    explicit Picture(const std::string& path) {
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_file(&image, path.c_str())) return;
        image.format = PNG_FORMAT_RGB;
        width = static_cast<int>(image.width);
        height = static_cast<int>(image.height);
        pixels.resize(PNG_IMAGE_SIZE(image));
        png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr);
    }
    int channel(int x, int y, int c) const {
        return pixels.empty() ? -1 : pixels[(static_cast<size_t>(y) * width + x) * 3 + c];
    }
    int red(int x, int y) const { return channel(x, y, 0); }
    int green(int x, int y) const { return channel(x, y, 1); }
    int blue(int x, int y) const { return channel(x, y, 2); }
    int width = 0;
    int height = 0;
    std::vector<unsigned char> pixels;
};

inline int countOf(const std::string& text, const std::string& part) {
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

#endif
