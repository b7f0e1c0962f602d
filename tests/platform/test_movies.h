// Movie files for tests and benchmarks, encoded here with FFmpeg's own libraries.
#ifndef QZ_TEST_MOVIES_H
#define QZ_TEST_MOVIES_H

#include <array>
#include <cstdint>
#include <functional>
#include <string>

struct TestMovie {
    int width = 64;
    int height = 36;
    int framesPerSecond = 10;
    int frames = 10;
    // The colour of pixel (x, y), counted from the top left, in frame `frame`; a small white
    // mark moves along the top edge over it.
    std::function<std::array<uint8_t, 3>(int frame, int x, int y)> colour = [](int, int, int) {
        return std::array<uint8_t, 3>{0, 255, 0};
    };
    bool sound = false;  // a stereo 16-bit tone at 44.1 kHz beside the pictures
    std::string codec = "mpeg4";  // an encoder's name
};

// Writes the movie as QuickTime; false with *error set when it cannot.
bool writeTestMovie(const std::string& path, const TestMovie& movie, std::string* error);

#endif
