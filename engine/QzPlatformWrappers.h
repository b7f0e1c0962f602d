// The platform services that engine code calls by plain name (the game clock, the wall
// clock, background music, debug logging) and the script library `platformWrappers`.
#ifndef QZ_PLATFORM_WRAPPERS_H
#define QZ_PLATFORM_WRAPPERS_H

#include <cstdint>

struct lua_State;

// Seconds on the game clock (QzDate::getTimeAsFloat): 0 at the first reading.
float QzGetSystemTime();
// Year, month, day, hour, minute, second, millisecond of the local time.
void QzGetClockTime(int32_t components[7]);

// Background music through the shared music manager. A null or empty path plays no new
// file (resuming paused music).
void QzPlayAACFile(const char* path, int loop);
void QzPauseAACFile();
void QzStopAACFile();
void SetAACFileVolume(float volume);
bool IsAACFilePlaying();

// Posts "QzLogDebugStatementNotification" with the message under "debugStatement",
// synchronously on the calling thread.
void QzLogDebugStatement(const char* message);

int luaopen_platformWrappers(lua_State* L);

#endif
