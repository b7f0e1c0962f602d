// Tests of the movie reader on movies encoded here: pictures, sizes, times and colours, and
// files it refuses with their reason.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "QzMovieReader.h"
#include "test_movies.h"

namespace {

namespace fs = std::filesystem;

class MovieReader : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("qz-movie-reader-" + std::to_string(getpid()));
        fs::create_directories(root);
    }
    void TearDown() override { fs::remove_all(root); }
    std::string write(const std::string& name, const TestMovie& movie) {
        const std::string path = (root / name).string();
        std::string error;
        EXPECT_TRUE(writeTestMovie(path, movie, &error)) << error;
        return path;
    }
    fs::path root;
};

TEST_F(MovieReader, PicturesComeInOrderWithTheirTimesSizeAndColours) {
    TestMovie movie{.width = 64, .height = 36, .framesPerSecond = 10, .frames = 10, .sound = true};
    movie.colour = [](int frame, int, int) { return frame < 5 ? std::array<uint8_t, 3>{0, 255, 0} : std::array<uint8_t, 3>{0, 0, 255}; };
    std::string error;
    const auto reader = QzMovieReader::open(write("two-colours.mov", movie), &error);
    ASSERT_TRUE(reader) << error;
    EXPECT_EQ(reader->width(), 64);
    EXPECT_EQ(reader->height(), 36);
    EXPECT_NEAR(reader->displayAspectRatio(), 64.0 / 36, 1e-6);
    EXPECT_NEAR(reader->durationSeconds(), 1.0, 0.05);
    QzMovieFrame frame;
    int count = 0;
    while (reader->nextFrame(&frame, &error)) {
        EXPECT_NEAR(frame.seconds, count * 0.1, 1e-6) << count;
        ASSERT_EQ(frame.rgba.size(), 64u * 36 * 4);
        const uint8_t* middle = &frame.rgba[(18 * 64 + 32) * 4];
        EXPECT_NEAR(middle[1], count < 5 ? 255 : 0, 12) << count;
        EXPECT_NEAR(middle[2], count < 5 ? 0 : 255, 12) << count;
        EXPECT_EQ(middle[3], 255);
        ++count;
    }
    EXPECT_TRUE(error.empty()) << error;
    EXPECT_EQ(count, 10);
    EXPECT_FALSE(reader->nextFrame(&frame, &error)) << "the end stays the end";
}

TEST_F(MovieReader, FilesThatAreNoMoviesAreRefusedWithTheirReason) {
    const std::string valid = write("valid.mov", {});
    std::ifstream in(valid, std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::string playlist = "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1,\n" + valid + "\n#EXT-X-ENDLIST\n";
    const struct {
        const char* name;
        std::string content;
        const char* reason;
    } cases[] = {
        {"text.mov", "not a movie at all\n", "cannot be opened as a movie"},
        {"empty.mov", "", "cannot be opened as a movie"},
        {"half.mov", bytes.substr(0, bytes.size() / 2), "pictures"},
        {"playlist.mov", playlist, "cannot be opened as a movie"},
    };
    for (const auto& c : cases) {
        std::ofstream((root / c.name).string(), std::ios::binary) << c.content;
        std::string error;
        EXPECT_FALSE(QzMovieReader::open((root / c.name).string(), &error)) << c.name;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.name << ": " << error;
    }
    std::string error;
    EXPECT_FALSE(QzMovieReader::open((root / "missing.mov").string(), &error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
