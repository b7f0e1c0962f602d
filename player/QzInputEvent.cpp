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
    }
    return nullptr;
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
    static const std::string names = [] {
        std::string list;
        for (const char* name : kNamedKeys) list += (list.empty() ? "" : ", ") + std::string(name);
        return list;
    }();
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
                                    "Y\", \"FRAME text TEXT\", \"FRAME pause|play|wait\" or \"FRAME "
                                    "screenshot FILE.png\" (FRAME counts from 1)"
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
