// Tests of the object runtime: counting, weak references, classes and invocations, values,
// key-value announcements and the main-thread queue.
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "QzClass.h"
#include "QzLog.h"
#include "QzMainQueue.h"
#include "QzValues.h"
#include "QzWeakCollections.h"

namespace {

class Counter final : public QzObject {
public:
    static QzClass* registeredClass() {
        static QzClass* cls = [] {
            QzClass* made = QzClass::registerClass("RuntimeTestCounter", QzClass::rootClass());
            made->addMethod<&Counter::add>("add:");
            made->addMethod<&Counter::setValueForKey>("setValue:forKey:");
            made->addMethod<&Counter::total>("total");
            made->addClassMethod<&Counter::make>("counter");
            return made;
        }();
        return cls;
    }
    QzClass* objectClass() const override { return registeredClass(); }
    int add(int amount) { return total_ += amount; }
    void setValueForKey(QzObject* value, QzString* key) {
        lastKey_ = key ? key->utf8() : "(none)";
        lastValue_ = QzId(value);
    }
    double total() const { return total_; }
    static QzRef<Counter> make() { return QzMake<Counter>(); }

    int total_ = 0;
    std::string lastKey_;
    QzId lastValue_;
};

TEST(Runtime, TypedRegistrationDerivesTheEncodings) {
    QzClass* cls = Counter::registeredClass();
    EXPECT_EQ(cls->instanceMethod("add:")->signature.encoding(), "i@:i");
    EXPECT_EQ(cls->instanceMethod("setValue:forKey:")->signature.encoding(), "v@:@@");
    EXPECT_EQ(cls->classMethod("counter")->signature.encoding(), "@@:");
    EXPECT_EQ(QzClass::named("RuntimeTestCounter"), cls);
    EXPECT_EQ(cls->instanceMethod("counter"), nullptr);
}

TEST(Runtime, InvocationCallsTheMethodWithItsSlots) {
    QzRef<Counter> counter = Counter::make();
    const QzMethodSignature* signature = QzMethodSignatureForSelector(counter.get(), "add:");
    QzInvocation invocation(signature);
    invocation.setSelector("add:");
    invocation.setInteger(2, 5);
    invocation.invokeWithTarget(counter.get());
    invocation.invokeWithTarget(counter.get());
    EXPECT_EQ(invocation.returnInteger(), 10);

    // An argument of the wrong class arrives as null.
    QzInvocation set(QzMethodSignatureForSelector(counter.get(), "setValue:forKey:"));
    set.setSelector("setValue:forKey:");
    set.setObject(2, QzNumber::withFloat(1).get());
    set.setObject(3, QzNumber::withFloat(2).get());
    set.invokeWithTarget(counter.get());
    EXPECT_EQ(counter->lastKey_, "(none)");
}

TEST(Runtime, MisuseIsRefusedThroughTheAssertionHandler) {
    QzClass* cls = Counter::registeredClass();
    EXPECT_THROW(cls->addMethod("two:colons:", "v@:@", [](QzObject*, QzInvocation&) {}), QzException);
    EXPECT_THROW(QzMethodSignature("@"), QzException);
    QzRef<Counter> counter = Counter::make();
    QzInvocation invocation(QzMethodSignatureForSelector(counter.get(), "add:"));
    invocation.setSelector("unknown:");
    EXPECT_THROW(invocation.invokeWithTarget(counter.get()), QzException);
    EXPECT_THROW(invocation.setInteger(3, 1), QzException);
    // The shared empty result array stays empty even under a handler that returns.
    QzAssertionHandler previous = QzSetAssertionHandler([](auto&&...) {});
    QzArray::empty()->addObject(counter.get());
    QzSetAssertionHandler(previous);
    EXPECT_EQ(QzArray::empty()->count(), 0u);
}

TEST(Runtime, WeakReferencesAndCollectionsForgetDestroyedObjects) {
    QzWeakMap<Counter> map;
    QzWeakSet<Counter> set;
    QzWeak<Counter> weak;
    {
        QzRef<Counter> counter = Counter::make();
        weak = QzWeak<Counter>(counter.get());
        map.setObject(counter.get(), 7);
        set.addObject(counter.get());
        set.addObject(counter.get());
        EXPECT_EQ(map.objectForKey(7), counter);
        EXPECT_EQ(set.count(), 1u);
    }
    EXPECT_EQ(weak.load(), nullptr);
    EXPECT_EQ(map.objectForKey(7), nullptr);
    EXPECT_EQ(set.count(), 0u);
}

TEST(Runtime, WeakLoadRacingTheLastReleaseNeverResurrects) {
    for (int round = 0; round < 200; ++round) {
        QzRef<Counter> counter = Counter::make();
        QzWeak<Counter> weak(counter.get());
        std::thread loader([&] {
            for (int i = 0; i < 50; ++i)
                if (QzRef<Counter> live = weak.load()) live->add(1);
        });
        counter = nullptr;
        loader.join();
        EXPECT_EQ(weak.load(), nullptr);
    }
}

TEST(Runtime, ValuesCompareByContent) {
    QzRef<QzDictionary> dictionary = QzDictionary::dictionary();
    dictionary->setObject(QzNumber::withInteger(3).get(), QzString::withUTF8("three").get());
    dictionary->setObject(nullptr, QzNumber::withFloat(1).get());
    EXPECT_EQ(QzCast<QzNumber>(dictionary->objectForKey("three"))->integerValue(), 3);
    EXPECT_TRUE(QzIsNull(dictionary->objectForKey(QzNumber::withInteger(1).get())));
    EXPECT_EQ(QzNumber::withFloat(1e30f)->integerValue(), INT64_MAX);
    QzRef<QzArray> array = QzArray::of({QzString::withUTF8("a"), nullptr});
    EXPECT_TRUE(QzIsNull(array->objectAtIndex(1)));
    EXPECT_EQ(array->objectAtIndex(2), nullptr);
}

TEST(Runtime, KeyValueObserversSeeWillAndDidChange) {
    QzRef<Counter> counter = Counter::make();
    std::string seen;
    auto token = counter->addKeyValueObserver([&](QzObject*, const std::string& key, QzChangePhase phase) {
        seen += (phase == QzChangePhase::willChange ? "will:" : "did:") + key + " ";
    });
    counter->willChangeValueForKey("total");
    counter->didChangeValueForKey("total");
    counter->removeKeyValueObserver(token);
    counter->didChangeValueForKey("total");
    EXPECT_EQ(seen, "will:total did:total ");
}

TEST(Runtime, KeyValueObserversSurviveRemovalAndTheirObjectsEnd) {
    // An observer removed while an announcement runs is skipped: its owner may be gone.
    auto counter = std::make_unique<QzRef<Counter>>(Counter::make());
    std::string seen;
    QzObject::ObserverToken second;
    auto first = (*counter)->addKeyValueObserver([&](QzObject*, const std::string&, QzChangePhase) {
        seen += "first ";
        second.remove();
    });
    second = (*counter)->addKeyValueObserver([&](QzObject*, const std::string&, QzChangePhase) { seen += "second "; });
    (*counter)->didChangeValueForKey("total");
    EXPECT_EQ(seen, "first ");
    // An observer dropping the last reference: the object lives until the announcement ends.
    (*counter)->addKeyValueObserver([&](QzObject* object, const std::string&, QzChangePhase) {
        counter.reset();
        seen += std::to_string(static_cast<Counter*>(object)->total_);
    });
    (*counter)->didChangeValueForKey("total");
    EXPECT_EQ(seen, "first first 0");
    // Removing after the object is gone does nothing.
    first.remove();
    second.remove();
}

TEST(Runtime, AFailingObserverIsLoggedAndTheOthersStillRun) {
    QzRef<Counter> counter = Counter::make();
    int ran = 0;
    counter->addKeyValueObserver([](QzObject*, const std::string&, QzChangePhase) { throw std::runtime_error("no"); });
    counter->addKeyValueObserver([&](QzObject*, const std::string&, QzChangePhase) { ++ran; });
    counter->didChangeValueForKey("total");
    EXPECT_EQ(ran, 1);
}

TEST(Runtime, MainQueueRunsPostedWorkInOrderAndSurvivesAFailingItem) {
    QzMainQueueBecomeMainThread();
    std::string order;
    std::thread poster([&] {
        QzPerformOnMainThread([&] { order += "a"; });
        QzPerformOnMainThread([] { throw std::runtime_error("failed item"); });
        QzPerformOnMainThread([] { throw 42; });
        QzPerformOnMainThread([&] { order += "b"; });
    });
    poster.join();
    EXPECT_EQ(order, "");
    EXPECT_EQ(QzMainQueueRunPending(), 4u);
    EXPECT_EQ(order, "ab");
}

}  // namespace
