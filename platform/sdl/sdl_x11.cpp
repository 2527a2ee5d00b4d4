// SDL host: X windows that another client destroys (xdotool windowclose) reach the program as
// DestroyWindow would, instead of Xlib's errors ending the process.
#include <vector>

#include "platform/emulation/emulation.h"
#include "platform/sdl/sdl_host.h"

// Xlib's default answer to the errors that follow a destroyed window is to end the process.
struct XWindow {
    Window id;         // an X window made for an SDL window of ours
    SDL_Window *sdl;   // that SDL window; NULL once SDL_DestroyWindow has run
    bool gone;         // destroyed under us while it was the SDL window's own
};
static std::vector<XWindow> xWindows;                       // every X window seen, newest last
static Display *xDisplay;                                   // SDL's connection, when on X11
static int (*xPreviousHandler)(Display *, XErrorEvent *);  // whoever handled errors before

// SDL's X11 side of the window; false where it has none.
static bool X11Info(SDL_Window *window, SDL_SysWMinfo *info)
{
    SDL_VERSION(&info->version);
    return window && SDL_GetWindowWMInfo(window, info) && info->subsystem == SDL_SYSWM_X11;
}

// The X window SDL draws the SDL window into now (SDL makes a new one for some renderers).
static Window CurrentXId(SDL_Window *window)
{
    SDL_SysWMinfo info;
    return X11Info(window, &info) ? info.info.x11.window : 0;
}

// The entry for X window `id`, or NULL; an SDL window's current X window is added on sight.
static XWindow *FindXWindow(Window id)
{
    for (XWindow &each : xWindows)
        if (each.id == id)
            return &each;
    for (SDL_Window *each : SDLHOST_Shared.all)
        if (CurrentXId(each) == id) {
            xWindows.push_back(XWindow{id, each, false});
            return &xWindows.back();
        }
    return NULL;
}

// The X window is destroyed; if it was still its SDL window's own, that window is gone.
static void XWindowDestroyed(Window id)
{
    XWindow *known = FindXWindow(id);
    if (known && known->sdl && CurrentXId(known->sdl) == id)
        known->gone = true;
}

// A window that no longer exists: one of ours means another client destroyed it (or SDL replaced
// it), and the next poll tells the core; any other is one SDL still asked about after the loss of
// ours. Every other error goes where it went before.
static int XError(Display *display, XErrorEvent *error)
{
    if (error->error_code != BadWindow && error->error_code != BadDrawable)
        return xPreviousHandler ? xPreviousHandler(display, error) : 0;
    XWindowDestroyed(error->resourceid);
    return 0;
}

void XWATCH_Watch(SDL_Window *window)
{
    SDL_SysWMinfo info;
    if (!X11Info(window, &info))
        return;
    if (!xDisplay) {
        xDisplay = info.info.x11.display;
        xPreviousHandler = XSetErrorHandler(XError);
        SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
    }
    FindXWindow(info.info.x11.window);
}

void XWATCH_ReportGone()
{
    for (size_t i = 0; i < xWindows.size(); ++i)
        if (xWindows[i].gone && xWindows[i].sdl)
            if (HWND window = EMU_WindowOf(xWindows[i].sdl))
                EMU_WindowDestroyed(window);
}

void XWATCH_Event(const SDL_SysWMmsg *message)
{
    if (message->subsystem == SDL_SYSWM_X11 && message->msg.x11.event.type == DestroyNotify)
        XWindowDestroyed(message->msg.x11.event.xdestroywindow.window);
}

bool XWATCH_Forget(SDL_Window *window)
{
    // A window destroyed under us still has SDL's side to free, which brings errors of its own.
    bool gone = false;
    for (XWindow &each : xWindows)
        if (each.sdl == window) {
            gone = gone || each.gone;
            each.sdl = NULL;
        }
    if (gone) {
        // SDL hides a window before destroying it and waits for the server to confirm the unmap,
        // which for a window that no longer exists never comes; the confirmation is queued here.
        XEvent unmapped = {};
        unmapped.xunmap.type = UnmapNotify;
        unmapped.xunmap.display = xDisplay;
        unmapped.xunmap.event = unmapped.xunmap.window = CurrentXId(window);
        XPutBackEvent(xDisplay, &unmapped);
    }
    return gone;
}

void XWATCH_Settle()
{
    XSync(xDisplay, False);
}
