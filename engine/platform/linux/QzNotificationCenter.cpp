// The process-wide notification centre.
#include "QzNotificationCenter.h"

#include <algorithm>

QzNotificationCenter& QzNotificationCenter::defaultCenter() {
    static QzNotificationCenter center;
    return center;
}

QzNotificationCenter::Token QzNotificationCenter::addObserver(std::string name, Observer observer) {
    std::lock_guard lock(mutex_);
    Token token = nextToken_++;
    entries_.push_back({token, std::move(name), std::move(observer)});
    return token;
}

void QzNotificationCenter::removeObserver(Token token) {
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [token](const Entry& entry) { return entry.token == token; });
}

void QzNotificationCenter::post(const std::string& name, const QzNotificationUserInfo& userInfo) {
    // Observers run on a copy taken under the lock, so they may post, add or remove
    // observers without deadlocking or invalidating the walk.
    std::vector<Observer> matching;
    {
        std::lock_guard lock(mutex_);
        for (const Entry& entry : entries_)
            if (entry.name == name) matching.push_back(entry.observer);
    }
    for (const Observer& observer : matching) observer(name, userInfo);
}
