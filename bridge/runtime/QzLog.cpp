// The log writer and the assertion-failure handler.
#include "QzLog.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <utility>
#include <vector>

namespace {

std::mutex& logMutex() {
    static std::mutex mutex;
    return mutex;
}

QzLogSink& logSink() {
    static QzLogSink sink;
    return sink;
}

QzAssertionHandler& assertionHandler() {
    static QzAssertionHandler handler;
    return handler;
}

}  // namespace

void QzLog(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    va_list copy;
    va_copy(copy, arguments);
    int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::vector<char> text(length > 0 ? length + 1 : 1, '\0');
    if (length > 0) std::vsnprintf(text.data(), text.size(), format, arguments);
    va_end(arguments);

    QzLogSink sink;
    {
        std::lock_guard lock(logMutex());
        sink = logSink();
    }
    if (sink) {
        sink(text.data());
        return;
    }
    std::lock_guard lock(logMutex());
    std::fprintf(stderr, "%s\n", text.data());
}

QzLogSink QzSetLogSink(QzLogSink sink) {
    std::lock_guard lock(logMutex());
    return std::exchange(logSink(), std::move(sink));
}

QzAssertionHandler QzSetAssertionHandler(QzAssertionHandler handler) {
    std::lock_guard lock(logMutex());
    return std::exchange(assertionHandler(), std::move(handler));
}

void QzHandleAssertionFailure(const char* method, const void* object, const char* file, int line,
                              const std::string& description) {
    QzAssertionHandler handler;
    {
        std::lock_guard lock(logMutex());
        handler = assertionHandler();
    }
    if (handler) {
        handler(method, object, file, line, description);
        return;
    }
    QzLog("*** Assertion failure in %s, %s:%d: %s", method, file, line, description.c_str());
    throw QzException(QzInternalInconsistencyException, description);
}
