// The scripted platform double: the emulation core's host for the tests, and a recorder that
// sits between the program and the core (see platform_double.h).
#include "platform_double.h"

#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <sstream>

#include "platform/emulation/emulation.h"
#include "platform/emulation/host.h"

// The core's own services, which the linker's --wrap leaves under these names.
#define REAL(name) decltype(name) __real_##name;
extern "C" {
REAL(RegisterClassA) REAL(CreateWindowExA) REAL(ShowWindow) REAL(UpdateWindow) REAL(SetFocus)
REAL(LoadIconA) REAL(LoadCursorA) REAL(GetSystemMetrics) REAL(PeekMessageA) REAL(GetMessageA)
REAL(TranslateMessage) REAL(DispatchMessageA) REAL(WaitMessage) REAL(DefWindowProcA)
REAL(PostMessageA) REAL(PostQuitMessage) REAL(SetCursor) REAL(MessageBoxA) REAL(timeGetTime)
REAL(GetTickCount) REAL(SetBkMode) REAL(SetTextColor) REAL(TextOutA) REAL(DirectDrawCreateEx)
}

namespace {

// The DirectDraw objects the program is given: each call is recorded, then the core's object answers.
struct RecordedDraw final : IDirectDraw7 {
    HRESULT CreateSurface(DDSURFACEDESC2 *desc, IDirectDrawSurface7 **surface, IUnknown *outer) override;
    HRESULT SetCooperativeLevel(HWND window, DWORD flags) override;
    HRESULT SetDisplayMode(DWORD width, DWORD height, DWORD bits, DWORD refresh, DWORD flags) override;
    ULONG Release() override;
    IDirectDraw7 *real = NULL;
};

struct RecordedSurface final : IDirectDrawSurface7 {
    explicit RecordedSurface(const char *name) : name(name) {}
    HRESULT Flip(IDirectDrawSurface7 *targetOverride, DWORD flags) override;
    HRESULT GetAttachedSurface(DDSCAPS2 *caps, IDirectDrawSurface7 **surface) override;
    HRESULT GetDC(HDC *context) override;
    HRESULT Lock(RECT *rect, DDSURFACEDESC2 *desc, DWORD flags, HANDLE event) override;
    HRESULT ReleaseDC(HDC context) override;
    HRESULT Restore() override;
    HRESULT Unlock(RECT *rect) override;
    ULONG Release() override;
    const char *name;
    IDirectDrawSurface7 *real = NULL;
};

// A scripted failure: how many calls are left to fail, and with what.
struct Failure {
    int times;
    HRESULT result;
};

enum Kind { DIRECTDRAW, WINDOWS, INFALLIBLE };

}  // namespace

// Every service the program calls, by how it reports failure.
static const std::map<std::string, Kind> SERVICES = [] {
    std::map<std::string, Kind> services;
    for (const char *name : {"DirectDrawCreateEx", "SetCooperativeLevel", "SetDisplayMode",
                             "CreateSurface", "GetAttachedSurface", "Lock", "Unlock", "GetDC",
                             "ReleaseDC", "Flip", "Restore"})
        services[name] = DIRECTDRAW;
    for (const char *name : {"RegisterClassA", "CreateWindowExA", "UpdateWindow", "SetFocus",
                             "LoadIconA", "LoadCursorA", "GetSystemMetrics", "PeekMessageA",
                             "GetMessageA", "TranslateMessage", "WaitMessage", "PostMessageA",
                             "MessageBoxA", "SetBkMode", "SetTextColor", "TextOutA"})
        services[name] = WINDOWS;
    for (const char *name : {"Release", "ShowWindow", "DispatchMessageA", "DefWindowProcA",
                             "PostQuitMessage", "SetCursor", "timeGetTime", "GetTickCount"})
        services[name] = INFALLIBLE;
    return services;
}();

static std::vector<std::string> callLog;                    // every call, formatted, in order
static std::map<std::string, int> callCounts;               // calls so far by service
static long totalCalls;                                     // calls so far, all services
static long callLimit = 1000000;                            // more calls stop the run
static int frameLimit = 10000;                              // more Flips stop the run
static size_t logLimit = SIZE_MAX;                          // latest log entries kept at least
static std::map<std::string, std::function<void()>> hooks;  // run on each call of a service
static std::map<std::string, Failure> failures;             // scripted failures by service
static std::deque<MSG> script;                              // posted by the test, not yet delivered
static uint64_t timeValue, tickValue;                       // the host's milliseconds, one per clock
static uint64_t *clockRead = &timeValue;                    // the clock the core is reading
static int screenWidth = 1920, screenHeight = 1080;         // the desktop's size
static int modeWidth, modeHeight;                           // the display mode, 0 before
static LONG backPitch = 640 * 4 + 256;                      // the back buffer's pitch
static char instanceToken;                                  // the program's module handle
static std::deque<char> nativeWindows;                      // one token per window made
static std::map<const void *, std::string> names = {       // how the log shows known handles
    {&instanceToken, "instance"}};
static std::vector<HWND> created;                           // windows in order of creation
static std::map<std::string, WNDPROC> classProcs;           // real procedure by class name
static std::map<HWND, WNDPROC> windowProcs;                 // real procedure by window
static bool dispatching;                                    // the next procedure call is a dispatch
static const char *waitingIn = "";                          // the call that waits for a message
static std::vector<MSG> dispatched;                         // what DispatchMessageA was given
static std::vector<DBL_ProcCall> procCalls;                 // window procedure calls
static RecordedDraw drawObject;                             // the DirectDraw object handed out
static RecordedSurface primary("primary"), back("back");    // the flip chain handed out

// A misuse of the double, in words, reported through DBL_ReportMisuse.
template <typename... Parts>
static void Complain(const Parts &...parts)
{
    std::ostringstream out;
    out << "platform double: ";
    (out << ... << parts);
    DBL_ReportMisuse(out.str());
}

[[noreturn]] static void Stop(const std::string &why)
{
    Complain(why);
    throw DBL_Stop(why);
}

// --- Formatting calls for the log ---

static std::string Hex(uint64_t value)
{
    char text[24];
    snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

static std::string Quote(const char *text, size_t length)
{
    std::string quoted = "\"";
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
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

static std::string Name(const void *handle)
{
    if (!handle)
        return "NULL";
    auto known = names.find(handle);
    return known != names.end() ? known->second : Hex(reinterpret_cast<uintptr_t>(handle));
}

static std::string Resource(LPCSTR name, const char *application)
{
    const uintptr_t value = reinterpret_cast<uintptr_t>(name);
    if (value == 32512)
        return application;
    if (value < 0x10000)
        return value ? "#" + std::to_string(value) : "NULL";
    return Text(name);
}

static std::string Message(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    static const std::map<UINT, const char *> messageNames = {
        {WM_DESTROY, "WM_DESTROY"},   {WM_CLOSE, "WM_CLOSE"},         {WM_QUIT, "WM_QUIT"},
        {WM_ACTIVATEAPP, "WM_ACTIVATEAPP"}, {WM_SETCURSOR, "WM_SETCURSOR"},
        {WM_KEYDOWN, "WM_KEYDOWN"},   {WM_SYSCOMMAND, "WM_SYSCOMMAND"}};
    auto named = messageNames.find(message);
    return Name(window) + "," + (named != messageNames.end() ? named->second : Hex(message)) + "," +
           Hex(wParam) + "," + Hex((uint64_t)lParam);
}

static std::string D(long long value)
{
    return std::to_string(value);
}

// Logs and counts a call, runs its hook, and tells whether the script makes it fail.
static bool Enter(const std::string &name, const std::string &arguments, HRESULT *result = NULL)
{
    if (++totalCalls > callLimit)
        Stop("more than " + D(callLimit) + " platform calls; last " + name);
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

// A Windows call: logged, then failed as scripted or handed to the core.
template <typename R, typename Call>
static R Forward(const char *name, const std::string &arguments, R failed, Call call)
{
    return Enter(name, arguments) ? failed : call();
}

// A DirectDraw call: logged, then failed with the scripted result or handed to the core.
template <typename Call>
static HRESULT Forward(const char *name, const std::string &arguments, Call call)
{
    HRESULT result;
    return Enter(name, arguments, &result) ? result : call();
}

// A handle the core gave out, shown in the log by its name from now on.
template <typename Handle>
static Handle Named(Handle handle, const char *name)
{
    if (handle)
        names[handle] = name;
    return handle;
}

// --- The script ---

void DBL_Post(UINT message, WPARAM wParam, LPARAM lParam)
{
    script.push_back(MSG{NULL, message, wParam, lParam});
}

void DBL_SetTime(uint64_t milliseconds) { timeValue = milliseconds; }
DWORD DBL_Time() { return (DWORD)timeValue; }
void DBL_SetTick(uint64_t milliseconds) { tickValue = milliseconds; }
DWORD DBL_Tick() { return (DWORD)tickValue; }

void DBL_OnCall(const std::string &name, std::function<void()> hook)
{
    if (!SERVICES.count(name))
        Complain("DBL_OnCall for unknown service ", name);
    else if (hook)
        hooks[name] = std::move(hook);
    else
        hooks.erase(name);
}

void DBL_Fail(const std::string &name, int times)
{
    auto service = SERVICES.find(name);
    if (service == SERVICES.end() || service->second == INFALLIBLE)
        Complain(name, " cannot be made to fail");
    else
        failures[name] = Failure{times, DBL_FAILED};
}

void DBL_FailWith(const std::string &name, int times, HRESULT result)
{
    auto service = SERVICES.find(name);
    if (service == SERVICES.end() || service->second != DIRECTDRAW || result == DD_OK)
        Complain("DBL_FailWith needs a DirectDraw call and a non-zero result, not ", name, " and ",
                 Hex((uint32_t)result));
    else
        failures[name] = Failure{times, result};
}

void DBL_LoseSurfaces() { EMU_LoseSurfaces(); }

void DBL_SetPitch(LONG pitch)
{
    if (pitch < 4)
        Complain("pitch ", pitch, " holds no pixel");
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

void DBL_EndRun() { throw DBL_Stop("run ended by the test"); }

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
HWND DBL_Window() { return created.empty() ? NULL : created.front(); }
bool DBL_WindowDestroyed() { return DBL_Window() && !EMU_Native(DBL_Window()); }
WNDPROC DBL_WindowProc() { return created.empty() ? NULL : windowProcs[created.front()]; }
size_t DBL_Pending() { return script.size() + EMU_Waiting(NULL, 0); }

uint8_t *DBL_BackBuffer()
{
    LONG pitch;
    return EMU_BackBuffer(&pitch);
}

LONG DBL_Pitch() { return backPitch; }

bool DBL_PaddingIntact()
{
    for (int row = 0; row < modeHeight; ++row)
        for (LONG column = modeWidth * 4; column < backPitch; ++column)
            if (DBL_BackBuffer()[row * backPitch + column] != DBL_PAD)
                return false;
    return true;
}

// --- The host: the script's messages, clocks and screen ---

void HOST_PollEvents()
{
    // Messages for the program's window wait until it exists.
    for (; !script.empty() && DBL_Window(); script.pop_front()) {
        const MSG &next = script.front();
        EMU_Post(next.message == WM_QUIT ? NULL : DBL_Window(), next.message, next.wParam, next.lParam);
    }
}

bool HOST_WaitEvents()
{
    if (script.empty() || !DBL_Window())
        Stop(std::string(waitingIn) + " on an empty queue with nothing scheduled would wait for ever");
    return true;
}

uint64_t HOST_Milliseconds() { return *clockRead; }

bool HOST_ScreenSize(int *width, int *height)
{
    *width = screenWidth;
    *height = screenHeight;
    return true;
}

void *HOST_CreateWindow(const char *, int, int, int, int, bool)
{
    nativeWindows.push_back(0);
    return &nativeWindows.back();
}

void HOST_ShowWindow(void *, bool) {}
void HOST_Focus(void *) {}
void HOST_DestroyWindow(void *) {}
void HOST_ShowCursor(bool) {}
void HOST_MessageBox(void *, const char *, const char *, UINT) {}

void HOST_Misuse(const char *what)
{
    Complain("unexpected call: ", what);
}

bool HOST_FullScreen(void *) { return true; }
void HOST_LeaveFullScreen(void *) {}

HRESULT HOST_SetMode(void *, int width, int height)
{
    modeWidth = width;
    modeHeight = height;
    return DD_OK;
}

LONG HOST_Pitch(int width)
{
    if (backPitch < width * 4)
        Complain("DBL_SetPitch(", backPitch, ") is narrower than a row");
    return backPitch;
}

uint8_t *HOST_ScreenMemory(LONG *) { return NULL; }
HRESULT HOST_Present(const uint8_t *, LONG) { return DD_OK; }

// --- The recorder: Windows services ---

// Every window procedure call passes through here on its way to the program's.
static LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const size_t index = procCalls.size();
    procCalls.push_back(DBL_ProcCall{window, message, wParam, lParam, 0, dispatching});
    dispatching = false;
    const LRESULT result = windowProcs[window](window, message, wParam, lParam);
    procCalls[index].result = result;
    return result;
}

static std::string Lower(const char *text)
{
    std::string lower = text ? text : "";
    for (char &c : lower)
        c = (char)tolower((unsigned char)c);
    return lower;
}

extern "C" ATOM __wrap_RegisterClassA(const WNDCLASSA *c)
{
    if (!c) {
        Enter("RegisterClassA", "NULL");
        return __real_RegisterClassA(c);
    }
    if (Enter("RegisterClassA",
              "{style=" + Hex(c->style) + ",cbClsExtra=" + D(c->cbClsExtra) + ",cbWndExtra=" +
                  D(c->cbWndExtra) + ",hInstance=" + Name(c->hInstance) + ",hIcon=" + Name(c->hIcon) +
                  ",hCursor=" + Name(c->hCursor) + ",hbrBackground=" + Name(c->hbrBackground) +
                  ",lpszMenuName=" + Text(c->lpszMenuName) + ",lpszClassName=" +
                  Text(c->lpszClassName) + "}"))
        return 0;
    WNDCLASSA recorded = *c;
    if (c->lpfnWndProc)
        recorded.lpfnWndProc = RecordingProc;
    const ATOM atom = __real_RegisterClassA(&recorded);
    if (atom)
        classProcs[Lower(c->lpszClassName)] = c->lpfnWndProc;
    return atom;
}

extern "C" HWND __wrap_CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName,
                                       DWORD style, int x, int y, int width, int height,
                                       HWND parent, HMENU menu, HINSTANCE instance, void *parameter)
{
    if (Enter("CreateWindowExA", Hex(exStyle) + "," + Text(className) + "," + Text(windowName) +
                                     "," + Hex(style) + "," + D(x) + "," + D(y) + "," + D(width) +
                                     "," + D(height) + "," + Name(parent) + "," + Name(menu) +
                                     "," + Name(instance) + "," + Name(parameter)))
        return NULL;
    HWND window = __real_CreateWindowExA(exStyle, className, windowName, style, x, y, width,
                                         height, parent, menu, instance, parameter);
    if (window) {
        created.push_back(window);
        names[window] = created.size() == 1 ? "window" : "window" + D(created.size());
        windowProcs[window] = classProcs[Lower(className)];
    }
    return window;
}

extern "C" BOOL __wrap_ShowWindow(HWND window, int command)
{
    return Forward("ShowWindow", Name(window) + "," + D(command), false, [&] { return __real_ShowWindow(window, command); });
}

extern "C" BOOL __wrap_UpdateWindow(HWND window)
{
    return Forward("UpdateWindow", Name(window), false, [&] { return __real_UpdateWindow(window); });
}

extern "C" HWND __wrap_SetFocus(HWND window)
{
    return Forward("SetFocus", Name(window), (HWND)NULL, [&] { return __real_SetFocus(window); });
}

extern "C" HICON __wrap_LoadIconA(HINSTANCE instance, LPCSTR name)
{
    return Named(Forward("LoadIconA", Name(instance) + "," + Resource(name, "IDI_APPLICATION"), (HICON)NULL,
                         [&] { return __real_LoadIconA(instance, name); }), "IDI_APPLICATION");
}

extern "C" HCURSOR __wrap_LoadCursorA(HINSTANCE instance, LPCSTR name)
{
    return Named(Forward("LoadCursorA", Name(instance) + "," + Resource(name, "IDC_ARROW"), (HCURSOR)NULL,
                         [&] { return __real_LoadCursorA(instance, name); }), "IDC_ARROW");
}

extern "C" int __wrap_GetSystemMetrics(int index)
{
    return Forward("GetSystemMetrics", D(index), 0, [&] { return __real_GetSystemMetrics(index); });
}

extern "C" BOOL __wrap_PeekMessageA(MSG *message, HWND window, UINT first, UINT last, UINT flags)
{
    return Forward("PeekMessageA", Name(window) + "," + D(first) + "," + D(last) + "," + Hex(flags), false,
                   [&] { return __real_PeekMessageA(message, window, first, last, flags); });
}

extern "C" BOOL __wrap_GetMessageA(MSG *message, HWND window, UINT first, UINT last)
{
    waitingIn = "GetMessageA";
    return Forward("GetMessageA", Name(window) + "," + D(first) + "," + D(last), -1,
                   [&] { return __real_GetMessageA(message, window, first, last); });
}

static std::string Message(const MSG *message)
{
    return message ? Message(message->hwnd, message->message, message->wParam, message->lParam) : "NULL";
}

extern "C" BOOL __wrap_TranslateMessage(const MSG *message)
{
    return Forward("TranslateMessage", Message(message), false, [&] { return __real_TranslateMessage(message); });
}

extern "C" LRESULT __wrap_DispatchMessageA(const MSG *message)
{
    Enter("DispatchMessageA", Message(message));
    if (message)
        dispatched.push_back(*message);
    dispatching = true;
    const LRESULT result = __real_DispatchMessageA(message);
    dispatching = false;
    return result;
}

extern "C" BOOL __wrap_WaitMessage(void)
{
    waitingIn = "WaitMessage";
    return Forward("WaitMessage", "", false, [] { return __real_WaitMessage(); });
}

extern "C" LRESULT __wrap_DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return Forward("DefWindowProcA", Message(window, message, wParam, lParam), (LRESULT)0,
                   [&] { return __real_DefWindowProcA(window, message, wParam, lParam); });
}

extern "C" BOOL __wrap_PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return Forward("PostMessageA", Message(window, message, wParam, lParam), false,
                   [&] { return __real_PostMessageA(window, message, wParam, lParam); });
}

extern "C" void __wrap_PostQuitMessage(int exitCode)
{
    Enter("PostQuitMessage", D(exitCode));
    __real_PostQuitMessage(exitCode);
}

extern "C" HCURSOR __wrap_SetCursor(HCURSOR cursor)
{
    return Forward("SetCursor", Name(cursor), (HCURSOR)NULL, [&] { return __real_SetCursor(cursor); });
}

extern "C" int __wrap_MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    return Forward("MessageBoxA", Name(owner) + "," + Text(text) + "," + Text(caption) + "," + Hex(type), 0,
                   [&] { return __real_MessageBoxA(owner, text, caption, type); });
}

extern "C" DWORD __wrap_timeGetTime(void)
{
    return Forward("timeGetTime", "", 0u, [] { return __real_timeGetTime(); });
}

extern "C" DWORD __wrap_GetTickCount(void)
{
    // The host keeps one value per clock, so a test can wrap them at different moments.
    clockRead = &tickValue;
    const DWORD tick = Forward("GetTickCount", "", 0u, [] { return __real_GetTickCount(); });
    clockRead = &timeValue;
    return tick;
}

extern "C" int __wrap_SetBkMode(HDC context, int mode)
{
    return Forward("SetBkMode", Name(context) + "," + D(mode), 0, [&] { return __real_SetBkMode(context, mode); });
}

extern "C" COLORREF __wrap_SetTextColor(HDC context, COLORREF color)
{
    return Forward("SetTextColor", Name(context) + "," + Hex(color), CLR_INVALID,
                   [&] { return __real_SetTextColor(context, color); });
}

extern "C" BOOL __wrap_TextOutA(HDC context, int x, int y, LPCSTR text, int length)
{
    const std::string shown = text && length >= 0 ? Quote(text, (size_t)length) : Text(text);
    return Forward("TextOutA", Name(context) + "," + D(x) + "," + D(y) + "," + shown + "," + D(length), false,
                   [&] { return __real_TextOutA(context, x, y, text, length); });
}

// --- The recorder: DirectDraw ---

extern "C" HRESULT __wrap_DirectDrawCreateEx(GUID *driver, void **object, REFIID iid, IUnknown *outer)
{
    const bool iidRight = memcmp(&iid, &IID_IDirectDraw7, sizeof(IID)) == 0;
    HRESULT result;
    if (Enter("DirectDrawCreateEx",
              Name(driver) + "," + (iidRight ? "IID_IDirectDraw7" : "other") + "," + Name(outer),
              &result))
        return result;
    void *real = NULL;
    result = __real_DirectDrawCreateEx(driver, object ? &real : NULL, iid, outer);
    if (result == DD_OK) {
        drawObject.real = static_cast<IDirectDraw7 *>(real);
        *object = static_cast<IDirectDraw7 *>(&drawObject);
    }
    return result;
}

HRESULT RecordedDraw::SetCooperativeLevel(HWND window, DWORD flags)
{
    return Forward("SetCooperativeLevel", Name(window) + "," + Hex(flags),
                   [&] { return real->SetCooperativeLevel(window, flags); });
}

HRESULT RecordedDraw::SetDisplayMode(DWORD width, DWORD height, DWORD bits, DWORD refresh, DWORD flags)
{
    return Forward("SetDisplayMode", D(width) + "," + D(height) + "," + D(bits) + "," + D(refresh) + "," + Hex(flags),
                   [&] { return real->SetDisplayMode(width, height, bits, refresh, flags); });
}

HRESULT RecordedDraw::CreateSurface(DDSURFACEDESC2 *desc, IDirectDrawSurface7 **surface, IUnknown *outer)
{
    std::string shown = "NULL";
    if (desc) {
        shown = "{dwSize=" + D(desc->dwSize) + ",dwFlags=" + Hex(desc->dwFlags) +
                ",dwBackBufferCount=" + D(desc->dwBackBufferCount) + ",ddsCaps.dwCaps=" +
                Hex(desc->ddsCaps.dwCaps);
        if (desc->lPitch)
            shown += ",lPitch=" + D(desc->lPitch);
        if (desc->lpSurface)
            shown += ",lpSurface=" + Name(desc->lpSurface);
        shown += "}";
    }
    HRESULT result;
    if (Enter("CreateSurface", shown + "," + Name(outer), &result))
        return result;
    result = real->CreateSurface(desc, surface ? &primary.real : NULL, outer);
    if (result != DD_OK)
        return result;
    *surface = &primary;
    names[&primary] = "primary";
    names[&back] = "back";
    // Rows and padding start with bytes of their own, so a copy that misses either shows.
    uint8_t *rows = DBL_BackBuffer();
    memset(rows, DBL_PAD, (size_t)backPitch * modeHeight);
    for (int row = 0; row < modeHeight; ++row)
        memset(rows + (size_t)row * backPitch, DBL_FILL, (size_t)modeWidth * 4);
    return DD_OK;
}

HRESULT RecordedSurface::GetAttachedSurface(DDSCAPS2 *caps, IDirectDrawSurface7 **surface)
{
    HRESULT result;
    if (Enter("GetAttachedSurface",
              std::string(name) + "," + (caps ? "{dwCaps=" + Hex(caps->dwCaps) + "}" : "NULL"), &result))
        return result;
    result = real->GetAttachedSurface(caps, surface ? &back.real : NULL);
    if (result == DD_OK)
        *surface = &back;
    return result;
}

HRESULT RecordedSurface::Lock(RECT *rect, DDSURFACEDESC2 *desc, DWORD flags, HANDLE event)
{
    return Forward("Lock", std::string(name) + "," + Name(rect) + "," +
                               (desc ? "{dwSize=" + D(desc->dwSize) + "}" : "NULL") + "," + Hex(flags) + "," + Name(event),
                   [&] { return real->Lock(rect, desc, flags, event); });
}

HRESULT RecordedSurface::Unlock(RECT *rect)
{
    return Forward("Unlock", std::string(name) + "," + Name(rect), [&] { return real->Unlock(rect); });
}

HRESULT RecordedSurface::GetDC(HDC *context)
{
    return Forward("GetDC", name, [&] {
        const HRESULT result = real->GetDC(context);
        if (result == DD_OK)
            names[*context] = "dc";
        return result;
    });
}

HRESULT RecordedSurface::ReleaseDC(HDC context)
{
    return Forward("ReleaseDC", std::string(name) + "," + Name(context), [&] { return real->ReleaseDC(context); });
}

HRESULT RecordedSurface::Flip(IDirectDrawSurface7 *targetOverride, DWORD flags)
{
    if (DBL_Count("Flip") >= frameLimit)
        Stop("more than " + D(frameLimit) + " Flip calls");
    return Forward("Flip", std::string(name) + "," + Name(targetOverride) + "," + Hex(flags),
                   [&] { return real->Flip(targetOverride, flags); });
}

HRESULT RecordedSurface::Restore()
{
    return Forward("Restore", name, [&] { return real->Restore(); });
}

ULONG RecordedSurface::Release()
{
    Enter("Release", name);
    return real->Release();
}

ULONG RecordedDraw::Release()
{
    Enter("Release", "draw");
    return real->Release();
}
