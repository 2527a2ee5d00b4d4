// The display's set-up as the program makes it, for tests that drive the services directly.
#pragma once

#include <gtest/gtest.h>

#include <cstring>

#include "platform/platform.h"

// A 640 x 480 pop-up of a class of its own, "test", whose procedure is `procedure`.
inline HWND MakeTestWindow(WNDPROC procedure, HINSTANCE instance)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = procedure;
    windowClass.lpszClassName = "test";
    EXPECT_NE(RegisterClassA(&windowClass), 0);
    return CreateWindowExA(0, "test", "test", WS_POPUP, 0, 0, 640, 480, NULL, NULL, instance, NULL);
}

// A DirectDraw object with exclusive full-screen use of `window`, as the program asks for it.
inline void MakeExclusive(HWND window, IDirectDraw7 **draw)
{
    ASSERT_EQ(DirectDrawCreateEx(NULL, (void **)draw, IID_IDirectDraw7, NULL), DD_OK);
    ASSERT_EQ((*draw)->SetCooperativeLevel(window, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE | DDSCL_ALLOWMODEX),
              DD_OK);
}

// The description of a primary surface with one back buffer, as the program asks for it.
inline DDSURFACEDESC2 ChainDescription()
{
    DDSURFACEDESC2 desc;
    memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    desc.dwBackBufferCount = 1;
    return desc;
}

// Full-screen 32-bit colour (640 x 480 unless told) with its flip chain on `window`; the
// DirectDraw object in `*drawMade` when asked for, to release.
inline void MakeChain(HWND window, IDirectDrawSurface7 **primary, IDirectDrawSurface7 **back,
                      int width = 640, int height = 480, IDirectDraw7 **drawMade = NULL)
{
    IDirectDraw7 *draw = NULL;
    ASSERT_NO_FATAL_FAILURE(MakeExclusive(window, &draw));
    if (drawMade)
        *drawMade = draw;
    ASSERT_EQ(draw->SetDisplayMode(width, height, 32, 0, 0), DD_OK);
    DDSURFACEDESC2 desc = ChainDescription();
    ASSERT_EQ(draw->CreateSurface(&desc, primary, NULL), DD_OK);
    DDSCAPS2 caps = {};
    caps.dwCaps = DDSCAPS_BACKBUFFER;
    ASSERT_EQ((*primary)->GetAttachedSurface(&caps, back), DD_OK);
}

// A description for Lock, sized as the services require.
inline DDSURFACEDESC2 LockDescription()
{
    DDSURFACEDESC2 desc;
    memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    return desc;
}
