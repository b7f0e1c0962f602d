// The intro movie's pictures at their times and its sound, on the main thread.
#include "QzIntroMovie.h"

#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include <AL/al.h>

#include "QzALContextScope.h"
#include "QzAudioOutput.h"
#include "QzFFmpegAudioStream.h"
#include "QzMovieReader.h"
#include "QzOpenALCheck.h"

namespace {

using Clock = std::chrono::steady_clock;

// How often events are handled while a picture waits for its time; the sound's queue is
// topped up as often.
constexpr auto kEventSlice = std::chrono::milliseconds(5);

// The movie's sound: 16-bit stereo at the movie's rate, streamed through a source of its own
// in a context of its own on the shared device (the game's engine is not made yet), with a
// few buffers of a quarter second that are refilled as they play out.
class IntroSound {
public:
    // Null when the movie has no sound this player decodes, or there is no sound device.
    static std::unique_ptr<IntroSound> open(const std::string& path) {
        std::unique_ptr<QzFFmpegAudioStream> stream = QzFFmpegAudioStream::open(path.c_str(), QzSampleFormat::int16, 2, 0);
        if (!stream) return nullptr;
        ALCcontext* context = QzCreateSharedDeviceContext("intro movie");
        if (!context) return nullptr;
        return std::unique_ptr<IntroSound>(new IntroSound(std::move(stream), context));
    }
    ~IntroSound() {
        {
            QzALContextScope scope(context_);
            alSourceStop(source_);
            alDeleteSources(1, &source_);
            alDeleteBuffers(kBuffers, buffers_);
            QzCheckALError("intro movie: alDeleteBuffers");
        }
        alcDestroyContext(context_);
    }
    IntroSound(const IntroSound&) = delete;
    IntroSound& operator=(const IntroSound&) = delete;

    // Queues the first buffers and plays.
    void start() {
        QzALContextScope scope(context_);
        for (ALuint buffer : buffers_) {
            if (!fill(buffer)) break;
        }
        alSourcePlay(source_);
        QzCheckALError("intro movie: alSourcePlay");
    }
    // Refills what has played out; a source that ran dry while sound remains plays on.
    void topUp() {
        QzALContextScope scope(context_);
        ALint processed = 0;
        alGetSourcei(source_, AL_BUFFERS_PROCESSED, &processed);
        while (processed-- > 0) {
            ALuint buffer = 0;
            alSourceUnqueueBuffers(source_, 1, &buffer);
            if (!fill(buffer)) break;
        }
        ALint state = 0, queued = 0;
        alGetSourcei(source_, AL_SOURCE_STATE, &state);
        alGetSourcei(source_, AL_BUFFERS_QUEUED, &queued);
        if (state != AL_PLAYING && queued > 0) alSourcePlay(source_);
        QzCheckALError("intro movie: alSourceQueueBuffers");
    }

private:
    static constexpr int kBuffers = 4;

    IntroSound(std::unique_ptr<QzFFmpegAudioStream> stream, ALCcontext* context)
        : stream_(std::move(stream)), context_(context) {
        QzALContextScope scope(context_);
        alGenSources(1, &source_);
        alGenBuffers(kBuffers, buffers_);
        QzCheckALError("intro movie: alGenBuffers");
    }

    // Decodes the next quarter second into the buffer and queues it; false at the end.
    bool fill(ALuint buffer) {
        samples_.resize(static_cast<size_t>(stream_->sampleRate() / 4) * 2);
        const long frames = stream_->read(samples_.data(), static_cast<long>(samples_.size() / 2));
        if (frames <= 0) return false;
        alBufferData(buffer, AL_FORMAT_STEREO16, samples_.data(), static_cast<ALsizei>(frames * 4), stream_->sampleRate());
        alSourceQueueBuffers(source_, 1, &buffer);
        return true;
    }

    std::unique_ptr<QzFFmpegAudioStream> stream_;
    ALCcontext* context_;  // owned
    ALuint source_ = 0;
    ALuint buffers_[kBuffers] = {};
    std::vector<int16_t> samples_;
};

}  // namespace

void QzPlayIntroMovie(const std::string& path, const QzIntroMovieCalls& calls,
                      std::shared_ptr<const QzOverlayImage>* last, double* aspect) {
    last->reset();
    std::string error;
    const std::unique_ptr<QzMovieReader> reader = QzMovieReader::open(path, &error);
    if (!reader) {
        std::fprintf(stderr, "quillane-player: intro movie '%s' skipped: %s\n", path.c_str(), error.c_str());
        return;
    }
    *aspect = reader->displayAspectRatio();
    const std::unique_ptr<IntroSound> sound = IntroSound::open(path);
    if (sound) sound->start();
    const Clock::time_point start = Clock::now();
    QzMovieFrame frame;
    while (!calls.endRequested()) {
        if (!reader->nextFrame(&frame, &error)) {
            if (!error.empty())
                std::fprintf(stderr, "quillane-player: intro movie '%s' ended early: %s\n", path.c_str(), error.c_str());
            return;
        }
        const Clock::time_point due = start + std::chrono::duration_cast<Clock::duration>(
                                                  std::chrono::duration<double>(frame.seconds));
        bool ended = false;
        while (!(ended = calls.endRequested()) && Clock::now() < due) {
            if (sound) sound->topUp();
            std::this_thread::sleep_for(std::min<Clock::duration>(kEventSlice, due - Clock::now()));
        }
        if (ended) return;
        auto picture = std::make_shared<QzOverlayImage>();
        picture->width = frame.width;
        picture->height = frame.height;
        picture->pixels = std::move(frame.rgba);
        *last = picture;
        calls.show(picture, *aspect);
    }
}
