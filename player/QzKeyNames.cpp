// The key-name table and the modifier-key masks.
#include "QzKeyNames.h"

bool QzAppendUTF8(std::string* text, char32_t c) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    if (c < 0x80) {
        text->push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        text->push_back(static_cast<char>(0xC0 | (c >> 6)));
        text->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        text->push_back(static_cast<char>(0xE0 | (c >> 12)));
        text->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        text->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        text->push_back(static_cast<char>(0xF0 | (c >> 18)));
        text->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        text->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        text->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
    return true;
}

std::string QzKeyNameForCharacter(char32_t character) {
    switch (character) {
    case kQzUpArrowCharacter: return "up";
    case kQzDownArrowCharacter: return "down";
    case kQzLeftArrowCharacter: return "left";
    case kQzRightArrowCharacter: return "right";
    case kQzForwardDeleteCharacter:
    case 127: return "delete";
    case 27: return "esc";
    case 32: return "space";
    case 9: return "tab";
    case 10:
    case 13: return "return";
    default: break;
    }
    std::string name;
    QzAppendUTF8(&name, character);
    return name;
}

std::vector<QzKeyEvent> QzModifierKeyEvents(uint64_t previous, uint64_t current) {
    static const struct {
        uint64_t mask;
        const char* keyName;
    } kModifiers[] = {
        {kQzCapsLockModifierMask, "caps lock"},     {kQzRightShiftModifierKeyMask, "right shift"},
        {kQzLeftShiftModifierKeyMask, "left shift"}, {kQzControlModifierMask, "ctrl"},
        {kQzAlternateModifierMask, "alt"},           {kQzCommandModifierMask, "cmd"},
    };
    std::vector<QzKeyEvent> events;
    for (const auto& modifier : kModifiers) {
        const bool wasDown = (previous & modifier.mask) == modifier.mask;
        const bool isDown = (current & modifier.mask) == modifier.mask;
        if (isDown && !wasDown) events.push_back({"keyDown", modifier.keyName});
        if (wasDown && !isDown) events.push_back({"keyUp", modifier.keyName});
    }
    return events;
}
