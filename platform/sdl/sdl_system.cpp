// The failure message box and the two millisecond clocks on SDL2.
#include <cstdio>
#include <cstring>

#include "platform/sdl/sdl_platform.h"

static const UINT MB_ICONMASK_VALUE = 0x000000F0;
static const UINT MB_ICONHAND_VALUE = 0x00000010;
static const UINT MB_ICONASTERISK_VALUE = 0x00000040;
static const int IDOK_VALUE = 1;

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    if (!text)
        text = "";
    if (!caption)
        caption = "Error";  // Windows' own caption when none is given
    Uint32 flags = 0;
    switch (type & MB_ICONMASK_VALUE) {
    case MB_ICONHAND_VALUE: flags = SDL_MESSAGEBOX_ERROR; break;
    case MB_ICONEXCLAMATION: flags = SDL_MESSAGEBOX_WARNING; break;
    case MB_ICONASTERISK_VALUE: flags = SDL_MESSAGEBOX_INFORMATION; break;
    }
    if (SDL_ShowSimpleMessageBox(flags, caption, text, PSDL_SdlWindow(owner)) != 0) {
        // No display to show a box on: the message still reaches whoever started the program.
        size_t length = strlen(text);
        bool endsLine = length > 0 && text[length - 1] == '\n';
        fprintf(stderr, "%s: %s%s", caption, text, endsLine ? "" : "\n");
        fflush(stderr);
    }
    return IDOK_VALUE;
}

// Both clocks count milliseconds in 32 bits and wrap, as Windows' do.
DWORD WINAPI timeGetTime(void)
{
    return (DWORD)SDL_GetTicks64();
}

DWORD WINAPI GetTickCount(void)
{
    return (DWORD)SDL_GetTicks64();
}
