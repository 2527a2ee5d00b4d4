// Frame transfer, read-out and flip, through whole runs against the double.
#include "harness.h"

#include "display/display.h"
#include "shell/shell.h"

TEST(Present, EveryRowLandsAtTheLockPitchAndThePaddingStays)
{
    DBL_SetPitch(640 * 4 + 64 * 4);
    ScriptClockAt(500);
    ScriptFramesThenEscape(1);
    ASSERT_EQ(RunProgram(), 0);
    EXPECT_EQ(BackBufferRows(), ExpectedFrame(0.5f));
    EXPECT_TRUE(DBL_PaddingIntact());
}

TEST(Present, OneLockPerFrameAndUnlockedAfterwards)
{
    ScriptFramesThenEscape(3);
    ASSERT_EQ(RunProgram(), 0);
    EXPECT_EQ(DBL_Count("Lock"), 3);
    EXPECT_EQ(DBL_Count("Unlock"), 3);
    for (const std::string &lock : DBL_Calls("Lock"))
        EXPECT_EQ(lock, "Lock(back,NULL,{dwSize=" + std::to_string(sizeof(DDSURFACEDESC2)) + "},0x0,NULL)");
}

TEST(Present, FailedLockSkipsTheCopyButNotTheFlip)
{
    DBL_Fail("Lock", 1);
    ScriptFramesThenEscape(1);
    ASSERT_EQ(RunProgram(), 0);
    EXPECT_EQ(DBL_Count("Flip"), 1);
    EXPECT_EQ(DBL_Count("Unlock"), 0);
    // The back buffer still holds what it was made with.
    EXPECT_EQ(DBL_BackBuffer()[0], DBL_FILL);
    EXPECT_EQ(DBL_BackBuffer()[DBL_Pitch() * 200 + 5], DBL_FILL);
}

TEST(Flip, BusyIsRetriedAtOnceAndOtherFailuresAreNot)
{
    DBL_FailWith("Flip", 3, DDERR_WASSTILLDRAWING);
    DBL_Post(WM_ACTIVATEAPP, 1, 0);
    DBL_OnCall("Flip", [] {
        if (DBL_Count("Flip") == 4)
            DBL_FailWith("Flip", 1, DBL_FAILED);  // this very call fails outright
        if (DBL_Count("Flip") == 6)
            DBL_Post(WM_KEYDOWN, VK_ESCAPE, 0);
    });
    ASSERT_EQ(RunProgram(), 0);
    // Before the start time, before the first frame; then frame 1: three busy answers and a
    // failure that is not retried; frames 2 and 3: one flip each.
    EXPECT_EQ(CountsBetween("Flip", "timeGetTime"), (std::vector<int>{0, 0, 4, 1, 1}));
}

TEST(Flip, LostSurfacesAreRestoredAndFramesResume)
{
    DBL_Post(WM_ACTIVATEAPP, 1, 0);
    ScriptClockAt(700);
    FPS_SetVisible(1);
    // Lost at the second flip, at the third frame's lock and at the fourth frame's read-out.
    DBL_OnCall("Flip", [] {
        if (DBL_Count("Flip") == 2)
            DBL_LoseSurfaces();
        if (DBL_Count("Flip") == 6)
            DBL_Post(WM_KEYDOWN, VK_ESCAPE, 0);
    });
    DBL_OnCall("Lock", [] {
        if (DBL_Count("Lock") == 3)
            DBL_LoseSurfaces();
    });
    DBL_OnCall("GetDC", [] {
        if (DBL_Count("GetDC") == 4)
            DBL_LoseSurfaces();
    });
    ASSERT_EQ(RunProgram(), 0);
    EXPECT_EQ(DBL_Calls("Restore"), std::vector<std::string>(3, "Restore(primary)"));
    EXPECT_EQ(DBL_Count("Flip"), 6);
    EXPECT_EQ(DBL_Count("Lock"), 6);
    EXPECT_EQ(DBL_Count("Unlock"), 5) << "the lost lock is not unlocked";
    EXPECT_EQ(DBL_Count("TextOutA"), 5) << "the lost device context drops one read-out";
    // The frames after the restores are copied whole again, the read-out drawn on top.
    EXPECT_EQ(LastReadOut(), "0.0 fps");
    EXPECT_EQ(BackBufferRows(), ExpectedFrame(0.7f, "0.0 fps"));
}

// The back buffer in the screen's own memory, and the window resized mid-run: the frames after the
// restore land in the screen's new memory, whole, and every present shows that memory.
TEST(Flip, AfterAResizeFramesGoToTheScreensNewMemory)
{
    DBL_OfferScreenMemory();
    DBL_Post(WM_ACTIVATEAPP, 1, 0);
    ScriptClockAt(700);
    DBL_OnCall("Flip", [] {
        if (DBL_Count("Flip") == 2)
            DBL_MoveScreen(640 * 4 + 128);
        if (DBL_Count("Flip") == 5)
            DBL_Post(WM_KEYDOWN, VK_ESCAPE, 0);
    });
    ASSERT_EQ(RunProgram(), 0);
    EXPECT_EQ(DBL_Calls("Restore"), std::vector<std::string>{"Restore(primary)"});
    ASSERT_EQ(DBL_BackBuffer(), DBL_ScreenMemory());
    EXPECT_EQ(DBL_Pitch(), 640 * 4 + 128);
    EXPECT_EQ(BackBufferRows(), ExpectedFrame(0.7f));
    EXPECT_TRUE(DBL_PaddingIntact());
    EXPECT_EQ(DBL_Presents(), 4) << "the lost flip presents nothing";
}

// DirectDraw minimises the window when it takes the surfaces away; the restore brings the window
// back and gives it the keys, once per restore that worked.
TEST(Flip, ARestoredSurfaceRestoresTheWindowAndItsFocus)
{
    DBL_Post(WM_ACTIVATEAPP, 1, 0);
    DBL_OnCall("Flip", [] {
        if (DBL_Count("Flip") == 1 || DBL_Count("Flip") == 3) {
            DBL_LoseSurfaces();
            // The first restore fails and leaves the surfaces lost for the next frame.
            if (DBL_Count("Flip") == 1)
                DBL_Fail("Restore", 1);
        }
        if (DBL_Count("Flip") == 6)
            DBL_Post(WM_KEYDOWN, VK_ESCAPE, 0);
    });
    ASSERT_EQ(RunProgram(), 0);
    std::vector<std::string> calls;
    for (const std::string &call : DBL_Log())
        if (call.rfind("Restore(", 0) == 0 || call.rfind("ShowWindow(", 0) == 0 ||
            call.rfind("SetFocus(", 0) == 0)
            calls.push_back(call);
    EXPECT_EQ(calls, (std::vector<std::string>{
                         "ShowWindow(window,10)", "SetFocus(window)",  // the window's creation
                         "Restore(primary)",                             // failed: nothing more
                         "Restore(primary)", "ShowWindow(window,9)", "SetFocus(window)",
                         "Restore(primary)", "ShowWindow(window,9)", "SetFocus(window)"}));
}

TEST(ReadOut, HiddenUntilSpaceAndToggledByEachPress)
{
    DBL_Post(WM_ACTIVATEAPP, 1, 0);
    DBL_OnCall("Flip", [] {
        const int flips = DBL_Count("Flip");
        if (flips == 2 || flips == 4)
            DBL_Post(WM_KEYDOWN, VK_SPACE, 0);
        if (flips == 6)
            DBL_Post(WM_KEYDOWN, VK_ESCAPE, 0);
    });
    ASSERT_EQ(RunProgram(), 0);
    // Frames 3 and 4 carry the text: on from the third frame, off again from the fifth
    // (the first two counts are before the start time and before the first frame).
    EXPECT_EQ(CountsBetween("TextOutA", "timeGetTime"), (std::vector<int>{0, 0, 0, 0, 1, 1, 0, 0}));
    EXPECT_EQ(DBL_Calls("SetBkMode").front(), "SetBkMode(dc,1)");
    EXPECT_EQ(DBL_Calls("SetTextColor").front(), "SetTextColor(dc,0xffffff)");
    EXPECT_EQ(DBL_Calls("TextOutA").front(), "TextOutA(dc,0,0,\"0.0 fps\",7)");
    EXPECT_EQ(DBL_Count("GetDC"), DBL_Count("ReleaseDC"));
}

TEST(ReadOut, OnlyAFlagOfExactlyOneShowsIt)
{
    FPS_SetVisible(2);
    ScriptFramesThenEscape(2);
    ASSERT_EQ(RunProgram(), 0);
    EXPECT_EQ(DBL_Count("GetDC"), 0);
    EXPECT_EQ(DBL_Count("GetTickCount"), 1) << "only DDRAW_Init reads the tick";
}

// Runs frames with the read-out on, the tick moving `step` ms per frame from `start`.
static std::vector<std::string> ReadOuts(DWORD start, DWORD step, int frames)
{
    DBL_SetTick(start);
    FPS_SetVisible(1);
    DBL_Post(WM_ACTIVATEAPP, 1, 0);
    DBL_OnCall("Flip", [step, frames] {
        DBL_SetTick(DBL_Tick() + step);
        if (DBL_Count("Flip") == frames)
            DBL_Post(WM_KEYDOWN, VK_ESCAPE, 0);
    });
    EXPECT_EQ(RunProgram(), 0);
    return DBL_Calls("TextOutA");
}

TEST(ReadOut, RateBelowTenHasOneDigitBeforeThePoint)
{
    // 500 ms a frame: the fourth frame is the first more than 1000 ms after set-up.
    const std::vector<std::string> texts = ReadOuts(5000, 500, 5);
    ASSERT_EQ(texts.size(), 5u);
    EXPECT_EQ(texts[0], "TextOutA(dc,0,0,\"0.0 fps\",7)");
    EXPECT_EQ(texts[2], "TextOutA(dc,0,0,\"0.0 fps\",7)") << "exactly 1000 ms is not enough";
    EXPECT_EQ(texts[3], "TextOutA(dc,0,0,\"2.7 fps\",7)");  // 4 frames over 1500 ms
    EXPECT_EQ(texts[4], "TextOutA(dc,0,0,\"2.7 fps\",7)");  // shown until the next measure
}

TEST(ReadOut, RateOverAHundredTakesFiveCharacters)
{
    // 8 ms a frame: the 127th frame is the first past 1000 ms.
    const std::vector<std::string> texts = ReadOuts(0, 8, 130);
    ASSERT_EQ(texts.size(), 130u);
    EXPECT_EQ(texts[125], "TextOutA(dc,0,0,\"0.0 fps\",7)");
    EXPECT_EQ(texts[126], "TextOutA(dc,0,0,\"126.0 fps\",9)");  // 127 frames over 1008 ms
}

TEST(ReadOut, MeasuresAcrossTheTickWrap)
{
    // Set-up 600 ms before the tick wraps; 300 ms a frame.
    const std::vector<std::string> texts = ReadOuts(0xFFFFFFFFu - 599, 300, 6);
    ASSERT_EQ(texts.size(), 6u);
    EXPECT_EQ(texts[0], "TextOutA(dc,0,0,\"0.0 fps\",7)") << "0 ms: nothing to measure yet";
    EXPECT_EQ(texts[3], "TextOutA(dc,0,0,\"0.0 fps\",7)") << "900 ms, past the wrap: not yet";
    EXPECT_EQ(texts[4], "TextOutA(dc,0,0,\"4.2 fps\",7)") << "5 frames over 1200 ms";
}

TEST(ReadOut, FailingDeviceContextDropsOnlyTheText)
{
    FPS_SetVisible(1);
    DBL_Fail("GetDC", 1);
    ScriptFramesThenEscape(2);
    ASSERT_EQ(RunProgram(), 0);
    EXPECT_EQ(DBL_Count("GetDC"), 2);
    EXPECT_EQ(DBL_Count("TextOutA"), 1);
    EXPECT_EQ(DBL_Count("ReleaseDC"), 1);
    EXPECT_EQ(DBL_Count("Flip"), 2);
    EXPECT_EQ(DBL_Count("Unlock"), 2);
}

TEST(Palette, GreyscaleRampAndExpansion)
{
    PAL_Init(nullptr);
    std::vector<uint8_t> indices(static_cast<size_t>(DisplayConfig.width) * DisplayConfig.height);
    for (size_t i = 0; i < indices.size(); ++i)
        indices[i] = static_cast<uint8_t>(i * 7);
    std::vector<uint32_t> expanded(indices.size());
    PAL_Expand(expanded.data(), indices.data());
    for (size_t i = 0; i < indices.size(); ++i) {
        const uint32_t v = indices[i];
        ASSERT_EQ(expanded[i], 0xFF000000u | v << 16 | v << 8 | v) << i;
    }
    indices[0] = 0;
    indices[1] = 255;
    PAL_Expand(expanded.data(), indices.data());
    EXPECT_EQ(expanded[0], 0xFF000000u);
    EXPECT_EQ(expanded[1], 0xFFFFFFFFu);

    PAL_SetEntry(255, 0x12, 0x34, 0x56);
    PAL_SetEntry(256, 1, 1, 1);  // outside the table: ignored
    PAL_SetEntry(-1, 1, 1, 1);
    PAL_Expand(expanded.data(), indices.data());
    EXPECT_EQ(expanded[1], 0xFF123456u);
    EXPECT_EQ(expanded[0], 0xFF000000u);

    std::vector<uint32_t> table(256, 0xFF00FF00u);
    PAL_Init(table.data());
    PAL_Expand(expanded.data(), indices.data());
    EXPECT_EQ(expanded[1], 0xFF00FF00u);
}

TEST(Palette, DisplayRunsAtThirtyTwoBitsWhateverTheFrameDepth)
{
    ScriptClockAt(1500);
    ScriptFramesThenEscape(1);
    ASSERT_EQ(RunProgram(), 0);
    EXPECT_EQ(DBL_Calls("SetDisplayMode"), std::vector<std::string>{"SetDisplayMode(draw,640,480,32,0,0x0)"});
    EXPECT_EQ(BackBufferRows(), ExpectedFrame(1.5f));
}
