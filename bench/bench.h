// What the bench's files share: the program state set up once, the clocks every frame benchmark
// cycles through, and the SDL2 peer that draws the same picture with SDL's own routines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Brings the program up against the platform double the way WinMain does (window, frame memory,
// display, scene) and renders one generation frame so later frames draw full pattern lines.
// The back buffer rows lie `pitch` bytes apart. On failure returns false with the reason in `error`.
bool BENCH_SetUp(int32_t pitch, std::string *error);
// Adds BM_Present at the back buffer's pitch (the display makes its surfaces once per process).
void BENCH_RegisterPresent();
// True once the scripted host has reported a misuse or an unexpected call.
bool BENCH_DoubleMisused();
// The shell's frame memory, as the frame loop renders into it.
uint32_t *BENCH_Frame();

// Clock values spread over the run, none inside a pattern generation window.
extern const float BENCH_Clocks[];
extern const size_t BENCH_ClockCount;

// The peer: a 640 x 480 x 32 SDL surface and one colour-keyed 8 x 16 surface per glyph and
// text colour, made from the program's Font table. False with the reason if SDL refuses.
bool PEER_Init(std::string *error);
// The whole picture for `seconds`, drawn with SDL_FillRect and SDL_BlitSurface only.
void PEER_Draw(float seconds);
// The surface's pixels and its pitch in pixels.
const uint32_t *PEER_Pixels();
int32_t PEER_PitchPixels();
