// The channel views: boxes, frames and the sampled traces drawn over them.
#include <gtest/gtest.h>

#include "scene/scene.h"
#include "tests/frame.h"

static const uint32_t Black = 0x00000000;
static const uint32_t Trace = 0xFFFFFFFF;
static const uint32_t Shade = 0xFF404040;
static const uint32_t Light = 0xFFF0F0F0;

struct View {
    int32_t x0, y0;
};
static View ViewOf(int32_t n)
{
    return {72 * (n % 4) + 2, 67 * (n / 4) + 80};
}

// The rows of column x within a view that hold a trace dot.
static std::vector<int32_t> DotsInColumn(const TestFrame &f, View v, int32_t x)
{
    std::vector<int32_t> rows;
    for (int32_t y = v.y0 - 1; y <= v.y0 + 46; ++y)
        if (f.at(x, y) == Trace)
            rows.push_back(y - v.y0);
    return rows;
}

TEST(Scopes, AtClockZeroEveryTraceStartsOnItsCentreLine)
{
    TestFrame f;
    FFX_DrawScopes(f.data(), 0.0f);
    for (int32_t n = 0; n < 8; ++n) {
        const View v = ViewOf(n);
        EXPECT_EQ(DotsInColumn(f, v, v.x0 + 2), std::vector<int32_t>{22}) << "scope " << n;
    }
    // Scope 4 shows a tenth of a cycle: it slopes down gently to 12 rows below the centre.
    const View v4 = ViewOf(4);
    EXPECT_EQ(DotsInColumn(f, v4, v4.x0 + 65), std::vector<int32_t>{22 + 12});
    int32_t previous = 22;
    for (int32_t k = 1; k < 64; ++k) {
        const std::vector<int32_t> dots = DotsInColumn(f, v4, v4.x0 + 2 + k);
        ASSERT_EQ(dots.size(), 1u) << "k " << k;
        EXPECT_GE(dots[0], previous);
        EXPECT_LE(dots[0], previous + 1);
        previous = dots[0];
    }
}

TEST(Scopes, BoxFrameAndTheColumnsTheTraceOverwritesOrMisses)
{
    for (float seconds : {0.0f, 1.7f, 123.45f}) {
        TestFrame f;
        FFX_DrawScopes(f.data(), seconds);
        for (int32_t n = 0; n < 8; ++n) {
            const View v = ViewOf(n);
            SCOPED_TRACE(testing::Message() << "scope " << n << " at " << seconds);
            // Column x0 + 1 keeps the box fill on every row below the frame's top edge.
            for (int32_t y = v.y0 + 1; y <= v.y0 + 44; ++y)
                ASSERT_EQ(f.at(v.x0 + 1, y), Black) << y;
            // Samples 62 and 63 land on the right edge and the right outline: one dot each,
            // the rest of those columns keep the frame.
            for (int32_t k : {62, 63}) {
                const int32_t x = v.x0 + 2 + k;
                const std::vector<int32_t> dots = DotsInColumn(f, v, x);
                ASSERT_EQ(dots.size(), 1u) << "k " << k;
                const uint32_t frame = (k == 62) ? Light : Black;
                for (int32_t y = v.y0; y < v.y0 + 45; ++y)
                    if (y != v.y0 + dots[0]) {
                        ASSERT_EQ(f.at(x, y), frame) << "k " << k << " row " << y;
                    }
            }
            EXPECT_EQ(f.at(v.x0 - 1, v.y0 + 10), Black);
            EXPECT_EQ(f.at(v.x0, v.y0 + 10), Shade);
            EXPECT_EQ(f.at(v.x0 + 10, v.y0 + 45), Light);
            // Dots stay within rows y0 ... y0 + 44, one per sample column.
            for (int32_t k = 0; k < 64; ++k) {
                const std::vector<int32_t> dots = DotsInColumn(f, v, v.x0 + 2 + k);
                ASSERT_EQ(dots.size(), 1u) << "k " << k;
                EXPECT_GE(dots[0], 0);
                EXPECT_LE(dots[0], 44);
            }
        }
    }
}

TEST(Scopes, TracesTravelWithTheClockAtTheirOwnSpeed)
{
    // Scope 4 moves 6.1 rad/s: a quarter turn later its first sample sits near the top or bottom.
    TestFrame f;
    const float quarter = static_cast<float>(1.5707963 / 6.1);
    FFX_DrawScopes(f.data(), quarter);
    const View v4 = ViewOf(4);
    EXPECT_EQ(DotsInColumn(f, v4, v4.x0 + 2), std::vector<int32_t>{22 + 22});
    // Truncation toward zero: a small negative value stays on the centre line.
    TestFrame g;
    const float tiny = -0.001f;  // sin(-0.001) * 22 is -0.022
    FFX_DrawScopes(g.data(), tiny);
    EXPECT_EQ(DotsInColumn(g, ViewOf(0), ViewOf(0).x0 + 2), std::vector<int32_t>{22});
}
