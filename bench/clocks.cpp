// The clock values every frame benchmark cycles through, shared by tracker-bench and
// tracker-bench-render so that both time the same frames.
#include "bench.h"

const float BENCH_Clocks[] = {0.35f,  1.05f,  2.37f,  3.3f,   4.75f,  5.9f,    7.15f,    9.99f,
                              13.4f,  27.3f,  61.7f,  128.25f, 600.5f, 1234.5f, 12345.9f, 99999.9f};
const size_t BENCH_ClockCount = sizeof BENCH_Clocks / sizeof BENCH_Clocks[0];
