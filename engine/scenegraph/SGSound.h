// SGSound: the value record of one decoded sound that sound ports carry.
#ifndef SG_SOUND_H
#define SG_SOUND_H

#include <cstdint>

// A decoded sound: an array of OpenAL buffer names and its length. Port copies never own
// the buffers; the sound asset that decoded them does.
struct SGSound {
    uint32_t* buffers;  // borrowed from the sound asset; null when count is 0
    int32_t count;
};

inline constexpr SGSound SGSoundNull = {nullptr, 0};

#endif
