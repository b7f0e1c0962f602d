// Music playlists: tracks played one after another, in order or shuffled, with a cross-fade
// of two music players that sound at once for the length of the fade.
#ifndef QZ_MUSIC_PLAYLIST_H
#define QZ_MUSIC_PLAYLIST_H

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "QzMusicPlayer.h"

// How a playlist plays its tracks.
struct QzPlaylistOptions {
    bool shuffle = false;  // a new random order every round, never the same track twice in a row
    bool loop = true;      // start another round after the last track
    float fadeSeconds = 0;  // the cross-fade between tracks; 0 cuts from one to the next
    float volume = 1;       // the playlist's own level, under the music volume
};

// Plays a list of music files through two music players on the music context: the track that
// plays and, during a cross-fade, the one that comes in. In a cross-fade both really sound
// together, the outgoing track falling and the incoming one rising along a quarter of a sine
// (equal power, so the loudness does not dip half way).
//
// Nothing here runs by itself: `update` starts the fades, moves them on and goes to the next
// track, and must be called regularly (every frame) on one thread. Fades are measured on the
// audio clock of the track they follow (QzMusicStream::playedSeconds): a recording rendered in
// step with the frames sounds the same every run.
//
// A track that cannot be opened is reported on standard error and skipped; a round in which
// no track can be opened stops the playlist.
class QzMusicPlaylist {
public:
    // `context` is borrowed (the music context, null without a device) and must outlive the
    // playlist.
    explicit QzMusicPlaylist(ALCcontext* context);
    ~QzMusicPlaylist();
    QzMusicPlaylist(const QzMusicPlaylist&) = delete;
    QzMusicPlaylist& operator=(const QzMusicPlaylist&) = delete;

    // Stops what plays and starts the first track of `paths` (the first of a shuffled order).
    // An empty list just stops. A fade below 0 or not finite counts as 0.
    void play(std::vector<std::string> paths, const QzPlaylistOptions& options);
    // Cross-fades now into the next track (finishing a cross-fade under way at once); at the
    // end of a playlist that does not loop, fades out.
    void next();
    // Fades out over `fadeSeconds` and stops; 0 (or a bad number) stops at once.
    void stop(float fadeSeconds);
    void pause();
    void resume();
    // The music volume the playlist plays under (0 and up); applied at the next update.
    void setVolume(float volume);
    // Services the players, moves the fades on and starts the tracks that are due.
    void update();

    bool isActive() const { return current_.player != nullptr; }
    // The path of the track that plays (the incoming one during a cross-fade), or empty.
    std::string currentTrack() const;
    // For tests: the levels last given to the playing track and the one fading in or out.
    float currentGain() const { return current_.gain; }
    float incomingGain() const { return incoming_.gain; }

private:
    struct Slot {
        std::unique_ptr<QzMusicPlayer> player;  // owned; null when the slot is empty
        std::string path;
        float gain = 0;           // the slot's share of the fade, 0 to 1
        float gainAtFadeOut = 0;  // the share when a fade-out began
    };
    enum class Mode { idle, playing, fadingOut };

    // Opens the next track of the order that can be opened into `slot` and plays it; false
    // (the slot empty) when the order has ended or no track of a whole round opens.
    bool startNextTrack(Slot& slot);
    // Moves on in the order, starting a new round (shuffled anew) at the end of a looping
    // list; false at the end of a list that does not loop.
    bool advance();
    void beginCrossFade();
    void finishCrossFade();
    void updatePlaying();
    void updateFadingOut();
    void stopAll();
    void applyGains();

    ALCcontext* context_;  // borrowed
    std::vector<std::string> paths_;
    QzPlaylistOptions options_;
    std::vector<size_t> order_;  // indexes into paths_ for this round
    size_t position_ = 0;        // the place in order_ of the last track started
    bool started_ = false;       // whether a track of this playlist has been started
    bool ended_ = false;         // the order has no further track (or none could be opened)
    Slot current_;
    Slot incoming_;
    Mode mode_ = Mode::idle;
    float volume_ = 1;
    bool paused_ = false;
    // The fade-out: its length, and where on the followed track's clock it began.
    float fadeOutSeconds_ = 0;
    double fadeOutFrom_ = 0;
    std::mt19937 random_;
};

#endif
