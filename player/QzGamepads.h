// The window player's game controllers: SDL's game-controller subsystem, each plugged pad
// numbered (see kQzMaxGamepads), and their SDL events turned into the player's input events.
#ifndef QZ_GAMEPADS_H
#define QZ_GAMEPADS_H

#include <SDL.h>

#include <map>
#include <string>
#include <vector>

#include "QzInputEvent.h"

class QzGamepads {
public:
    // Starts SDL's game-controller subsystem (SDL's video must have started). When it cannot
    // start, one line on standard error says so and the player goes on without pads.
    QzGamepads();
    // Closes the pads and the subsystem; before SDL_Quit.
    ~QzGamepads();
    QzGamepads(const QzGamepads&) = delete;
    QzGamepads& operator=(const QzGamepads&) = delete;

    static bool isGamepadEvent(const SDL_Event& event);
    // The input events an SDL game-controller event makes: a pad plugged in or removed, a
    // button pressed or released, an axis moved (from -1 to 1; triggers from 0 to 1). None
    // for a pad past the numbered ones, and none for a pad already known.
    std::vector<QzInputEvent> handle(const SDL_Event& event);
    // A GamepadAdded event for each pad plugged in now, in number order: a game that loads
    // after the pads were plugged learns of them.
    std::vector<QzInputEvent> pluggedIn() const;

private:
    struct Pad {
        int number;
        SDL_GameController* controller;  // owned
        std::string name;
    };
    std::vector<QzInputEvent> plug(int deviceIndex);
    int lowestFreeNumber() const;

    bool started_ = false;
    std::map<SDL_JoystickID, Pad> pads_;
};

#endif
