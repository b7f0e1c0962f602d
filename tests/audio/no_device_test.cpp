// Without a sound device the player warns once and runs silently: every sound and music call
// still answers, and nothing floods the log frame after frame.
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>
#include <sndfile.h>

#include "support/test_files.h"
#include "sound_files.h"

namespace {

TEST(NoSoundDevice, OneWarningThenSilentAnswers) {
    ScratchFolder folder;
    const std::string music = folder.file("music.wav");
    writeSndfile(music, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 8000, sineFrames(1, 8000, 800));
    writeFile(folder.file("engine.lua"), R"(
function initEngine()
  sharedSoundManager = soundManager.new()
  local other = soundManager.new()
  other:delete()
  platformWrappers.playMusic(")" + music + R"(", 1)
  platformWrappers.setMusicVolume(0.5)
end
function update()
  sharedSoundManager:update()
  sharedSoundManager:makeCurrent()
  platformWrappers.logDebugStatement("music " .. platformWrappers.isMusicPlaying())
end
function shutdownEngine() sharedSoundManager:delete() end
)");
    // No backend at all, and ALSA without a sound card (whose library would print a screen of
    // its own messages first).
    for (const char* driver : {"no-such-driver", "alsa"}) {
        SCOPED_TRACE(driver);
        if (std::string(driver) == "alsa" && std::filesystem::exists("/dev/snd")) continue;
        const std::string command = "ALSOFT_DRIVERS=" + std::string(driver) + " " + std::string(QZ_BINARY_DIR) +
                                    "/tools/qzrun/qzrun " + folder.file("engine.lua") + " --frames 3 > " +
                                    folder.file("out.txt") + " 2> " + folder.file("err.txt");
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
        EXPECT_EQ(readFile(folder.file("out.txt")), "music 1\nmusic 1\nmusic 1\n");
        const std::string errors = readFile(folder.file("err.txt"));
        EXPECT_EQ(errors.find("Quillane: no sound device could be opened"), 0u) << errors;
        EXPECT_EQ(errors.find('\n'), errors.size() - 1) << errors;
    }
}

}  // namespace
