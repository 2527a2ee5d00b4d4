// Compiled on the Windows build only, never run: every value the project declares for the
// other platforms must equal the real headers' (the shell and display prove the calls).
#include "platform/platform.h"
#include "platform/win32_values.h"

#define PLATFORM_CHECK(type, name, value) \
    static_assert(name == (type)(value), #name " differs from the Windows headers");
WIN32_PROGRAM_VALUES(PLATFORM_CHECK)
WIN32_EMULATION_VALUES(PLATFORM_CHECK)

static_assert(RGB(255, 255, 255) == 0x00FFFFFF && RGB(0x12, 0x34, 0x56) == 0x00563412, "colours");
static_assert(sizeof(DWORD) == 4 && sizeof(LONG) == 4 && sizeof(COLORREF) == 4, "widths");
