// The scene's palette of colour words, 0xAARRGGBB. Black comes in two forms and both show black.
#pragma once

#include <cstdint>

static const uint32_t ColourPanel = 0xFF607080;      // panel, position-box bar, highlight bar
static const uint32_t ColourListHeader = 0xFF808080;
static const uint32_t ColourBackground = 0xFF000000;  // lists, position box, pattern area
static const uint32_t ColourBlack = 0x00000000;       // outlines, labels, scope backgrounds
static const uint32_t ColourWhite = 0xFFFFFFFF;       // list text, traces, every fourth row number
static const uint32_t ColourPale = 0xFFFFFFC0;        // pattern text and the other row numbers
