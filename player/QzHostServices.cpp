// The keyboard input support and the URL opener as runtime classes, the address checks and
// the start of xdg-open.
#include "QzHostServices.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

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

namespace {

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// Decodes %XX escapes; false for a malformed escape or an encoded NUL.
bool percentDecode(const std::string& text, std::string* decoded) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            *decoded += text[i];
            continue;
        }
        if (i + 2 >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[i + 1])) ||
            !std::isxdigit(static_cast<unsigned char>(text[i + 2])))
            return false;
        const char c = static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
        if (c == '\0') return false;
        *decoded += c;
        i += 2;
    }
    return true;
}

// Mail programs attach the files named by these header fields of a mailto address.
bool namesAttachment(const std::string& mailto) {
    const size_t query = mailto.find('?');
    if (query == std::string::npos) return false;
    std::string fields;
    if (!percentDecode(mailto.substr(query + 1), &fields)) return true;
    fields = "&" + lowercase(fields);
    return fields.find("&attach") != std::string::npos;
}

bool checkFileAddress(const std::string& rest, const std::string& bundleFolder, std::string* target,
                      std::string* reason) {
    // file:///path or file://localhost/path; a file on another host is not ours to open.
    std::string path = rest.substr(2);
    if (lowercase(path).starts_with("localhost/")) path = path.substr(9);
    std::string decoded;
    if (path.empty() || path[0] != '/' || !percentDecode(path.substr(0, path.find_first_of("?#")), &decoded)) {
        *reason = "a file address must name a local file (file:///path)";
        return false;
    }
    std::error_code failure;
    const std::filesystem::path file = std::filesystem::canonical(decoded, failure);
    const std::filesystem::path bundle = std::filesystem::canonical(bundleFolder, failure);
    if (failure || bundleFolder.empty()) {
        *reason = "the file does not exist";
        return false;
    }
    const std::string inside = bundle.string() + "/";
    if (file.string().compare(0, inside.size(), inside) != 0) {
        *reason = "only files inside the game's bundle are opened";
        return false;
    }
    *target = file.string();
    return true;
}

}  // namespace

bool QzOpenURLSupport::checkAddress(const std::string& address, const std::string& bundleFolder, std::string* target,
                                    std::string* reason) {
    const size_t colon = address.find(':');
    const std::string scheme = lowercase(address.substr(0, colon == std::string::npos ? 0 : colon));
    const std::string rest = colon == std::string::npos ? "" : address.substr(colon + 1);
    *target = address;
    if (scheme == "mailto" && !rest.empty()) {
        if (!namesAttachment(rest)) return true;
        *reason = "a mail address may not attach files";
        return false;
    }
    if ((scheme == "http" || scheme == "https") && rest.size() > 2 && rest.compare(0, 2, "//") == 0) return true;
    if (scheme == "file" && rest.compare(0, 2, "//") == 0) return checkFileAddress(rest, bundleFolder, target, reason);
    *reason = "only http, https and mailto addresses and files inside the game's bundle are opened";
    return false;
}

void QzOpenURLSupport::openURL(QzObject*, QzObject* address, bool) {
    const QzString* text = QzCast<QzString>(address);
    if (!text) return;
    std::string target, reason;
    if (!checkAddress(text->utf8(), bundleFolder_, &target, &reason)) {
        QzLog("openURL: refused \"%s\": %s", text->utf8().c_str(), reason.c_str());
        return;
    }
    opener_(target);
}

bool QzStartURLOpener(const std::string& target, std::string* error) {
    const char* argv[] = {"xdg-open", target.c_str(), nullptr};
    pid_t pid = -1;
    const int failure = posix_spawnp(&pid, "xdg-open", nullptr, nullptr, const_cast<char**>(argv), environ);
    if (failure != 0) {
        *error = std::string("cannot start xdg-open (") + std::strerror(failure) +
                 "); install xdg-utils to open addresses from games";
        return false;
    }
    std::thread([pid, target] {
        int status = 0;
        if (waitpid(pid, &status, 0) == pid && !(WIFEXITED(status) && WEXITSTATUS(status) == 0))
            std::fprintf(stderr, "openURL: xdg-open could not open \"%s\" (exit status %d)\n", target.c_str(),
                         WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    }).detach();
    return true;
}
