// The emulation core, called directly under the scripted host: the queue and its filters, quit
// ordering, default processing, the surfaces' rules, lost surfaces, device contexts and clocks.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/emulation/emulation.h"
#include "platform_double.h"
#include "tests/platform/chain.h"
#include "text/text.h"

namespace {

std::vector<UINT> seen;       // messages the test window's procedure was given, in order
bool closeWhileDispatching;   // the procedure closes its own window on WM_KEYDOWN

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    seen.push_back(message);
    if (message == WM_DESTROY)
        PostQuitMessage(7);
    if (message == WM_KEYDOWN && closeWhileDispatching)
        DefWindowProcA(window, WM_CLOSE, 0, 0);
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeWindow()
{
    return MakeTestWindow(Procedure, DBL_Instance());
}

}  // namespace

// --- The queue ---

TEST(Queue, PeekWithoutRemovingLeavesTheMessageForGet)
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

TEST(Queue, FiltersTakeTheFirstMessageInsideTheRangeAndLeaveTheRest)
{
    HWND window = MakeWindow();
    PostMessageA(window, WM_KEYDOWN, 'A', 0);
    PostMessageA(window, WM_ACTIVATEAPP, 1, 0);
    PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    PostMessageA(NULL, 0x0401, 5, 0);  // a thread message, for no window
    MSG msg = {};
    // Inclusive at both ends: WM_ACTIVATEAPP is the last one inside 0x10 ... 0x1C.
    ASSERT_TRUE(PeekMessageA(&msg, NULL, WM_CLOSE, WM_ACTIVATEAPP, PM_REMOVE));
    EXPECT_EQ(msg.message, (UINT)WM_ACTIVATEAPP);
    EXPECT_FALSE(PeekMessageA(&msg, NULL, WM_CLOSE, WM_ACTIVATEAPP, PM_REMOVE));
    ASSERT_TRUE(PeekMessageA(&msg, NULL, WM_SYSCOMMAND, WM_SYSCOMMAND, PM_NOREMOVE));
    EXPECT_EQ(msg.wParam, SC_CLOSE);
    // A window filter leaves the thread's messages out; without one they come.
    EXPECT_FALSE(PeekMessageA(&msg, window, 0x0400, 0xFFFF, PM_NOREMOVE));
    ASSERT_TRUE(PeekMessageA(&msg, NULL, 0x0400, 0xFFFF, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, nullptr);
    EXPECT_EQ(msg.wParam, 5u);
    ASSERT_EQ(GetMessageA(&msg, NULL, 0, 0), 1);
    EXPECT_EQ(msg.message, (UINT)WM_KEYDOWN) << "the oldest of the rest";
}

TEST(Queue, QuitArrivesOnlyAfterTheMessagesPostedBeforeIt)
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

TEST(Queue, QuitIsNotTakenByAWindowFilterOrARangeWithoutIt)
{
    HWND window = MakeWindow();
    PostQuitMessage(4);
    MSG msg = {};
    EXPECT_FALSE(PeekMessageA(&msg, window, 0, 0, PM_REMOVE));
    EXPECT_FALSE(PeekMessageA(&msg, NULL, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE));
    ASSERT_TRUE(PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_NOREMOVE));
    EXPECT_EQ(DBL_Pending(), 1u) << "peeking without removal leaves the quit waiting";
    ASSERT_EQ(GetMessageA(&msg, NULL, 0, 0), 0);
    EXPECT_EQ(msg.wParam, 4u);
    EXPECT_EQ(DBL_Pending(), 0u);
}

// --- Default processing ---

TEST(DefaultProcessing, SystemCloseDestroysTheWindowAndQuits)
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

TEST(DefaultProcessing, ADestroyInsideDispatchEndsTheWindowOnceAndDropsItsMessages)
{
    HWND window = MakeWindow();
    closeWhileDispatching = true;
    PostMessageA(window, WM_KEYDOWN, 'A', 0);
    PostMessageA(window, WM_KEYDOWN, 'B', 0);
    MSG msg = {};
    ASSERT_EQ(GetMessageA(&msg, NULL, 0, 0), 1);
    DispatchMessageA(&msg);
    // The close inside the procedure destroyed the window; the default processing of the
    // key-down that follows it finds it gone and does nothing more.
    EXPECT_EQ(seen, (std::vector<UINT>{WM_KEYDOWN, WM_DESTROY}));
    EXPECT_TRUE(DBL_WindowDestroyed());
    DispatchMessageA(&msg);  // a message kept past its window's end goes nowhere
    EXPECT_EQ(seen.size(), 2u);
    ASSERT_EQ(GetMessageA(&msg, NULL, 0, 0), 0) << "'B' went with the window";
    EXPECT_EQ(msg.wParam, 7u);
}

// --- Surfaces ---

TEST(Surfaces, LockTwiceAndUnlockWithoutLockAreRefusedLoudly)
{
    IDirectDrawSurface7 *primary = NULL, *back = NULL;
    MakeChain(MakeWindow(), &primary, &back);
    DDSURFACEDESC2 desc = LockDescription(), again = LockDescription();
    ASSERT_EQ(back->Lock(NULL, &desc, 0, NULL), DD_OK);
    HRESULT result = DD_OK;
    EXPECT_NONFATAL_FAILURE(result = back->Lock(NULL, &again, 0, NULL), "already locked");
    EXPECT_EQ(result, DDERR_SURFACEBUSY);
    EXPECT_EQ(again.lpSurface, nullptr);
    EXPECT_EQ(back->Unlock(NULL), DD_OK);
    EXPECT_NONFATAL_FAILURE(result = back->Unlock(NULL), "not locked");
    EXPECT_EQ(result, DDERR_NOTLOCKED);
    // The front buffer is the host's: it has no memory to lock.
    EXPECT_NONFATAL_FAILURE(result = primary->Lock(NULL, &again, 0, NULL), "whole back buffer");
    EXPECT_NE(result, DD_OK);
}

TEST(Surfaces, FlipWhileLockedOrWithTheContextOutIsRefused)
{
    IDirectDrawSurface7 *primary = NULL, *back = NULL;
    MakeChain(MakeWindow(), &primary, &back);
    DDSURFACEDESC2 desc = LockDescription();
    ASSERT_EQ(back->Lock(NULL, &desc, 0, NULL), DD_OK);
    HRESULT result = DD_OK;
    EXPECT_NONFATAL_FAILURE(result = primary->Flip(NULL, 0), "locked");
    EXPECT_EQ(result, DDERR_SURFACEBUSY);
    ASSERT_EQ(back->Unlock(NULL), DD_OK);
    HDC context = NULL;
    ASSERT_EQ(back->GetDC(&context), DD_OK);
    EXPECT_NONFATAL_FAILURE(result = primary->Flip(NULL, 0), "context out");
    EXPECT_EQ(result, DDERR_SURFACEBUSY);
    ASSERT_EQ(back->ReleaseDC(context), DD_OK);
    EXPECT_EQ(primary->Flip(NULL, 0), DD_OK);
}

TEST(Surfaces, LostSurfacesStayLostUntilThePrimaryIsRestored)
{
    IDirectDrawSurface7 *primary = NULL, *back = NULL;
    MakeChain(MakeWindow(), &primary, &back);
    DBL_LoseSurfaces();
    DDSURFACEDESC2 desc = LockDescription();
    HDC context = NULL;
    EXPECT_EQ(back->Lock(NULL, &desc, 0, NULL), DDERR_SURFACELOST);
    EXPECT_EQ(back->GetDC(&context), DDERR_SURFACELOST);
    EXPECT_EQ(primary->Flip(NULL, 0), DDERR_SURFACELOST);
    EXPECT_EQ(back->Restore(), DDERR_IMPLICITLYCREATED);
    EXPECT_EQ(primary->Flip(NULL, 0), DDERR_SURFACELOST);
    EXPECT_EQ(primary->Restore(), DD_OK);
    EXPECT_EQ(back->Lock(NULL, &desc, 0, NULL), DD_OK);
    EXPECT_EQ(back->Unlock(NULL), DD_OK);
    EXPECT_EQ(primary->Flip(NULL, 0), DD_OK);
}

// The back buffer where the host keeps the screen's pixels: a resize moves that memory while the
// surfaces are lost, and the primary's Restore must find the new place (and pitch), never the old.
TEST(Surfaces, RestoreFindsTheScreensMemoryWhereverTheLossMovedIt)
{
    DBL_OfferScreenMemory();
    IDirectDrawSurface7 *primary = NULL, *back = NULL;
    MakeChain(MakeWindow(), &primary, &back);
    uint8_t *const first = DBL_ScreenMemory();
    ASSERT_NE(first, nullptr);
    DDSURFACEDESC2 desc = LockDescription();
    ASSERT_EQ(back->Lock(NULL, &desc, 0, NULL), DD_OK);
    EXPECT_EQ(desc.lpSurface, first);
    EXPECT_EQ(back->Unlock(NULL), DD_OK);

    // A wider window: the screen's rows move elsewhere and lie further apart.
    DBL_MoveScreen(640 * 4 + 512);
    ASSERT_NE(DBL_ScreenMemory(), first);
    EXPECT_EQ(back->Lock(NULL, &desc, 0, NULL), DDERR_SURFACELOST);
    ASSERT_EQ(primary->Restore(), DD_OK);
    desc = LockDescription();
    ASSERT_EQ(back->Lock(NULL, &desc, 0, NULL), DD_OK);
    ASSERT_EQ(desc.lpSurface, DBL_ScreenMemory()) << "the back buffer stayed where the screen left";
    EXPECT_EQ(desc.lPitch, 640 * 4 + 512);
    uint8_t *rows = static_cast<uint8_t *>(desc.lpSurface);
    memset(rows + 479 * desc.lPitch, 0x42, 640 * 4);
    ASSERT_EQ(back->Unlock(NULL), DD_OK);
    ASSERT_EQ(primary->Flip(NULL, 0), DD_OK);
    LONG pitch = 0;
    EXPECT_EQ(DBL_Presented(&pitch), DBL_ScreenMemory());
    EXPECT_EQ(pitch, 640 * 4 + 512);
    EXPECT_TRUE(DBL_PaddingIntact());

    // Lost without moving (the focus went away and came back): the place stays.
    uint8_t *const second = DBL_ScreenMemory();
    DBL_LoseSurfaces();
    ASSERT_EQ(primary->Restore(), DD_OK);
    desc = LockDescription();
    ASSERT_EQ(back->Lock(NULL, &desc, 0, NULL), DD_OK);
    EXPECT_EQ(desc.lpSurface, second);
    EXPECT_EQ(rows[479 * desc.lPitch], 0x42) << "the picture stays with its memory";
    ASSERT_EQ(back->Unlock(NULL), DD_OK);

    // Large enough to scale: the screen offers no memory and the back buffer becomes the core's.
    DBL_MoveScreen(0);
    ASSERT_EQ(primary->Restore(), DD_OK);
    desc = LockDescription();
    ASSERT_EQ(back->Lock(NULL, &desc, 0, NULL), DD_OK);
    ASSERT_NE(desc.lpSurface, nullptr);
    EXPECT_EQ(desc.lPitch, DBL_Pitch()) << "the pitch of the memory the screen left was 640 * 4 + 512";
    memset(static_cast<uint8_t *>(desc.lpSurface) + 479 * desc.lPitch, 0x24, 640 * 4);
    ASSERT_EQ(back->Unlock(NULL), DD_OK);
    ASSERT_EQ(primary->Flip(NULL, 0), DD_OK);
    EXPECT_EQ(DBL_Presented(&pitch), desc.lpSurface);
}

// A present may be the first to find the screen gone (the browser's canvas went): the core itself
// must keep both surfaces lost from then on, without the host telling it again.
TEST(Surfaces, APresentThatFindsTheScreenGoneLosesBothSurfacesUntilRestored)
{
    IDirectDrawSurface7 *primary = NULL, *back = NULL;
    MakeChain(MakeWindow(), &primary, &back);
    ASSERT_EQ(primary->Flip(NULL, 0), DD_OK);
    DBL_LoseAtPresent(1);
    EXPECT_EQ(primary->Flip(NULL, 0), DDERR_SURFACELOST);
    ASSERT_EQ(DBL_Presents(), 2);
    DDSURFACEDESC2 desc = LockDescription();
    HDC context = NULL;
    EXPECT_EQ(back->Lock(NULL, &desc, 0, NULL), DDERR_SURFACELOST);
    EXPECT_EQ(desc.lpSurface, nullptr);
    EXPECT_EQ(back->GetDC(&context), DDERR_SURFACELOST);
    EXPECT_EQ(primary->Flip(NULL, 0), DDERR_SURFACELOST);
    EXPECT_EQ(back->Restore(), DDERR_IMPLICITLYCREATED);
    EXPECT_EQ(back->Lock(NULL, &desc, 0, NULL), DDERR_SURFACELOST);
    EXPECT_EQ(DBL_Presents(), 2) << "nothing is presented on a lost screen";
    ASSERT_EQ(primary->Restore(), DD_OK);
    ASSERT_EQ(back->Lock(NULL, &desc, 0, NULL), DD_OK);
    EXPECT_EQ(back->Unlock(NULL), DD_OK);
    EXPECT_EQ(primary->Flip(NULL, 0), DD_OK);
    EXPECT_EQ(DBL_Presents(), 3);
}

TEST(Surfaces, OnceTheDisplaysWindowIsDestroyedNothingRestoresThem)
{
    HWND window = MakeWindow();
    IDirectDrawSurface7 *primary = NULL, *back = NULL;
    MakeChain(window, &primary, &back);
    DefWindowProcA(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(DBL_WindowDestroyed());
    EXPECT_EQ(primary->Flip(NULL, 0), DDERR_SURFACELOST);
    EXPECT_EQ(primary->Restore(), DDERR_WRONGMODE);
    EXPECT_EQ(primary->Flip(NULL, 0), DDERR_SURFACELOST);
}

TEST(Surfaces, ContextAlreadyTakenOrReleasedTwiceIsRefused)
{
    IDirectDrawSurface7 *primary = NULL, *back = NULL;
    MakeChain(MakeWindow(), &primary, &back);
    HDC context = NULL, second = NULL;
    ASSERT_EQ(back->GetDC(&context), DD_OK);
    HRESULT result = DD_OK;
    EXPECT_NONFATAL_FAILURE(result = back->GetDC(&second), "context is out");
    EXPECT_EQ(result, DDERR_DCALREADYCREATED);
    DDSURFACEDESC2 desc = LockDescription();
    EXPECT_NONFATAL_FAILURE(result = back->Lock(NULL, &desc, 0, NULL), "context out");
    EXPECT_EQ(result, DDERR_SURFACEBUSY);
    ASSERT_EQ(back->ReleaseDC(context), DD_OK);
    EXPECT_NONFATAL_FAILURE(result = back->ReleaseDC(context), "not out");
    EXPECT_EQ(result, DDERR_NODC);
    BOOL drawn = true;
    EXPECT_NONFATAL_FAILURE(drawn = TextOutA(context, 0, 0, "x", 1), "not out");
    EXPECT_FALSE(drawn);
}

TEST(Surfaces, TextGoesOnTheBackBufferTransparentlyAndOpaqueTextIsRefused)
{
    IDirectDrawSurface7 *primary = NULL, *back = NULL;
    MakeChain(MakeWindow(), &primary, &back);
    DDSURFACEDESC2 desc = LockDescription();
    ASSERT_EQ(back->Lock(NULL, &desc, 0, NULL), DD_OK);
    const int stride = desc.lPitch / 4;
    uint32_t *pixels = static_cast<uint32_t *>(desc.lpSurface);
    for (int i = 0; i < stride * 480; ++i)
        pixels[i] = 0xFF102030;
    ASSERT_EQ(back->Unlock(NULL), DD_OK);
    std::vector<uint32_t> expected(640 * 480, 0xFF102030);
    // Half off the left edge and across the right one: only what lies inside the mode is drawn,
    // and nothing in the padding beyond each row.
    GFX_DrawText("ab", expected.data(), -4, 3, 640, 480, 0xFF563412);
    GFX_DrawText("z", expected.data(), 636, 3, 640, 480, 0xFF563412);

    HDC context = NULL;
    ASSERT_EQ(back->GetDC(&context), DD_OK);
    EXPECT_EQ(SetTextColor(context, RGB(0x56, 0x34, 0x12)), RGB(0, 0, 0));
    BOOL drawn = true;
    EXPECT_NONFATAL_FAILURE(drawn = TextOutA(context, 0, 0, "x", 1), "opaque");
    EXPECT_FALSE(drawn);
    EXPECT_EQ(SetBkMode(context, TRANSPARENT), OPAQUE);
    EXPECT_TRUE(TextOutA(context, -4, 3, "ab", 2));
    EXPECT_TRUE(TextOutA(context, 636, 3, "zz", 2));
    ASSERT_EQ(back->ReleaseDC(context), DD_OK);
    ASSERT_GT(stride, 640) << "the double's back buffer has padding";
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < stride; ++x)
            ASSERT_EQ(pixels[y * stride + x], x < 640 ? expected[y * 640 + x] : 0xFF102030u)
                << "at " << x << "," << y;
}

// --- Clocks ---

TEST(Clocks, BothWrapAtThirtyTwoBits)
{
    DBL_SetTime((1ull << 32) - 2);
    DBL_SetTick((1ull << 32) + 5);
    EXPECT_EQ(timeGetTime(), 0xFFFFFFFEu);
    EXPECT_EQ(GetTickCount(), 5u);
    const DWORD before = timeGetTime();
    DBL_SetTime((1ull << 32) + 1);  // 3 ms later, past the wrap
    EXPECT_EQ(timeGetTime(), 1u);
    EXPECT_EQ(timeGetTime() - before, 3u) << "the unsigned difference survives the wrap";
}
