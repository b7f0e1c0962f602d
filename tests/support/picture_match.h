// Comparing a screenshot with its reviewed reference picture, for the tests that play games
// headless: a few pixels may differ by a shade (edges of text and particles).
#ifndef QZ_TESTS_PICTURE_MATCH_H
#define QZ_TESTS_PICTURE_MATCH_H

#include <cstdlib>
#include <string>
#include <vector>

#include <png.h>

struct Picture {
    unsigned width = 0;
    unsigned height = 0;
    std::vector<unsigned char> rgba;
};

inline bool readPNG(const std::string& path, Picture* picture) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGBA;
    picture->width = image.width;
    picture->height = image.height;
    picture->rgba.resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, picture->rgba.data(), 0, nullptr) != 0;
}

// A pixel differs when a channel is off by more than this; a picture matches when at most
// this share of its pixels differ.
constexpr int kChannelTolerance = 12;
constexpr double kMaxDifferingShare = 0.002;

inline size_t differingPixels(const Picture& a, const Picture& b) {
    size_t count = 0;
    for (size_t pixel = 0; pixel + 3 < a.rgba.size(); pixel += 4) {
        for (size_t channel = 0; channel < 4; ++channel) {
            if (std::abs(a.rgba[pixel + channel] - b.rgba[pixel + channel]) > kChannelTolerance) {
                ++count;
                break;
            }
        }
    }
    return count;
}

// Empty when the screenshot matches the reference; otherwise what is wrong and what to do.
inline std::string pictureMismatch(const std::string& actualPath, const std::string& referencePath) {
    Picture actual, reference;
    if (!readPNG(actualPath, &actual)) return "no screenshot " + actualPath;
    if (!readPNG(referencePath, &reference)) return "no reference " + referencePath;
    if (actual.width != reference.width || actual.height != reference.height) {
        return "the screenshot " + actualPath + " is not the size of " + referencePath;
    }
    const size_t differing = differingPixels(actual, reference);
    if (differing <= static_cast<size_t>(kMaxDifferingShare * actual.width * actual.height)) return "";
    return std::to_string(differing) + " pixels changed: look at " + actualPath +
           " and, if it is right, copy it to " + referencePath;
}

#endif
