// Compiled on the Windows builds only, 32 and 64-bit, never run: every value the project
// declares for the other platforms must equal the real headers' (the shell and display prove
// the calls).
#include <type_traits>

#include "platform/platform.h"
#include "platform/win32_values.h"

#define PLATFORM_CHECK(type, name, value) \
    static_assert(name == (type)(value), #name " differs from the Windows headers");
WIN32_PROGRAM_VALUES(PLATFORM_CHECK)
WIN32_EMULATION_VALUES(PLATFORM_CHECK)

static_assert(RGB(255, 255, 255) == 0x00FFFFFF && RGB(0x12, 0x34, 0x56) == 0x00563412, "colours");
static_assert(sizeof(DWORD) == 4 && sizeof(LONG) == 4 && sizeof(COLORREF) == 4, "widths");

// Elsewhere these are uintptr_t and intptr_t: the real ones must be pointer-wide, with the same
// sign, in both widths, or a message's parameters would be cut short on one of them.
static_assert(sizeof(WPARAM) == sizeof(void *) && std::is_unsigned<WPARAM>::value, "WPARAM");
static_assert(sizeof(LPARAM) == sizeof(void *) && std::is_signed<LPARAM>::value, "LPARAM");
static_assert(sizeof(LRESULT) == sizeof(void *) && std::is_signed<LRESULT>::value, "LRESULT");
static_assert(std::is_same<WNDPROC, LRESULT(CALLBACK *)(HWND, UINT, WPARAM, LPARAM)>::value,
              "window procedures");
