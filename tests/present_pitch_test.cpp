// The frame's copy into back buffers whose rows are exactly as long as the frame's (the rows
// then form one block) and one word longer (copied row by row around the padding).
#include "tests/shell/harness.h"

#include "shell/shell.h"

static const size_t Pixels = static_cast<size_t>(640) * 480;

// A different word at every pixel, so a row copied to the wrong place shows.
static uint32_t Distinct(size_t i)
{
    return 0x5A000000u ^ static_cast<uint32_t>(i * 2654435761u);
}

// Just before the copy, replaces the rendered frame with the distinct words.
static void ScriptDistinctFrame()
{
    DBL_OnCall("Lock", [] {
        uint32_t *frame = static_cast<uint32_t *>(FrameBuffer);
        for (size_t i = 0; i < Pixels; ++i)
            frame[i] = Distinct(i);
    });
}

static std::vector<uint32_t> DistinctFrame()
{
    std::vector<uint32_t> frame(Pixels);
    for (size_t i = 0; i < Pixels; ++i)
        frame[i] = Distinct(i);
    return frame;
}

TEST(PresentPitch, RowsExactlyAsLongAsTheFramesLandInOrder)
{
    DBL_SetPitch(640 * 4);
    ScriptDistinctFrame();
    ScriptFramesThenEscape(1);
    ASSERT_EQ(RunProgram(), 0);
    EXPECT_EQ(BackBufferRows(), DistinctFrame());
}

TEST(PresentPitch, RowsOneWordLongerLandInOrderAndKeepTheirPadding)
{
    DBL_SetPitch(640 * 4 + 4);
    ScriptDistinctFrame();
    ScriptFramesThenEscape(1);
    ASSERT_EQ(RunProgram(), 0);
    EXPECT_EQ(BackBufferRows(), DistinctFrame());
    EXPECT_TRUE(DBL_PaddingIntact());
}
