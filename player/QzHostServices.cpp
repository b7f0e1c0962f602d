// The keyboard input support and the URL opener as runtime classes.
#include "QzHostServices.h"

#include <algorithm>
#include <cctype>

#include "QzClass.h"
#include "QzLog.h"

namespace {

std::string textOf(QzObject* value) {
    const QzString* text = QzCast<QzString>(value);
    return text ? text->utf8() : "";
}

}  // namespace

QzClass* QzKeyboardInputSupport::registeredClass() {
    static QzClass* cls = [] {
        QzClass* made = QzClass::registerClass("QzKeyboardInputSupport", QzClass::rootClass());
        made->addMethod<&QzKeyboardInputSupport::keyboardInput>("keyboardInput:forPrompt:withInitialValue:displayNumberPad:");
        return made;
    }();
    return cls;
}

void QzKeyboardInputSupport::keyboardInput(QzObject*, QzObject* prompt, QzObject* initialValue, bool) {
    request_(textOf(prompt), textOf(initialValue));
}

QzClass* QzOpenURLSupport::registeredClass() {
    static QzClass* cls = [] {
        QzClass* made = QzClass::registerClass("QzOpenURLSupport", QzClass::rootClass());
        made->addMethod<&QzOpenURLSupport::openURL>("openURL:withString:extBrowser:");
        return made;
    }();
    return cls;
}

bool QzOpenURLSupport::isOpenableAddress(const std::string& address) {
    const size_t colon = address.find(':');
    if (colon == std::string::npos) return false;
    std::string scheme = address.substr(0, colon);
    std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](unsigned char c) { return std::tolower(c); });
    const std::string rest = address.substr(colon + 1);
    if (scheme == "mailto") return !rest.empty();
    return (scheme == "http" || scheme == "https") && rest.size() > 2 && rest.compare(0, 2, "//") == 0;
}

void QzOpenURLSupport::openURL(QzObject*, QzObject* address, bool) {
    const QzString* text = QzCast<QzString>(address);
    if (!text) return;
    if (!isOpenableAddress(text->utf8())) {
        QzLog("openURL: refused \"%s\": only http, https and mailto addresses are opened", text->utf8().c_str());
        return;
    }
    opener_(text->utf8());
}
