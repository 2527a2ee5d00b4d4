// The eight channel views: a travelling sine wave in each, one dot per sample.
#include <cmath>

#include "scene/colours.h"
#include "scene/scene.h"

// Cycles across a view and speed in radians per second, by scope number 4 * row + column.
static const float ScopeCycles[8] = {3.0f, 2.2f, 1.3f, 6.8f, 0.1f, 2.3f, 15.4f, 2.3f};
static const float ScopeSpeed[8] = {1.0f, 2.2f, 4.3f, 1.6f, 6.1f, 8.3f, 4.4f, 7.3f};

void FFX_DrawScopes(uint32_t *frameBuffer, float seconds)
{
    const int32_t width = DisplayConfig.width;
    for (int32_t row = 0; row < 2; ++row) {
        for (int32_t column = 0; column < 4; ++column) {
            const int32_t n = 4 * row + column;
            const int32_t x0 = 72 * column + 2;
            const int32_t y0 = 67 * row + 80;
            GFX_FillRect(frameBuffer, x0, y0, 64, 45, ColourBlack);
            GFX_Bevel(frameBuffer, x0, y0, 65, 45, 0);

            const double phase = static_cast<double>(seconds) * ScopeSpeed[n];
            const double spread = static_cast<double>(ScopeCycles[n]) * 6.2831;
            uint32_t *centre = frameBuffer + (y0 + 22) * width + x0 + 2;
            for (int32_t k = 0; k < 64; ++k) {
                const double angle = phase + spread * k / 64.0;
                const float v = static_cast<float>(std::sin(angle));
                // The product of the two floats is exact in double; truncate it, never round.
                const int32_t offset = static_cast<int32_t>(static_cast<double>(22.0f) * v);
                centre[offset * width + k] = ColourWhite;
            }
        }
    }
}
