// Method signatures (type encodings) and invocations with typed argument slots.
#ifndef QZ_INVOCATION_H
#define QZ_INVOCATION_H

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "QzObject.h"

struct QzMethod;

// The type encoding letters of the runtime. Encodings are compared by their first letter.
inline constexpr char QzTypeDouble = 'd';
inline constexpr char QzTypeFloat = 'f';
inline constexpr char QzTypeChar = 'c';  // also the boolean type
inline constexpr char QzTypeUnsignedChar = 'C';
inline constexpr char QzTypeInt = 'i';
inline constexpr char QzTypeUnsignedInt = 'I';
inline constexpr char QzTypeLong = 'q';
inline constexpr char QzTypeUnsignedLong = 'Q';
inline constexpr char QzTypeShort = 's';
inline constexpr char QzTypeUnsignedShort = 'S';
inline constexpr char QzTypeVoid = 'v';
inline constexpr char QzTypeId = '@';
inline constexpr char QzTypeClass = '#';
inline constexpr char QzTypePointer = '^';  // "^v", a pointer
inline constexpr char QzTypeString = '*';
inline constexpr char QzTypeSelector = ':';

// True when the encodings agree in their first letter.
bool QzTypeMatches(std::string_view encoding, std::string_view constant);

// A method's types, parsed from an encoding such as "v@:@@": the return type, then the
// receiver ("@"), the selector (":") and one entry per argument.
class QzMethodSignature {
public:
    // The most arguments a signature may have, receiver and selector included.
    static constexpr size_t kMaxArguments = 10;

    // Refuses (through the assertion handler) an encoding it cannot read or one with more
    // than kMaxArguments arguments.
    explicit QzMethodSignature(std::string_view encoding);

    size_t numberOfArguments() const { return argumentTypes_.size(); }
    const std::string& argumentType(size_t index) const { return argumentTypes_.at(index); }
    const std::string& methodReturnType() const { return returnType_; }
    // The first letters of the argument types and of the return type, for quick dispatch.
    char argumentTypeLetter(size_t index) const { return argumentLetters_[index]; }
    char returnTypeLetter() const { return returnType_.front(); }
    const std::string& encoding() const { return encoding_; }

private:
    std::string encoding_;
    std::string returnType_;
    std::vector<std::string> argumentTypes_;
    std::string argumentLetters_;
};

// One call in the making: a target, a selector, typed argument slots and a return slot.
// The slots live inside the invocation, so preparing and invoking allocates nothing.
// Object arguments and an object result are retained by the invocation until it ends.
// Slots that are never set read as zero or null.
class QzInvocation {
public:
    explicit QzInvocation(const QzMethodSignature* signature);  // signature borrowed
    ~QzInvocation();
    QzInvocation(const QzInvocation&) = delete;
    QzInvocation& operator=(const QzInvocation&) = delete;

    const QzMethodSignature* methodSignature() const { return signature_; }
    void setTarget(QzObject* target) { target_ = target; }
    QzObject* target() const { return target_; }
    // The text must outlive the invocation's invoke().
    void setSelector(std::string_view selector) { selector_ = selector; }
    std::string_view selector() const { return selector_; }

    // Argument setters and getters by index (0 is the receiver, 1 the selector).
    void setObject(size_t index, QzObject* object);
    void setInteger(size_t index, int64_t value) { slot(index).value.integer = value; }
    void setDouble(size_t index, double value) { slot(index).value.real = value; }
    void setFloat(size_t index, float value) { slot(index).value.single = value; }
    void setPointer(size_t index, void* value) { slot(index).value.pointer = value; }
    QzObject* objectArgument(size_t index) const { return slot(index).object; }
    int64_t integerArgument(size_t index) const { return slot(index).value.integer; }
    double doubleArgument(size_t index) const { return slot(index).value.real; }
    float floatArgument(size_t index) const { return slot(index).value.single; }
    void* pointerArgument(size_t index) const { return slot(index).value.pointer; }

    void setReturnObject(QzObject* object);
    void setReturnInteger(int64_t value) { return_.value.integer = value; }
    void setReturnDouble(double value) { return_.value.real = value; }
    void setReturnFloat(float value) { return_.value.single = value; }
    void setReturnPointer(void* value) { return_.value.pointer = value; }
    QzObject* returnObject() const { return return_.object; }
    int64_t returnInteger() const { return return_.value.integer; }
    double returnDouble() const { return return_.value.real; }
    float returnFloat() const { return return_.value.single; }
    void* returnPointer() const { return return_.value.pointer; }

    // Calls the selector's method on the target. A target that does not answer the
    // selector, or answers it with a different signature, fails the runtime's assertion.
    void invoke();
    void invokeWithTarget(QzObject* target);
    // Calls `method`, already looked up as the target's answer to the invocation's selector
    // (with this invocation's signature), skipping the lookup.
    void invokeMethod(QzObject* target, const QzMethod& method);

private:
    struct Slot {
        union {
            int64_t integer;
            double real;
            float single;
            void* pointer;
        } value;
        QzObject* object;  // retained
    };
    Slot& slot(size_t index) {
        if (index >= signature_->numberOfArguments()) failIndex(index);
        return arguments_[index];
    }
    const Slot& slot(size_t index) const { return const_cast<QzInvocation*>(this)->slot(index); }
    [[noreturn]] void failIndex(size_t index) const;

    const QzMethodSignature* signature_;  // borrowed (owned by its class's method)
    QzObject* target_ = nullptr;           // borrowed
    std::string_view selector_;
    // Only the signature's slots are initialised: an invocation is made for every call.
    std::array<Slot, QzMethodSignature::kMaxArguments> arguments_;
    Slot return_{{0}, nullptr};
};

#endif
