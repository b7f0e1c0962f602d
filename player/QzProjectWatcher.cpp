// Watching a project folder with inotify: one watch per folder, events read without blocking.
#include "QzProjectWatcher.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace {

constexpr uint32_t kFileEvents = IN_CLOSE_WRITE | IN_MOVED_TO;
constexpr uint32_t kFolderEvents = IN_CREATE | IN_MOVED_TO;
// A slice of the background thread's wait: how soon it notices that it should stop.
constexpr std::chrono::milliseconds kStopSlice{100};

// Editors' swap, lock and backup files, and hidden files, are none of the game's.
bool isEditorFile(const std::string& name) {
    return name.empty() || name[0] == '.' || name.back() == '~';
}

std::string joined(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : folder + "/" + name;
}

}  // namespace

QzProjectWatcher::~QzProjectWatcher() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0) close(fd_);
}

std::unique_ptr<QzProjectWatcher> QzProjectWatcher::startOrWarn(const std::string& folder) {
    auto watcher = std::make_unique<QzProjectWatcher>();
    std::string error;
    if (watcher->start(folder, &error)) return watcher;
    std::fprintf(stderr, "quillane-player: warning: --watch: %s; changes are not reloaded\n", error.c_str());
    return nullptr;
}

bool QzProjectWatcher::start(const std::string& folder, std::string* error) {
    folder_ = folder;
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) {
        *error = std::string("cannot watch the project's files: ") + std::strerror(errno);
        return false;
    }
    addFolder("");
    if (folders_.empty()) {
        *error = "cannot watch " + folder + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

// A folder that cannot be watched (gone already, or past the user's inotify limit) is left
// out with a message; the rest is still watched.
void QzProjectWatcher::addFolder(const std::string& relative) {
    const std::string path = joined(folder_, relative);
    const int watch = inotify_add_watch(fd_, path.c_str(), kFileEvents | kFolderEvents | IN_ONLYDIR);
    if (watch < 0) {
        if (!relative.empty())
            std::fprintf(stderr, "quillane-player: --watch: changes in %s are not seen: %s\n", path.c_str(),
                         std::strerror(errno));
        return;
    }
    folders_[watch] = relative;
    std::error_code failure;
    for (const auto& entry : std::filesystem::directory_iterator(path, failure)) {
        const std::string name = entry.path().filename().string();
        if (!isEditorFile(name) && entry.is_directory(failure) && !entry.is_symlink(failure))
            addFolder(joined(relative, name));
    }
}

bool QzProjectWatcher::drain() {
    alignas(inotify_event) char buffer[16 * (sizeof(inotify_event) + NAME_MAX + 1)];
    bool any = false;
    for (;;) {
        const ssize_t length = read(fd_, buffer, sizeof buffer);
        if (length <= 0) return any;
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            any = true;
            if (event->mask & IN_Q_OVERFLOW) {
                pending_.insert("game.xml");
                continue;
            }
            const auto folder = folders_.find(event->wd);
            if (folder == folders_.end() || event->len == 0 || isEditorFile(event->name)) continue;
            const std::string relative = joined(folder->second, event->name);
            if (event->mask & IN_ISDIR) {
                addFolder(relative);
                markFilesChanged(relative);
            } else if (event->mask & kFileEvents) {
                pending_.insert(relative);
            }
        }
    }
}

// A folder that appears may bring files written before it was watched.
void QzProjectWatcher::markFilesChanged(const std::string& relative) {
    std::error_code failure;
    for (auto entry = std::filesystem::recursive_directory_iterator(joined(folder_, relative), failure);
         !failure && entry != std::filesystem::recursive_directory_iterator(); entry.increment(failure)) {
        const std::string name = entry->path().filename().string();
        if (isEditorFile(name)) {
            if (entry->is_directory(failure)) entry.disable_recursion_pending();
            continue;
        }
        if (entry->is_regular_file(failure))
            pending_.insert(std::filesystem::relative(entry->path(), folder_, failure).string());
    }
}

QzProjectWatcher::Changes QzProjectWatcher::takePending() {
    Changes changes(pending_.begin(), pending_.end());
    pending_.clear();
    return changes;
}

QzProjectWatcher::Changes QzProjectWatcher::takeChanges() {
    drain();
    return takePending();
}

bool QzProjectWatcher::waitForEvents(std::chrono::milliseconds timeout) {
    pollfd watched{fd_, POLLIN, 0};
    return poll(&watched, 1, static_cast<int>(timeout.count())) > 0 && drain();
}

void QzProjectWatcher::watchInBackground(std::function<void(const Changes&)> onChanges) {
    thread_ = std::thread([this, onChanges = std::move(onChanges)] {
        while (!stopping_) {
            if (!waitForEvents(kStopSlice)) continue;
            while (waitForEvents(kSettle)) {
            }
            if (!pending_.empty()) onChanges(takePending());
        }
    });
}
