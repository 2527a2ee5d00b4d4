// Whole frames into memory that ends where the frame ends. The scene addresses pixels linearly
// and a full-width bevel's side outlines land on the neighbouring rows (column -1 is the last
// pixel of the row above, column 640 the first of the row below): every store must still fall
// inside the 640 x 480 words. Under AddressSanitizer the frame is a heap block of exactly that
// size, so a store beyond either end stops the test; in every build, guard zones on both sides
// of a second frame must come through untouched.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "heap.h"
#include "scene/scene.h"

namespace {

const size_t Pixels = static_cast<size_t>(DisplayConfig.width) * DisplayConfig.height;
const size_t Guard = 4 * static_cast<size_t>(DisplayConfig.width);  // four rows each side
const uint32_t GuardWord = 0xA5C3A5C3u;

// Clock values that reach every path of the scene: each of the 64 row steps in and out of a
// generation window, the scopes at many phases, days in, and the largest clock the loop hands
// over (the elapsed milliseconds just before they wrap).
std::vector<float> Clocks()
{
    std::vector<float> clocks;
    for (int step = 0; step < 64 * 3; ++step)
        clocks.push_back(static_cast<float>(step / 10.0 + 0.05));
    for (int cycle = 0; cycle < 4; ++cycle)
        clocks.push_back(static_cast<float>(cycle * 6.4));
    for (int i = 0; i < 1000; ++i)
        clocks.push_back(static_cast<float>(i * 0.0137));
    for (double seconds : {86400.0, 3.5 * 86400.0, 2147483.648, 4294967.0, 4294967.295})
        clocks.push_back(static_cast<float>(seconds));
    return clocks;
}

TEST(FrameBounds, EveryStoreOfAWholeFrameStaysInsideIt)
{
    ASSERT_EQ(FFX_Init(nullptr), 1);
    // Before the first generation the lines are empty; from then on they hold text.
    const float late = 0.5f;
    std::vector<float> clocks = Clocks();
    clocks.insert(clocks.begin(), late);

    std::vector<uint32_t> guarded(Guard + Pixels + Guard, GuardWord);
    uint32_t *exact = static_cast<uint32_t *>(std::malloc(Pixels * 4));
    ASSERT_NE(exact, nullptr);
    if (UnderSanitizer()) {
        ASSERT_TRUE(SanitizerGuards(exact, Pixels * 4)) << "the poisoned zone must start at the frame's end";
    }

    for (float seconds : clocks) {
        FFX_Render(exact, seconds);
        FFX_Render(guarded.data() + Guard, seconds);
        for (size_t i = 0; i < Guard; ++i) {
            ASSERT_EQ(guarded[i], GuardWord) << "before the frame, " << Guard - i << " words, at " << seconds << " s";
            ASSERT_EQ(guarded[Guard + Pixels + i], GuardWord) << "after the frame, word " << i << ", at " << seconds << " s";
        }
    }
    std::free(exact);
}

}  // namespace
