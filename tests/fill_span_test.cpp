// Span fills of every length class at every alignment of the start: long spans take the
// processor's string store where it is fast, short ones a loop, and both must write exactly
// `count` words from the start and nothing around them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scene/scene.h"

static const uint32_t Around = 0x12345678;
static const uint32_t Colour = 0xFF607080;

// "" when exactly words [start, start + count) hold the colour, else the first wrong word.
static std::string Check(const std::vector<uint32_t> &words, size_t start, size_t count)
{
    for (size_t i = 0; i < words.size(); ++i) {
        const uint32_t want = (i >= start && i < start + count) ? Colour : Around;
        if (words[i] != want)
            return "word " + std::to_string(i);
    }
    return "";
}

TEST(FillSpan, EveryLengthAndAlignmentWritesExactlyItsWords)
{
    // Around the loop's vector width, around the length where the string store takes over, and
    // the two spans every frame fills.
    const int32_t counts[] = {0,    1,    2,    3,    4,    5,    7,    8,    9,     15,    16,
                              17,   31,   33,   255,  511,  1021, 1022, 1023, 1024,  1025,  1026,
                              1027, 2047, 2049, 4099, 8191, 8193, 9999, 128000, 178560};
    std::vector<uint32_t> words;
    for (int32_t count : counts)
        for (size_t start = 0; start < 17; ++start) {
            words.assign(static_cast<size_t>(count) + 64, Around);
            GFX_FillSpan(words.data() + start, Colour, count);
            ASSERT_EQ(Check(words, start, static_cast<size_t>(count)), "")
                << count << " words from word " << start;
        }
}

TEST(FillSpan, RectRowsOfAnyWidthStayWithinTheirColumns)
{
    // Widths on both sides of the string store's threshold, one of them the whole row, so a row
    // of the rectangle runs on into the next.
    for (int32_t w : {1, 3, 52, 176, 640}) {
        std::vector<uint32_t> frame(static_cast<size_t>(640) * 480, Around);
        const int32_t x = w == 640 ? 0 : 7;
        GFX_FillRect(frame.data(), x, 337, w, 16, Colour);
        for (int32_t y = 330; y < 360; ++y)
            for (int32_t col = 0; col < 640; ++col) {
                const bool inside = y >= 337 && y < 353 && col >= x && col < x + w;
                ASSERT_EQ(frame[static_cast<size_t>(y) * 640 + col], inside ? Colour : Around)
                    << "width " << w << " at " << col << "," << y;
            }
    }
}
