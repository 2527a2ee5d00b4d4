// Frames as an endlessly looping animated GIF that keeps every pixel's colour exactly: one
// colour table for the scene's handful of colours, and of each frame only the rectangle that
// changed since the one before.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/output_file.h"

struct GifFileType;

struct GifAnimation {
    OutputFile file;               // the .gif being written, renamed into place by GIF_Finish
    GifFileType *gif;              // giflib's encoder, null until the first frame
    int32_t width, height;         // every frame's size
    int32_t fps;                   // frames a second, for the delays
    uint64_t frames;               // frames written so far
    std::vector<uint32_t> shown;   // what a viewer shows after the last frame, as 0x00RRGGBB
    std::vector<uint32_t> colours; // the colour of each index so far, as 0x00RRGGBB
    int32_t globalColours;         // the first frame's colours, which the global table holds
    std::vector<uint8_t> indices;  // one changed rectangle's pixels as colour indices
    std::string failure;           // what went wrong, for the message
};

// Frame k is shown from round(100 k / fps) to round(100 (k + 1) / fps) hundredths of a second,
// so the delays stay whole hundredths and never drift from the clock.
int32_t GIF_Delay(uint64_t frame, int32_t fps);
// Opens the file; false with the reason in `failure`.
bool GIF_Begin(GifAnimation *animation, const std::string &path, int32_t width, int32_t height,
               int32_t fps);
// Appends one frame of 0xAARRGGBB words; the top byte carries no colour and is not kept.
bool GIF_AddFrame(GifAnimation *animation, const uint32_t *frame);
// Ends the file and renames it into place; on failure nothing is left behind.
bool GIF_Finish(GifAnimation *animation);
// Drops the unfinished file, after a failure elsewhere.
void GIF_Abandon(GifAnimation *animation);
