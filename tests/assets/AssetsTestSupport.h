// Helpers of the asset tests: picture files written on the fly, texture read-back and live
// texture counts.
#ifndef ASSETS_TEST_SUPPORT_H
#define ASSETS_TEST_SUPPORT_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "SGGL.h"
#include "SGImage.h"

using TestPixel = std::array<int, 4>;
// The colour of the picture at (x, y), y counted from the top as files store it.
using TestPicture = TestPixel (*)(int x, int y);

// A fresh folder for this test program's files.
std::string assetsTestDir();
// Writes a w × h picture as PNG, JPEG, BMP, TIFF or WebP by the path's ending.
void writePicture(const std::string& path, int w, int h, TestPicture picture);
// Writes a w × h JPEG of one colour the way less common tools do.
struct UnusualJPEG {
    bool cmyk = false;        // four inverted components with Adobe's marker, as Adobe's tools write
    bool arithmetic = false;  // arithmetic coding instead of Huffman coding
    size_t metadataBytes = 0;  // comment segments before the frame header
};
void writeUnusualJPEG(const std::string& path, int w, int h, TestPixel colour, UnusualJPEG kind);
// Writes a w × h GIF of one colour.
void writeSolidGIF(const std::string& path, int w, int h, TestPixel colour);
void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> readBytes(const std::string& path);
// The texture's RGBA pixels, row 0 first (t = 0).
std::vector<uint8_t> textureRGBA(const SGImage& image);
// How many texture names are alive in the current context.
int countLiveTextures();

#endif
