// The per-frame path (render, present, flip) against the platform double, the plain fill and
// copy of a frame's bytes that it is measured against, and the SDL2 peer.
#include <benchmark/benchmark.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench.h"
#include "display/display.h"
#include "platform_double.h"
#include "scene/scene.h"
#include "shell/shell.h"
#include "text/text.h"

static const size_t FramePixels = static_cast<size_t>(DisplayConfig.width) * DisplayConfig.height;
static const LONG RowPitch = DisplayConfig.width * 4;

uint32_t *BENCH_Frame()
{
    return static_cast<uint32_t *>(FrameBuffer);
}

bool BENCH_SetUp(int32_t pitch, std::string *error)
{
    if (pitch < RowPitch || pitch % 4 != 0) {
        *error = "pitch " + std::to_string(pitch) + " is not a whole number of pixels at least a row long";
        return false;
    }
    for (size_t i = 0; i < BENCH_ClockCount; ++i) {
        if ((static_cast<int32_t>(static_cast<double>(BENCH_Clocks[i]) * 10.0) & 63) == 0) {
            *error = "clock " + std::to_string(BENCH_Clocks[i]) + " lies in a generation window";
            return false;
        }
    }
    // The double stops a run after a million calls or ten thousand flips and logs every call;
    // a bench makes millions, so no limits, and only the latest calls are kept.
    DBL_SetCallLimit(LONG_MAX);
    DBL_SetFrameLimit(INT_MAX);
    DBL_SetLogLimit(1024);
    // The back buffer is made once per process, at this pitch.
    DBL_SetPitch(static_cast<LONG>(pitch));
    if (!WIN_Init(DBL_Instance(), 10)) {
        *error = "WIN_Init failed";
        return false;
    }
    FrameBuffer = std::calloc(FramePixels, 4);
    if (FrameBuffer == nullptr) {
        *error = "no frame memory";
        return false;
    }
    if (!DDRAW_Init(DisplayConfig.width, DisplayConfig.height, 32, Window) || !FFX_Init(BENCH_Frame())) {
        *error = "display or scene set-up failed";
        return false;
    }
    FFX_Render(BENCH_Frame(), 0.0f);
    if (BENCH_DoubleMisused()) {
        *error = "the platform double reported an unexpected call";
        return false;
    }
    return true;
}

// True when the back buffer's rows hold the frame exactly.
static bool BackBufferHoldsFrame()
{
    const uint8_t *frame = reinterpret_cast<const uint8_t *>(BENCH_Frame());
    for (int32_t y = 0; y < DisplayConfig.height; ++y) {
        if (std::memcmp(DBL_BackBuffer() + static_cast<size_t>(y) * DBL_Pitch(),
                        frame + static_cast<size_t>(y) * RowPitch, RowPitch) != 0)
            return false;
    }
    return true;
}

// Renders a frame per iteration, cycling through the bench's clock values.
static void RenderEachClock(benchmark::State &state)
{
    uint32_t *frame = BENCH_Frame();
    size_t next = 0;
    for (auto _ : state) {
        FFX_Render(frame, BENCH_Clocks[next]);
        next = (next + 1) % BENCH_ClockCount;
        benchmark::ClobberMemory();
    }
}

static void BM_Render(benchmark::State &state)
{
    RenderEachClock(state);
}
BENCHMARK(BM_Render)->Unit(benchmark::kMicrosecond);

// The same frames by the narrow store path, which every x86 processor runs: what the wide path
// gains, and what a processor without AVX2 gets.
static void BM_RenderNarrow(benchmark::State &state)
{
    const bool wide = GFX_WideStores;
    GFX_WideStores = false;
    RenderEachClock(state);
    GFX_WideStores = wide;
}
BENCHMARK(BM_RenderNarrow)->Unit(benchmark::kMicrosecond);

// Step 64: every frame of this tenth of a second generates all 64 lines anew.
static void BM_RenderGeneration(benchmark::State &state)
{
    uint32_t *frame = BENCH_Frame();
    for (auto _ : state) {
        FFX_Render(frame, 6.45f);
        benchmark::ClobberMemory();
    }
    // Leave the text of an ordinary frame for the benchmarks that follow.
    FFX_Render(frame, 0.0f);
}
BENCHMARK(BM_RenderGeneration)->Unit(benchmark::kMicrosecond);

static void BM_Present(benchmark::State &state)
{
    FFX_Render(BENCH_Frame(), BENCH_Clocks[0]);
    DDRAW_Present();
    if (!BackBufferHoldsFrame()) {
        state.SkipWithError("the back buffer does not hold the frame");
        return;
    }
    for (auto _ : state) {
        DDRAW_Present();
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * FramePixels * 4);
}
void BENCH_RegisterPresent()
{
    benchmark::RegisterBenchmark(("BM_Present/" + std::to_string(DBL_Pitch())).c_str(), BM_Present)
        ->Unit(benchmark::kMicrosecond);
}

static void BM_Frame(benchmark::State &state)
{
    FPS_SetVisible(1);
    uint32_t *frame = BENCH_Frame();
    size_t next = 0;
    for (auto _ : state) {
        FFX_Render(frame, BENCH_Clocks[next]);
        DDRAW_Present();
        DDRAW_Flip();
        next = (next + 1) % BENCH_ClockCount;
    }
    FPS_SetVisible(0);
}
BENCHMARK(BM_Frame)->Unit(benchmark::kMicrosecond);

// The floor: a frame's bytes written once. The library's memset is the fastest plain fill here
// (std::fill of a colour word, vectorised for the baseline instruction set, is slower).
static void BM_FrameFill(benchmark::State &state)
{
    std::vector<uint32_t> target(FramePixels);
    for (auto _ : state) {
        std::memset(target.data(), 0x60, FramePixels * 4);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * FramePixels * 4);
}
BENCHMARK(BM_FrameFill)->Unit(benchmark::kMicrosecond);

static void BM_FrameCopy(benchmark::State &state)
{
    std::vector<uint32_t> source(FramePixels, 0xFF607080u), target(FramePixels);
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), FramePixels * 4);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * FramePixels * 4);
}
BENCHMARK(BM_FrameCopy)->Unit(benchmark::kMicrosecond);

static void BM_PeerSdlSoftware(benchmark::State &state)
{
    std::string error;
    if (!PEER_Init(&error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    // The peer must draw the very picture the scene draws, or the comparison means nothing.
    for (size_t i = 0; i < BENCH_ClockCount; ++i) {
        FFX_Render(BENCH_Frame(), BENCH_Clocks[i]);
        PEER_Draw(BENCH_Clocks[i]);
        for (int32_t y = 0; y < DisplayConfig.height; ++y) {
            if (std::memcmp(PEER_Pixels() + static_cast<size_t>(y) * PEER_PitchPixels(),
                            BENCH_Frame() + static_cast<size_t>(y) * DisplayConfig.width,
                            RowPitch) != 0) {
                state.SkipWithError("the SDL peer draws a different picture");
                return;
            }
        }
    }
    size_t next = 0;
    for (auto _ : state) {
        PEER_Draw(BENCH_Clocks[next]);
        next = (next + 1) % BENCH_ClockCount;
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_PeerSdlSoftware)->Unit(benchmark::kMicrosecond);
