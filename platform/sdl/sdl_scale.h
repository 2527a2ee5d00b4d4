// The frame at the largest whole-number scale, centred on black, in memory the display reads:
// one rule for the full screen and the window alike.
#pragma once

#include <SDL.h>

#include <cstdint>

// Where a width x height frame goes in a screen of screenWidth x screenHeight pixels, and at what
// scale: the largest whole one that fits, centred. A screen smaller than the frame (a window the
// window manager left too small) gets it at 1, centred, overhanging evenly and cut, never shrunk.
// False only for an empty screen or frame.
bool SCALE_Fit(int screenWidth, int screenHeight, int width, int height, SDL_Rect *shown, int *scale);

// The part of `shown` inside a screen of screenWidth x screenHeight: what is drawn there.
SDL_Rect SCALE_Visible(int screenWidth, int screenHeight, const SDL_Rect &shown);

// Blackens the four bars of a screen around `shown` (rows `pitch` bytes apart, 32-bit pixels).
void SCALE_Bars(uint8_t *screen, long pitch, int screenWidth, int screenHeight, const SDL_Rect &shown);

// Writes the frame (words 0x??RRGGBB, rows `pitch` bytes apart) into `shown` of a screen of
// screenWidth x screenHeight 32-bit 0x??RRGGBB pixels, each pixel repeated `scale` times both
// ways, cut at the screen's edges. Nothing of the program reads the screen again, so the common
// scales store past the cache.
void SCALE_Frame(const uint8_t *pixels, long pitch, int width, int height, int scale, uint8_t *screen,
                 long screenPitch, int screenWidth, int screenHeight, const SDL_Rect &shown);

// A window's first size: the largest whole multiple of width x height within three quarters of a
// usable area of usableWidth x usableHeight, and never less than the frame itself.
SDL_Point SCALE_WindowSize(int usableWidth, int usableHeight, int width, int height);
