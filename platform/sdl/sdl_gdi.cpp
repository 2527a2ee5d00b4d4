// Text output on the back buffer's device context, drawn with the program's own 8 x 16 font.
#include "platform/sdl/sdl_platform.h"
#include "text/text.h"

static const int OPAQUE_VALUE = 2;
static const COLORREF CLR_INVALID_VALUE = 0xFFFFFFFF;
static const uint32_t OPAQUE_BACKGROUND = 0xFFFFFFFF;  // a fresh context's white background
static const int CELL_WIDTH = 8, CELL_HEIGHT = 16;

static bool Valid(HDC context)
{
    return context && context->valid;
}

int WINAPI SetBkMode(HDC context, int mode)
{
    if (!Valid(context) || (mode != TRANSPARENT && mode != OPAQUE_VALUE))
        return 0;
    int previous = context->bkMode;
    context->bkMode = mode;
    return previous;
}

COLORREF WINAPI SetTextColor(HDC context, COLORREF color)
{
    // Only plain 0x00BBGGRR colours; palette references and CLR_INVALID are refused.
    if (!Valid(context) || (color >> 24) != 0)
        return CLR_INVALID_VALUE;
    COLORREF previous = context->textColor;
    context->textColor = color;
    return previous;
}

static void FillCell(HDC context, int64_t x, int64_t y, uint32_t colour)
{
    for (int64_t row = y; row < y + CELL_HEIGHT; ++row)
        for (int64_t column = x; column < x + CELL_WIDTH; ++column)
            if (row >= 0 && row < context->rows && column >= 0 && column < context->stride)
                context->pixels[row * context->stride + column] = colour;
}

BOOL WINAPI TextOutA(HDC context, int x, int y, LPCSTR text, int length)
{
    if (!Valid(context) || length < 0 || (!text && length > 0))
        return false;
    COLORREF c = context->textColor;
    uint32_t colour = 0xFF000000 | (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF);
    for (int i = 0; i < length; ++i) {
        int64_t cellX = (int64_t)x + (int64_t)i * CELL_WIDTH;
        if (cellX >= context->stride)
            break;
        if (cellX <= -CELL_WIDTH)
            continue;
        if (context->bkMode == OPAQUE_VALUE)
            FillCell(context, cellX, y, OPAQUE_BACKGROUND);
        GFX_DrawGlyph(context->pixels, (uint8_t)text[i], (int32_t)cellX, y, context->stride,
                      context->rows, colour);
    }
    return true;
}
