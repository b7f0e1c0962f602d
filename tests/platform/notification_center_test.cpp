// Tests of the notification centre: delivery by name, removal, changes made while posting.
#include <gtest/gtest.h>

#include "QzNotificationCenter.h"

TEST(NotificationCenter, DeliversOnlyToObserversOfThatNameInOrder) {
    QzNotificationCenter center;
    std::vector<std::string> seen;
    center.addObserver("A", [&](const std::string&, const QzNotificationUserInfo& info) {
        seen.push_back("first:" + info.at("debugStatement"));
    });
    center.addObserver("B", [&](const std::string&, const QzNotificationUserInfo&) { seen.push_back("B"); });
    center.addObserver("A", [&](const std::string& name, const QzNotificationUserInfo&) {
        seen.push_back("second:" + name);
    });
    center.post("A", {{"debugStatement", "hello"}});
    EXPECT_EQ(seen, (std::vector<std::string>{"first:hello", "second:A"}));
}

TEST(NotificationCenter, RemovedObserverIsNotCalledAndUnknownTokensAreIgnored) {
    QzNotificationCenter center;
    int calls = 0;
    auto token = center.addObserver("A", [&](auto&, auto&) { ++calls; });
    center.removeObserver(token + 100);
    center.post("A");
    center.removeObserver(token);
    center.removeObserver(token);
    center.post("A");
    EXPECT_EQ(calls, 1);
}

TEST(NotificationCenter, ObserverMayRemoveItselfAndPostWhileBeingCalled) {
    QzNotificationCenter center;
    int calls = 0;
    QzNotificationCenter::Token token = 0;
    token = center.addObserver("A", [&](auto&, auto&) {
        ++calls;
        center.removeObserver(token);
        center.post("A");
    });
    center.post("A");
    EXPECT_EQ(calls, 1);
}
