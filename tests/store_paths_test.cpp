// Whole frames drawn by the narrow and the wide store paths: the same bytes at every clock.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "scene/scene.h"
#include "text/text.h"

TEST(StorePaths, WideAndNarrowDrawTheSameFrames)
{
    if (!GFX_WideStores)
        GTEST_SKIP() << "this processor has only the narrow path";
    ASSERT_EQ(FFX_Init(nullptr), 1);
    const size_t pixels = static_cast<size_t>(DisplayConfig.width) * DisplayConfig.height;
    std::vector<uint32_t> narrow(pixels, 0x12345678u), wide(pixels, 0x12345678u);
    // Clock 0 generates the pattern; the others lie outside the generation windows, so both paths
    // draw the same text. They cover every scroll offset's colours and both signs.
    FFX_Render(narrow.data(), 0.0f);
    const float clocks[] = {0.15f, 1.05f, 3.3f, 5.95f, 6.55f, 12.79f, 99999.9f, -0.35f, -7.7f};
    for (float seconds : clocks) {
        GFX_WideStores = false;
        FFX_Render(narrow.data(), seconds);
        GFX_WideStores = true;
        FFX_Render(wide.data(), seconds);
        ASSERT_EQ(std::memcmp(narrow.data(), wide.data(), pixels * 4), 0) << "clock " << seconds;
    }
}
