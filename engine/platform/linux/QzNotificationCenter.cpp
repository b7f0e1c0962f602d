// The process-wide notification centre.
#include "QzNotificationCenter.h"

#include <algorithm>

QzNotificationCenter& QzNotificationCenter::defaultCenter() {
    static QzNotificationCenter center;
    return center;
}

QzNotificationCenter::Token QzNotificationCenter::addObserver(std::string name, Observer observer) {
    return addObserver(std::move(name), [observer = std::move(observer)](const std::string& posted,
                                                                          const QzNotificationUserInfo& userInfo,
                                                                          const void*) { observer(posted, userInfo); });
}

QzNotificationCenter::Token QzNotificationCenter::addObserver(std::string name, SenderObserver observer) {
    std::lock_guard lock(mutex_);
    Token token = nextToken_++;
    entries_.push_back({token, std::move(name), std::move(observer)});
    return token;
}

void QzNotificationCenter::removeObserver(Token token) {
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [token](const Entry& entry) { return entry.token == token; });
}

void QzNotificationCenter::post(const std::string& name, const QzNotificationUserInfo& userInfo,
                                const void* sender) {
    // Observers run on a copy taken under the lock, so they may post, add or remove
    // observers without deadlocking or invalidating the walk.
    std::vector<SenderObserver> matching;
    {
        std::lock_guard lock(mutex_);
        for (const Entry& entry : entries_)
            if (entry.name == name) matching.push_back(entry.observer);
    }
    for (const SenderObserver& observer : matching) observer(name, userInfo, sender);
}
