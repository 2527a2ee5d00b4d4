// The text drawer: glyphs from the built-in font, clipped to the given rectangle.
#include "text/text.h"

#include <cstddef>
#include <cstring>

namespace {

// Every glyph row byte as eight pixel masks, leftmost pixel first: all ones where the bit is set.
struct RowMaskTable {
    uint32_t masks[256][8];
};

constexpr RowMaskTable MakeRowMasks()
{
    RowMaskTable table{};
    for (int bits = 0; bits < 256; ++bits)
        for (int j = 0; j < 8; ++j)
            table.masks[bits][j] = (bits & (0x80 >> j)) ? 0xFFFFFFFFu : 0u;
    return table;
}

constexpr RowMaskTable RowMasks = MakeRowMasks();

}  // namespace

// A cell wholly inside the clip: each non-empty row is one blend of eight words, no tests per pixel.
// Unset pixels are rewritten with the value they already hold.
static inline void DrawCellInside(uint32_t *cell, const uint8_t *glyph, ptrdiff_t stride, uint32_t colour)
{
    for (int32_t r = 0; r < 16; ++r, cell += stride) {
        const uint8_t bits = glyph[r];
        if (bits == 0)
            continue;
        // Loaded into locals first: the compiler cannot tell that the row and the table never
        // overlap, and with them apart it blends the eight words in vector registers.
        uint32_t pixels[8], mask[8];
        std::memcpy(pixels, cell, sizeof pixels);
        std::memcpy(mask, RowMasks.masks[bits], sizeof mask);
        for (int32_t j = 0; j < 8; ++j)
            pixels[j] = (pixels[j] & ~mask[j]) | (colour & mask[j]);
        std::memcpy(cell, pixels, sizeof pixels);
    }
}

// A cell that crosses the clip: every set pixel is tested against the four edges.
static void DrawCellClipped(uint32_t *buffer, const uint8_t *glyph, int32_t x, int32_t y,
                            int32_t stride, int32_t rows, uint32_t colour)
{
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

static inline void DrawGlyphAt(uint32_t *buffer, uint8_t character, int32_t x, int32_t y,
                               int32_t stride, int32_t rows, uint32_t colour)
{
    const uint8_t *glyph = Font + character * 16;
    if (x >= 0 && y >= 0 && static_cast<int64_t>(x) + 8 <= stride && static_cast<int64_t>(y) + 16 <= rows)
        DrawCellInside(buffer + static_cast<ptrdiff_t>(y) * stride + x, glyph, stride, colour);
    else
        DrawCellClipped(buffer, glyph, x, y, stride, rows, colour);
}

void GFX_DrawGlyph(uint32_t *buffer, uint8_t character, int32_t x, int32_t y,
                   int32_t stride, int32_t rows, uint32_t colour)
{
    DrawGlyphAt(buffer, character, x, y, stride, rows, colour);
}

void GFX_DrawText(const char *text, uint32_t *buffer, int32_t x, int32_t y,
                  int32_t stride, int32_t rows, uint32_t colour)
{
    for (int64_t cellX = x; *text != '\0'; ++text, cellX += 8) {
        if (cellX >= stride)
            return;  // this cell and every later one lie right of the clip
        if (cellX > -8)
            DrawGlyphAt(buffer, static_cast<uint8_t>(*text), static_cast<int32_t>(cellX), y,
                        stride, rows, colour);
    }
}
