// The game thread: a thread with a large stack that runs posted work in order and a
// repeating frame timer, idling in slices of 0.1 s.
#ifndef QZ_GAME_THREAD_H
#define QZ_GAME_THREAD_H

#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

class QzGameThread {
public:
    using Task = std::function<void()>;
    using Clock = std::chrono::steady_clock;

    // The scene graph nests reads up to 10,000 levels deep: far more than a default
    // thread stack of the sanitizer builds holds.
    static constexpr size_t kStackBytes = 8u << 20;
    static constexpr std::chrono::milliseconds kIdleSlice{100};

    // Starts the thread. Aborts with a message when the thread cannot be created.
    QzGameThread();
    // Cancels the loop and joins the thread; work still queued is dropped.
    ~QzGameThread();
    QzGameThread(const QzGameThread&) = delete;
    QzGameThread& operator=(const QzGameThread&) = delete;

    // Runs task on the game thread after the work posted before it. Exceptions escaping a
    // task are logged and the loop goes on.
    void post(Task task);
    // As post, then waits until the task has run. On the game thread itself, runs it at once.
    void postAndWait(Task task);
    // As postAndWait, but calls whenLate (on the calling thread) each time patience passes
    // without the task finishing.
    void postAndWait(Task task, std::chrono::milliseconds patience, const std::function<void()>& whenLate);
    // Schedules tick every interval from now, replacing any timer. Game thread only.
    void startTimer(std::chrono::nanoseconds interval, Task tick);
    void stopTimer();
    bool isCurrent() const;

private:
    static void* body(void* self);
    void runLoop();
    // Runs one task or one due tick; false when there was nothing to do.
    bool runOne(std::unique_lock<std::mutex>& lock);

    pthread_t thread_{};
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task> tasks_;
    bool cancelled_ = false;
    Task tick_;  // empty while no timer runs
    std::chrono::nanoseconds interval_{};
    Clock::time_point due_;
};

// Runs f and logs a script error or any other exception escaping it with the given prefix,
// as "<prefix>: Lua Error caught (and ignored): <message>" for script errors.
void QzRunLoggingErrors(const char* prefix, const std::function<void()>& f);

#endif
