// Window classes, windows and the message queue on SDL2: SDL events become the window
// messages the program knows, and default processing closes and destroys as Windows does.
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "platform/sdl/sdl_platform.h"

namespace {

struct WindowClass {
    std::string name;
    WNDPROC proc;
    HCURSOR cursor;
};

}  // namespace

struct HWND__ {
    SDL_Window *sdl;    // NULL once destroyed
    size_t classIndex;  // into classes
    bool destroying;    // WM_DESTROY is being sent
};

// Windows values this file needs beyond those the program uses.
static const int SW_HIDE_VALUE = 0;
static const UINT PM_REMOVE_VALUE = 0x0001;
static const UINT WM_MOUSEMOVE_VALUE = 0x0200;
static const LPARAM HTCLIENT_VALUE = 1;
static const ATOM FIRST_ATOM = 0xC000;

static bool videoUp;                       // SDL video initialised, screen saver off
static std::vector<WindowClass> classes;   // registered classes, atom = FIRST_ATOM + index
static std::deque<HWND__> windows;         // every window created; a deque keeps handles stable
static std::deque<MSG> queue;              // posted messages and translated events, oldest first
static bool quitPosted;                    // PostQuitMessage was called and WM_QUIT not yet taken
static int quitCode;                       // its exit code, WM_QUIT's wParam
static HWND focusWindow;                   // gets the key messages
static char arrowToken, appIconToken;      // the system arrow cursor and application icon
static HCURSOR currentCursor = reinterpret_cast<HCURSOR>(&arrowToken);  // last SetCursor

bool PSDL_InitVideo()
{
    if (videoUp)
        return true;
    // Closing the window must arrive as WM_CLOSE only, not also as SDL_QUIT.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
        return false;
    // With no display SDL falls back to drawing nowhere; that is a failure unless asked for.
    const char *driver = SDL_GetCurrentVideoDriver();
    const char *asked = SDL_getenv("SDL_VIDEODRIVER");
    if (driver != NULL && (SDL_strcmp(driver, "offscreen") == 0 || SDL_strcmp(driver, "dummy") == 0) &&
        (asked == NULL || SDL_strcasecmp(asked, driver) != 0)) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    SDL_DisableScreenSaver();
    videoUp = true;
    return true;
}

static HWND__ *Live(HWND window)
{
    for (HWND__ &each : windows)
        if (&each == window && each.sdl)
            return &each;
    return NULL;
}

SDL_Window *PSDL_SdlWindow(HWND window)
{
    HWND__ *live = Live(window);
    return live ? live->sdl : NULL;
}

static HWND FromSdlId(Uint32 id)
{
    SDL_Window *sdl = id ? SDL_GetWindowFromID(id) : NULL;
    for (HWND__ &each : windows)
        if (sdl && each.sdl == sdl)
            return &each;
    return NULL;
}

static const WindowClass *FindClass(LPCSTR name, size_t *index)
{
    for (size_t i = 0; i < classes.size(); ++i)
        if (SDL_strcasecmp(classes[i].name.c_str(), name) == 0) {
            if (index)
                *index = i;
            return &classes[i];
        }
    return NULL;
}

static LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND__ *live = Live(window);
    return live ? classes[live->classIndex].proc(window, message, wParam, lParam) : 0;
}

static void Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    queue.push_back(MSG{window, message, wParam, lParam});
}

static void DestroyWindow(HWND window)
{
    HWND__ *live = Live(window);
    if (!live || live->destroying)
        return;
    live->destroying = true;
    Send(window, WM_DESTROY, 0, 0);
    PSDL_ReleaseDisplay(live->sdl);
    SDL_DestroyWindow(live->sdl);
    live->sdl = NULL;
    live->destroying = false;
    // Messages still queued for a destroyed window are dropped, as Windows does.
    for (auto it = queue.begin(); it != queue.end();)
        it = it->hwnd == window ? queue.erase(it) : it + 1;
    if (focusWindow == window)
        focusWindow = NULL;
}

// Windows layout: 'A'-'Z' and '0'-'9' are their ASCII codes; 0 means no key the program knows.
static WPARAM VirtualKey(SDL_Keycode key)
{
    if (key >= SDLK_a && key <= SDLK_z)
        return 'A' + (key - SDLK_a);
    if (key >= SDLK_0 && key <= SDLK_9)
        return key;
    if (key >= SDLK_F1 && key <= SDLK_F12)
        return 0x70 + (key - SDLK_F1);
    if (key >= SDLK_KP_1 && key <= SDLK_KP_9)
        return 0x61 + (key - SDLK_KP_1);
    switch (key) {
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_BACKSPACE: return 0x08;
    case SDLK_TAB: return 0x09;
    case SDLK_RETURN: case SDLK_KP_ENTER: return 0x0D;
    case SDLK_LSHIFT: case SDLK_RSHIFT: return 0x10;
    case SDLK_LCTRL: case SDLK_RCTRL: return 0x11;
    case SDLK_PAUSE: return 0x13;
    case SDLK_CAPSLOCK: return 0x14;
    case SDLK_PAGEUP: return 0x21;
    case SDLK_PAGEDOWN: return 0x22;
    case SDLK_END: return 0x23;
    case SDLK_HOME: return 0x24;
    case SDLK_LEFT: return 0x25;
    case SDLK_UP: return 0x26;
    case SDLK_RIGHT: return 0x27;
    case SDLK_DOWN: return 0x28;
    case SDLK_INSERT: return 0x2D;
    case SDLK_DELETE: return 0x2E;
    case SDLK_KP_0: return 0x60;
    case SDLK_KP_MULTIPLY: return 0x6A;
    case SDLK_KP_PLUS: return 0x6B;
    case SDLK_KP_MINUS: return 0x6D;
    case SDLK_KP_PERIOD: return 0x6E;
    case SDLK_KP_DIVIDE: return 0x6F;
    default: return 0;
    }
}

// Windows asks the window for its cursor whenever the mouse moves over it; one asking waits at most.
static void PostSetCursor(HWND window)
{
    for (const MSG &waiting : queue)
        if (waiting.hwnd == window && waiting.message == WM_SETCURSOR)
            return;
    Post(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window),
         HTCLIENT_VALUE | (LPARAM)WM_MOUSEMOVE_VALUE << 16);
}

static void TranslateEvent(const SDL_Event &event)
{
    switch (event.type) {
    case SDL_QUIT:
        // A signal or the session ending: every window is asked to close.
        for (HWND__ &each : windows)
            if (each.sdl)
                Post(&each, WM_CLOSE, 0, 0);
        break;
    case SDL_WINDOWEVENT: {
        HWND window = FromSdlId(event.window.windowID);
        if (!window)
            break;
        switch (event.window.event) {
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            focusWindow = window;
            Post(window, WM_ACTIVATEAPP, 1, 0);
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            Post(window, WM_ACTIVATEAPP, 0, 0);
            break;
        case SDL_WINDOWEVENT_CLOSE:
            Post(window, WM_CLOSE, 0, 0);
            break;
        case SDL_WINDOWEVENT_ENTER:
            PostSetCursor(window);
            break;
        }
        break;
    }
    case SDL_MOUSEMOTION: {
        HWND window = FromSdlId(event.motion.windowID);
        if (window || (window = focusWindow))
            PostSetCursor(window);
        break;
    }
    case SDL_KEYDOWN: {
        HWND window = FromSdlId(event.key.windowID);
        if (!window && !(window = focusWindow))
            break;
        if (event.key.keysym.mod & KMOD_ALT) {
            // Keys held with Alt are system keys; of those only Alt+F4 means something: close.
            if (event.key.keysym.sym == SDLK_F4 && !event.key.repeat)
                Post(window, WM_SYSCOMMAND, SC_CLOSE, 0);
            break;
        }
        WPARAM key = VirtualKey(event.key.keysym.sym);
        if (key)  // repeat count 1; bit 30 says the key was already down
            Post(window, WM_KEYDOWN, key, 1 | (event.key.repeat ? (LPARAM)1 << 30 : 0));
        break;
    }
    }
}

static void PumpEvents()
{
    if (!videoUp)
        return;
    SDL_Event event;
    while (SDL_PollEvent(&event))
        TranslateEvent(event);
}

static bool Matches(const MSG &message, HWND window, UINT first, UINT last)
{
    if (window && message.hwnd != window)
        return false;
    return (first == 0 && last == 0) || (message.message >= first && message.message <= last);
}

// The first waiting message that passes the filter; WM_QUIT only once the queue holds no other.
static bool TakeMessage(MSG *out, HWND window, UINT first, UINT last, bool remove)
{
    for (auto it = queue.begin(); it != queue.end(); ++it)
        if (Matches(*it, window, first, last)) {
            *out = *it;
            if (remove)
                queue.erase(it);
            return true;
        }
    if (quitPosted && !window) {
        *out = MSG{NULL, WM_QUIT, (WPARAM)quitCode, 0};
        if (remove)
            quitPosted = false;
        return true;
    }
    return false;
}

ATOM WINAPI RegisterClassA(const WNDCLASSA *windowClass)
{
    if (!windowClass || !windowClass->lpfnWndProc || !windowClass->lpszClassName ||
        FindClass(windowClass->lpszClassName, NULL))
        return 0;
    classes.push_back(WindowClass{windowClass->lpszClassName, windowClass->lpfnWndProc,
                                  windowClass->hCursor});
    return (ATOM)(FIRST_ATOM + classes.size() - 1);
}

HWND WINAPI CreateWindowExA(DWORD, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                            int y, int width, int height, HWND, HMENU, HINSTANCE, void *)
{
    size_t classIndex;
    if (!className || !FindClass(className, &classIndex) || !PSDL_InitVideo())
        return NULL;
    // Windows creates a window hidden until ShowWindow; a pop-up has neither border nor caption.
    Uint32 flags = SDL_WINDOW_HIDDEN | ((style & WS_POPUP) ? SDL_WINDOW_BORDERLESS : 0);
    SDL_Window *sdl = SDL_CreateWindow(windowName ? windowName : "", x, y, width, height, flags);
    if (!sdl)
        return NULL;
    windows.push_back(HWND__{sdl, classIndex, false});
    return &windows.back();
}

BOOL WINAPI ShowWindow(HWND window, int command)
{
    SDL_Window *sdl = PSDL_SdlWindow(window);
    if (!sdl)
        return false;
    BOOL wasVisible = (SDL_GetWindowFlags(sdl) & SDL_WINDOW_SHOWN) != 0;
    if (command == SW_HIDE_VALUE)
        SDL_HideWindow(sdl);
    else
        SDL_ShowWindow(sdl);
    return wasVisible;
}

BOOL WINAPI UpdateWindow(HWND window)
{
    // Nothing is painted outside the flip, so there is never anything to update.
    return Live(window) != NULL;
}

HWND WINAPI SetFocus(HWND window)
{
    HWND previous = focusWindow;
    if (!window) {
        focusWindow = NULL;
        return previous;
    }
    SDL_Window *sdl = PSDL_SdlWindow(window);
    if (!sdl)
        return NULL;
    SDL_RaiseWindow(sdl);
    // Without a window manager nobody else gives the window the keyboard; not every driver can.
    SDL_SetWindowInputFocus(sdl);
    focusWindow = window;
    return previous;
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name)
{
    // The program's own module carries no icon resources; the system has the application icon.
    if (!instance && name == IDI_APPLICATION)
        return reinterpret_cast<HICON>(&appIconToken);
    return NULL;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name)
{
    if (!instance && name == IDC_ARROW)
        return reinterpret_cast<HCURSOR>(&arrowToken);
    return NULL;
}

int WINAPI GetSystemMetrics(int index)
{
    SDL_DisplayMode desktop;
    if ((index != SM_CXSCREEN && index != SM_CYSCREEN) || !PSDL_InitVideo() ||
        SDL_GetDesktopDisplayMode(0, &desktop) != 0)
        return 0;
    return index == SM_CXSCREEN ? desktop.w : desktop.h;
}

BOOL WINAPI PeekMessageA(MSG *message, HWND window, UINT first, UINT last, UINT flags)
{
    if (!message)
        return false;
    PumpEvents();
    return TakeMessage(message, window, first, last, (flags & PM_REMOVE_VALUE) != 0);
}

BOOL WINAPI GetMessageA(MSG *message, HWND window, UINT first, UINT last)
{
    if (!message)
        return -1;
    for (;;) {
        PumpEvents();
        if (TakeMessage(message, window, first, last, true))
            return message->message != WM_QUIT;
        // With no display there is nothing that could ever arrive.
        if (!videoUp || !SDL_WaitEvent(NULL))
            return -1;
    }
}

BOOL WINAPI TranslateMessage(const MSG *message)
{
    // Character messages are not part of what the program handles, so none are made.
    return message && message->message == WM_KEYDOWN;
}

LRESULT WINAPI DispatchMessageA(const MSG *message)
{
    return message ? Send(message->hwnd, message->message, message->wParam, message->lParam) : 0;
}

BOOL WINAPI WaitMessage(void)
{
    PumpEvents();
    while (queue.empty() && !quitPosted) {
        if (!videoUp || !SDL_WaitEvent(NULL))
            return false;
        PumpEvents();
    }
    return true;
}

LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    HWND__ *live = Live(window);
    if (!live)
        return 0;
    switch (message) {
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_SYSCOMMAND:
        // The low four bits of a system command are Windows' own.
        if ((wParam & 0xFFF0) == SC_CLOSE)
            Send(window, WM_CLOSE, 0, 0);
        return 0;
    case WM_SETCURSOR:
        if (classes[live->classIndex].cursor)
            SetCursor(classes[live->classIndex].cursor);
        return 0;
    default:
        return 0;
    }
}

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (window && !Live(window))
        return false;
    Post(window, message, wParam, lParam);
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
    currentCursor = cursor;
    if (videoUp)
        SDL_ShowCursor(cursor ? SDL_ENABLE : SDL_DISABLE);
    return previous;
}
