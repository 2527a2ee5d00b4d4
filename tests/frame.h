// A whole frame for pixel tests, pre-filled with a colour the scene never uses
// so that untouched pixels stand out.
#pragma once

#include <cstdint>
#include <vector>

#include "scene/display_config.h"

static const uint32_t Untouched = 0x12345678;

struct TestFrame {
    std::vector<uint32_t> pixels =
        std::vector<uint32_t>(static_cast<size_t>(DisplayConfig.width) * DisplayConfig.height, Untouched);

    uint32_t *data() { return pixels.data(); }
    uint32_t at(int32_t x, int32_t y) const
    {
        return pixels.at(static_cast<size_t>(y) * DisplayConfig.width + x);
    }
    // Pixels that differ from Untouched.
    size_t written() const
    {
        size_t count = 0;
        for (uint32_t p : pixels)
            count += (p != Untouched);
        return count;
    }
};
