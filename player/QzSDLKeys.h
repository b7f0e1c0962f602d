// Key names for SDL key events: the character a key types, the names of the keys that type
// none, and the modifier flags of SDL's modifier state.
#ifndef QZ_SDL_KEYS_H
#define QZ_SDL_KEYS_H

#include <SDL.h>

#include <cstdint>
#include <string>

// The name the game receives for a pressed key. Keys of the key-name table ("up", "return",
// "space", ...) and the other non-character keys ("f1" to "f24", "home", "end", "page up",
// "page down", "insert", "help"; the keypad's navigation keys while num lock is off) are
// named by what they are; any other key by the first character it types, `typed` (the text
// of the text event SDL sends with the press, empty when there is none), or failing that by
// its character without modifiers. Empty for a key that has no name (a dead key, media keys).
std::string QzKeyNameForSDLKey(const SDL_Keysym& key, const std::string& typed);

// Whether the key is a modifier (shift, ctrl, alt, the command keys, caps lock), reported
// through changes of the modifier flags instead of its own key events.
bool QzIsSDLModifierKey(SDL_Keycode sym);

// The modifier flags of SDL's modifier state, for QzModifierKeyEvents.
uint64_t QzModifierFlagsForSDL(uint16_t mod);

#endif
