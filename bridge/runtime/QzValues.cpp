// The value classes and key-value reading.
#include "QzValues.h"

#include <cmath>
#include <cstdio>

#include "QzClass.h"
#include "QzLog.h"
#include "QzSaturate.h"

QzRef<QzString> QzString::withUTF8(std::string_view text) {
    return QzAdopt(new QzString(std::string(text)));
}

QzClass* QzString::registeredClass() {
    static QzClass* cls = [] {
        QzClass* made = QzClass::registerClass("QzString", QzClass::rootClass());
        made->addMethod<&QzString::length>("length");
        made->addMethod<&QzString::stringByAppending>("stringByAppendingString:");
        return made;
    }();
    return cls;
}

QzRef<QzString> QzString::stringByAppending(const QzString* other) const {
    return withUTF8(other ? text_ + other->text_ : text_);
}

bool QzString::isEqual(const QzObject* other) const {
    auto* string = dynamic_cast<const QzString*>(other);
    return string && string->text_ == text_;
}

QzRef<QzNumber> QzNumber::withFloat(float value) {
    return QzAdopt(new QzNumber(Kind::real, value, 0));
}

QzRef<QzNumber> QzNumber::withInteger(int64_t value) {
    return QzAdopt(new QzNumber(Kind::integer, static_cast<double>(value), value));
}

QzRef<QzNumber> QzNumber::withBool(bool value) {
    return QzAdopt(new QzNumber(Kind::boolean, value ? 1.0 : 0.0, value ? 1 : 0));
}

QzClass* QzNumber::registeredClass() {
    static QzClass* cls = [] {
        QzClass* made = QzClass::registerClass("QzNumber", QzClass::rootClass());
        made->addMethod<&QzNumber::floatValue>("floatValue");
        made->addMethod<&QzNumber::doubleValue>("doubleValue");
        made->addMethod<&QzNumber::integerValue>("integerValue");
        made->addMethod<&QzNumber::boolValue>("boolValue");
        return made;
    }();
    return cls;
}

float QzNumber::floatValue() const {
    return static_cast<float>(real_);
}

double QzNumber::doubleValue() const {
    return real_;
}

int64_t QzNumber::integerValue() const {
    return kind_ == Kind::real ? QzSaturatingCast<int64_t>(real_) : integer_;
}

bool QzNumber::boolValue() const {
    return real_ != 0.0;
}

std::string QzNumber::description() const {
    if (kind_ == Kind::integer) return std::to_string(integer_);
    if (kind_ == Kind::boolean) return integer_ ? "1" : "0";
    char text[32];
    std::snprintf(text, sizeof text, "%g", real_);
    return text;
}

bool QzNumber::isEqual(const QzObject* other) const {
    auto* number = dynamic_cast<const QzNumber*>(other);
    return number && number->real_ == real_ && number->integerValue() == integerValue();
}

QzNull* QzNull::null() {
    static QzNull* instance = new QzNull;  // keeps its one reference for good
    return instance;
}

QzClass* QzNull::registeredClass() {
    static QzClass* cls = QzClass::registerClass("QzNull", QzClass::rootClass());
    return cls;
}

bool QzIsNull(const QzObject* object) {
    return object == QzNull::null();
}

QzRef<QzArray> QzArray::array() {
    return QzAdopt(new QzArray);
}

QzRef<QzArray> QzArray::empty() {
    static QzArray* instance = [] {
        auto* made = new QzArray;  // keeps its one reference for good
        made->shared_ = true;
        return made;
    }();
    return QzRef<QzArray>(instance);
}

QzRef<QzArray> QzArray::of(std::initializer_list<QzId> elements) {
    QzRef<QzArray> made = array();
    for (const QzId& element : elements) made->addObject(element.get());
    return made;
}

QzClass* QzArray::registeredClass() {
    static QzClass* cls = [] {
        QzClass* made = QzClass::registerClass("QzArray", QzClass::rootClass());
        made->addClassMethod<&QzArray::array>("array");
        made->addClassMethod<&QzArray::array>("new");
        made->addMethod<&QzArray::count>("count");
        made->addMethod<&QzArray::objectAtIndex>("objectAtIndex:");
        made->addMethod<&QzArray::addObject>("addObject:");
        return made;
    }();
    return cls;
}

QzObject* QzArray::objectAtIndex(size_t index) const {
    return index < elements_.size() ? elements_[index].get() : nullptr;
}

void QzArray::addObject(QzObject* object) {
    // An assertion handler that returns must still leave the shared array empty.
    QZ_ASSERT(!shared_, this, "the shared empty array cannot be changed");
    if (shared_) return;
    // Arrays hold objects only; an absent object is stored as the null singleton.
    elements_.emplace_back(object ? object : QzNull::null());
}

QzRef<QzArray> QzArray::immutableCopy() const {
    QzRef<QzArray> copy = array();
    copy->elements_ = elements_;
    return copy;
}

std::string QzArray::description() const {
    std::string text = "(";
    for (size_t i = 0; i < elements_.size(); ++i) text += (i ? ", " : "") + elements_[i]->description();
    return text + ")";
}

QzRef<QzDictionary> QzDictionary::dictionary() {
    return QzAdopt(new QzDictionary);
}

QzClass* QzDictionary::registeredClass() {
    static QzClass* cls = [] {
        QzClass* made = QzClass::registerClass("QzDictionary", QzClass::rootClass());
        made->addClassMethod<&QzDictionary::dictionary>("dictionary");
        made->addClassMethod<&QzDictionary::dictionary>("new");
        made->addMethod<&QzDictionary::count>("count");
        made->addMethod<static_cast<QzObject* (QzDictionary::*)(const QzObject*) const>(&QzDictionary::objectForKey)>(
            "objectForKey:");
        made->addMethod<&QzDictionary::setObject>("setObject:forKey:");
        return made;
    }();
    return cls;
}

QzObject* QzDictionary::objectForKey(const QzObject* key) const {
    if (!key) return nullptr;
    auto found = entries_.find(QzId(const_cast<QzObject*>(key)));
    return found == entries_.end() ? nullptr : found->second.get();
}

QzObject* QzDictionary::objectForKey(std::string_view key) const {
    return objectForKey(QzString::withUTF8(key).get());
}

void QzDictionary::setObject(QzObject* object, QzObject* key) {
    if (!key) return;
    entries_[QzId(key)] = QzId(object ? object : QzNull::null());
}

std::string QzDictionary::description() const {
    std::string text = "{";
    for (const auto& [key, value] : entries_) text += key->description() + " = " + value->description() + "; ";
    return text + "}";
}

namespace {

// Invokes a method taking no argument or one object argument and returning an object.
QzId invokeObjectMethod(QzObject* target, const std::string& selector, QzObject* argument) {
    const QzMethodSignature* signature = QzMethodSignatureForSelector(target, selector);
    size_t arguments = argument ? 3 : 2;
    if (!signature || !QzTypeMatches(signature->methodReturnType(), "@") ||
        signature->numberOfArguments() != arguments ||
        (argument && !QzTypeMatches(signature->argumentType(2), "@")))
        return nullptr;
    QzInvocation invocation(signature);
    invocation.setSelector(selector);
    if (argument) invocation.setObject(2, argument);
    invocation.invokeWithTarget(target);
    return QzId(invocation.returnObject());
}

}  // namespace

QzId QzValueForKey(QzObject* object, const std::string& key) {
    if (!object) return nullptr;
    if (auto* dictionary = QzCast<QzDictionary>(object)) return QzId(dictionary->objectForKey(key));
    if (QzRespondsToSelector(object, "valueForKey:"))
        return invokeObjectMethod(object, "valueForKey:", QzString::withUTF8(key).get());
    return invokeObjectMethod(object, key, nullptr);
}
