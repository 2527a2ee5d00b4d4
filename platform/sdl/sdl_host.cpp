// The emulation core's host on SDL2: SDL events become window messages, SDL's clock is the
// clock, and the display mode is a picture scaled by whole numbers between black bars, shown by
// the cheapest way the display gives: SDL's renderer where a GPU draws it, else the window's own
// memory (X11), else shared memory of our own (Wayland), else SDL's renderer on the processor.
// TRACKER_PRESENT=renderer, surface or wayland takes one way and no other.
#include <SDL.h>
#include <SDL_syswm.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/emulation/emulation.h"
#include "platform/emulation/host.h"
#include "platform/sdl/sdl_scale.h"
#include "platform/sdl/sdl_way.h"
#include "platform/sdl/sdl_wayland.h"

static bool videoUp;                   // SDL video initialised, screen saver off
static std::vector<SDL_Window *> all;  // every window made and not yet destroyed
static SDL_Window *focusWindow;        // gets key events that name no window
static SDL_Window *displayWindow;      // the full-screen window frames are shown in
static int modeWidth, modeHeight;      // the display mode
static const WAY_Way *way;             // what shows the frames, made with the flip chain
static bool presented;                 // the way showed the frame last flipped
static bool videoFailureTold;          // the reason video could not start is on standard error

// Another X client can destroy our windows (xdotool windowclose does); Xlib's default answer to
// the errors that follow is to print them and end the process with status 1.
struct XWindow {
    Window id;         // an X window made for an SDL window of ours
    SDL_Window *sdl;   // that SDL window; NULL once SDL_DestroyWindow has run
    bool gone;         // destroyed under us while it was the SDL window's own
};
static std::vector<XWindow> xWindows;                       // every X window seen, newest last
static Display *xDisplay;                                   // SDL's connection, when on X11
static int (*xPreviousHandler)(Display *, XErrorEvent *);  // whoever handled errors before

// SDL's X11 side of the window; false where it has none.
static bool X11Info(SDL_Window *window, SDL_SysWMinfo *info)
{
    SDL_VERSION(&info->version);
    return window && SDL_GetWindowWMInfo(window, info) && info->subsystem == SDL_SYSWM_X11;
}

// The X window SDL draws the SDL window into now (SDL makes a new one for some renderers).
static Window CurrentXId(SDL_Window *window)
{
    SDL_SysWMinfo info;
    return X11Info(window, &info) ? info.info.x11.window : 0;
}

// The entry for X window `id`, or NULL; an SDL window's current X window is added on sight.
static XWindow *FindXWindow(Window id)
{
    for (XWindow &each : xWindows)
        if (each.id == id)
            return &each;
    for (SDL_Window *each : all)
        if (CurrentXId(each) == id) {
            xWindows.push_back(XWindow{id, each, false});
            return &xWindows.back();
        }
    return NULL;
}

// The X window is destroyed; if it was still its SDL window's own, that window is gone.
static void XWindowDestroyed(Window id)
{
    XWindow *known = FindXWindow(id);
    if (known && known->sdl && CurrentXId(known->sdl) == id)
        known->gone = true;
}

// A window that no longer exists: one of ours means another client destroyed it (or SDL replaced
// it), and the next poll tells the core; any other is one SDL still asked about after the loss of
// ours. Every other error goes where it went before.
static int XError(Display *display, XErrorEvent *error)
{
    if (error->error_code != BadWindow && error->error_code != BadDrawable)
        return xPreviousHandler ? xPreviousHandler(display, error) : 0;
    XWindowDestroyed(error->resourceid);
    return 0;
}

// On X11: watches the window's X errors and its DestroyNotify.
static void WatchXWindow(SDL_Window *window)
{
    SDL_SysWMinfo info;
    if (!X11Info(window, &info))
        return;
    if (!xDisplay) {
        xDisplay = info.info.x11.display;
        xPreviousHandler = XSetErrorHandler(XError);
        SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
    }
    FindXWindow(info.info.x11.window);
}

// Windows destroyed under us go the way DestroyWindow takes them: WM_DESTROY, then away.
static void ReportGoneWindows()
{
    for (size_t i = 0; i < xWindows.size(); ++i)
        if (xWindows[i].gone && xWindows[i].sdl)
            if (HWND window = EMU_WindowOf(xWindows[i].sdl))
                EMU_WindowDestroyed(window);
}
// Why a step failed, on one line of standard error beside the program's own box: SDL's own
// reason unless another is given.
[[gnu::format(printf, 2, 3)]] static void Reason(const char *what, const char *format = NULL, ...)
{
    va_list arguments;
    va_start(arguments, format);
    fprintf(stderr, "SDL: %s: ", what);
    if (format)
        vfprintf(stderr, format, arguments);
    else
        fputs(SDL_GetError(), stderr);
    va_end(arguments);
    fputc('\n', stderr);
    fflush(stderr);
}

// Whether SDL's video would start on Wayland: it is asked for, or there is no X11 display to take
// first.
static bool WaylandChosen()
{
    const char *asked = SDL_GetHint(SDL_HINT_VIDEODRIVER);
    if (asked && *asked)
        return SDL_strstr(asked, "wayland") != NULL;
    const char *x11 = SDL_getenv("DISPLAY");
    return !x11 || !*x11;
}

// The SDL the program runs with, which may be newer than the one it was built with.
static std::string SdlVersion()
{
    SDL_version linked;
    SDL_GetVersion(&linked);
    return std::to_string(linked.major) + "." + std::to_string(linked.minor) + "." + std::to_string(linked.patch);
}

// SDL tries one video driver after another, and some print their own complaints on the way
// (Wayland's about XDG_RUNTIME_DIR without a session); the reason that counts is SDL's own.
// SDL 2.26 crashes inside its start-up on a Wayland compositor without a seat (weston's headless
// one), so that one is not started on: *seatless says so.
static int QuietVideoInit(bool *seatless)
{
    fflush(stderr);
    const int saved = dup(STDERR_FILENO), null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    const bool quiet = saved >= 0 && null >= 0 && dup2(null, STDERR_FILENO) >= 0;
    *seatless = WaylandChosen() && WAYLAND_Seatless();
    const int result = *seatless ? -1 : SDL_InitSubSystem(SDL_INIT_VIDEO);
    fflush(stderr);
    if (quiet)
        dup2(saved, STDERR_FILENO);
    for (int descriptor : {null, saved})
        if (descriptor >= 0)
            close(descriptor);
    return result;
}

// Brings SDL's video up once, with the screen saver off; false when no display can be opened,
// with the reason told once however often it is asked.
static bool InitVideo()
{
    if (videoUp)
        return true;
    // Closing the window must arrive as WM_CLOSE only, not also as SDL_QUIT.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    // A window's surface is its own memory, never a texture that SDL would draw with a renderer
    // of its choosing (one of the renderers that SDL 2.32 can crash making on Wayland).
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    bool seatless;
    if (QuietVideoInit(&seatless) != 0) {
        if (std::exchange(videoFailureTold, true))
            return false;
        if (seatless)
            Reason("no video", "the Wayland compositor has no seat (no keyboard, pointer or touch), "
                               "which SDL %s cannot start on", SdlVersion().c_str());
        else
            Reason("no video");
        return false;
    }
    // With no display SDL falls back to drawing nowhere; that is a failure unless asked for.
    const char *driver = SDL_GetCurrentVideoDriver();
    const char *asked = SDL_getenv("SDL_VIDEODRIVER");
    if (driver && (SDL_strcmp(driver, "offscreen") == 0 || SDL_strcmp(driver, "dummy") == 0) &&
        (!asked || SDL_strcasecmp(asked, driver) != 0)) {
        if (!std::exchange(videoFailureTold, true))
            Reason("no video", "no display found, only SDL's %s driver, which draws nowhere (is DISPLAY or WAYLAND_DISPLAY set?)",
                   driver);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    SDL_DisableScreenSaver();
    videoUp = true;
    return true;
}

static HWND FromId(Uint32 id)
{
    return EMU_WindowOf(id ? SDL_GetWindowFromID(id) : NULL);
}

// Windows layout: 'A'-'Z' and '0'-'9' are their ASCII codes; 0 means no key the program knows.
static WPARAM VirtualKey(SDL_Keycode key)
{
    static const struct {
        SDL_Keycode sdl;
        WPARAM vk;
    } keys[] = {
        {SDLK_ESCAPE, VK_ESCAPE}, {SDLK_SPACE, VK_SPACE}, {SDLK_BACKSPACE, 0x08}, {SDLK_TAB, 0x09},
        {SDLK_RETURN, 0x0D}, {SDLK_KP_ENTER, 0x0D}, {SDLK_LSHIFT, 0x10}, {SDLK_RSHIFT, 0x10},
        {SDLK_LCTRL, 0x11}, {SDLK_RCTRL, 0x11}, {SDLK_PAUSE, 0x13}, {SDLK_CAPSLOCK, 0x14},
        {SDLK_PAGEUP, 0x21}, {SDLK_PAGEDOWN, 0x22}, {SDLK_END, 0x23}, {SDLK_HOME, 0x24},
        {SDLK_LEFT, 0x25}, {SDLK_UP, 0x26}, {SDLK_RIGHT, 0x27}, {SDLK_DOWN, 0x28},
        {SDLK_INSERT, 0x2D}, {SDLK_DELETE, 0x2E}, {SDLK_KP_0, 0x60}, {SDLK_KP_MULTIPLY, 0x6A},
        {SDLK_KP_PLUS, 0x6B}, {SDLK_KP_MINUS, 0x6D}, {SDLK_KP_PERIOD, 0x6E}, {SDLK_KP_DIVIDE, 0x6F}};
    if (key >= SDLK_a && key <= SDLK_z)
        return 'A' + (key - SDLK_a);
    if (key >= SDLK_0 && key <= SDLK_9)
        return key;
    if (key >= SDLK_F1 && key <= SDLK_F12)
        return 0x70 + (key - SDLK_F1);
    if (key >= SDLK_KP_1 && key <= SDLK_KP_9)
        return 0x61 + (key - SDLK_KP_1);
    for (const auto &each : keys)
        if (each.sdl == key)
            return each.vk;
    return 0;
}

// Windows asks the window for its cursor whenever the mouse moves over it; one asking waits at most.
static void AskForCursor(HWND window)
{
    if (window && !EMU_Waiting(window, WM_SETCURSOR))
        EMU_Post(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window),
                 HTCLIENT | (LPARAM)WM_MOUSEMOVE << 16);
}

// The frame last flipped, shown again as it was: black bars, then the picture.
static void ShowLastFrame()
{
    LONG pitch;
    // Paused, the program leaves the back buffer as it was flipped.
    const uint8_t *pixels = EMU_BackBuffer(&pitch);
    if (way && way->showAgain && presented && pixels)
        way->showAgain(pixels, pitch);
}

static void Translate(const SDL_Event &event)
{
    switch (event.type) {
    case SDL_QUIT:
        // A signal or the session ending: every window is asked to close.
        for (SDL_Window *each : all)
            EMU_Post(EMU_WindowOf(each), WM_CLOSE, 0, 0);
        break;
    case SDL_WINDOWEVENT: {
        SDL_Window *native = SDL_GetWindowFromID(event.window.windowID);
        HWND window = EMU_WindowOf(native);
        if (!window)
            break;
        switch (event.window.event) {
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            focusWindow = native;
            EMU_Post(window, WM_ACTIVATEAPP, 1, 0);
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            EMU_Post(window, WM_ACTIVATEAPP, 0, 0);
            break;
        case SDL_WINDOWEVENT_CLOSE:
            EMU_Post(window, WM_CLOSE, 0, 0);
            break;
        case SDL_WINDOWEVENT_EXPOSED:
            // Uncovered while no frames come (the program is paused): the last frame again.
            if (native == displayWindow)
                ShowLastFrame();
            break;
        case SDL_WINDOWEVENT_ENTER:
            AskForCursor(window);
            break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            if (native == displayWindow && way && way->resized && way->resized())
                EMU_LoseSurfaces();
            break;
        }
        break;
    }
    case SDL_MOUSEMOTION: {
        HWND window = FromId(event.motion.windowID);
        AskForCursor(window ? window : EMU_WindowOf(focusWindow));
        break;
    }
    case SDL_KEYDOWN: {
        HWND window = FromId(event.key.windowID);
        if (!window && !(window = EMU_WindowOf(focusWindow)))
            break;
        if (event.key.keysym.mod & KMOD_ALT) {
            // Keys held with Alt are system keys; of those only Alt+F4 means something: close.
            if (event.key.keysym.sym == SDLK_F4 && !event.key.repeat)
                EMU_Post(window, WM_SYSCOMMAND, SC_CLOSE, 0);
            break;
        }
        WPARAM key = VirtualKey(event.key.keysym.sym);
        if (key)  // repeat count 1; bit 30 says the key was already down
            EMU_Post(window, WM_KEYDOWN, key, 1 | (event.key.repeat ? (LPARAM)1 << 30 : 0));
        break;
    }
    case SDL_SYSWMEVENT:
        if (event.syswm.msg->subsystem == SDL_SYSWM_X11 &&
            event.syswm.msg->msg.x11.event.type == DestroyNotify)
            XWindowDestroyed(event.syswm.msg->msg.x11.event.xdestroywindow.window);
        break;
    case SDL_RENDER_DEVICE_RESET:
        // The renderer lost what it held, as a display driver loses its surfaces.
        EMU_LoseSurfaces();
        break;
    }
}

void HOST_PollEvents()
{
    SDL_Event event;
    while (videoUp && SDL_PollEvent(&event))
        Translate(event);
    ReportGoneWindows();
}

bool HOST_WaitEvents()
{
    // With no display there is nothing that could ever arrive.
    return videoUp && SDL_WaitEvent(NULL);
}

uint64_t HOST_Milliseconds()
{
    return SDL_GetTicks64();
}

bool HOST_ScreenSize(int *width, int *height)
{
    SDL_DisplayMode desktop;
    if (!InitVideo() || SDL_GetDesktopDisplayMode(0, &desktop) != 0)
        return false;
    *width = desktop.w;
    *height = desktop.h;
    return true;
}

void *HOST_CreateWindow(const char *title, int x, int y, int width, int height, bool popup)
{
    if (!InitVideo())
        return NULL;
    SDL_Window *window = SDL_CreateWindow(title, x, y, width, height,
                                          SDL_WINDOW_HIDDEN | (popup ? SDL_WINDOW_BORDERLESS : 0));
    if (!window) {
        // SDL 2.26 makes every Wayland window an EGL one, so there even our own memory needs EGL.
        const char *error = SDL_GetError();
        if (SDL_strcmp(SDL_GetCurrentVideoDriver(), "wayland") == 0 && SDL_strstr(error, "EGL"))
            Reason("SDL_CreateWindow", "%s (SDL %s opens no Wayland window without EGL and a driver for it, "
                                       "such as Mesa's)", error, SdlVersion().c_str());
        else
            Reason("SDL_CreateWindow");
        return NULL;
    }
    all.push_back(window);
    WatchXWindow(window);
    return window;
}

void HOST_ShowWindow(void *native, bool show)
{
    SDL_Window *window = static_cast<SDL_Window *>(native);
    show ? SDL_ShowWindow(window) : SDL_HideWindow(window);
}

void HOST_Focus(void *native)
{
    SDL_Window *window = static_cast<SDL_Window *>(native);
    SDL_RaiseWindow(window);
    focusWindow = window;
    // Without a window manager nobody else gives the window the keyboard; not every driver can.
    // A window that can never have the focus (SDL's offscreen and dummy drivers) would wait for
    // it for ever, so there it counts as in the foreground at once.
    if (SDL_SetWindowInputFocus(window) != 0 && !(SDL_GetWindowFlags(window) & SDL_WINDOW_INPUT_FOCUS))
        EMU_Post(EMU_WindowOf(window), WM_ACTIVATEAPP, 1, 0);
}

// Whatever shows the frames goes.
static void DropScreen()
{
    if (way)
        way->drop();
    way = NULL;
    presented = false;
}

void HOST_DestroyWindow(void *native)
{
    SDL_Window *window = static_cast<SDL_Window *>(native);
    if (window == displayWindow) {
        DropScreen();
        displayWindow = NULL;
    }
    if (window == focusWindow)
        focusWindow = NULL;
    all.erase(std::remove(all.begin(), all.end(), window), all.end());
    // A window destroyed under us still has SDL's side to free, which brings errors of its own.
    bool gone = false;
    for (XWindow &each : xWindows)
        if (each.sdl == window) {
            gone = gone || each.gone;
            each.sdl = NULL;
        }
    if (gone) {
        // SDL hides a window before destroying it and waits for the server to confirm the unmap,
        // which for a window that no longer exists never comes; the confirmation is queued here.
        XEvent unmapped = {};
        unmapped.xunmap.type = UnmapNotify;
        unmapped.xunmap.display = xDisplay;
        unmapped.xunmap.event = unmapped.xunmap.window = CurrentXId(window);
        XPutBackEvent(xDisplay, &unmapped);
    }
    SDL_DestroyWindow(window);
    // Its errors are taken now, while this host's handler is still there to take them.
    if (gone)
        XSync(xDisplay, False);
}

void HOST_ShowCursor(bool shown)
{
    if (videoUp)
        SDL_ShowCursor(shown ? SDL_ENABLE : SDL_DISABLE);
}

void HOST_MessageBox(void *owner, const char *text, const char *caption, UINT icon)
{
    Uint32 flags = icon == MB_ICONHAND          ? SDL_MESSAGEBOX_ERROR
                   : icon == MB_ICONEXCLAMATION ? SDL_MESSAGEBOX_WARNING
                   : icon == MB_ICONASTERISK    ? SDL_MESSAGEBOX_INFORMATION
                                                : 0;
    if (SDL_ShowSimpleMessageBox(flags, caption, text, static_cast<SDL_Window *>(owner)) != 0) {
        // No display to show a box on: the message still reaches whoever started the program.
        size_t length = strlen(text);
        fprintf(stderr, "%s: %s%s", caption, text, length && text[length - 1] == '\n' ? "" : "\n");
        fflush(stderr);
    }
}

void HOST_Misuse(const char *)
{
    // Windows refuses such calls with an error and says nothing; so does this host.
}

bool HOST_FullScreen(void *native)
{
    if (SDL_SetWindowFullscreen(static_cast<SDL_Window *>(native), SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) {
        Reason("SDL_SetWindowFullscreen");
        return false;
    }
    displayWindow = static_cast<SDL_Window *>(native);
    return true;
}

void HOST_LeaveFullScreen(void *native)
{
    DropScreen();
    SDL_SetWindowFullscreen(static_cast<SDL_Window *>(native), 0);
    displayWindow = NULL;
    modeWidth = modeHeight = 0;
}

HRESULT HOST_SetMode(void *native, int width, int height)
{
    // The full screen is the desktop of the window's display, scaled by whole numbers.
    SDL_DisplayMode desktop;
    if (SDL_GetDesktopDisplayMode(SDL_GetWindowDisplayIndex(static_cast<SDL_Window *>(native)), &desktop) != 0) {
        Reason("SDL_GetDesktopDisplayMode");
        return DDERR_GENERIC;
    }
    // A screen smaller than the mode could show it only cut or shrunk.
    if (desktop.w < width || desktop.h < height) {
        Reason("no such mode", "the screen is %d x %d, smaller than %d x %d", desktop.w, desktop.h, width, height);
        return DDERR_INVALIDMODE;
    }
    modeWidth = width;
    modeHeight = height;
    return DD_OK;
}

// SDL's reason for a call that failed, after the call's name.
static std::string Failed(const char *call)
{
    return std::string(call) + ": " + SDL_GetError();
}

// --- SDL's renderer: a streaming texture at a logical size with whole-number scaling, paced by
// the renderer's vertical sync ---

static SDL_Renderer *renderer;  // made with the flip chain
static SDL_Texture *texture;    // the back buffer's copy on the renderer's side
static bool textureFilled;      // the texture holds a frame that was shown

// Black, then the texture's frame once there is one, whole-number scaled.
static void Render()
{
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    if (textureFilled)
        SDL_RenderCopy(renderer, texture, NULL, NULL);
    SDL_RenderPresent(renderer);
}

// What draws a renderer's pictures when that is the processor: SDL's own software renderer, or
// OpenGL on a software rasterizer such as Mesa's llvmpipe, which costs far more than a copy.
// Empty when a GPU draws them.
static std::string ProcessorDrawing(SDL_Renderer *candidate)
{
    SDL_RendererInfo info;
    if (SDL_GetRendererInfo(candidate, &info) != 0 || !(info.flags & SDL_RENDERER_ACCELERATED))
        return "SDL's software renderer";
    if (SDL_strncmp(info.name, "opengl", 6) != 0)
        return "";
    typedef const unsigned char *(*GetString)(unsigned name);
    GetString getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
    const char *name = getString ? reinterpret_cast<const char *>(getString(0x1F01)) : NULL;  // GL_RENDERER
    return name && (SDL_strstr(name, "llvmpipe") || SDL_strstr(name, "softpipe") ||
                    SDL_strstr(name, "Software Rasterizer"))
               ? name : "";
}

// Whether SDL can load OpenGL here; its reason in *why when not.
static bool OpenGlLoads(std::string *why)
{
    if (SDL_GL_LoadLibrary(NULL) != 0) {
        *why = "no OpenGL: " + Failed("SDL_GL_LoadLibrary");
        return false;
    }
    SDL_GL_UnloadLibrary();
    return true;
}

// SDL's renderer for the window. SDL 2.32 crashes trying OpenGL on a Wayland window where
// OpenGL cannot be loaded, so there SDL is given no choice but its software renderer.
static bool MakeRenderer(SDL_Window *window, std::string *why)
{
    int index = -1;
    std::string noGl;
    if (!OpenGlLoads(&noGl)) {
        SDL_RendererInfo info;
        for (int i = 0; index < 0 && i < SDL_GetNumRenderDrivers(); ++i)
            if (SDL_GetRenderDriverInfo(i, &info) == 0 && SDL_strcmp(info.name, "software") == 0)
                index = i;
        if (index < 0) {
            *why = noGl + ", and SDL has no software renderer";
            return false;
        }
    }
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    // A flip waits for the vertical blank, as DirectDraw's does.
    renderer = SDL_CreateRenderer(window, index, SDL_RENDERER_PRESENTVSYNC);
    if (!renderer)
        *why = Failed("SDL_CreateRenderer") + (noGl.empty() ? "" : " (" + noGl + ")");
    return renderer != NULL;
}

static bool UseRenderer(int width, int height, std::string *why)
{
    if (SDL_RenderSetLogicalSize(renderer, width, height) != 0 ||
        SDL_RenderSetIntegerScale(renderer, SDL_TRUE) != 0) {
        *why = Failed("SDL_RenderSetLogicalSize");
        return false;
    }
    // RGB888 ignores the top byte of each pixel, as a 32-bit display mode does.
    texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, width, height);
    if (!texture) {
        *why = Failed("SDL_CreateTexture");
        return false;
    }
    SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_NONE);
    // The screen goes black with the new chain, until the first flip.
    textureFilled = false;
    Render();
    return true;
}

// Where a GPU draws: the cheapest way of all, so the chain asks first.
static bool RendererOnGpu(SDL_Window *window, int width, int height, std::string *why)
{
    if (!OpenGlLoads(why) || !MakeRenderer(window, why))
        return false;
    const std::string drawer = ProcessorDrawing(renderer);
    if (!drawer.empty()) {
        *why = "drawn by the processor: " + drawer;
        return false;
    }
    return UseRenderer(width, height, why);
}

// Whatever draws it: the last way, which works wherever SDL can draw at all.
static bool AnyRenderer(SDL_Window *window, int width, int height, std::string *why)
{
    return MakeRenderer(window, why) && UseRenderer(width, height, why);
}

static HRESULT RendererPresent(const uint8_t *pixels, LONG pitch)
{
    // Uploaded whole: a locked streaming texture is write-only.
    if (SDL_UpdateTexture(texture, NULL, pixels, pitch) != 0)
        return DDERR_GENERIC;
    textureFilled = true;
    Render();
    return DD_OK;
}

static void RendererShowAgain(const uint8_t *, LONG)
{
    Render();
}

static void RendererDrop()
{
    if (texture)
        SDL_DestroyTexture(texture);
    if (renderer)
        SDL_DestroyRenderer(renderer);
    texture = NULL;
    renderer = NULL;
    textureFilled = false;
}

static const WAY_Way rendererOnGpu = {NULL, "SDL's renderer on a GPU", RendererOnGpu, RendererPresent,
                                      RendererShowAgain, NULL, NULL, RendererDrop};
static const WAY_Way anyRenderer = {"renderer", "SDL's renderer", AnyRenderer, RendererPresent,
                                    RendererShowAgain, NULL, NULL, RendererDrop};

// --- The window's own memory (an X11 shared-memory image on X): the frame blitted in at the
// largest whole-number scale, paced by the clock ---

static SDL_Window *surfaceWindow;       // the window whose memory is written
static int surfaceWidth, surfaceHeight; // the mode
static Uint64 nextFrame;                // when the next frame is due, in counter ticks
static struct Barred {                  // the window surface whose bars are black already
    SDL_Surface *surface;
    void *pixels;
    int w, h;
} barred;
static uint8_t *direct;                 // the back buffer inside the window's surface, when it is there

// Waits, asleep, until the display's next refresh is due; a late frame starts a new rhythm.
static void Pace()
{
    SDL_DisplayMode mode;
    const int hz = SDL_GetWindowDisplayMode(surfaceWindow, &mode) == 0 && mode.refresh_rate > 0
                       ? mode.refresh_rate : 60;
    const Uint64 frequency = SDL_GetPerformanceFrequency(), period = frequency / hz;
    const Uint64 now = SDL_GetPerformanceCounter();
    if (nextFrame > now)
        SDL_Delay((Uint32)((nextFrame - now) * 1000 / frequency));
    nextFrame = (nextFrame + period > now ? nextFrame : now) + period;
}

// Whether the window's surface holds 0x??RRGGBB words, as the frame does.
static bool FrameLayout(const SDL_Surface *screen)
{
    return screen->format->BytesPerPixel == 4 && screen->format->Rmask == 0xFF0000 &&
           screen->format->Gmask == 0xFF00 && screen->format->Bmask == 0xFF;
}

// The window's surface, with where the picture goes at the largest whole-number scale, centred;
// NULL when there is none, it has no memory, or the window is smaller than the mode.
static SDL_Surface *WindowSurface(SDL_Rect *shown, int *scale)
{
    SDL_Surface *screen = SDL_GetWindowSurface(surfaceWindow);
    if (!screen || !screen->pixels || !SCALE_Fit(screen->w, screen->h, surfaceWidth, surfaceHeight, shown, scale))
        return NULL;
    // The bars stay as they are drawn until SDL makes the surface anew (a new size).
    if (screen != barred.surface || screen->pixels != barred.pixels || screen->w != barred.w || screen->h != barred.h) {
        const int right = shown->x + shown->w, bottom = shown->y + shown->h;
        const SDL_Rect bars[4] = {{0, 0, screen->w, shown->y},
                                  {0, bottom, screen->w, screen->h - bottom},
                                  {0, shown->y, shown->x, shown->h},
                                  {right, shown->y, screen->w - right, shown->h}};
        SDL_FillRects(screen, bars, 4, SDL_MapRGB(screen->format, 0, 0, 0));
        barred = Barred{screen, screen->pixels, screen->w, screen->h};
    }
    return screen;
}

// Where pixel (x, y) of the window's surface lies in its memory.
static uint8_t *PixelAt(const SDL_Surface *screen, int x, int y)
{
    return static_cast<uint8_t *>(screen->pixels) + (size_t)y * screen->pitch + (size_t)x * 4;
}

static bool SurfaceSetUp(SDL_Window *window, int width, int height, std::string *why)
{
    surfaceWindow = window;
    surfaceWidth = width;
    surfaceHeight = height;
    SDL_Surface *screen = SDL_GetWindowSurface(window);
    if (!screen) {
        *why = Failed("SDL_GetWindowSurface");
        return false;
    }
    // Where the video driver has no window memory, some SDL versions still hand out a surface.
    if (!screen->pixels) {
        *why = "SDL_GetWindowSurface: a surface without memory";
        return false;
    }
    if (SDL_FillRect(screen, NULL, SDL_MapRGB(screen->format, 0, 0, 0)) != 0) {
        *why = Failed("SDL_FillRect");
        return false;
    }
    if (SDL_UpdateWindowSurface(window) != 0) {
        *why = Failed("SDL_UpdateWindowSurface");
        return false;
    }
    nextFrame = SDL_GetPerformanceCounter();
    return true;
}

static uint8_t *SurfaceMemory(LONG *pitch)
{
    // At scale 1 the window's surface can hold the back buffer itself: a flip then copies nothing.
    SDL_Rect shown;
    int scale;
    SDL_Surface *screen = WindowSurface(&shown, &scale);
    direct = screen && scale == 1 && FrameLayout(screen) ? PixelAt(screen, shown.x, shown.y) : NULL;
    *pitch = direct ? screen->pitch : 0;
    return direct;
}

// The frame into the window's surface at the largest whole-number scale, centred on black.
static HRESULT Blit(const uint8_t *pixels, LONG pitch)
{
    SDL_Rect shown;
    int scale;
    SDL_Surface *screen = WindowSurface(&shown, &scale);
    if (pixels == direct) {
        // SDL makes the surface anew when the window's size changes, and the back buffer with it.
        if (!screen || scale != 1 || direct != PixelAt(screen, shown.x, shown.y)) {
            direct = NULL;
            EMU_LoseSurfaces();
            return DDERR_SURFACELOST;
        }
    } else if (!screen) {
        return DDERR_SURFACELOST;  // the window shrank below the mode
    } else if (FrameLayout(screen)) {
        SCALE_Frame(pixels, pitch, surfaceWidth, surfaceHeight, scale, static_cast<uint8_t *>(screen->pixels),
                    screen->pitch, shown);
    } else {
        // Any other layout: SDL converts and scales, more slowly.
        SDL_Surface *frame = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint8_t *>(pixels), surfaceWidth,
                                                                surfaceHeight, 32, pitch, SDL_PIXELFORMAT_RGB888);
        const bool blitted = frame && SDL_BlitScaled(frame, NULL, screen, &shown) == 0;
        SDL_FreeSurface(frame);
        if (!blitted)
            return DDERR_GENERIC;
    }
    return SDL_UpdateWindowSurface(surfaceWindow) == 0 ? DD_OK : DDERR_GENERIC;
}

static HRESULT SurfacePresent(const uint8_t *pixels, LONG pitch)
{
    const HRESULT result = Blit(pixels, pitch);
    Pace();
    return result;
}

static void SurfaceShowAgain(const uint8_t *pixels, LONG pitch)
{
    barred = Barred{};  // the bars too: whatever covered the window may have drawn there
    Blit(pixels, pitch);
}

static bool SurfaceResized()
{
    // SDL makes the window's surface anew, and a back buffer inside it has to move.
    return std::exchange(direct, nullptr) != NULL;
}

static void SurfaceDrop()
{
    barred = Barred{};
    direct = NULL;
    surfaceWindow = NULL;
}

static const WAY_Way windowMemory = {"surface", "the window's own memory", SurfaceSetUp, SurfacePresent,
                                    SurfaceShowAgain, SurfaceMemory, SurfaceResized, SurfaceDrop};

// --- The flip chain's screen ---

const WAY_Way *WAY_Chain[WAY_CHAIN_LENGTH] = {&rendererOnGpu, &windowMemory, &WAY_WaylandMemory, &anyRenderer};

// What shows the frames is made with the flip chain, so that its failure is the chain's: the first
// way this display gives, or the one TRACKER_PRESENT names, with why others were passed over.
static bool MakeScreen()
{
    const char *choice = SDL_getenv("TRACKER_PRESENT");
    if (choice && !*choice)
        choice = NULL;  // set but empty: the choice is the host's
    std::string passed, names;
    for (const WAY_Way *each : WAY_Chain) {
        if (each->name)
            names += (names.empty() ? "" : ", ") + std::string(each->name);
        if (choice && (!each->name || SDL_strcmp(choice, each->name) != 0))
            continue;
        std::string why;
        if (each->setUp(displayWindow, modeWidth, modeHeight, &why)) {
            way = each;
            presented = false;
            if (!passed.empty())
                Reason("present", "%s, having passed over %s", each->what, passed.c_str());
            return true;
        }
        each->drop();
        passed += (passed.empty() ? "" : "; ") + std::string(each->what) + " (" + why + ")";
    }
    if (!choice)
        Reason("present", "no way of showing frames works here: %s", passed.c_str());
    else if (passed.empty())
        Reason("present", "TRACKER_PRESENT=%s is none of %s", choice, names.c_str());
    else
        Reason("present", "TRACKER_PRESENT=%s: %s", choice, passed.c_str());
    return false;
}

uint8_t *HOST_ScreenMemory(LONG *pitch)
{
    *pitch = 0;
    return way && way->memory ? way->memory(pitch) : NULL;
}

LONG HOST_Pitch(int width)
{
    DropScreen();
    if (!displayWindow || width != modeWidth || !MakeScreen())
        return 0;
    return width * 4;
}

HRESULT HOST_Present(const uint8_t *pixels, LONG pitch)
{
    if (!displayWindow || !way)
        return DDERR_SURFACELOST;  // the window, and with it the screen, is gone
    const HRESULT result = way->present(pixels, pitch);
    presented = result == DD_OK;
    return result;
}
