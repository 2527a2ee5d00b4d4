// The frame at the largest whole-number scale, centred on black, in memory the display reads.
#pragma once

#include <SDL.h>

#include <cstdint>

// Where a width x height frame goes in a screen of screenWidth x screenHeight pixels, and at what
// scale; false when the screen is smaller than the frame.
bool SCALE_Fit(int screenWidth, int screenHeight, int width, int height, SDL_Rect *shown, int *scale);

// Blackens the four bars of a screen around `shown` (rows `pitch` bytes apart, 32-bit pixels).
void SCALE_Bars(uint8_t *screen, long pitch, int screenWidth, int screenHeight, const SDL_Rect &shown);

// Writes the frame (words 0x??RRGGBB, rows `pitch` bytes apart) into `shown` of a screen of
// 32-bit 0x??RRGGBB pixels, each pixel repeated `scale` times both ways. Nothing of the program
// reads the screen again, so the common scales store past the cache.
void SCALE_Frame(const uint8_t *pixels, long pitch, int width, int height, int scale,
                 uint8_t *screen, long screenPitch, const SDL_Rect &shown);
