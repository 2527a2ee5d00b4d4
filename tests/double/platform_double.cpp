// The scripted platform double: see platform_double.h for what a test can script and read.
#include "platform_double.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <set>

namespace {

struct DoubleDraw final : IDirectDraw7 {
    HRESULT CreateSurface(DDSURFACEDESC2 *desc, IDirectDrawSurface7 **surface,
                          IUnknown *outer) override;
    HRESULT SetCooperativeLevel(HWND window, DWORD flags) override;
    HRESULT SetDisplayMode(DWORD width, DWORD height, DWORD bitsPerPixel, DWORD refreshRate,
                           DWORD flags) override;
};

struct DoubleSurface final : IDirectDrawSurface7 {
    explicit DoubleSurface(const char *name) : name(name) {}
    HRESULT Flip(IDirectDrawSurface7 *targetOverride, DWORD flags) override;
    HRESULT GetAttachedSurface(DDSCAPS2 *caps, IDirectDrawSurface7 **surface) override;
    HRESULT GetDC(HDC *context) override;
    HRESULT Lock(RECT *rect, DDSURFACEDESC2 *desc, DWORD flags, HANDLE event) override;
    HRESULT ReleaseDC(HDC context) override;
    HRESULT Restore() override;
    HRESULT Unlock(RECT *rect) override;
    const char *name;
};

struct WindowClass {
    std::string name;
    WNDCLASSA description;
};

// A scripted failure: how many calls are left to fail, and with what.
struct Failure {
    int times;
    HRESULT result;
};

}  // namespace

struct HWND__ {
    size_t number;      // 1 for the program's window
    size_t classIndex;  // into classes
    bool alive;         // until default processing of WM_CLOSE destroys it
    bool destroying;    // WM_DESTROY is being sent
    bool visible;       // ShowWindow made it visible
};

const IID IID_IDirectDraw7 = {0x15e65ec0, 0x3b9c, 0x11d2,
                              {0xb9, 0x2f, 0x00, 0x60, 0x97, 0x97, 0xea, 0x5b}};

// DirectDraw results the double gives for refused calls.
static const HRESULT ERR_INVALIDPARAMS = (HRESULT)0x80070057;
static const HRESULT ERR_NOTFOUND = (HRESULT)0x887600FF;
static const HRESULT ERR_SURFACEBUSY = (HRESULT)0x887601AE;
static const HRESULT ERR_NOTLOCKED = (HRESULT)0x88760248;
static const HRESULT ERR_NODC = (HRESULT)0x8876024A;
static const HRESULT ERR_IMPLICITLYCREATED = (HRESULT)0x8876024C;
static const HRESULT ERR_DCALREADYCREATED = (HRESULT)0x8876026C;
static const HRESULT ERR_UNSUPPORTED = (HRESULT)0x80004001;
static const COLORREF CLR_INVALID_VALUE = 0xFFFFFFFF;
static const UINT PM_REMOVE_VALUE = 0x0001;

// Services that report failure through an HRESULT, and those that have no failure at all.
static const std::set<std::string> DIRECTDRAW_CALLS = {
    "DirectDrawCreateEx", "SetCooperativeLevel", "SetDisplayMode", "CreateSurface",
    "GetAttachedSurface", "Lock", "Unlock", "GetDC", "ReleaseDC", "Flip", "Restore"};
static const std::set<std::string> WINDOWS_CALLS = {
    "RegisterClassA", "CreateWindowExA", "UpdateWindow", "SetFocus", "LoadIconA", "LoadCursorA",
    "GetSystemMetrics", "PeekMessageA", "GetMessageA", "TranslateMessage", "WaitMessage",
    "PostMessageA", "MessageBoxA", "SetBkMode", "SetTextColor", "TextOutA"};
static const std::set<std::string> INFALLIBLE_CALLS = {
    "ShowWindow", "DispatchMessageA", "DefWindowProcA", "PostQuitMessage", "SetCursor",
    "timeGetTime", "GetTickCount"};

static std::vector<std::string> callLog;                     // every call, formatted, in order
static std::map<std::string, int> callCounts;                // calls so far by service
static long totalCalls;                                      // calls so far, all services
static long callLimit = 1000000;                             // more calls stop the run
static int frameLimit = 10000;                               // more Flips stop the run
static size_t logLimit = SIZE_MAX;                           // latest log entries kept at least
static std::map<std::string, std::function<void()>> hooks;   // run on each call of a service
static std::map<std::string, Failure> failures;              // scripted failures by service
static DWORD timeValue, tickValue;                           // what the two clocks read
static int screenWidth = 1920, screenHeight = 1080;          // GetSystemMetrics' answers
static char instanceToken, arrowToken, iconToken;            // module, arrow cursor, system icon
static char programWindowToken;                              // stands for "the program's window"
static const HWND PROGRAM_WINDOW = reinterpret_cast<HWND>(&programWindowToken);
static std::vector<WindowClass> classes;                     // registered classes
static std::deque<HWND__> windows;                           // created windows, stable handles
static std::deque<MSG> queue;                                // posted messages, oldest first
static bool quitPosted;                                      // PostQuitMessage not yet taken
static int quitCode;                                         // its exit code
static std::vector<MSG> dispatched;                          // what DispatchMessageA was given
static std::vector<DBL_ProcCall> procCalls;                  // window procedure calls
static HWND focusWindow;                                     // last SetFocus
static HCURSOR currentCursor = reinterpret_cast<HCURSOR>(&arrowToken);  // last SetCursor
static DoubleDraw drawObject;                                // the one DirectDraw object
static DoubleSurface primary("primary"), back("back");       // the flip chain
static bool surfacesMade;                                    // CreateSurface succeeded
static DWORD modeWidth, modeHeight;                          // last SetDisplayMode, 0 before
static LONG backPitch = 640 * 4 + 256;                       // the back buffer's pitch
static DWORD backWidth, backHeight;                          // the back buffer's size in pixels
static std::vector<uint8_t> backMemory;                      // the back buffer
static bool backLocked;                                      // between Lock and Unlock
static bool contextOut;                                      // between GetDC and ReleaseDC
static char contextToken;                                    // the back buffer's device context
static int contextBkMode;                                    // its background mode
static COLORREF contextTextColor;                            // its text colour
static bool surfacesLost;                                    // until the primary's Restore

// --- Reporting ---

static void Unexpected(const std::string &what)
{
    ADD_FAILURE() << "platform double: unexpected call: " << what;
}

[[noreturn]] static void Stop(const std::string &why)
{
    ADD_FAILURE() << "platform double: run stopped: " << why;
    throw DBL_Stop(why);
}

// --- Formatting the log ---

static std::string Hex(uint64_t value)
{
    char text[24];
    snprintf(text, sizeof text, "0x%" PRIx64, value);
    return text;
}

static std::string Quote(const char *text, size_t length)
{
    std::string quoted = "\"";
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = (unsigned char)text[i];
        if (c == '\n')
            quoted += "\\n";
        else if (c == '"' || c == '\\')
            quoted += std::string("\\") + (char)c;
        else if (c < 0x20 || c >= 0x7F) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\x%02x", c);
            quoted += escaped;
        } else
            quoted += (char)c;
    }
    return quoted + "\"";
}

static std::string Text(const char *text)
{
    return text ? Quote(text, strlen(text)) : "NULL";
}

static HWND__ *Known(HWND window)
{
    for (HWND__ &each : windows)
        if (&each == window)
            return &each;
    return NULL;
}

static std::string Name(HWND window)
{
    if (!window)
        return "NULL";
    if (window == PROGRAM_WINDOW)
        return "window";
    HWND__ *known = Known(window);
    if (!known)
        return Hex(reinterpret_cast<uintptr_t>(window));
    return known->number == 1 ? "window" : "window" + std::to_string(known->number);
}

static std::string Name(HINSTANCE instance)
{
    if (!instance)
        return "NULL";
    return instance == DBL_Instance() ? "instance" : Hex(reinterpret_cast<uintptr_t>(instance));
}

static std::string Name(HDC context)
{
    if (!context)
        return "NULL";
    return context == reinterpret_cast<HDC>(&contextToken)
               ? "dc" : Hex(reinterpret_cast<uintptr_t>(context));
}

static std::string Name(const void *handle)
{
    if (!handle)
        return "NULL";
    if (handle == &arrowToken)
        return "IDC_ARROW";
    if (handle == &iconToken)
        return "IDI_APPLICATION";
    if (handle == &primary)
        return "primary";
    if (handle == &back)
        return "back";
    return Hex(reinterpret_cast<uintptr_t>(handle));
}

static std::string Resource(LPCSTR name, const char *application)
{
    uintptr_t value = reinterpret_cast<uintptr_t>(name);
    if (value == 32512)
        return application;
    if (value < 0x10000)
        return value ? "#" + std::to_string(value) : "NULL";
    return Text(name);
}

static std::string MessageName(UINT message)
{
    switch (message) {
    case WM_DESTROY: return "WM_DESTROY";
    case WM_CLOSE: return "WM_CLOSE";
    case WM_QUIT: return "WM_QUIT";
    case WM_ACTIVATEAPP: return "WM_ACTIVATEAPP";
    case WM_SETCURSOR: return "WM_SETCURSOR";
    case WM_KEYDOWN: return "WM_KEYDOWN";
    case WM_SYSCOMMAND: return "WM_SYSCOMMAND";
    default: return Hex(message);
    }
}

static std::string Message(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return Name(window) + "," + MessageName(message) + "," + Hex(wParam) + "," +
           Hex((uint64_t)lParam);
}

// Logs and counts a call, runs its hook, and tells whether the script makes it fail.
static bool Enter(const std::string &name, const std::string &arguments, HRESULT *result = NULL)
{
    if (++totalCalls > callLimit)
        Stop("more than " + std::to_string(callLimit) + " platform calls; last " + name);
    if (logLimit > 0) {
        callLog.push_back(name + "(" + arguments + ")");
        // Dropped in halves, so trimming costs a constant per call.
        if (callLog.size() >= 2 * logLimit)
            callLog.erase(callLog.begin(), callLog.end() - static_cast<ptrdiff_t>(logLimit));
    }
    ++callCounts[name];
    auto hook = hooks.find(name);
    if (hook != hooks.end())
        hook->second();
    auto failure = failures.find(name);
    if (failure == failures.end() || failure->second.times <= 0)
        return false;
    --failure->second.times;
    if (result)
        *result = failure->second.result;
    return true;
}

// --- The script ---

void DBL_Post(UINT message, WPARAM wParam, LPARAM lParam)
{
    queue.push_back(MSG{message == WM_QUIT ? NULL : PROGRAM_WINDOW, message, wParam, lParam});
}

void DBL_SetTime(DWORD milliseconds) { timeValue = milliseconds; }
DWORD DBL_Time() { return timeValue; }
void DBL_SetTick(DWORD milliseconds) { tickValue = milliseconds; }
DWORD DBL_Tick() { return tickValue; }

static bool KnownService(const std::string &name)
{
    return DIRECTDRAW_CALLS.count(name) || WINDOWS_CALLS.count(name) ||
           INFALLIBLE_CALLS.count(name);
}

void DBL_OnCall(const std::string &name, std::function<void()> hook)
{
    if (!KnownService(name))
        ADD_FAILURE() << "platform double: DBL_OnCall for unknown service " << name;
    else if (hook)
        hooks[name] = std::move(hook);
    else
        hooks.erase(name);
}

void DBL_Fail(const std::string &name, int times)
{
    if (!DIRECTDRAW_CALLS.count(name) && !WINDOWS_CALLS.count(name))
        ADD_FAILURE() << "platform double: " << name << " cannot be made to fail";
    else
        failures[name] = Failure{times, DBL_FAILED};
}

void DBL_FailWith(const std::string &name, int times, HRESULT result)
{
    if (!DIRECTDRAW_CALLS.count(name) || result == DD_OK)
        ADD_FAILURE() << "platform double: DBL_FailWith needs a DirectDraw call and a "
                         "non-zero result, not " << name << " and " << Hex((uint32_t)result);
    else
        failures[name] = Failure{times, result};
}

void DBL_LoseSurfaces() { surfacesLost = true; }

void DBL_SetPitch(LONG pitch)
{
    if (pitch < 4)
        ADD_FAILURE() << "platform double: pitch " << pitch << " holds no pixel";
    else
        backPitch = pitch;
}

void DBL_SetScreen(int width, int height)
{
    screenWidth = width;
    screenHeight = height;
}

void DBL_SetFrameLimit(int flips) { frameLimit = flips; }
void DBL_SetCallLimit(long calls) { callLimit = calls; }

void DBL_SetLogLimit(size_t entries)
{
    logLimit = entries;
    if (entries == 0)
        callLog.clear();
    else if (callLog.size() >= 2 * entries)
        callLog.erase(callLog.begin(), callLog.end() - static_cast<ptrdiff_t>(entries));
}

void DBL_EndRun()
{
    throw DBL_Stop("run ended by the test");
}

HINSTANCE DBL_Instance() { return reinterpret_cast<HINSTANCE>(&instanceToken); }

// --- What happened ---

const std::vector<std::string> &DBL_Log() { return callLog; }

std::vector<std::string> DBL_Calls(const std::string &name)
{
    std::vector<std::string> calls;
    for (const std::string &entry : callLog)
        if (entry.compare(0, name.size() + 1, name + "(") == 0)
            calls.push_back(entry);
    return calls;
}

int DBL_Count(const std::string &name)
{
    auto count = callCounts.find(name);
    return count == callCounts.end() ? 0 : count->second;
}

const std::vector<MSG> &DBL_Dispatched() { return dispatched; }
const std::vector<DBL_ProcCall> &DBL_ProcCalls() { return procCalls; }
HWND DBL_Window() { return windows.empty() ? NULL : &windows.front(); }
bool DBL_WindowDestroyed() { return !windows.empty() && !windows.front().alive; }

WNDPROC DBL_WindowProc()
{
    return windows.empty() ? NULL : classes[windows.front().classIndex].description.lpfnWndProc;
}

size_t DBL_Pending() { return queue.size() + (quitPosted ? 1 : 0); }
uint8_t *DBL_BackBuffer() { return backMemory.empty() ? NULL : backMemory.data(); }
LONG DBL_Pitch() { return backPitch; }

bool DBL_PaddingIntact()
{
    for (size_t row = 0; row < backHeight; ++row)
        for (size_t column = backWidth * 4; column < (size_t)backPitch; ++column)
            if (backMemory[row * backPitch + column] != DBL_PAD)
                return false;
    return true;
}

// --- Windows, messages and the queue ---

static HWND__ *Live(HWND window)
{
    HWND__ *known = Known(window);
    return known && known->alive ? known : NULL;
}

static LRESULT CallProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                             bool fromDispatch)
{
    WNDPROC procedure = classes[Known(window)->classIndex].description.lpfnWndProc;
    size_t index = procCalls.size();
    procCalls.push_back(DBL_ProcCall{window, message, wParam, lParam, 0, fromDispatch});
    LRESULT result = procedure(window, message, wParam, lParam);
    procCalls[index].result = result;
    return result;
}

static void DestroyWindow(HWND window)
{
    HWND__ *live = Live(window);
    if (!live || live->destroying)
        return;
    live->destroying = true;
    CallProcedure(window, WM_DESTROY, 0, 0, false);
    live->alive = false;
    live->destroying = false;
    // Windows drops what is still queued for a destroyed window.
    bool program = window == DBL_Window();
    for (auto it = queue.begin(); it != queue.end();)
        it = (it->hwnd == window || (program && it->hwnd == PROGRAM_WINDOW)) ? queue.erase(it)
                                                                             : it + 1;
}

static bool Matches(const MSG &message, HWND window, UINT first, UINT last)
{
    HWND target = message.hwnd == PROGRAM_WINDOW ? DBL_Window() : message.hwnd;
    if (window && target != window)
        return false;
    return (first == 0 && last == 0) || (message.message >= first && message.message <= last);
}

// The first matching message; WM_QUIT only when no other waits, as Windows delivers it.
static bool TakeMessage(MSG *out, HWND window, UINT first, UINT last, bool remove)
{
    for (auto it = queue.begin(); it != queue.end(); ++it)
        if (Matches(*it, window, first, last)) {
            *out = *it;
            if (out->hwnd == PROGRAM_WINDOW) {
                out->hwnd = DBL_Window();
                if (!out->hwnd)
                    Unexpected("a message from DBL_Post was read before any window existed");
            }
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

ATOM WINAPI RegisterClassA(const WNDCLASSA *c)
{
    if (!c) {
        Enter("RegisterClassA", "NULL");
        Unexpected("RegisterClassA without a class");
        return 0;
    }
    if (Enter("RegisterClassA",
              "{style=" + Hex(c->style) + ",cbClsExtra=" + std::to_string(c->cbClsExtra) +
                  ",cbWndExtra=" + std::to_string(c->cbWndExtra) +
                  ",hInstance=" + Name(c->hInstance) + ",hIcon=" + Name((const void *)c->hIcon) +
                  ",hCursor=" + Name((const void *)c->hCursor) +
                  ",hbrBackground=" + Name((const void *)c->hbrBackground) +
                  ",lpszMenuName=" + Text(c->lpszMenuName) +
                  ",lpszClassName=" + Text(c->lpszClassName) + "}"))
        return 0;
    if (!c->lpfnWndProc || !c->lpszClassName) {
        Unexpected("RegisterClassA without a window procedure or a class name");
        return 0;
    }
    for (const WindowClass &existing : classes)
        if (strcasecmp(existing.name.c_str(), c->lpszClassName) == 0)
            return 0;  // already registered: Windows refuses it too
    classes.push_back(WindowClass{c->lpszClassName, *c});
    return (ATOM)(0xC000 + classes.size() - 1);
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style,
                            int x, int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, void *parameter)
{
    if (Enter("CreateWindowExA",
              Hex(exStyle) + "," + Text(className) + "," + Text(windowName) + "," + Hex(style) +
                  "," + std::to_string(x) + "," + std::to_string(y) + "," +
                  std::to_string(width) + "," + std::to_string(height) + "," + Name(parent) +
                  "," + Name((const void *)menu) + "," + Name(instance) + "," + Name(parameter)))
        return NULL;
    for (size_t i = 0; className && i < classes.size(); ++i)
        if (strcasecmp(classes[i].name.c_str(), className) == 0) {
            windows.push_back(HWND__{windows.size() + 1, i, true, false, false});
            return &windows.back();
        }
    Unexpected(std::string("CreateWindowExA of unregistered class ") + Text(className));
    return NULL;
}

BOOL WINAPI ShowWindow(HWND window, int command)
{
    Enter("ShowWindow", Name(window) + "," + std::to_string(command));
    HWND__ *live = Live(window);
    if (!live) {
        Unexpected("ShowWindow of " + Name(window));
        return false;
    }
    BOOL wasVisible = live->visible;
    live->visible = command != 0;  // SW_HIDE
    return wasVisible;
}

BOOL WINAPI UpdateWindow(HWND window)
{
    if (Enter("UpdateWindow", Name(window)))
        return false;
    if (!Live(window)) {
        Unexpected("UpdateWindow of " + Name(window));
        return false;
    }
    return true;
}

HWND WINAPI SetFocus(HWND window)
{
    if (Enter("SetFocus", Name(window)))
        return NULL;
    if (window && !Live(window)) {
        Unexpected("SetFocus of " + Name(window));
        return NULL;
    }
    HWND previous = focusWindow;
    focusWindow = window;
    return previous;
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name)
{
    if (Enter("LoadIconA", Name(instance) + "," + Resource(name, "IDI_APPLICATION")))
        return NULL;
    // The system has the application icon; the program's module has no icons at all.
    return !instance && name == IDI_APPLICATION ? reinterpret_cast<HICON>(&iconToken) : NULL;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name)
{
    if (Enter("LoadCursorA", Name(instance) + "," + Resource(name, "IDC_ARROW")))
        return NULL;
    return !instance && name == IDC_ARROW ? reinterpret_cast<HCURSOR>(&arrowToken) : NULL;
}

int WINAPI GetSystemMetrics(int index)
{
    if (Enter("GetSystemMetrics", std::to_string(index)))
        return 0;
    if (index == SM_CXSCREEN)
        return screenWidth;
    if (index == SM_CYSCREEN)
        return screenHeight;
    Unexpected("GetSystemMetrics(" + std::to_string(index) + ")");
    return 0;
}

BOOL WINAPI PeekMessageA(MSG *message, HWND window, UINT first, UINT last, UINT flags)
{
    if (Enter("PeekMessageA", Name(window) + "," + std::to_string(first) + "," +
                                  std::to_string(last) + "," + Hex(flags)))
        return false;
    if (!message || (flags & ~PM_REMOVE_VALUE)) {
        Unexpected("PeekMessageA without a message record or with flags " + Hex(flags));
        return false;
    }
    return TakeMessage(message, window, first, last, (flags & PM_REMOVE_VALUE) != 0);
}

BOOL WINAPI GetMessageA(MSG *message, HWND window, UINT first, UINT last)
{
    if (Enter("GetMessageA", Name(window) + "," + std::to_string(first) + "," +
                                 std::to_string(last)))
        return -1;
    if (!message) {
        Unexpected("GetMessageA without a message record");
        return -1;
    }
    if (!TakeMessage(message, window, first, last, true))
        Stop("GetMessageA on an empty queue with nothing scheduled would wait for ever");
    return message->message != WM_QUIT;
}

BOOL WINAPI TranslateMessage(const MSG *message)
{
    if (!message) {
        Enter("TranslateMessage", "NULL");
        Unexpected("TranslateMessage without a message");
        return false;
    }
    if (Enter("TranslateMessage",
              Message(message->hwnd, message->message, message->wParam, message->lParam)))
        return false;
    return message->message == WM_KEYDOWN;
}

LRESULT WINAPI DispatchMessageA(const MSG *message)
{
    if (!message) {
        Enter("DispatchMessageA", "NULL");
        Unexpected("DispatchMessageA without a message");
        return 0;
    }
    Enter("DispatchMessageA",
          Message(message->hwnd, message->message, message->wParam, message->lParam));
    dispatched.push_back(*message);
    if (!message->hwnd)
        return 0;  // a thread message such as WM_QUIT has no procedure to go to
    HWND__ *known = Known(message->hwnd);
    if (!known) {
        Unexpected("DispatchMessageA to unknown window " + Name(message->hwnd));
        return 0;
    }
    if (!known->alive)
        return 0;
    return CallProcedure(message->hwnd, message->message, message->wParam, message->lParam, true);
}

BOOL WINAPI WaitMessage(void)
{
    if (Enter("WaitMessage", ""))
        return false;
    if (queue.empty() && !quitPosted)
        Stop("WaitMessage on an empty queue with nothing scheduled would wait for ever");
    return true;
}

LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Enter("DefWindowProcA", Message(window, message, wParam, lParam));
    if (!Known(window)) {
        Unexpected("DefWindowProcA for unknown window " + Name(window));
        return 0;
    }
    if (message == WM_CLOSE)
        DestroyWindow(window);
    else if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE && Live(window))
        CallProcedure(window, WM_CLOSE, 0, 0, false);
    return 0;
}

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (Enter("PostMessageA", Message(window, message, wParam, lParam)))
        return false;
    if (window && !Known(window)) {
        Unexpected("PostMessageA to unknown window " + Name(window));
        return false;
    }
    if (window && !Live(window))
        return false;  // Windows refuses to post to a destroyed window
    queue.push_back(MSG{window, message, wParam, lParam});
    return true;
}

void WINAPI PostQuitMessage(int exitCode)
{
    Enter("PostQuitMessage", std::to_string(exitCode));
    quitPosted = true;
    quitCode = exitCode;
}

HCURSOR WINAPI SetCursor(HCURSOR cursor)
{
    Enter("SetCursor", Name((const void *)cursor));
    HCURSOR previous = currentCursor;
    currentCursor = cursor;
    return previous;
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    if (Enter("MessageBoxA", Name(owner) + "," + Text(text) + "," + Text(caption) + "," + Hex(type)))
        return 0;
    return 1;  // IDOK
}

DWORD WINAPI timeGetTime(void)
{
    Enter("timeGetTime", "");
    return timeValue;
}

DWORD WINAPI GetTickCount(void)
{
    Enter("GetTickCount", "");
    return tickValue;
}

// --- Text output on the back buffer's device context ---

static bool ContextOut(HDC context, const char *call)
{
    if (context == reinterpret_cast<HDC>(&contextToken) && contextOut)
        return true;
    Unexpected(std::string(call) + " on " + Name(context) + ", which is not an obtained context");
    return false;
}

int WINAPI SetBkMode(HDC context, int mode)
{
    if (Enter("SetBkMode", Name(context) + "," + std::to_string(mode)) ||
        !ContextOut(context, "SetBkMode"))
        return 0;
    int previous = contextBkMode;
    contextBkMode = mode;
    return previous;
}

COLORREF WINAPI SetTextColor(HDC context, COLORREF color)
{
    if (Enter("SetTextColor", Name(context) + "," + Hex(color)) ||
        !ContextOut(context, "SetTextColor"))
        return CLR_INVALID_VALUE;
    COLORREF previous = contextTextColor;
    contextTextColor = color;
    return previous;
}

BOOL WINAPI TextOutA(HDC context, int x, int y, LPCSTR text, int length)
{
    std::string shown = text && length >= 0 ? Quote(text, (size_t)length) : Text(text);
    if (Enter("TextOutA", Name(context) + "," + std::to_string(x) + "," + std::to_string(y) +
                              "," + shown + "," + std::to_string(length)) ||
        !ContextOut(context, "TextOutA"))
        return false;
    return true;
}

// --- DirectDraw ---

HRESULT WINAPI DirectDrawCreateEx(GUID *driver, void **object, REFIID iid, IUnknown *outer)
{
    bool iidRight = memcmp(&iid, &IID_IDirectDraw7, sizeof(IID)) == 0;
    HRESULT result;
    if (Enter("DirectDrawCreateEx", Name(driver) + "," + (iidRight ? "IID_IDirectDraw7" : "other") +
                                        "," + Name(outer), &result))
        return result;
    if (driver || !object || !iidRight || outer) {
        Unexpected("DirectDrawCreateEx other than for the default driver's IDirectDraw7");
        return ERR_INVALIDPARAMS;
    }
    *object = static_cast<IDirectDraw7 *>(&drawObject);
    return DD_OK;
}

HRESULT DoubleDraw::SetCooperativeLevel(HWND window, DWORD flags)
{
    HRESULT result;
    if (Enter("SetCooperativeLevel", Name(window) + "," + Hex(flags), &result))
        return result;
    if (!Live(window)) {
        Unexpected("SetCooperativeLevel for " + Name(window));
        return ERR_INVALIDPARAMS;
    }
    return DD_OK;
}

HRESULT DoubleDraw::SetDisplayMode(DWORD width, DWORD height, DWORD bitsPerPixel,
                                   DWORD refreshRate, DWORD flags)
{
    HRESULT result;
    if (Enter("SetDisplayMode", std::to_string(width) + "," + std::to_string(height) + "," +
                                    std::to_string(bitsPerPixel) + "," +
                                    std::to_string(refreshRate) + "," + Hex(flags), &result))
        return result;
    modeWidth = width;
    modeHeight = height;
    return DD_OK;
}

HRESULT DoubleDraw::CreateSurface(DDSURFACEDESC2 *desc, IDirectDrawSurface7 **surface,
                                  IUnknown *outer)
{
    std::string shown = "NULL";
    if (desc) {
        shown = "{dwSize=" + std::to_string(desc->dwSize) + ",dwFlags=" + Hex(desc->dwFlags) +
                ",dwBackBufferCount=" + std::to_string(desc->dwBackBufferCount) +
                ",ddsCaps.dwCaps=" + Hex(desc->ddsCaps.dwCaps);
        if (desc->lPitch)
            shown += ",lPitch=" + std::to_string(desc->lPitch);
        if (desc->lpSurface)
            shown += ",lpSurface=" + Name(desc->lpSurface);
        shown += "}";
    }
    HRESULT result;
    if (Enter("CreateSurface", shown + "," + Name(outer), &result))
        return result;
    if (!desc || !surface || desc->dwSize != sizeof(DDSURFACEDESC2)) {
        Unexpected("CreateSurface without a description of the right dwSize, or nowhere to put it");
        return ERR_INVALIDPARAMS;
    }
    if (surfacesMade) {
        Unexpected("a second primary surface");
        return ERR_UNSUPPORTED;
    }
    backWidth = modeWidth ? modeWidth : (DWORD)screenWidth;
    backHeight = modeHeight ? modeHeight : (DWORD)screenHeight;
    if ((LONG)backWidth * 4 > backPitch) {
        Unexpected("DBL_SetPitch(" + std::to_string(backPitch) + ") is narrower than a row");
        return ERR_UNSUPPORTED;
    }
    backMemory.assign((size_t)backPitch * backHeight, DBL_PAD);
    for (size_t row = 0; row < backHeight; ++row)
        memset(&backMemory[row * backPitch], DBL_FILL, backWidth * 4);
    surfacesMade = true;
    *surface = &primary;
    return DD_OK;
}

HRESULT DoubleSurface::GetAttachedSurface(DDSCAPS2 *caps, IDirectDrawSurface7 **surface)
{
    HRESULT result;
    if (Enter("GetAttachedSurface",
              std::string(name) + "," + (caps ? "{dwCaps=" + Hex(caps->dwCaps) + "}" : "NULL"),
              &result))
        return result;
    if (this != &primary || !caps || !surface || !(caps->dwCaps & DDSCAPS_BACKBUFFER)) {
        Unexpected("GetAttachedSurface other than the primary's back buffer");
        return ERR_NOTFOUND;
    }
    *surface = &back;
    return DD_OK;
}

HRESULT DoubleSurface::Lock(RECT *rect, DDSURFACEDESC2 *desc, DWORD flags, HANDLE event)
{
    HRESULT result;
    if (Enter("Lock", std::string(name) + "," + Name(rect) + "," +
                          (desc ? "{dwSize=" + std::to_string(desc->dwSize) + "}" : "NULL") +
                          "," + Hex(flags) + "," + Name(event), &result))
        return result;
    if (this != &back || rect || !desc || desc->dwSize != sizeof(DDSURFACEDESC2)) {
        Unexpected("Lock other than of the whole back buffer with a description of the right "
                   "dwSize");
        return ERR_INVALIDPARAMS;
    }
    if (surfacesLost)
        return DDERR_SURFACELOST;
    if (backLocked || contextOut) {
        Unexpected("Lock of a back buffer that is already locked or has its context out");
        return ERR_SURFACEBUSY;
    }
    desc->lPitch = backPitch;
    desc->lpSurface = backMemory.data();
    backLocked = true;
    return DD_OK;
}

HRESULT DoubleSurface::Unlock(RECT *rect)
{
    HRESULT result;
    if (Enter("Unlock", std::string(name) + "," + Name(rect), &result))
        return result;
    if (this != &back || !backLocked) {
        Unexpected(std::string("Unlock of ") + name + ", which is not locked");
        return ERR_NOTLOCKED;
    }
    backLocked = false;
    return DD_OK;
}

HRESULT DoubleSurface::GetDC(HDC *context)
{
    HRESULT result;
    if (Enter("GetDC", name, &result))
        return result;
    if (this != &back || !context) {
        Unexpected("GetDC other than of the back buffer");
        return ERR_INVALIDPARAMS;
    }
    if (surfacesLost)
        return DDERR_SURFACELOST;
    if (backLocked || contextOut) {
        Unexpected("GetDC of a back buffer that is locked or has its context out");
        return backLocked ? ERR_SURFACEBUSY : ERR_DCALREADYCREATED;
    }
    contextOut = true;
    contextBkMode = 2;  // a fresh context: OPAQUE, black text
    contextTextColor = 0;
    *context = reinterpret_cast<HDC>(&contextToken);
    return DD_OK;
}

HRESULT DoubleSurface::ReleaseDC(HDC context)
{
    HRESULT result;
    if (Enter("ReleaseDC", std::string(name) + "," + Name(context), &result))
        return result;
    if (this != &back || !ContextOut(context, "ReleaseDC"))
        return ERR_NODC;
    contextOut = false;
    return DD_OK;
}

HRESULT DoubleSurface::Flip(IDirectDrawSurface7 *targetOverride, DWORD flags)
{
    if (DBL_Count("Flip") >= frameLimit)
        Stop("more than " + std::to_string(frameLimit) + " Flip calls");
    HRESULT result;
    if (Enter("Flip", std::string(name) + "," + Name(targetOverride) + "," + Hex(flags), &result))
        return result;
    if (this != &primary || targetOverride) {
        Unexpected("Flip other than of the primary onto its back buffer");
        return ERR_INVALIDPARAMS;
    }
    if (surfacesLost)
        return DDERR_SURFACELOST;
    if (backLocked || contextOut) {
        Unexpected("Flip while the back buffer is locked or has its context out");
        return ERR_SURFACEBUSY;
    }
    return DD_OK;
}

HRESULT DoubleSurface::Restore()
{
    HRESULT result;
    if (Enter("Restore", name, &result))
        return result;
    if (this != &primary)
        return ERR_IMPLICITLYCREATED;  // the back buffer comes back with its primary
    surfacesLost = false;
    return DD_OK;
}
