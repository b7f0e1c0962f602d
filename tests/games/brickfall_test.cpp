// Brickfall played by quillane-player headless with an input timeline: bricks break, the
// score counts, losing every ball ends the game, the name typed for the high score is kept in
// the save store for the next run, and the scenes look as reviewed.
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "support/picture_match.h"

namespace {

const std::string kPlayer = std::string(QZ_BINARY_DIR) + "/player/quillane-player";
const std::string kBundle = std::string(QZ_BINARY_DIR) + "/games/Brickfall.app";
const std::string kTests = std::string(QZ_SOURCE_DIR) + "/tests/games";

struct GameRun {
    int status = -1;
    std::string output;
};

std::string readAll(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// Plays the game in the work folder (screenshots land there, the save store too).
GameRun play(const std::string& work, const std::string& timeline, int frames) {
    const std::string output = work + "/out-" + std::to_string(frames) + ".txt";
    const std::string command = "cd " + work + " && env XDG_DATA_HOME=" + work + "/data " + kPlayer +
                                " --headless --frames " + std::to_string(frames) + " --input " + timeline + " " +
                                kBundle + " > " + output + " 2>&1";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readAll(output)};
}

std::string freshWork(const std::string& name) {
    const std::string work = std::string(QZ_BINARY_DIR) + "/tests/games/" + name;
    EXPECT_EQ(std::system(("rm -rf " + work + " && mkdir -p " + work).c_str()), 0);
    return work;
}

GameRun playOneGame(const std::string& work) {
    return play(work, kTests + "/brickfall_play.timeline", 900);
}

// Each line must come after the one before it in the output.
void expectInOrder(const std::string& output, std::initializer_list<std::string> lines) {
    size_t at = 0;
    for (const std::string& line : lines) {
        const size_t found = output.find(line, at);
        EXPECT_NE(found, std::string::npos) << "missing, or out of order: \"" << line << "\"\n" << output;
        if (found != std::string::npos) at = found + line.size();
    }
}

TEST(Brickfall, PlayBreaksAKnownBrickScoresAndEndsWhenEveryBallIsLost) {
    const std::string work = freshWork("play");
    const GameRun run = playOneGame(work);
    ASSERT_EQ(run.status, 0) << run.output;
    expectInOrder(run.output, {
        "openURL: ",  // the about page, a file of the project
        "/Brickfall.app/Contents/Resources/Brickfall.gameproj/about.html",
        "brick at row 5 column 7 broken: score 10\n",
        // Losing the focus pauses the game until P, even after the focus came back.
        "paused\ngoing on\n",
        "ball lost: 2 lives left",
        "brick at row 5 column 2 broken: score 20\n",
        "ball lost: 1 lives left",
        "brick at row 4 column 2 broken: score 50\n",
        "brick at row 5 column 4 broken: score 70\n",
        "ball lost: 0 lives left",
        "game over: score 70, level 1",
        "high score 1. Ada              70",
    });
}

TEST(Brickfall, TitlePlayAndGameOverMatchTheirReferences) {
    const std::string work = freshWork("pictures");
    const GameRun run = playOneGame(work);
    ASSERT_EQ(run.status, 0) << run.output;
    for (const char* scene : {"title", "play", "gameover"}) {
        SCOPED_TRACE(scene);
        EXPECT_EQ(pictureMismatch(work + "/" + scene + ".png",
                                  kTests + "/references/brickfall-" + scene + ".png"), "");
    }
}

TEST(Brickfall, TheHighScoreTypedInIsReadBackInTheNextRun) {
    const std::string work = freshWork("next-run");
    ASSERT_EQ(playOneGame(work).status, 0);
    std::ofstream(work + "/scores.timeline") << "30 keydown h\n31 keyup h\n";  // the other spelling
    const GameRun next = play(work, work + "/scores.timeline", 60);
    ASSERT_EQ(next.status, 0) << next.output;
    expectInOrder(next.output, {"title: best Ada 70", "high score 1. Ada              70"});
}

}  // namespace
