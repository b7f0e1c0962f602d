// One input event as the player hands it on: a key by name, a mouse position in game
// coordinates, a piece of typed text, or a game controller's button, stick or plug; and the
// timeline of them that headless runs replay.
#ifndef QZ_INPUT_EVENT_H
#define QZ_INPUT_EVENT_H

#include <istream>
#include <string>
#include <vector>

struct QzInputEvent {
    enum class Kind {
        KeyDown, KeyUp, MouseDown, MouseUp, MouseMoved, Text,
        GamepadDown, GamepadUp, GamepadAxis, GamepadAdded, GamepadRemoved,
    };
    Kind kind = Kind::KeyDown;
    std::string text;  // the key name, the typed text, a pad's button or axis name, or a new pad's name
    float x = 0;       // game coordinates of mouse events; an axis's position
    float y = 0;
    int pad = 0;       // the game controller's number, from 1 (see kQzMaxGamepads)
};

// Game controllers are numbered from 1 in the order they are plugged in; a pad takes the lowest
// number that no plugged pad holds, so a pad plugged back in after a removal takes its old
// number again. Numbers go up to kQzMaxGamepads: more pads than that are ignored (games show
// at most a few players' pads, and a number per pad keeps behaviours simple).
constexpr int kQzMaxGamepads = 8;

// The script global an event calls ("keyDown", "mouseMoved", "gamepadDown", ...); null for
// typed text, which only the text-entry panel takes.
const char* QzInputFunctionName(QzInputEvent::Kind kind);
bool QzIsGamepadEvent(QzInputEvent::Kind kind);

// Game controllers' buttons and axes go by SDL's game-controller names ("a", "dpup",
// "leftshoulder"; "leftx", "lefttrigger").
// The known name a timeline or a game writes for an axis ("triggerleft" is read as
// "lefttrigger"), or empty when there is none.
std::string QzCanonicalGamepadAxis(const std::string& name);

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
// "FRAME play", "FRAME screenshot FILE.png", "FRAME wait", or a game controller's
// "FRAME gamepadDown BUTTON [PAD]", "FRAME gamepadUp BUTTON [PAD]", "FRAME gamepadAxis AXIS
// VALUE [PAD]" (VALUE from -1 to 1, triggers from 0 to 1), "FRAME gamepadAdded [PAD]" and
// "FRAME gamepadRemoved [PAD]" (PAD from 1 to kQzMaxGamepads, 1 when left out). Verbs are read regardless of case, and
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
