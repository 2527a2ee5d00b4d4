// The display: exclusive full-screen mode, the back buffer's locks, the frame-rate read-out and the flip.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// Once at start-up: takes the screen, sets the mode, builds primary + one back buffer.
// Shows its own box on failure (owned by `window`) and returns 0; 1 when ready.
int DDRAW_Init(int32_t width, int32_t height, int32_t depth, HWND window);
// The back buffer's pitch in bytes from a lock of its own, or 0 if the lock failed.
LONG DDRAW_GetPitch();
// Locks the back buffer for writing: its memory, with the pitch of this very lock in `pitch`;
// null when the lock failed (a lost surface is restored for the next frame).
void *DDRAW_LockBack(LONG *pitch);
// Releases the lock taken by DDRAW_LockBack.
void DDRAW_UnlockBack();
// Ends every frame: counts it, draws the read-out while it is on, flips.
void DDRAW_Flip();

// The frame-rate flag, read by DDRAW_Flip: the read-out shows only while it is exactly 1.
void FPS_Toggle();
void FPS_SetVisible(int32_t value);
