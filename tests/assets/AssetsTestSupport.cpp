// Picture files, texture read-back and texture counts for the asset tests.
#include "AssetsTestSupport.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <SDL2/SDL.h>
#include <SDL2/SDL_image.h>
#include <jpeglib.h>
#include <tiffio.h>
#include <webp/encode.h>

std::string assetsTestDir() {
    static const std::string dir = [] {
        const std::string path = std::string(QZ_BINARY_DIR) + "/tests/assets/work-" + std::to_string(getpid());
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
        return path;
    }();
    return dir;
}

void writePicture(const std::string& path, int w, int h, TestPicture picture) {
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, w, h, 32, SDL_PIXELFORMAT_RGBA32);
    if (!surface) throw std::runtime_error(SDL_GetError());
    for (int y = 0; y < h; ++y) {
        auto* row = static_cast<uint8_t*>(surface->pixels) + y * surface->pitch;
        for (int x = 0; x < w; ++x) {
            const TestPixel p = picture(x, y);
            for (int c = 0; c < 4; ++c) row[x * 4 + c] = static_cast<uint8_t>(p[c]);
        }
    }
    const std::string ending = path.substr(path.size() - 4);
    const auto* rgba = static_cast<const uint8_t*>(surface->pixels);
    int status = -1;
    if (ending == ".jpg") {
        status = IMG_SaveJPG(surface, path.c_str(), 95);
    } else if (ending == ".bmp") {
        status = SDL_SaveBMP(surface, path.c_str());
    } else if (ending == ".tif") {
        TIFF* tiff = TIFFOpen(path.c_str(), "w");
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, w);
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, h);
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 4);
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        const uint16_t extra = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &extra);
        TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        status = 0;
        for (int y = 0; y < h; ++y) {
            if (TIFFWriteScanline(tiff, const_cast<uint8_t*>(rgba + y * surface->pitch), uint32_t(y), 0) < 0) status = -1;
        }
        TIFFClose(tiff);
    } else if (ending == "webp") {
        uint8_t* encoded = nullptr;
        const size_t size = WebPEncodeLosslessRGBA(rgba, w, h, surface->pitch, &encoded);
        writeBytes(path, std::vector<uint8_t>(encoded, encoded + size));
        WebPFree(encoded);
        status = size > 0 ? 0 : -1;
    } else {
        status = IMG_SavePNG(surface, path.c_str());
    }
    SDL_FreeSurface(surface);
    if (status != 0) throw std::runtime_error("cannot write " + path);
}

void writeUnusualJPEG(const std::string& path, int w, int h, TestPixel colour, UnusualJPEG kind) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) throw std::runtime_error("cannot write " + path);
    jpeg_stdio_dest(&info, file);
    info.image_width = JDIMENSION(w);
    info.image_height = JDIMENSION(h);
    info.input_components = kind.cmyk ? 4 : 3;
    info.in_color_space = kind.cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&info);
    info.arith_code = kind.arithmetic;
    jpeg_start_compress(&info, TRUE);
    const std::vector<uint8_t> comment(60000, 'x');
    for (size_t written = 0; written < kind.metadataBytes; written += comment.size())
        jpeg_write_marker(&info, JPEG_COM, comment.data(), unsigned(comment.size()));
    std::vector<uint8_t> row;
    for (int x = 0; x < w; ++x) {
        if (kind.cmyk) {
            // Inverted: 255 is no ink. The black takes what the three colours share.
            const int black = 255 - std::max({colour[0], colour[1], colour[2]});
            for (int c = 0; c < 3; ++c) row.push_back(uint8_t(255 - (black == 255 ? 0 : (255 - colour[c] - black) * 255 / (255 - black))));
            row.push_back(uint8_t(255 - black));
        } else {
            for (int c = 0; c < 3; ++c) row.push_back(uint8_t(colour[c]));
        }
    }
    for (int y = 0; y < h; ++y) {
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(file);
}

// A GIF with a 128-colour table (colour 0 used) whose pixel codes are 8 bits wide: a clear
// code every 120 pixels keeps the code table from growing past that width.
void writeSolidGIF(const std::string& path, int w, int h, TestPixel colour) {
    std::vector<uint8_t> gif = {'G', 'I', 'F', '8', '9', 'a', uint8_t(w), uint8_t(w >> 8), uint8_t(h),
                                uint8_t(h >> 8), 0xf6, 0, 0};
    for (int i = 0; i < 128; ++i) {
        for (int c = 0; c < 3; ++c) gif.push_back(i == 0 ? uint8_t(colour[c]) : 0);
    }
    gif.insert(gif.end(), {0x2c, 0, 0, 0, 0, uint8_t(w), uint8_t(w >> 8), uint8_t(h), uint8_t(h >> 8), 0, 7});
    std::vector<uint8_t> codes;
    for (int i = 0; i < w * h; ++i) {
        if (i % 120 == 0) codes.push_back(128);  // clear
        codes.push_back(0);
    }
    codes.push_back(129);  // end of information
    // Codes of 8 bits are one byte each, in sub-blocks of at most 255 bytes.
    for (size_t at = 0; at < codes.size(); at += 255) {
        const size_t length = std::min<size_t>(255, codes.size() - at);
        gif.push_back(uint8_t(length));
        gif.insert(gif.end(), codes.begin() + long(at), codes.begin() + long(at + length));
    }
    gif.insert(gif.end(), {0, 0x3b});
    writeBytes(path, gif);
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> textureRGBA(const SGImage& image) {
    std::vector<uint8_t> pixels(static_cast<size_t>(image.textureWidth) * image.textureHeight * 4);
    glBindTexture(GL_TEXTURE_2D, image.textureName);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

int countLiveTextures() {
    int live = 0;
    for (GLuint name = 1; name < 4096; ++name) live += glIsTexture(name) ? 1 : 0;
    return live;
}
