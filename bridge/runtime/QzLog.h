// The runtime's log writer, its exception class and its assertion-failure handler.
#ifndef QZ_LOG_H
#define QZ_LOG_H

#include <functional>
#include <stdexcept>
#include <string>

// Writes one line, formatted as printf does, to the log (standard error unless a sink is set).
void QzLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Sends log lines to a sink instead of standard error (tests read them); returns the previous
// sink. An empty sink restores standard error.
using QzLogSink = std::function<void(const std::string& line)>;
QzLogSink QzSetLogSink(QzLogSink sink);

// The runtime's exception: a name saying what kind of failure and a reason a person can read.
class QzException : public std::runtime_error {
public:
    QzException(std::string name, const std::string& reason)
        : std::runtime_error(reason), name_(std::move(name)) {}
    const std::string& name() const { return name_; }
    std::string reason() const { return what(); }

private:
    std::string name_;
};

// Name of the exception the default assertion handler throws.
inline constexpr const char* QzInternalInconsistencyException = "QzInternalInconsistencyException";

// Called when a programming error is found (an assertion failed). The default handler logs
// the failure and throws a QzException named QzInternalInconsistencyException, so that the
// caller's operation stops without touching broken state.
using QzAssertionHandler = std::function<void(const char* method, const void* object, const char* file,
                                              int line, const std::string& description)>;
QzAssertionHandler QzSetAssertionHandler(QzAssertionHandler handler);
void QzHandleAssertionFailure(const char* method, const void* object, const char* file, int line,
                              const std::string& description);

// Checks a condition; on failure hands the description to the assertion handler with the
// source file's name and the line.
#define QZ_ASSERT(condition, object, description)                                                \
    do {                                                                                         \
        if (!(condition))                                                                        \
            QzHandleAssertionFailure(__func__, (object), __FILE_NAME__, __LINE__, (description)); \
    } while (0)

#endif
