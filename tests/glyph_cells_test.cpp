// Glyph cells drawn whole (no pixel tests) against the pixel-by-pixel rule: every code over a
// background of distinct words, and cells at each side of every clip edge.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "text/text.h"

static const uint32_t Ink = 0xFFFFFFC0;

// Room before and after the drawn area, so a store outside the clip lands where it shows.
static const size_t Guard = 20 * 640;

// A background where every pixel differs, so a blend that rewrites the wrong word shows.
static const std::vector<uint32_t> &Background()
{
    static const std::vector<uint32_t> pixels = [] {
        std::vector<uint32_t> words(static_cast<size_t>(640) * 480 + 2 * Guard);
        for (size_t i = 0; i < words.size(); ++i)
            words[i] = 0x5A000000u ^ static_cast<uint32_t>(i * 2654435761u);
        return words;
    }();
    return pixels;
}

// The rule itself: a set bit paints its pixel when the pixel lies inside stride x rows.
static void PaintByRule(std::vector<uint32_t> &pixels, uint8_t code, int64_t x, int64_t y,
                        int64_t stride, int64_t rows)
{
    for (int r = 0; r < 16; ++r)
        for (int j = 0; j < 8; ++j) {
            const int64_t px = x + j, py = y + r;
            if ((Font[16 * code + r] & (0x80 >> j)) && px >= 0 && py >= 0 && px < stride && py < rows)
                pixels[Guard + static_cast<size_t>(py * stride + px)] = Ink;
        }
}

// The first word where two canvases differ, as its offset from the drawn area's first pixel,
// or "" when they are equal.
static std::string FirstDifference(const std::vector<uint32_t> &a, const std::vector<uint32_t> &b)
{
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i])
            return "word " + std::to_string(static_cast<int64_t>(i) - static_cast<int64_t>(Guard));
    return "";
}

TEST(GlyphCells, EveryCodePaintsExactlyItsSetBitsOverAnyBackground)
{
    std::vector<uint32_t> drawn = Background(), expected = Background();
    for (int code = 0; code < 256; ++code) {
        // Odd columns, so cells start at every alignment of the row.
        const int32_t x = 3 + 9 * (code % 64), y = 20 + 18 * (code / 64);
        GFX_DrawGlyph(drawn.data() + Guard, static_cast<uint8_t>(code), x, y, 640, 480, Ink);
        PaintByRule(expected, static_cast<uint8_t>(code), x, y, 640, 480);
    }
    EXPECT_EQ(FirstDifference(drawn, expected), "");
}

TEST(GlyphCells, CellsOnEitherSideOfEveryClipEdgeFollowTheRule)
{
    // The full block reaches every edge of its cell; the two triangles leave one side empty.
    const uint8_t codes[] = {0xDB, 0x10, 0x11, '#'};
    struct Clip {
        int32_t stride, rows;
    };
    const Clip clips[] = {{640, 480}, {100, 50}};
    for (const Clip &clip : clips) {
        std::vector<std::pair<int32_t, int32_t>> places;
        const int32_t midX = clip.stride / 2, midY = clip.rows / 2;
        for (int32_t d = -10; d <= 10; ++d) {
            places.push_back({d, midY});                   // across the left edge
            places.push_back({clip.stride - 8 + d, midY});  // across the right edge
            places.push_back({midX, d});                    // across the top edge
            places.push_back({midX, clip.rows - 16 + d});   // across the bottom edge
            places.push_back({d, d});                       // across a corner
            places.push_back({clip.stride - 8 + d, clip.rows - 16 + d});
        }
        std::vector<uint32_t> drawn, expected;
        for (uint8_t code : codes)
            for (const auto &place : places) {
                drawn = Background();
                expected = Background();
                GFX_DrawGlyph(drawn.data() + Guard, code, place.first, place.second, clip.stride,
                              clip.rows, Ink);
                PaintByRule(expected, code, place.first, place.second, clip.stride, clip.rows);
                ASSERT_EQ(FirstDifference(drawn, expected), "")
                    << "glyph 0x" << std::hex << int(code) << std::dec << " at " << place.first << ","
                    << place.second << " clipped to " << clip.stride << " x " << clip.rows;
            }
    }
}

TEST(GlyphCells, StringsInsideAndAcrossTheClipEdgesFollowTheRule)
{
    // Cells that run from wholly inside to wholly outside on the right, one column at a time,
    // at rows inside and just across the top and bottom; the glyphs span different rows, two of
    // them none.
    const char text[] = "\xDB# \x11.\x10\xFF\xDB";
    const int32_t length = static_cast<int32_t>(sizeof text - 1);
    const int32_t clips[][2] = {{640, 480}, {100, 50}};
    std::vector<uint32_t> drawn, expected;
    for (const auto &clip : clips) {
        const int32_t stride = clip[0], rows = clip[1];
        for (int32_t y : {-1, 0, rows - 17, rows - 16, rows - 15})
            for (int32_t x = stride - 8 * length - 8; x <= stride; ++x) {
                drawn = Background();
                expected = Background();
                GFX_DrawText(text, drawn.data() + Guard, x, y, stride, rows, Ink);
                for (int32_t n = 0; n < length; ++n)
                    PaintByRule(expected, static_cast<uint8_t>(text[n]), x + 8 * n, y, stride, rows);
                ASSERT_EQ(FirstDifference(drawn, expected), "")
                    << "text at " << x << "," << y << " clipped to " << stride << " x " << rows;
            }
    }
}

TEST(GlyphCells, WideAndNarrowPathsDrawEveryLengthAtEveryAlignmentAlike)
{
    if (!GFX_WideStores)
        GTEST_SKIP() << "this processor has only the narrow path";
    // Sixteen starting columns cover every offset of a cell within a 64-byte line; the codes run
    // through all 255 glyphs, so cells with empty, full and partial rows meet every offset. The
    // strings lie wholly inside, or run across the right edge from halfway along.
    for (bool acrossTheEdge : {false, true})
        for (int32_t length = 0; length <= 67; ++length) {
            std::vector<uint32_t> narrow = Background(), wide = Background(), expected = Background();
            for (int32_t offset = 0; offset < 16; ++offset) {
                std::string text;
                for (int32_t n = 0; n < length; ++n)
                    text.push_back(static_cast<char>(1 + (n * 37 + length * 11 + offset * 5) % 255));
                const int32_t x = acrossTheEdge ? 640 - 4 * length - offset : offset;
                const int32_t y = 10 + 28 * offset;
                GFX_WideStores = false;
                GFX_DrawText(text.c_str(), narrow.data() + Guard, x, y, 640, 480, Ink);
                GFX_WideStores = true;
                GFX_DrawText(text.c_str(), wide.data() + Guard, x, y, 640, 480, Ink);
                for (int32_t n = 0; n < length; ++n)
                    PaintByRule(expected, static_cast<uint8_t>(text[static_cast<size_t>(n)]), x + 8 * n, y,
                                640, 480);
            }
            const char *where = acrossTheEdge ? "across the right edge" : "inside";
            ASSERT_EQ(FirstDifference(narrow, expected), "") << "narrow path, length " << length << ", " << where;
            ASSERT_EQ(FirstDifference(wide, narrow), "") << "wide path, length " << length << ", " << where;
        }
}
