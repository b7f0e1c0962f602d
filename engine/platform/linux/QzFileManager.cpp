// File-manager operations on the file system, the zip tool and the guarded zip extractor.
#include "QzFileManager.h"

#include "QzGameArchive.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <vector>

extern char** environ;

namespace {

// Runs a tool with its arguments in `folder` (when not empty), its input and output on
// /dev/null and its error stream shared with ours; returns its exit status, or -1 when it
// could not be run or did not exit normally.
int runTool(const std::vector<std::string>& arguments, const std::string& folder) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The path without trailing separators, as the last-component rules of the platform see it.
std::filesystem::path trimmed(const std::string& path) {
    std::string text = path;
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

}  // namespace

bool QzFileManager::createDirectoryIfNotExists(const std::string& path) {
    struct stat info;
    if (lstat(path.c_str(), &info) == 0) return false;
    return mkdir(path.c_str(), 0777) == 0;
}

bool QzFileManager::zipItemAtPath(const std::string& source, const std::string& destination) {
    const std::filesystem::path item = trimmed(source);
    // The tool runs in the source's parent folder: a relative destination is made absolute
    // first so that it still names the place the caller meant.
    const std::string archive = std::filesystem::absolute(destination).string();
    const std::filesystem::path parent = item.has_parent_path() ? item.parent_path() : ".";
    runTool({"/usr/bin/zip", "-y", "-r", archive, item.filename().string()}, parent.string());
    return true;
}

bool QzFileManager::unzipItemAtPath(const std::string& archive, const std::string& directory, QzFileError* error) {
    std::error_code ignored;
    std::filesystem::create_directories(directory, ignored);
    if (Qz_ExtractGameAtPathToFolder(archive.c_str(), directory.c_str()) != 0 && error) {
        error->code = QzFileError::kFileReadCorruptFile;
    }
    return true;
}
