// Stand-in game controllers for the window tests, loaded into the player with LD_PRELOAD: a
// thread reads lines from the named pipe that QZ_VIRTUAL_PAD_PIPE names and plugs in, presses,
// moves and unplugs SDL virtual game controllers in the player's own SDL. The lines are
// "plug ID", "button ID INDEX 0|1", "axis ID INDEX VALUE" (SDL's numbers and -32768..32767)
// and "unplug ID", ID being the test's name for a pad; each done line is echoed on standard
// output as "virtual pad: LINE".
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>

namespace {

// The device index of an open joystick now (indexes move as devices come and go), or -1.
int deviceIndexOf(SDL_Joystick* joystick) {
    const SDL_JoystickID id = SDL_JoystickInstanceID(joystick);
    for (int index = 0; index < SDL_NumJoysticks(); ++index)
        if (SDL_JoystickGetDeviceInstanceID(index) == id) return index;
    return -1;
}

bool perform(const std::string& line, std::map<std::string, SDL_Joystick*>* pads) {
    std::istringstream words(line);
    std::string verb, id;
    int index = 0, value = 0;
    if (!(words >> verb >> id)) return false;
    if (verb == "plug") {
        const std::string name = "Virtual pad " + id;
        SDL_VirtualJoystickDesc description{};
        description.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        description.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
        description.naxes = SDL_CONTROLLER_AXIS_MAX;
        description.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
        description.name = name.c_str();
        const int device = SDL_JoystickAttachVirtualEx(&description);
        SDL_Joystick* joystick = device >= 0 ? SDL_JoystickOpen(device) : nullptr;
        if (joystick) (*pads)[id] = joystick;
        return joystick != nullptr;
    }
    SDL_Joystick* joystick = pads->count(id) ? (*pads)[id] : nullptr;
    if (!joystick) return false;
    if (verb == "unplug") {
        const int device = deviceIndexOf(joystick);
        SDL_JoystickClose(joystick);
        pads->erase(id);
        return device >= 0 && SDL_JoystickDetachVirtual(device) == 0;
    }
    if (!(words >> index >> value)) return false;
    if (verb == "button") return SDL_JoystickSetVirtualButton(joystick, index, static_cast<Uint8>(value)) == 0;
    if (verb == "axis") return SDL_JoystickSetVirtualAxis(joystick, index, static_cast<Sint16>(value)) == 0;
    return false;
}

void serve(std::string path) {
    std::ifstream pipe(path);
    std::map<std::string, SDL_Joystick*> pads;
    for (std::string line; std::getline(pipe, line);) {
        const bool done = perform(line, &pads);
        std::printf("virtual pad: %s%s%s\n", line.c_str(), done ? "" : " failed: ", done ? "" : SDL_GetError());
        std::fflush(stdout);
    }
}

__attribute__((constructor)) void startServing() {
    if (const char* path = std::getenv("QZ_VIRTUAL_PAD_PIPE")) std::thread(serve, std::string(path)).detach();
}

}  // namespace
