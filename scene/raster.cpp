// The raster primitives every panel element is built from. They address pixels
// linearly and never clip: callers keep their writes inside the frame.
#include <cstddef>
#include <cstring>

#include "scene/scene.h"
#include "text/text.h"

// x86 (32- and 64-bit) has the string store and SSE2 in its baseline, and AVX2 on many
// processors; other targets keep the plain loop.
#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
#include <cpuid.h>
#include <immintrin.h>
#define GFX_X86 1
#else
#define GFX_X86 0
#endif

static const uint32_t ColourLight = 0xFFF0F0F0;
static const uint32_t ColourShade = 0xFF404040;
static const uint32_t ColourButtonDark = 0xFF202020;
static const uint32_t ColourButtonFace = 0xFFA0A0A0;
static const uint32_t ColourOutline = 0x00000000;

// Address of (x, y) as the linear index y * width + x, wrapping onto neighbouring rows.
static inline uint32_t *PixelAt(uint32_t *buffer, int32_t x, int32_t y)
{
    return buffer + (static_cast<ptrdiff_t>(y) * DisplayConfig.width + x);
}

// Whether the processor's string stores are fast (CPUID leaf 7, EBX bit 9): then one `rep stos`
// writes a long span in whole cache lines, as fast as the C library's memset, where the narrow
// path's vector stores are only 16 bytes wide.
static bool DetectFastStringStores()
{
#if GFX_X86
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid_count(7, 0, &a, &b, &c, &d))
        return (b >> 9) & 1u;
#endif
    return false;
}

static const bool FastStringStores = DetectFastStringStores();  // set at start-up; the loop is exact anyway

#if GFX_X86
// Below this many pixels starting the string store costs more than it saves.
static const int32_t StringStoreMinimum = 1024;

// The first `step`-word boundary after `pixels`: the stores between it and the span's last
// vector are aligned, and the unaligned first and last vectors overlap them.
static inline uint32_t *NextBoundary(uint32_t *pixels, uintptr_t step)
{
    const uintptr_t bytes = step * sizeof(uint32_t);
    return reinterpret_cast<uint32_t *>((reinterpret_cast<uintptr_t>(pixels) + bytes) & ~(bytes - 1));
}
#endif

// The narrow path, on every processor: the string store for long spans where it is fast; on
// x86 16-byte vectors, aligned between an unaligned first and last one; elsewhere a loop.
static inline void FillWordsNarrow(uint32_t *pixels, uint32_t colour, int32_t count)
{
#if GFX_X86
    if (count >= StringStoreMinimum && FastStringStores) {
        size_t words = static_cast<size_t>(count);
        __asm__ volatile("rep stosl" : "+D"(pixels), "+c"(words) : "a"(colour) : "memory");
        return;
    }
    if (count >= 4) {
        const __m128i v = _mm_set1_epi32(static_cast<int>(colour));
        uint32_t *const last = pixels + count - 4;
        _mm_storeu_si128(reinterpret_cast<__m128i *>(pixels), v);
        for (uint32_t *p = NextBoundary(pixels, 4); p < last; p += 4)
            _mm_store_si128(reinterpret_cast<__m128i *>(p), v);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(last), v);
        return;
    }
#endif
    for (int32_t i = 0; i < count; ++i)
        pixels[i] = colour;
}

#if GFX_X86
// The wide path, where the processor has AVX2: the same scheme with 32-byte vectors, which
// also outruns the string store on long spans.
__attribute__((target("avx2"))) static inline void FillWordsWide(uint32_t *pixels, uint32_t colour,
                                                                 int32_t count)
{
    if (count >= 8) {
        const __m256i v = _mm256_set1_epi32(static_cast<int>(colour));
        uint32_t *const last = pixels + count - 8;
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(pixels), v);
        for (uint32_t *p = NextBoundary(pixels, 8); p < last; p += 8)
            _mm256_store_si256(reinterpret_cast<__m256i *>(p), v);
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(last), v);
    } else if (count >= 4) {
        const __m128i v = _mm_set1_epi32(static_cast<int>(colour));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(pixels), v);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(pixels + count - 4), v);
    } else {
        for (int32_t i = 0; i < count; ++i)
            pixels[i] = colour;
    }
}

__attribute__((target("avx2"))) static void FillRowsWide(uint32_t *first, uint32_t colour, int32_t w, int32_t h)
{
    for (int32_t r = 0; r < h; ++r)
        FillWordsWide(first + static_cast<ptrdiff_t>(r) * DisplayConfig.width, colour, w);
}
#endif

static void FillRowsNarrow(uint32_t *first, uint32_t colour, int32_t w, int32_t h)
{
    for (int32_t r = 0; r < h; ++r)
        FillWordsNarrow(first + static_cast<ptrdiff_t>(r) * DisplayConfig.width, colour, w);
}

// `h` rows of `w` words from `first`, one row length apart, by the path chosen at start-up.
static inline void FillRows(uint32_t *first, uint32_t colour, int32_t w, int32_t h)
{
#if GFX_X86
    if (GFX_WideStores) {
        FillRowsWide(first, colour, w, h);
        return;
    }
#endif
    FillRowsNarrow(first, colour, w, h);
}

void GFX_FillSpan(uint32_t *pixels, uint32_t colour, int32_t count)
{
    FillRows(pixels, colour, count, 1);
}

void GFX_FillRect(uint32_t *buffer, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour)
{
    // Rows as wide as the frame follow one another in memory: one span covers them all.
    if (w == DisplayConfig.width && h > 0)
        FillRows(PixelAt(buffer, x, y), colour, w * h, 1);
    else
        FillRows(PixelAt(buffer, x, y), colour, w, h);
}

// The frame shared by bevels and buttons. The stores run in a fixed order and later
// ones win where they meet, which decides the corners and the wrap of full-width frames.
static void EdgePattern(uint32_t *buffer, int32_t x, int32_t y, int32_t w, int32_t h,
                        uint32_t upper, uint32_t lower)
{
    uint32_t *outlineAbove = PixelAt(buffer, x, y - 1);
    uint32_t *top = PixelAt(buffer, x, y);
    uint32_t *bottom = PixelAt(buffer, x, y + h);
    uint32_t *outlineBelow = PixelAt(buffer, x, y + h + 1);
    if (w <= DisplayConfig.width) {
        // No longer than a row, two of the four runs either coincide or share no pixel, so each
        // may be filled whole in turn: every pixel still ends with the last of its stores.
        FillRows(outlineAbove, ColourOutline, w, 1);
        FillRows(top, upper, w, 1);
        FillRows(bottom, lower, w, 1);
        FillRows(outlineBelow, ColourOutline, w, 1);
    } else {
        for (int32_t i = 0; i < w; ++i) {
            outlineAbove[i] = ColourOutline;
            top[i] = upper;
            bottom[i] = lower;
            outlineBelow[i] = ColourOutline;
        }
    }
    for (int32_t i = 0; i < h; ++i) {
        uint32_t *row = PixelAt(buffer, x, y + i);
        row[-1] = ColourOutline;
        row[0] = upper;
        row[w - 1] = lower;
        row[w] = ColourOutline;
    }
}

void GFX_Bevel(uint32_t *buffer, int32_t x, int32_t y, int32_t w, int32_t h, int32_t raised)
{
    if (raised)
        EdgePattern(buffer, x, y, w, h, ColourLight, ColourShade);
    else
        EdgePattern(buffer, x, y, w, h, ColourShade, ColourLight);
}

void GFX_Button(uint32_t *buffer, int32_t x, int32_t y, int32_t w, int32_t h, const char *label)
{
    GFX_FillRect(buffer, x, y, w, h, ColourButtonFace);
    EdgePattern(buffer, x, y, w, h, ColourLight, ColourButtonDark);
    // Unsigned halving: a label wider than its button lands far off the frame and clips away.
    const uint32_t spare = static_cast<uint32_t>(w) - 8u * static_cast<uint32_t>(std::strlen(label));
    const int32_t labelX = static_cast<int32_t>(static_cast<uint32_t>(x) + (spare >> 1));
    const int32_t labelY = y + (h - 16) / 2;
    GFX_DrawText(label, buffer, labelX, labelY, DisplayConfig.width, DisplayConfig.height, ColourOutline);
}
