// The game thread's loop: posted work first, then the frame timer when it is due.
#include "QzGameThread.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>

#include <SDL2/SDL_thread.h>

#include "QzPlayerEngine.h"

void QzRunLoggingErrors(const char* prefix, const std::function<void()>& f) {
    try {
        f();
    } catch (const LuaErrorException& error) {
        std::fprintf(stderr, "%s: Lua Error caught (and ignored): %s\n", prefix, error.luaError().c_str());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: error caught (and ignored): %s\n", prefix, error.what());
    }
}

QzGameThread::QzGameThread() {
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, kStackBytes);
    const int failure = pthread_create(&thread_, &attributes, &QzGameThread::body, this);
    pthread_attr_destroy(&attributes);
    if (failure != 0) {
        std::fprintf(stderr, "quillane-player: cannot start the game thread: %s\n", std::strerror(failure));
        std::abort();
    }
}

QzGameThread::~QzGameThread() {
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
    }
    wake_.notify_all();
    pthread_join(thread_, nullptr);
}

void* QzGameThread::body(void* self) {
    static_cast<QzGameThread*>(self)->runLoop();
    // SDL keeps per-thread data (its error message, set when a picture fails to load) that
    // it frees by itself only for threads it started.
    SDL_TLSCleanup();
    return nullptr;
}

bool QzGameThread::isCurrent() const { return pthread_equal(pthread_self(), thread_) != 0; }

void QzGameThread::post(Task task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    wake_.notify_all();
}

void QzGameThread::postAndWait(Task task) { postAndWait(std::move(task), std::chrono::milliseconds(0), {}); }

void QzGameThread::postAndWait(Task task, std::chrono::milliseconds patience, const std::function<void()>& whenLate) {
    if (isCurrent()) {
        task();
        return;
    }
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    post([task = std::move(task), done] {
        // The waiter is released however the task ends; its exception still reaches the loop.
        struct Release {
            std::shared_ptr<std::promise<void>> done;
            ~Release() { done->set_value(); }
        } release{done};
        task();
    });
    if (whenLate)
        while (finished.wait_for(patience) == std::future_status::timeout) whenLate();
    finished.wait();
}

void QzGameThread::startTimer(std::chrono::nanoseconds interval, Task tick) {
    std::lock_guard lock(mutex_);
    interval_ = interval;
    tick_ = std::move(tick);
    due_ = Clock::now() + interval;
}

void QzGameThread::stopTimer() {
    std::lock_guard lock(mutex_);
    tick_ = nullptr;
}

bool QzGameThread::runOne(std::unique_lock<std::mutex>& lock) {
    Task work;
    if (!tasks_.empty()) {
        work = std::move(tasks_.front());
        tasks_.pop_front();
    } else if (tick_ && Clock::now() >= due_) {
        work = tick_;
        // Late ticks are not made up for: when a whole interval was missed, the next tick
        // is due one interval from now.
        const auto now = Clock::now();
        due_ += interval_;
        if (due_ < now) due_ = now + interval_;
    } else {
        return false;
    }
    lock.unlock();
    QzRunLoggingErrors("LuaState runLoop", work);
    lock.lock();
    return true;
}

void QzGameThread::runLoop() {
    std::unique_lock lock(mutex_);
    while (!cancelled_) {
        if (runOne(lock)) continue;
        const auto sliceEnd = Clock::now() + kIdleSlice;
        wake_.wait_until(lock, tick_ ? std::min(due_, sliceEnd) : sliceEnd);
    }
}
