// Span fills of every length class at every alignment of the start, by both store paths: long
// spans take the processor's string store where it is fast, short ones vectors with an
// overlapping first and last store, and every one must write exactly `count` words from the
// start and nothing around them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "scene/scene.h"
#include "text/text.h"

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

// The store paths this processor runs: the narrow one always, the wide one where it has AVX2.
static std::vector<bool> Paths()
{
    return GFX_WideStores ? std::vector<bool>{false, true} : std::vector<bool>{false};
}

static const char *PathName(bool wide)
{
    return wide ? "wide" : "narrow";
}

// Every count up to 67 (both vector widths, the overlapping first and last stores, the aligned
// run between them), around the length where the string store takes over, and the two spans
// every frame fills.
static std::vector<int32_t> Counts()
{
    std::vector<int32_t> counts;
    for (int32_t count = 0; count <= 67; ++count)
        counts.push_back(count);
    for (int32_t count : {255, 511, 1021, 1022, 1023, 1024, 1025, 1026, 1027, 2047, 2049, 4099,
                          8191, 8193, 9999, 128000, 178560})
        counts.push_back(count);
    return counts;
}

TEST(FillSpan, EveryLengthAndAlignmentWritesExactlyItsWordsOnEveryPath)
{
    std::vector<uint32_t> words;
    for (bool wide : Paths()) {
        GFX_WideStores = wide;
        for (int32_t count : Counts()) {
            words.assign(static_cast<size_t>(count) + 96, Around);
            // Seventeen starts from a 64-byte boundary: every offset of a word within a cache line.
            const size_t base = (64 - (reinterpret_cast<uintptr_t>(words.data()) & 63)) / 4 % 16;
            for (size_t start = base; start < base + 17; ++start) {
                std::fill(words.begin(), words.end(), Around);
                GFX_FillSpan(words.data() + start, Colour, count);
                ASSERT_EQ(Check(words, start, static_cast<size_t>(count)), "")
                    << PathName(wide) << " path, " << count << " words from word " << start;
            }
        }
    }
}

TEST(FillSpan, RectRowsOfAnyWidthStayWithinTheirColumns)
{
    // Widths on both sides of the string store's threshold, one of them the whole row, so a row
    // of the rectangle runs on into the next.
    for (bool wide : Paths()) {
        GFX_WideStores = wide;
        for (int32_t w : {1, 3, 7, 9, 52, 176, 640}) {
            std::vector<uint32_t> frame(static_cast<size_t>(640) * 480, Around);
            const int32_t x = w == 640 ? 0 : 7;
            GFX_FillRect(frame.data(), x, 337, w, 16, Colour);
            for (int32_t y = 330; y < 360; ++y)
                for (int32_t col = 0; col < 640; ++col) {
                    const bool inside = y >= 337 && y < 353 && col >= x && col < x + w;
                    ASSERT_EQ(frame[static_cast<size_t>(y) * 640 + col], inside ? Colour : Around)
                        << PathName(wide) << " path, width " << w << " at " << col << "," << y;
                }
        }
    }
}
