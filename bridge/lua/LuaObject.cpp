// The table proxy and the script collection array.
#include "LuaObject.h"

#include <algorithm>
#include <set>

#include <lua.h>

#include "LuaBinder.h"
#include "LuaState.h"
#include "QzClass.h"
#include "QzLog.h"
#include "QzMainQueue.h"
#include "QzNotificationCenter.h"
#include "QzSaturate.h"

namespace {

std::string keyText(const QzObject* key) {
    if (!key) return {};
    if (auto* string = dynamic_cast<const QzString*>(key)) return string->utf8();
    return key->description();
}

// The null singleton read from a table means "no value" to the host.
QzId withoutNull(QzId value) {
    return QzIsNull(value.get()) ? nullptr : value;
}

// The value under the number key of the table at `table`, converted; null when it is nil.
QzId valueUnderNumber(LuaState& state, lua_State* L, int table, lua_Number key) {
    lua_pushnumber(L, key);
    lua_gettable(L, table);
    QzId element = withoutNull(state.getStackItem(-1));
    lua_pop(L, 1);
    return element;
}

// Script numbers are 32-bit floats: past 2^24 neighbouring integers read as the same key.
constexpr int kLargestExactIndex = 1 << 24;

void checkExactIndex(int64_t index) {
    if (index > kLargestExactIndex || index < -kLargestExactIndex)
        throw QzException(QzInternalInconsistencyException,
                          "script table index " + std::to_string(index) + " is beyond " +
                              std::to_string(kLargestExactIndex) + ", where script numbers no longer tell indexes apart");
}

QzId elementAt(LuaState& state, lua_State* L, int table, int index) {
    checkExactIndex(index);
    return valueUnderNumber(state, L, table, static_cast<lua_Number>(index));
}

}  // namespace

LuaObject::LuaObject(LuaState* luaState, int reference) : luaState_(luaState), ref_(reference) {}

LuaObject::~LuaObject() {
    if (ref_ == -1) return;
    if (QzRef<LuaState> state = luaState_.load()) freeReference(ref_, state.get());
}

template <class Result, class Body>
Result LuaObject::withTable(Result empty, Body body) {
    QzRef<LuaState> state = luaState_.load();
    if (!state || ref_ == -1) return empty;
    LuaStateLock lock(state.get());
    lua_State* L = state->state();
    if (!L) return empty;
    state->binder()->dereference(ref_);
    return body(*state, L, lua_gettop(L));
}

bool LuaObject::belongsTo(const LuaState* state) const {
    return state && luaState_.load().get() == state;
}

QzId LuaObject::valueAtIndex(int index) {
    return withTable(QzId(), [&](LuaState& state, lua_State* L, int table) { return elementAt(state, L, table, index); });
}

void LuaObject::setValueAtIndex(QzObject* value, int index) {
    QzRef<LuaState> state = luaState_.load();
    bool written = withTable(false, [&](LuaState& state, lua_State*, int) {
        state.setMemberAtIndex(value, index);
        return true;
    });
    if (written) QzNotificationCenter::defaultCenter().post(LuaObjectSetValueNotification, {}, state.get());
}

QzId LuaObject::valueForKey(const std::string& key) {
    return withTable(QzId(), [&](LuaState& state, lua_State* L, int table) -> QzId {
        if (state.hasMethod("valueForKey")) {
            QzRef<QzArray> arguments = QzArray::of({QzId(this), QzString::withUTF8(key)});
            return withoutNull(QzId(state.callMethodWithArgs("valueForKey", arguments.get())->firstObject()));
        }
        lua_getfield(L, table, key.c_str());
        return withoutNull(state.getStackItem(-1));
    });
}

void LuaObject::writeValue(QzObject* value, const std::string& key) {
    withTable(0, [&](LuaState& state, lua_State* L, int table) {
        // Recorded under the lock, so that only a script report of this very key, made while
        // the write runs, is taken for the write's own.
        WritingKey writing(*this, key);
        if (state.hasMethod("setValueForKey")) {
            QzRef<QzArray> arguments = QzArray::of({QzId(this), QzId(value), QzString::withUTF8(key)});
            state.callMethodWithArgs("setValueForKey", arguments.get());
        } else {
            state.pushArgument(value);
            lua_setfield(L, table, key.c_str());
        }
        return 0;
    });
}

void LuaObject::setValueForKey(QzObject* value, const std::string& key) {
    QzRef<LuaObject> alive(this);  // an observer may drop the last reference to this proxy
    willChangeValueForKey(key);
    try {
        writeValue(value ? value : QzNull::null(), key);
    } catch (...) {
        didChangeValueForKey(key);
        throw;
    }
    didChangeValueForKey(key);
    QzRef<LuaState> state = luaState_.load();
    QzNotificationCenter::defaultCenter().post(LuaObjectSetValueNotification, {}, state.get());
}

bool LuaObject::isWritingValue(const std::string& key) const {
    std::lock_guard lock(writingMutex_);
    return writingKey_ && *writingKey_ == key;
}

LuaObject::WritingKey::WritingKey(LuaObject& proxy, const std::string& key) : proxy_(proxy) {
    std::lock_guard lock(proxy_.writingMutex_);
    proxy_.writingKey_ = key;
}

LuaObject::WritingKey::~WritingKey() {
    std::lock_guard lock(proxy_.writingMutex_);
    proxy_.writingKey_.reset();
}

QzId LuaObject::invokeMethod(const std::string& name, const QzArray* arguments) {
    return withTable(QzId(), [&](LuaState& state, lua_State*, int) -> QzId {
        if (!state.hasMethod(name)) return nullptr;
        QzRef<QzArray> withSelf = QzArray::of({QzId(this)});
        if (arguments)
            for (const QzId& argument : *arguments) withSelf->addObject(argument.get());
        return withoutNull(QzId(state.callMethodWithArgs(name, withSelf.get())->firstObject()));
    });
}

QzRef<QzArray> LuaObject::toArray() {
    QzRef<QzArray> elements = QzArray::array();
    withTable(0, [&](LuaState& state, lua_State* L, int table) {
        // elementAt refuses an index past the exact range, which ends an endless table.
        for (int index = 1;; ++index) {
            QzId element = elementAt(state, L, table, index);
            if (!element) break;
            elements->addObject(element.get());
        }
        return 0;
    });
    return elements;
}

QzRef<QzDictionary> LuaObject::toDictionary() {
    QzRef<QzDictionary> dictionary = QzDictionary::dictionary();
    // table.keys(t) takes the table alone; calling it as a method of the table library
    // would list the library's own keys.
    QzId keys = withTable(QzId(), [&](LuaState& state, lua_State* L, int) {
        lua_getglobal(L, "table");
        QzRef<QzArray> arguments = QzArray::of({QzId(this)});
        return QzId(state.callMethodWithArgs("keys", arguments.get())->firstObject());
    });
    auto* keyList = QzCast<LuaObject>(keys.get());
    if (!keyList) return dictionary;
    QzRef<QzArray> keyArray = keyList->toArray();
    for (const QzId& key : *keyArray) {
        QzId value;
        if (auto* number = QzCast<QzNumber>(key.get()))
            value = withTable(QzId(), [&](LuaState& state, lua_State* L, int table) {
                return valueUnderNumber(state, L, table, number->floatValue());
            });
        else if (auto* string = QzCast<QzString>(key.get()))
            value = valueForKey(string->utf8());
        dictionary->setObject(value ? value.get() : QzNull::null(), key.get());
    }
    return dictionary;
}

QzId LuaObject::luaClassname() {
    return valueForKey("__classname");
}

bool LuaObject::isInstanceOfLuaClass(const std::string& name) {
    QzRef<LuaState> state = luaState_.load();
    if (!state) return false;
    QzRef<LuaObject> global = state->globalObject();
    QzId cls = global ? global->valueForKey(name) : nullptr;
    QzRef<QzArray> arguments = QzArray::of({QzId(this), cls});
    QzId answer = state->callSimpleFunction("instanceOfClassType", arguments.get());
    return answer && !QzIsNull(answer.get());
}

void LuaObject::addObserver(QzObject* observer) {
    observers_.addObject(observer);
}

void LuaObject::removeObserver(QzObject* observer) {
    observers_.removeObject(observer);
}

void LuaObject::observeCollectionChange() {
    for (const QzId& observer : observers_.allObjects()) {
        const QzMethodSignature* signature = QzMethodSignatureForSelector(observer.get(), "luaCollectionDidChange:");
        if (!signature || signature->numberOfArguments() != 3 || !QzTypeMatches(signature->argumentType(2), "@"))
            continue;
        QzInvocation invocation(signature);
        invocation.setSelector("luaCollectionDidChange:");
        invocation.setObject(2, this);
        invocation.invokeWithTarget(observer.get());
    }
}

void LuaObject::valueDidChangeForKey(const std::string& key) {
    if (!isWritingValue(key)) {
        willChangeValueForKey(key);
        didChangeValueForKey(key);
    }
    if (sendNotifications_)
        QzNotificationCenter::defaultCenter().post(LuaValueDidChangeNotification, {{"key", key}}, this);
}

void LuaObject::deactivate() {
    if (ref_ == -1) return;
    if (QzRef<LuaState> state = luaState_.load()) {
        QzRef<QzArray> referenceAndState = QzArray::of({QzNumber::withInteger(ref_), state});
        QzPerformOnMainThread([referenceAndState] { dereference(referenceAndState.get()); });
    }
    ref_ = -1;
}

QzRef<LuaObject> LuaObject::copy() {
    QzLog("LuaObject trying to copy with zone - this shouldn't happen");
    return QzRef<LuaObject>(this);
}

void LuaObject::freeReference(int reference, LuaState* state) {
    if (!state || reference < 0) return;
    try {
        state->withLockHeld([&] {
            if (state->state() && state->binder()) state->binder()->freeReference(reference);
        });
    } catch (const std::exception& failure) {
        QzLog("LuaObject could not free its reference %d: %s", reference, failure.what());
    }
}

void LuaObject::dereference(QzArray* referenceAndState) {
    auto* reference = referenceAndState ? QzCast<QzNumber>(referenceAndState->objectAtIndex(0)) : nullptr;
    auto* state = referenceAndState ? QzCast<LuaState>(referenceAndState->objectAtIndex(1)) : nullptr;
    if (reference && state) freeReference(static_cast<int>(reference->integerValue()), state);
}

LuaObject* LuaObject::initWithLuaState(LuaState* state, int reference) {
    bool adopted = false;
    if (state && ref_ == -1 && !luaState_.load()) {
        state->withLockHeld([&] {
            adopted = state->state() && state->binder() && state->binder()->adoptReference(this, reference);
        });
    }
    if (adopted) {
        luaState_ = QzWeak<LuaState>(state);
        ref_ = reference;
    } else {
        QzLog("LuaObject initWithLuaState:reference: %d is not a reference of that state without a proxy", reference);
    }
    return this;
}

QzClass* LuaObject::registeredClass() {
    static QzClass* cls = [] {
        QzClass* made = QzClass::registerClass("LuaObject", QzClass::rootClass());
        made->addClassMethod<&LuaObject::alloc>("alloc");
        made->addClassMethod<&LuaObject::alloc>("new");
        made->addClassMethod<&LuaObject::freeReference>("freeReference:state:");
        made->addClassMethod<&LuaObject::dereference>("dereference:");
        made->addMethod<&LuaObject::initWithLuaState>("initWithLuaState:reference:");
        made->addMethod("valueForKey:", "@@:@", [](QzObject* self, QzInvocation& call) {
            call.setReturnObject(static_cast<LuaObject*>(self)->valueForKey(keyText(call.objectArgument(2))).get());
        });
        made->addMethod("setValue:forKey:", "v@:@@", [](QzObject* self, QzInvocation& call) {
            static_cast<LuaObject*>(self)->setValueForKey(call.objectArgument(2), keyText(call.objectArgument(3)));
        });
        made->addMethod("invokeMethod:", "@@:@", [](QzObject* self, QzInvocation& call) {
            call.setReturnObject(static_cast<LuaObject*>(self)->invokeMethod(keyText(call.objectArgument(2))).get());
        });
        made->addMethod("invokeMethod:args:", "@@:@@", [](QzObject* self, QzInvocation& call) {
            auto* arguments = QzCast<QzArray>(call.objectArgument(3));
            call.setReturnObject(
                static_cast<LuaObject*>(self)->invokeMethod(keyText(call.objectArgument(2)), arguments).get());
        });
        made->addMethod("isInstanceOfLuaClass:", "c@:@", [](QzObject* self, QzInvocation& call) {
            call.setReturnInteger(static_cast<LuaObject*>(self)->isInstanceOfLuaClass(keyText(call.objectArgument(2))));
        });
        made->addMethod("valueDidChangeForKey:", "v@:@", [](QzObject* self, QzInvocation& call) {
            static_cast<LuaObject*>(self)->valueDidChangeForKey(keyText(call.objectArgument(2)));
        });
        // The argument (the collection that changed) is the proxy itself; it is not needed.
        made->addMethod("observeCollectionChange:", "v@:@", [](QzObject* self, QzInvocation&) {
            static_cast<LuaObject*>(self)->observeCollectionChange();
        });
        made->addMethod<&LuaObject::valueAtIndex>("valueAtIndex:");
        made->addMethod<&LuaObject::setValueAtIndex>("setValue:atIndex:");
        made->addMethod<&LuaObject::toArray>("toArray");
        made->addMethod<&LuaObject::toDictionary>("toDictionary");
        made->addMethod<&LuaObject::luaClassname>("luaClassname");
        made->addMethod<&LuaObject::addObserver>("addObserver:");
        made->addMethod<&LuaObject::removeObserver>("removeObserver:");
        made->addMethod<&LuaObject::setSendNotifications>("setSendNotifications:");
        made->addMethod<&LuaObject::deactivate>("deactivate");
        made->addMethod<&LuaObject::ref>("ref");
        made->addMethod<&LuaObject::luaState>("luaState");
        return made;
    }();
    return cls;
}

LuaArray::LuaArray(LuaObject* object) : object_(object) {}

LuaArray* LuaArray::initWithLuaObject(LuaObject* object) {
    if (object_)
        QzLog("LuaArray initWithLuaObject: the array already presents a collection");
    else
        object_ = QzRef<LuaObject>(object);
    return this;
}

QzClass* LuaArray::registeredClass() {
    static QzClass* cls = [] {
        QzClass* made = QzClass::registerClass("LuaArray", QzClass::rootClass());
        made->addClassMethod<&LuaArray::alloc>("alloc");
        made->addClassMethod<&LuaArray::alloc>("new");
        made->addMethod<&LuaArray::initWithLuaObject>("initWithLuaObject:");
        made->addMethod<&LuaArray::count>("count");
        made->addMethod<&LuaArray::objectAtIndex>("objectAtIndex:");
        made->addMethod<&LuaArray::indexOfObject>("indexOfObject:");
        made->addMethod<&LuaArray::addObject>("addObject:");
        made->addMethod<&LuaArray::removeLastObject>("removeLastObject");
        made->addMethod<&LuaArray::insertObjectAtIndex>("insertObject:atIndex:");
        made->addMethod<&LuaArray::removeObjectAtIndex>("removeObjectAtIndex:");
        made->addMethod<&LuaArray::replaceObjectAtIndex>("replaceObjectAtIndex:withObject:");
        made->addMethod<&LuaArray::setArray>("setArray:");
        made->addMethod<&LuaArray::moveObjectAtIndex>("moveObjectAtIndex:toIndex:");
        // The index set arrives as an array of numbers.
        made->addMethod("moveObjectsAtIndexes:toIndex:", "v@:@Q", [](QzObject* self, QzInvocation& call) {
            std::set<uint64_t> indexes;
            if (auto* numbers = QzCast<QzArray>(call.objectArgument(2)))
                for (const QzId& number : *numbers)
                    if (auto* index = QzCast<QzNumber>(number.get()))
                        indexes.insert(QzSaturatingCast<uint64_t>(index->doubleValue()));
            static_cast<LuaArray*>(self)->moveObjectsAtIndexes(indexes, static_cast<uint64_t>(call.integerArgument(3)));
        });
        made->addMethod<&LuaArray::children>("children");
        made->addMethod<&LuaArray::object>("object");
        return made;
    }();
    return cls;
}

uint64_t LuaArray::count() {
    QzRef<QzNumber> number = object_ ? QzCast<QzNumber>(object_->invokeMethod("count")) : nullptr;
    return number ? QzSaturatingCast<uint64_t>(number->doubleValue()) : 0;
}

QzId LuaArray::objectAtIndex(uint64_t index) {
    return object_ ? object_->valueAtIndex(static_cast<int>(std::min<uint64_t>(index, INT32_MAX - 1)) + 1) : nullptr;
}

int64_t LuaArray::indexOfObject(QzObject* object) {
    if (!object_) return NotFound;
    QzRef<QzArray> arguments = QzArray::of({QzId(object)});
    QzRef<QzNumber> position = QzCast<QzNumber>(object_->invokeMethod("indexOfObject", arguments.get()));
    int64_t scriptPosition = position ? position->integerValue() : 0;
    return scriptPosition > 0 ? scriptPosition - 1 : NotFound;
}

void LuaArray::addObjectAtScriptIndex(QzObject* object, uint64_t scriptPosition, QzObject* key) {
    if (!object_) return;
    QzRef<QzArray> arguments = QzArray::of({QzId(object), QzNumber::withInteger(static_cast<int64_t>(scriptPosition))});
    if (key) arguments->addObject(key);
    object_->invokeMethod("addObjectAtIndex", arguments.get());
}

void LuaArray::insertObjectAtIndex(QzObject* object, uint64_t index) {
    addObjectAtScriptIndex(object, index + 1, nullptr);
}

void LuaArray::addObject(QzObject* object) {
    insertObjectAtIndex(object, count());
}

void LuaArray::removeObjectAtIndex(uint64_t index) {
    if (!object_) return;
    QzRef<QzArray> arguments = QzArray::of({QzNumber::withInteger(static_cast<int64_t>(index + 1))});
    object_->invokeMethod("removeObjectAtIndex", arguments.get());
}

void LuaArray::removeLastObject() {
    // An empty collection has no last object; removing index -1 would reach past its start.
    if (uint64_t elements = count()) removeObjectAtIndex(elements - 1);
}

void LuaArray::replaceObjectAtIndex(uint64_t index, QzObject* object) {
    if (!object_) return;
    QzRef<QzArray> arguments = QzArray::of({QzId(object), QzNumber::withInteger(static_cast<int64_t>(index + 1))});
    object_->invokeMethod("setObjectForKey", arguments.get());
}

void LuaArray::setArray(const QzArray* objects) {
    for (uint64_t remaining = count(); remaining > 0; --remaining) removeObjectAtIndex(remaining - 1);
    if (!objects) return;
    for (size_t position = 0; position < objects->count(); ++position) {
        QzObject* element = objects->objectAtIndex(position);
        QzId key = QzValueForKey(element, "objectKey");
        addObjectAtScriptIndex(element, position + 1, key ? key.get() : QzNull::null());
    }
}

void LuaArray::moveObjectAtIndex(uint64_t from, uint64_t to) {
    QzId element = objectAtIndex(from);
    QzId key = QzValueForKey(element.get(), "objectKey");
    removeObjectAtIndex(from);
    // Past the old position everything moved down by one when the element was removed.
    addObjectAtScriptIndex(element.get(), to <= from ? to + 1 : to, key ? key.get() : QzNull::null());
}

void LuaArray::moveObjectsAtIndexes(const std::set<uint64_t>& indexes, uint64_t to) {
    std::vector<QzId> elements;
    for (uint64_t index : indexes) elements.push_back(objectAtIndex(index));
    for (const QzId& element : elements) {
        int64_t current = indexOfObject(element.get());
        if (current != NotFound) moveObjectAtIndex(static_cast<uint64_t>(current), to);
    }
}
