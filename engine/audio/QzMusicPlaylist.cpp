// Music playlists: the order of the tracks, the cross-fades and the fade-out.
#include "QzMusicPlaylist.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <numeric>
#include <utility>

namespace {

constexpr double kQuarterTurn = std::numbers::pi / 2;  // the angle of the equal-power curves

// A number of seconds or a level from a script: below 0, infinite or not a number is 0.
float nonNegative(float value) { return value >= 0.0f && std::isfinite(value) ? value : 0.0f; }

}  // namespace

QzMusicPlaylist::QzMusicPlaylist(ALCcontext* context) : context_(context), random_(std::random_device{}()) {}

QzMusicPlaylist::~QzMusicPlaylist() = default;

void QzMusicPlaylist::play(std::vector<std::string> paths, const QzPlaylistOptions& options) {
    stopAll();
    paths_ = std::move(paths);
    options_ = options;
    options_.fadeSeconds = nonNegative(options.fadeSeconds);
    options_.volume = nonNegative(options.volume);
    order_.resize(paths_.size());
    std::iota(order_.begin(), order_.end(), size_t{0});
    if (options_.shuffle) std::shuffle(order_.begin(), order_.end(), random_);
    position_ = 0;
    started_ = false;
    ended_ = false;
    if (paths_.empty() || !startNextTrack(current_)) return;
    current_.gain = 1;
    mode_ = Mode::playing;
    applyGains();
}

bool QzMusicPlaylist::advance() {
    if (++position_ < order_.size()) return true;
    if (!options_.loop) return false;
    if (options_.shuffle && order_.size() > 1) {
        const size_t last = order_.back();
        std::shuffle(order_.begin(), order_.end(), random_);
        if (order_.front() == last) std::swap(order_.front(), order_.back());
    }
    position_ = 0;
    return true;
}

bool QzMusicPlaylist::startNextTrack(Slot& slot) {
    for (size_t tries = 0; tries < paths_.size(); ++tries) {
        if (started_ && !advance()) {
            ended_ = true;
            return false;
        }
        started_ = true;
        const std::string& path = paths_[order_[position_]];
        std::string reason;
        std::unique_ptr<QzMusicPlayer> player = QzMusicPlayer::open(path.c_str(), context_, &reason);
        if (!player) {
            std::fprintf(stderr, "Quillane: cannot play the music \"%s\": %s; the playlist skips it\n", path.c_str(),
                         reason.c_str());
            continue;
        }
        slot.player = std::move(player);
        slot.path = path;
        slot.gain = 0;
        slot.player->stream().setVolume(0);
        slot.player->stream().play();
        return true;
    }
    std::fprintf(stderr, "Quillane: no track of the playlist can be played; the music stops\n");
    ended_ = true;
    return false;
}

void QzMusicPlaylist::beginCrossFade() {
    if (!ended_) startNextTrack(incoming_);
}

void QzMusicPlaylist::finishCrossFade() {
    current_ = std::move(incoming_);
    incoming_ = Slot{};
    current_.gain = 1;
}

void QzMusicPlaylist::next() {
    if (mode_ != Mode::playing || paused_) return;
    if (incoming_.player) finishCrossFade();
    if (ended_) {
        stop(options_.fadeSeconds);
        return;
    }
    beginCrossFade();
    if (!incoming_.player) {
        stop(options_.fadeSeconds);
    } else if (options_.fadeSeconds == 0) {
        finishCrossFade();
    }
    applyGains();
}

void QzMusicPlaylist::stop(float fadeSeconds) {
    if (!isActive()) return;
    fadeSeconds = nonNegative(fadeSeconds);
    if (fadeSeconds == 0) {
        stopAll();
        return;
    }
    Slot& followed = incoming_.player ? incoming_ : current_;
    fadeOutSeconds_ = fadeSeconds;
    fadeOutFrom_ = followed.player->stream().playedSeconds();
    current_.gainAtFadeOut = current_.gain;
    incoming_.gainAtFadeOut = incoming_.gain;
    mode_ = Mode::fadingOut;
}

void QzMusicPlaylist::pause() {
    if (!isActive() || paused_) return;
    paused_ = true;
    for (Slot* slot : {&current_, &incoming_}) {
        if (slot->player) slot->player->stream().pause();
    }
}

void QzMusicPlaylist::resume() {
    if (!paused_) return;
    paused_ = false;
    for (Slot* slot : {&current_, &incoming_}) {
        if (slot->player) slot->player->stream().resume();
    }
}

void QzMusicPlaylist::setVolume(float volume) { volume_ = nonNegative(volume); }

void QzMusicPlaylist::update() {
    if (paused_ || mode_ == Mode::idle) return;
    // Serviced here as well as by the players' workers: a recording that renders faster than
    // the wall clock then never finds the queue empty.
    for (Slot* slot : {&current_, &incoming_}) {
        if (slot->player) slot->player->stream().service();
    }
    if (mode_ == Mode::playing) updatePlaying();
    else updateFadingOut();
    applyGains();
}

void QzMusicPlaylist::updatePlaying() {
    QzMusicStream& current = current_.player->stream();
    const float fade = options_.fadeSeconds;
    if (incoming_.player) {
        const double progress = fade > 0 ? incoming_.player->stream().playedSeconds() / fade : 1.0;
        if (progress >= 1.0 || !current.isPlaying()) {
            finishCrossFade();
        } else {
            current_.gain = static_cast<float>(std::cos(progress * kQuarterTurn));
            incoming_.gain = static_cast<float>(std::sin(progress * kQuarterTurn));
        }
        return;
    }
    if (!current.isPlaying()) {
        // The track ended without a cross-fade (none asked for, or a length the file does
        // not state): the next one starts at once.
        beginCrossFade();
        if (incoming_.player) finishCrossFade();
        else stopAll();
        return;
    }
    const double length = current.lengthSeconds();
    if (fade > 0 && length >= 0 && length - current.playedSeconds() <= fade) beginCrossFade();
}

void QzMusicPlaylist::updateFadingOut() {
    Slot& followed = incoming_.player ? incoming_ : current_;
    QzMusicStream& stream = followed.player->stream();
    const double progress = (stream.playedSeconds() - fadeOutFrom_) / fadeOutSeconds_;
    if (progress >= 1.0 || !stream.isPlaying()) {
        stopAll();
        return;
    }
    for (Slot* slot : {&current_, &incoming_}) slot->gain = slot->gainAtFadeOut * static_cast<float>(1.0 - progress);
}

void QzMusicPlaylist::stopAll() {
    current_ = Slot{};
    incoming_ = Slot{};
    mode_ = Mode::idle;
    paused_ = false;
}

void QzMusicPlaylist::applyGains() {
    for (Slot* slot : {&current_, &incoming_}) {
        if (slot->player) slot->player->stream().setVolume(volume_ * options_.volume * slot->gain);
    }
}

std::string QzMusicPlaylist::currentTrack() const {
    if (incoming_.player) return incoming_.path;
    return current_.player ? current_.path : std::string();
}
