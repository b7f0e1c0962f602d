// Input event names and the headless input timeline reader.
#include "QzInputEvent.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>

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

bool parseLine(const std::string& line, QzTimedInputEvent* timed) {
    std::istringstream fields(line);
    std::string frameText, verb;
    if (!(fields >> frameText >> verb)) return false;
    char* end = nullptr;
    errno = 0;
    timed->frame = std::strtol(frameText.c_str(), &end, 10);
    if (*end != '\0' || end == frameText.c_str() || errno != 0 || timed->frame < 1) return false;
    static const struct {
        const char* verb;
        QzInputEvent::Kind kind;
    } kVerbs[] = {
        {"keydown", QzInputEvent::Kind::KeyDown},     {"keyup", QzInputEvent::Kind::KeyUp},
        {"mousedown", QzInputEvent::Kind::MouseDown}, {"mouseup", QzInputEvent::Kind::MouseUp},
        {"mousemove", QzInputEvent::Kind::MouseMoved}, {"text", QzInputEvent::Kind::Text},
    };
    const auto* found = std::find_if(std::begin(kVerbs), std::end(kVerbs),
                                     [&](const auto& entry) { return verb == entry.verb; });
    if (found == std::end(kVerbs)) return false;
    QzInputEvent& event = timed->event;
    event.kind = found->kind;
    switch (event.kind) {
    case QzInputEvent::Kind::KeyDown:
    case QzInputEvent::Kind::KeyUp:
        event.text = restOfLine(fields);
        return !event.text.empty();
    case QzInputEvent::Kind::Text:
        event.text = restOfLine(fields);
        return true;
    default: {
        std::string extra;
        return readFloat(fields, &event.x) && readFloat(fields, &event.y) && !(fields >> extra);
    }
    }
}

}  // namespace

bool QzReadInputTimeline(std::istream& in, std::vector<QzTimedInputEvent>* events, std::string* error) {
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        QzTimedInputEvent timed{};
        if (!parseLine(line.substr(first), &timed)) {
            *error = "line " + std::to_string(number) + " is not \"FRAME keydown|keyup NAME\", \"FRAME "
                     "mousedown|mouseup|mousemove X Y\" or \"FRAME text TEXT\" (FRAME counts from 1): " + line;
            return false;
        }
        events->push_back(std::move(timed));
    }
    std::stable_sort(events->begin(), events->end(),
                     [](const QzTimedInputEvent& a, const QzTimedInputEvent& b) { return a.frame < b.frame; });
    return true;
}
