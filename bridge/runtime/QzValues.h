// The value classes: string, number, the null singleton, array and dictionary.
#ifndef QZ_VALUES_H
#define QZ_VALUES_H

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "QzObject.h"

// An immutable UTF-8 string.
class QzString final : public QzObject {
public:
    static QzRef<QzString> withUTF8(std::string_view text);
    static QzClass* registeredClass();

    const std::string& utf8() const { return text_; }
    size_t length() const { return text_.size(); }
    QzRef<QzString> stringByAppending(const QzString* other) const;

    QzClass* objectClass() const override { return registeredClass(); }
    std::string description() const override { return text_; }
    bool isEqual(const QzObject* other) const override;
    size_t hash() const override { return std::hash<std::string>()(text_); }

private:
    explicit QzString(std::string text) : text_(std::move(text)) {}
    std::string text_;
};

// A number made from a 32-bit float, an integer or a boolean; it answers in each form.
class QzNumber final : public QzObject {
public:
    static QzRef<QzNumber> withFloat(float value);
    static QzRef<QzNumber> withInteger(int64_t value);
    static QzRef<QzNumber> withBool(bool value);
    static QzClass* registeredClass();

    float floatValue() const;
    double doubleValue() const;
    int64_t integerValue() const;
    bool boolValue() const;
    bool isBool() const { return kind_ == Kind::boolean; }

    QzClass* objectClass() const override { return registeredClass(); }
    std::string description() const override;
    bool isEqual(const QzObject* other) const override;
    size_t hash() const override { return std::hash<double>()(doubleValue()); }

private:
    enum class Kind { real, integer, boolean };
    QzNumber(Kind kind, double real, int64_t integer) : kind_(kind), real_(real), integer_(integer) {}
    Kind kind_;
    double real_;
    int64_t integer_;
};

// The null singleton: a value that stands for "nothing" where an object is required.
class QzNull final : public QzObject {
public:
    static QzNull* null();  // immortal
    static QzClass* registeredClass();
    QzClass* objectClass() const override { return registeredClass(); }
    std::string description() const override { return "<null>"; }

private:
    QzNull() = default;
};

bool QzIsNull(const QzObject* object);

// An array of objects. Mutable; immutableCopy makes an independent copy.
class QzArray final : public QzObject {
public:
    static QzRef<QzArray> array();
    static QzRef<QzArray> of(std::initializer_list<QzId> elements);
    // One shared array that stays empty, for results with nothing in them: adding to it fails
    // the assertion handler and adds nothing.
    static QzRef<QzArray> empty();
    static QzClass* registeredClass();

    size_t count() const { return elements_.size(); }
    // Null for an index past the end.
    QzObject* objectAtIndex(size_t index) const;
    QzObject* firstObject() const { return objectAtIndex(0); }
    void addObject(QzObject* object);
    QzRef<QzArray> immutableCopy() const;
    const std::vector<QzId>& elements() const { return elements_; }
    auto begin() const { return elements_.begin(); }
    auto end() const { return elements_.end(); }

    QzClass* objectClass() const override { return registeredClass(); }
    std::string description() const override;

private:
    QzArray() = default;
    std::vector<QzId> elements_;
    bool shared_ = false;
};

// A dictionary from objects (compared with isEqual) to objects.
class QzDictionary final : public QzObject {
public:
    static QzRef<QzDictionary> dictionary();
    static QzClass* registeredClass();

    size_t count() const { return entries_.size(); }
    QzObject* objectForKey(const QzObject* key) const;
    QzObject* objectForKey(std::string_view key) const;
    void setObject(QzObject* object, QzObject* key);

    QzClass* objectClass() const override { return registeredClass(); }
    std::string description() const override;

private:
    struct KeyHash {
        size_t operator()(const QzId& key) const { return key->hash(); }
    };
    struct KeyEqual {
        bool operator()(const QzId& a, const QzId& b) const { return a->isEqual(b.get()); }
    };
    QzDictionary() = default;
    std::unordered_map<QzId, QzId, KeyHash, KeyEqual> entries_;
};

// Key-value reading on any object: a dictionary's entry, or the result of the object's
// method named by the key when it takes no argument and returns an object. Null otherwise.
// Classes with their own key-value reading (script proxies) register "valueForKey:".
QzId QzValueForKey(QzObject* object, const std::string& key);

#endif
