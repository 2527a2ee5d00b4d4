// The scene's lifecycle and its control panel: buttons, bank buttons, list boxes, position box.
#include "scene/colours.h"
#include "scene/scene.h"
#include "text/text.h"

// The button grid, one row per entry: left column at x = 294, right at x = 356.
static const char *const ButtonLabels[9][2] = {
    {"About", "Ply S"}, {"Nibble", "Ply P"}, {"Zap", "Stop"},
    {"CD", "Rec"},      {"Extend", "Rec"},   {"Tran", "Disk"},
    {"IEE", "Ins"},     {"SEE", "Samp"},     {"Adv", "Config"},
};

// The bank buttons' labels, "%02x-%02x" of 8b and 8b + 8 for bank b.
static const char *const BankLabels[8] = {"00-08", "08-10", "10-18", "18-20",
                                          "20-28", "28-30", "30-38", "38-40"};
// The list boxes' numbers, "%02x" of 0 ... 5.
static const char *const ListNumbers[6] = {"00", "01", "02", "03", "04", "05"};

int FFX_Init(uint32_t *frameBuffer)
{
    (void)frameBuffer;
    return FFX_AllocPattern() ? 1 : 0;
}

void FFX_Shutdown()
{
}

// A list box: black body, grey header bar, sunken frame and `count` numbers from 00 down.
static void DrawList(uint32_t *buffer, int32_t y, int32_t h, int32_t count, int32_t textY)
{
    GFX_FillRect(buffer, 412, y, 176, h, ColourBackground);
    GFX_FillRect(buffer, 412, y, 176, 15, ColourListHeader);
    GFX_Bevel(buffer, 412, y, 176, h, 0);
    for (int32_t n = 0; n < count; ++n)
        GFX_DrawText(ListNumbers[n], buffer, 414, 15 * n + textY, DisplayConfig.width,
                     DisplayConfig.height, ColourWhite);
}

void FFX_Render(uint32_t *frameBuffer, float seconds)
{
    uint32_t *const fb = frameBuffer;
    GFX_FillSpan(fb, ColourPanel, DisplayConfig.width * 200);

    for (int32_t r = 0; r < 9; ++r) {
        GFX_Button(fb, 294, 20 * r + 2, 52, 16, ButtonLabels[r][0]);
        GFX_Button(fb, 356, 20 * r + 2, 52, 16, ButtonLabels[r][1]);
    }
    GFX_Button(fb, 294, 182, 24, 16, "Add");
    GFX_Button(fb, 322, 182, 24, 16, "Sub");
    GFX_Button(fb, 356, 182, 52, 16, "Help");

    for (int32_t b = 0; b < 8; ++b)
        GFX_Button(fb, 592, 20 * b + 2, 44, 16, BankLabels[b]);
    GFX_Button(fb, 592, 162, 44, 40, "Bank");

    DrawList(fb, 4, 100, 6, 2);
    DrawList(fb, 108, 85, 5, 109);

    GFX_FillRect(fb, 2, 2, 50, 50, ColourBackground);
    GFX_FillRect(fb, 1, 23, 50, 13, ColourPanel);
    GFX_Bevel(fb, 1, 23, 50, 13, 1);
    GFX_Bevel(fb, 2, 2, 50, 50, 0);
    GFX_DrawText("00 00", fb, 4, 22, DisplayConfig.width, DisplayConfig.height, ColourWhite);

    FFX_DrawScopes(fb, seconds);
    FFX_GeneratePattern(seconds);
    FFX_DrawPattern(fb, seconds);
}
