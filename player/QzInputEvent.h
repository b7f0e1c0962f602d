// One input event as the player hands it on: a key by name, a mouse position in game
// coordinates, or a piece of typed text; and the timeline of them that headless runs replay.
#ifndef QZ_INPUT_EVENT_H
#define QZ_INPUT_EVENT_H

#include <istream>
#include <string>
#include <vector>

struct QzInputEvent {
    enum class Kind { KeyDown, KeyUp, MouseDown, MouseUp, MouseMoved, Text };
    Kind kind = Kind::KeyDown;
    std::string text;  // the key name, or the typed text
    float x = 0;       // game coordinates of mouse events
    float y = 0;
};

// The script global an event calls ("keyDown", "mouseMoved", ...); null for typed text,
// which only the text-entry panel takes.
const char* QzInputFunctionName(QzInputEvent::Kind kind);

struct QzTimedInputEvent {
    long frame;  // delivered before this frame (1 is the first) is drawn
    QzInputEvent event;
};

// Reads an input timeline: one event per line, "FRAME keydown NAME", "FRAME keyup NAME",
// "FRAME mousedown X Y", "FRAME mouseup X Y", "FRAME mousemove X Y" or "FRAME text TEXT",
// where NAME and TEXT run to the end of the line; blank lines and lines starting with '#'
// are skipped. Events come back in frame order, keeping the file's order within a frame.
// False with a message naming the line when a line is malformed.
bool QzReadInputTimeline(std::istream& in, std::vector<QzTimedInputEvent>* events, std::string* error);

#endif
