// The raster primitives every panel element is built from. They address pixels
// linearly and never clip: callers keep their writes inside the frame.
#include <cstddef>
#include <cstring>

#include "scene/scene.h"
#include "text/text.h"

// The string store belongs to every x86 processor (32- and 64-bit); other targets keep the loop.
#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
#include <cpuid.h>
#define GFX_STRING_STORES 1
#else
#define GFX_STRING_STORES 0
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
// writes a long span in whole cache lines, as fast as the C library's memset, where the loop's
// vector stores are only as wide as the baseline instruction set.
static bool DetectFastStringStores()
{
#if GFX_STRING_STORES
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid_count(7, 0, &a, &b, &c, &d))
        return (b >> 9) & 1u;
#endif
    return false;
}

static const bool FastStringStores = DetectFastStringStores();  // set at start-up; the loop is exact anyway
// Below this many pixels starting the string store costs more than it saves.
static const int32_t StringStoreMinimum = 1024;

static inline void FillWords(uint32_t *pixels, uint32_t colour, int32_t count)
{
#if GFX_STRING_STORES
    if (count >= StringStoreMinimum && FastStringStores) {
        size_t words = static_cast<size_t>(count);
        __asm__ volatile("rep stosl" : "+D"(pixels), "+c"(words) : "a"(colour) : "memory");
        return;
    }
#endif
    for (int32_t i = 0; i < count; ++i)
        pixels[i] = colour;
}

void GFX_FillSpan(uint32_t *pixels, uint32_t colour, int32_t count)
{
    FillWords(pixels, colour, count);
}

void GFX_FillRect(uint32_t *buffer, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour)
{
    // Rows as wide as the frame follow one another in memory: one span covers them all.
    if (w == DisplayConfig.width && h > 0) {
        FillWords(PixelAt(buffer, x, y), colour, w * h);
        return;
    }
    for (int32_t r = 0; r < h; ++r)
        FillWords(PixelAt(buffer, x, y + r), colour, w);
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
    for (int32_t i = 0; i < w; ++i) {
        outlineAbove[i] = ColourOutline;
        top[i] = upper;
        bottom[i] = lower;
        outlineBelow[i] = ColourOutline;
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
