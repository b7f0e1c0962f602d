// Captures the runtime's log lines for the life of a test.
#ifndef QZ_TEST_LOG_CAPTURE_H
#define QZ_TEST_LOG_CAPTURE_H

#include <mutex>
#include <string>
#include <vector>

#include "QzLog.h"

class LogCapture {
public:
    LogCapture() {
        previous_ = QzSetLogSink([this](const std::string& line) {
            std::lock_guard lock(mutex_);
            lines_.push_back(line);
        });
    }
    ~LogCapture() { QzSetLogSink(previous_); }

    bool contains(const std::string& text) const {
        std::lock_guard lock(mutex_);
        for (const std::string& line : lines_)
            if (line.find(text) != std::string::npos) return true;
        return false;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    QzLogSink previous_;
};

#endif
