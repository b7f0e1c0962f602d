// The streaming music player: a few buffers decoded ahead on one OpenAL source.
#include "QzMusicPlayer.h"

#include <pthread.h>

#include <chrono>
#include <cmath>

#include "QzALContextScope.h"
#include "QzOpenALCheck.h"

namespace {

constexpr auto kWorkerPeriod = std::chrono::milliseconds(20);

}  // namespace

std::unique_ptr<QzMusicStream> QzMusicStream::open(const char* path, ALCcontext* context, std::string* error) {
    std::unique_ptr<QzPCMStream> pcm = QzOpenPCMStream(path, error);
    if (!pcm) return nullptr;
    return std::unique_ptr<QzMusicStream>(new QzMusicStream(std::move(pcm), context));
}

QzMusicStream::QzMusicStream(std::unique_ptr<QzPCMStream> pcm, ALCcontext* context)
    : pcm_(std::move(pcm)), context_(context), format_(pcm_->channels() == 1 ? AL_FORMAT_MONO16 : AL_FORMAT_STEREO16) {
    scratch_.resize(kBufferFrames * pcm_->channels());
    if (!context_) return;
    QzALContextScope scope(context_);
    alGenSources(1, &source_);
    // Music is heard as it is: no position, no distance attenuation.
    alSourcei(source_, AL_SOURCE_RELATIVE, AL_TRUE);
    alSourcef(source_, AL_ROLLOFF_FACTOR, 0.0f);
    freeBuffers_.resize(kBufferCount);
    alGenBuffers(kBufferCount, freeBuffers_.data());
    QzCheckALError("QzMusicStream: alGenSources, alGenBuffers");
}

QzMusicStream::~QzMusicStream() {
    if (!context_) return;
    QzALContextScope scope(context_);
    std::lock_guard lock(mutex_);
    stopLocked();
    alDeleteSources(1, &source_);
    alDeleteBuffers(static_cast<ALsizei>(freeBuffers_.size()), freeBuffers_.data());
    QzCheckALError("QzMusicStream: alDeleteSources, alDeleteBuffers");
}

void QzMusicStream::setLooping(bool looping) {
    std::lock_guard lock(mutex_);
    looping_ = looping;
}

void QzMusicStream::play() {
    QzALContextScope scope(context_);
    std::lock_guard lock(mutex_);
    stopLocked();
    pcm_->rewind();
    endOfStream_ = false;
    mode_ = Mode::playing;
    framesUnqueued_ = 0;
    playedBeforePause_ = {};
    playStarted_ = std::chrono::steady_clock::now();
    if (!context_) return;
    refillLocked();
    alSourcePlay(source_);
    QzCheckALError("QzMusicStream: alSourcePlay");
}

void QzMusicStream::stop() {
    QzALContextScope scope(context_);
    std::lock_guard lock(mutex_);
    stopLocked();
}

void QzMusicStream::pause() {
    QzALContextScope scope(context_);
    std::lock_guard lock(mutex_);
    if (mode_ != Mode::playing) return;
    mode_ = Mode::paused;
    playedBeforePause_ += std::chrono::steady_clock::now() - playStarted_;
    if (context_) alSourcePause(source_);
}

void QzMusicStream::resume() {
    QzALContextScope scope(context_);
    std::lock_guard lock(mutex_);
    if (mode_ != Mode::paused) return;
    mode_ = Mode::playing;
    playStarted_ = std::chrono::steady_clock::now();
    if (context_) alSourcePlay(source_);
}

void QzMusicStream::setVolume(float volume) {
    if (!(volume >= 0.0f) || !std::isfinite(volume)) return;
    QzALContextScope scope(context_);
    std::lock_guard lock(mutex_);
    if (context_) alSourcef(source_, AL_GAIN, volume);
}

bool QzMusicStream::isPlaying() const {
    std::lock_guard lock(mutex_);
    return mode_ == Mode::playing && !silentMusicEndedLocked();
}

double QzMusicStream::playedSeconds() {
    QzALContextScope scope(context_);
    std::lock_guard lock(mutex_);
    if (!context_) {
        auto played = playedBeforePause_;
        if (mode_ == Mode::playing) played += std::chrono::steady_clock::now() - playStarted_;
        return std::chrono::duration<double>(played).count();
    }
    // The sample offset counts from the first buffer still queued; a stopped source reads 0
    // and has every buffer processed, which the unqueueing has then counted.
    unqueuePlayedLocked();
    ALint offset = 0;
    if (!queuedBuffers_.empty()) alGetSourcei(source_, AL_SAMPLE_OFFSET, &offset);
    QzCheckALError("QzMusicStream: alGetSourcei (AL_SAMPLE_OFFSET)");
    return static_cast<double>(framesUnqueued_ + offset) / pcm_->sampleRate();
}

double QzMusicStream::lengthSeconds() const {
    std::lock_guard lock(mutex_);
    const int64_t frames = pcm_->totalFrames();
    return frames < 0 ? -1.0 : static_cast<double>(frames) / pcm_->sampleRate();
}

bool QzMusicStream::silentMusicEndedLocked() const {
    const int64_t frames = pcm_->totalFrames();
    if (context_ || looping_ || frames < 0) return false;
    const auto played = playedBeforePause_ + (std::chrono::steady_clock::now() - playStarted_);
    return std::chrono::duration<double>(played).count() * pcm_->sampleRate() >= static_cast<double>(frames);
}

void QzMusicStream::service() {
    if (!context_) return;
    QzALContextScope scope(context_);
    std::lock_guard lock(mutex_);
    if (mode_ != Mode::playing) return;
    refillLocked();
    ALint state = 0;
    alGetSourcei(source_, AL_SOURCE_STATE, &state);
    if (state != AL_STOPPED) return;
    if (!queuedBuffers_.empty()) {
        alSourcePlay(source_);  // ran dry before the worker came round: go on
    } else if (endOfStream_) {
        mode_ = Mode::stopped;
    }
}

void QzMusicStream::stopLocked() {
    mode_ = Mode::stopped;
    if (!context_) return;
    alSourceStop(source_);
    alSourcei(source_, AL_BUFFER, 0);
    freeBuffers_.insert(freeBuffers_.end(), queuedBuffers_.begin(), queuedBuffers_.end());
    queuedBuffers_.clear();
    queuedFrames_.clear();
}

void QzMusicStream::unqueuePlayedLocked() {
    ALint processed = 0;
    alGetSourcei(source_, AL_BUFFERS_PROCESSED, &processed);
    if (processed <= 0) return;
    alSourceUnqueueBuffers(source_, processed, queuedBuffers_.data());
    freeBuffers_.insert(freeBuffers_.end(), queuedBuffers_.begin(), queuedBuffers_.begin() + processed);
    queuedBuffers_.erase(queuedBuffers_.begin(), queuedBuffers_.begin() + processed);
    for (ALint i = 0; i < processed; ++i) framesUnqueued_ += queuedFrames_[i];
    queuedFrames_.erase(queuedFrames_.begin(), queuedFrames_.begin() + processed);
}

void QzMusicStream::refillLocked() {
    unqueuePlayedLocked();
    while (!freeBuffers_.empty() && !endOfStream_) {
        const long frames = decodeLocked(scratch_.data());
        if (frames == 0) break;
        const ALuint buffer = freeBuffers_.back();
        alBufferData(buffer, format_, scratch_.data(), static_cast<ALsizei>(frames * pcm_->channels() * 2),
                     pcm_->sampleRate());
        alSourceQueueBuffers(source_, 1, &buffer);
        freeBuffers_.pop_back();
        queuedBuffers_.push_back(buffer);
        queuedFrames_.push_back(frames);
    }
    QzCheckALError("QzMusicStream: refilling the queue");
}

// Fills one buffer's worth of frames, going back to the start of looping music as often as
// needed; marks the end of music that does not loop (or cannot be read further).
long QzMusicStream::decodeLocked(int16_t* out) {
    const int channels = pcm_->channels();
    long filled = 0;
    bool rewoundWithoutData = false;
    while (filled < kBufferFrames) {
        const long got = pcm_->read(out + filled * channels, kBufferFrames - filled);
        if (got > 0) {
            filled += got;
            rewoundWithoutData = false;
            continue;
        }
        // An empty or unreadable stream would loop for ever without giving a frame.
        if (got < 0 || !looping_ || rewoundWithoutData || !pcm_->rewind()) {
            endOfStream_ = true;
            break;
        }
        rewoundWithoutData = true;
    }
    return filled;
}

std::unique_ptr<QzMusicPlayer> QzMusicPlayer::open(const char* path, ALCcontext* context, std::string* error) {
    std::unique_ptr<QzMusicStream> stream = QzMusicStream::open(path, context, error);
    if (!stream) return nullptr;
    return std::unique_ptr<QzMusicPlayer>(new QzMusicPlayer(std::move(stream)));
}

QzMusicPlayer::QzMusicPlayer(std::unique_ptr<QzMusicStream> stream)
    : stream_(std::move(stream)), worker_(&QzMusicPlayer::work, this) {}

QzMusicPlayer::~QzMusicPlayer() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_one();
    worker_.join();
}

void QzMusicPlayer::work() {
    // Named so that process monitors (and the benchmark) can tell its share apart.
    pthread_setname_np(pthread_self(), kQzMusicWorkerName);
    std::unique_lock lock(mutex_);
    while (!wake_.wait_for(lock, kWorkerPeriod, [this] { return quit_; })) {
        lock.unlock();
        stream_->service();
        lock.lock();
    }
}
