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
    // Receives what to open: an http, https or mailto address, or the absolute path of a
    // file inside the bundle.
    using Opener = std::function<void(const std::string& target)>;
    // bundleFolder is the folder of the playing bundle: file addresses may reach inside it.
    QzOpenURLSupport(Opener opener, std::string bundleFolder)
        : opener_(std::move(opener)), bundleFolder_(std::move(bundleFolder)) {}
    static QzClass* registeredClass();
    QzClass* objectClass() const override { return registeredClass(); }

    // openURL:withString:extBrowser: hands checked addresses to the opener and refuses
    // others with a logged line; a missing address does nothing.
    void openURL(QzObject* context, QzObject* address, bool externalBrowser);

    // Whether the address may be opened, setting target to what to open, or reason to why
    // not: http and https addresses; mailto addresses without attachments; file addresses
    // whose file, after symbolic links, lies inside bundleFolder (the target is then its
    // resolved path).
    static bool checkAddress(const std::string& address, const std::string& bundleFolder, std::string* target,
                             std::string* reason);

private:
    Opener opener_;
    std::string bundleFolder_;
};

// Starts xdg-open on the target without a shell; false with error set when it cannot be
// started. A failure it reports later (its exit status) is logged from a waiting thread.
bool QzStartURLOpener(const std::string& target, std::string* error);

#endif
