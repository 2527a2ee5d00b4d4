// DirectDraw and the device context's text output, as the program uses them: one flip chain of
// a primary and a system-memory back buffer, shown by the host at each flip.
#include <cstring>
#include <string>
#include <vector>

#include "platform/emulation/emulation.h"
#include "platform/emulation/host.h"
#include "text/text.h"

namespace {

struct Draw final : IDirectDraw7 {
    HRESULT CreateSurface(DDSURFACEDESC2 *desc, IDirectDrawSurface7 **surface,
                          IUnknown *outer) override;
    HRESULT SetCooperativeLevel(HWND window, DWORD flags) override;
    HRESULT SetDisplayMode(DWORD width, DWORD height, DWORD bitsPerPixel, DWORD refreshRate,
                           DWORD flags) override;
    ULONG Release() override;
};

struct Surface final : IDirectDrawSurface7 {
    HRESULT Flip(IDirectDrawSurface7 *targetOverride, DWORD flags) override;
    HRESULT GetAttachedSurface(DDSCAPS2 *caps, IDirectDrawSurface7 **surface) override;
    HRESULT GetDC(HDC *context) override;
    HRESULT Lock(RECT *rect, DDSURFACEDESC2 *desc, DWORD flags, HANDLE event) override;
    HRESULT ReleaseDC(HDC context) override;
    HRESULT Restore() override;
    HRESULT Unlock(RECT *rect) override;
    ULONG Release() override;
};

}  // namespace

// The back buffer's device context.
struct HDC__ {
    bool valid;          // between GetDC and ReleaseDC
    int bkMode;          // TRANSPARENT, or OPAQUE, a fresh context's
    COLORREF textColor;  // 0x00BBGGRR, black in a fresh context
};

const IID IID_IDirectDraw7 = {0x15e65ec0, 0x3b9c, 0x11d2,
                              {0xb9, 0x2f, 0x00, 0x60, 0x97, 0x97, 0xea, 0x5b}};

static Draw drawObject;                  // the one DirectDraw object
static Surface primary, back;            // the flip chain, valid once surfacesMade
static bool surfacesMade;                // CreateSurface made the chain
static HWND displayWindow;               // the full-screen window of SetCooperativeLevel
static bool screenGone;                  // that window was destroyed: nothing can be shown again
static bool surfacesLost;                // Lock, GetDC and Flip fail until the primary's Restore
static int modeWidth, modeHeight;        // the display mode, 0 until set
static std::vector<uint8_t> backMemory;  // the back buffer's pixels when they are ours
static LONG ownPitch;                    // bytes from one of our rows to the next
static uint8_t *backPixels;              // the back buffer: our memory or the screen's
static LONG backPitch;                   // bytes from one row to the next
static bool backLocked;                  // between Lock and Unlock
static HDC__ backContext;                // the device context GetDC hands out

// Refuses a call that breaks DirectDraw's rules, telling the host.
static HRESULT Misuse(HRESULT result, const std::string &what)
{
    HOST_Misuse(what.c_str());
    return result;
}

void EMU_LoseSurfaces()
{
    surfacesLost = true;
}

uint8_t *EMU_BackBuffer(LONG *pitch)
{
    *pitch = backPitch;
    return surfacesMade ? backPixels : NULL;
}

// The back buffer goes where the screen keeps its pixels when the host has such a place, so
// that a flip copies nothing; otherwise it is memory of ours, made once.
static void PlaceBackBuffer()
{
    LONG pitch = 0;
    backPixels = HOST_ScreenMemory(&pitch);
    backPitch = pitch;
    if (backPixels && pitch >= modeWidth * 4)
        return;
    if (backMemory.empty())
        backMemory.assign((size_t)ownPitch * modeHeight, 0);
    backPixels = backMemory.data();
    backPitch = ownPitch;
}

void EMU_DisplayWindowGone(HWND window)
{
    if (window == displayWindow && window) {
        screenGone = true;
        surfacesLost = true;
    }
}

HRESULT WINAPI DirectDrawCreateEx(GUID *driver, void **object, REFIID iid, IUnknown *outer)
{
    int width, height;
    // Only the default display driver, the version 7 interface and no aggregation.
    if (driver || !object || outer || memcmp(&iid, &IID_IDirectDraw7, sizeof(IID)) != 0)
        return Misuse(DDERR_INVALIDPARAMS, "DirectDrawCreateEx other than the default driver's IDirectDraw7");
    if (!HOST_ScreenSize(&width, &height))
        return DDERR_NODIRECTDRAWHW;
    *object = static_cast<IDirectDraw7 *>(&drawObject);
    return DD_OK;
}

HRESULT Draw::SetCooperativeLevel(HWND window, DWORD flags)
{
    void *native = EMU_Native(window);
    if (!native)
        return Misuse(DDERR_INVALIDPARAMS, "SetCooperativeLevel for a window that does not exist");
    // Windowed sharing of the desktop is not something this program does.
    if ((flags & (DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE)) != (DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE) ||
        (displayWindow && window != displayWindow))
        return DDERR_UNSUPPORTED;
    if (!HOST_FullScreen(native))
        return DDERR_GENERIC;
    displayWindow = window;
    return DD_OK;
}

HRESULT Draw::SetDisplayMode(DWORD width, DWORD height, DWORD bitsPerPixel, DWORD refreshRate,
                             DWORD flags)
{
    if (!displayWindow || screenGone)
        return DDERR_NOEXCLUSIVEMODE;
    if (flags != 0)
        return DDERR_INVALIDPARAMS;
    // The picture is shown at 32 bits and the desktop's own refresh rate, or not at all.
    if (bitsPerPixel != 32 || refreshRate != 0 || width == 0 || height == 0 || width > 16384 ||
        height > 16384)
        return DDERR_INVALIDMODE;
    if ((int)width == modeWidth && (int)height == modeHeight)
        return DD_OK;
    if (surfacesMade)
        return DDERR_UNSUPPORTED;  // a mode change would have to lose and remake the chain
    HRESULT result = HOST_SetMode(EMU_Native(displayWindow), (int)width, (int)height);
    if (result != DD_OK)
        return result;
    modeWidth = (int)width;
    modeHeight = (int)height;
    return DD_OK;
}

HRESULT Draw::CreateSurface(DDSURFACEDESC2 *desc, IDirectDrawSurface7 **surface, IUnknown *outer)
{
    if (!desc || !surface || outer || desc->dwSize != sizeof(DDSURFACEDESC2))
        return Misuse(DDERR_INVALIDPARAMS, "CreateSurface without a description of the right dwSize");
    const DWORD chain = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    // The one kind of surface the program makes: a primary with one back buffer.
    if ((desc->dwFlags & (DDSD_CAPS | DDSD_BACKBUFFERCOUNT)) != (DDSD_CAPS | DDSD_BACKBUFFERCOUNT) ||
        (desc->ddsCaps.dwCaps & chain) != chain || desc->dwBackBufferCount != 1)
        return DDERR_UNSUPPORTED;
    if (!modeWidth)
        return DDERR_NOEXCLUSIVEMODE;
    if (surfacesMade)
        return DDERR_PRIMARYSURFACEALREADYEXISTS;
    const LONG pitch = HOST_Pitch(modeWidth);
    if (pitch < modeWidth * 4)
        return DDERR_GENERIC;
    ownPitch = pitch;
    PlaceBackBuffer();
    surfacesMade = true;
    *surface = &primary;
    return DD_OK;
}

HRESULT Surface::GetAttachedSurface(DDSCAPS2 *caps, IDirectDrawSurface7 **surface)
{
    const DWORD backCaps = DDSCAPS_BACKBUFFER | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    if (this != &primary || !caps || !surface || !(caps->dwCaps & DDSCAPS_BACKBUFFER) ||
        (caps->dwCaps & ~backCaps))
        return Misuse(DDERR_NOTFOUND, "GetAttachedSurface other than the primary's back buffer");
    *surface = &back;
    return DD_OK;
}

HRESULT Surface::Lock(RECT *rect, DDSURFACEDESC2 *desc, DWORD, HANDLE)
{
    // Only the back buffer is memory of ours; the front one is the host's.
    if (this != &back || rect || !desc || desc->dwSize != sizeof(DDSURFACEDESC2))
        return Misuse(DDERR_INVALIDPARAMS,
                      "Lock other than of the whole back buffer with a description of the right dwSize");
    if (surfacesLost)
        return DDERR_SURFACELOST;
    if (backLocked || backContext.valid)
        return Misuse(DDERR_SURFACEBUSY, "Lock of a back buffer that is already locked or has its context out");
    desc->lPitch = backPitch;
    desc->lpSurface = backPixels;
    backLocked = true;
    return DD_OK;
}

HRESULT Surface::Unlock(RECT *)
{
    if (this != &back || !backLocked)
        return Misuse(DDERR_NOTLOCKED, "Unlock of a surface that is not locked");
    backLocked = false;
    return DD_OK;
}

HRESULT Surface::GetDC(HDC *context)
{
    if (this != &back || !context)
        return Misuse(DDERR_INVALIDPARAMS, "GetDC other than of the back buffer");
    if (surfacesLost)
        return DDERR_SURFACELOST;
    if (backContext.valid)
        return Misuse(DDERR_DCALREADYCREATED, "GetDC while the back buffer's context is out");
    if (backLocked)
        return Misuse(DDERR_SURFACEBUSY, "GetDC of a locked back buffer");
    // Every context starts fresh: opaque background, black text.
    backContext = HDC__{true, OPAQUE, RGB(0, 0, 0)};
    *context = &backContext;
    return DD_OK;
}

HRESULT Surface::ReleaseDC(HDC context)
{
    if (this != &back || context != &backContext || !backContext.valid)
        return Misuse(DDERR_NODC, "ReleaseDC of a context that is not out");
    backContext.valid = false;
    return DD_OK;
}

HRESULT Surface::Flip(IDirectDrawSurface7 *targetOverride, DWORD)
{
    if (this != &primary || targetOverride)
        return Misuse(DDERR_INVALIDPARAMS, "Flip other than of the primary onto its back buffer");
    if (surfacesLost)
        return DDERR_SURFACELOST;
    if (backLocked || backContext.valid)
        return Misuse(DDERR_SURFACEBUSY, "Flip while the back buffer is locked or has its context out");
    // The back buffer keeps its picture, as a blit-flip would leave it.
    HRESULT result = HOST_Present(backPixels, backPitch);
    if (result == DDERR_SURFACELOST)
        surfacesLost = true;
    return result;
}

HRESULT Surface::Restore()
{
    if (this != &primary)
        return DDERR_IMPLICITLYCREATED;  // the back buffer comes back with its primary
    if (screenGone)
        return DDERR_WRONGMODE;
    if (surfacesLost)
        PlaceBackBuffer();  // the screen's memory may have moved while it was away
    surfacesLost = false;
    return DD_OK;
}

// The program holds one reference to each object; its release takes the object away.
ULONG Surface::Release()
{
    if (this != &primary)
        return 1;  // the back buffer lives as long as its primary
    surfacesMade = false;
    surfacesLost = false;
    backLocked = false;
    backContext.valid = false;
    std::vector<uint8_t>().swap(backMemory);
    backPixels = NULL;
    return 0;
}

// Exclusive mode ends with the object: the chain goes, and the window leaves the full screen.
ULONG Draw::Release()
{
    if (surfacesMade)
        primary.Release();
    if (displayWindow && !screenGone)
        HOST_LeaveFullScreen(EMU_Native(displayWindow));
    displayWindow = NULL;
    modeWidth = modeHeight = 0;
    return 0;
}

// --- Text output on the back buffer's device context ---

static bool ContextOut(HDC context, const char *call)
{
    if (context == &backContext && backContext.valid)
        return true;
    HOST_Misuse((std::string(call) + " on a context that is not out").c_str());
    return false;
}

int WINAPI SetBkMode(HDC context, int mode)
{
    if (!ContextOut(context, "SetBkMode") || (mode != TRANSPARENT && mode != OPAQUE))
        return 0;
    int previous = context->bkMode;
    context->bkMode = mode;
    return previous;
}

COLORREF WINAPI SetTextColor(HDC context, COLORREF color)
{
    // Only plain 0x00BBGGRR colours; palette references and CLR_INVALID are refused.
    if (!ContextOut(context, "SetTextColor") || (color >> 24) != 0)
        return CLR_INVALID;
    COLORREF previous = context->textColor;
    context->textColor = color;
    return previous;
}

BOOL WINAPI TextOutA(HDC context, int x, int y, LPCSTR text, int length)
{
    if (!ContextOut(context, "TextOutA") || length < 0 || (!text && length > 0))
        return false;
    // The program draws its text on the picture; a filled background is not something it asks for.
    if (context->bkMode != TRANSPARENT) {
        HOST_Misuse("TextOutA with an opaque background");
        return false;
    }
    const COLORREF c = context->textColor;
    const uint32_t colour = 0xFF000000u | (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF);
    uint32_t *pixels = reinterpret_cast<uint32_t *>(backPixels);
    const int32_t stride = backPitch / 4;
    for (int i = 0; i < length; ++i) {
        const int64_t cellX = (int64_t)x + (int64_t)i * 8;
        if (cellX >= modeWidth)
            break;
        if (cellX + 8 <= modeWidth) {
            if (cellX > -8)
                GFX_DrawGlyph(pixels, (uint8_t)text[i], (int32_t)cellX, y, stride, modeHeight, colour);
            continue;
        }
        // A cell across the right edge goes through a copy cut at the edge, so nothing lands
        // in the padding beyond the row.
        const int32_t visible = modeWidth - (int32_t)cellX;
        uint32_t cell[16 * 8];
        for (int32_t row = 0; row < 16; ++row)
            if (y + row >= 0 && y + row < modeHeight)
                memcpy(&cell[row * visible], &pixels[(int64_t)(y + row) * stride + cellX], visible * 4);
        GFX_DrawGlyph(cell, (uint8_t)text[i], 0, 0, visible, 16, colour);
        for (int32_t row = 0; row < 16; ++row)
            if (y + row >= 0 && y + row < modeHeight)
                memcpy(&pixels[(int64_t)(y + row) * stride + cellX], &cell[row * visible], visible * 4);
    }
    return true;
}
