// The malloc/calloc wrap (the test binaries link with --wrap for both) and heap figures, from
// the sanitizer's allocator when there is one, else from glibc.
#include "heap.h"

#include <malloc.h>

#if defined(__SANITIZE_ADDRESS__)
#define TRACKER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TRACKER_ASAN 1
#endif
#endif

#ifdef TRACKER_ASAN
// The sanitizer runtime's allocator interface; GCC installs the runtime but not its header.
extern "C" size_t __sanitizer_get_current_allocated_bytes();
extern "C" int __sanitizer_get_ownership(const volatile void *block);
extern "C" size_t __sanitizer_get_allocated_size(const volatile void *block);
#endif

extern "C" void *__real_malloc(size_t bytes);
extern "C" void *__real_calloc(size_t count, size_t bytes);

static long Allocations;  // calls through the two wraps

extern "C" void *__wrap_malloc(size_t bytes)
{
    ++Allocations;
    return __real_malloc(bytes);
}

extern "C" void *__wrap_calloc(size_t count, size_t bytes)
{
    ++Allocations;
    return __real_calloc(count, bytes);
}

long WrappedAllocations()
{
    return Allocations;
}

#ifdef TRACKER_ASAN
size_t HeapInUse()
{
    return __sanitizer_get_current_allocated_bytes();
}

bool SanitizerGuards(const void *block, size_t bytes)
{
    return __sanitizer_get_ownership(block) && __sanitizer_get_allocated_size(block) == bytes;
}

bool UnderSanitizer()
{
    return true;
}
#else
size_t HeapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

bool SanitizerGuards(const void *, size_t)
{
    return false;
}

bool UnderSanitizer()
{
    return false;
}
#endif
