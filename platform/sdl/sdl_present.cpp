// SDL host: the full-screen window (or a window, sdl_window.cpp), its mode, and the chain of ways
// of showing frames.
// Cheapest first: SDL's renderer where a GPU draws it, else the window's own memory (X11), else
// shared memory of our own (Wayland), else SDL's renderer on the processor. TRACKER_PRESENT=renderer,
// surface or wayland takes one way and no other.
#include <string>

#include "platform/emulation/emulation.h"
#include "platform/emulation/host.h"
#include "platform/sdl/sdl_host.h"
#include "platform/sdl/sdl_way.h"

static int modeWidth, modeHeight;  // the display mode
static const WAY_Way *way;         // what shows the frames, made with the flip chain
static bool presented;             // the way showed the frame last flipped

void PRESENT_Drop()
{
    if (way)
        way->drop();
    way = NULL;
    presented = false;
}

// As it was: black bars, then the picture.
void PRESENT_ShowAgain()
{
    LONG pitch;
    // Paused, the program leaves the back buffer as it was flipped.
    const uint8_t *pixels = EMU_BackBuffer(&pitch);
    if (way && way->showAgain && presented && pixels)
        way->showAgain(pixels, pitch);
}

bool PRESENT_Resized()
{
    return way && way->resized && way->resized();
}

bool HOST_FullScreen(void *native)
{
    // Asked for a window: it becomes one once the mode gives its size (HOST_SetMode).
    if (!WINDOW_Asked() &&
        SDL_SetWindowFullscreen(static_cast<SDL_Window *>(native), SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) {
        SDLHOST_Reason("SDL_SetWindowFullscreen");
        return false;
    }
    SDLHOST_Shared.displayWindow = static_cast<SDL_Window *>(native);
    return true;
}

void HOST_LeaveFullScreen(void *native)
{
    PRESENT_Drop();
    SDL_SetWindowFullscreen(static_cast<SDL_Window *>(native), 0);
    SDLHOST_Shared.displayWindow = NULL;
    SDLHOST_Shared.windowed = false;
    modeWidth = modeHeight = 0;
}

HRESULT HOST_SetMode(void *native, int width, int height)
{
    // The full screen is the desktop of the window's display, scaled by whole numbers.
    SDL_DisplayMode desktop;
    if (SDL_GetDesktopDisplayMode(SDL_GetWindowDisplayIndex(static_cast<SDL_Window *>(native)), &desktop) != 0) {
        SDLHOST_Reason("SDL_GetDesktopDisplayMode");
        return DDERR_GENERIC;
    }
    // A screen smaller than the mode could show it only cut or shrunk.
    if (desktop.w < width || desktop.h < height) {
        SDLHOST_Reason("no such mode", "the screen is %d x %d, smaller than %d x %d", desktop.w, desktop.h, width, height);
        return DDERR_INVALIDMODE;
    }
    if (!WINDOW_Open(static_cast<SDL_Window *>(native), width, height))
        return DDERR_GENERIC;
    modeWidth = width;
    modeHeight = height;
    return DD_OK;
}

void WAY_Pace(SDL_Window *window, Uint64 *due)
{
    SDL_DisplayMode mode;
    const int hz = SDL_GetWindowDisplayMode(window, &mode) == 0 && mode.refresh_rate > 0 ? mode.refresh_rate : 60;
    const Uint64 frequency = SDL_GetPerformanceFrequency(), period = frequency / hz;
    const Uint64 now = SDL_GetPerformanceCounter();
    if (*due > now)
        SDL_Delay((Uint32)((*due - now) * 1000 / frequency));
    *due = (*due + period > now ? *due : now) + period;
}

const WAY_Way *WAY_Chain[WAY_CHAIN_LENGTH] = {&WAY_RendererOnGpu, &WAY_WindowMemory, &WAY_WaylandMemory,
                                              &WAY_AnyRenderer};

// What shows the frames is made with the flip chain, so that its failure is the chain's: the first
// way this display gives, or the one TRACKER_PRESENT names, with why others were passed over.
static bool MakeScreen()
{
    const char *choice = SDL_getenv("TRACKER_PRESENT");
    if (choice && !*choice)
        choice = NULL;  // set but empty: the choice is the host's
    std::string passed, names;
    for (const WAY_Way *each : WAY_Chain) {
        if (each->name)
            names += (names.empty() ? "" : ", ") + std::string(each->name);
        if (choice && (!each->name || SDL_strcmp(choice, each->name) != 0))
            continue;
        std::string why;
        if (each->setUp(SDLHOST_Shared.displayWindow, modeWidth, modeHeight, &why)) {
            way = each;
            presented = false;
            if (!passed.empty())
                SDLHOST_Reason("present", "%s, having passed over %s", each->what, passed.c_str());
            return true;
        }
        each->drop();
        passed += (passed.empty() ? "" : "; ") + std::string(each->what) + " (" + why + ")";
    }
    if (!choice)
        SDLHOST_Reason("present", "no way of showing frames works here: %s", passed.c_str());
    else if (passed.empty())
        SDLHOST_Reason("present", "TRACKER_PRESENT=%s is none of %s", choice, names.c_str());
    else
        SDLHOST_Reason("present", "TRACKER_PRESENT=%s: %s", choice, passed.c_str());
    return false;
}

uint8_t *HOST_ScreenMemory(LONG *pitch)
{
    *pitch = 0;
    return way && way->memory ? way->memory(pitch) : NULL;
}

LONG HOST_Pitch(int width)
{
    PRESENT_Drop();
    if (!SDLHOST_Shared.displayWindow || width != modeWidth || !MakeScreen())
        return 0;
    return width * 4;
}

HRESULT HOST_Present(const uint8_t *pixels, LONG pitch)
{
    if (!SDLHOST_Shared.displayWindow || !way)
        return DDERR_SURFACELOST;  // the window, and with it the screen, is gone
    const HRESULT result = way->present(pixels, pitch);
    presented = result == DD_OK;
    return result;
}
