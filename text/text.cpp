// The text drawer: glyphs from the built-in font, clipped pixel by pixel.
#include "text/text.h"

void GFX_DrawGlyph(uint32_t *buffer, uint8_t character, int32_t x, int32_t y,
                   int32_t stride, int32_t rows, uint32_t colour)
{
    const uint8_t *glyph = Font + character * 16;
    for (int32_t r = 0; r < 16; ++r) {
        const uint8_t bits = glyph[r];
        // 64-bit positions: a cell near the edge of the 32-bit range must not overflow.
        const int64_t py = static_cast<int64_t>(y) + r;
        if (bits == 0 || py < 0 || py >= rows)
            continue;
        uint32_t *row = buffer + py * stride;
        for (int32_t j = 0; j < 8; ++j) {
            const int64_t px = static_cast<int64_t>(x) + j;
            if ((bits & (0x80 >> j)) && px >= 0 && px < stride)
                row[px] = colour;
        }
    }
}

void GFX_DrawText(const char *text, uint32_t *buffer, int32_t x, int32_t y,
                  int32_t stride, int32_t rows, uint32_t colour)
{
    for (int64_t cellX = x; *text != '\0'; ++text, cellX += 8) {
        if (cellX >= stride)
            return;  // this cell and every later one lie right of the clip
        if (cellX > -8)
            GFX_DrawGlyph(buffer, static_cast<uint8_t>(*text), static_cast<int32_t>(cellX), y,
                          stride, rows, colour);
    }
}
