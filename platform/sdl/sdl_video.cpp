// SDL host: video start-up, and the reasons on standard error when a step fails.
#include <fcntl.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <utility>

#include "platform/emulation/host.h"
#include "platform/sdl/sdl_host.h"
#include "platform/sdl/sdl_wayland.h"

static bool videoFailureTold;  // the reason video could not start is on standard error

void SDLHOST_Reason(const char *what, const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    fprintf(stderr, "SDL: %s: ", what);
    if (format)
        vfprintf(stderr, format, arguments);
    else
        fputs(SDL_GetError(), stderr);
    va_end(arguments);
    fputc('\n', stderr);
    fflush(stderr);
}

std::string SDLHOST_Failed(const char *call)
{
    return std::string(call) + ": " + SDL_GetError();
}

// Whether SDL's video would start on Wayland: it is asked for, or there is no X11 display to take
// first.
static bool WaylandChosen()
{
    const char *asked = SDL_GetHint(SDL_HINT_VIDEODRIVER);
    if (asked && *asked)
        return SDL_strstr(asked, "wayland") != NULL;
    const char *x11 = SDL_getenv("DISPLAY");
    return !x11 || !*x11;
}

std::string SDLHOST_Version()
{
    SDL_version linked;
    SDL_GetVersion(&linked);
    return std::to_string(linked.major) + "." + std::to_string(linked.minor) + "." + std::to_string(linked.patch);
}

// SDL tries one video driver after another, and some print their own complaints on the way
// (Wayland's about XDG_RUNTIME_DIR without a session); the reason that counts is SDL's own.
// SDL 2.26 crashes inside its start-up on a Wayland compositor without a seat (weston's headless
// one), so that one is not started on: *seatless says so.
static int QuietVideoInit(bool *seatless)
{
    fflush(stderr);
    const int saved = dup(STDERR_FILENO), null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    const bool quiet = saved >= 0 && null >= 0 && dup2(null, STDERR_FILENO) >= 0;
    *seatless = WaylandChosen() && WAYLAND_Seatless();
    const int result = *seatless ? -1 : SDL_InitSubSystem(SDL_INIT_VIDEO);
    fflush(stderr);
    if (quiet)
        dup2(saved, STDERR_FILENO);
    for (int descriptor : {null, saved})
        if (descriptor >= 0)
            close(descriptor);
    return result;
}

// With the screen saver off; the reason is told once however often it is asked.
bool SDLHOST_InitVideo()
{
    if (SDLHOST_Shared.videoUp)
        return true;
    // Closing the window must arrive as WM_CLOSE only, not also as SDL_QUIT.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    // A window's surface is its own memory, never a texture that SDL would draw with a renderer
    // of its choosing (one of the renderers that SDL 2.32 can crash making on Wayland).
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    bool seatless;
    if (QuietVideoInit(&seatless) != 0) {
        if (std::exchange(videoFailureTold, true))
            return false;
        if (seatless)
            SDLHOST_Reason("no video", "the Wayland compositor has no seat (no keyboard, pointer or touch), "
                               "which SDL %s cannot start on", SDLHOST_Version().c_str());
        else
            SDLHOST_Reason("no video");
        return false;
    }
    // With no display SDL falls back to drawing nowhere; that is a failure unless asked for.
    const char *driver = SDL_GetCurrentVideoDriver();
    const char *asked = SDL_getenv("SDL_VIDEODRIVER");
    if (driver && (SDL_strcmp(driver, "offscreen") == 0 || SDL_strcmp(driver, "dummy") == 0) &&
        (!asked || SDL_strcasecmp(asked, driver) != 0)) {
        if (!std::exchange(videoFailureTold, true))
            SDLHOST_Reason("no video", "no display found, only SDL's %s driver, which draws nowhere (is DISPLAY or WAYLAND_DISPLAY set?)",
                   driver);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    SDL_DisableScreenSaver();
    SDLHOST_Shared.videoUp = true;
    return true;
}

bool HOST_ScreenSize(int *width, int *height)
{
    SDL_DisplayMode desktop;
    if (!SDLHOST_InitVideo() || SDL_GetDesktopDisplayMode(0, &desktop) != 0)
        return false;
    *width = desktop.w;
    *height = desktop.h;
    return true;
}
