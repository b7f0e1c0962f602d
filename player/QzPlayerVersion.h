// The text of quillane-player --version: its own version and those of the libraries it runs on.
#ifndef QZ_PLAYER_VERSION_H
#define QZ_PLAYER_VERSION_H

#include <string>

// One line for the player, then one line per library: Lua and Box2D as built into the
// program, SDL2, OpenAL Soft and libxml2 as loaded at run time.
std::string QzPlayerVersionText();

#endif
