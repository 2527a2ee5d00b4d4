// Compiled, never run: every service the program calls, with the argument types it passes,
// and the values it relies on, so platform.h is proven against the real Windows headers too.
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
static_assert((DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE | DDSCL_ALLOWMODEX) == 0x51, "cooperation");
static_assert((DDSD_CAPS | DDSD_BACKBUFFERCOUNT) == 0x21, "description flags");
static_assert((DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX) == 0x218, "chain caps");
static_assert(DDSCAPS_BACKBUFFER == 4, "back buffer caps");
static_assert(DD_OK == 0 && DDERR_WASSTILLDRAWING == (HRESULT)0x8876021C &&
              DDERR_SURFACELOST == (HRESULT)0x887601C2, "results");
static_assert(RGB(255, 255, 255) == 0x00FFFFFF && RGB(0x12, 0x34, 0x56) == 0x00563412, "colours");
static_assert(sizeof(DWORD) == 4 && sizeof(LONG) == 4 && sizeof(COLORREF) == 4, "widths");

static LRESULT CALLBACK CheckProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

int PLATFORM_Check(HINSTANCE instance, int showCommand, IDirectDraw7 *draw,
                   IDirectDrawSurface7 *primary)
{
    WNDCLASSA windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = CheckProcedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
    windowClass.hbrBackground = NULL;
    windowClass.lpszMenuName = NULL;
    windowClass.lpszClassName = "cname";
    ATOM atom = RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "cname", "cname", WS_POPUP, 0, 0,
                                  GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                                  NULL, NULL, instance, NULL);
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    SetFocus(window);

    MSG msg;
    if (PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE) && GetMessageA(&msg, NULL, 0, 0) == 0)
        msg.wParam = 0;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    WaitMessage();
    PostMessageA(window, WM_CLOSE, 0, 0);
    PostQuitMessage(0);
    SetCursor(NULL);
    MessageBoxA(NULL, "WIN_Init", "ERROR", MB_ICONEXCLAMATION);
    DWORD elapsed = timeGetTime() - GetTickCount();

    IDirectDraw7 *created = NULL;
    HRESULT result = DirectDrawCreateEx(NULL, (void **)&created, IID_IDirectDraw7, NULL);
    result |= draw->SetCooperativeLevel(window, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE | DDSCL_ALLOWMODEX);
    result |= draw->SetDisplayMode(640, 480, 32, 0, 0);
    DDSURFACEDESC2 desc = {};
    desc.dwSize = sizeof(DDSURFACEDESC2);
    desc.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    desc.dwBackBufferCount = 1;
    result |= draw->CreateSurface(&desc, &primary, NULL);
    DDSCAPS2 caps = {};
    caps.dwCaps = DDSCAPS_BACKBUFFER;
    IDirectDrawSurface7 *back = NULL;
    result |= primary->GetAttachedSurface(&caps, &back);
    result |= back->Lock(NULL, &desc, 0, NULL);
    char *pixels = static_cast<char *>(desc.lpSurface) + desc.lPitch;
    back->Unlock(NULL);
    HDC context;
    if (back->GetDC(&context) == DD_OK) {
        SetBkMode(context, TRANSPARENT);
        SetTextColor(context, RGB(255, 255, 255));
        TextOutA(context, 0, 0, "12.5 fps", 8);
        back->ReleaseDC(context);
    }
    while (primary->Flip(NULL, 0) == DDERR_WASSTILLDRAWING) {
    }
    result |= primary->Restore();
    return (int)atom + (int)msg.wParam + (int)elapsed + (int)result + (pixels != NULL) +
           (result == DDERR_SURFACELOST);
}
