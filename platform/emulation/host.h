// What a platform supplies beneath the emulation core: everything else about the Windows and
// DirectDraw services is the core's. Every function is called by the core, on the program's
// one thread; a host answers through the core's own functions in emulation.h.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// --- Events and the clock ---
// On every peek, get and wait: turns the platform's pending events into messages (EMU_Post) without blocking.
void HOST_PollEvents();
// When a get or a wait finds no message: blocks until a platform event or a message posted by the host arrives; false when nothing ever can.
bool HOST_WaitEvents();
// For timeGetTime and GetTickCount: milliseconds from a monotonic source, from any start; the core wraps them to 32 bits.
uint64_t HOST_Milliseconds();

// --- Windows, cursor and message box ---
// For GetSystemMetrics and DirectDrawCreateEx: the desktop's size in pixels; false when no display can be opened.
bool HOST_ScreenSize(int *width, int *height);
// In CreateWindowExA: a hidden native window (borderless when popup) that the host's events name, `title` the
// program's window text, which the host may show or name the window otherwise; NULL when none can be made.
void *HOST_CreateWindow(const char *title, int x, int y, int width, int height, bool popup);
// In ShowWindow: shows or hides the native window.
void HOST_ShowWindow(void *native, bool show);
// In SetFocus: raises the native window and gives it the keyboard where the platform lets it.
void HOST_Focus(void *native);
// When default processing destroys a window, after its WM_DESTROY: the native window and anything drawn for it go.
void HOST_DestroyWindow(void *native);
// In SetCursor: the mouse cursor shown, or hidden over the program's windows.
void HOST_ShowCursor(bool shown);
// In MessageBoxA: a modal box (icon: the MB_ICON* bits) that returns once dismissed; where none can be shown, one line on standard error.
void HOST_MessageBox(void *owner, const char *text, const char *caption, UINT icon);
// When the core refuses a call that breaks the services' rules (Windows answers those with an error and nothing else).
void HOST_Misuse(const char *what);

// --- Display ---
// In SetCooperativeLevel: the native window covers the whole screen; false when it cannot.
bool HOST_FullScreen(void *native);
// In the DirectDraw object's Release: the native window leaves the full screen, and whatever showed frames goes.
void HOST_LeaveFullScreen(void *native);
// In SetDisplayMode: from now on the screen shows width x height frames, whole-number scaled between black bars;
// DD_OK, DDERR_INVALIDMODE when the screen is too small, another DDERR_ value when it fails.
HRESULT HOST_SetMode(void *native, int width, int height);
// In CreateSurface: makes whatever shows the frames; bytes from one row of the back buffer to the
// next, at least width * 4, or 0 when it cannot be made.
LONG HOST_Pitch(int width);
// In CreateSurface, after HOST_Pitch, and in the primary's Restore after a loss: where the screen keeps
// its own pixels, the place of a mode-sized back buffer in them (rows *pitch bytes apart), so that a
// flip copies nothing; valid until the host loses the surfaces (EMU_LoseSurfaces). NULL: none.
uint8_t *HOST_ScreenMemory(LONG *pitch);
// In Flip: shows a finished frame of the mode's size (words 0x??RRGGBB, the top byte ignored), pacing frames to the display;
// DD_OK, DDERR_WASSTILLDRAWING to be asked again, DDERR_SURFACELOST once the screen is gone.
HRESULT HOST_Present(const uint8_t *pixels, LONG pitch);
