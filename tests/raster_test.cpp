// The raster primitives: spans, rectangles, the edge pattern's order and wrap, button labels.
#include <gtest/gtest.h>

#include <vector>

#include "scene/scene.h"
#include "text/text.h"
#include "tests/frame.h"

static const uint32_t Light = 0xFFF0F0F0;
static const uint32_t Shade = 0xFF404040;
static const uint32_t ButtonDark = 0xFF202020;
static const uint32_t Face = 0xFFA0A0A0;
static const uint32_t Outline = 0x00000000;
static const uint32_t Red = 0xFFFF0000;

TEST(Fill, SpanWritesExactlyCountPixelsAcrossRows)
{
    TestFrame f;
    GFX_FillSpan(f.data() + 639, Red, 0);
    EXPECT_EQ(f.written(), 0u);
    GFX_FillSpan(f.data() + 639, Red, 642);  // runs over two row ends
    EXPECT_EQ(f.written(), 642u);
    EXPECT_EQ(f.at(638, 0), Untouched);
    EXPECT_EQ(f.at(639, 0), Red);
    EXPECT_EQ(f.at(0, 2), Red);
    EXPECT_EQ(f.at(1, 2), Untouched);
}

TEST(Fill, RectCoversItsRowsOnly)
{
    TestFrame f;
    GFX_FillRect(f.data(), 10, 20, 3, 2, Red);
    EXPECT_EQ(f.written(), 6u);
    for (int32_t y = 20; y < 22; ++y)
        for (int32_t x = 10; x < 13; ++x)
            EXPECT_EQ(f.at(x, y), Red) << x << "," << y;
    GFX_FillRect(f.data(), 0, 0, 0, 5, Red);
    GFX_FillRect(f.data(), 0, 0, 5, 0, Red);
    EXPECT_EQ(f.written(), 6u);
}

// A small raised bevel: every pixel of the ring, the corners it leaves and the inside it keeps.
TEST(Bevel, RaisedEdgesOutlinesAndCorners)
{
    TestFrame f;
    const int32_t x = 100, y = 50, w = 6, h = 4;
    GFX_Bevel(f.data(), x, y, w, h, 1);

    for (int32_t i = 0; i < w; ++i) {
        EXPECT_EQ(f.at(x + i, y - 1), Outline);
        EXPECT_EQ(f.at(x + i, y + h + 1), Outline);
        EXPECT_EQ(f.at(x + i, y + h), Shade) << "lower edge lies one row below the frame";
    }
    for (int32_t i = 1; i < w - 1; ++i)
        EXPECT_EQ(f.at(x + i, y), Light);
    for (int32_t i = 0; i < h; ++i) {
        EXPECT_EQ(f.at(x - 1, y + i), Outline);
        EXPECT_EQ(f.at(x, y + i), Light);
        EXPECT_EQ(f.at(x + w - 1, y + i), Shade) << "right edge lies inside the frame";
        EXPECT_EQ(f.at(x + w, y + i), Outline);
    }
    EXPECT_EQ(f.at(x + w - 1, y), Shade) << "the vertical pass runs last";
    EXPECT_EQ(f.at(x, y + h), Shade);
    // The ring's corner columns are never written on rows y-1, y+h and y+h+1.
    for (int32_t row : {y - 1, y + h, y + h + 1}) {
        EXPECT_EQ(f.at(x - 1, row), Untouched);
        EXPECT_EQ(f.at(x + w, row), Untouched);
    }
    for (int32_t yy = y + 1; yy < y + h; ++yy)
        for (int32_t xx = x + 1; xx < x + w - 1; ++xx)
            EXPECT_EQ(f.at(xx, yy), Untouched);
    EXPECT_EQ(f.written(), static_cast<size_t>(4 * w + 4 * h - 2));
}

TEST(Bevel, SunkenSwapsTheTwoTones)
{
    TestFrame f;
    GFX_Bevel(f.data(), 100, 50, 6, 4, 0);
    EXPECT_EQ(f.at(100, 51), Shade);
    EXPECT_EQ(f.at(101, 50), Shade);
    EXPECT_EQ(f.at(105, 51), Light);
    EXPECT_EQ(f.at(101, 54), Light);
}

// The highlight bar's bevel spans the whole width, so its side outlines wrap onto the
// neighbouring rows and the write order decides what stays.
TEST(Bevel, FullWidthAtColumnZeroWrapsOntoNeighbouringRows)
{
    TestFrame f;
    GFX_Bevel(f.data(), 0, 337, 640, 16, 1);
    EXPECT_EQ(f.at(639, 336), Outline);
    for (int32_t y = 337; y <= 351; ++y)
        EXPECT_EQ(f.at(639, y), Outline) << "row " << y;
    EXPECT_EQ(f.at(639, 352), Shade);
    for (int32_t y = 337; y <= 352; ++y)
        EXPECT_EQ(f.at(0, y), Light) << "row " << y;
    EXPECT_EQ(f.at(0, 353), Outline);
    for (int32_t x = 1; x < 640; ++x)
        ASSERT_EQ(f.at(x, 353), Shade) << "column " << x;
    EXPECT_EQ(f.at(0, 354), Outline);
    EXPECT_EQ(f.at(639, 354), Outline);
    EXPECT_EQ(f.at(0, 355), Untouched);
    EXPECT_EQ(f.at(638, 336), Outline);
    EXPECT_EQ(f.at(639, 335), Untouched);
}

// The edge pattern store by store, in the order given, as the reference for the fast bevel.
static void BevelByRule(std::vector<uint32_t> &pixels, size_t origin, int32_t x, int32_t y, int32_t w,
                        int32_t h, uint32_t upper, uint32_t lower)
{
    auto at = [&](int64_t px, int64_t py) -> uint32_t & {
        return pixels.at(static_cast<size_t>(static_cast<int64_t>(origin) + py * 640 + px));
    };
    for (int32_t i = 0; i < w; ++i) {
        at(x + i, y - 1) = Outline;
        at(x + i, y) = upper;
        at(x + i, y + h) = lower;
        at(x + i, y + h + 1) = Outline;
    }
    for (int32_t i = 0; i < h; ++i) {
        at(x - 1, y + i) = Outline;
        at(x, y + i) = upper;
        at(x + w - 1, y + i) = lower;
        at(x + w, y + i) = Outline;
    }
}

// Every width up to 67 at every alignment, the full row and wider, and the degenerate heights
// where rows of the frame coincide: each store path leaves what the stores in order leave.
TEST(Bevel, EveryWidthHeightAndAlignmentMatchesTheStoresInOrder)
{
    std::vector<int32_t> widths;
    for (int32_t w = 0; w <= 67; ++w)
        widths.push_back(w);
    for (int32_t w : {639, 640, 641, 700, 1300})
        widths.push_back(w);
    const size_t origin = 4 * 640;  // room for rows above the frame's and for the widest runs
    std::vector<bool> paths{false};
    if (GFX_WideStores)
        paths.push_back(true);
    for (bool wide : paths) {
        GFX_WideStores = wide;
        for (int32_t w : widths)
            for (int32_t h : {-2, -1, 0, 1, 2, 5})
                for (int32_t x = 0; x < 16; ++x) {
                    std::vector<uint32_t> drawn(16 * 640, Untouched), expected(16 * 640, Untouched);
                    GFX_Bevel(drawn.data() + origin, x, 3, w, h, 1);
                    BevelByRule(expected, origin, x, 3, w, h, Light, Shade);
                    ASSERT_EQ(drawn, expected)
                        << (wide ? "wide" : "narrow") << " path, " << w << " x " << h << " at column " << x;
                }
    }
}

TEST(Button, FaceEdgesAndLabelAtItsLeftEdgeWhenExactlyAsWide)
{
    TestFrame f;
    GFX_Button(f.data(), 294, 182, 24, 16, "Add");
    EXPECT_EQ(f.at(294, 183), Light);
    EXPECT_EQ(f.at(317, 183), ButtonDark);
    EXPECT_EQ(f.at(300, 198), ButtonDark);
    EXPECT_EQ(f.at(300, 199), Outline);
    EXPECT_EQ(f.at(300, 181), Outline);
    EXPECT_EQ(f.at(293, 190), Outline);
    EXPECT_EQ(f.at(318, 190), Outline);
    EXPECT_EQ(f.at(295, 184), Face);
    // 'A' row 3 is 0x3C: columns 2..5 of its cell, which starts at the button's left edge.
    EXPECT_EQ(f.at(295, 185), Face);
    EXPECT_EQ(f.at(296, 185), Outline);
    EXPECT_EQ(f.at(299, 185), Outline);
    EXPECT_EQ(f.at(300, 185), Face);
    // 'd' row 3 is 0x06 in the second cell; 'd' row 11 bottoms the label at row 193.
    EXPECT_EQ(f.at(307, 185), Outline);
    EXPECT_EQ(f.at(308, 185), Outline);
    EXPECT_EQ(f.at(309, 185), Face);
}

TEST(Button, TallButtonCentresItsLabelVertically)
{
    TestFrame f;
    GFX_Button(f.data(), 592, 162, 44, 40, "Bank");
    // (40 - 16) / 2 = 12 rows down, (44 - 32) / 2 = 6 columns in; 'B' row 3 is 0x7C.
    EXPECT_EQ(f.at(599, 176), Face);
    EXPECT_EQ(f.at(598, 177), Face);
    EXPECT_EQ(f.at(599, 177), Outline);
    EXPECT_EQ(f.at(603, 177), Outline);
    EXPECT_EQ(f.at(604, 177), Face);
    EXPECT_EQ(f.at(600, 202), ButtonDark);
    EXPECT_EQ(f.at(600, 203), Outline);
}

TEST(Button, LabelsCentreWithTruncatedHalving)
{
    TestFrame f;
    GFX_Button(f.data(), 294, 82, 52, 16, "Extend");  // 48 pixels: starts 2 in
    // 'E' row 3 is 0x7C: columns 1..5 of its cell.
    EXPECT_EQ(f.at(296, 85), Face);
    EXPECT_EQ(f.at(297, 85), Outline);
    EXPECT_EQ(f.at(301, 85), Outline);
    EXPECT_EQ(f.at(302, 85), Face);
}

TEST(Button, LabelWiderThanItsButtonDrawsNothing)
{
    TestFrame withLabel, withoutLabel;
    GFX_Button(withLabel.data(), 294, 182, 24, 16, "Help");
    GFX_Button(withoutLabel.data(), 294, 182, 24, 16, "");
    EXPECT_EQ(withLabel.pixels, withoutLabel.pixels);
    // The empty label still gets a face.
    EXPECT_EQ(withoutLabel.at(300, 190), Face);
}
