// Recording of what the game plays: OpenAL Soft's loopback device as the shared sound output,
// rendered on demand at a fixed rate in step with headless frames, written as a WAV file.
#ifndef QZ_AUDIO_RECORDER_H
#define QZ_AUDIO_RECORDER_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <AL/alc.h>

class QzAudioRecorder {
public:
    static constexpr int kSampleRate = 44100;
    static constexpr int kChannels = 2;
    static constexpr size_t kFrameBytes = kChannels * sizeof(int16_t);
    // A WAV file's sizes are 32-bit: the data may take 4 GiB less the 36 bytes of header the
    // RIFF size counts, in whole frames.
    static constexpr uint64_t kWavMaxDataBytes = (0xFFFFFFFFull - 36) / kFrameBytes * kFrameBytes;

    // Opens a loopback device (stereo at kSampleRate) and makes it the process's shared
    // sound output. Must run before anything opens the output. Null with error set when the
    // loopback extension is missing or the output is already open. The recording keeps at
    // most maxDataBytes of samples.
    static std::unique_ptr<QzAudioRecorder> open(std::string* error, uint64_t maxDataBytes = kWavMaxDataBytes);
    ~QzAudioRecorder();
    QzAudioRecorder(const QzAudioRecorder&) = delete;
    QzAudioRecorder& operator=(const QzAudioRecorder&) = delete;

    // Renders the output up to `seconds` from the start (nothing when already there). Past
    // the size limit the output is still rendered, but no longer kept.
    void renderUntil(double seconds);
    // Whether the recording stopped at its size limit.
    bool full() const { return full_; }
    // Writes everything rendered so far as a 16-bit PCM WAV file.
    bool writeWav(const std::string& path, std::string* error) const;

private:
    QzAudioRecorder() = default;

    ALCdevice* device_ = nullptr;    // owned; lent to the shared output
    ALCcontext* context_ = nullptr;  // owned; lent to the shared output
    std::vector<int16_t> samples_;   // interleaved 16-bit frames
    long long framesRendered_ = 0;
    uint64_t maxDataBytes_ = kWavMaxDataBytes;
    bool full_ = false;
};

#endif
