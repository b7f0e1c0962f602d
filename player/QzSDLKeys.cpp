// The mapping from SDL key events to the key names the game receives.
#include "QzSDLKeys.h"

#include "QzKeyNames.h"

namespace {

// Keys named by the key-name table through the characters they stand for.
char32_t tableCharacterForKey(SDL_Keycode sym) {
    switch (sym) {
    case SDLK_UP: return kQzUpArrowCharacter;
    case SDLK_DOWN: return kQzDownArrowCharacter;
    case SDLK_LEFT: return kQzLeftArrowCharacter;
    case SDLK_RIGHT: return kQzRightArrowCharacter;
    case SDLK_DELETE: return kQzForwardDeleteCharacter;
    case SDLK_BACKSPACE: return 127;
    case SDLK_ESCAPE: return 27;
    case SDLK_RETURN:
    case SDLK_RETURN2:
    case SDLK_KP_ENTER: return 13;
    case SDLK_TAB: return 9;
    case SDLK_SPACE: return 32;
    default: return 0;
    }
}

// The keypad's keys while num lock is off act as the navigation keys printed on them.
SDL_Keycode keypadNavigationKey(SDL_Keycode sym) {
    switch (sym) {
    case SDLK_KP_8: return SDLK_UP;
    case SDLK_KP_2: return SDLK_DOWN;
    case SDLK_KP_4: return SDLK_LEFT;
    case SDLK_KP_6: return SDLK_RIGHT;
    case SDLK_KP_7: return SDLK_HOME;
    case SDLK_KP_1: return SDLK_END;
    case SDLK_KP_9: return SDLK_PAGEUP;
    case SDLK_KP_3: return SDLK_PAGEDOWN;
    case SDLK_KP_0: return SDLK_INSERT;
    case SDLK_KP_PERIOD: return SDLK_DELETE;
    default: return sym;
    }
}

// Names for keys that type no character and that the key-name table leaves out.
std::string nonCharacterKeyName(SDL_Keycode sym) {
    if (sym >= SDLK_F1 && sym <= SDLK_F12) return "f" + std::to_string(sym - SDLK_F1 + 1);
    if (sym >= SDLK_F13 && sym <= SDLK_F24) return "f" + std::to_string(sym - SDLK_F13 + 13);
    switch (sym) {
    case SDLK_HOME: return "home";
    case SDLK_END: return "end";
    case SDLK_PAGEUP: return "page up";
    case SDLK_PAGEDOWN: return "page down";
    case SDLK_INSERT: return "insert";
    case SDLK_HELP: return "help";
    default: return {};
    }
}

// The first code point of UTF-8 text; 0 when the text is empty or does not start with a
// whole, valid character.
char32_t firstCharacter(const std::string& text) {
    if (text.empty()) return 0;
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    size_t length;
    char32_t c;
    if (lead < 0x80) return lead;
    if ((lead & 0xE0) == 0xC0) length = 2, c = lead & 0x1F;
    else if ((lead & 0xF0) == 0xE0) length = 3, c = lead & 0x0F;
    else if ((lead & 0xF8) == 0xF0) length = 4, c = lead & 0x07;
    else return 0;
    if (text.size() < length) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        c = (c << 6) | (byte(i) & 0x3F);
    }
    return c;
}

// The character of a key without the text event: keypad symbols, or the key's own
// character with letters in the case shift and caps lock give.
char32_t untypedCharacter(const SDL_Keysym& key) {
    switch (key.sym) {
    case SDLK_KP_0: case SDLK_KP_1: case SDLK_KP_2: case SDLK_KP_3: case SDLK_KP_4:
    case SDLK_KP_5: case SDLK_KP_6: case SDLK_KP_7: case SDLK_KP_8: case SDLK_KP_9:
        return U'0' + (key.sym == SDLK_KP_0 ? 0 : key.sym - SDLK_KP_1 + 1);
    case SDLK_KP_PERIOD: return U'.';
    case SDLK_KP_DIVIDE: return U'/';
    case SDLK_KP_MULTIPLY: return U'*';
    case SDLK_KP_MINUS: return U'-';
    case SDLK_KP_PLUS: return U'+';
    case SDLK_KP_EQUALS: return U'=';
    default: break;
    }
    if (key.sym & SDLK_SCANCODE_MASK || key.sym < 32) return 0;
    char32_t c = static_cast<char32_t>(key.sym);
    const bool upper = ((key.mod & KMOD_SHIFT) != 0) != ((key.mod & KMOD_CAPS) != 0);
    if (upper && c >= 'a' && c <= 'z') c -= 'a' - 'A';
    return c;
}

}  // namespace

std::string QzKeyNameForSDLKey(const SDL_Keysym& key, const std::string& typed) {
    const SDL_Keycode sym = key.mod & KMOD_NUM ? key.sym : keypadNavigationKey(key.sym);
    if (const char32_t character = tableCharacterForKey(sym)) return QzKeyNameForCharacter(character);
    std::string name = nonCharacterKeyName(sym);
    if (!name.empty()) return name;
    char32_t character = firstCharacter(typed);
    if (character == 0) character = untypedCharacter(key);
    return character == 0 ? std::string() : QzKeyNameForCharacter(character);
}

bool QzIsSDLModifierKey(SDL_Keycode sym) {
    switch (sym) {
    case SDLK_LSHIFT: case SDLK_RSHIFT: case SDLK_LCTRL: case SDLK_RCTRL:
    case SDLK_LALT: case SDLK_RALT: case SDLK_LGUI: case SDLK_RGUI: case SDLK_CAPSLOCK:
        return true;
    default:
        return false;
    }
}

uint64_t QzModifierFlagsForSDL(uint16_t mod) {
    uint64_t flags = 0;
    if (mod & KMOD_CAPS) flags |= kQzCapsLockModifierMask;
    if (mod & KMOD_LSHIFT) flags |= kQzLeftShiftModifierKeyMask;
    if (mod & KMOD_RSHIFT) flags |= kQzRightShiftModifierKeyMask;
    if (mod & KMOD_CTRL) flags |= kQzControlModifierMask;
    if (mod & KMOD_ALT) flags |= kQzAlternateModifierMask;
    if (mod & KMOD_GUI) flags |= kQzCommandModifierMask;
    return flags;
}
