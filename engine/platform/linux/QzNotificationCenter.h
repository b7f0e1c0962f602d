// A process-wide notification centre: post a named notification, observe notifications by name.
#ifndef QZ_NOTIFICATION_CENTER_H
#define QZ_NOTIFICATION_CENTER_H

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

// The user-info dictionary of a notification: text values under text keys
// ("debugStatement" for QzLogDebugStatementNotification).
using QzNotificationUserInfo = std::map<std::string, std::string>;

// A notification may name its sender (any object, compared by address; null when none).
// Observers are called synchronously, on the posting thread, in the order they were added.
// An observer may add or remove observers (itself included) while it runs; such changes
// take effect from the next post.
class QzNotificationCenter {
public:
    using Observer = std::function<void(const std::string& name, const QzNotificationUserInfo& userInfo)>;
    using SenderObserver = std::function<void(const std::string& name, const QzNotificationUserInfo& userInfo,
                                              const void* sender)>;
    using Token = unsigned long;

    // The centre every part of the player shares. Lives until the process exits.
    static QzNotificationCenter& defaultCenter();

    // Observes notifications named `name`; the returned token removes the observer again.
    Token addObserver(std::string name, Observer observer);
    // The same for an observer that also wants the sender.
    Token addObserver(std::string name, SenderObserver observer);
    // Removing an unknown or already removed token does nothing.
    void removeObserver(Token token);
    void post(const std::string& name, const QzNotificationUserInfo& userInfo = {}, const void* sender = nullptr);

private:
    struct Entry {
        Token token;
        std::string name;
        SenderObserver observer;
    };
    std::mutex mutex_;
    std::vector<Entry> entries_;
    Token nextToken_ = 1;
};

#endif
