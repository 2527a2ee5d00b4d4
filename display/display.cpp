// Display set-up, back-buffer locks, the frame-rate read-out and the flip, through DirectDraw 7.
#include "display/display.h"

#include <cstdio>
#include <cstring>

static IDirectDraw7 *DirectDraw;       // the display object, released only when set-up fails
static IDirectDrawSurface7 *Primary;   // front of the flip chain
static IDirectDrawSurface7 *BackBuffer; // the surface every frame is copied into
static uint32_t FrameCount;            // flips since the last measurement
static DWORD ReferenceTick;            // GetTickCount at the last measurement
static float Rate;                     // frames per second at the last measurement
static int32_t FpsVisible;             // the read-out shows while this is exactly 1
static HWND DisplayWindow;             // the window that holds the screen

// A lost surface comes back by restoring the primary, which restores its back buffer too;
// the next frame redraws everything. DirectDraw minimised the window when it took the surfaces
// away; without a window manager nothing else brings it back, and a minimised window shows no
// flips and gets no keys, so the window is restored and given the focus along with them.
static void RestoreIfLost(HRESULT result)
{
    if (result != DDERR_SURFACELOST || Primary->Restore() != DD_OK)
        return;
    ShowWindow(DisplayWindow, SW_RESTORE);
    SetFocus(DisplayWindow);
}

// DirectDraw's results by name, for the reason beside a failure's box.
#define RESULT_NAME(result) {result, #result}
static const struct {
    HRESULT result;
    const char *name;
} ResultNames[] = {
    RESULT_NAME(DDERR_GENERIC),           RESULT_NAME(DDERR_UNSUPPORTED),
    RESULT_NAME(DDERR_INVALIDPARAMS),     RESULT_NAME(DDERR_OUTOFMEMORY),
    RESULT_NAME(DDERR_INVALIDOBJECT),     RESULT_NAME(DDERR_INVALIDMODE),
    RESULT_NAME(DDERR_UNSUPPORTEDMODE),   RESULT_NAME(DDERR_NOEXCLUSIVEMODE),
    RESULT_NAME(DDERR_EXCLUSIVEMODEALREADYSET), RESULT_NAME(DDERR_NOTFOUND),
    RESULT_NAME(DDERR_OUTOFVIDEOMEMORY),  RESULT_NAME(DDERR_SURFACEBUSY),
    RESULT_NAME(DDERR_SURFACELOST),       RESULT_NAME(DDERR_WASSTILLDRAWING),
    RESULT_NAME(DDERR_NODIRECTDRAWHW),    RESULT_NAME(DDERR_PRIMARYSURFACEALREADYEXISTS),
    RESULT_NAME(DDERR_NOTLOCKED),         RESULT_NAME(DDERR_NODC),
    RESULT_NAME(DDERR_WRONGMODE),         RESULT_NAME(DDERR_IMPLICITLYCREATED),
    RESULT_NAME(DDERR_DCALREADYCREATED),
};
#undef RESULT_NAME

// A failed set-up call: what failed and DirectDraw's answer, on one line of standard error
// beside the box; what was made before it is released, so the screen is the desktop's again
// behind the box; then the box.
static int Fail(HWND window, const char *text, const char *call, HRESULT result)
{
    const char *name = "an unknown DirectDraw result";
    for (const auto &known : ResultNames)
        if (known.result == result)
            name = known.name;
    std::fprintf(stderr, "DDRAW_Init: %s failed with %s (0x%08lX)\n", call, name,
                 static_cast<unsigned long>(static_cast<DWORD>(result)));
    std::fflush(stderr);
    if (Primary != nullptr)
        Primary->Release();
    if (DirectDraw != nullptr)
        DirectDraw->Release();
    Primary = nullptr;
    DirectDraw = nullptr;
    MessageBoxA(window, text, "Error", MB_OK);
    return 0;
}

int DDRAW_Init(int32_t width, int32_t height, int32_t depth, HWND window)
{
    DisplayWindow = window;
    HRESULT result = DirectDrawCreateEx(NULL, reinterpret_cast<void **>(&DirectDraw), IID_IDirectDraw7, NULL);
    if (result != DD_OK) {
        DirectDraw = nullptr;  // whatever a failed call left there is not an object
        return Fail(window, "Could not create Direct Draw Instance\n", "DirectDrawCreateEx", result);
    }
    result = DirectDraw->SetCooperativeLevel(window, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE | DDSCL_ALLOWMODEX);
    if (result != DD_OK)
        return Fail(window, "Could not take control of the screen\n", "SetCooperativeLevel", result);
    result = DirectDraw->SetDisplayMode(static_cast<DWORD>(width), static_cast<DWORD>(height),
                                       static_cast<DWORD>(depth), 0, 0);
    if (result != DD_OK)
        return Fail(window, "Video mode not found\n", "SetDisplayMode", result);

    DDSURFACEDESC2 description;
    std::memset(&description, 0, sizeof description);
    description.dwSize = sizeof description;
    description.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    description.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    description.dwBackBufferCount = 1;
    result = DirectDraw->CreateSurface(&description, &Primary, NULL);
    if (result != DD_OK) {
        Primary = nullptr;
        return Fail(window, "Could not create the primary surface\n", "CreateSurface", result);
    }

    DDSCAPS2 caps;
    std::memset(&caps, 0, sizeof caps);
    caps.dwCaps = DDSCAPS_BACKBUFFER;
    result = Primary->GetAttachedSurface(&caps, &BackBuffer);
    if (result != DD_OK)
        return Fail(window, "Could not get the back surface\n", "GetAttachedSurface", result);

    ReferenceTick = GetTickCount();
    FrameCount = 0;
    return 1;
}

// Every lock covers the whole surface with no flags: a busy surface fails rather than waits.
static HRESULT LockBack(DDSURFACEDESC2 *description)
{
    std::memset(description, 0, sizeof *description);
    description->dwSize = sizeof *description;
    const HRESULT result = BackBuffer->Lock(NULL, description, 0, NULL);
    RestoreIfLost(result);
    return result;
}

LONG DDRAW_GetPitch()
{
    DDSURFACEDESC2 description;
    if (LockBack(&description) != DD_OK)
        return 0;
    BackBuffer->Unlock(NULL);
    return description.lPitch;
}

void *DDRAW_LockBack(LONG *pitch)
{
    DDSURFACEDESC2 description;
    if (LockBack(&description) != DD_OK)
        return nullptr;
    *pitch = description.lPitch;
    return description.lpSurface;
}

void DDRAW_UnlockBack()
{
    BackBuffer->Unlock(NULL);
}

void FPS_Toggle()
{
    FpsVisible = FpsVisible == 0 ? 1 : 0;
}

void FPS_SetVisible(int32_t value)
{
    FpsVisible = value;
}

// Measures about once a second; the unsigned difference stays right across the tick's wrap.
static void MeasureRate()
{
    if (static_cast<DWORD>(GetTickCount() - ReferenceTick) <= 1000)
        return;
    const float frames = static_cast<float>(FrameCount * 1000.0);
    const DWORD elapsed = GetTickCount() - ReferenceTick;
    Rate = static_cast<float>(frames / static_cast<double>(elapsed));
    FrameCount = 0;
    ReferenceTick = GetTickCount();
}

static void DrawReadOut()
{
    HDC context;
    const HRESULT result = BackBuffer->GetDC(&context);
    if (result != DD_OK) {
        RestoreIfLost(result);
        return;
    }
    char text[64];
    const int length = std::snprintf(text, sizeof text, "%3.1f fps", static_cast<double>(Rate));
    SetBkMode(context, TRANSPARENT);
    // White as a valid colour reference: an all-ones word is not one.
    SetTextColor(context, RGB(255, 255, 255));
    TextOutA(context, 0, 0, text, length);
    BackBuffer->ReleaseDC(context);
}

void DDRAW_Flip()
{
    ++FrameCount;
    if (FpsVisible == 1) {
        MeasureRate();
        DrawReadOut();
    }
    HRESULT result;
    do {
        result = Primary->Flip(NULL, 0);
    } while (result == DDERR_WASSTILLDRAWING);
    RestoreIfLost(result);
}
