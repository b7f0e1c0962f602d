// LuaObject, the host's proxy for one script table, and LuaArray, a script collection
// presented as a mutable array.
#ifndef LUA_OBJECT_H
#define LUA_OBJECT_H

#include <atomic>
#include <cstdint>
#include <limits>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "QzObject.h"
#include "QzValues.h"
#include "QzWeakCollections.h"

class LuaState;

// A proxy for a script table, holding a registry reference to it. Each access takes the
// state's lock and empties the stack afterwards, also when a script error passes on as a
// LuaErrorException. Once the state is closed (or gone) the accessors return nothing and
// the setters do nothing.
class LuaObject final : public QzObject {
public:
    LuaObject(LuaState* luaState, int reference);
    ~LuaObject() override;
    static QzClass* registeredClass();
    // A proxy for no table yet, to be given one by initWithLuaState.
    static QzRef<LuaObject> alloc() { return QzMake<LuaObject>(nullptr, -1); }
    // Takes over a reference of the state that has no live proxy (the binder confirms it);
    // otherwise logs and stays a proxy for nothing. Returns this proxy.
    LuaObject* initWithLuaState(LuaState* state, int reference);

    QzId valueAtIndex(int index);
    void setValueAtIndex(QzObject* value, int index);
    QzId valueForKey(const std::string& key);
    void setValueForKey(QzObject* value, const std::string& key);
    QzId invokeMethod(const std::string& name, const QzArray* arguments = nullptr);
    // Elements 1, 2, ... up to the first missing one.
    QzRef<QzArray> toArray();
    QzRef<QzDictionary> toDictionary();
    QzId luaClassname();
    bool isInstanceOfLuaClass(const std::string& name);

    // Observers of collection changes (held weakly); each that answers
    // "luaCollectionDidChange:" gets it from observeCollectionChange.
    void addObserver(QzObject* observer);
    void removeObserver(QzObject* observer);
    void observeCollectionChange();
    // Whether valueDidChangeForKey also posts "LuaValueDidChange".
    void setSendNotifications(bool send) { sendNotifications_ = send; }
    // The script changed the key: announces it to key-value observers, unless the change
    // came from this proxy's own setValueForKey.
    void valueDidChangeForKey(const std::string& key);
    // Gives up the reference from a thread other than the main one: frees it later there.
    void deactivate();
    // Copying yields the same proxy (logged: proxies are not meant to be copied).
    QzRef<LuaObject> copy();

    // Whether the host is writing this key through the proxy right now.
    bool isWritingValue(const std::string& key) const;
    int ref() const { return ref_; }
    QzRef<LuaState> luaState() const { return luaState_.load(); }
    bool belongsTo(const LuaState* state) const;
    QzClass* objectClass() const override { return registeredClass(); }

    // Frees a reference of the state, under its lock (or directly when the calling thread
    // holds it), restoring the stack top.
    static void freeReference(int reference, LuaState* state);
    // Frees the reference in [reference number, state].
    static void dereference(QzArray* referenceAndState);

private:
    // Runs `body` with the table pushed, under the lock; `empty` when the proxy is dead.
    template <class Result, class Body>
    Result withTable(Result empty, Body body);
    void writeValue(QzObject* value, const std::string& key);

    // Records the key the host is writing for the life of the write.
    class WritingKey {
    public:
        WritingKey(LuaObject& proxy, const std::string& key);
        ~WritingKey();

    private:
        LuaObject& proxy_;
    };

    QzWeak<LuaState> luaState_;     // weak: the state owns the interpreter this proxy refers into
    int32_t ref_;                   // -1 once released
    QzWeakSet<QzObject> observers_;
    std::atomic<bool> sendNotifications_{false};
    mutable std::mutex writingMutex_;
    std::optional<std::string> writingKey_;  // guarded by writingMutex_; set under the state's lock
};

// Name of the notification posted when the host writes a value through a proxy (sender:
// the LuaState) and when the script changed a key of a proxy that sends notifications
// (sender: the proxy; user info "key").
inline constexpr const char* LuaObjectSetValueNotification = "luaObjectSetValueNotification";
inline constexpr const char* LuaValueDidChangeNotification = "LuaValueDidChange";

// A script collection (a table with the methods "count", "indexOfObject",
// "addObjectAtIndex", "removeObjectAtIndex" and "setObjectForKey") as a mutable array:
// indexes are 0-based here and 1-based in the script.
class LuaArray final : public QzObject {
public:
    static constexpr int64_t NotFound = std::numeric_limits<int64_t>::max();

    explicit LuaArray(LuaObject* object);
    static QzClass* registeredClass();
    // An array presenting no collection yet, to be given one by initWithLuaObject.
    static QzRef<LuaArray> alloc() { return QzMake<LuaArray>(nullptr); }
    // Presents the collection, unless the array presents one already. Returns this array.
    LuaArray* initWithLuaObject(LuaObject* object);

    uint64_t count();
    QzId objectAtIndex(uint64_t index);
    int64_t indexOfObject(QzObject* object);
    void addObject(QzObject* object);
    void removeLastObject();
    void insertObjectAtIndex(QzObject* object, uint64_t index);
    void removeObjectAtIndex(uint64_t index);
    void replaceObjectAtIndex(uint64_t index, QzObject* object);
    void setArray(const QzArray* objects);
    void moveObjectAtIndex(uint64_t from, uint64_t to);
    void moveObjectsAtIndexes(const std::set<uint64_t>& indexes, uint64_t to);
    LuaArray* children() { return this; }
    LuaObject* object() const { return object_.get(); }
    QzClass* objectClass() const override { return registeredClass(); }

private:
    void addObjectAtScriptIndex(QzObject* object, uint64_t scriptIndex, QzObject* key);

    QzRef<LuaObject> object_;  // retained, so that the array never outlives its collection
};

#endif
