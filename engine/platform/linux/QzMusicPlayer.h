// The platform's music player: one music file streamed through an OpenAL source of its own,
// outside the sound manager's pool, refilled by a worker thread.
#ifndef QZ_MUSIC_PLAYER_H
#define QZ_MUSIC_PLAYER_H

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <AL/al.h>
#include <AL/alc.h>

#include "QzPCMStream.h"

// A music file decoded a few buffers ahead into a queue on one OpenAL source. Nothing here
// runs by itself: `service` refills the queue and must be called regularly (QzMusicPlayer
// does that on a worker thread). Every operation is safe from any thread; OpenAL calls are
// made in the stream's own context, whatever context the calling thread has current.
//
// Without a context (no sound device) the stream keeps its state but makes no sound; music
// that does not loop counts as playing for as long as the file says it lasts.
class QzMusicStream {
public:
    static constexpr int kBufferCount = 4;
    static constexpr long kBufferFrames = 8192;

    // Null when the file cannot be read as sound; `error` (when not null) then says why.
    // Files of more than two channels play mixed down to stereo. `context` is borrowed and
    // must outlive the stream; it may be null.
    static std::unique_ptr<QzMusicStream> open(const char* path, ALCcontext* context, std::string* error = nullptr);
    ~QzMusicStream();
    QzMusicStream(const QzMusicStream&) = delete;
    QzMusicStream& operator=(const QzMusicStream&) = delete;

    void setLooping(bool looping);
    // Plays from the start.
    void play();
    // Stops; the next play starts from the beginning again.
    void stop();
    // Pauses where it is; resume goes on from there. Both do nothing in the wrong state.
    void pause();
    void resume();
    // Volume from 0 up (1 is the file's own level); applied at once.
    void setVolume(float volume);
    // True from play or resume until pause, stop or the end of music that does not loop.
    bool isPlaying() const;
    // How far the music has played since the last play, in seconds of the file: the frames
    // the device has mixed (a clock of the audio, not of the wall), or without a device the
    // time it has been playing.
    double playedSeconds();
    // The file's length in seconds as it states it, or -1 when it does not say.
    double lengthSeconds() const;

    // Unqueues the buffers played, decodes into them and queues them again, starts the next
    // round of looping music, restarts a source that ran dry, and notices the end.
    void service();

private:
    enum class Mode { stopped, playing, paused };
    QzMusicStream(std::unique_ptr<QzPCMStream> pcm, ALCcontext* context);
    // The caller holds mutex_ and has the stream's context current.
    void stopLocked();
    void unqueuePlayedLocked();
    void refillLocked();
    long decodeLocked(int16_t* out);
    // Without a device: whether music that does not loop has played for its whole length.
    bool silentMusicEndedLocked() const;

    std::unique_ptr<QzPCMStream> pcm_;  // owned
    ALCcontext* context_;               // borrowed; null without a device
    ALenum format_;
    mutable std::mutex mutex_;
    Mode mode_ = Mode::stopped;
    bool looping_ = false;
    bool endOfStream_ = false;
    ALuint source_ = 0;
    std::vector<ALuint> freeBuffers_;    // not queued
    std::vector<ALuint> queuedBuffers_;  // queued, in play order
    std::vector<long> queuedFrames_;     // the frames of each queued buffer, in the same order
    int64_t framesUnqueued_ = 0;         // frames of the buffers played and unqueued since play
    std::vector<int16_t> scratch_;
    // Without a device: how long the music has played, as time played before the last pause
    // plus the time since the last start.
    std::chrono::steady_clock::duration playedBeforePause_{};
    std::chrono::steady_clock::time_point playStarted_;
};

// The name of the worker thread, as the system lists it.
inline constexpr const char* kQzMusicWorkerName = "qz-music";

// A music stream with a worker thread that services it every few milliseconds. The worker
// never touches the interpreter and is stopped and joined when the player is destroyed.
class QzMusicPlayer {
public:
    // Null when the file cannot be read as sound. As for QzMusicStream::open.
    static std::unique_ptr<QzMusicPlayer> open(const char* path, ALCcontext* context, std::string* error = nullptr);
    ~QzMusicPlayer();
    QzMusicPlayer(const QzMusicPlayer&) = delete;
    QzMusicPlayer& operator=(const QzMusicPlayer&) = delete;

    QzMusicStream& stream() { return *stream_; }

private:
    explicit QzMusicPlayer(std::unique_ptr<QzMusicStream> stream);
    void work();

    std::unique_ptr<QzMusicStream> stream_;  // owned
    std::mutex mutex_;
    std::condition_variable wake_;
    bool quit_ = false;
    std::thread worker_;
};

#endif
