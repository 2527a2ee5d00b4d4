// The eight channel views: a travelling sine wave in each, one dot per sample.
#include <cmath>

#include "scene/colours.h"
#include "scene/scene.h"

// Cycles across a view and speed in radians per second, by scope number 4 * row + column.
static const float ScopeCycles[8] = {3.0f, 2.2f, 1.3f, 6.8f, 0.1f, 2.3f, 15.4f, 2.3f};
static const float ScopeSpeed[8] = {1.0f, 2.2f, 4.3f, 1.6f, 6.1f, 8.3f, 4.4f, 7.3f};

// Sample k's angle is the view's phase plus a term fixed for the program's life; the tables hold
// that term and the library's sine and cosine of it, so sin(phase + term) costs two products.
struct ScopeSampleTable {
    double term[8][64];
    double sinTerm[8][64];
    double cosTerm[8][64];
};

static ScopeSampleTable MakeSampleTable()
{
    ScopeSampleTable table;
    for (int32_t n = 0; n < 8; ++n) {
        const double spread = static_cast<double>(ScopeCycles[n]) * 6.2831;
        for (int32_t k = 0; k < 64; ++k) {
            table.term[n][k] = spread * k / 64.0;
            table.sinTerm[n][k] = std::sin(table.term[n][k]);
            table.cosTerm[n][k] = std::cos(table.term[n][k]);
        }
    }
    return table;
}

// Built on first use, so the views are right however early they are drawn.
static const ScopeSampleTable &Samples()
{
    static const ScopeSampleTable table = MakeSampleTable();
    return table;
}

// While |phase| <= 2^20 the estimate lies within 2^-32 of the library's sine of the rounded
// angle: rounding phase + term (below 2^21) to a double moves it at most 2^-33, the products and
// their sum add at most 2^-51, and the five library values involved (the phase's sine and cosine,
// the term's, and the sine compared with) are allowed 2^-40 of error each.
static const double PhaseLimit = 1048576.0;  // 2^20
// Four times that bound: any sine this close to the estimate has the estimate's row unless a row
// boundary lies in between, and only then is the library asked.
static const double Tolerance = 1.0 / 1073741824.0;  // 2^-30

// The row offset a sine value gives: rounded to a float, times 22 exactly, truncated. It never
// decreases as the value grows, so equal offsets at both ends of an interval hold throughout.
static inline int32_t RowOffset(double sine)
{
    return static_cast<int32_t>(static_cast<double>(22.0f) * static_cast<float>(sine));
}

// The 64 row offsets of view n for its phase, each exactly what the library's sine would give.
static void TraceOffsets(int32_t n, double phase, int32_t offsets[64])
{
    const ScopeSampleTable &samples = Samples();
    int32_t undecided[64];
    int32_t anyUndecided = 1;
    if (std::fabs(phase) <= PhaseLimit) {
        const double sinPhase = std::sin(phase);
        const double cosPhase = std::cos(phase);
        anyUndecided = 0;
        for (int32_t k = 0; k < 64; ++k) {
            const double estimate = sinPhase * samples.cosTerm[n][k] + cosPhase * samples.sinTerm[n][k];
            const int32_t low = RowOffset(estimate - Tolerance);
            const int32_t high = RowOffset(estimate + Tolerance);
            offsets[k] = low;
            undecided[k] = high - low;
            anyUndecided |= undecided[k];
        }
    } else {
        for (int32_t k = 0; k < 64; ++k)
            undecided[k] = 1;
    }
    if (anyUndecided == 0)
        return;
    for (int32_t k = 0; k < 64; ++k) {
        if (undecided[k] != 0)
            offsets[k] = RowOffset(std::sin(phase + samples.term[n][k]));
    }
}

void FFX_DrawScopes(uint32_t *frameBuffer, float seconds)
{
    const int32_t width = DisplayConfig.width;
    for (int32_t row = 0; row < 2; ++row) {
        for (int32_t column = 0; column < 4; ++column) {
            const int32_t n = 4 * row + column;
            const int32_t x0 = 72 * column + 2;
            const int32_t y0 = 67 * row + 80;
            GFX_FillRect(frameBuffer, x0, y0, 64, 45, ColourBlack);
            GFX_Bevel(frameBuffer, x0, y0, 65, 45, 0);

            int32_t offsets[64];
            TraceOffsets(n, static_cast<double>(seconds) * ScopeSpeed[n], offsets);
            uint32_t *centre = frameBuffer + (y0 + 22) * width + x0 + 2;
            for (int32_t k = 0; k < 64; ++k)
                centre[offsets[k] * width + k] = ColourWhite;
        }
    }
}
