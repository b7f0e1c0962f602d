// Test sound files made on the spot (WAV, FLAC, CAF through libsndfile, Ogg through
// libvorbisenc, AAC and compressed CAF through FFmpeg's encoders) and an OpenAL Soft loopback
// output whose mix the tests read back.
#ifndef QZ_TESTS_SOUND_FILES_H
#define QZ_TESTS_SOUND_FILES_H

#include <cstdint>
#include <string>
#include <vector>

#include <AL/al.h>
#include <AL/alc.h>

// `frames` frames of a sine tone at `hertz` (different per channel: channel c at hertz × (c+1)),
// amplitude about half of full scale, interleaved.
std::vector<int16_t> sineFrames(int channels, int rate, long frames, double hertz = 441.0);

// A tone with loud pseudo-random noise on it: it compresses badly, so its Ogg stream spans
// many pages.
std::vector<int16_t> noisyFrames(int channels, int rate, long frames);

// Writes interleaved 16-bit samples with libsndfile in `format` (SF_FORMAT_* major | subtype
// | endianness).
void writeSndfile(const std::string& path, int format, int channels, int rate, const std::vector<int16_t>& samples);

// Encodes interleaved 16-bit samples as Ogg Vorbis (quality 0.4) with libvorbisenc; with
// `append`, as a further link of a chained stream at the end of the file.
void writeOgg(const std::string& path, int channels, int rate, const std::vector<int16_t>& samples,
              bool append = false);

// Encodes interleaved 16-bit samples with one of FFmpeg's encoders ("aac", "adpcm_ima_qt",
// "alac", ...) into the container the name's ending calls for (".m4a", ".caf", ...).
void writeEncoded(const std::string& path, const char* encoder, int channels, int rate,
                  const std::vector<int16_t>& samples);

// The size in bytes, format and frequency of an OpenAL buffer.
struct BufferFacts {
    ALint size, bits, channels, frequency;
};
BufferFacts bufferFacts(ALuint buffer);

// A process-wide loopback device at 44100 Hz stereo 16-bit, current and installed as the
// shared output on first use, so that sound managers and the music player play into it.
class LoopbackOutput {
public:
    static LoopbackOutput& shared();
    // Mixes the next `frames` frames and returns them interleaved (left, right).
    std::vector<int16_t> render(long frames);
    ALCcontext* context() const { return context_; }

private:
    LoopbackOutput();
    ALCdevice* device_;    // owned by the process, never closed
    ALCcontext* context_;  // owned by the process, never destroyed
};

// The largest absolute sample value of one channel (0 left, 1 right) of stereo frames, or of
// both when channel is -1.
int peak(const std::vector<int16_t>& stereo, int channel = -1);
// The amplitude (in sample units) of a tone of `hertz` in one channel of stereo frames, by the
// Goertzel filter: 0 for a mix without that tone, 16000 for a tone of sineFrames at full level.
// Exact when the frames hold a whole number of periods.
double toneLevel(const std::vector<int16_t>& stereo, int channel, double hertz, int rate);
// The mixer dithers its 16-bit output: samples this small count as silence.
inline constexpr int kDitherLevel = 4;
// The index of the last frame of a stereo mix louder than the dither, or -1.
long lastAudibleFrame(const std::vector<int16_t>& stereo);

#endif
