// The Windows and DirectDraw services the shell and the display call, by their Windows names.
// On Windows these are the real headers; elsewhere this declares exactly the part the program
// uses, with the Windows values, and the build links the emulation core under one host (SDL2,
// or the tests' scripted host).
#pragma once

#ifdef _WIN32

#include <windows.h>
#include <mmsystem.h>
#include <ddraw.h>

#else

#include <cstddef>
#include <cstdint>

#include "platform/win32_values.h"

// Calling conventions only mean something on 32-bit Windows.
#define WINAPI
#define CALLBACK

typedef int BOOL;
typedef unsigned int UINT;
typedef uint16_t ATOM;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef LONG HRESULT;
typedef unsigned long ULONG;
typedef DWORD COLORREF;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef char *LPSTR;
typedef const char *LPCSTR;
typedef void *HANDLE;

// Distinct handle types, as Windows declares them with STRICT.
typedef struct HINSTANCE__ *HINSTANCE;
typedef struct HWND__ *HWND;
typedef struct HDC__ *HDC;
typedef struct HICON__ *HICON;
typedef HICON HCURSOR;
typedef struct HBRUSH__ *HBRUSH;
typedef struct HMENU__ *HMENU;

typedef LRESULT (CALLBACK *WNDPROC)(HWND, UINT, WPARAM, LPARAM);

struct WNDCLASSA {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
};

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
typedef GUID IID;
typedef const IID &REFIID;

// Only ever passed as NULL (no aggregation).
struct IUnknown;

#define RGB(r, g, b) \
    ((COLORREF)((DWORD)(uint8_t)(r) | ((DWORD)(uint8_t)(g) << 8) | ((DWORD)(uint8_t)(b) << 16)))

// Every constant the program uses, with its Windows value.
#define PLATFORM_CONSTANT(type, name, value) inline constexpr type name = (type)(value);
WIN32_PROGRAM_VALUES(PLATFORM_CONSTANT)
#undef PLATFORM_CONSTANT

// Resource identifiers are small numbers in a pointer, as MAKEINTRESOURCE makes them.
#define IDI_APPLICATION ((LPSTR)(uintptr_t)32512)
#define IDC_ARROW ((LPSTR)(uintptr_t)32512)

struct DDSCAPS2 {
    DWORD dwCaps;
};

struct DDSURFACEDESC2 {
    DWORD dwSize;
    DWORD dwFlags;
    LONG lPitch;
    DWORD dwBackBufferCount;
    void *lpSurface;
    DDSCAPS2 ddsCaps;
};

struct IDirectDrawSurface7 {
    virtual HRESULT Flip(IDirectDrawSurface7 *lpDDSurfaceTargetOverride, DWORD dwFlags) = 0;
    virtual HRESULT GetAttachedSurface(DDSCAPS2 *lpDDSCaps,
                                       IDirectDrawSurface7 **lplpDDAttachedSurface) = 0;
    virtual HRESULT GetDC(HDC *lphDC) = 0;
    virtual HRESULT Lock(RECT *lpDestRect, DDSURFACEDESC2 *lpDDSurfaceDesc, DWORD dwFlags,
                         HANDLE hEvent) = 0;
    virtual HRESULT ReleaseDC(HDC hDC) = 0;
    virtual HRESULT Restore() = 0;
    virtual HRESULT Unlock(RECT *lpSurfaceData) = 0;
    virtual ULONG Release() = 0;

protected:
    ~IDirectDrawSurface7() = default;
};

struct IDirectDraw7 {
    virtual HRESULT CreateSurface(DDSURFACEDESC2 *lpDDSurfaceDesc,
                                  IDirectDrawSurface7 **lplpDDSurface, IUnknown *pUnkOuter) = 0;
    virtual HRESULT SetCooperativeLevel(HWND hWnd, DWORD dwFlags) = 0;
    virtual HRESULT SetDisplayMode(DWORD dwWidth, DWORD dwHeight, DWORD dwBPP,
                                   DWORD dwRefreshRate, DWORD dwFlags) = 0;
    virtual ULONG Release() = 0;

protected:
    ~IDirectDraw7() = default;
};

extern const IID IID_IDirectDraw7;

// The services have C linkage, as Windows' own declarations give them.
extern "C" {

// USER32
ATOM WINAPI RegisterClassA(const WNDCLASSA *lpWndClass);
HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName,
                            DWORD dwStyle, int X, int Y, int nWidth, int nHeight,
                            HWND hWndParent, HMENU hMenu, HINSTANCE hInstance, void *lpParam);
BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow);
BOOL WINAPI UpdateWindow(HWND hWnd);
HWND WINAPI SetFocus(HWND hWnd);
HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName);
HCURSOR WINAPI LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName);
int WINAPI GetSystemMetrics(int nIndex);
BOOL WINAPI PeekMessageA(MSG *lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                         UINT wRemoveMsg);
BOOL WINAPI GetMessageA(MSG *lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax);
BOOL WINAPI TranslateMessage(const MSG *lpMsg);
LRESULT WINAPI DispatchMessageA(const MSG *lpMsg);
BOOL WINAPI WaitMessage(void);
LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
void WINAPI PostQuitMessage(int nExitCode);
HCURSOR WINAPI SetCursor(HCURSOR hCursor);
int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);

// WINMM and KERNEL32
DWORD WINAPI timeGetTime(void);
DWORD WINAPI GetTickCount(void);

// GDI32
int WINAPI SetBkMode(HDC hdc, int mode);
COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color);
BOOL WINAPI TextOutA(HDC hdc, int x, int y, LPCSTR lpString, int c);

// DDRAW
HRESULT WINAPI DirectDrawCreateEx(GUID *lpGuid, void **lplpDD, REFIID iid, IUnknown *pUnkOuter);

}  // extern "C"

// The program's entry, defined by the shell; the platform's main calls it.
int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow);

#endif
