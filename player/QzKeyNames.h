// Key names the game receives: the name for a key's character, and the modifier keys
// reported from changes of the modifier flags.
#ifndef QZ_KEY_NAMES_H
#define QZ_KEY_NAMES_H

#include <cstdint>
#include <string>
#include <vector>

// Characters of the function keys that have names.
constexpr char32_t kQzUpArrowCharacter = 0xF700;
constexpr char32_t kQzDownArrowCharacter = 0xF701;
constexpr char32_t kQzLeftArrowCharacter = 0xF702;
constexpr char32_t kQzRightArrowCharacter = 0xF703;
constexpr char32_t kQzForwardDeleteCharacter = 0xF728;

// Modifier flags. A mask counts as down when all its bits are set.
constexpr uint64_t kQzCapsLockModifierMask = 0x10000;
constexpr uint64_t kQzShiftModifierFlag = 0x20000;
constexpr uint64_t kQzLeftShiftModifierKeyMask = 0x20000 | 0x2;
constexpr uint64_t kQzRightShiftModifierKeyMask = 0x20000 | 0x4;
constexpr uint64_t kQzControlModifierMask = 0x40000;
constexpr uint64_t kQzAlternateModifierMask = 0x80000;
constexpr uint64_t kQzCommandModifierMask = 0x100000;

// The key name for a key's first character: "up", "down", "left", "right", "delete", "esc",
// "space", "tab", "return", or the character itself as UTF-8. Empty for a character that
// is not a valid code point.
std::string QzKeyNameForCharacter(char32_t character);

struct QzKeyEvent {
    const char* function;  // "keyDown" or "keyUp"
    const char* keyName;
};

// The key events for a change of modifier flags from previous to current, in the order
// caps lock, right shift, left shift, ctrl, alt, cmd.
std::vector<QzKeyEvent> QzModifierKeyEvents(uint64_t previous, uint64_t current);

// Appends a code point as UTF-8; false (nothing appended) for surrogates and values above
// U+10FFFF.
bool QzAppendUTF8(std::string* text, char32_t character);

#endif
