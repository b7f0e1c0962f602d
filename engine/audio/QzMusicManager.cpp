// Background music: the music object, its three states and the shared manager.
#include "QzMusicManager.h"

#include <cstdio>
#include <string>

#include "QzAudioOutput.h"

namespace {

bool hasPath(const char* path) { return path && *path; }

// Stops what plays, then opens and plays the new file; stopped when it cannot be read.
QzMusicStateCode switchTo(QzMusic& music, const char* path, bool looping) {
    music.stop();
    if (!music.initSound(path, looping)) return kQzMusicStopped;
    music.play();
    return kQzMusicPlaying;
}

}  // namespace

bool QzMusic::initSound(const char* path, bool looping) {
    player_.reset();
    std::string reason;
    player_ = QzMusicPlayer::open(path, QzOpenMusicAudioContext(), &reason);
    if (!player_) {
        std::fprintf(stderr, "Quillane: cannot play the music \"%s\": %s\n", path, reason.c_str());
        return false;
    }
    player_->stream().setLooping(looping);
    return true;
}

void QzMusic::play() {
    if (!player_) return;
    player_->stream().setVolume(volume_);
    player_->stream().play();
}

void QzMusic::pause() {
    if (!player_) return;
    player_->stream().setVolume(volume_);
    player_->stream().pause();
}

void QzMusic::stop() {
    if (player_) player_->stream().stop();
}

void QzMusic::resume() {
    if (player_) player_->stream().resume();
}

void QzMusic::setVolume(float volume) {
    if (!player_) return;
    volume_ = volume;
    if (player_->stream().isPlaying()) player_->stream().setVolume(volume);
}

float QzMusic::getVolume() const { return player_ ? volume_ : 1.0f; }

bool QzMusic::isPlaying() const { return player_ && player_->stream().isPlaying(); }

QzMusicStateCode QzMusicState::play(const char*, bool) { return kQzMusicStopped; }
QzMusicStateCode QzMusicState::pause() { return kQzMusicStopped; }
QzMusicStateCode QzMusicState::stop() { return kQzMusicStopped; }

QzMusicStateCode QzMusicStoppedState::play(const char* path, bool looping) {
    if (!hasPath(path) || !music_.initSound(path, looping)) return kQzMusicStopped;
    music_.play();
    return kQzMusicPlaying;
}

QzMusicStateCode QzMusicPlayingState::play(const char* path, bool looping) {
    return hasPath(path) ? switchTo(music_, path, looping) : kQzMusicPlaying;
}

QzMusicStateCode QzMusicPlayingState::pause() {
    if (!music_.isValid()) return kQzMusicStopped;
    music_.pause();
    return kQzMusicPaused;
}

QzMusicStateCode QzMusicPlayingState::stop() {
    music_.stop();
    return kQzMusicStopped;
}

QzMusicStateCode QzMusicPausedState::play(const char* path, bool looping) {
    if (hasPath(path)) return switchTo(music_, path, looping);
    if (!music_.isValid()) return kQzMusicStopped;
    music_.resume();
    return kQzMusicPlaying;
}

QzMusicStateCode QzMusicPausedState::pause() { return kQzMusicPaused; }

QzMusicStateCode QzMusicPausedState::stop() {
    music_.stop();
    return kQzMusicStopped;
}

QzMusicManager& QzMusicManager::sharedMusicManager() {
    static QzMusicManager manager;
    return manager;
}

QzMusicManager::QzMusicManager() : playlist_(QzOpenMusicAudioContext()) {
    states_[kQzMusicPlaying] = std::make_unique<QzMusicPlayingState>(music_);
    states_[kQzMusicPaused] = std::make_unique<QzMusicPausedState>(music_);
    states_[kQzMusicStopped] = std::make_unique<QzMusicStoppedState>(music_);
}

void QzMusicManager::playMusic(const char* path, bool looping) {
    if (hasPath(path)) playlist_.stop(0);
    else playlist_.resume();
    transitionToNewState(states_[current_]->play(path, looping));
}

void QzMusicManager::pauseMusic() {
    playlist_.pause();
    transitionToNewState(states_[current_]->pause());
}

void QzMusicManager::playPlaylist(std::vector<std::string> paths, const QzPlaylistOptions& options) {
    stopMusic();
    playlist_.play(std::move(paths), options);
}

void QzMusicManager::stopMusic() { transitionToNewState(states_[current_]->stop()); }

void QzMusicManager::setVolume(float volume) {
    if (!(volume >= 0.0f)) {
        std::fprintf(stderr, "Quillane: the music volume %g is below 0 or not a number: 0 is used\n", volume);
        volume = 0.0f;
    }
    music_.setVolume(volume);
    playlist_.setVolume(volume);
}

void QzMusicManager::transitionToNewState(QzMusicStateCode code) {
    if (code >= kQzMusicPlaying && code <= kQzMusicStopped) current_ = code;
}
