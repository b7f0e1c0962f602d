// Classes registered by name, their methods keyed by selector text, and the typed
// registration that derives a method's type encoding from its C++ signature.
#ifndef QZ_CLASS_H
#define QZ_CLASS_H

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <tuple>
#include <typeinfo>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "QzInvocation.h"
#include "QzObject.h"
#include "QzSaturate.h"

struct lua_State;

// The typed fast path for calls from scripts. A method registered through addMethod<&C::m>
// or addClassMethod<&f> also gets a thunk that reads the script's arguments straight into
// typed locals, calls the C++ function and pushes its result: no invocation, no
// std::function, no argument slots. The runtime does not know the interpreter: the script
// bridge hands each call the handful of conversions a thunk needs (QzScriptAccess). Every
// type converts exactly as an invocation converts it (integers saturating, 'c' by truth,
// objects by luaObjc_toid and a cast to the declared class), so a method answers a script
// the same through either path. Methods registered with a hand-written body have no thunk
// and are called through an invocation.
struct QzScriptAccess {
    double (*number)(lua_State* L, int index);
    bool (*truth)(lua_State* L, int index);
    QzId (*object)(lua_State* L, int index);
    QzClass* (*classAt)(lua_State* L, int index);
    void (*pushNumber)(lua_State* L, double value);
    void (*pushBoolean)(lua_State* L, bool value);
    void (*pushObject)(lua_State* L, QzObject* object);
    void (*pushClass)(lua_State* L, QzClass* cls);
};
// Calls the method on `self` with the script arguments from stack index 2 on; returns the
// number of results pushed.
using QzScriptThunk = int (*)(lua_State* L, const QzScriptAccess& access, QzObject* self);

// A method's body: reads its arguments from the invocation and writes its result there.
// `self` is the receiver: an object for instance methods, the class for class methods.
using QzMethodImplementation = std::function<void(QzObject* self, QzInvocation& invocation)>;

struct QzMethod {
    std::string selector;
    QzMethodSignature signature;
    QzMethodImplementation implementation;
    QzScriptThunk scriptThunk = nullptr;  // typed registrations only
};

// A registered class. Classes live until the process exits; retaining or releasing one
// never destroys it. Registration is thread-safe; so are lookups while methods are added.
class QzClass final : public QzObject {
public:
    // The class registered under the name, or null.
    static QzClass* named(std::string_view name);
    // Registers a class under the name, or returns the one already registered.
    static QzClass* registerClass(const std::string& name, QzClass* superclass);
    // The root of every class ("QzObject"), with no superclass.
    static QzClass* rootClass();

    const std::string& name() const { return name_; }
    QzClass* superclass() const { return superclass_; }
    bool isSubclassOfClass(const QzClass* other) const;

    // Adds or replaces a method. The selector must have one colon per argument after the
    // receiver and selector; a mismatch fails the assertion handler.
    void addMethod(const std::string& selector, std::string_view encoding, QzMethodImplementation body);
    void addClassMethod(const std::string& selector, std::string_view encoding, QzMethodImplementation body);
    // Typed forms: a member function of the class's C++ type (instance method) or a free
    // function (class method); the encoding comes from the parameter and result types.
    template <auto Method>
    void addMethod(const std::string& selector);
    template <auto Function>
    void addClassMethod(const std::string& selector);

    // Looks through the superclasses too; null when no class in the chain has it.
    const QzMethod* instanceMethod(std::string_view selector) const;
    const QzMethod* classMethod(std::string_view selector) const;

    std::string description() const override { return name_; }
    bool isClassObject() const override { return true; }

    // Changes whenever any class gains or replaces a method, so that a cached lookup can
    // tell it is still current.
    static uint64_t methodGeneration() { return generation_.load(std::memory_order_acquire); }

private:
    static inline std::atomic<uint64_t> generation_{0};

    struct TextHash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
    };
    using MethodTable = std::unordered_map<std::string, const QzMethod*, TextHash, std::equal_to<>>;

    QzClass(std::string name, QzClass* superclass);
    void add(MethodTable& table, const std::string& selector, std::string_view encoding, QzMethodImplementation body,
             QzScriptThunk thunk = nullptr);
    const QzMethod* find(const MethodTable QzClass::*table, std::string_view selector) const;

    std::string name_;
    QzClass* superclass_;  // borrowed (classes are immortal)
    mutable std::shared_mutex mutex_;
    MethodTable instanceMethods_;
    MethodTable classMethods_;
    // Every method ever added, so that a replaced method stays valid for a call in flight.
    std::vector<std::unique_ptr<QzMethod>> methods_;  // owned
};

// The method the object answers for the selector: a class method when the object is a
// class, an instance method of its class otherwise. Null when it does not answer.
const QzMethod* QzMethodForSelector(const QzObject* object, std::string_view selector);
const QzMethodSignature* QzMethodSignatureForSelector(const QzObject* object, std::string_view selector);
bool QzRespondsToSelector(const QzObject* object, std::string_view selector);

// --- Typed registration ---

template <class T, class = void>
struct QzTypeTraits;

// Each type's encoding, its invocation slot (read, write) and its script form (fromScript
// gives the value kept for the call, pass hands it to the function, toScript pushes a
// result and returns the count).
template <class Type, char Letter>
struct QzIntegerTraits {
    static constexpr char letter[2] = {Letter, 0};
    static constexpr const char* encoding = letter;
    using Stored = Type;
    static Type read(const QzInvocation& i, size_t n) { return static_cast<Type>(i.integerArgument(n)); }
    static void write(QzInvocation& i, Type v) { i.setReturnInteger(static_cast<int64_t>(v)); }
    static Type fromScript(const QzScriptAccess& access, lua_State* L, int index) {
        if constexpr (Letter == 'c') return static_cast<Type>(access.truth(L, index));
        else return QzSaturatingCast<Type>(access.number(L, index));
    }
    static Type pass(Type v) { return v; }
    static int toScript(const QzScriptAccess& access, lua_State* L, Type v) {
        if constexpr (Letter == 'c') access.pushBoolean(L, v != 0);
        else access.pushNumber(L, static_cast<double>(v));
        return 1;
    }
};

#define QZ_INTEGER_TYPE(Type, Letter) \
    template <>                       \
    struct QzTypeTraits<Type> : QzIntegerTraits<Type, Letter> {};
QZ_INTEGER_TYPE(bool, 'c')
QZ_INTEGER_TYPE(signed char, 'c')
QZ_INTEGER_TYPE(unsigned char, 'C')
QZ_INTEGER_TYPE(short, 's')
QZ_INTEGER_TYPE(unsigned short, 'S')
QZ_INTEGER_TYPE(int, 'i')
QZ_INTEGER_TYPE(unsigned int, 'I')
QZ_INTEGER_TYPE(long, 'q')
QZ_INTEGER_TYPE(unsigned long, 'Q')
QZ_INTEGER_TYPE(long long, 'q')
QZ_INTEGER_TYPE(unsigned long long, 'Q')
#undef QZ_INTEGER_TYPE

template <class Type>
struct QzRealTraits {
    using Stored = Type;
    static Type fromScript(const QzScriptAccess& access, lua_State* L, int index) {
        return static_cast<Type>(access.number(L, index));
    }
    static Type pass(Type v) { return v; }
    static int toScript(const QzScriptAccess& access, lua_State* L, Type v) {
        access.pushNumber(L, v);
        return 1;
    }
};
template <>
struct QzTypeTraits<float> : QzRealTraits<float> {
    static constexpr const char* encoding = "f";
    static float read(const QzInvocation& i, size_t n) { return i.floatArgument(n); }
    static void write(QzInvocation& i, float v) { i.setReturnFloat(v); }
};
template <>
struct QzTypeTraits<double> : QzRealTraits<double> {
    static constexpr const char* encoding = "d";
    static double read(const QzInvocation& i, size_t n) { return i.doubleArgument(n); }
    static void write(QzInvocation& i, double v) { i.setReturnDouble(v); }
};
// Pointers cannot be made from script values: they arrive null and push nothing.
template <class Pointer>
struct QzPointerTraits {
    using Stored = Pointer;
    static Pointer fromScript(const QzScriptAccess&, lua_State*, int) { return nullptr; }
    static Pointer pass(Pointer v) { return v; }
    static int toScript(const QzScriptAccess&, lua_State*, Pointer) { return 0; }
};
template <>
struct QzTypeTraits<void*> : QzPointerTraits<void*> {
    static constexpr const char* encoding = "^v";
    static void* read(const QzInvocation& i, size_t n) { return i.pointerArgument(n); }
    static void write(QzInvocation& i, void* v) { i.setReturnPointer(v); }
};
template <>
struct QzTypeTraits<const char*> : QzPointerTraits<const char*> {
    static constexpr const char* encoding = "*";
    static const char* read(const QzInvocation& i, size_t n) { return static_cast<const char*>(i.pointerArgument(n)); }
    static void write(QzInvocation& i, const char* v) { i.setReturnPointer(const_cast<char*>(v)); }
};
template <>
struct QzTypeTraits<QzClass*> {
    static constexpr const char* encoding = "#";
    using Stored = QzClass*;
    static QzClass* read(const QzInvocation& i, size_t n) { return QzCast<QzClass>(i.objectArgument(n)); }
    static void write(QzInvocation& i, QzClass* v) { i.setReturnObject(v); }
    static QzClass* fromScript(const QzScriptAccess& access, lua_State* L, int index) { return access.classAt(L, index); }
    static QzClass* pass(QzClass* v) { return v; }
    static int toScript(const QzScriptAccess& access, lua_State* L, QzClass* v) {
        access.pushClass(L, v);
        return 1;
    }
};
// Objects: an argument that is not of the declared type arrives as null. The script form
// holds a reference for the call, since a number or string argument is made for it.
template <class T>
struct QzObjectTraits {
    static constexpr const char* encoding = "@";
    using Stored = QzRef<T>;
    static Stored fromScript(const QzScriptAccess& access, lua_State* L, int index) {
        return QzCast<T>(access.object(L, index));
    }
};
template <class T>
struct QzTypeTraits<T*, std::enable_if_t<std::is_base_of_v<QzObject, T> && !std::is_same_v<T, QzClass>>>
    : QzObjectTraits<T> {
    static T* read(const QzInvocation& i, size_t n) { return QzCast<T>(i.objectArgument(n)); }
    static void write(QzInvocation& i, T* v) { i.setReturnObject(const_cast<std::remove_const_t<T>*>(v)); }
    static T* pass(const QzRef<T>& v) { return v.get(); }
    static int toScript(const QzScriptAccess& access, lua_State* L, T* v) {
        access.pushObject(L, const_cast<std::remove_const_t<T>*>(v));
        return 1;
    }
};
template <class T>
struct QzTypeTraits<QzRef<T>> : QzObjectTraits<T> {
    static QzRef<T> read(const QzInvocation& i, size_t n) { return QzRef<T>(QzCast<T>(i.objectArgument(n))); }
    static void write(QzInvocation& i, const QzRef<T>& v) { i.setReturnObject(v.get()); }
    static const QzRef<T>& pass(const QzRef<T>& v) { return v; }
    static int toScript(const QzScriptAccess& access, lua_State* L, const QzRef<T>& v) {
        access.pushObject(L, v.get());
        return 1;
    }
};

template <class F>
struct QzCallableTraits;
template <class C, class R, class... A>
struct QzCallableTraits<R (C::*)(A...)> {
    using Class = C;
    using Return = R;
    using Arguments = std::tuple<std::decay_t<A>...>;
};
template <class C, class R, class... A>
struct QzCallableTraits<R (C::*)(A...) const> : QzCallableTraits<R (C::*)(A...)> {};
template <class R, class... A>
struct QzCallableTraits<R (*)(A...)> {
    using Class = void;
    using Return = R;
    using Arguments = std::tuple<std::decay_t<A>...>;
};

template <class Return, class Arguments>
std::string QzEncodingFor() {
    std::string encoding;
    if constexpr (std::is_void_v<Return>)
        encoding = "v";
    else
        encoding = QzTypeTraits<std::decay_t<Return>>::encoding;
    encoding += "@:";
    std::apply([&](auto... argument) { ((encoding += QzTypeTraits<decltype(argument)>::encoding), ...); },
               Arguments{});
    return encoding;
}

// Reads the arguments from slots 2, 3, ... calls `call` with them and stores its result.
template <class Return, class Arguments, class Call, size_t... Index>
void QzCallWithSlots(QzInvocation& invocation, Call&& call, std::index_sequence<Index...>) {
    if constexpr (std::is_void_v<Return>) {
        call(QzTypeTraits<std::tuple_element_t<Index, Arguments>>::read(invocation, Index + 2)...);
    } else {
        QzTypeTraits<std::decay_t<Return>>::write(
            invocation, call(QzTypeTraits<std::tuple_element_t<Index, Arguments>>::read(invocation, Index + 2)...));
    }
}

// The receiver as the member function's class: a receiver of another C++ type (a method
// registered on the wrong class) gives null, so that nothing runs on the wrong object.
template <class Receiver>
Receiver* QzReceiverCast(QzObject* self) {
    return typeid(*self) == typeid(Receiver) ? static_cast<Receiver*>(self) : QzCast<Receiver>(self);
}

// Calls `function` with the script arguments from index 2 and pushes its result.
template <class Traits, class Function, size_t... Index>
int QzCallFromScript(lua_State* L, const QzScriptAccess& access, Function&& function, std::index_sequence<Index...>) {
    using Arguments = typename Traits::Arguments;
    // Braced initialisation reads the arguments in order.
    std::tuple<typename QzTypeTraits<std::tuple_element_t<Index, Arguments>>::Stored...> stored{
        QzTypeTraits<std::tuple_element_t<Index, Arguments>>::fromScript(access, L, static_cast<int>(Index) + 2)...};
    if constexpr (std::is_void_v<typename Traits::Return>) {
        function(QzTypeTraits<std::tuple_element_t<Index, Arguments>>::pass(std::get<Index>(stored))...);
        return 0;
    } else {
        return QzTypeTraits<std::decay_t<typename Traits::Return>>::toScript(
            access, L, function(QzTypeTraits<std::tuple_element_t<Index, Arguments>>::pass(std::get<Index>(stored))...));
    }
}

template <auto Method>
int QzMemberScriptThunk(lua_State* L, const QzScriptAccess& access, QzObject* self) {
    using Traits = QzCallableTraits<decltype(Method)>;
    using Return = typename Traits::Return;
    auto* receiver = QzReceiverCast<typename Traits::Class>(self);
    if (!receiver) {
        // As through an invocation: the result slot stays empty.
        if constexpr (std::is_void_v<Return>) return 0;
        else return QzTypeTraits<std::decay_t<Return>>::toScript(access, L, std::decay_t<Return>{});
    }
    return QzCallFromScript<Traits>(
        L, access, [receiver](auto&&... arguments) -> Return { return (receiver->*Method)(arguments...); },
        std::make_index_sequence<std::tuple_size_v<typename Traits::Arguments>>());
}

template <auto Function>
int QzStaticScriptThunk(lua_State* L, const QzScriptAccess& access, QzObject*) {
    using Traits = QzCallableTraits<decltype(Function)>;
    return QzCallFromScript<Traits>(
        L, access, [](auto&&... arguments) -> typename Traits::Return { return Function(arguments...); },
        std::make_index_sequence<std::tuple_size_v<typename Traits::Arguments>>());
}

template <auto Method>
void QzClass::addMethod(const std::string& selector) {
    using Traits = QzCallableTraits<decltype(Method)>;
    using Arguments = typename Traits::Arguments;
    add(instanceMethods_, selector, QzEncodingFor<typename Traits::Return, Arguments>(),
        [](QzObject* self, QzInvocation& invocation) {
            auto* receiver = QzReceiverCast<typename Traits::Class>(self);
            if (!receiver) return;
            QzCallWithSlots<typename Traits::Return, Arguments>(
                invocation, [receiver](auto&&... arguments) { return (receiver->*Method)(arguments...); },
                std::make_index_sequence<std::tuple_size_v<Arguments>>());
        },
        &QzMemberScriptThunk<Method>);
}

template <auto Function>
void QzClass::addClassMethod(const std::string& selector) {
    using Traits = QzCallableTraits<decltype(Function)>;
    using Arguments = typename Traits::Arguments;
    add(classMethods_, selector, QzEncodingFor<typename Traits::Return, Arguments>(),
        [](QzObject*, QzInvocation& invocation) {
            QzCallWithSlots<typename Traits::Return, Arguments>(
                invocation, [](auto&&... arguments) { return Function(arguments...); },
                std::make_index_sequence<std::tuple_size_v<Arguments>>());
        },
        &QzStaticScriptThunk<Function>);
}

#endif
