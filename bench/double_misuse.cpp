// The scripted host's loud failure, for the bench: said on standard error and remembered, so
// set-up can refuse to measure a program that did not run as it should.
#include <cstdio>

#include "bench.h"
#include "platform_double.h"

static bool Misused;  // the double reported a misuse or an unexpected call

void DBL_ReportMisuse(const std::string &why)
{
    std::fprintf(stderr, "%s\n", why.c_str());
    Misused = true;
}

bool BENCH_DoubleMisused() { return Misused; }
