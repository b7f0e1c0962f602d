// The loopback recorder and its WAV writer.
#include "QzAudioRecorder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

#include <AL/alext.h>

#include "QzAudioOutput.h"

namespace {

template <typename T>
void put(std::ofstream& out, T value) {
    out.write(reinterpret_cast<const char*>(&value), sizeof value);  // WAV is little-endian, as is this machine
}

}  // namespace

std::unique_ptr<QzAudioRecorder> QzAudioRecorder::open(std::string* error, uint64_t maxDataBytes) {
    if (!alcIsExtensionPresent(nullptr, "ALC_SOFT_loopback")) {
        *error = "this OpenAL has no loopback device (ALC_SOFT_loopback); install OpenAL Soft";
        return nullptr;
    }
    auto openLoopback = reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
    std::unique_ptr<QzAudioRecorder> recorder(new QzAudioRecorder);
    recorder->maxDataBytes_ = std::min(maxDataBytes, kWavMaxDataBytes) / kFrameBytes * kFrameBytes;
    recorder->device_ = openLoopback ? openLoopback(nullptr) : nullptr;
    // Float output: OpenAL Soft dithers integer output, which would put noise into silence.
    const ALCint attributes[] = {ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT, ALC_FORMAT_TYPE_SOFT, ALC_FLOAT_SOFT,
                                 ALC_FREQUENCY, kSampleRate, 0};
    if (recorder->device_) recorder->context_ = alcCreateContext(recorder->device_, attributes);
    if (!recorder->context_) {
        *error = "cannot open OpenAL Soft's loopback device for stereo at 44100 Hz";
        return nullptr;
    }
    if (!QzUseSharedAudioOutput(recorder->device_, recorder->context_)) {
        *error = "the sound output was opened before the recorder";
        return nullptr;
    }
    alcMakeContextCurrent(recorder->context_);
    return recorder;
}

// The shared output only borrows the loopback device; the recorder outlives every engine
// that plays through it and closes it.
QzAudioRecorder::~QzAudioRecorder() {
    if (alcGetCurrentContext() == context_) alcMakeContextCurrent(nullptr);
    if (context_) alcDestroyContext(context_);
    if (device_) alcCloseDevice(device_);
}

void QzAudioRecorder::renderUntil(double seconds) {
    static auto render = reinterpret_cast<LPALCRENDERSAMPLESSOFT>(alcGetProcAddress(device_, "alcRenderSamplesSOFT"));
    const long long target = std::llround(seconds * kSampleRate);
    if (target <= framesRendered_) return;
    const size_t count = static_cast<size_t>(target - framesRendered_);
    std::vector<float> rendered(count * kChannels);
    render(device_, rendered.data(), static_cast<ALCsizei>(count));
    framesRendered_ = target;
    const size_t room = static_cast<size_t>(maxDataBytes_ / sizeof(int16_t)) - samples_.size();
    if (rendered.size() > room) {
        rendered.resize(room);
        if (!full_)
            std::fprintf(stderr, "quillane-player: --audio: the recording stops at %.1f s: a WAV file holds at most "
                                 "%llu bytes of sound\n", static_cast<double>(samples_.size() + room) / kChannels /
                                 kSampleRate, static_cast<unsigned long long>(maxDataBytes_));
        full_ = true;
    }
    for (float sample : rendered)
        samples_.push_back(static_cast<int16_t>(std::lround(std::clamp(sample, -1.0f, 1.0f) * 32767.0f)));
}

bool QzAudioRecorder::writeWav(const std::string& path, std::string* error) const {
    std::ofstream out(path, std::ios::binary);
    const uint32_t dataBytes = static_cast<uint32_t>(samples_.size() * sizeof(int16_t));
    out.write("RIFF", 4);
    put<uint32_t>(out, 36 + dataBytes);
    out.write("WAVEfmt ", 8);
    put<uint32_t>(out, 16);
    put<uint16_t>(out, 1);  // PCM
    put<uint16_t>(out, kChannels);
    put<uint32_t>(out, kSampleRate);
    put<uint32_t>(out, kSampleRate * kChannels * 2);
    put<uint16_t>(out, kChannels * 2);
    put<uint16_t>(out, 16);
    out.write("data", 4);
    put<uint32_t>(out, dataBytes);
    out.write(reinterpret_cast<const char*>(samples_.data()), dataBytes);
    if (!out) {
        *error = "cannot write '" + path + "'; check that its folder exists and is writable";
        return false;
    }
    return true;
}
