// The class registry and method lookup.
#include "QzClass.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "QzLog.h"

namespace {

struct ClassRegistry {
    std::mutex mutex;
    std::map<std::string, QzClass*, std::less<>> classes;  // retained for good
};

ClassRegistry& registry() {
    static ClassRegistry* instance = new ClassRegistry;  // never destroyed: classes are immortal
    return *instance;
}

}  // namespace

QzClass::QzClass(std::string name, QzClass* superclass) : name_(std::move(name)), superclass_(superclass) {}

QzClass* QzClass::named(std::string_view name) {
    ClassRegistry& classes = registry();
    std::lock_guard lock(classes.mutex);
    auto found = classes.classes.find(name);
    return found == classes.classes.end() ? nullptr : found->second;
}

QzClass* QzClass::registerClass(const std::string& name, QzClass* superclass) {
    ClassRegistry& classes = registry();
    std::lock_guard lock(classes.mutex);
    auto found = classes.classes.find(name);
    if (found != classes.classes.end()) return found->second;
    // The registry keeps the one reference the class starts with, so it is never freed.
    auto* made = new QzClass(name, superclass);
    classes.classes.emplace(name, made);
    return made;
}

QzClass* QzClass::rootClass() {
    static QzClass* root = registerClass("QzObject", nullptr);
    return root;
}

bool QzClass::isSubclassOfClass(const QzClass* other) const {
    for (const QzClass* cls = this; cls; cls = cls->superclass_)
        if (cls == other) return true;
    return false;
}

void QzClass::addMethod(const std::string& selector, std::string_view encoding, QzMethodImplementation body) {
    add(instanceMethods_, selector, encoding, std::move(body));
}

void QzClass::addClassMethod(const std::string& selector, std::string_view encoding, QzMethodImplementation body) {
    add(classMethods_, selector, encoding, std::move(body));
}

void QzClass::add(MethodTable& table, const std::string& selector, std::string_view encoding,
                  QzMethodImplementation body, QzScriptThunk thunk) {
    auto method = std::make_unique<QzMethod>(QzMethod{selector, QzMethodSignature(encoding), std::move(body), thunk});
    size_t colons = std::count(selector.begin(), selector.end(), ':');
    QZ_ASSERT(!selector.empty() && colons + 2 == method->signature.numberOfArguments(), this,
              "selector '" + selector + "' does not fit its type encoding '" + std::string(encoding) + "'");
    std::unique_lock lock(mutex_);
    table[selector] = method.get();
    methods_.push_back(std::move(method));
    generation_.fetch_add(1, std::memory_order_acq_rel);
}

const QzMethod* QzClass::find(const MethodTable QzClass::*table, std::string_view selector) const {
    for (const QzClass* cls = this; cls; cls = cls->superclass_) {
        std::shared_lock lock(cls->mutex_);
        const MethodTable& methods = cls->*table;
        auto found = methods.find(selector);
        if (found != methods.end()) return found->second;
    }
    return nullptr;
}

const QzMethod* QzClass::instanceMethod(std::string_view selector) const {
    return find(&QzClass::instanceMethods_, selector);
}

const QzMethod* QzClass::classMethod(std::string_view selector) const {
    return find(&QzClass::classMethods_, selector);
}

const QzMethod* QzMethodForSelector(const QzObject* object, std::string_view selector) {
    if (!object) return nullptr;
    if (object->isClassObject()) return static_cast<const QzClass*>(object)->classMethod(selector);
    return object->objectClass()->instanceMethod(selector);
}

const QzMethodSignature* QzMethodSignatureForSelector(const QzObject* object, std::string_view selector) {
    const QzMethod* method = QzMethodForSelector(object, selector);
    return method ? &method->signature : nullptr;
}

bool QzRespondsToSelector(const QzObject* object, std::string_view selector) {
    return QzMethodForSelector(object, selector) != nullptr;
}
