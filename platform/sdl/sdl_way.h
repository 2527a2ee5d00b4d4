// One way of showing frames for the SDL host: the host tries its ways in order, cheapest first,
// and keeps the first whose set-up works.
#pragma once

#include <SDL.h>

#include <string>

#include "platform/platform.h"

struct WAY_Way {
    const char *name;  // TRACKER_PRESENT's word for it; NULL for a step that the choice skips
    const char *what;  // how the line on standard error names it
    // Makes what shows width x height frames in the full-screen window; false, with the reason
    // in *why and whatever it made left for drop, when this display cannot give it.
    bool (*setUp)(SDL_Window *window, int width, int height, std::string *why);
    // Shows a finished frame (words 0x??RRGGBB), paced to the display; as HOST_Present.
    HRESULT (*present)(const uint8_t *pixels, LONG pitch);
    // Uncovered while no frames come: the frame last presented, again; NULL where the display keeps it.
    void (*showAgain)(const uint8_t *pixels, LONG pitch);
    // Where the back buffer can live in the display's own memory, as HOST_ScreenMemory; NULL: nowhere.
    uint8_t *(*memory)(LONG *pitch);
    // The window's size changed: true when a back buffer in the display's memory has to move.
    bool (*resized)();
    // Everything the set-up made goes; safe after a set-up that failed half-way.
    void (*drop)();
};

// For a way the display does not pace: waits, asleep, until the display's next refresh is due by
// the clock (60 a second where the display tells no rate), *due the counter's time of it, set at
// the way's set-up; a late frame starts a new rhythm.
void WAY_Pace(SDL_Window *window, Uint64 *due);

// SDL's renderer where a GPU draws it (sdl_renderer.cpp); the chain's choice never names it.
extern const WAY_Way WAY_RendererOnGpu;
// The window's own memory, on X11 (sdl_surface.cpp).
extern const WAY_Way WAY_WindowMemory;
// SDL's Wayland surface with shared-memory buffers of the program's own: on Wayland without a GPU.
extern const WAY_Way WAY_WaylandMemory;
// SDL's renderer whatever draws it, the processor included (sdl_renderer.cpp).
extern const WAY_Way WAY_AnyRenderer;

// The ways the host tries, cheapest first: SDL's renderer where a GPU draws, the window's own
// memory, Wayland shared memory, SDL's renderer whatever draws it. Plain data, so that a test can
// put a way that fails in front.
enum { WAY_CHAIN_LENGTH = 4 };
extern const WAY_Way *WAY_Chain[WAY_CHAIN_LENGTH];
