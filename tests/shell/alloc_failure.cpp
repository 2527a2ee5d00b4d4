// Allocation failures on demand: the test binaries link with --wrap for malloc and calloc, so
// the program's own allocations pass through here (the library's internal ones do not).
// Fresh malloc memory is poisoned: memory straight from the system is zero, and a test must not
// take that for memory the program cleared itself.
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>

extern "C" void *__real_malloc(size_t bytes);
extern "C" void *__real_calloc(size_t count, size_t bytes);

static size_t FailBytes;  // the size of allocation to fail, 0 for none
static int FailSkip;      // allocations of that size still to let through first

void FailAllocation(size_t bytes, int skip)
{
    FailBytes = bytes;
    FailSkip = skip;
}

static bool ShouldFail(size_t bytes)
{
    if (FailBytes == 0 || bytes != FailBytes)
        return false;
    if (FailSkip-- > 0)
        return false;
    FailBytes = 0;
    return true;
}

extern "C" void *__wrap_malloc(size_t bytes)
{
    // As the real allocator fails: null, with errno saying why.
    if (ShouldFail(bytes)) {
        errno = ENOMEM;
        return nullptr;
    }
    void *memory = __real_malloc(bytes);
    if (memory)
        std::memset(memory, 0xA5, bytes);
    return memory;
}

extern "C" void *__wrap_calloc(size_t count, size_t bytes)
{
    if (ShouldFail(count * bytes)) {
        errno = ENOMEM;
        return nullptr;
    }
    return __real_calloc(count, bytes);
}
