// The double's own tests, only where a fault in it would hide a fault in the program.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "platform_double.h"
#include "tests/platform/chain.h"

static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY)
        PostQuitMessage(7);
    return DefWindowProcA(window, message, wParam, lParam);
}

static HWND MakeWindow()
{
    return MakeTestWindow(Procedure, DBL_Instance());
}

// The chain as the display sets it up; returns the primary and puts the back buffer in *back.
static IDirectDrawSurface7 *MakeChain(IDirectDrawSurface7 **back)
{
    IDirectDrawSurface7 *primary = NULL;
    MakeChain(MakeWindow(), &primary, back);
    return primary;
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

// The log is what the shell's tests compare against, so every way an argument can show is pinned.
TEST(DoubleLog, ArgumentsShowByTheirTypeOrTag)
{
    IDirectDrawSurface7 *back = NULL;
    MakeChain(&back);
    HDC dc = NULL;
    ASSERT_EQ(back->GetDC(&dc), DD_OK);
    SetBkMode(dc, TRANSPARENT);
    TextOutA(dc, -3, 5, "q\"b\\s\n\x01\x7f!", 8);  // the last character is past the length
    TextOutA(dc, 0, 0, "two", -1);                  // refused, but shown whole
    EXPECT_EQ(back->ReleaseDC(dc), DD_OK);
    EXPECT_EQ(DBL_Calls("TextOutA"), (std::vector<std::string>{"TextOutA(dc,-3,5,\"q\\\"b\\\\s\\n\\x01\\x7f\",8)",
                                                                "TextOutA(dc,0,0,\"two\",-1)"}));

    MSG msg;
    PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE);
    PostMessageA(DBL_Window(), 0x0401, 0x10, -1);
    LoadIconA(NULL, reinterpret_cast<LPCSTR>(uintptr_t{7}));
    LoadCursorA(DBL_Instance(), "named");
    MessageBoxA(NULL, "text", NULL, MB_ICONEXCLAMATION);
    CreateWindowExA(0, "TEST", NULL, WS_POPUP, 1, 2, 3, 4, NULL, NULL, NULL, reinterpret_cast<void *>(0x1234));
    const std::vector<std::string> &log = DBL_Log();
    EXPECT_EQ(std::vector<std::string>(log.end() - 6, log.end()),
              (std::vector<std::string>{"PeekMessageA(NULL,0,0,0x0)",
                                        "PostMessageA(window,0x401,0x10,0xffffffffffffffff)",
                                        "LoadIconA(NULL,#7)",
                                        "LoadCursorA(instance,\"named\")",
                                        "MessageBoxA(NULL,\"text\",NULL,0x30)",
                                        "CreateWindowExA(0x0,\"TEST\",NULL,0x80000000,1,2,3,4,NULL,NULL,NULL,0x1234)"}));
}
