// Input event names and the headless input timeline reader.
#include "QzInputEvent.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string_view>

const char* QzInputFunctionName(QzInputEvent::Kind kind) {
    switch (kind) {
    case QzInputEvent::Kind::KeyDown: return "keyDown";
    case QzInputEvent::Kind::KeyUp: return "keyUp";
    case QzInputEvent::Kind::MouseDown: return "mouseDown";
    case QzInputEvent::Kind::MouseUp: return "mouseUp";
    case QzInputEvent::Kind::MouseMoved: return "mouseMoved";
    case QzInputEvent::Kind::Text: return nullptr;
    case QzInputEvent::Kind::GamepadDown: return "gamepadDown";
    case QzInputEvent::Kind::GamepadUp: return "gamepadUp";
    case QzInputEvent::Kind::GamepadAxis: return "gamepadAxisMoved";
    case QzInputEvent::Kind::GamepadAdded: return "gamepadAdded";
    case QzInputEvent::Kind::GamepadRemoved: return "gamepadRemoved";
    }
    return nullptr;
}

bool QzIsGamepadEvent(QzInputEvent::Kind kind) { return kind >= QzInputEvent::Kind::GamepadDown; }

namespace {

// SDL's game-controller names, which the window player hands on.
constexpr const char* kGamepadButtons[] = {"a", "b", "x", "y", "back", "guide", "start", "leftstick", "rightstick",
                                           "leftshoulder", "rightshoulder", "dpup", "dpdown", "dpleft", "dpright",
                                           "misc1", "paddle1", "paddle2", "paddle3", "paddle4", "touchpad"};
constexpr const char* kGamepadAxes[] = {"leftx", "lefty", "rightx", "righty", "lefttrigger", "righttrigger"};

template <size_t N>
std::string listOf(const char* const (&names)[N]) {
    std::string list;
    for (const char* name : names) list += (list.empty() ? "" : ", ") + std::string(name);
    return list;
}

}  // namespace

std::string QzCanonicalGamepadAxis(const std::string& name) {
    if (name == "triggerleft") return "lefttrigger";
    if (name == "triggerright") return "righttrigger";
    const auto* found = std::find(std::begin(kGamepadAxes), std::end(kGamepadAxes), std::string_view(name));
    return found == std::end(kGamepadAxes) ? std::string() : name;
}

namespace {

bool readFloat(std::istringstream& fields, float* value) {
    std::string word;
    if (!(fields >> word)) return false;
    char* end = nullptr;
    *value = std::strtof(word.c_str(), &end);
    return end != word.c_str() && *end == '\0' && std::isfinite(*value);
}

// The rest of the line after one separating space; a text or key name may hold spaces.
std::string restOfLine(std::istringstream& fields) {
    std::string rest;
    std::getline(fields, rest);
    if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
    return rest;
}

// The keys the player names (QzKeyNameForCharacter and the modifier keys); any other key is
// a single character.
constexpr const char* kNamedKeys[] = {"up",        "down",       "left",        "right", "space",
                                      "return",    "esc",        "tab",         "delete", "caps lock",
                                      "left shift", "right shift", "ctrl",       "alt",   "cmd"};

bool isOneCharacter(const std::string& text) {
    if (text.empty()) return false;
    const auto lead = static_cast<unsigned char>(text[0]);
    const size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    return length == text.size();
}

bool isKeyName(const std::string& name) {
    return isOneCharacter(name) ||
           std::find(std::begin(kNamedKeys), std::end(kNamedKeys), std::string_view(name)) != std::end(kNamedKeys);
}

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// The pad number that may end a gamepad line: 1 when there is none.
bool readPad(std::istringstream& fields, QzInputEvent* event, std::string* why) {
    std::string word, extra;
    event->pad = 1;
    if (!(fields >> word)) return true;
    char* end = nullptr;
    errno = 0;
    const long pad = std::strtol(word.c_str(), &end, 10);
    if (*end != '\0' || end == word.c_str() || errno != 0 || pad < 1 || pad > kQzMaxGamepads || (fields >> extra)) {
        *why = "the pad number \"" + word + "\" must be a whole number from 1 to " + std::to_string(kQzMaxGamepads) +
               " and end the line";
        return false;
    }
    event->pad = static_cast<int>(pad);
    return true;
}

// "gamepadDown BUTTON [PAD]", "gamepadUp BUTTON [PAD]", "gamepadAxis AXIS VALUE [PAD]",
// "gamepadAdded [PAD]", "gamepadRemoved [PAD]", after the verb.
bool parseGamepad(std::istringstream& fields, QzInputEvent* event, std::string* why) {
    using Kind = QzInputEvent::Kind;
    if (event->kind == Kind::GamepadDown || event->kind == Kind::GamepadUp) {
        if (!(fields >> event->text)) return false;
        if (std::find(std::begin(kGamepadButtons), std::end(kGamepadButtons), std::string_view(event->text)) ==
            std::end(kGamepadButtons)) {
            *why = "unknown gamepad button \"" + event->text + "\"; the buttons are " + listOf(kGamepadButtons);
            return false;
        }
    } else if (event->kind == Kind::GamepadAxis) {
        std::string name;
        if (!(fields >> name)) return false;
        event->text = QzCanonicalGamepadAxis(name);
        if (event->text.empty()) {
            *why = "unknown gamepad axis \"" + name + "\"; the axes are " + listOf(kGamepadAxes);
            return false;
        }
        const bool trigger = event->text.find("trigger") != std::string::npos;
        if (!readFloat(fields, &event->x) || event->x < (trigger ? 0 : -1) || event->x > 1) {
            *why = "the gamepad axis \"" + event->text + "\" takes a position from " + (trigger ? "0" : "-1") +
                   " to 1";
            return false;
        }
    }
    return readPad(fields, event, why);
}

// Parses one line; on failure says why (empty for the general form).
bool parseLine(const std::string& line, QzTimedInputEvent* timed, std::string* why) {
    std::istringstream fields(line);
    std::string frameText, verb;
    if (!(fields >> frameText >> verb)) return false;
    char* end = nullptr;
    errno = 0;
    timed->frame = std::strtol(frameText.c_str(), &end, 10);
    if (*end != '\0' || end == frameText.c_str() || errno != 0 || timed->frame < 1) return false;
    using Kind = QzInputEvent::Kind;
    using Action = QzTimedInputEvent::Action;
    static const struct {
        const char* verb;
        Action action;
        Kind kind;
    } kVerbs[] = {
        {"keydown", Action::Input, Kind::KeyDown},       {"keyup", Action::Input, Kind::KeyUp},
        {"mousedown", Action::Input, Kind::MouseDown},   {"mouseup", Action::Input, Kind::MouseUp},
        {"mousemoved", Action::Input, Kind::MouseMoved}, {"mousemove", Action::Input, Kind::MouseMoved},
        {"text", Action::Input, Kind::Text},             {"pause", Action::Pause, Kind::Text},
        {"play", Action::Play, Kind::Text},              {"screenshot", Action::Screenshot, Kind::Text},
        {"wait", Action::Wait, Kind::Text},
        {"gamepaddown", Action::Input, Kind::GamepadDown}, {"gamepadup", Action::Input, Kind::GamepadUp},
        {"gamepadaxis", Action::Input, Kind::GamepadAxis}, {"gamepadadded", Action::Input, Kind::GamepadAdded},
        {"gamepadremoved", Action::Input, Kind::GamepadRemoved},
    };
    verb = lowerCase(verb);
    const auto* found = std::find_if(std::begin(kVerbs), std::end(kVerbs),
                                     [&](const auto& entry) { return verb == entry.verb; });
    if (found == std::end(kVerbs)) return false;
    timed->action = found->action;
    QzInputEvent& event = timed->event;
    event.kind = found->kind;
    std::string extra;
    switch (timed->action) {
    case Action::Pause:
    case Action::Play:
    case Action::Wait: return !(fields >> extra);
    case Action::Screenshot: event.text = restOfLine(fields); return !event.text.empty();
    case Action::Input: break;
    }
    switch (event.kind) {
    case Kind::KeyDown:
    case Kind::KeyUp:
        event.text = restOfLine(fields);
        if (event.text.empty() || isKeyName(event.text)) return !event.text.empty();
        *why = "unknown key name \"" + event.text + "\"; the keys are single characters and " +
               QzTimelineKeyNames();
        return false;
    case Kind::Text: event.text = restOfLine(fields); return true;
    case Kind::GamepadDown:
    case Kind::GamepadUp:
    case Kind::GamepadAxis:
    case Kind::GamepadAdded:
    case Kind::GamepadRemoved: return parseGamepad(fields, &event, why);
    default: return readFloat(fields, &event.x) && readFloat(fields, &event.y) && !(fields >> extra);
    }
}

}  // namespace

void QzWaitForInputLine(long frame) {
    std::fprintf(stderr, "%s: frame %ld waits for a line on standard input\n", program_invocation_short_name, frame);
    std::string line;
    std::getline(std::cin, line);
}

const char* QzTimelineKeyNames() {
    static const std::string names = listOf(kNamedKeys);
    return names.c_str();
}

bool QzReadInputTimeline(std::istream& in, std::vector<QzTimedInputEvent>* events, std::string* error) {
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        QzTimedInputEvent timed{};
        std::string why;
        if (!parseLine(line.substr(first), &timed, &why)) {
            *error = "line " + std::to_string(number) + ": " +
                     (why.empty() ? "expected \"FRAME keyDown|keyUp NAME\", \"FRAME mouseDown|mouseUp|mouseMoved X "
                                    "Y\", \"FRAME text TEXT\", \"FRAME pause|play|wait\", \"FRAME "
                                    "screenshot FILE.png\", \"FRAME gamepadDown|gamepadUp BUTTON [PAD]\", \"FRAME "
                                    "gamepadAxis AXIS VALUE [PAD]\" or \"FRAME gamepadAdded|gamepadRemoved [PAD]\" "
                                    "(FRAME counts from 1)"
                                  : why) +
                     ": " + line;
            return false;
        }
        events->push_back(std::move(timed));
    }
    std::stable_sort(events->begin(), events->end(),
                     [](const QzTimedInputEvent& a, const QzTimedInputEvent& b) { return a.frame < b.frame; });
    return true;
}
