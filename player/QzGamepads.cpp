// Game controllers of the window player, through SDL's game-controller subsystem.
#include "QzGamepads.h"

#include <algorithm>
#include <cstdio>

QzGamepads::QzGamepads() {
    started_ = SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) == 0;
    if (!started_)
        std::fprintf(stderr, "quillane-player: game controllers are not available: %s; the game plays without them\n",
                     SDL_GetError());
}

QzGamepads::~QzGamepads() {
    for (auto& [id, pad] : pads_) SDL_GameControllerClose(pad.controller);
    if (started_) SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
}

bool QzGamepads::isGamepadEvent(const SDL_Event& event) {
    return event.type >= SDL_CONTROLLERAXISMOTION && event.type <= SDL_CONTROLLERDEVICEREMAPPED;
}

int QzGamepads::lowestFreeNumber() const {
    for (int number = 1; number <= kQzMaxGamepads; ++number) {
        if (std::none_of(pads_.begin(), pads_.end(), [number](const auto& entry) { return entry.second.number == number; }))
            return number;
    }
    return 0;
}

std::vector<QzInputEvent> QzGamepads::plug(int deviceIndex) {
    SDL_GameController* controller = SDL_GameControllerOpen(deviceIndex);
    if (!controller) {
        std::fprintf(stderr, "quillane-player: a game controller cannot be opened: %s\n", SDL_GetError());
        return {};
    }
    const SDL_JoystickID id = SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(controller));
    const char* sdlName = SDL_GameControllerName(controller);
    const std::string name = sdlName && *sdlName ? sdlName : "Game controller";
    const int number = lowestFreeNumber();
    // A pad announced again keeps its number; opening it again only took another reference.
    if (pads_.count(id) || number == 0) {
        if (number == 0)
            std::fprintf(stderr, "quillane-player: game controller '%s' ignored: %d pads are plugged in, as many as the "
                                 "player numbers\n", name.c_str(), kQzMaxGamepads);
        SDL_GameControllerClose(controller);
        return {};
    }
    pads_[id] = {number, controller, name};
    return {{QzInputEvent::Kind::GamepadAdded, name, 0, 0, number}};
}

std::vector<QzInputEvent> QzGamepads::handle(const SDL_Event& event) {
    if (event.type == SDL_CONTROLLERDEVICEADDED) return plug(event.cdevice.which);
    // The other events name the pad by its instance (cdevice, cbutton and caxis agree on where).
    const auto found = pads_.find(event.cdevice.which);
    if (found == pads_.end()) return {};
    const int number = found->second.number;
    switch (event.type) {
    case SDL_CONTROLLERDEVICEREMOVED:
        SDL_GameControllerClose(found->second.controller);
        pads_.erase(found);
        return {{QzInputEvent::Kind::GamepadRemoved, "", 0, 0, number}};
    case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP: {
        const char* button = SDL_GameControllerGetStringForButton(static_cast<SDL_GameControllerButton>(event.cbutton.button));
        if (!button) return {};
        return {{event.type == SDL_CONTROLLERBUTTONDOWN ? QzInputEvent::Kind::GamepadDown : QzInputEvent::Kind::GamepadUp,
                 button, 0, 0, number}};
    }
    case SDL_CONTROLLERAXISMOTION: {
        const char* axis = SDL_GameControllerGetStringForAxis(static_cast<SDL_GameControllerAxis>(event.caxis.axis));
        if (!axis) return {};
        // SDL's axes run from -32768 to 32767: both ends read as -1 and 1.
        const float position = std::max(-1.0f, event.caxis.value / 32767.0f);
        return {{QzInputEvent::Kind::GamepadAxis, axis, position, 0, number}};
    }
    default: return {};
    }
}

std::vector<QzInputEvent> QzGamepads::pluggedIn() const {
    std::vector<QzInputEvent> events;
    for (const auto& [id, pad] : pads_) events.push_back({QzInputEvent::Kind::GamepadAdded, pad.name, 0, 0, pad.number});
    std::sort(events.begin(), events.end(), [](const QzInputEvent& a, const QzInputEvent& b) { return a.pad < b.pad; });
    return events;
}
