// The peer: the same picture drawn the way an SDL2 user would, with SDL_FillRect for every fill,
// edge and dot and SDL_BlitSurface of colour-keyed glyph surfaces for every character.
#include <SDL.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "bench.h"
#include "scene/scene.h"
#include "text/text.h"

static const uint32_t Panel = 0xFF607080;
static const uint32_t ListHeader = 0xFF808080;
static const uint32_t Background = 0xFF000000;
static const uint32_t Outline = 0x00000000;
static const uint32_t White = 0xFFFFFFFF;
static const uint32_t Pale = 0xFFFFFFC0;
static const uint32_t Light = 0xFFF0F0F0;
static const uint32_t Shade = 0xFF404040;
static const uint32_t ButtonDark = 0xFF202020;
static const uint32_t ButtonFace = 0xFFA0A0A0;
// A colour no text uses, so the key never hides a glyph pixel.
static const uint32_t Key = 0xFFFF00FF;

static const uint32_t TextColours[3] = {Outline, White, Pale};

static SDL_Surface *Screen;              // the 640 x 480 x 32 picture
static SDL_Surface *Glyphs[3][256];      // one keyed surface per text colour and character code

static const char *const ButtonLabels[9][2] = {
    {"About", "Ply S"}, {"Nibble", "Ply P"}, {"Zap", "Stop"},
    {"CD", "Rec"},      {"Extend", "Rec"},   {"Tran", "Disk"},
    {"IEE", "Ins"},     {"SEE", "Samp"},     {"Adv", "Config"},
};
static const float ScopeCycles[8] = {3.0f, 2.2f, 1.3f, 6.8f, 0.1f, 2.3f, 15.4f, 2.3f};
static const float ScopeSpeed[8] = {1.0f, 2.2f, 4.3f, 1.6f, 6.1f, 8.3f, 4.4f, 7.3f};

bool PEER_Init(std::string *error)
{
    if (Screen != nullptr)
        return true;
    Screen = SDL_CreateRGBSurfaceWithFormat(0, DisplayConfig.width, DisplayConfig.height, 32,
                                            SDL_PIXELFORMAT_ARGB8888);
    if (Screen == nullptr) {
        *error = std::string("SDL_CreateRGBSurfaceWithFormat: ") + SDL_GetError();
        return false;
    }
    SDL_FillRect(Screen, nullptr, 0);
    for (int c = 0; c < 3; ++c) {
        for (int code = 0; code < 256; ++code) {
            SDL_Surface *glyph = SDL_CreateRGBSurfaceWithFormat(0, 8, 16, 32, SDL_PIXELFORMAT_ARGB8888);
            if (glyph == nullptr) {
                *error = std::string("glyph surface: ") + SDL_GetError();
                return false;
            }
            for (int r = 0; r < 16; ++r) {
                uint32_t *row = reinterpret_cast<uint32_t *>(static_cast<uint8_t *>(glyph->pixels) +
                                                             r * glyph->pitch);
                for (int j = 0; j < 8; ++j)
                    row[j] = (Font[code * 16 + r] & (0x80 >> j)) ? TextColours[c] : Key;
            }
            // A straight copy of every pixel but the key: no blending of the alpha byte.
            SDL_SetSurfaceBlendMode(glyph, SDL_BLENDMODE_NONE);
            SDL_SetColorKey(glyph, SDL_TRUE, Key);
            Glyphs[c][code] = glyph;
        }
    }
    return true;
}

const uint32_t *PEER_Pixels()
{
    return static_cast<const uint32_t *>(Screen->pixels);
}

int32_t PEER_PitchPixels()
{
    return Screen->pitch / 4;
}

static void Fill(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour)
{
    SDL_Rect rect = {x, y, w, h};
    SDL_FillRect(Screen, &rect, colour);
}

static void Text(const char *text, int32_t x, int32_t y, int colour)
{
    for (; *text != '\0'; ++text, x += 8) {
        SDL_Rect place = {x, y, 8, 16};
        SDL_BlitSurface(Glyphs[colour][static_cast<uint8_t>(*text)], nullptr, Screen, &place);
    }
}

// The two-tone frame with its ring, as rows and columns of fills.
static void Edges(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t upper, uint32_t lower)
{
    Fill(x, y - 1, w, 1, Outline);
    Fill(x, y, w, 1, upper);
    Fill(x, y + h, w, 1, lower);
    Fill(x, y + h + 1, w, 1, Outline);
    Fill(x - 1, y, 1, h, Outline);
    Fill(x, y, 1, h, upper);
    Fill(x + w - 1, y, 1, h, lower);
    Fill(x + w, y, 1, h, Outline);
}

static void Button(int32_t x, int32_t y, int32_t w, int32_t h, const char *label)
{
    Fill(x, y, w, h, ButtonFace);
    Edges(x, y, w, h, Light, ButtonDark);
    const int32_t length = static_cast<int32_t>(std::strlen(label));
    Text(label, x + (w - 8 * length) / 2, y + (h - 16) / 2, 0);
}

static void List(int32_t y, int32_t h, int32_t count, int32_t textY)
{
    Fill(412, y, 176, h, Background);
    Fill(412, y, 176, 15, ListHeader);
    Edges(412, y, 176, h, Shade, Light);
    char number[8];
    for (int32_t n = 0; n < count; ++n) {
        std::snprintf(number, sizeof number, "%02x", static_cast<unsigned>(n));
        Text(number, 414, 15 * n + textY, 1);
    }
}

void PEER_Draw(float seconds)
{
    const int32_t width = DisplayConfig.width;
    Fill(0, 0, width, 200, Panel);
    for (int32_t r = 0; r < 9; ++r) {
        Button(294, 20 * r + 2, 52, 16, ButtonLabels[r][0]);
        Button(356, 20 * r + 2, 52, 16, ButtonLabels[r][1]);
    }
    Button(294, 182, 24, 16, "Add");
    Button(322, 182, 24, 16, "Sub");
    Button(356, 182, 52, 16, "Help");
    char label[16];
    for (int32_t b = 0; b < 8; ++b) {
        std::snprintf(label, sizeof label, "%02x-%02x", static_cast<unsigned>(8 * b),
                      static_cast<unsigned>(8 * b + 8));
        Button(592, 20 * b + 2, 44, 16, label);
    }
    Button(592, 162, 44, 40, "Bank");
    List(4, 100, 6, 2);
    List(108, 85, 5, 109);
    Fill(2, 2, 50, 50, Background);
    Fill(1, 23, 50, 13, Panel);
    Edges(1, 23, 50, 13, Light, Shade);
    Edges(2, 2, 50, 50, Shade, Light);
    Text("00 00", 4, 22, 1);

    for (int32_t n = 0; n < 8; ++n) {
        const int32_t x0 = 72 * (n % 4) + 2;
        const int32_t y0 = 67 * (n / 4) + 80;
        Fill(x0, y0, 64, 45, Outline);
        Edges(x0, y0, 65, 45, Shade, Light);
        const double phase = static_cast<double>(seconds) * ScopeSpeed[n];
        const double spread = static_cast<double>(ScopeCycles[n]) * 6.2831;
        for (int32_t k = 0; k < 64; ++k) {
            const float v = static_cast<float>(std::sin(phase + spread * k / 64.0));
            Fill(x0 + 2 + k, y0 + 22 + static_cast<int32_t>(22.0 * v), 1, 1, White);
        }
    }

    const int32_t step = static_cast<int32_t>(static_cast<double>(seconds) * 10.0);
    Fill(0, 200, width, DisplayConfig.height - 201, Background);
    Fill(0, 337, width, 16, Panel);
    Edges(0, 337, width, 16, Light, Shade);
    // The frame's own bar runs from column 0 across the whole row, so its side rings land on
    // the neighbouring rows' far ends; SDL clips them instead, so they are drawn where they land.
    Fill(width - 1, 336, 1, 16, Outline);
    Fill(0, 353, 1, 1, Outline);
    char number[8];
    for (int32_t i = 0; i < 18; ++i) {
        const int32_t row = static_cast<int32_t>((static_cast<uint32_t>(step) + i) & 63);
        const int32_t y = 15 * i + 202;
        const int colour = row % 4 == 0 ? 1 : 2;
        std::snprintf(number, sizeof number, "%02x", static_cast<unsigned>(row));
        Text(number, 4, y, colour);
        Text(number, width - 27, y, colour);
        Text(FFX_PatternLine(row), 32, y, 2);
    }
}
