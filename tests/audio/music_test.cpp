// Tests of the streaming music player and the music manager's states on the loopback output:
// looping, pausing and resuming where it paused, the end of the music, silence without a
// device, the worker, every row of the state table and the volume rules.
#include <chrono>
#include <cmath>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>
#include <sndfile.h>

#include "QzMusicManager.h"
#include "QzMusicPlayer.h"
#include "support/test_files.h"
#include "sound_files.h"

namespace {

constexpr int kRate = 44100;
constexpr int kLoud = 3000;

class Music : public ::testing::Test {
protected:
    void SetUp() override { output = &LoopbackOutput::shared(); }

    // A stereo track: `silentFrames` of silence, then `toneFrames` of a tone.
    std::string track(const std::string& name, long toneFrames, long silentFrames = 0) {
        std::vector<int16_t> samples(silentFrames * 2, 0);
        const auto tone = sineFrames(2, kRate, toneFrames, 500.0);
        samples.insert(samples.end(), tone.begin(), tone.end());
        const std::string path = folder.file(name);
        if (name.ends_with(".ogg")) writeOgg(path, 2, kRate, samples);
        else if (name.ends_with(".m4a")) writeEncoded(path, "aac", 2, kRate, samples);
        else writeSndfile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, kRate, samples);
        return path;
    }

    // Renders `frames` frames in steps of 1024, servicing the stream after each step as
    // the worker would; returns the smallest and the largest peak of the steps.
    std::pair<int, int> renderServiced(QzMusicStream& stream, long frames) {
        int quietest = 1 << 16, loudest = 0;
        for (long done = 0; done < frames; done += 1024) {
            const int level = peak(output->render(1024));
            quietest = std::min(quietest, level);
            loudest = std::max(loudest, level);
            stream.service();
        }
        return {quietest, loudest};
    }

    LoopbackOutput* output = nullptr;
    ScratchFolder folder;
};

TEST_F(Music, LoopingTrackPlaysOnWithoutGapsAndPlainTrackEnds) {
    for (const char* name : {"short.ogg", "short.wav"}) {
        SCOPED_TRACE(name);
        auto looping = QzMusicStream::open(track(name, 3000).c_str(), output->context());
        ASSERT_NE(looping, nullptr);
        looping->setLooping(true);
        looping->play();
        EXPECT_GT(renderServiced(*looping, 10 * 3000).first, kLoud);
        EXPECT_TRUE(looping->isPlaying());
        looping->stop();

        auto plain = QzMusicStream::open(track(name, 3000).c_str(), output->context());
        plain->play();
        renderServiced(*plain, 8192);
        EXPECT_FALSE(plain->isPlaying());
        EXPECT_LE(peak(output->render(1024)), kDitherLevel);
    }
}

TEST_F(Music, MusicOfSixChannelsIsMixedDownInEveryFormat) {
    for (const char* name : {"six.ogg", "six.wav", "six.m4a"}) {
        SCOPED_TRACE(name);
        const std::string path = folder.file(name);
        const auto samples = sineFrames(6, kRate, kRate / 2, 200.0);
        if (std::string(name).ends_with(".ogg")) writeOgg(path, 6, kRate, samples);
        else if (std::string(name).ends_with(".m4a")) writeEncoded(path, "aac", 6, kRate, samples);
        else writeSndfile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 6, kRate, samples);
        auto stream = QzMusicStream::open(path.c_str(), output->context());
        ASSERT_NE(stream, nullptr);
        stream->play();
        output->render(2048);
        const auto mix = output->render(4096);
        EXPECT_GT(peak(mix, 0), kLoud);
        EXPECT_GT(peak(mix, 1), kLoud);
        stream->stop();
    }
}

TEST_F(Music, ResumeGoesOnWherePauseStopped) {
    // A quarter second of silence, then the tone: restarting would be silent at first.
    auto stream = QzMusicStream::open(track("late.wav", kRate, kRate / 4).c_str(), output->context());
    stream->play();
    renderServiced(*stream, 13312);
    stream->pause();
    EXPECT_FALSE(stream->isPlaying());
    output->render(256);  // the mixer may fade the voice out over a few frames
    EXPECT_LE(peak(output->render(4096)), kDitherLevel);
    stream->resume();
    EXPECT_TRUE(stream->isPlaying());
    EXPECT_GT(peak(output->render(1024)), kLoud);
}

TEST_F(Music, WithoutADeviceMusicPlaysSilentlyForItsLength) {
    auto shortTrack = QzMusicStream::open(track("short.wav", kRate / 20).c_str(), nullptr);
    auto longTrack = QzMusicStream::open(track("long.ogg", 20 * kRate).c_str(), nullptr);
    ASSERT_TRUE(shortTrack && longTrack);
    shortTrack->play();
    longTrack->play();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(shortTrack->isPlaying());
    EXPECT_TRUE(longTrack->isPlaying());
    longTrack->pause();
    EXPECT_FALSE(longTrack->isPlaying());
    longTrack->resume();
    EXPECT_TRUE(longTrack->isPlaying());
}

TEST_F(Music, WorkerKeepsALongTrackFedAndStopsWithThePlayer) {
    auto player = QzMusicPlayer::open(track("long.ogg", 3 * kRate).c_str(), output->context());
    ASSERT_NE(player, nullptr);
    player->stream().play();
    int quietest = 1 << 16;
    // Two seconds of music, rendered a little faster than it plays.
    for (long done = 0; done < 2 * kRate; done += 4096) {
        quietest = std::min(quietest, peak(output->render(4096)));
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
    }
    EXPECT_GT(quietest, kLoud);
    player->stream().stop();
    output->render(256);
    EXPECT_LE(peak(output->render(4096)), kDitherLevel);
}

class MusicStates : public Music {
protected:
    void SetUp() override {
        Music::SetUp();
        first = track("first.wav", kRate);
        second = track("second.m4a", kRate);
        std::filesystem::create_directory(folder.file("unreadable.wav"));
        unreadable = folder.file("unreadable.wav");
    }
    bool heard() {
        output->render(512);
        return peak(output->render(1024)) > kLoud;
    }
    // Brings a manager into the state named by `code`, playing the first track.
    void enter(QzMusicManager& manager, QzMusicStateCode code) {
        if (code == kQzMusicStopped) return;
        manager.playMusic(first.c_str(), true);
        if (code == kQzMusicPaused) manager.pauseMusic();
        ASSERT_EQ(manager.currentState(), code);
    }
    std::string first, second, unreadable;
};

TEST_F(MusicStates, EveryRowOfTheStateTable) {
    enum Action { playNoPath, playFile, playUnreadable, pause, stop };
    const struct {
        QzMusicStateCode from;
        Action action;
        QzMusicStateCode to;
        bool playing;
    } rows[] = {
        {kQzMusicStopped, playNoPath, kQzMusicStopped, false},
        {kQzMusicStopped, playFile, kQzMusicPlaying, true},
        {kQzMusicStopped, playUnreadable, kQzMusicStopped, false},
        {kQzMusicStopped, pause, kQzMusicStopped, false},
        {kQzMusicStopped, stop, kQzMusicStopped, false},
        {kQzMusicPlaying, playNoPath, kQzMusicPlaying, true},
        {kQzMusicPlaying, playFile, kQzMusicPlaying, true},
        {kQzMusicPlaying, playUnreadable, kQzMusicStopped, false},
        {kQzMusicPlaying, pause, kQzMusicPaused, false},
        {kQzMusicPlaying, stop, kQzMusicStopped, false},
        {kQzMusicPaused, playNoPath, kQzMusicPlaying, true},
        {kQzMusicPaused, playFile, kQzMusicPlaying, true},
        {kQzMusicPaused, playUnreadable, kQzMusicStopped, false},
        {kQzMusicPaused, pause, kQzMusicPaused, false},
        {kQzMusicPaused, stop, kQzMusicStopped, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "from " << row.from << ", action " << row.action);
        QzMusicManager manager;
        enter(manager, row.from);
        testing::internal::CaptureStderr();
        switch (row.action) {
        case playNoPath: manager.playMusic(row.from == kQzMusicStopped ? "" : nullptr, false); break;
        case playFile: manager.playMusic(second.c_str(), false); break;
        case playUnreadable: manager.playMusic(unreadable.c_str(), false); break;
        case pause: manager.pauseMusic(); break;
        case stop: manager.stopMusic(); break;
        }
        const std::string log = testing::internal::GetCapturedStderr();
        EXPECT_EQ(log.find("cannot play the music \"" + unreadable + "\": ") != std::string::npos,
                  row.action == playUnreadable)
            << log;
        EXPECT_EQ(manager.currentState(), row.to);
        EXPECT_EQ(manager.isPlaying(), row.playing);
        EXPECT_EQ(heard(), row.playing);
    }
}

TEST_F(MusicStates, VolumeRules) {
    QzMusicManager manager;
    manager.setVolume(0.5f);
    EXPECT_EQ(manager.getVolume(), 1.0f);  // no file yet: nothing stored

    manager.playMusic(first.c_str(), true);
    output->render(512);
    const int full = peak(output->render(2048));
    ASSERT_EQ(alcGetCurrentContext(), output->context());
    alListenerf(AL_GAIN, 0.25f);  // the game's listener
    output->render(512);
    EXPECT_NEAR(double(peak(output->render(2048))) / full, 1.0, 0.05) << "music has a listener of its own";
    alListenerf(AL_GAIN, 1.0f);
    manager.pauseMusic();
    manager.setVolume(0.5f);
    EXPECT_EQ(manager.getVolume(), 0.5f);
    manager.playMusic(nullptr, false);  // resumes at the player's old volume
    output->render(512);
    EXPECT_NEAR(double(peak(output->render(2048))) / full, 1.0, 0.05);
    manager.pauseMusic();  // pausing hands the stored volume over
    manager.playMusic(nullptr, false);
    output->render(512);
    EXPECT_NEAR(double(peak(output->render(2048))) / full, 0.5, 0.05);
    for (float below : {-0.25f, std::nanf("")}) {
        testing::internal::CaptureStderr();
        manager.setVolume(below);
        EXPECT_NE(testing::internal::GetCapturedStderr().find("below 0 or not a number: 0 is used\n"), std::string::npos);
        EXPECT_EQ(manager.getVolume(), 0.0f);
    }
    output->render(4096);
    EXPECT_LE(peak(output->render(2048)), kDitherLevel);
}

}  // namespace
