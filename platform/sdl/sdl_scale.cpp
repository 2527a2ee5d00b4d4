// The frame at the largest whole-number scale, centred on black, for the ways of showing frames
// that write the screen's memory themselves.
#include "platform/sdl/sdl_scale.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <cstring>

bool SCALE_Fit(int screenWidth, int screenHeight, int width, int height, SDL_Rect *shown, int *scale)
{
    if (width <= 0 || height <= 0 || screenWidth <= 0 || screenHeight <= 0) {
        *scale = 0;
        return false;
    }
    *scale = SDL_max(1, SDL_min(screenWidth / width, screenHeight / height));
    const int w = width * *scale, h = height * *scale;
    // Halved towards zero, as SDL's renderer centres: an odd overhang loses its extra column on the right.
    *shown = SDL_Rect{(screenWidth - w) / 2, (screenHeight - h) / 2, w, h};
    return true;
}

SDL_Rect SCALE_Visible(int screenWidth, int screenHeight, const SDL_Rect &shown)
{
    const int left = SDL_max(shown.x, 0), top = SDL_max(shown.y, 0);
    const int right = SDL_min(shown.x + shown.w, screenWidth), bottom = SDL_min(shown.y + shown.h, screenHeight);
    return SDL_Rect{left, top, SDL_max(right - left, 0), SDL_max(bottom - top, 0)};
}

SDL_Point SCALE_WindowSize(int usableWidth, int usableHeight, int width, int height)
{
    const int scale = width > 0 && height > 0 ? SDL_max(1, SDL_min(usableWidth * 3 / 4 / width, usableHeight * 3 / 4 / height)) : 1;
    return SDL_Point{width * scale, height * scale};
}

void SCALE_Bars(uint8_t *screen, long pitch, int screenWidth, int screenHeight, const SDL_Rect &placed)
{
    const SDL_Rect shown = SCALE_Visible(screenWidth, screenHeight, placed);
    for (int y = 0; y < screenHeight; ++y) {
        uint8_t *row = screen + (size_t)y * pitch;
        if (y < shown.y || y >= shown.y + shown.h) {
            memset(row, 0, (size_t)screenWidth * 4);
            continue;
        }
        memset(row, 0, (size_t)shown.x * 4);
        const int right = shown.x + shown.w;
        memset(row + (size_t)right * 4, 0, (size_t)(screenWidth - right) * 4);
    }
}

// One row of the frame into `scale` rows of the screen, each pixel repeated `scale` times; on
// x86 the common scales store past the cache, so no line is fetched only to be overwritten.
static void ScaleRow(const uint32_t *from, int width, int scale, uint8_t *to, long pitch)
{
    int x = 0;
#ifdef __SSE2__
    if (scale <= 2 && ((uintptr_t)to | (uintptr_t)pitch) % 16 == 0)
        for (; x + 4 <= width; x += 4) {
            const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + x));
            __m128i *row = reinterpret_cast<__m128i *>(to + (size_t)x * scale * 4);
            if (scale == 1) {
                _mm_stream_si128(row, four);
                continue;
            }
            const __m128i low = _mm_unpacklo_epi32(four, four), high = _mm_unpackhi_epi32(four, four);
            _mm_stream_si128(row, low);
            _mm_stream_si128(row + 1, high);
            row = reinterpret_cast<__m128i *>(reinterpret_cast<uint8_t *>(row) + pitch);
            _mm_stream_si128(row, low);
            _mm_stream_si128(row + 1, high);
        }
#endif
    for (int i = 0; i < scale; ++i) {
        uint32_t *row = reinterpret_cast<uint32_t *>(to + (size_t)i * pitch);
        for (int p = x; p < width; ++p)
            for (int j = 0; j < scale; ++j)
                row[p * scale + j] = from[p];
    }
}

void SCALE_Frame(const uint8_t *pixels, long pitch, int width, int height, int scale, uint8_t *screen,
                 long screenPitch, int screenWidth, int screenHeight, const SDL_Rect &shown)
{
    // The frame overhangs only at scale 1 (SCALE_Fit), so the cut is in whole frame pixels.
    const SDL_Rect visible = SCALE_Visible(screenWidth, screenHeight, shown);
    const int left = (visible.x - shown.x) / scale, top = (visible.y - shown.y) / scale;
    const int columns = SDL_min(width - left, visible.w / scale), rows = SDL_min(height - top, visible.h / scale);
    if (columns <= 0 || rows <= 0)
        return;
    pixels += (size_t)top * pitch + (size_t)left * 4;
    for (int y = 0; y < rows; ++y)
        ScaleRow(reinterpret_cast<const uint32_t *>(pixels + (size_t)y * pitch), columns, scale,
                 screen + (size_t)(visible.y + y * scale) * screenPitch + (size_t)visible.x * 4, screenPitch);
#ifdef __SSE2__
    _mm_sfence();  // the streamed rows are in memory before the display reads them
#endif
}
