// The built-in 8 x 16 bitmap font and the only drawing routines that clip.
#pragma once

#include <cstdint>

// Whether the drawers (text here, fills in the scene) store 32 bytes at a time with AVX2 rather
// than 16 with the baseline's vectors: set at start-up to whether the processor has AVX2. The
// pictures are the same either way; the tests and the bench clear it to run the narrow path.
extern bool GFX_WideStores;

// 256 glyphs of 16 rows, top row first; bit 7 of a row is its leftmost pixel.
extern const uint8_t Font[256 * 16];

// Draws the glyph of `character` (taken unsigned) with its cell's top-left at (x, y);
// a set bit paints `colour`, pixels outside 0 <= x < stride, 0 <= y < rows are skipped.
void GFX_DrawGlyph(uint32_t *buffer, uint8_t character, int32_t x, int32_t y,
                   int32_t stride, int32_t rows, uint32_t colour);

// Draws a NUL-terminated string one 8-pixel cell per byte, clipped as GFX_DrawGlyph.
void GFX_DrawText(const char *text, uint32_t *buffer, int32_t x, int32_t y,
                  int32_t stride, int32_t rows, uint32_t colour);
