// Parsing type encodings and running invocations.
#include "QzInvocation.h"

#include <algorithm>
#include <cctype>

#include "QzClass.h"
#include "QzLog.h"

bool QzTypeMatches(std::string_view encoding, std::string_view constant) {
    return !encoding.empty() && !constant.empty() && encoding.front() == constant.front();
}

namespace {

// One type at the front of the text: a letter, or '^' and the type it points to. Digits
// (frame offsets some encodings carry) are skipped.
std::string nextType(std::string_view& text) {
    while (!text.empty() && std::isdigit(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    if (text.empty()) return {};
    size_t length = text.front() == QzTypePointer && text.size() > 1 ? 2 : 1;
    std::string type(text.substr(0, length));
    text.remove_prefix(length);
    while (!text.empty() && std::isdigit(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    return type;
}

}  // namespace

QzMethodSignature::QzMethodSignature(std::string_view encoding) : encoding_(encoding) {
    std::string_view rest = encoding;
    returnType_ = nextType(rest);
    while (!rest.empty()) argumentTypes_.push_back(nextType(rest));
    for (const std::string& type : argumentTypes_) argumentLetters_ += type.front();
    bool wellFormed = !returnType_.empty() && argumentTypes_.size() >= 2 &&
                      QzTypeMatches(argumentTypes_[0], "@") && QzTypeMatches(argumentTypes_[1], ":");
    QZ_ASSERT(wellFormed, this,
              "type encoding '" + encoding_ + "' must name a return type, the receiver '@' and the selector ':'");
    QZ_ASSERT(argumentTypes_.size() <= kMaxArguments, this,
              "type encoding '" + encoding_ + "' has more arguments than an invocation holds");
}

QzInvocation::QzInvocation(const QzMethodSignature* signature) : signature_(signature) {
    for (size_t index = 0; index < signature_->numberOfArguments(); ++index) arguments_[index] = Slot{{0}, nullptr};
}

QzInvocation::~QzInvocation() {
    for (size_t index = 0; index < signature_->numberOfArguments(); ++index)
        if (arguments_[index].object) arguments_[index].object->release();
    if (return_.object) return_.object->release();
}

void QzInvocation::failIndex(size_t index) const {
    QzHandleAssertionFailure(__func__, this, __FILE_NAME__, __LINE__,
                             "invocation argument index " + std::to_string(index) + " out of range for " +
                                 signature_->encoding());
    // A handler that returns leaves no slot to hand out.
    throw QzException(QzInternalInconsistencyException, "invocation argument index out of range");
}

void QzInvocation::setObject(size_t index, QzObject* object) {
    Slot& target = slot(index);
    if (object) object->retain();
    if (target.object) target.object->release();
    target.object = object;
}

void QzInvocation::setReturnObject(QzObject* object) {
    if (object) object->retain();
    if (return_.object) return_.object->release();
    return_.object = object;
}

void QzInvocation::invokeWithTarget(QzObject* target) {
    setTarget(target);
    invoke();
}

void QzInvocation::invoke() {
    QZ_ASSERT(target_ != nullptr, this, "invocation has no target");
    const QzMethod* method = QzMethodForSelector(target_, selector_);
    QZ_ASSERT(method != nullptr, target_,
              target_->description() + " does not respond to selector " + std::string(selector_));
    QZ_ASSERT(&method->signature == signature_ || method->signature.encoding() == signature_->encoding(), target_,
              "invocation signature " + signature_->encoding() + " does not match method " +
                  std::string(selector_) + " (" + method->signature.encoding() + ")");
    method->implementation(target_, *this);
}

void QzInvocation::invokeMethod(QzObject* target, const QzMethod& method) {
    setTarget(target);
    method.implementation(target, *this);
}
