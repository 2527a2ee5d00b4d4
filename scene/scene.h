// The scene layer: raster primitives and the tracker-screen effect drawn with them.
// Pure and portable: a pixel pointer, the build-time constants and the clock in, pixels out.
#pragma once

#include <cstdint>

#include "scene/display_config.h"

// Raster primitives. None clips: a position (x, y) is the linear index y * width + x,
// so column -1 is the last pixel of the row above and column `width` the first of the row below.

// Writes `colour` into `count` consecutive pixels from `pixels`.
void GFX_FillSpan(uint32_t *pixels, uint32_t colour, int32_t count);
// Fills `h` rows of `w` pixels from (x, y).
void GFX_FillRect(uint32_t *buffer, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour);
// A two-tone frame with a black ring; light on top and left when `raised` is non-zero.
void GFX_Bevel(uint32_t *buffer, int32_t x, int32_t y, int32_t w, int32_t h, int32_t raised);
// A grey raised button with `label` centred in black.
void GFX_Button(uint32_t *buffer, int32_t x, int32_t y, int32_t w, int32_t h, const char *label);

// The effect. The frame loop calls Init once, Render every active frame, Shutdown at the end.

// Allocates the pattern lines; 1 on success, 0 on failure. The buffer is not used.
int FFX_Init(uint32_t *frameBuffer);
// Allocates the 64 pattern lines, each starting empty; 0 as soon as one allocation fails.
int FFX_AllocPattern();
// Draws one complete frame for the frame clock `seconds`.
void FFX_Render(uint32_t *frameBuffer, float seconds);
// Nothing to do: the pattern lines live until the process ends.
void FFX_Shutdown();

// The eight channel views for `seconds`.
void FFX_DrawScopes(uint32_t *frameBuffer, float seconds);
// Regenerates all pattern lines when the row step of `seconds` is a multiple of 64.
void FFX_GeneratePattern(float seconds);
// Clears the pattern area and draws the 18 visible rows for `seconds`.
void FFX_DrawPattern(uint32_t *frameBuffer, float seconds);

// The scene's own pseudo-random generator: a 15-bit draw, the same sequence on every run.
int32_t FFX_Random();
// Pattern line `index` (0 ... 63), for the pattern view and for inspection.
const char *FFX_PatternLine(int32_t index);
