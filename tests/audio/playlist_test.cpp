// Tests of music playlists on the loopback output: the order of the tracks, shuffled rounds, the
// volumes, tracks that cannot be played, and the manager's choice between a file and a playlist.
// The cross-fade and the fade-out are heard in the player's recordings (player_headless_test).
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sndfile.h>

#include "QzMusicManager.h"
#include "QzMusicPlaylist.h"
#include "sound_files.h"
#include "support/test_files.h"

namespace {

constexpr int kRate = 44100;
constexpr long kFrame = kRate / 60;  // one game frame of audio: whole periods of the tones below
constexpr double kHeard = 1000;      // a tone at this amplitude or more is heard

class Playlist : public ::testing::Test {
protected:
    void SetUp() override { output = &LoopbackOutput::shared(); }

    // A stereo WAV track of `seconds`, a tone of `hertz` on the left channel.
    std::string track(const std::string& name, double hertz, double seconds) {
        const std::string path = folder.file(name);
        writeSndfile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, kRate,
                     sineFrames(2, kRate, static_cast<long>(seconds * kRate), hertz));
        return path;
    }

    // One game frame: the update, then its audio.
    std::vector<int16_t> frame(QzMusicPlaylist& playlist) {
        playlist.update();
        return output->render(kFrame);
    }

    LoopbackOutput* output = nullptr;
    ScratchFolder folder;
};

// The tracks each frame starts with, over enough frames for three rounds of three tracks.
TEST_F(Playlist, TracksComeInOrderOrShuffledInRoundsAndLoop) {
    const std::vector<std::string> paths = {track("a.wav", 300, 0.1), track("b.wav", 600, 0.1),
                                            track("c.wav", 1200, 0.1)};
    const struct {
        bool shuffle, loop;
        size_t tracksPlayed;
    } cases[] = {{false, false, 3}, {false, true, 9}, {true, true, 9}, {true, false, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "shuffle " << c.shuffle << ", loop " << c.loop);
        QzMusicPlaylist playlist(output->context());
        playlist.play(paths, {.shuffle = c.shuffle, .loop = c.loop});
        std::vector<std::string> played;
        for (int f = 0; f < 60 && played.size() < 9; ++f) {
            const std::string now = playlist.currentTrack();
            if (!now.empty() && (played.empty() || played.back() != now)) played.push_back(now);
            frame(playlist);
        }
        ASSERT_EQ(played.size(), c.tracksPlayed);
        for (size_t round = 0; round < played.size() / 3; ++round) {
            std::vector<std::string> tracks(played.begin() + round * 3, played.begin() + round * 3 + 3);
            if (!c.shuffle) {
                EXPECT_EQ(tracks, paths);
            }
            std::sort(tracks.begin(), tracks.end());
            EXPECT_EQ(tracks, paths) << "every track once a round";
        }
        playlist.stop(0);
    }
}

TEST_F(Playlist, TheVolumesMultiply) {
    QzMusicPlaylist playlist(output->context());
    playlist.play({track("low.wav", 300, 2.0)}, {.volume = 0.5f});
    frame(playlist);
    EXPECT_NEAR(toneLevel(frame(playlist), 0, 300, kRate), 8000, 400);
    playlist.setVolume(0.5f);
    frame(playlist);
    EXPECT_NEAR(toneLevel(frame(playlist), 0, 300, kRate), 4000, 200);
    playlist.setVolume(std::nanf(""));
    frame(playlist);
    output->render(4096);  // the mixer eases into a new gain
    EXPECT_LE(peak(frame(playlist)), kDitherLevel);
    playlist.stop(0);
}

TEST_F(Playlist, TracksThatCannotBePlayedAreReportedAndSkipped) {
    const std::string good = track("good.wav", 300, 0.2), missing = folder.file("missing.ogg");
    const std::string junk = folder.file("junk.wav");
    writeFile(junk, "not a sound");
    const struct {
        std::vector<std::string> paths;
        std::vector<std::string> reported;
        bool plays;
    } cases[] = {
        {{missing, good, junk}, {"\"" + missing + "\"", "\"" + junk + "\": "}, true},
        {{missing, junk}, {"no track of the playlist can be played"}, false},
        {{}, {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.paths.size());
        QzMusicPlaylist playlist(output->context());
        testing::internal::CaptureStderr();
        playlist.play(c.paths, {.loop = true, .fadeSeconds = std::nanf("")});
        for (int f = 0; f < 30; ++f) frame(playlist);
        const std::string log = testing::internal::GetCapturedStderr();
        for (const std::string& text : c.reported) EXPECT_NE(log.find(text), std::string::npos) << text << "\n" << log;
        EXPECT_EQ(playlist.isActive(), c.plays);
        EXPECT_EQ(playlist.currentTrack(), c.plays ? good : "");
        playlist.stop(0);
    }
}

// A music file replaces the playlist, and a playlist the music file.
TEST_F(Playlist, TheManagerPlaysEitherAFileOrAPlaylist) {
    QzMusicManager manager;
    const std::string low = track("low.wav", 300, 2.0), high = track("high.wav", 1200, 2.0);
    manager.playMusic(low.c_str(), true);
    manager.playPlaylist({high}, {});
    EXPECT_EQ(manager.currentState(), kQzMusicStopped);
    manager.update();
    auto mix = output->render(kFrame);
    EXPECT_LT(toneLevel(mix, 0, 300, kRate), kHeard);
    EXPECT_GT(toneLevel(mix, 0, 1200, kRate), kHeard);
    manager.playMusic(low.c_str(), true);
    EXPECT_FALSE(manager.playlist().isActive());
    manager.stopMusic();
}

}  // namespace
