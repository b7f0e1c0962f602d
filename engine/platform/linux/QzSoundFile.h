// Whole sound files read into memory on libsndfile: 16-bit mono for any format, and the
// linear PCM of Core Audio Format files as stored. Knows nothing of OpenAL or the interpreter.
#ifndef QZ_SOUND_FILE_H
#define QZ_SOUND_FILE_H

#include <cstdint>
#include <vector>

// Decoded sound data. Eight-bit samples are unsigned (silence is 128), wider ones signed
// little-endian, channels interleaved.
struct QzPCMData {
    std::vector<uint8_t> bytes;
    int channels = 0;
    int bitsPerChannel = 0;
    int sampleRate = 0;
};

enum class QzSoundFileStatus {
    ok,
    unreadable,        // missing, a folder, empty, not a sound format libsndfile reads
    tooManyChannels,   // three or more channels where at most two are taken
    readFailed,        // the header was read but the data was not, or is too long to hold
    notLinearPCM,      // a ".caf" file whose data is compressed
};

// At most this many bytes of decoded data are held for one sound (OpenAL takes the size of a
// buffer as a signed 32-bit number).
inline constexpr uint64_t kQzMaxPCMBytes = 0x7fffffff;

// Reads every frame of a file of one or two channels as 16-bit mono at the file's own
// sample rate; two channels are averaged. Formats libsndfile does not read (AAC, IMA4 and
// other compressed CAF data, ...) are decoded with FFmpeg's libraries.
QzSoundFileStatus QzReadSoundFileMono16(const char* path, QzPCMData* data);

// Reads a Core Audio Format file holding linear PCM: the data bytes as stored, with the
// file's channel count, bit depth and sample rate (signed 8-bit samples are made unsigned,
// big-endian samples little-endian).
QzSoundFileStatus QzReadCAFLinearPCM(const char* path, QzPCMData* data);

#endif
