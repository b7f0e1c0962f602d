// Finding the files the player ships (its fallback picture, the default games) from the
// running program's own location, in the build folder and in an installed layout.
#ifndef QZ_SHIPPED_FILES_H
#define QZ_SHIPPED_FILES_H

#include <string>

// The folder of the running program (read from /proc/self/exe); "." when it cannot be read.
std::string QzProgramDirectory();

// Where a shipped file or folder lies: beside the program (the build folder puts it there),
// else in ../share/quillane-player/ from the program's folder (PREFIX/bin/quillane-player
// with PREFIX/share/quillane-player/). Empty when it is in neither place.
std::string QzFindShippedFile(const std::string& name);

#endif
