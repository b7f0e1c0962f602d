// The host services scripts reach by name through the external function table: the keyboard
// input support ("KeyboardInput") and the URL opener ("openURL"). Each is a runtime object
// whose method the table calls; the work itself is done by the function it was made with.
#ifndef QZ_HOST_SERVICES_H
#define QZ_HOST_SERVICES_H

#include <functional>
#include <string>

#include "QzObject.h"
#include "QzValues.h"

class QzKeyboardInputSupport final : public QzObject {
public:
    using Request = std::function<void(const std::string& prompt, const std::string& initialValue)>;
    explicit QzKeyboardInputSupport(Request request) : request_(std::move(request)) {}
    static QzClass* registeredClass();
    QzClass* objectClass() const override { return registeredClass(); }

    // keyboardInput:forPrompt:withInitialValue:displayNumberPad: the context and the
    // number-pad flag are not used on the desktop; a missing text counts as empty.
    void keyboardInput(QzObject* context, QzObject* prompt, QzObject* initialValue, bool displayNumberPad);

private:
    Request request_;
};

class QzOpenURLSupport final : public QzObject {
public:
    using Opener = std::function<void(const std::string& address)>;
    explicit QzOpenURLSupport(Opener opener) : opener_(std::move(opener)) {}
    static QzClass* registeredClass();
    QzClass* objectClass() const override { return registeredClass(); }

    // openURL:withString:extBrowser: opens http, https and mailto addresses and refuses
    // others with a logged line; a missing address does nothing.
    void openURL(QzObject* context, QzObject* address, bool externalBrowser);

    static bool isOpenableAddress(const std::string& address);

private:
    Opener opener_;
};

#endif
