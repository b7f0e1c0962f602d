// Makes Brickfall's pictures (drawn with Cairo) and sounds (synthesised, written as Ogg Vorbis
// with libsndfile) into the project's images/ and sounds/ folders, so the game ships nothing
// of unknown origin.
#include <cairo.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kRate = 22050;

using Painter = std::function<void(cairo_t*, int, int)>;

bool writePicture(const std::string& path, int width, int height, const Painter& paint) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(surface);
    paint(cr, width, height);
    cairo_destroy(cr);
    const bool ok = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    if (!ok) std::fprintf(stderr, "brickfall_assets: cannot write %s\n", path.c_str());
    return ok;
}

void roundedRectangle(cairo_t* cr, double x, double y, double w, double h, double r) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -kPi / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, kPi / 2);
    cairo_arc(cr, x + r, y + h - r, r, kPi / 2, kPi);
    cairo_arc(cr, x + r, y + r, r, kPi, 3 * kPi / 2);
    cairo_close_path(cr);
}

// A light grey bevelled block: the game tints it with each brick's colour.
void paintBrick(cairo_t* cr, int w, int h) {
    cairo_pattern_t* shade = cairo_pattern_create_linear(0, 0, 0, h);
    cairo_pattern_add_color_stop_rgb(shade, 0, 1, 1, 1);
    cairo_pattern_add_color_stop_rgb(shade, 1, 0.62, 0.62, 0.62);
    roundedRectangle(cr, 1, 1, w - 2, h - 2, 3);
    cairo_set_source(cr, shade);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(shade);
    cairo_set_source_rgba(cr, 0.3, 0.3, 0.3, 1);
    cairo_set_line_width(cr, 1.5);
    cairo_stroke(cr);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.7);
    cairo_rectangle(cr, 4, 3, w - 8, 2);
    cairo_fill(cr);
}

void paintPaddle(cairo_t* cr, int w, int h) {
    cairo_pattern_t* shade = cairo_pattern_create_linear(0, 0, 0, h);
    cairo_pattern_add_color_stop_rgb(shade, 0, 0.75, 0.95, 1);
    cairo_pattern_add_color_stop_rgb(shade, 1, 0.15, 0.45, 0.8);
    roundedRectangle(cr, 1, 1, w - 2, h - 2, h / 2.0 - 1);
    cairo_set_source(cr, shade);
    cairo_fill(cr);
    cairo_pattern_destroy(shade);
}

void paintBall(cairo_t* cr, int w, int) {
    const double r = w / 2.0;
    cairo_pattern_t* shade = cairo_pattern_create_radial(r * 0.7, r * 0.7, 1, r, r, r);
    cairo_pattern_add_color_stop_rgb(shade, 0, 1, 1, 1);
    cairo_pattern_add_color_stop_rgb(shade, 1, 0.85, 0.8, 0.55);
    cairo_arc(cr, r, r, r - 0.5, 0, 2 * kPi);
    cairo_set_source(cr, shade);
    cairo_fill(cr);
    cairo_pattern_destroy(shade);
}

void paintSpark(cairo_t* cr, int w, int) {
    const double r = w / 2.0;
    cairo_pattern_t* glow = cairo_pattern_create_radial(r, r, 0, r, r, r);
    cairo_pattern_add_color_stop_rgba(glow, 0, 1, 1, 1, 1);
    cairo_pattern_add_color_stop_rgba(glow, 1, 1, 1, 1, 0);
    cairo_set_source(cr, glow);
    cairo_paint(cr);
    cairo_pattern_destroy(glow);
}

// A faint white grid fading towards the top, tinted by the scene: the play field's backdrop.
void paintBackdrop(cairo_t* cr, int w, int h) {
    cairo_pattern_t* fade = cairo_pattern_create_linear(0, 0, 0, h);
    cairo_pattern_add_color_stop_rgba(fade, 0, 1, 1, 1, 0.04);
    cairo_pattern_add_color_stop_rgba(fade, 1, 1, 1, 1, 0.3);
    cairo_set_source(cr, fade);
    cairo_set_line_width(cr, 1);
    for (int x = 0; x <= w; x += 24) {
        cairo_move_to(cr, x + 0.5, 0);
        cairo_line_to(cr, x + 0.5, h);
    }
    for (int y = 0; y <= h; y += 24) {
        cairo_move_to(cr, 0, y + 0.5);
        cairo_line_to(cr, w, y + 0.5);
    }
    cairo_stroke(cr);
    cairo_pattern_destroy(fade);
}

// --- Sounds ---

using Samples = std::vector<float>;

// A tone sliding from one frequency to another, square-ish when `square` is set, with a
// quick attack and an exponential decay.
Samples tone(double seconds, double fromHz, double toHz, double decay, bool square) {
    Samples out(static_cast<size_t>(seconds * kRate));
    double phase = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double hz = fromHz + (toHz - fromHz) * (t / seconds);
        phase += 2 * kPi * hz / kRate;
        double wave = std::sin(phase);
        if (square) wave = std::tanh(4 * wave) * 0.7;
        const double envelope = std::min(1.0, t * 400) * std::exp(-decay * t);
        out[i] = static_cast<float>(0.6 * wave * envelope);
    }
    return out;
}

void mixInto(Samples* target, const Samples& part, double atSeconds, double gain) {
    const size_t start = static_cast<size_t>(atSeconds * kRate);
    if (target->size() < start + part.size()) target->resize(start + part.size(), 0.0f);
    for (size_t i = 0; i < part.size(); ++i) (*target)[start + i] += static_cast<float>(part[i] * gain);
}

double noteHz(int semitonesFromA4) {
    return 440.0 * std::pow(2.0, semitonesFromA4 / 12.0);
}

Samples arpeggio(const std::vector<int>& notes, double step, double decay) {
    Samples out;
    for (size_t i = 0; i < notes.size(); ++i) {
        const double hz = noteHz(notes[i]);
        mixInto(&out, tone(step * 2, hz, hz, decay, true), step * static_cast<double>(i), 0.8);
    }
    return out;
}

// Eight bars of a looping tune: a bass line and a soft lead over a four-chord progression.
Samples music() {
    const double beat = 60.0 / 128.0;
    const int chords[4][3] = {{-9, -5, -2}, {-14, -10, -7}, {-12, -9, -5}, {-7, -3, 0}};
    Samples out(static_cast<size_t>(beat * 32 * kRate), 0.0f);
    for (int bar = 0; bar < 8; ++bar) {
        const int* chord = chords[bar % 4];
        for (int b = 0; b < 4; ++b) {
            const double at = (bar * 4 + b) * beat;
            const double bass = noteHz(chord[0] - 12);
            mixInto(&out, tone(beat * 0.9, bass, bass, 5, true), at, 0.45);
            for (int half = 0; half < 2; ++half) {
                const double lead = noteHz(chord[(b + half + bar) % 3] + 12);
                mixInto(&out, tone(beat * 0.5, lead, lead, 9, false), at + half * beat / 2, 0.22);
            }
        }
    }
    out.resize(static_cast<size_t>(beat * 32 * kRate));
    return out;
}

bool writeSound(const std::string& path, const Samples& samples) {
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 1;
    info.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) {
        std::fprintf(stderr, "brickfall_assets: cannot write %s: %s\n", path.c_str(), sf_strerror(nullptr));
        return false;
    }
    double quality = 0.4;
    sf_command(file, SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof quality);
    Samples clipped(samples);
    for (float& sample : clipped) sample = std::fmax(-1.0f, std::fmin(1.0f, sample));
    const sf_count_t written = sf_write_float(file, clipped.data(), static_cast<sf_count_t>(clipped.size()));
    sf_close(file);
    return written == static_cast<sf_count_t>(clipped.size());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: brickfall_assets PROJECT.gameproj\n");
        return 2;
    }
    const std::string project = argv[1];
    const std::string images = project + "/images/";
    const std::string sounds = project + "/sounds/";
    bool ok = writePicture(images + "brick.png", 40, 16, paintBrick);
    ok = writePicture(images + "paddle.png", 64, 12, paintPaddle) && ok;
    ok = writePicture(images + "ball.png", 16, 16, paintBall) && ok;
    ok = writePicture(images + "spark.png", 16, 16, paintSpark) && ok;
    ok = writePicture(images + "backdrop.png", 480, 320, paintBackdrop) && ok;
    ok = writeSound(sounds + "paddle.ogg", tone(0.12, 440, 520, 30, true)) && ok;
    ok = writeSound(sounds + "brick.ogg", tone(0.1, 880, 1320, 35, true)) && ok;
    ok = writeSound(sounds + "wall.ogg", tone(0.06, 330, 300, 50, false)) && ok;
    ok = writeSound(sounds + "lose.ogg", tone(0.6, 400, 90, 4, true)) && ok;
    ok = writeSound(sounds + "level.ogg", arpeggio({3, 7, 10, 15}, 0.09, 8)) && ok;
    ok = writeSound(sounds + "gameover.ogg", arpeggio({3, -2, -6, -9}, 0.18, 5)) && ok;
    ok = writeSound(sounds + "music.ogg", music()) && ok;
    return ok ? 0 : 1;
}
