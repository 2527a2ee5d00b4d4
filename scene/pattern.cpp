// The pattern: 64 lines of random note text, regenerated every 6.4 s, scrolling past a highlight bar.
#include <cstdlib>
#include <cstring>

#include "scene/colours.h"
#include "scene/scene.h"
#include "text/text.h"

static const int32_t PatternLines = 64;
static const size_t PatternLineBytes = 256;

static char *Lines[PatternLines];  // the pattern text, one NUL-terminated line each
static uint32_t RandomState = 1;   // the generator's state; never reseeded, so every run repeats

static const char *const NoteNames[12] = {"c.", "c#", "d.", "d#", "e.", "f.",
                                          "f#", "g.", "g#", "a.", "a#", "b."};

// "%02x" of every row number.
static const char *const RowNumbers[64] = {
    "00", "01", "02", "03", "04", "05", "06", "07",
    "08", "09", "0a", "0b", "0c", "0d", "0e", "0f",
    "10", "11", "12", "13", "14", "15", "16", "17",
    "18", "19", "1a", "1b", "1c", "1d", "1e", "1f",
    "20", "21", "22", "23", "24", "25", "26", "27",
    "28", "29", "2a", "2b", "2c", "2d", "2e", "2f",
    "30", "31", "32", "33", "34", "35", "36", "37",
    "38", "39", "3a", "3b", "3c", "3d", "3e", "3f",
};

int32_t FFX_Random()
{
    RandomState = RandomState * 214013u + 2531011u;
    return static_cast<int32_t>((RandomState >> 16) & 0x7FFF);
}

int FFX_AllocPattern()
{
    for (int32_t line = 0; line < PatternLines; ++line) {
        Lines[line] = static_cast<char *>(std::malloc(PatternLineBytes));
        if (Lines[line] == nullptr) {
            // A failed scene keeps nothing: the lines made so far go back.
            while (line-- > 0) {
                std::free(Lines[line]);
                Lines[line] = nullptr;
            }
            return 0;
        }
        Lines[line][0] = '\0';  // a line drawn before its first generation shows nothing
    }
    return 1;
}

const char *FFX_PatternLine(int32_t index)
{
    return Lines[index];
}

// Rows advance ten times a second; the product of a float and 10 is exact in double.
static int32_t RowStep(float seconds)
{
    return static_cast<int32_t>(static_cast<double>(seconds) * 10.0);
}

// Appends the fixed tail of a cell: volume dots and effect zeros.
static char *AppendCellTail(char *out)
{
    std::memcpy(out, " .. 00", 6);
    return out + 6;
}

void FFX_GeneratePattern(float seconds)
{
    if (RowStep(seconds) & 63)
        return;
    for (int32_t line = 0; line < PatternLines; ++line) {
        char *out = Lines[line];
        std::memcpy(out, "...", 3);
        out = AppendCellTail(out + 3);
        for (int32_t cell = 1; cell < 8; ++cell) {
            const int32_t note = FFX_Random() & 31;
            if (note < 12) {
                std::memcpy(out, NoteNames[note], 2);
                out[2] = static_cast<char>('0' + FFX_Random() % 4);
            } else {
                std::memcpy(out, "...", 3);
            }
            out = AppendCellTail(out + 3);
        }
        *out = '\0';
    }
}

void FFX_DrawPattern(uint32_t *frameBuffer, float seconds)
{
    const int32_t width = DisplayConfig.width;
    const int32_t height = DisplayConfig.height;
    // Rows 200 ... height - 2: the last row is left as the frame memory holds it.
    GFX_FillSpan(frameBuffer + 200 * width, ColourBackground, (height - 201) * width);
    GFX_FillRect(frameBuffer, 0, 337, width, 16, ColourPanel);
    GFX_Bevel(frameBuffer, 0, 337, width, 16, 1);

    const int32_t step = RowStep(seconds);
    for (int32_t i = 0; i < 18; ++i) {
        // Unsigned, so a step near the top of its range wraps instead of overflowing.
        const int32_t row = static_cast<int32_t>((static_cast<uint32_t>(step) + i) & 63);
        const int32_t y = 15 * i + 202;
        const uint32_t colour = (row % 4 == 0) ? ColourWhite : ColourPale;
        GFX_DrawText(RowNumbers[row], frameBuffer, 4, y, width, height, colour);
        GFX_DrawText(RowNumbers[row], frameBuffer, width - 27, y, width, height, colour);
        GFX_DrawText(Lines[row], frameBuffer, 32, y, width, height, ColourPale);
    }
}
