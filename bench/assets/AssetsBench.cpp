// Benchmark of picture and text textures: 200 PNG files of 256 × 256 loaded through the asset
// manager against a bare SDL2_image decode of the same files, the steps in between, and the
// texture of a wrapped paragraph and of a one-word label.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <SDL2/SDL.h>
#include <SDL2/SDL_image.h>
#include <benchmark/benchmark.h>

#include "QzEngineAssetManager.h"
#include "QzImageLoader.h"
#include "QzOffscreenGL.h"
#include "QzStringTexture.h"

namespace {

constexpr int kFiles = 200;
constexpr int kSide = 256;

// Pictures with an alpha gradient and some texture, so they compress like real art.
const std::vector<std::string>& pictures() {
    static const std::vector<std::string> paths = [] {
        const auto dir = std::filesystem::temp_directory_path() / "quillane-assets-bench";
        std::filesystem::create_directories(dir);
        std::vector<std::string> files;
        for (int i = 0; i < kFiles; ++i) {
            const std::string path = (dir / ("picture" + std::to_string(i) + ".png")).string();
            files.push_back(path);
            if (std::filesystem::exists(path)) continue;
            SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, kSide, kSide, 32, SDL_PIXELFORMAT_RGBA32);
            auto* pixels = static_cast<uint8_t*>(surface->pixels);
            for (int y = 0; y < kSide; ++y) {
                for (int x = 0; x < kSide; ++x) {
                    uint8_t* p = pixels + y * surface->pitch + x * 4;
                    p[0] = static_cast<uint8_t>(x ^ (y * 3) ^ i);
                    p[1] = static_cast<uint8_t>((x * y) >> 4);
                    p[2] = static_cast<uint8_t>(y + i);
                    p[3] = static_cast<uint8_t>(x);
                }
            }
            IMG_SavePNG(surface, path.c_str());
            SDL_FreeSurface(surface);
        }
        return files;
    }();
    return paths;
}

void BM_BareSDLImageDecode(benchmark::State& state) {
    for (auto _ : state) {
        for (const std::string& path : pictures()) {
            SDL_Surface* surface = IMG_Load(path.c_str());
            benchmark::DoNotOptimize(surface);
            SDL_FreeSurface(surface);
        }
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}

void BM_ManagerLoad(benchmark::State& state) {
    const std::vector<std::string>& paths = pictures();
    QzEngineAssetManager manager([&](const char*, const std::string& name) { return paths[std::stoul(name)]; });
    std::vector<std::string> names;
    for (int i = 0; i < kFiles; ++i) names.push_back(std::to_string(i));
    for (auto _ : state) {
        for (const std::string& name : names) manager.loadImageForName(name);
        state.PauseTiming();
        manager.unloadAllImages();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}

// The steps of a load: the header check, decode, conversion, premultiplying and flipping...
void BM_DecodePremultiplyFlip(benchmark::State& state) {
    for (auto _ : state) {
        for (const std::string& path : pictures()) {
            QzBitmap bitmap;
            std::string error;
            benchmark::DoNotOptimize(QzDecodeImageFile(path, &bitmap, &error));
        }
    }
}

// ...and the upload.
void BM_Upload(benchmark::State& state) {
    QzBitmap bitmap;
    std::string error;
    QzDecodeImageFile(pictures()[0], &bitmap, &error);
    for (auto _ : state) {
        for (int i = 0; i < kFiles; ++i) {
            GLuint name = uploadAsGLTexture(bitmap);
            glDeleteTextures(1, &name);
        }
    }
}

void BM_TextParagraph(benchmark::State& state) {
    const std::string paragraph =
        "The lighthouse keeper climbed the spiral stairs every evening, counting the steps aloud "
        "so that the gulls would know the lamp was coming. Tonight the wind carried salt and rain "
        "across the rocks below.";
    for (auto _ : state) {
        SGImage image = QzImageFromString(paragraph.c_str(), "Georgia", 14, QzTextAlignLeft, true, 320, 160);
        image.freeImage();
    }
    state.counters["chars"] = static_cast<double>(paragraph.size());
}

void BM_TextLabel(benchmark::State& state) {
    for (auto _ : state) {
        SGImage image = QzImageFromString("Score", "Arial", 18, QzTextAlignCenter, false, 0, 0);
        image.freeImage();
    }
}

// The same label as BM_TextLabel with a markup run, an outline and a shadow: its cost beside
// the plain one's is what styling a label adds each time its text changes.
void BM_TextLabelStyled(benchmark::State& state) {
    QzTextStyle style;
    style.markup = true;
    style.outlineColor = {0, 0, 0, 1};
    style.outlineWidth = 2;
    style.shadowColor = {0, 0, 0, 0.5};
    style.shadowDx = 2;
    style.shadowDy = -2;
    for (auto _ : state) {
        SGImage image = QzImageFromString("Sc[b][color=#ffd040]ore[/color][/b]", "Arial", 18, QzTextAlignCenter, false,
                                          0, 0, style);
        image.freeImage();
    }
}

// Process CPU time counts the rasteriser's threads too, where the upload may hand work.
BENCHMARK(BM_BareSDLImageDecode)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_ManagerLoad)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_DecodePremultiplyFlip)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_Upload)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_TextParagraph)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TextLabel)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TextLabelStyled)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    auto gl = QzOffscreenGL::create(64, 64, &error);
    if (!gl) {
        std::fprintf(stderr, "assets_bench: no off-screen OpenGL context: %s\n", error.c_str());
        return 1;
    }
    pictures();  // written before any timing starts
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
