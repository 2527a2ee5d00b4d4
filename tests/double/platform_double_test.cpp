// The double's own tests, only where a fault in it would hide a fault in the program.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "platform_double.h"

static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY)
        PostQuitMessage(7);
    return DefWindowProcA(window, message, wParam, lParam);
}

static HWND MakeWindow()
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = Procedure;
    windowClass.lpszClassName = "test";
    EXPECT_NE(RegisterClassA(&windowClass), 0);
    return CreateWindowExA(0, "test", "test", WS_POPUP, 0, 0, 640, 480, NULL, NULL,
                           DBL_Instance(), NULL);
}

// The chain as the display sets it up; returns the primary and puts the back buffer in *back.
static IDirectDrawSurface7 *MakeChain(IDirectDrawSurface7 **back)
{
    HWND window = MakeWindow();
    IDirectDraw7 *draw = NULL;
    EXPECT_EQ(DirectDrawCreateEx(NULL, (void **)&draw, IID_IDirectDraw7, NULL), DD_OK);
    EXPECT_EQ(draw->SetCooperativeLevel(window, 0x51), DD_OK);
    EXPECT_EQ(draw->SetDisplayMode(640, 480, 32, 0, 0), DD_OK);
    DDSURFACEDESC2 desc;
    memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    desc.dwBackBufferCount = 1;
    IDirectDrawSurface7 *primary = NULL;
    EXPECT_EQ(draw->CreateSurface(&desc, &primary, NULL), DD_OK);
    DDSCAPS2 caps = {};
    caps.dwCaps = DDSCAPS_BACKBUFFER;
    EXPECT_EQ(primary->GetAttachedSurface(&caps, back), DD_OK);
    return primary;
}

TEST(DoubleQueue, PeekWithoutRemovingLeavesTheMessageForGet)
{
    HWND window = MakeWindow();
    DBL_Post(WM_KEYDOWN, VK_SPACE, 0);
    MSG msg = {};
    ASSERT_TRUE(PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE));
    ASSERT_TRUE(PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(DBL_Pending(), 1u);
    ASSERT_EQ(GetMessageA(&msg, NULL, 0, 0), 1);
    EXPECT_EQ(msg.hwnd, window);
    EXPECT_EQ(msg.message, (UINT)WM_KEYDOWN);
    EXPECT_EQ(msg.wParam, (WPARAM)VK_SPACE);
    EXPECT_FALSE(PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE));
}

TEST(DoubleQueue, QuitArrivesOnlyAfterTheMessagesPostedBeforeIt)
{
    MakeWindow();
    PostQuitMessage(3);
    DBL_Post(WM_KEYDOWN, VK_ESCAPE, 0);
    MSG msg = {};
    EXPECT_EQ(GetMessageA(&msg, NULL, 0, 0), 1);
    EXPECT_EQ(msg.message, (UINT)WM_KEYDOWN);
    EXPECT_EQ(GetMessageA(&msg, NULL, 0, 0), 0);
    EXPECT_EQ(msg.message, (UINT)WM_QUIT);
    EXPECT_EQ(msg.wParam, 3u);
    EXPECT_EQ(DBL_Pending(), 0u);
}

TEST(DoubleQueue, SystemCloseThroughDefaultProcessingDestroysTheWindowAndQuits)
{
    HWND window = MakeWindow();
    DBL_Post(WM_SYSCOMMAND, SC_CLOSE, 0);
    DBL_Post(WM_KEYDOWN, VK_SPACE, 0);  // dropped with the window
    MSG msg = {};
    ASSERT_EQ(GetMessageA(&msg, NULL, 0, 0), 1);
    DispatchMessageA(&msg);

    const std::vector<DBL_ProcCall> &calls = DBL_ProcCalls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].message, (UINT)WM_SYSCOMMAND);
    EXPECT_TRUE(calls[0].dispatched);
    EXPECT_EQ(calls[1].message, (UINT)WM_CLOSE);
    EXPECT_FALSE(calls[1].dispatched);
    EXPECT_EQ(calls[2].message, (UINT)WM_DESTROY);
    EXPECT_FALSE(calls[2].dispatched);
    EXPECT_EQ(calls[2].window, window);
    EXPECT_TRUE(DBL_WindowDestroyed());

    ASSERT_EQ(GetMessageA(&msg, NULL, 0, 0), 0);
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_FALSE(PostMessageA(window, WM_CLOSE, 0, 0));
}

TEST(DoubleStops, WaitOrGetOnAnEmptyQueueFailsAndEndsTheRun)
{
    MakeWindow();
    MSG msg = {};
    EXPECT_NONFATAL_FAILURE(EXPECT_THROW(WaitMessage(), DBL_Stop), "WaitMessage on an empty queue");
    EXPECT_NONFATAL_FAILURE(EXPECT_THROW(GetMessageA(&msg, NULL, 0, 0), DBL_Stop),
                            "GetMessageA on an empty queue");
}

TEST(DoubleStops, HookRunsBeforeTheCallSoAWaitCanBeAnswered)
{
    MakeWindow();
    DBL_OnCall("WaitMessage", [] { DBL_Post(WM_ACTIVATEAPP, 1, 0); });
    EXPECT_TRUE(WaitMessage());
    EXPECT_EQ(DBL_Pending(), 1u);

    DBL_SetTime(0xFFFFFFF0);
    DBL_OnCall("timeGetTime", [] { DBL_SetTime(DBL_Time() + 0x20); });
    EXPECT_EQ(timeGetTime(), 0x10u);  // advanced, and wrapped, before the read
}

TEST(DoubleStops, FlipsBeyondTheFrameLimitFailAndEndTheRun)
{
    IDirectDrawSurface7 *back = NULL;
    IDirectDrawSurface7 *primary = MakeChain(&back);
    DBL_SetFrameLimit(2);
    EXPECT_EQ(primary->Flip(NULL, 0), DD_OK);
    EXPECT_EQ(primary->Flip(NULL, 0), DD_OK);
    EXPECT_NONFATAL_FAILURE(EXPECT_THROW(primary->Flip(NULL, 0), DBL_Stop), "Flip calls");
}

TEST(DoubleStops, UnlockWithoutLockIsReported)
{
    IDirectDrawSurface7 *back = NULL;
    MakeChain(&back);
    EXPECT_NONFATAL_FAILURE(back->Unlock(NULL), "not locked");
}

TEST(DoubleDisplay, FlipAnswersBusyExactlyAsOftenAsScripted)
{
    IDirectDrawSurface7 *back = NULL;
    IDirectDrawSurface7 *primary = MakeChain(&back);
    DBL_FailWith("Flip", 3, DDERR_WASSTILLDRAWING);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(primary->Flip(NULL, 0), DDERR_WASSTILLDRAWING);
    EXPECT_EQ(primary->Flip(NULL, 0), DD_OK);
    EXPECT_EQ(DBL_Count("Flip"), 4);
}

TEST(DoubleDisplay, LostSurfacesStayLostUntilThePrimaryIsRestored)
{
    IDirectDrawSurface7 *back = NULL;
    IDirectDrawSurface7 *primary = MakeChain(&back);
    DBL_LoseSurfaces();
    DDSURFACEDESC2 desc = {};
    desc.dwSize = sizeof desc;
    HDC context = NULL;
    EXPECT_EQ(back->Lock(NULL, &desc, 0, NULL), DDERR_SURFACELOST);
    EXPECT_EQ(back->GetDC(&context), DDERR_SURFACELOST);
    EXPECT_EQ(primary->Flip(NULL, 0), DDERR_SURFACELOST);
    EXPECT_NE(back->Restore(), DD_OK);
    EXPECT_EQ(primary->Flip(NULL, 0), DDERR_SURFACELOST);
    EXPECT_EQ(primary->Restore(), DD_OK);
    EXPECT_EQ(back->Lock(NULL, &desc, 0, NULL), DD_OK);
    EXPECT_EQ(back->Unlock(NULL), DD_OK);
    EXPECT_EQ(primary->Flip(NULL, 0), DD_OK);
}

TEST(DoubleDisplay, BackBufferHasTheChosenPitchAndKnowsWhenItsPaddingIsTouched)
{
    DBL_SetPitch(640 * 4 + 64 * 4);
    IDirectDrawSurface7 *back = NULL;
    MakeChain(&back);
    DDSURFACEDESC2 desc = {};
    desc.dwSize = sizeof desc;
    ASSERT_EQ(back->Lock(NULL, &desc, 0, NULL), DD_OK);
    EXPECT_EQ(desc.lPitch, 640 * 4 + 64 * 4);
    ASSERT_EQ(desc.lpSurface, DBL_BackBuffer());
    uint8_t *rows = static_cast<uint8_t *>(desc.lpSurface);
    EXPECT_EQ(rows[0], DBL_FILL);
    EXPECT_EQ(rows[479 * desc.lPitch + 640 * 4 - 1], DBL_FILL);
    EXPECT_EQ(rows[479 * desc.lPitch + 640 * 4], DBL_PAD);

    for (int y = 0; y < 480; ++y)
        memset(rows + y * desc.lPitch, 0x11, 640 * 4);
    EXPECT_TRUE(DBL_PaddingIntact());
    rows[200 * desc.lPitch + 640 * 4 + 9] = DBL_PAD ^ 1;
    EXPECT_FALSE(DBL_PaddingIntact());
    EXPECT_EQ(back->Unlock(NULL), DD_OK);
}

TEST(DoubleLog, ALimitKeepsTheLatestCallsAndEveryCount)
{
    int hookRuns = 0;
    DBL_OnCall("GetTickCount", [&hookRuns] { ++hookRuns; });
    DBL_SetLogLimit(3);
    for (DWORD i = 0; i < 10; ++i) {
        DBL_SetTick(i);
        GetTickCount();
        timeGetTime();
        const std::vector<std::string> &log = DBL_Log();
        ASSERT_GE(log.size(), std::min<size_t>(3, 2 * (i + 1))) << "after call pair " << i;
        ASSERT_LE(log.size(), 6u) << "after call pair " << i;
        EXPECT_EQ(log.back(), "timeGetTime()");
        EXPECT_EQ(log[log.size() - 2], "GetTickCount()");
    }
    EXPECT_EQ(DBL_Count("GetTickCount"), 10);
    EXPECT_EQ(DBL_Count("timeGetTime"), 10);
    EXPECT_EQ(hookRuns, 10);

    DBL_SetLogLimit(0);
    EXPECT_TRUE(DBL_Log().empty());
    GetTickCount();
    EXPECT_TRUE(DBL_Log().empty());
    EXPECT_EQ(DBL_Count("GetTickCount"), 11);
    EXPECT_EQ(hookRuns, 11);
}
