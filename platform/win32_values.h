// Every Windows constant the project declares, once, with its Windows value: platform.h turns
// the program's list into declarations outside Windows, the emulation core adds its own list,
// and platform_check.cpp compares both lists with the real headers on the Windows build.
// Each entry is X(type, name, value); the file includes nothing.
#pragma once

// The values the program itself uses; the DirectDraw results by name, for its failure reasons.
#define WIN32_PROGRAM_VALUES(X)                            \
    X(UINT, WM_DESTROY, 0x0002)                            \
    X(UINT, WM_CLOSE, 0x0010)                              \
    X(UINT, WM_QUIT, 0x0012)                               \
    X(UINT, WM_ACTIVATEAPP, 0x001C)                        \
    X(UINT, WM_SETCURSOR, 0x0020)                          \
    X(UINT, WM_KEYDOWN, 0x0100)                            \
    X(UINT, WM_SYSCOMMAND, 0x0112)                         \
    X(WPARAM, VK_ESCAPE, 0x1B)                             \
    X(WPARAM, VK_SPACE, 0x20)                              \
    X(WPARAM, SC_CLOSE, 0xF060)                            \
    X(WPARAM, SC_SCREENSAVE, 0xF140)                       \
    X(WPARAM, SC_MONITORPOWER, 0xF170)                     \
    X(UINT, CS_VREDRAW, 0x0001)                            \
    X(UINT, CS_HREDRAW, 0x0002)                            \
    X(DWORD, WS_POPUP, 0x80000000u)                        \
    X(UINT, PM_NOREMOVE, 0x0000)                           \
    X(UINT, MB_OK, 0x00000000)                             \
    X(UINT, MB_ICONEXCLAMATION, 0x00000030)                \
    X(int, SM_CXSCREEN, 0)                                 \
    X(int, SM_CYSCREEN, 1)                                 \
    X(int, SW_RESTORE, 9)                                  \
    X(int, TRANSPARENT, 1)                                 \
    X(DWORD, DDSCL_FULLSCREEN, 0x00000001)                 \
    X(DWORD, DDSCL_EXCLUSIVE, 0x00000010)                  \
    X(DWORD, DDSCL_ALLOWMODEX, 0x00000040)                 \
    X(DWORD, DDSD_CAPS, 0x00000001)                        \
    X(DWORD, DDSD_BACKBUFFERCOUNT, 0x00000020)             \
    X(DWORD, DDSCAPS_BACKBUFFER, 0x00000004)               \
    X(DWORD, DDSCAPS_COMPLEX, 0x00000008)                  \
    X(DWORD, DDSCAPS_FLIP, 0x00000010)                     \
    X(DWORD, DDSCAPS_PRIMARYSURFACE, 0x00000200)           \
    X(HRESULT, DD_OK, 0)                                   \
    X(HRESULT, DDERR_SURFACELOST, 0x887601C2)              \
    X(HRESULT, DDERR_WASSTILLDRAWING, 0x8876021C)          \
    X(HRESULT, DDERR_UNSUPPORTED, 0x80004001)              \
    X(HRESULT, DDERR_GENERIC, 0x80004005)                  \
    X(HRESULT, DDERR_INVALIDPARAMS, 0x80070057)            \
    X(HRESULT, DDERR_INVALIDMODE, 0x88760078)              \
    X(HRESULT, DDERR_NOEXCLUSIVEMODE, 0x887600E1)          \
    X(HRESULT, DDERR_NOTFOUND, 0x887600FF)                 \
    X(HRESULT, DDERR_SURFACEBUSY, 0x887601AE)              \
    X(HRESULT, DDERR_NODIRECTDRAWHW, 0x88760233)           \
    X(HRESULT, DDERR_PRIMARYSURFACEALREADYEXISTS, 0x88760234) \
    X(HRESULT, DDERR_NOTLOCKED, 0x88760248)                \
    X(HRESULT, DDERR_NODC, 0x8876024A)                     \
    X(HRESULT, DDERR_WRONGMODE, 0x8876024B)                \
    X(HRESULT, DDERR_IMPLICITLYCREATED, 0x8876024C)        \
    X(HRESULT, DDERR_DCALREADYCREATED, 0x8876026C)         \
    X(HRESULT, DDERR_OUTOFMEMORY, 0x8007000E)              \
    X(HRESULT, DDERR_INVALIDOBJECT, 0x88760082)            \
    X(HRESULT, DDERR_OUTOFVIDEOMEMORY, 0x8876017C)         \
    X(HRESULT, DDERR_EXCLUSIVEMODEALREADYSET, 0x88760245)  \
    X(HRESULT, DDERR_UNSUPPORTEDMODE, 0x8876024E)

// The values only the emulation of those services needs: its answers and its refusals.
#define WIN32_EMULATION_VALUES(X)                          \
    X(UINT, WM_MOUSEMOVE, 0x0200)                          \
    X(UINT, PM_REMOVE, 0x0001)                             \
    X(int, SW_HIDE, 0)                                     \
    X(int, SW_SHOWDEFAULT, 10)                             \
    X(int, OPAQUE, 2)                                      \
    X(int, IDOK, 1)                                        \
    X(LRESULT, HTCLIENT, 1)                                \
    X(UINT, MB_ICONHAND, 0x00000010)                       \
    X(UINT, MB_ICONASTERISK, 0x00000040)                   \
    X(UINT, MB_ICONMASK, 0x000000F0)                       \
    X(COLORREF, CLR_INVALID, 0xFFFFFFFF)
