// DirectDraw on SDL2: the window goes full screen on the desktop, the display mode becomes
// a logical size scaled by whole numbers between black bars, the back buffer is system memory,
// and a flip uploads it to a streaming texture and presents it.
#include <cstring>
#include <vector>

#include "platform/sdl/sdl_platform.h"

namespace {

struct SdlDraw final : IDirectDraw7 {
    HRESULT CreateSurface(DDSURFACEDESC2 *desc, IDirectDrawSurface7 **surface,
                          IUnknown *outer) override;
    HRESULT SetCooperativeLevel(HWND window, DWORD flags) override;
    HRESULT SetDisplayMode(DWORD width, DWORD height, DWORD bitsPerPixel, DWORD refreshRate,
                           DWORD flags) override;
};

struct SdlSurface final : IDirectDrawSurface7 {
    HRESULT Flip(IDirectDrawSurface7 *targetOverride, DWORD flags) override;
    HRESULT GetAttachedSurface(DDSCAPS2 *caps, IDirectDrawSurface7 **surface) override;
    HRESULT GetDC(HDC *context) override;
    HRESULT Lock(RECT *rect, DDSURFACEDESC2 *desc, DWORD flags, HANDLE event) override;
    HRESULT ReleaseDC(HDC context) override;
    HRESULT Restore() override;
    HRESULT Unlock(RECT *rect) override;
};

}  // namespace

const IID IID_IDirectDraw7 = {0x15e65ec0, 0x3b9c, 0x11d2,
                              {0xb9, 0x2f, 0x00, 0x60, 0x97, 0x97, 0xea, 0x5b}};

// DirectDraw's results for what this implementation refuses (not used by the program itself).
static const HRESULT ERR_UNSUPPORTED = (HRESULT)0x80004001;    // DDERR_UNSUPPORTED
static const HRESULT ERR_GENERIC = (HRESULT)0x80004005;        // DDERR_GENERIC
static const HRESULT ERR_INVALIDPARAMS = (HRESULT)0x80070057;  // DDERR_INVALIDPARAMS
static const HRESULT ERR_INVALIDMODE = (HRESULT)0x88760078;    // DDERR_INVALIDMODE
static const HRESULT ERR_NOEXCLUSIVEMODE = (HRESULT)0x887600E1;
static const HRESULT ERR_NOTFOUND = (HRESULT)0x887600FF;
static const HRESULT ERR_SURFACEBUSY = (HRESULT)0x887601AE;
static const HRESULT ERR_NODIRECTDRAWHW = (HRESULT)0x88760233;
static const HRESULT ERR_PRIMARYEXISTS = (HRESULT)0x88760234;  // DDERR_PRIMARYSURFACEALREADYEXISTS
static const HRESULT ERR_NOTLOCKED = (HRESULT)0x88760248;
static const HRESULT ERR_NODC = (HRESULT)0x8876024A;
static const HRESULT ERR_WRONGMODE = (HRESULT)0x8876024B;
static const HRESULT ERR_DCALREADYCREATED = (HRESULT)0x8876026C;
static const int OPAQUE_VALUE = 2;

static SdlDraw drawObject;               // the one DirectDraw object
static SdlSurface primary, back;         // the flip chain, valid once surfacesMade
static bool surfacesMade;                // CreateSurface made the chain
static SDL_Window *displayWindow;        // the full-screen window, NULL once it is destroyed
static SDL_Renderer *renderer;           // draws into displayWindow, made by SetDisplayMode
static SDL_Texture *texture;             // the back buffer's copy on the renderer's side
static int modeWidth, modeHeight;        // the display mode, 0 until set
static std::vector<uint8_t> backMemory;  // the back buffer's pixels, rows backPitch bytes apart
static LONG backPitch;                   // bytes from one row to the next
static bool backLocked;                  // between Lock and Unlock
static HDC__ backContext;                // the device context GetDC hands out

void PSDL_ReleaseDisplay(SDL_Window *window)
{
    if (!window || window != displayWindow)
        return;
    if (texture)
        SDL_DestroyTexture(texture);
    if (renderer)
        SDL_DestroyRenderer(renderer);
    texture = NULL;
    renderer = NULL;
    displayWindow = NULL;
}

HRESULT WINAPI DirectDrawCreateEx(GUID *driver, void **object, REFIID iid, IUnknown *outer)
{
    // Only the default display driver, the version 7 interface and no aggregation.
    if (driver || !object || outer || memcmp(&iid, &IID_IDirectDraw7, sizeof(IID)) != 0)
        return ERR_INVALIDPARAMS;
    if (!PSDL_InitVideo())
        return ERR_NODIRECTDRAWHW;
    *object = static_cast<IDirectDraw7 *>(&drawObject);
    return DD_OK;
}

HRESULT SdlDraw::SetCooperativeLevel(HWND window, DWORD flags)
{
    SDL_Window *sdl = PSDL_SdlWindow(window);
    if (!sdl)
        return ERR_INVALIDPARAMS;
    // Windowed sharing of the desktop is not something this program does.
    if ((flags & (DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE)) != (DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE))
        return ERR_UNSUPPORTED;
    if (renderer && sdl != displayWindow)
        return ERR_UNSUPPORTED;
    if (SDL_SetWindowFullscreen(sdl, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0)
        return ERR_GENERIC;
    displayWindow = sdl;
    return DD_OK;
}

HRESULT SdlDraw::SetDisplayMode(DWORD width, DWORD height, DWORD bitsPerPixel, DWORD refreshRate,
                                DWORD flags)
{
    if (!displayWindow)
        return ERR_NOEXCLUSIVEMODE;
    if (flags != 0)
        return ERR_INVALIDPARAMS;
    // The picture is shown at 32 bits and the desktop's own refresh rate, or not at all.
    if (bitsPerPixel != 32 || refreshRate != 0 || width == 0 || height == 0 ||
        width > 16384 || height > 16384)
        return ERR_INVALIDMODE;
    if ((int)width == modeWidth && (int)height == modeHeight && texture)
        return DD_OK;
    if (surfacesMade)
        return ERR_UNSUPPORTED;  // a mode change would have to lose and remake the chain

    if (!renderer) {
        SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
        // A flip waits for the vertical blank, as DirectDraw's does.
        renderer = SDL_CreateRenderer(displayWindow, -1, SDL_RENDERER_PRESENTVSYNC);
        if (!renderer)
            return ERR_GENERIC;
    }
    int outputWidth, outputHeight;
    if (SDL_GetRendererOutputSize(renderer, &outputWidth, &outputHeight) != 0)
        return ERR_GENERIC;
    // A screen smaller than the mode could show it only cut or shrunk.
    if (outputWidth < (int)width || outputHeight < (int)height)
        return ERR_INVALIDMODE;
    if (SDL_RenderSetLogicalSize(renderer, (int)width, (int)height) != 0 ||
        SDL_RenderSetIntegerScale(renderer, SDL_TRUE) != 0)
        return ERR_GENERIC;
    if (texture)
        SDL_DestroyTexture(texture);
    // RGB888 ignores the top byte of each pixel, as a 32-bit display mode does.
    texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING,
                                (int)width, (int)height);
    if (!texture)
        return ERR_GENERIC;
    SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_NONE);
    modeWidth = (int)width;
    modeHeight = (int)height;
    // The screen goes black when the mode is set, until the first flip.
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    SDL_RenderPresent(renderer);
    return DD_OK;
}

HRESULT SdlDraw::CreateSurface(DDSURFACEDESC2 *desc, IDirectDrawSurface7 **surface,
                               IUnknown *outer)
{
    if (!desc || !surface || outer || desc->dwSize != sizeof(DDSURFACEDESC2))
        return ERR_INVALIDPARAMS;
    const DWORD chain = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    // The one kind of surface the program makes: a primary with one back buffer.
    if ((desc->dwFlags & (DDSD_CAPS | DDSD_BACKBUFFERCOUNT)) != (DDSD_CAPS | DDSD_BACKBUFFERCOUNT) ||
        (desc->ddsCaps.dwCaps & chain) != chain || desc->dwBackBufferCount != 1)
        return ERR_UNSUPPORTED;
    if (!texture)
        return ERR_NOEXCLUSIVEMODE;
    if (surfacesMade)
        return ERR_PRIMARYEXISTS;
    backPitch = modeWidth * 4;
    backMemory.assign((size_t)backPitch * modeHeight, 0);
    surfacesMade = true;
    *surface = &primary;
    return DD_OK;
}

HRESULT SdlSurface::GetAttachedSurface(DDSCAPS2 *caps, IDirectDrawSurface7 **surface)
{
    if (!caps || !surface)
        return ERR_INVALIDPARAMS;
    const DWORD backCaps = DDSCAPS_BACKBUFFER | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    if (this != &primary || !(caps->dwCaps & DDSCAPS_BACKBUFFER) || (caps->dwCaps & ~backCaps))
        return ERR_NOTFOUND;
    *surface = &back;
    return DD_OK;
}

HRESULT SdlSurface::Lock(RECT *rect, DDSURFACEDESC2 *desc, DWORD, HANDLE)
{
    // Only the back buffer is memory of ours; the front one is the renderer's.
    if (this != &back)
        return ERR_UNSUPPORTED;
    if (rect || !desc || desc->dwSize != sizeof(DDSURFACEDESC2))
        return ERR_INVALIDPARAMS;
    if (backLocked || backContext.valid)
        return ERR_SURFACEBUSY;
    desc->lPitch = backPitch;
    desc->lpSurface = backMemory.data();
    backLocked = true;
    return DD_OK;
}

HRESULT SdlSurface::Unlock(RECT *)
{
    if (this != &back)
        return ERR_UNSUPPORTED;
    if (!backLocked)
        return ERR_NOTLOCKED;
    backLocked = false;
    return DD_OK;
}

HRESULT SdlSurface::GetDC(HDC *context)
{
    if (this != &back)
        return ERR_UNSUPPORTED;
    if (!context)
        return ERR_INVALIDPARAMS;
    if (backContext.valid)
        return ERR_DCALREADYCREATED;
    if (backLocked)
        return ERR_SURFACEBUSY;
    // Every context starts fresh: opaque background, black text.
    backContext = HDC__{reinterpret_cast<uint32_t *>(backMemory.data()), backPitch / 4,
                        modeHeight, OPAQUE_VALUE, RGB(0, 0, 0), true};
    *context = &backContext;
    return DD_OK;
}

HRESULT SdlSurface::ReleaseDC(HDC context)
{
    if (this != &back)
        return ERR_UNSUPPORTED;
    if (context != &backContext || !backContext.valid)
        return ERR_NODC;
    backContext.valid = false;
    return DD_OK;
}

HRESULT SdlSurface::Flip(IDirectDrawSurface7 *targetOverride, DWORD)
{
    if (this != &primary)
        return ERR_UNSUPPORTED;
    if (targetOverride)
        return ERR_INVALIDPARAMS;
    if (backLocked || backContext.valid)
        return ERR_SURFACEBUSY;
    if (!renderer)
        return DDERR_SURFACELOST;  // the window, and with it the screen, is gone
    // Uploaded whole: a locked streaming texture is write-only, and the back buffer keeps its picture.
    if (SDL_UpdateTexture(texture, NULL, backMemory.data(), backPitch) != 0)
        return ERR_GENERIC;
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    SDL_RenderCopy(renderer, texture, NULL, NULL);
    SDL_RenderPresent(renderer);
    return DD_OK;
}

HRESULT SdlSurface::Restore()
{
    // System memory is never lost; only the screen can go, with its window.
    return renderer ? DD_OK : ERR_WRONGMODE;
}
