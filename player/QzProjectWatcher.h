// QzProjectWatcher: the files of a game project folder that change while the game plays
// (--watch), seen through inotify, either taken between frames or handed to a callback from a
// thread of its own.
#ifndef QZ_PROJECT_WATCHER_H
#define QZ_PROJECT_WATCHER_H

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

class QzProjectWatcher {
public:
    using Changes = std::vector<std::string>;

    // After a first change, how long the watcher waits for more before it hands them over:
    // an editor's save may write several files, or a file and then rename it.
    static constexpr std::chrono::milliseconds kSettle{60};

    QzProjectWatcher() = default;
    // Stops the thread (if any) and closes the inotify descriptor.
    ~QzProjectWatcher();
    QzProjectWatcher(const QzProjectWatcher&) = delete;
    QzProjectWatcher& operator=(const QzProjectWatcher&) = delete;

    // A watcher of the folder, or null with a warning when it cannot be watched (the game
    // still plays).
    static std::unique_ptr<QzProjectWatcher> startOrWarn(const std::string& folder);

    // Watches the folder and every folder below it (but those whose names start with '.'),
    // also folders made later. False with *error set when inotify cannot be used.
    bool start(const std::string& folder, std::string* error);
    // The files written, or moved into place, since the last call: paths relative to the
    // folder, in name order, each once, without files whose names start with '.' or end with
    // '~' (editors' own). Never blocks. When the kernel dropped events, "game.xml" stands for
    // every file. Not while a thread watches.
    Changes takeChanges();
    // Hands every batch of changes to onChanges, called on a thread of its own, until the
    // watcher is destroyed.
    void watchInBackground(std::function<void(const Changes&)> onChanges);

private:
    void addFolder(const std::string& relative);
    void markFilesChanged(const std::string& relative);
    // Reads the events waiting on the descriptor into pending_; false when there were none.
    bool drain();
    // Waits up to the timeout for events; true when some arrived.
    bool waitForEvents(std::chrono::milliseconds timeout);
    Changes takePending();

    std::string folder_;
    int fd_ = -1;                              // owned
    std::map<int, std::string> folders_;       // watch descriptor: its folder, relative ("" the top)
    std::set<std::string> pending_;            // changed files, relative
    std::thread thread_;
    std::atomic<bool> stopping_{false};
};

#endif
