// Frames in shared memory on Wayland, in device pixels: a surface of our own, a sub-surface over
// the window's, whose buffers have the output's pixels (the compositor's preferred fractional
// scale through a viewport where it offers both, else the outputs' whole scale), the frame at the
// largest whole scale in them, centred on black, paced by the compositor's frame callbacks.
// Apart from SDL, so that a test can run it against a compositor of its own.
#pragma once

#include <SDL.h>
#include <wayland-client.h>

#include <cstdint>
#include <string>

// Sets up on `display` over `window`, the toplevel's surface (which gets a black buffer of its
// size, logicalWidth x logicalHeight, under ours), for frameWidth x frameHeight frames. False,
// with the reason, when the compositor lacks what it needs or refuses the buffers; FRAMES_Stop
// then drops what was made.
bool FRAMES_Start(wl_display *display, wl_surface *window, int frameWidth, int frameHeight,
                  int logicalWidth, int logicalHeight, std::string *why);
// Shows a frame (words 0x??RRGGBB, rows `pitch` bytes apart) in a window now logicalWidth x
// logicalHeight, once the compositor asks for one; a frame the compositor does not ask for
// within a tenth of a second (a hidden window) is not shown. False, with the reason, when the
// connection failed; a window smaller than the frame shows it at 1, centred and cut.
bool FRAMES_Show(const uint8_t *pixels, long pitch, int logicalWidth, int logicalHeight, std::string *why);
// Everything FRAMES_Start made goes; safe after one that failed half-way.
void FRAMES_Stop();

// Where the frames go now.
struct FRAMES_Placement {
    int logicalWidth, logicalHeight;  // the window's size in the compositor's units
    int bufferWidth, bufferHeight;    // each buffer's, in device pixels
    int bufferScale;                  // the surface's buffer scale; 1 with a viewport
    int preferred;                    // the fractional scale followed, in 120ths; 0: the outputs' whole scale
    int scale;                        // device pixels per frame pixel, both ways
    SDL_Rect shown;                   // the frame's place in each buffer
};
FRAMES_Placement FRAMES_Placed();
// How many frames were committed, and how many the compositor had not asked for in time.
struct FRAMES_Counts {
    long committed, unasked;
};
FRAMES_Counts FRAMES_Count();
