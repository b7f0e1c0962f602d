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

// One line of an input timeline. Input and the pauses come before the update of their frame;
// a screenshot is written after it.
struct QzTimedInputEvent {
    enum class Action {
        Input,       // event: a key, a mouse event, or Text (typed into the text panel and finished)
        Pause,       // the window lost the focus: the player pauses the game as the system
        Play,        // the window got the focus back
        Screenshot,  // event.text: the PNG file to write
        Wait,        // the frame waits for a line on standard input (QzWaitForInputLine)
    };
    long frame;  // 1 is the first
    Action action = Action::Input;
    QzInputEvent event;
};

// Reads an input timeline, the one language of qzrun and quillane-player: one event per line,
// "FRAME keyDown NAME", "FRAME keyUp NAME", "FRAME mouseDown X Y", "FRAME mouseUp X Y",
// "FRAME mouseMoved X Y", "FRAME text TEXT" (the answer to the text panel), "FRAME pause",
// "FRAME play", "FRAME screenshot FILE.png" or "FRAME wait". Verbs are read regardless of case, and
// "mousemove" is read as mouseMoved. NAME is a key name the player hands to games (see
// QzTimelineKeyNames) and runs to the end of the line, as TEXT does. Blank lines and lines
// starting with '#' are skipped. Events come back in frame order, keeping the file's order
// within a frame. False with a message naming the line when a line is malformed.
bool QzReadInputTimeline(std::istream& in, std::vector<QzTimedInputEvent>* events, std::string* error);

// A "wait" line before the frame: says on standard error that the frame waits, then reads one
// line of standard input; at the end of the input it goes on at once. Whoever drives the
// player (a test that changes a project under --watch) thus knows when the frames before have
// run, and lets the next one go when it is ready.
void QzWaitForInputLine(long frame);

// The key names a timeline may press besides single characters, separated by commas.
const char* QzTimelineKeyNames();

#endif
