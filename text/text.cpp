// The text drawer: glyphs from the built-in font, clipped to the given rectangle.
#include "text/text.h"

#include <cstddef>
#include <cstring>

// x86 (32- and 64-bit) may have AVX2 beyond its SSE2 baseline; other targets have one path.
#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
#include <immintrin.h>
#define GFX_X86 1
#else
#define GFX_X86 0
#endif

static bool DetectWideStores()
{
#if GFX_X86
    // Checks the operating system saves the 32-byte registers too, not only the CPUID bit.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

bool GFX_WideStores = DetectWideStores();

namespace {

// Every glyph row byte as eight pixel masks, leftmost pixel first: all ones where the bit is set.
struct alignas(32) RowMaskTable {
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

// Each glyph's rows from its first non-empty one to just past its last (16 and 0 for a blank
// glyph): most glyphs leave their top three and bottom four rows empty.
struct RowSpanTable {
    uint8_t first[256];
    uint8_t end[256];
};

RowSpanTable MakeRowSpans()
{
    RowSpanTable table{};
    for (int code = 0; code < 256; ++code) {
        int first = 16, end = 0;
        for (int r = 0; r < 16; ++r) {
            if (Font[code * 16 + r] != 0) {
                first = first < r ? first : r;
                end = r + 1;
            }
        }
        table.first[code] = static_cast<uint8_t>(first);
        table.end[code] = static_cast<uint8_t>(end);
    }
    return table;
}

// Built on first use, so drawing is right however early it happens.
const RowSpanTable &RowSpans()
{
    static const RowSpanTable table = MakeRowSpans();
    return table;
}

}  // namespace

// Paints the set bits of one glyph row into eight pixels that lie inside the clip, as one blend
// of eight words; unset pixels are rewritten with the value they already hold.
static inline void PaintRow(uint32_t *pixels, uint8_t bits, uint32_t colour)
{
    // Four words at a time through locals: the compiler cannot tell that the row and the table
    // never overlap, and with them apart each half is one vector blend.
    for (int32_t half = 0; half < 8; half += 4) {
        uint32_t words[4], mask[4];
        std::memcpy(words, pixels + half, sizeof words);
        std::memcpy(mask, RowMasks.masks[bits] + half, sizeof mask);
        for (int32_t j = 0; j < 4; ++j)
            words[j] ^= (words[j] ^ colour) & mask[j];
        std::memcpy(pixels + half, words, sizeof words);
    }
}

// A cell wholly inside the clip: no tests per pixel, and only the rows of its glyph's span (an
// empty row inside the span costs a test, cheaper than blending it).
static inline void DrawCellInside(uint32_t *cell, uint8_t character, ptrdiff_t stride, uint32_t colour,
                                  const RowSpanTable &spans)
{
    const uint8_t *glyph = Font + character * 16;
    for (int32_t r = spans.first[character]; r < spans.end[character]; ++r) {
        if (glyph[r] != 0)
            PaintRow(cell + r * stride, glyph[r], colour);
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
                               int32_t stride, int32_t rows, uint32_t colour, const RowSpanTable &spans)
{
    if (x >= 0 && y >= 0 && static_cast<int64_t>(x) + 8 <= stride && static_cast<int64_t>(y) + 16 <= rows)
        DrawCellInside(buffer + static_cast<ptrdiff_t>(y) * stride + x, character, stride, colour, spans);
    else
        DrawCellClipped(buffer, Font + character * 16, x, y, stride, rows, colour);
}

void GFX_DrawGlyph(uint32_t *buffer, uint8_t character, int32_t x, int32_t y,
                   int32_t stride, int32_t rows, uint32_t colour)
{
    DrawGlyphAt(buffer, character, x, y, stride, rows, colour, RowSpans());
}

// The leading cells of a string that lie wholly inside the clip, at most `limit` of them, drawn one
// after another with no clip tests; returns how many were drawn (fewer when the string ends).
static size_t DrawStringInsideNarrow(const uint8_t *text, size_t limit, uint32_t *origin, ptrdiff_t stride,
                                     uint32_t colour, const RowSpanTable &spans)
{
    size_t n = 0;
    for (; n < limit && text[n] != 0; ++n)
        DrawCellInside(origin + 8 * n, text[n], stride, colour, spans);
    return n;
}

#if GFX_X86
// The wide path: a glyph row is one 32-byte blend, its mask made from the row's bits in
// registers, and every row of the glyph's span is blended, empty or not, since the blend costs
// less than the branch it would need.
__attribute__((target("avx2"))) static size_t DrawStringInsideWide(const uint8_t *text, size_t limit,
                                                                   uint32_t *origin, ptrdiff_t stride,
                                                                   uint32_t colour, const RowSpanTable &spans)
{
    const __m256i ink = _mm256_set1_epi32(static_cast<int>(colour));
    const __m256i bit = _mm256_setr_epi32(0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01);
    size_t n = 0;
    for (; n < limit && text[n] != 0; ++n) {
        const uint8_t character = text[n];
        const uint8_t *glyph = Font + character * 16;
        const int32_t first = spans.first[character], end = spans.end[character];
        uint32_t *row = origin + 8 * n + first * stride;
        for (int32_t r = first; r < end; ++r, row += stride) {
            __m256i *pixels = reinterpret_cast<__m256i *>(row);
            const __m256i mask = _mm256_cmpeq_epi32(_mm256_and_si256(_mm256_set1_epi32(glyph[r]), bit), bit);
            _mm256_storeu_si256(pixels, _mm256_blendv_epi8(_mm256_loadu_si256(pixels), ink, mask));
        }
    }
    return n;
}
#endif

static size_t DrawStringInside(const uint8_t *text, size_t limit, uint32_t *origin, ptrdiff_t stride,
                               uint32_t colour, const RowSpanTable &spans)
{
#if GFX_X86
    if (GFX_WideStores)
        return DrawStringInsideWide(text, limit, origin, stride, colour, spans);
#endif
    return DrawStringInsideNarrow(text, limit, origin, stride, colour, spans);
}

void GFX_DrawText(const char *text, uint32_t *buffer, int32_t x, int32_t y,
                  int32_t stride, int32_t rows, uint32_t colour)
{
    const RowSpanTable &spans = RowSpans();
    int64_t cellX = x;
    // One pass, no strlen: the cells wholly inside go first, and the clipped loop takes over at
    // the first cell that would cross the right edge.
    if (x >= 0 && y >= 0 && static_cast<int64_t>(y) + 16 <= rows && static_cast<int64_t>(x) + 8 <= stride) {
        const size_t fit = static_cast<size_t>((static_cast<int64_t>(stride) - x) / 8);
        const size_t drawn = DrawStringInside(reinterpret_cast<const uint8_t *>(text), fit,
                                              buffer + static_cast<ptrdiff_t>(y) * stride + x, stride,
                                              colour, spans);
        text += drawn;
        cellX += 8 * static_cast<int64_t>(drawn);
    }
    for (; *text != '\0'; ++text, cellX += 8) {
        if (cellX >= stride)
            return;  // this cell and every later one lie right of the clip
        if (cellX > -8)
            DrawGlyphAt(buffer, static_cast<uint8_t>(*text), static_cast<int32_t>(cellX), y,
                        stride, rows, colour, spans);
    }
}
