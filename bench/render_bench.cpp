// tracker-bench-render: the scene's render alone against a memset of the frame, with nothing but
// the standard library, so the same source runs natively and as WebAssembly under node and the
// two can be compared in one run. It also prints a hash of the frames it timed, which must be the
// same on every target.
// Usage: tracker-bench-render [REPETITIONS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench.h"
#include "scene/scene.h"

static const size_t FramePixels = static_cast<size_t>(DisplayConfig.width) * DisplayConfig.height;

// Keeps the compiler from dropping stores that nothing else reads.
static volatile uint32_t Sink;

static double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Seconds per call of `step`, the median over `repetitions` rounds of about 0.2 s each, after a
// warm-up round (which also lets WebAssembly engines finish compiling the optimised code).
template <typename Step>
static double MedianSeconds(int repetitions, Step step)
{
    size_t calls = 1;
    for (double spent = 0.0; spent < 0.2; calls *= 2) {
        const double start = Now();
        for (size_t i = 0; i < calls; ++i)
            step(i);
        spent = Now() - start;
    }
    std::vector<double> rounds;
    for (int r = 0; r < repetitions; ++r) {
        const double start = Now();
        for (size_t i = 0; i < calls; ++i)
            step(i);
        rounds.push_back((Now() - start) / static_cast<double>(calls));
    }
    std::sort(rounds.begin(), rounds.end());
    return rounds[rounds.size() / 2];
}

// FNV-1a over the frame's words.
static uint64_t Hash(uint64_t hash, const uint32_t *pixels)
{
    for (size_t i = 0; i < FramePixels; ++i) {
        hash ^= pixels[i];
        hash *= 0x100000001b3ull;
    }
    return hash;
}

int main(int argc, char **argv)
{
    int repetitions = 7;
    if (argc > 2 || (argc == 2 && (repetitions = std::atoi(argv[1])) < 1)) {
        std::fprintf(stderr, "usage: tracker-bench-render [REPETITIONS]  (a whole number, at least 1)\n");
        return 2;
    }
    std::vector<uint32_t> frame(FramePixels);
    if (!FFX_Init(frame.data())) {
        std::fprintf(stderr, "tracker-bench-render: the scene's set-up failed\n");
        return 1;
    }
    // A generation frame first, as the running program draws, so later frames have pattern text.
    FFX_Render(frame.data(), 0.0f);
    uint64_t hash = 0xcbf29ce484222325ull;
    for (size_t i = 0; i < BENCH_ClockCount; ++i) {
        FFX_Render(frame.data(), BENCH_Clocks[i]);
        hash = Hash(hash, frame.data());
    }

    const double render = MedianSeconds(repetitions, [&](size_t i) {
        FFX_Render(frame.data(), BENCH_Clocks[i % BENCH_ClockCount]);
        Sink = frame[i % FramePixels];
    });
    const double fill = MedianSeconds(repetitions, [&](size_t i) {
        std::memset(frame.data(), 0x60 + static_cast<int>(i & 1), FramePixels * 4);
        Sink = frame[i % FramePixels];
    });
    std::printf("frames %016llx\n", static_cast<unsigned long long>(hash));
    std::printf("render_us %.2f\n", render * 1e6);
    std::printf("memset_us %.2f\n", fill * 1e6);
    std::printf("render/memset %.2f  (medians of %d rounds)\n", render / fill, repetitions);
    return 0;
}
