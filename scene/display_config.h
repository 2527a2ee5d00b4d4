// The display size and depth, fixed when the program is built.
#pragma once

#include <cstdint>

#ifndef TRACKER_DEPTH
#define TRACKER_DEPTH 32
#endif

struct DisplayConfigValues {
    int32_t width;   // display mode and frame memory width in pixels
    int32_t height;  // display mode and frame memory height in pixels
    int32_t depth;   // bits per pixel; 8 selects the palette mode, which still shows at 32
};

inline constexpr DisplayConfigValues DisplayConfig = {640, 480, TRACKER_DEPTH};
