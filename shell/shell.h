// The shell: entry and frame loop, the window and its procedure, the palette and the frame transfer.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// Shell state, set up once by WinMain.
extern HWND Window;            // the program's one window
extern int32_t Active;         // non-zero while the program is in the foreground
extern void *FrameBuffer;      // the frame the scene draws: 32-bit pixels, or palette indices
extern uint32_t *Expansion;    // palette mode: the frame expanded to 32-bit pixels

// Registers the class and creates the full-screen pop-up window; 1 on success, 0 on failure.
int WIN_Init(HINSTANCE instance, int nCmdShow);
// The window procedure: records activation, turns keys into a close or a read-out toggle.
LRESULT CALLBACK WIN_Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Palette mode: 256 entries of 0xAARRGGBB. A null source loads the greyscale ramp.
void PAL_Init(const uint32_t *source);
void PAL_SetEntry(int32_t index, uint32_t r, uint32_t g, uint32_t b);
// Every one of the frame's indices into its 32-bit colour.
void PAL_Expand(uint32_t *target, const uint8_t *source);

// Copies the frame into the locked back buffer row by row at the lock's pitch.
void DDRAW_Present();
