// The platform for the unit tests of shell/ and display/: the emulation core (the same code the
// Linux program runs) under a scripted host, with a recorder between the program and the core.
// Link tracker-platform-double instead of tracker-platform.
//
// The script: messages posted by the test, the two clocks, hooks run on given calls, calls made
// to fail (or Flip to answer busy), lost surfaces, the back buffer's pitch, screen memory that
// moves and presents that find the screen gone; the screen is 1920 x 1080. Everything not
// scripted behaves as the core does, and every call the program makes is logged.
//
// Unexpected calls: a call the core refuses because the program broke the rules (unregistered
// class, unknown window, Lock of a locked surface, Unlock without Lock, a wrong dwSize, a device
// context used after ReleaseDC, ...) reports a non-fatal GoogleTest failure and returns the
// core's failure result. A call that would block or loop for ever (GetMessageA or WaitMessage
// on an empty queue once the call's hook has run, more Flips than the frame limit, more calls
// than the call limit) reports a failure and throws DBL_Stop, which unwinds out of WinMain into
// the test. A test that wants to end a run itself throws DBL_Stop from a hook, without a failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/platform.h"

// Reports a misuse of the double or an unexpected call, loudly. Supplied by what links the double:
// a GoogleTest failure in the tests (platform_double_gtest.cpp), a message in the bench.
void DBL_ReportMisuse(const std::string &why);

// Thrown to end a run of the program (see above).
struct DBL_Stop : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One call of a window procedure, in the order the calls began.
struct DBL_ProcCall {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result;   // filled in when the procedure returns
    bool dispatched;  // true: from DispatchMessageA; false: sent by default processing
};

// Every byte of the back buffer beyond each row's width * 4 bytes, when it is made.
inline constexpr uint8_t DBL_PAD = 0xA5;
// Every byte of the back buffer's rows, when it is made.
inline constexpr uint8_t DBL_FILL = 0xCD;
// What a DirectDraw call made to fail with DBL_Fail returns (DDERR_GENERIC).
inline constexpr HRESULT DBL_FAILED = (HRESULT)0x80004005;

// --- The script ---

// Posts a message to the program's window (the first one created, looked up when the program
// reads the message). Nothing arrives on its own: where Windows would send WM_ACTIVATEAPP on
// ShowWindow, the test posts it. A posted WM_QUIT goes to no window and arrives in its turn;
// the program's PostQuitMessage arrives only once no other message waits, as on Windows.
void DBL_Post(UINT message, WPARAM wParam, LPARAM lParam);
// The host's milliseconds behind timeGetTime until changed, 0 at start; the core wraps them to
// 32 bits, and DBL_Time reads them so. The clocks stand still on their own.
void DBL_SetTime(uint64_t milliseconds);
DWORD DBL_Time();
// The same for GetTickCount, a clock of its own so the two can wrap at different moments.
void DBL_SetTick(uint64_t milliseconds);
DWORD DBL_Tick();
// Runs `hook` on every call of the named service ("Flip", "timeGetTime", "WaitMessage", ...),
// after the call is logged and counted and before it takes effect, so the hook can post a
// message the call will see, move a clock the call will read, or arm a failure for this very
// call. One hook per name; an empty function removes it.
void DBL_OnCall(const std::string &name, std::function<void()> hook);
// The next `times` calls of the named service fail: 0/NULL/FALSE as Windows reports failure
// (GetMessageA -1, SetTextColor CLR_INVALID), DBL_FAILED for DirectDraw calls; a failed call
// changes nothing. Services that cannot fail (ShowWindow, DispatchMessageA, DefWindowProcA,
// PostQuitMessage, SetCursor, timeGetTime, GetTickCount) are refused with a failure.
void DBL_Fail(const std::string &name, int times);
// The same for a DirectDraw call, with the result to return, e.g.
// DBL_FailWith("Flip", 3, DDERR_WASSTILLDRAWING) for three busy answers.
void DBL_FailWith(const std::string &name, int times, HRESULT result);
// Loses both surfaces, as the host can: Lock, GetDC and Flip answer DDERR_SURFACELOST until
// the primary's Restore is called (the back buffer's Restore answers DDERR_IMPLICITLYCREATED).
void DBL_LoseSurfaces();
// From CreateSurface on, the host keeps the screen's pixels in memory of its own and offers it as
// the back buffer's place, as the SDL host does at scale 1; off by default (the back buffer is then
// the core's memory). The memory starts as CreateSurface leaves the back buffer (DBL_FILL, DBL_PAD)
// at DBL_SetPitch's pitch, and a present of any other place fails the test loudly.
void DBL_OfferScreenMemory();
// The window's size changed, as SDL reports it: the screen's memory is made anew at another place
// with rows `pitch` bytes apart (the old one is left for good), and both surfaces are lost, as the
// SDL host loses them. Pitch 0: the screen no longer offers its memory (the frame is now scaled).
void DBL_MoveScreen(LONG pitch);
// Where the screen keeps its pixels now, NULL when it offers none.
uint8_t *DBL_ScreenMemory();
// The next `times` presents find the screen gone and answer DDERR_SURFACELOST, as the browser's
// host does once its canvas went; the host loses nothing itself, so only the core can remember.
void DBL_LoseAtPresent(int times);
// How many frames the core presented (lost ones included), and the last one's pixels and pitch.
int DBL_Presents();
const uint8_t *DBL_Presented(LONG *pitch);
// The back buffer's pitch in bytes, at least the mode's width * 4; used by CreateSurface.
// Default 640 * 4 + 256, wider than a row so a copy that assumes 2560 shows.
void DBL_SetPitch(LONG pitch);
// Flip calls allowed (busy answers count); the next one stops the run. Default 10000.
void DBL_SetFrameLimit(int flips);
// Platform calls allowed in all; the next one stops the run. Default 1000000.
void DBL_SetCallLimit(long calls);
// Keeps only the latest calls in the log, at least `entries` and at most twice as many (0: none),
// so a run of a million frames holds bounded memory. Counts, hooks and the rest are unaffected.
// The whole log is kept by default.
void DBL_SetLogLimit(size_t entries);
// The module handle to pass to WinMain; logged as "instance". It has no icon resources.
HINSTANCE DBL_Instance();

// --- What happened ---

// Every call the program made, in order, as "Name(arguments)", a DirectDraw method's object
// first: handles by name (NULL, window, window2, ..., instance, dc, draw, primary, back,
// IDI_APPLICATION, IDC_ARROW), messages by name (WM_KEYDOWN) or in hex, flags, wParam and
// lParam in hex, sizes, positions and counts in decimal, strings quoted with \n and \" escapes,
// structures as {field=value,...}; out pointers are not shown. For example:
//   CreateWindowExA(0x0,"cname","cname",0x80000000,0,0,1920,1080,NULL,NULL,instance,NULL)
//   PeekMessageA(NULL,0,0,0x0)  DispatchMessageA(window,WM_KEYDOWN,0x1b,0x0)
//   MessageBoxA(window,"Video mode not found\n","Error",0x0)  TextOutA(dc,0,0,"12.5 fps",8)
//   CreateSurface(draw,{dwSize=124,dwFlags=0x21,dwBackBufferCount=1,ddsCaps.dwCaps=0x218},NULL)
//   Lock(back,NULL,{dwSize=124},0x0,NULL)  Flip(primary,NULL,0x0)  Restore(primary)
// dwSize is shown as passed: sizeof(DDSURFACEDESC2) is 124 on Windows only.
const std::vector<std::string> &DBL_Log();
// The log entries of one service, in order.
std::vector<std::string> DBL_Calls(const std::string &name);
// How many times the named service was called (inside its own hook: this call included).
int DBL_Count(const std::string &name);
// Every message passed to DispatchMessageA, WM_QUIT included.
const std::vector<MSG> &DBL_Dispatched();
// Every call of a window procedure made by the double, with its result.
const std::vector<DBL_ProcCall> &DBL_ProcCalls();
// The program's window (first created), NULL before; whether default processing destroyed it.
HWND DBL_Window();
bool DBL_WindowDestroyed();
// The window procedure registered for the program's window's class, NULL before.
WNDPROC DBL_WindowProc();
// Messages waiting in the queue, a pending WM_QUIT included.
size_t DBL_Pending();
// The back buffer (NULL before CreateSurface): DBL_Pitch() * its height bytes, to inspect.
// DBL_Pitch is the screen memory's pitch while the screen offers it, else DBL_SetPitch's.
uint8_t *DBL_BackBuffer();
LONG DBL_Pitch();
// True while every byte beyond each row still holds DBL_PAD.
bool DBL_PaddingIntact();
