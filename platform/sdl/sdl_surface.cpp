// SDL host: frames shown in the window's own memory (an X11 shared-memory image on X).
// Written in at the largest whole-number scale and paced by the clock: no OpenGL on the processor.
#include <utility>

#include "platform/emulation/emulation.h"
#include "platform/sdl/sdl_host.h"
#include "platform/sdl/sdl_scale.h"
#include "platform/sdl/sdl_way.h"

static SDL_Window *surfaceWindow;       // the window whose memory is written
static int surfaceWidth, surfaceHeight; // the mode
static Uint64 nextFrame;                // when the next frame is due, in counter ticks
static struct Barred {                  // the window surface whose bars are black already
    SDL_Surface *surface;
    void *pixels;
    int w, h;
} barred;
static uint8_t *direct;                 // the back buffer inside the window's surface, when it is there

// Whether the window's surface holds 0x??RRGGBB words, as the frame does.
static bool FrameLayout(const SDL_Surface *screen)
{
    return screen->format->BytesPerPixel == 4 && screen->format->Rmask == 0xFF0000 &&
           screen->format->Gmask == 0xFF00 && screen->format->Bmask == 0xFF;
}

// The window's surface, with where the picture goes at the largest whole-number scale, centred;
// NULL when there is none or it has no memory. A window smaller than the mode shows it cut.
static SDL_Surface *WindowSurface(SDL_Rect *shown, int *scale)
{
    SDL_Surface *screen = SDL_GetWindowSurface(surfaceWindow);
    if (!screen || !screen->pixels || !SCALE_Fit(screen->w, screen->h, surfaceWidth, surfaceHeight, shown, scale))
        return NULL;
    // The bars stay as they are drawn until SDL makes the surface anew (a new size).
    if (screen != barred.surface || screen->pixels != barred.pixels || screen->w != barred.w || screen->h != barred.h) {
        const SDL_Rect inside = SCALE_Visible(screen->w, screen->h, *shown);
        const int right = inside.x + inside.w, bottom = inside.y + inside.h;
        const SDL_Rect bars[4] = {{0, 0, screen->w, inside.y},
                                  {0, bottom, screen->w, screen->h - bottom},
                                  {0, inside.y, inside.x, inside.h},
                                  {right, inside.y, screen->w - right, inside.h}};
        SDL_FillRects(screen, bars, 4, SDL_MapRGB(screen->format, 0, 0, 0));
        barred = Barred{screen, screen->pixels, screen->w, screen->h};
    }
    return screen;
}

// Where pixel (x, y) of the window's surface lies in its memory.
static uint8_t *PixelAt(const SDL_Surface *screen, int x, int y)
{
    return static_cast<uint8_t *>(screen->pixels) + (size_t)y * screen->pitch + (size_t)x * 4;
}

static bool SurfaceSetUp(SDL_Window *window, int width, int height, std::string *why)
{
    surfaceWindow = window;
    surfaceWidth = width;
    surfaceHeight = height;
    SDL_Surface *screen = SDL_GetWindowSurface(window);
    if (!screen) {
        *why = SDLHOST_Failed("SDL_GetWindowSurface");
        return false;
    }
    // Where the video driver has no window memory, some SDL versions still hand out a surface.
    if (!screen->pixels) {
        *why = "SDL_GetWindowSurface: a surface without memory";
        return false;
    }
    if (SDL_FillRect(screen, NULL, SDL_MapRGB(screen->format, 0, 0, 0)) != 0) {
        *why = SDLHOST_Failed("SDL_FillRect");
        return false;
    }
    if (SDL_UpdateWindowSurface(window) != 0) {
        *why = SDLHOST_Failed("SDL_UpdateWindowSurface");
        return false;
    }
    nextFrame = SDL_GetPerformanceCounter();
    return true;
}

static uint8_t *SurfaceMemory(LONG *pitch)
{
    // At scale 1 the window's surface can hold the back buffer itself: a flip then copies nothing.
    SDL_Rect shown;
    int scale;
    SDL_Surface *screen = WindowSurface(&shown, &scale);
    // Not where the frame is cut: the back buffer would reach past the window's rows.
    const bool whole = screen && shown.x >= 0 && shown.y >= 0 && shown.w <= screen->w && shown.h <= screen->h;
    direct = whole && scale == 1 && FrameLayout(screen) ? PixelAt(screen, shown.x, shown.y) : NULL;
    *pitch = direct ? screen->pitch : 0;
    return direct;
}

// The frame into the window's surface at the largest whole-number scale, centred on black.
static HRESULT Blit(const uint8_t *pixels, LONG pitch)
{
    SDL_Rect shown;
    int scale;
    SDL_Surface *screen = WindowSurface(&shown, &scale);
    if (pixels == direct) {
        // SDL makes the surface anew when the window's size changes, and the back buffer with it.
        if (!screen || scale != 1 || shown.x < 0 || shown.y < 0 || direct != PixelAt(screen, shown.x, shown.y)) {
            direct = NULL;
            EMU_LoseSurfaces();
            return DDERR_SURFACELOST;
        }
    } else if (!screen) {
        return DDERR_SURFACELOST;  // the window has no memory any more
    } else if (FrameLayout(screen)) {
        SCALE_Frame(pixels, pitch, surfaceWidth, surfaceHeight, scale, static_cast<uint8_t *>(screen->pixels),
                    screen->pitch, screen->w, screen->h, shown);
    } else {
        // Any other layout: SDL converts and scales, more slowly.
        SDL_Surface *frame = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint8_t *>(pixels), surfaceWidth,
                                                                surfaceHeight, 32, pitch, SDL_PIXELFORMAT_RGB888);
        const bool blitted = frame && SDL_BlitScaled(frame, NULL, screen, &shown) == 0;
        SDL_FreeSurface(frame);
        if (!blitted)
            return DDERR_GENERIC;
    }
    return SDL_UpdateWindowSurface(surfaceWindow) == 0 ? DD_OK : DDERR_GENERIC;
}

static HRESULT SurfacePresent(const uint8_t *pixels, LONG pitch)
{
    const HRESULT result = Blit(pixels, pitch);
    WAY_Pace(surfaceWindow, &nextFrame);
    return result;
}

static void SurfaceShowAgain(const uint8_t *pixels, LONG pitch)
{
    barred = Barred{};  // the bars too: whatever covered the window may have drawn there
    Blit(pixels, pitch);
}

static bool SurfaceResized()
{
    // SDL makes the window's surface anew, whose memory may hold anything: bars drawn afresh,
    // and a back buffer inside it has to move.
    barred = Barred{};
    return std::exchange(direct, nullptr) != NULL;
}

static void SurfaceDrop()
{
    barred = Barred{};
    direct = NULL;
    surfaceWindow = NULL;
}

const WAY_Way WAY_WindowMemory = {"surface", "the window's own memory", SurfaceSetUp, SurfacePresent,
                                   SurfaceShowAgain, SurfaceMemory, SurfaceResized, SurfaceDrop};
