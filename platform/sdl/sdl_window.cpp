// SDL host: the display window as a window on the desktop (--window, Alt+Enter) beside the full
// screen. The program never knows: it keeps its full-screen mode, and the ways of showing frames
// follow the window's size with the same whole-scale rule.
#include "platform/sdl/sdl_host.h"
#include "platform/sdl/sdl_scale.h"

static bool asked;                   // --window: the display window starts as a window
static int frameWidth, frameHeight;  // the mode, once set
static SDL_Point windowSize;         // the window's size when it last left for the full screen

void SDLHOST_StartInWindow(bool window)
{
    asked = window;
}

bool WINDOW_Asked()
{
    return asked;
}

// The display window as a window: framed, resizable down to the frame's size, at its
// last size or else the largest whole multiple that fits three quarters of the usable area.
static bool MakeWindow(SDL_Window *window, std::string *why)
{
    if (SDL_SetWindowFullscreen(window, 0) != 0) {
        *why = SDLHOST_Failed("SDL_SetWindowFullscreen");
        return false;
    }
    SDL_Point size = windowSize;
    if (size.x <= 0) {
        SDL_Rect usable;
        if (SDL_GetDisplayUsableBounds(SDL_max(SDL_GetWindowDisplayIndex(window), 0), &usable) != 0) {
            *why = SDLHOST_Failed("SDL_GetDisplayUsableBounds");
            return false;
        }
        size = SCALE_WindowSize(usable.w, usable.h, frameWidth, frameHeight);
    }
    SDL_SetWindowBordered(window, SDL_TRUE);
    SDL_SetWindowResizable(window, SDL_TRUE);
    SDL_SetWindowMinimumSize(window, frameWidth, frameHeight);
    SDL_SetWindowSize(window, size.x, size.y);
    SDL_SetWindowPosition(window, SDL_WINDOWPOS_CENTERED_DISPLAY(SDL_GetWindowDisplayIndex(window)),
                          SDL_WINDOWPOS_CENTERED_DISPLAY(SDL_GetWindowDisplayIndex(window)));
    SDLHOST_Shared.windowed = true;
    return true;
}

// Back to the full screen; false, with SDL's reason told, when that is refused too.
static bool FullScreen(SDL_Window *window)
{
    if (SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) {
        SDLHOST_Reason("SDL_SetWindowFullscreen");
        return false;
    }
    SDLHOST_Shared.windowed = false;
    return true;
}

bool WINDOW_Open(SDL_Window *window, int width, int height)
{
    frameWidth = width;
    frameHeight = height;
    if (!asked)
        return true;  // full screen already, from SetCooperativeLevel
    std::string why;
    if (MakeWindow(window, &why))
        return true;
    SDLHOST_Reason("no window", "%s; full screen instead", why.c_str());
    return FullScreen(window);
}

void WINDOW_Toggle()
{
    SDL_Window *window = SDLHOST_Shared.displayWindow;
    if (!window || frameWidth <= 0)
        return;  // no mode yet: nothing shown to move
    if (!SDLHOST_Shared.windowed) {
        std::string why;
        if (!MakeWindow(window, &why)) {
            SDLHOST_Reason("no window", "%s; full screen kept", why.c_str());
            FullScreen(window);
        }
        return;
    }
    int w, h;
    SDL_GetWindowSize(window, &w, &h);
    if (FullScreen(window))
        windowSize = SDL_Point{w, h};
}
