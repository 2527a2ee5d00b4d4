// The heap as a long run sees it: bytes in use, and how often the code linked into the test
// (the program above all) called malloc or calloc.
#pragma once

#include <cstddef>

// Bytes the process's heap holds for live allocations.
size_t HeapInUse();
// malloc and calloc calls so far from the objects linked into the test binary: the program,
// the double and the test itself; shared libraries allocate past this count.
long WrappedAllocations();
// Under AddressSanitizer: whether `block` came from its allocator with exactly `bytes` bytes,
// so the poisoned zone begins right behind them. Elsewhere: false.
bool SanitizerGuards(const void *block, size_t bytes);
// Whether this build runs under AddressSanitizer.
bool UnderSanitizer();
