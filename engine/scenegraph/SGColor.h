// SGColor: the four-float colour value that colour ports carry.
#ifndef SG_COLOR_H
#define SG_COLOR_H

struct SGColor {
    float r;
    float g;
    float b;
    float a;
};

inline constexpr SGColor SGWhiteColor = {1.0f, 1.0f, 1.0f, 1.0f};

#endif
