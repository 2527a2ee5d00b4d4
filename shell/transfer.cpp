// The palette of the 8-bit mode and the frame transfer into the back buffer.
#include <cstring>

#include "display/display.h"
#include "scene/display_config.h"
#include "shell/shell.h"

static uint32_t Palette[256];  // 0xAARRGGBB for each 8-bit index

void PAL_Init(const uint32_t *source)
{
    if (source != nullptr) {
        std::memcpy(Palette, source, sizeof Palette);
        return;
    }
    for (uint32_t i = 0; i < 256; ++i)
        Palette[i] = 0xFF000000u | i << 16 | i << 8 | i;
}

void PAL_SetEntry(int32_t index, uint32_t r, uint32_t g, uint32_t b)
{
    // An index outside the table would write past it.
    if (index < 0 || index > 255)
        return;
    Palette[index] = 0xFF000000u | r << 16 | g << 8 | b;
}

void PAL_Expand(uint32_t *target, const uint8_t *source)
{
    const size_t pixels = static_cast<size_t>(DisplayConfig.width) * DisplayConfig.height;
    for (size_t i = 0; i < pixels; ++i)
        target[i] = Palette[source[i]];
}

void DDRAW_Present()
{
    LONG pitch = 0;
    uint8_t *target = static_cast<uint8_t *>(DDRAW_LockBack(&pitch));
    if (target == nullptr)
        return;
    const uint8_t *source = static_cast<const uint8_t *>(FrameBuffer);
    size_t rowBytes = (static_cast<size_t>(DisplayConfig.width) * DisplayConfig.depth) >> 3;
    if (DisplayConfig.depth == 8) {
        PAL_Expand(Expansion, static_cast<const uint8_t *>(FrameBuffer));
        source = reinterpret_cast<const uint8_t *>(Expansion);
        rowBytes = static_cast<size_t>(DisplayConfig.width) * 4;
    }
    // A pitch narrower than a row would run past the surface: leave the frame out instead.
    if (pitch >= 0 && static_cast<size_t>(pitch) == rowBytes) {
        // Rows packed as tightly as the frame's own: they make one block, copied in one go.
        std::memcpy(target, source, rowBytes * DisplayConfig.height);
    } else if (pitch >= 0 && static_cast<size_t>(pitch) > rowBytes) {
        for (int32_t y = 0; y < DisplayConfig.height; ++y) {
            std::memcpy(target, source, rowBytes);
            source += rowBytes;
            target += pitch;
        }
    }
    DDRAW_UnlockBack();
}
