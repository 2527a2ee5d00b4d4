// What the SDL host's parts share: its state, in one place, and the calls from one part to another.
// The parts: sdl_video.cpp (video start-up and reasons), sdl_windows.cpp (windows, their events,
// cursor and box), sdl_window.cpp (a window on the desktop beside the full screen), sdl_x11.cpp
// (X windows destroyed under us), sdl_present.cpp (the chain of ways
// of showing frames), whose ways are sdl_renderer.cpp, sdl_surface.cpp and sdl_wayland.cpp.
#pragma once

#include <SDL.h>
#include <SDL_syswm.h>

#include <string>
#include <vector>

#include "platform/sdl/sdl_options.h"

// The state more than one part reads; each field names the part that changes it.
struct SDLHOST_State {
    bool videoUp;                   // SDL video initialised, screen saver off (video)
    std::vector<SDL_Window *> all;  // every window made and not yet destroyed (windows)
    SDL_Window *displayWindow;      // the full-screen window frames are shown in (present)
    bool windowed;                  // the display window is a window on the desktop now (window)
};
extern SDLHOST_State SDLHOST_Shared;

// --- Video start-up and reasons (sdl_video.cpp) ---
// Brings SDL's video up once; false when no display can be opened, with the reason told once.
bool SDLHOST_InitVideo();
// The SDL the program runs with, which may be newer than the one it was built with.
std::string SDLHOST_Version();
// Why a step failed, on one line of standard error beside the program's own box: SDL's own
// reason unless another is given.
[[gnu::format(printf, 2, 3)]] void SDLHOST_Reason(const char *what, const char *format = NULL, ...);
// SDL's reason for a call that failed, after the call's name.
std::string SDLHOST_Failed(const char *call);

// --- X windows destroyed under us (sdl_x11.cpp) ---
// On X11: watches a new window's X errors and its DestroyNotify.
void XWATCH_Watch(SDL_Window *window);
// A window-manager event SDL passes on: an X window's DestroyNotify is noted.
void XWATCH_Event(const SDL_SysWMmsg *message);
// Windows destroyed under us go the way DestroyWindow takes them: WM_DESTROY, then away.
void XWATCH_ReportGone();
// Before SDL destroys `window`: true when its X window was already destroyed under us, in which
// case SDL's wait for the unmap is answered in advance and XWATCH_Settle must follow the destroy.
bool XWATCH_Forget(SDL_Window *window);
// After SDL destroyed a window that was gone: its errors are taken while our handler is there.
void XWATCH_Settle();

// --- The display window as a window on the desktop (sdl_window.cpp) ---
// Whether the display window starts as a window.
bool WINDOW_Asked();
// Once the mode is width x height: the display window becomes a window if asked for, else (or if
// the display cannot give one, with the reason told) the full screen; false when neither works.
bool WINDOW_Open(SDL_Window *window, int width, int height);
// Alt+Enter: from the full screen to a window or back, the frames following the new size.
void WINDOW_Toggle();

// --- Showing frames (sdl_present.cpp) ---
// Whatever shows the frames goes.
void PRESENT_Drop();
// The display window was uncovered while no frames come: the frame last flipped, again.
void PRESENT_ShowAgain();
// The display window's size changed: true when the back buffer has to move (surfaces lost).
bool PRESENT_Resized();
