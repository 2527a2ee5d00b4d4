// Frames on Wayland without a GPU: SDL2 gives a Wayland window no memory of its own, and its
// renderer would draw with OpenGL on the processor, so the frame goes into shared-memory buffers
// of our own, in device pixels, on a surface of our own over SDL's (sdl_wayland_frames.cpp).
#include <SDL.h>
#include <SDL_syswm.h>
#include <wayland-client.h>

#include <cstring>

#include "platform/sdl/sdl_way.h"
#include "platform/sdl/sdl_wayland.h"
#include "platform/sdl/sdl_wayland_frames.h"

static SDL_Window *window;  // the full-screen window shown into

static void Drop()
{
    FRAMES_Stop();
    window = NULL;
}

static bool SetUp(SDL_Window *shown, int width, int height, std::string *why)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(shown, &info)) {
        *why = std::string("SDL_GetWindowWMInfo: ") + SDL_GetError();
        return false;
    }
    if (info.subsystem != SDL_SYSWM_WAYLAND) {
        *why = std::string("the window is not on Wayland but on ") + SDL_GetCurrentVideoDriver();
        return false;
    }
    window = shown;
    int w, h;
    SDL_GetWindowSize(window, &w, &h);
    return FRAMES_Start(info.info.wl.display, info.info.wl.surface, width, height, w, h, why);
}

static HRESULT Present(const uint8_t *pixels, LONG pitch)
{
    // The window follows the output's size (in the compositor's units); the buffers follow the window.
    if (!window)
        return DDERR_SURFACELOST;
    int w, h;
    SDL_GetWindowSize(window, &w, &h);
    std::string why;
    return FRAMES_Show(pixels, pitch, w, h, &why) ? DD_OK : DDERR_SURFACELOST;
}

const WAY_Way WAY_WaylandMemory = {"wayland", "Wayland shared memory", SetUp, Present, NULL, NULL, NULL, Drop};

// --- The compositor before SDL starts ---

static void SeatSeen(void *seen, wl_registry *, uint32_t, const char *interface, uint32_t)
{
    if (strcmp(interface, wl_seat_interface.name) == 0)
        *static_cast<bool *>(seen) = true;
}
static void GlobalGone(void *, wl_registry *, uint32_t) {}
static const wl_registry_listener seatListener = {.global = SeatSeen, .global_remove = GlobalGone};

bool WAYLAND_Seatless()
{
    wl_display *compositor = wl_display_connect(NULL);
    if (!compositor)
        return false;  // none answers: SDL's own start-up says so
    bool seat = false;
    wl_registry *globals = wl_display_get_registry(compositor);
    wl_registry_add_listener(globals, &seatListener, &seat);
    const bool answered = wl_display_roundtrip(compositor) >= 0;
    wl_registry_destroy(globals);
    wl_display_disconnect(compositor);
    return answered && !seat;
}
