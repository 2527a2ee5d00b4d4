// The scripted platform double: the emulation core's host for the tests, and a recorder that
// sits between the program and the core (see platform_double.h).
#include "platform_double.h"

#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <sstream>
#include <strings.h>
#include <type_traits>

#include "platform/emulation/emulation.h"
#include "platform/emulation/host.h"

// The core's own services, which the linker's --wrap leaves under these names.
#define REAL(name) extern "C" decltype(name) __real_##name;
REAL(RegisterClassA) REAL(CreateWindowExA) REAL(LoadIconA) REAL(LoadCursorA)
REAL(DispatchMessageA) REAL(PostQuitMessage) REAL(DirectDrawCreateEx)

namespace {

// Arguments that the log shows otherwise than their type would; each passes on as its value.
template <typename T> struct Tag {
    T value;
    operator T() const { return value; }
};
template <typename T> struct Hex : Tag<T> {};        // flags, wParam and lParam, in hex
template <typename T> struct Out : Tag<T> {};        // an out pointer, not shown
struct Msg : Tag<UINT> {};                           // a message, by name where it has one
struct Size : Tag<DDSURFACEDESC2 *> {};              // a description of which only dwSize counts
struct Resource : Tag<LPCSTR> { const char *system; };  // a resource, the system's by name
struct Counted : Tag<LPCSTR> { int length; };        // a text of a given length
template <typename T> Hex(T) -> Hex<T>;
template <typename T> Out(T) -> Out<T>;

// A scripted failure: how many calls are left to fail, and with what.
struct Failure {
    int times;
    HRESULT result;
};

enum Kind { DIRECTDRAW, WINDOWS, INFALLIBLE };

// Class names are compared as Windows compares them, regardless of case.
struct Caseless {
    bool operator()(const std::string &a, const std::string &b) const { return strcasecmp(a.c_str(), b.c_str()) < 0; }
};

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
static const char *lastCall = "";                           // the service called last
static long callLimit = 1000000;                            // more calls stop the run
static int frameLimit = 10000;                              // more Flips stop the run
static size_t logLimit = SIZE_MAX;                          // latest log entries kept at least
static std::map<std::string, std::function<void()>> hooks;  // run on each call of a service
static std::map<std::string, Failure> failures;             // scripted failures by service
static std::deque<MSG> script;                              // posted by the test, not yet delivered
static uint64_t timeValue, tickValue;                       // the host's milliseconds, one per clock
static int modeWidth, modeHeight;                           // the display mode, 0 before
static LONG backPitch = 640 * 4 + 256;                      // the back buffer's pitch
static bool screenOffered;                                  // the host offers the screen's memory
static std::vector<uint8_t> screenMemory;                   // the screen's pixels, once offered
static LONG screenPitch;                                    // bytes between rows of screenMemory
static std::deque<std::vector<uint8_t>> oldScreens;         // memory the screen left behind
static int presentsLost;                                    // presents left that find the screen gone
static int presents;                                        // frames presented, lost ones included
static const uint8_t *presentedPixels;                      // the last present's pixels
static LONG presentedPitch;                                 // and its pitch
static char instanceToken;                                  // the program's module handle
static std::deque<char> nativeWindows;                      // one token per window made
static std::vector<HWND> created;                           // windows in order of creation
static std::map<std::string, WNDPROC, Caseless> classProcs; // real procedure by class name
static std::map<HWND, WNDPROC> windowProcs;                 // real procedure by window
static bool dispatching;                                    // the next procedure call is a dispatch
static std::vector<MSG> dispatched;                         // what DispatchMessageA was given
static std::vector<DBL_ProcCall> procCalls;                 // window procedure calls
static std::map<const void *, std::string> names = {        // how the log shows known handles
    {&instanceToken, "instance"}};

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

// --- Formatting calls for the log: each argument shows itself by its type or tag ---

template <typename... Shown>
static std::string Arguments(const Shown &...shown);

static std::string Show(const std::string &alreadyShown) { return alreadyShown; }

template <typename T, typename = std::enable_if_t<std::is_integral_v<T>>>
static std::string Show(T value) { return std::to_string(value); }

template <typename T>
static std::string Show(Hex<T> value)
{
    char text[24];
    snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value.value));
    return text;
}

template <typename T>
static std::string Show(Out<T>) { return ""; }

// Quoted, with \n, \", \\ and \x.. escapes; the whole string where no length is given.
static std::string Show(Counted text)
{
    if (!text.value)
        return "NULL";
    std::string quoted = "\"";
    const size_t length = text.length >= 0 ? (size_t)text.length : strlen(text.value);
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(text.value[i]);
        char escaped[8] = {(char)c};
        if (c == '\n')
            strcpy(escaped, "\\n");
        else if (c == '"' || c == '\\')
            snprintf(escaped, sizeof escaped, "\\%c", c);
        else if (c < 0x20 || c >= 0x7F)
            snprintf(escaped, sizeof escaped, "\\x%02x", c);
        quoted += escaped;
    }
    return quoted + "\"";
}

static std::string Show(const char *text) { return Show(Counted{{text}, -1}); }

static std::string Show(const void *handle)
{
    auto known = names.find(handle);
    return !handle ? "NULL" : known != names.end() ? known->second : Show(Hex{(uintptr_t)handle});
}

static std::string Show(Resource resource)
{
    const uintptr_t value = reinterpret_cast<uintptr_t>(resource.value);
    if (value == 32512)
        return resource.system;
    return value == 0 || value >= 0x10000 ? Show(resource.value) : "#" + std::to_string(value);
}

static std::string Show(Msg message)
{
    static const std::map<UINT, const char *> messageNames = {
        {WM_DESTROY, "WM_DESTROY"},   {WM_CLOSE, "WM_CLOSE"},         {WM_QUIT, "WM_QUIT"},
        {WM_ACTIVATEAPP, "WM_ACTIVATEAPP"}, {WM_SETCURSOR, "WM_SETCURSOR"},
        {WM_KEYDOWN, "WM_KEYDOWN"},   {WM_SYSCOMMAND, "WM_SYSCOMMAND"}};
    auto named = messageNames.find(message);
    return named != messageNames.end() ? named->second : Show(Hex{message.value});
}

static std::string Show(const MSG *m)
{
    return m ? Arguments(m->hwnd, Msg{{m->message}}, Hex{m->wParam}, Hex{m->lParam}) : "NULL";
}

static std::string Show(const DDSCAPS2 *caps)
{
    return caps ? "{dwCaps=" + Show(Hex{caps->dwCaps}) + "}" : "NULL";
}

static std::string Show(Size desc)
{
    return desc.value ? "{dwSize=" + Show(desc.value->dwSize) + "}" : "NULL";
}

static std::string Show(const DDSURFACEDESC2 *d)
{
    if (!d)
        return "NULL";
    return "{dwSize=" + Show(d->dwSize) + ",dwFlags=" + Show(Hex{d->dwFlags}) + ",dwBackBufferCount=" +
           Show(d->dwBackBufferCount) + ",ddsCaps.dwCaps=" + Show(Hex{d->ddsCaps.dwCaps}) +
           (d->lPitch ? ",lPitch=" + Show(d->lPitch) : "") +
           (d->lpSurface ? ",lpSurface=" + Show(d->lpSurface) : "") + "}";
}

static std::string Show(const WNDCLASSA *c)
{
    if (!c)
        return "NULL";
    return "{style=" + Show(Hex{c->style}) + ",cbClsExtra=" + Show(c->cbClsExtra) + ",cbWndExtra=" +
           Show(c->cbWndExtra) + ",hInstance=" + Show(c->hInstance) + ",hIcon=" + Show(c->hIcon) +
           ",hCursor=" + Show(c->hCursor) + ",hbrBackground=" + Show(c->hbrBackground) +
           ",lpszMenuName=" + Show(c->lpszMenuName) + ",lpszClassName=" + Show(c->lpszClassName) + "}";
}

// The arguments shown, separated by commas.
template <typename... Shown>
static std::string Arguments(const Shown &...shown)
{
    std::string joined;
    for (const std::string &each : {std::string(), Show(shown)...})
        if (!each.empty())
            joined += (joined.empty() ? "" : ",") + each;
    return joined;
}

// Keeps the latest logLimit entries, dropping the rest in halves so trimming costs a constant per call.
static void TrimLog()
{
    if (callLog.size() >= 2 * logLimit)
        callLog.erase(callLog.begin(), callLog.end() - static_cast<ptrdiff_t>(logLimit));
}

// Logs and counts a call, runs its hook, and tells whether the script makes it fail.
static bool Enter(const char *name, const std::string &arguments, HRESULT *result = NULL)
{
    if (++totalCalls > callLimit)
        Stop("more than " + Show(callLimit) + " platform calls; last " + name);
    if (logLimit > 0) {
        callLog.push_back(name + ("(" + arguments + ")"));
        TrimLog();
    }
    ++callCounts[name];
    auto hook = hooks.find(name);
    if (hook != hooks.end())
        hook->second();
    // After the hook, which may call services of its own: the host asks which call it serves.
    lastCall = name;
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
                 Show(Hex{(uint32_t)result}));
    else
        failures[name] = Failure{times, result};
}

void DBL_LoseSurfaces() { EMU_LoseSurfaces(); }

// Rows as CreateSurface leaves them and padding of its own, so a copy that misses either shows.
static void Paint(uint8_t *rows, LONG pitch)
{
    memset(rows, DBL_PAD, (size_t)pitch * modeHeight);
    for (int row = 0; row < modeHeight; ++row)
        memset(rows + (size_t)row * pitch, DBL_FILL, (size_t)modeWidth * 4);
}

void DBL_OfferScreenMemory() { screenOffered = true; }

void DBL_MoveScreen(LONG pitch)
{
    if (screenMemory.empty() || (pitch != 0 && pitch < modeWidth * 4)) {
        Complain("DBL_MoveScreen(", pitch, ") without screen memory made, or narrower than a row");
        return;
    }
    // The old memory is kept, never used again, so that a back buffer left there fails the
    // test's checks instead of crashing it, and the new place always differs from the old.
    oldScreens.push_back(std::move(screenMemory));
    screenMemory.assign((size_t)pitch * modeHeight, 0);
    if (pitch != 0)
        Paint(screenMemory.data(), pitch);
    screenPitch = pitch;
    screenOffered = pitch != 0;
    EMU_LoseSurfaces();
}

uint8_t *DBL_ScreenMemory() { return screenMemory.empty() ? NULL : screenMemory.data(); }

void DBL_LoseAtPresent(int times) { presentsLost = times; }

int DBL_Presents() { return presents; }

const uint8_t *DBL_Presented(LONG *pitch)
{
    *pitch = presentedPitch;
    return presentedPixels;
}

void DBL_SetPitch(LONG pitch)
{
    if (pitch < 4)
        Complain("pitch ", pitch, " holds no pixel");
    else
        backPitch = pitch;
}

void DBL_SetFrameLimit(int flips) { frameLimit = flips; }
void DBL_SetCallLimit(long calls) { callLimit = calls; }

void DBL_SetLogLimit(size_t entries)
{
    logLimit = entries;
    TrimLog();
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
HWND DBL_Window() { return created.empty() ? NULL : created.front(); }
bool DBL_WindowDestroyed() { return DBL_Window() && !EMU_Native(DBL_Window()); }
WNDPROC DBL_WindowProc() { return created.empty() ? NULL : windowProcs[created.front()]; }
size_t DBL_Pending() { return script.size() + EMU_Waiting(NULL, 0); }

uint8_t *DBL_BackBuffer()
{
    LONG pitch;
    return EMU_BackBuffer(&pitch);
}

LONG DBL_Pitch() { return screenMemory.empty() ? backPitch : screenPitch; }

bool DBL_PaddingIntact()
{
    for (int row = 0; row < modeHeight; ++row)
        for (LONG column = modeWidth * 4; column < DBL_Pitch(); ++column)
            if (DBL_BackBuffer()[row * DBL_Pitch() + column] != DBL_PAD)
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
        Stop(std::string(lastCall) + " on an empty queue with nothing scheduled would wait for ever");
    return true;
}

uint64_t HOST_Milliseconds() { return strcmp(lastCall, "GetTickCount") == 0 ? tickValue : timeValue; }

bool HOST_ScreenSize(int *width, int *height)
{
    *width = 1920;
    *height = 1080;
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

uint8_t *HOST_ScreenMemory(LONG *pitch)
{
    if (!screenOffered)
        return NULL;
    if (screenMemory.empty()) {
        screenPitch = backPitch;
        screenMemory.assign((size_t)screenPitch * modeHeight, 0);
    }
    *pitch = screenPitch;
    return screenMemory.data();
}

HRESULT HOST_Present(const uint8_t *pixels, LONG pitch)
{
    ++presents;
    presentedPixels = pixels;
    presentedPitch = pitch;
    if (presentsLost > 0) {
        --presentsLost;
        return DDERR_SURFACELOST;
    }
    // Memory the screen no longer has may already be another allocation's, or nobody's.
    if (!screenMemory.empty() && (pixels != screenMemory.data() || pitch != screenPitch))
        Complain("unexpected call: a present of ", Show(Hex{(uintptr_t)pixels}), " at pitch ", pitch,
                 " while the screen keeps its pixels at ", Show(Hex{(uintptr_t)screenMemory.data()}),
                 " at pitch ", screenPitch);
    return DD_OK;
}

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

// A service handed to the core as it was called: `failed` when the script makes it fail.
#define WRAP(R, name, failed, parameters, ...)                                         \
    REAL(name)                                                                         \
    extern "C" R __wrap_##name parameters                                              \
    {                                                                                  \
        return Forward(#name, Arguments(__VA_ARGS__), (R)(failed),                     \
                       [&] { return __real_##name(__VA_ARGS__); });                    \
    }

WRAP(BOOL, ShowWindow, false, (HWND window, int command), window, command)
WRAP(BOOL, UpdateWindow, false, (HWND window), window)
WRAP(HWND, SetFocus, NULL, (HWND window), window)
WRAP(int, GetSystemMetrics, 0, (int index), index)
WRAP(BOOL, PeekMessageA, false, (MSG *m, HWND window, UINT first, UINT last, UINT flags),
     Out{m}, window, first, last, Hex{flags})
WRAP(BOOL, GetMessageA, -1, (MSG *m, HWND window, UINT first, UINT last), Out{m}, window, first, last)
WRAP(BOOL, TranslateMessage, false, (const MSG *m), m)
WRAP(BOOL, WaitMessage, false, (void))
WRAP(LRESULT, DefWindowProcA, 0, (HWND window, UINT message, WPARAM wParam, LPARAM lParam),
     window, Msg{{message}}, Hex{wParam}, Hex{lParam})
WRAP(BOOL, PostMessageA, false, (HWND window, UINT message, WPARAM wParam, LPARAM lParam),
     window, Msg{{message}}, Hex{wParam}, Hex{lParam})
WRAP(HCURSOR, SetCursor, NULL, (HCURSOR cursor), cursor)
WRAP(int, MessageBoxA, 0, (HWND owner, LPCSTR text, LPCSTR caption, UINT type), owner, text, caption, Hex{type})
// The host reads the clock of the service called last, so a test can wrap each at its own moment.
WRAP(DWORD, timeGetTime, 0, (void))
WRAP(DWORD, GetTickCount, 0, (void))
WRAP(int, SetBkMode, 0, (HDC context, int mode), context, mode)
WRAP(COLORREF, SetTextColor, CLR_INVALID, (HDC context, COLORREF color), context, Hex{color})
WRAP(BOOL, TextOutA, false, (HDC context, int x, int y, LPCSTR text, int length),
     context, x, y, Counted{{text}, length}, length)

// A resource of the system's: the handle the core gives out is shown by the resource's name.
template <typename Handle>
static Handle Load(const char *service, Handle (*real)(HINSTANCE, LPCSTR), HINSTANCE instance,
                   const Resource &name)
{
    const Handle handle = Forward(service, Arguments(instance, name), (Handle)NULL, [&] { return real(instance, name); });
    if (handle)
        names[handle] = name.system;
    return handle;
}

extern "C" HICON __wrap_LoadIconA(HINSTANCE instance, LPCSTR name)
{
    return Load("LoadIconA", __real_LoadIconA, instance, Resource{{name}, "IDI_APPLICATION"});
}

extern "C" HCURSOR __wrap_LoadCursorA(HINSTANCE instance, LPCSTR name)
{
    return Load("LoadCursorA", __real_LoadCursorA, instance, Resource{{name}, "IDC_ARROW"});
}

extern "C" ATOM __wrap_RegisterClassA(const WNDCLASSA *c)
{
    if (Enter("RegisterClassA", Show(c)))
        return 0;
    WNDCLASSA recorded = c ? *c : WNDCLASSA{};
    if (c && c->lpfnWndProc)
        recorded.lpfnWndProc = RecordingProc;
    const ATOM atom = __real_RegisterClassA(c ? &recorded : NULL);
    if (atom)
        classProcs[c->lpszClassName] = c->lpfnWndProc;
    return atom;
}

extern "C" HWND __wrap_CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName,
                                       DWORD style, int x, int y, int width, int height,
                                       HWND parent, HMENU menu, HINSTANCE instance, void *parameter)
{
    if (Enter("CreateWindowExA", Arguments(Hex{exStyle}, className, windowName, Hex{style}, x, y,
                                           width, height, parent, menu, instance, parameter)))
        return NULL;
    HWND window = __real_CreateWindowExA(exStyle, className, windowName, style, x, y, width,
                                         height, parent, menu, instance, parameter);
    if (window) {
        created.push_back(window);
        names[window] = created.size() == 1 ? "window" : "window" + Show(created.size());
        windowProcs[window] = classProcs[className];
    }
    return window;
}

extern "C" LRESULT __wrap_DispatchMessageA(const MSG *message)
{
    Enter("DispatchMessageA", Show(message));
    if (message)
        dispatched.push_back(*message);
    dispatching = true;
    const LRESULT result = __real_DispatchMessageA(message);
    dispatching = false;
    return result;
}

extern "C" void __wrap_PostQuitMessage(int exitCode)
{
    Enter("PostQuitMessage", Show(exitCode));
    __real_PostQuitMessage(exitCode);
}

// --- The recorder: DirectDraw ---

// A method handed to the core's object as it was called, shown after the object's name.
#define RECORD(method, parameters, ...)                                                \
    HRESULT method parameters override                                                 \
    {                                                                                  \
        return Forward(#method, Arguments(this, ##__VA_ARGS__),                        \
                       [&] { return real->method(__VA_ARGS__); });                     \
    }

// The DirectDraw objects the program is given: each call is recorded, then the core's object
// answers. The log shows each object by its name first.
struct RecordedDraw final : IDirectDraw7 {
    RecordedDraw() { names[this] = "draw"; }
    HRESULT CreateSurface(DDSURFACEDESC2 *desc, IDirectDrawSurface7 **surface, IUnknown *outer) override;
    RECORD(SetCooperativeLevel, (HWND window, DWORD flags), window, Hex{flags})
    RECORD(SetDisplayMode, (DWORD width, DWORD height, DWORD bits, DWORD refresh, DWORD flags),
           width, height, bits, refresh, Hex{flags})
    ULONG Release() override
    {
        Enter("Release", Show(this));
        return real->Release();
    }
    IDirectDraw7 *real = NULL;
};

struct RecordedSurface final : IDirectDrawSurface7 {
    explicit RecordedSurface(const char *name) { names[this] = name; }
    HRESULT Flip(IDirectDrawSurface7 *targetOverride, DWORD flags) override
    {
        if (DBL_Count("Flip") >= frameLimit)
            Stop("more than " + Show(frameLimit) + " Flip calls");
        return Forward("Flip", Arguments(this, targetOverride, Hex{flags}),
                       [&] { return real->Flip(targetOverride, flags); });
    }
    HRESULT GetAttachedSurface(DDSCAPS2 *caps, IDirectDrawSurface7 **surface) override;
    HRESULT GetDC(HDC *context) override
    {
        return Forward("GetDC", Show(this), [&] {
            const HRESULT result = real->GetDC(context);
            if (result == DD_OK)
                names[*context] = "dc";
            return result;
        });
    }
    RECORD(Lock, (RECT *rect, DDSURFACEDESC2 *desc, DWORD flags, HANDLE event),
           rect, Size{{desc}}, Hex{flags}, event)
    RECORD(ReleaseDC, (HDC context), context)
    RECORD(Restore, ())
    RECORD(Unlock, (RECT *rect), rect)
    ULONG Release() override
    {
        Enter("Release", Show(this));
        return real->Release();
    }
    IDirectDrawSurface7 *real = NULL;
};

static RecordedDraw drawObject;                          // the DirectDraw object handed out
static RecordedSurface primary("primary"), back("back");  // the flip chain handed out

extern "C" HRESULT __wrap_DirectDrawCreateEx(GUID *driver, void **object, REFIID iid, IUnknown *outer)
{
    const bool iidRight = memcmp(&iid, &IID_IDirectDraw7, sizeof(IID)) == 0;
    HRESULT result;
    if (Enter("DirectDrawCreateEx", Arguments(driver, std::string(iidRight ? "IID_IDirectDraw7" : "other"), outer), &result))
        return result;
    void *real = NULL;
    result = __real_DirectDrawCreateEx(driver, object ? &real : NULL, iid, outer);
    if (result == DD_OK) {
        drawObject.real = static_cast<IDirectDraw7 *>(real);
        *object = static_cast<IDirectDraw7 *>(&drawObject);
    }
    return result;
}

HRESULT RecordedDraw::CreateSurface(DDSURFACEDESC2 *desc, IDirectDrawSurface7 **surface, IUnknown *outer)
{
    HRESULT result;
    if (Enter("CreateSurface", Arguments(this, desc, outer), &result))
        return result;
    result = real->CreateSurface(desc, surface ? &primary.real : NULL, outer);
    if (result != DD_OK)
        return result;
    *surface = &primary;
    Paint(DBL_BackBuffer(), DBL_Pitch());
    return DD_OK;
}

HRESULT RecordedSurface::GetAttachedSurface(DDSCAPS2 *caps, IDirectDrawSurface7 **surface)
{
    HRESULT result;
    if (Enter("GetAttachedSurface", Arguments(this, caps), &result))
        return result;
    result = real->GetAttachedSurface(caps, surface ? &back.real : NULL);
    if (result == DD_OK)
        *surface = &back;
    return result;
}
