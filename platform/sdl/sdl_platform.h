// What the SDL implementation's files share with each other (and with its tests), beyond
// the Windows names of platform.h.
#pragma once

#include <SDL.h>

#include <cstdint>

#include "platform/platform.h"

// Brings SDL's video up once, with the screen saver off; false when no display can be opened.
bool PSDL_InitVideo();

// The SDL window behind a live window handle; NULL for any other handle.
SDL_Window *PSDL_SdlWindow(HWND window);

// Called by the window code just before an SDL window goes away, so the display stops using it.
void PSDL_ReleaseDisplay(SDL_Window *window);

// The device context of the back buffer: GetDC fills it, TextOutA draws through it.
struct HDC__ {
    uint32_t *pixels;    // the back buffer's first pixel
    int32_t stride;      // pixels from one row to the next
    int32_t rows;        // height of the back buffer
    int bkMode;          // TRANSPARENT, or OPAQUE (2), the default of a fresh context
    COLORREF textColor;  // 0x00BBGGRR, black in a fresh context
    bool valid;          // between GetDC and ReleaseDC
};
