// What the emulation core offers its host (host.h is what the host offers the core), beside the
// Windows services themselves, which only the program calls.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"
#include "platform/win32_values.h"

// The values only the emulation needs, beside the program's in platform.h.
#define EMULATION_CONSTANT(type, name, value) inline constexpr type name = (type)(value);
WIN32_EMULATION_VALUES(EMULATION_CONSTANT)
#undef EMULATION_CONSTANT

// The window behind a native window the host made; NULL for any other.
HWND EMU_WindowOf(void *native);
// Queues a message as PostMessageA would, without its checks: for a window (dropped once it
// is destroyed), or with window NULL for the thread, WM_QUIT included.
void EMU_Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The platform destroyed the native window under the program (another client closed it): the
// window is destroyed as DestroyWindow would, WM_DESTROY included; the host's own
// HOST_DestroyWindow still follows, for whatever it holds.
void EMU_WindowDestroyed(HWND window);
// How many messages wait for the window (NULL: any) with the message number (0: any), a quit
// message from PostQuitMessage included.
size_t EMU_Waiting(HWND window, UINT message);
// The screen went away for a while: both surfaces answer DDERR_SURFACELOST until restored.
void EMU_LoseSurfaces();
// The back buffer's memory and pitch, NULL before CreateSurface; e.g. to present the last
// frame again when the screen needs repainting while the program is paused.
uint8_t *EMU_BackBuffer(LONG *pitch);

// Inside the core: the display's window was destroyed, so the screen is gone for good.
void EMU_DisplayWindowGone(HWND window);
// Inside the core: the native window behind a live window, NULL for any other.
void *EMU_Native(HWND window);
