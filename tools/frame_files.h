// A rendered frame as the files tracker-render writes: PNG for viewing, raw words for comparing.
#pragma once

#include <cstdint>
#include <string>

#include "tools/output_file.h"

// The frame as 8-bit RGB; the top byte of each word carries no colour and is dropped.
bool IMG_WritePng(OutputFile *file, const uint32_t *frame, int32_t width, int32_t height);
// The frame's words exactly as drawn, little-endian whatever the host, top byte included.
bool IMG_WriteRaw(OutputFile *file, const uint32_t *frame, size_t pixels);
// "frame-NNNN" for frame `index` of `count`: at least four digits, and as many as the last
// frame's number needs, so that the names sort in frame order.
std::string IMG_FrameName(uint64_t index, uint64_t count);
