// The main-thread queue.
#include "QzMainQueue.h"

#include <deque>
#include <mutex>
#include <thread>

#include "QzLog.h"

namespace {

struct MainQueue {
    std::mutex mutex;
    std::deque<std::function<void()>> pending;
    std::thread::id mainThread;
    bool mainThreadKnown = false;
};

MainQueue& mainQueue() {
    static MainQueue* queue = new MainQueue;  // work may be posted while the process exits
    return *queue;
}

}  // namespace

void QzMainQueueBecomeMainThread() {
    MainQueue& queue = mainQueue();
    std::lock_guard lock(queue.mutex);
    queue.mainThread = std::this_thread::get_id();
    queue.mainThreadKnown = true;
}

bool QzIsMainThread() {
    MainQueue& queue = mainQueue();
    std::lock_guard lock(queue.mutex);
    if (!queue.mainThreadKnown) {
        queue.mainThread = std::this_thread::get_id();
        queue.mainThreadKnown = true;
    }
    return queue.mainThread == std::this_thread::get_id();
}

void QzPerformOnMainThread(std::function<void()> work) {
    MainQueue& queue = mainQueue();
    std::lock_guard lock(queue.mutex);
    queue.pending.push_back(std::move(work));
}

size_t QzMainQueueRunPending() {
    QZ_ASSERT(QzIsMainThread(), nullptr, "the main-thread queue was run on another thread");
    std::deque<std::function<void()>> batch;
    {
        MainQueue& queue = mainQueue();
        std::lock_guard lock(queue.mutex);
        batch.swap(queue.pending);
    }
    // One failing item must not cost the others their turn, whatever it throws.
    for (auto& work : batch) {
        try {
            work();
        } catch (const std::exception& failure) {
            QzLog("Main-thread work failed and was skipped: %s", failure.what());
        } catch (...) {
            QzLog("Main-thread work failed with an unknown exception and was skipped");
        }
    }
    return batch.size();
}
