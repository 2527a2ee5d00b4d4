// The GIF writer on frames made for the purpose: colours that arrive late, too many colours,
// and delays that add up to the clock.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "gif_decode.h"
#include "tools/gif_file.h"

class GifFile : public testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/tracker-gif-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { EXPECT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0) << "cannot remove " << dir; }
    bool Empty() { return std::system(("test -z \"$(ls -A '" + dir + "')\"").c_str()) == 0; }
    std::string dir;
};

TEST(GifDelay, DelaysAddUpToTheClockAndStayVisible)
{
    for (int32_t fps = 1; fps <= 50; ++fps) {
        int64_t shown = 0;
        for (uint64_t k = 0; k < 1000; ++k) {
            const int32_t delay = GIF_Delay(k, fps);
            EXPECT_GE(delay, 2) << fps << " fps, frame " << k;
            shown += delay;
            ASSERT_EQ(shown, static_cast<int64_t>((100 * (k + 1) + fps / 2) / fps)) << fps << " fps, frame " << k;
        }
    }
    EXPECT_EQ(GIF_Delay(0, 30), 3);
    EXPECT_EQ(GIF_Delay(1, 30), 4);
    EXPECT_EQ(GIF_Delay(uint64_t{1} << 40, 25), 4) << "no overflow far into a long run";
}

// A colour first seen in a later frame lies outside the first frame's table, and must still
// come out exactly; the top byte is no colour and must not split one colour in two.
TEST_F(GifFile, ColoursArrivingLateDecodeExactly)
{
    const int32_t w = 16, h = 8;
    std::vector<std::vector<uint32_t>> frames(3, std::vector<uint32_t>(w * h, 0xFF000000));
    frames[0][5] = 0x00000000;
    frames[0][6] = 0xFF607080;
    frames[1] = frames[0];
    for (int i = 0; i < 20; ++i)
        frames[1][w * 3 + i % w + w * (i / w)] = 0xFF000000 | (0x010203 * (i + 7));
    frames[2] = frames[1];
    frames[2][w * h - 1] = 0xFFFFFFC0;
    GifAnimation animation;
    ASSERT_TRUE(GIF_Begin(&animation, dir + "/late.gif", w, h, 10));
    for (const auto &frame : frames)
        ASSERT_TRUE(GIF_AddFrame(&animation, frame.data())) << animation.failure;
    ASSERT_TRUE(GIF_Finish(&animation)) << animation.failure;

    const DecodedGif decoded = DecodeGif(dir + "/late.gif");
    ASSERT_EQ(decoded.frames.size(), 3u);
    for (size_t n = 0; n < 3; ++n) {
        for (int i = 0; i < w * h; ++i)
            ASSERT_EQ(decoded.frames[n][i], frames[n][i] & 0x00FFFFFF) << "frame " << n << " pixel " << i;
    }
    EXPECT_EQ(decoded.rects[1], (GifRect{0, 3, 16, 2}));
    EXPECT_EQ(decoded.rects[2], (GifRect{15, 7, 1, 1}));
    EXPECT_EQ(decoded.delays, (std::vector<int>{10, 10, 10}));
}

// The first frame's three colours fill a table of four; a colour arriving later takes index 3,
// inside that table's size but not among its colours, so its frame must bring its own table. A
// later frame of the first colours alone needs none.
TEST_F(GifFile, ColourAtTheGlobalTablesEdgeDecodesExactly)
{
    const int32_t w = 4, h = 2;
    std::vector<std::vector<uint32_t>> frames = {{0x000000, 0x102030, 0x405060, 0x000000, 0, 0, 0, 0}};
    frames.push_back(frames[0]);
    frames[1][7] = 0xFFC0D0E0;
    frames.push_back(frames[1]);
    frames[2][0] = 0x405060;
    GifAnimation animation;
    ASSERT_TRUE(GIF_Begin(&animation, dir + "/edge.gif", w, h, 10));
    for (const auto &frame : frames)
        ASSERT_TRUE(GIF_AddFrame(&animation, frame.data())) << animation.failure;
    ASSERT_TRUE(GIF_Finish(&animation)) << animation.failure;

    const DecodedGif decoded = DecodeGif(dir + "/edge.gif");
    ASSERT_EQ(decoded.frames.size(), 3u);
    for (size_t n = 0; n < 3; ++n) {
        for (int i = 0; i < w * h; ++i)
            EXPECT_EQ(decoded.frames[n][i], frames[n][i] & 0x00FFFFFF) << "frame " << n << " pixel " << i;
    }
    EXPECT_EQ(decoded.localTables, (std::vector<bool>{false, true, false}));
    EXPECT_EQ(decoded.version, "GIF89a") << "the loop and the delays are GIF89a extensions";
}

// 256 colours are exactly what a GIF's table holds: a frame of them all decodes exactly, and the
// 257th distinct colour is a failure that leaves nothing.
TEST_F(GifFile, TheTwoHundredAndFiftySeventhColourIsOneTooMany)
{
    const int32_t w = 16, h = 17;
    std::vector<uint32_t> frame(w * h, 0);
    for (int i = 0; i < 256; ++i)
        frame[i] = static_cast<uint32_t>(i) * 0x010101;
    GifAnimation animation;
    ASSERT_TRUE(GIF_Begin(&animation, dir + "/full.gif", w, h, 10));
    ASSERT_TRUE(GIF_AddFrame(&animation, frame.data())) << animation.failure;
    ASSERT_TRUE(GIF_AddFrame(&animation, frame.data())) << "an unchanged frame adds no colour";
    ASSERT_TRUE(GIF_Finish(&animation)) << animation.failure;
    const DecodedGif decoded = DecodeGif(dir + "/full.gif");
    ASSERT_EQ(decoded.frames.size(), 2u);
    for (int i = 0; i < w * h; ++i)
        ASSERT_EQ(decoded.frames[0][i], frame[i]) << "pixel " << i;
    ASSERT_EQ(std::system(("rm '" + dir + "/full.gif'").c_str()), 0);

    ASSERT_TRUE(GIF_Begin(&animation, dir + "/over.gif", w, h, 10));
    ASSERT_TRUE(GIF_AddFrame(&animation, frame.data()));
    frame[w * h - 1] = 0xABCDEF;
    EXPECT_FALSE(GIF_AddFrame(&animation, frame.data()));
    EXPECT_EQ(animation.failure, "cannot write " + dir +
                                     "/over.gif: the frames hold more than the 256 colours a GIF can keep apart");
    GIF_Abandon(&animation);
    EXPECT_TRUE(Empty());
}

TEST_F(GifFile, MoreColoursThanAGifKeepsIsAFailureThatLeavesNothing)
{
    const int32_t w = 32, h = 9;
    std::vector<uint32_t> frame(w * h, 0);
    GifAnimation animation;
    ASSERT_TRUE(GIF_Begin(&animation, dir + "/many.gif", w, h, 10));
    ASSERT_TRUE(GIF_AddFrame(&animation, frame.data()));
    for (int i = 0; i < w * h; ++i)
        frame[i] = static_cast<uint32_t>(i) * 0x010101;
    EXPECT_FALSE(GIF_AddFrame(&animation, frame.data()));
    EXPECT_EQ(animation.failure, "cannot write " + dir +
                                     "/many.gif: the frames hold more than the 256 colours a GIF can keep apart");
    GIF_Abandon(&animation);
    EXPECT_TRUE(Empty());

    ASSERT_TRUE(GIF_Begin(&animation, dir + "/none.gif", w, h, 10));
    EXPECT_FALSE(GIF_Finish(&animation));
    EXPECT_EQ(animation.failure, "cannot write " + dir + "/none.gif: no frames");
    EXPECT_TRUE(Empty());
}
