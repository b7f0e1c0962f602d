// Packing a game project folder into a complete bundle: a folder (NAME.app) or a zip archive.
#ifndef QZ_GAME_PACKER_H
#define QZ_GAME_PACKER_H

#include <string>

// Makes a bundle of the project at output: Contents/Info.plist from game.xml's title and
// full-screen settings, the engine script the player ships, the project (files and folders
// whose names start with '.' left out) and the project's Default.png as the loading picture
// when it has one. An output ending in ".zip" or ".qzgame" is a zip archive holding NAME.app/,
// anything else the bundle folder itself. The bundle is made under a temporary name beside
// the output and renamed into place when complete; an existing output is never replaced.
// False with error set to one line naming the file and what to do.
bool QzPackGame(const std::string& project, const std::string& output, std::string* error);

#endif
