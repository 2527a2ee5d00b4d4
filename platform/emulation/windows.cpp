// Window classes, windows, the message queue, default processing, the cursor, the message box
// and both clocks, as Windows behaves for what the program uses; the host brings the events.
#include <cstring>
#include <deque>
#include <string>
#include <strings.h>
#include <vector>

#include "platform/emulation/emulation.h"
#include "platform/emulation/host.h"

namespace {

struct WindowClass {
    std::string name;
    WNDPROC proc;
    HCURSOR cursor;
};

}  // namespace

struct HWND__ {
    void *native;       // the host's window
    size_t classIndex;  // into classes
    bool alive;         // until default processing of WM_CLOSE destroys it
    bool destroying;    // WM_DESTROY is being sent
    bool visible;       // ShowWindow made it visible
};

static const ATOM FIRST_ATOM = 0xC000;

static std::vector<WindowClass> classes;  // registered classes, atom = FIRST_ATOM + index
static std::deque<HWND__> windows;        // every window created; a deque keeps handles stable
static std::deque<MSG> queue;             // posted messages, oldest first
static bool quitPosted;                   // PostQuitMessage was called and WM_QUIT not yet taken
static int quitCode;                      // its exit code, WM_QUIT's wParam
static HWND focusWindow;                  // the window with the keyboard, as last set
static char arrowToken, appIconToken;     // the system's arrow cursor and application icon
static HCURSOR currentCursor = reinterpret_cast<HCURSOR>(&arrowToken);  // last SetCursor

static HWND__ *Known(HWND window)
{
    for (HWND__ &each : windows)
        if (&each == window)
            return &each;
    return NULL;
}

static HWND__ *Live(HWND window)
{
    HWND__ *known = Known(window);
    return known && known->alive ? known : NULL;
}

// A live window, or NULL after telling the host that the program named another.
static HWND__ *LiveOrMisuse(HWND window, const char *call)
{
    HWND__ *live = Live(window);
    if (!live)
        HOST_Misuse((std::string(call) + " of a window that does not exist").c_str());
    return live;
}

HWND EMU_WindowOf(void *native)
{
    for (HWND__ &each : windows)
        if (native && each.native == native && each.alive)
            return &each;
    return NULL;
}

void *EMU_Native(HWND window)
{
    HWND__ *live = Live(window);
    return live ? live->native : NULL;
}

void EMU_Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!window || Live(window))
        queue.push_back(MSG{window, message, wParam, lParam});
}

static bool Matches(const MSG &message, HWND window, UINT first, UINT last)
{
    if (window && message.hwnd != window)
        return false;
    return (first == 0 && last == 0) || (message.message >= first && message.message <= last);
}

size_t EMU_Waiting(HWND window, UINT message)
{
    size_t count = 0;
    for (const MSG &waiting : queue)
        count += Matches(waiting, window, message, message);
    return count + (quitPosted && !window && (message == 0 || message == WM_QUIT));
}

static LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND__ *live = Live(window);
    return live ? classes[live->classIndex].proc(window, message, wParam, lParam) : 0;
}

// As DestroyWindow would: WM_DESTROY, then the window and its queued messages go.
void EMU_WindowDestroyed(HWND window)
{
    HWND__ *live = Live(window);
    if (!live || live->destroying)
        return;
    live->destroying = true;
    Send(window, WM_DESTROY, 0, 0);
    EMU_DisplayWindowGone(window);
    HOST_DestroyWindow(live->native);
    live->alive = false;
    live->destroying = false;
    if (focusWindow == window)
        focusWindow = NULL;
    // Messages still queued for a destroyed window are dropped, as Windows does.
    for (auto it = queue.begin(); it != queue.end();)
        it = it->hwnd == window ? queue.erase(it) : it + 1;
}

// The first waiting message that passes the filter; WM_QUIT only once no other message waits.
static bool TakeMessage(MSG *out, HWND window, UINT first, UINT last, bool remove)
{
    for (auto it = queue.begin(); it != queue.end(); ++it)
        if (Matches(*it, window, first, last)) {
            *out = *it;
            if (remove)
                queue.erase(it);
            return true;
        }
    if (quitPosted && !window && Matches(MSG{NULL, WM_QUIT, 0, 0}, NULL, first, last)) {
        *out = MSG{NULL, WM_QUIT, (WPARAM)quitCode, 0};
        if (remove)
            quitPosted = false;
        return true;
    }
    return false;
}

// The index of the class registered as `name`, regardless of case; classes.size() for none.
static size_t FindClass(LPCSTR name)
{
    size_t i = 0;
    while (name && i < classes.size() && strcasecmp(classes[i].name.c_str(), name) != 0)
        ++i;
    return name ? i : classes.size();
}

static void ShowCursorOf(HCURSOR cursor)
{
    currentCursor = cursor;
    HOST_ShowCursor(cursor != NULL);
}

ATOM WINAPI RegisterClassA(const WNDCLASSA *windowClass)
{
    if (!windowClass || !windowClass->lpfnWndProc || !windowClass->lpszClassName) {
        HOST_Misuse("RegisterClassA without a class, a window procedure or a class name");
        return 0;
    }
    if (FindClass(windowClass->lpszClassName) < classes.size())
        return 0;  // a class name is taken once
    classes.push_back(WindowClass{windowClass->lpszClassName, windowClass->lpfnWndProc,
                                  windowClass->hCursor});
    return (ATOM)(FIRST_ATOM + classes.size() - 1);
}

HWND WINAPI CreateWindowExA(DWORD, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                            int y, int width, int height, HWND, HMENU, HINSTANCE, void *)
{
    const size_t classIndex = FindClass(className);
    if (classIndex == classes.size()) {
        HOST_Misuse("CreateWindowExA of a class that is not registered");
        return NULL;
    }
    // Windows creates a window hidden until ShowWindow.
    void *native = HOST_CreateWindow(windowName ? windowName : "", x, y, width, height,
                                     (style & WS_POPUP) != 0);
    if (!native)
        return NULL;
    windows.push_back(HWND__{native, classIndex, true, false, false});
    return &windows.back();
}

BOOL WINAPI ShowWindow(HWND window, int command)
{
    HWND__ *live = LiveOrMisuse(window, "ShowWindow");
    if (!live)
        return false;
    BOOL wasVisible = live->visible;
    live->visible = command != SW_HIDE;
    HOST_ShowWindow(live->native, live->visible);
    return wasVisible;
}

BOOL WINAPI UpdateWindow(HWND window)
{
    // Nothing is painted outside the flip, so there is never anything to update.
    return LiveOrMisuse(window, "UpdateWindow") != NULL;
}

HWND WINAPI SetFocus(HWND window)
{
    HWND previous = focusWindow;
    if (window) {
        HWND__ *live = LiveOrMisuse(window, "SetFocus");
        if (!live)
            return NULL;
        HOST_Focus(live->native);
    }
    focusWindow = window;
    return previous;
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name)
{
    // The program's own module carries no icon resources; the system has the application icon.
    return !instance && name == IDI_APPLICATION ? reinterpret_cast<HICON>(&appIconToken) : NULL;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name)
{
    return !instance && name == IDC_ARROW ? reinterpret_cast<HCURSOR>(&arrowToken) : NULL;
}

int WINAPI GetSystemMetrics(int index)
{
    int size[2];
    if (index != SM_CXSCREEN && index != SM_CYSCREEN) {
        HOST_Misuse("GetSystemMetrics of a metric other than the screen's size");
        return 0;
    }
    return HOST_ScreenSize(&size[0], &size[1]) ? size[index == SM_CYSCREEN] : 0;
}

BOOL WINAPI PeekMessageA(MSG *message, HWND window, UINT first, UINT last, UINT flags)
{
    if (!message || (flags & ~PM_REMOVE)) {
        HOST_Misuse("PeekMessageA without a message record or with flags beyond PM_REMOVE");
        return false;
    }
    HOST_PollEvents();
    return TakeMessage(message, window, first, last, (flags & PM_REMOVE) != 0);
}

BOOL WINAPI GetMessageA(MSG *message, HWND window, UINT first, UINT last)
{
    if (!message) {
        HOST_Misuse("GetMessageA without a message record");
        return -1;
    }
    for (;;) {
        HOST_PollEvents();
        if (TakeMessage(message, window, first, last, true))
            return message->message != WM_QUIT;
        if (!HOST_WaitEvents())
            return -1;  // nothing could ever arrive
    }
}

BOOL WINAPI TranslateMessage(const MSG *message)
{
    // Character messages are not part of what the program handles, so none are made.
    return message && message->message == WM_KEYDOWN;
}

LRESULT WINAPI DispatchMessageA(const MSG *message)
{
    if (!message) {
        HOST_Misuse("DispatchMessageA without a message");
        return 0;
    }
    if (!message->hwnd)
        return 0;  // a thread message such as WM_QUIT has no procedure to go to
    if (!Known(message->hwnd))
        HOST_Misuse("DispatchMessageA to a window that never existed");
    return Send(message->hwnd, message->message, message->wParam, message->lParam);
}

BOOL WINAPI WaitMessage(void)
{
    HOST_PollEvents();
    while (queue.empty() && !quitPosted) {
        if (!HOST_WaitEvents())
            return false;
        HOST_PollEvents();
    }
    return true;
}

LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    HWND__ *known = Known(window);
    if (!known) {
        HOST_Misuse("DefWindowProcA for a window that never existed");
        return 0;
    }
    if (message == WM_CLOSE)
        EMU_WindowDestroyed(window);
    // The low four bits of a system command are Windows' own.
    else if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE)
        Send(window, WM_CLOSE, 0, 0);
    else if (message == WM_SETCURSOR && known->alive && classes[known->classIndex].cursor)
        ShowCursorOf(classes[known->classIndex].cursor);
    return 0;
}

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (window && !Known(window)) {
        HOST_Misuse("PostMessageA to a window that never existed");
        return false;
    }
    if (window && !Live(window))
        return false;  // Windows refuses to post to a destroyed window
    EMU_Post(window, message, wParam, lParam);
    return true;
}

void WINAPI PostQuitMessage(int exitCode)
{
    quitPosted = true;
    quitCode = exitCode;
}

HCURSOR WINAPI SetCursor(HCURSOR cursor)
{
    HCURSOR previous = currentCursor;
    ShowCursorOf(cursor);
    return previous;
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    // Windows' own caption when none is given.
    HOST_MessageBox(EMU_Native(owner), text ? text : "", caption ? caption : "Error",
                    type & MB_ICONMASK);
    return IDOK;
}

// Both clocks count milliseconds in 32 bits and wrap, as Windows' do.
DWORD WINAPI timeGetTime(void)
{
    return (DWORD)HOST_Milliseconds();
}

DWORD WINAPI GetTickCount(void)
{
    return (DWORD)HOST_Milliseconds();
}
