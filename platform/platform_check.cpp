// Compiled, never run: the values the program relies on, so the declarations elsewhere are
// proven equal to the real Windows headers' (the shell and display prove the calls themselves).
#include "platform/platform.h"

static_assert(WM_DESTROY == 0x0002 && WM_CLOSE == 0x0010 && WM_QUIT == 0x0012, "messages");
static_assert(WM_ACTIVATEAPP == 0x001C && WM_SETCURSOR == 0x0020, "messages");
static_assert(WM_KEYDOWN == 0x0100 && WM_SYSCOMMAND == 0x0112, "messages");
static_assert(VK_ESCAPE == 0x1B && VK_SPACE == 0x20, "keys");
static_assert(SC_SCREENSAVE == 0xF140 && SC_MONITORPOWER == 0xF170 && SC_CLOSE == 0xF060,
              "system commands");
static_assert((CS_HREDRAW | CS_VREDRAW) == 3 && WS_POPUP == 0x80000000u, "styles");
static_assert(PM_NOREMOVE == 0 && MB_OK == 0 && MB_ICONEXCLAMATION == 0x30, "flags");
static_assert(SM_CXSCREEN == 0 && SM_CYSCREEN == 1 && TRANSPARENT == 1, "metrics and modes");
static_assert(SW_RESTORE == 9, "show commands");
static_assert((DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE | DDSCL_ALLOWMODEX) == 0x51, "cooperation");
static_assert((DDSD_CAPS | DDSD_BACKBUFFERCOUNT) == 0x21, "description flags");
static_assert((DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX) == 0x218, "chain caps");
static_assert(DDSCAPS_BACKBUFFER == 4, "back buffer caps");
static_assert(DD_OK == 0 && DDERR_WASSTILLDRAWING == (HRESULT)0x8876021C &&
              DDERR_SURFACELOST == (HRESULT)0x887601C2, "results");
static_assert(RGB(255, 255, 255) == 0x00FFFFFF && RGB(0x12, 0x34, 0x56) == 0x00563412, "colours");
static_assert(sizeof(DWORD) == 4 && sizeof(LONG) == 4 && sizeof(COLORREF) == 4, "widths");
