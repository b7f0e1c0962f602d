// Background music: QzMusic around the platform's music player, the three states playing,
// paused and stopped, and the shared QzMusicManager that the platform functions talk to.
#ifndef QZ_MUSIC_MANAGER_H
#define QZ_MUSIC_MANAGER_H

#include <array>
#include <memory>

#include "QzMusicPlayer.h"
#include "QzMusicPlaylist.h"

// The state codes the state operations return.
enum QzMusicStateCode { kQzMusicPlaying = 0, kQzMusicPaused = 1, kQzMusicStopped = 2 };

// One music file at a time on the platform's music player, and the volume to play it at.
class QzMusic {
public:
    // Drops the current player and opens the file on a new one; false (and no player) when
    // the file cannot be read as sound, which is logged with the file's name and the reason.
    bool initSound(const char* path, bool looping);
    // Play from the start, or pause, after handing the stored volume to the player.
    void play();
    void pause();
    void stop();
    void resume();
    // Stored (and applied at once while playing) only when there is a player.
    void setVolume(float volume);
    // The stored volume, or 1 when there is no player.
    float getVolume() const;
    bool isPlaying() const;
    bool isValid() const { return player_ != nullptr; }

private:
    std::unique_ptr<QzMusicPlayer> player_;  // owned; null until a file was opened
    float volume_ = 1.0f;
};

// A state of the music: each operation acts on the music and returns the code of the state
// to go to. The base state answers "stopped" to everything.
class QzMusicState {
public:
    explicit QzMusicState(QzMusic& music) : music_(music) {}
    virtual ~QzMusicState() = default;
    // `path` null or empty means no new file.
    virtual QzMusicStateCode play(const char* path, bool looping);
    virtual QzMusicStateCode pause();
    virtual QzMusicStateCode stop();

protected:
    QzMusic& music_;  // borrowed from the manager, shared by the three states
};

class QzMusicPlayingState : public QzMusicState {
public:
    using QzMusicState::QzMusicState;
    QzMusicStateCode play(const char* path, bool looping) override;
    QzMusicStateCode pause() override;
    QzMusicStateCode stop() override;
};

class QzMusicPausedState : public QzMusicState {
public:
    using QzMusicState::QzMusicState;
    QzMusicStateCode play(const char* path, bool looping) override;
    QzMusicStateCode pause() override;
    QzMusicStateCode stop() override;
};

class QzMusicStoppedState : public QzMusicState {
public:
    using QzMusicState::QzMusicState;
    QzMusicStateCode play(const char* path, bool looping) override;
};

// Runs the music through its states, and the playlist beside it: one music file replaces a
// playlist that plays and a playlist replaces the music file. Used from the interpreter's
// thread.
class QzMusicManager {
public:
    // The one manager of the process, made on first use (thread-safely) and destroyed at exit.
    static QzMusicManager& sharedMusicManager();

    // Opens the music's context on the shared sound output, so that both outlive the
    // manager; starts stopped.
    QzMusicManager();

    // A new file stops the playlist at once; no file (resuming) resumes a paused playlist too.
    void playMusic(const char* path, bool looping);
    // Pauses the music file and the playlist.
    void pauseMusic();
    // Stops the music file (a playlist fades out through playlist().stop).
    void stopMusic();
    void transitionToNewState(QzMusicStateCode code);
    // Stops the music file and plays the playlist (see QzMusicPlaylist::play).
    void playPlaylist(std::vector<std::string> paths, const QzPlaylistOptions& options);
    // Moves the playlist on; call every frame.
    void update() { playlist_.update(); }
    QzMusicPlaylist& playlist() { return playlist_; }
    // A volume below 0, or NaN, is taken as 0 and reported in one line. It applies to the
    // music file and the playlist alike.
    void setVolume(float volume);
    float getVolume() const { return music_.getVolume(); }
    bool isPlaying() const { return music_.isPlaying() || playlist_.isActive(); }
    QzMusicStateCode currentState() const { return current_; }

private:
    QzMusic music_;
    QzMusicPlaylist playlist_;
    std::array<std::unique_ptr<QzMusicState>, 3> states_;  // owned, indexed by code
    QzMusicStateCode current_ = kQzMusicStopped;
};

#endif
