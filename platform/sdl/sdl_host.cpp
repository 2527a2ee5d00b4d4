// The emulation core's host on SDL2: SDL events become window messages, SDL's clock is the
// clock, and the display mode is a picture scaled by whole numbers between black bars: drawn by
// SDL's renderer where a GPU draws it, or blitted into the window's own surface where OpenGL
// would run on the processor (TRACKER_PRESENT=renderer or =surface chooses either way).
#include <SDL.h>
#include <SDL_syswm.h>

#include <fcntl.h>
#include <unistd.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/emulation/emulation.h"
#include "platform/emulation/host.h"

static bool videoUp;                   // SDL video initialised, screen saver off
static std::vector<SDL_Window *> all;  // every window made and not yet destroyed
static SDL_Window *focusWindow;        // gets key events that name no window
static SDL_Window *displayWindow;      // the full-screen window the renderer draws into
static SDL_Renderer *renderer;         // made by the display mode
static SDL_Texture *texture;           // the back buffer's copy on the renderer's side
static bool presented;                 // the texture holds a frame that was shown
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
static bool blitting;                  // frames go to the window's surface, scaled here
static int modeWidth, modeHeight;      // the display mode
static Uint64 nextFrame;               // when the next blitted frame is due, in counter ticks
static struct Barred {                 // the window surface whose bars are black already
    SDL_Surface *surface;
    void *pixels;
    int w, h;
} barred;
static uint8_t *direct;                // the back buffer inside the window's surface, when it is there

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

// SDL tries one video driver after another, and some print their own complaints on the way
// (Wayland's about XDG_RUNTIME_DIR without a session); the reason that counts is SDL's own.
static int QuietVideoInit()
{
    fflush(stderr);
    const int saved = dup(STDERR_FILENO), null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    const bool quiet = saved >= 0 && null >= 0 && dup2(null, STDERR_FILENO) >= 0;
    const int result = SDL_InitSubSystem(SDL_INIT_VIDEO);
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
    if (QuietVideoInit() != 0) {
        if (!std::exchange(videoFailureTold, true))
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

static HRESULT Blit(const uint8_t *pixels, LONG pitch);

// Black, then the texture's frame once there is one, whole-number scaled.
static void Render()
{
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    if (presented)
        SDL_RenderCopy(renderer, texture, NULL, NULL);
    SDL_RenderPresent(renderer);
}

// The frame last flipped, shown again as it was: black bars, then the picture.
static void ShowLastFrame()
{
    LONG pitch;
    // Paused, the program leaves the back buffer as it was flipped.
    if (blitting && presented && EMU_BackBuffer(&pitch)) {
        barred = Barred{};  // the bars too: whatever covered the window may have drawn there
        Blit(EMU_BackBuffer(&pitch), pitch);
    }
    if (renderer && presented)
        Render();
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
            // SDL makes the window's surface anew, and a back buffer inside it has to move.
            if (direct && native == displayWindow) {
                direct = NULL;
                EMU_LoseSurfaces();
            }
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

// Whatever shows the frames goes: the texture, then the renderer, or the blitting.
static void DropScreen()
{
    if (texture)
        SDL_DestroyTexture(texture);
    if (renderer)
        SDL_DestroyRenderer(renderer);
    texture = NULL;
    renderer = NULL;
    presented = false;
    blitting = false;
    barred = Barred{};
    direct = NULL;
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

// Whether a renderer's pictures are drawn by the processor: SDL's own software renderer, or
// OpenGL on a software rasterizer such as Mesa's llvmpipe, which costs far more than a blit.
static bool DrawnByProcessor(SDL_Renderer *candidate)
{
    SDL_RendererInfo info;
    if (SDL_GetRendererInfo(candidate, &info) != 0 || !(info.flags & SDL_RENDERER_ACCELERATED))
        return true;
    if (SDL_strncmp(info.name, "opengl", 6) != 0)
        return false;
    typedef const unsigned char *(*GetString)(unsigned name);
    GetString getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
    const char *name = getString ? reinterpret_cast<const char *>(getString(0x1F01)) : NULL;  // GL_RENDERER
    return name && (SDL_strstr(name, "llvmpipe") || SDL_strstr(name, "softpipe") ||
                    SDL_strstr(name, "Software Rasterizer"));
}

// The renderer's way: a streaming texture at a logical size with whole-number scaling; false,
// with the reason told, when it cannot be made.
static bool UseRenderer(int width, int height)
{
    if (SDL_RenderSetLogicalSize(renderer, width, height) != 0 ||
        SDL_RenderSetIntegerScale(renderer, SDL_TRUE) != 0) {
        Reason("SDL_RenderSetLogicalSize");
        return false;
    }
    if (texture)
        SDL_DestroyTexture(texture);
    // RGB888 ignores the top byte of each pixel, as a 32-bit display mode does.
    texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING,
                                width, height);
    if (!texture) {
        Reason("SDL_CreateTexture");
        return false;
    }
    SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_NONE);
    // The screen goes black with the new chain, until the first flip.
    presented = false;
    Render();
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

// What shows the frames is made with the flip chain, so that its failure is the chain's.
static bool MakeScreen()
{
    const char *choice = SDL_getenv("TRACKER_PRESENT");
    if (choice && !*choice)
        choice = NULL;  // set but empty: the choice is the host's
    const bool surface = choice && SDL_strcmp(choice, "surface") == 0;
    if (!renderer && !surface) {
        SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
        // A flip waits for the vertical blank, as DirectDraw's does.
        renderer = SDL_CreateRenderer(displayWindow, -1, SDL_RENDERER_PRESENTVSYNC);
        if (renderer && !choice && DrawnByProcessor(renderer)) {
            SDL_DestroyRenderer(renderer);
            renderer = NULL;
        } else if (!renderer) {
            Reason("SDL_CreateRenderer");
            return false;
        }
    }
    if (renderer)
        return UseRenderer(modeWidth, modeHeight);
    // The window's surface itself, not one that SDL would in turn draw with a renderer.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    SDL_Surface *screen = SDL_GetWindowSurface(displayWindow);
    if (!screen) {
        Reason("SDL_GetWindowSurface");
        return false;
    }
    blitting = true;
    nextFrame = SDL_GetPerformanceCounter();
    SDL_FillRect(screen, NULL, SDL_MapRGB(screen->format, 0, 0, 0));
    SDL_UpdateWindowSurface(displayWindow);
    return true;
}

// Waits, asleep, until the display's next refresh is due; a late frame starts a new rhythm.
static void Pace()
{
    SDL_DisplayMode mode;
    const int hz = SDL_GetWindowDisplayMode(displayWindow, &mode) == 0 && mode.refresh_rate > 0
                       ? mode.refresh_rate : 60;
    const Uint64 frequency = SDL_GetPerformanceFrequency(), period = frequency / hz;
    const Uint64 now = SDL_GetPerformanceCounter();
    if (nextFrame > now)
        SDL_Delay((Uint32)((nextFrame - now) * 1000 / frequency));
    nextFrame = (nextFrame + period > now ? nextFrame : now) + period;
}

// One row of the frame into `scale` rows of the window's surface, each pixel repeated `scale`
// times. Nothing here reads the window's memory again (the X server does), so on x86 the common
// scales store past the cache: no line is fetched only to be overwritten, and the frame stays cached.
static void ScaleRow(const uint32_t *from, int width, int scale, uint8_t *to, int pitch)
{
    int x = 0;
#ifdef __SSE2__
    if (scale <= 2 && ((uintptr_t)to | (uintptr_t)pitch) % 16 == 0)
        for (; x + 4 <= width; x += 4) {
            const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + x));
            __m128i *row = reinterpret_cast<__m128i *>(to + (size_t)x * scale * 4);
            if (scale == 1) {
                _mm_stream_si128(row, four);
                continue;
            }
            const __m128i low = _mm_unpacklo_epi32(four, four), high = _mm_unpackhi_epi32(four, four);
            _mm_stream_si128(row, low);
            _mm_stream_si128(row + 1, high);
            row = reinterpret_cast<__m128i *>(reinterpret_cast<uint8_t *>(row) + pitch);
            _mm_stream_si128(row, low);
            _mm_stream_si128(row + 1, high);
        }
#endif
    for (int i = 0; i < scale; ++i) {
        uint32_t *row = reinterpret_cast<uint32_t *>(to + (size_t)i * pitch);
        for (int p = x; p < width; ++p)
            for (int j = 0; j < scale; ++j)
                row[p * scale + j] = from[p];
    }
}

// Whether the window's surface holds 0x??RRGGBB words, as the frame does.
static bool FrameLayout(const SDL_Surface *screen)
{
    return screen->format->BytesPerPixel == 4 && screen->format->Rmask == 0xFF0000 &&
           screen->format->Gmask == 0xFF00 && screen->format->Bmask == 0xFF;
}

// The window's surface, with where the picture goes at the largest whole-number scale, centred;
// NULL when there is none or the window is smaller than the mode.
static SDL_Surface *WindowSurface(SDL_Rect *shown, int *scale)
{
    SDL_Surface *screen = SDL_GetWindowSurface(displayWindow);
    *scale = screen ? SDL_min(screen->w / modeWidth, screen->h / modeHeight) : 0;
    if (*scale < 1)
        return NULL;
    const int width = modeWidth * *scale, height = modeHeight * *scale;
    *shown = SDL_Rect{(screen->w - width) / 2, (screen->h - height) / 2, width, height};
    // The bars stay as they are drawn until SDL makes the surface anew (a new size).
    if (screen != barred.surface || screen->pixels != barred.pixels || screen->w != barred.w || screen->h != barred.h) {
        const SDL_Rect bars[4] = {{0, 0, screen->w, shown->y},
                                  {0, shown->y + height, screen->w, screen->h - shown->y - height},
                                  {0, shown->y, shown->x, height},
                                  {shown->x + width, shown->y, screen->w - shown->x - width, height}};
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

uint8_t *HOST_ScreenMemory(LONG *pitch)
{
    // At scale 1 the window's surface can hold the back buffer itself: a flip then copies nothing.
    SDL_Rect shown;
    int scale;
    SDL_Surface *screen = blitting ? WindowSurface(&shown, &scale) : NULL;
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
        if (!screen || scale != 1 ||
            direct != PixelAt(screen, shown.x, shown.y)) {
            direct = NULL;
            EMU_LoseSurfaces();
            return DDERR_SURFACELOST;
        }
    } else if (!screen) {
        return DDERR_SURFACELOST;  // the window shrank below the mode
    } else if (FrameLayout(screen)) {
        // Rows copied, each pixel repeated.
        for (int y = 0; y < modeHeight; ++y)
            ScaleRow(reinterpret_cast<const uint32_t *>(pixels + (size_t)y * pitch), modeWidth, scale,
                     PixelAt(screen, shown.x, shown.y + y * scale),
                     screen->pitch);
#ifdef __SSE2__
        _mm_sfence();  // the streamed rows are in memory before the X server reads them
#endif
    } else {
        // Any other layout: SDL converts and scales, more slowly.
        SDL_Surface *frame = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint8_t *>(pixels), modeWidth, modeHeight, 32,
                                                                pitch, SDL_PIXELFORMAT_RGB888);
        const bool blitted = frame && SDL_BlitScaled(frame, NULL, screen, &shown) == 0;
        SDL_FreeSurface(frame);
        if (!blitted)
            return DDERR_GENERIC;
    }
    return SDL_UpdateWindowSurface(displayWindow) == 0 ? DD_OK : DDERR_GENERIC;
}

LONG HOST_Pitch(int width)
{
    if (!displayWindow || width != modeWidth || !MakeScreen()) {
        DropScreen();
        return 0;
    }
    return width * 4;
}

HRESULT HOST_Present(const uint8_t *pixels, LONG pitch)
{
    if (!displayWindow)
        return DDERR_SURFACELOST;  // the window, and with it the screen, is gone
    if (blitting) {
        const HRESULT result = Blit(pixels, pitch);
        presented = result == DD_OK;
        Pace();
        return result;
    }
    if (!renderer)
        return DDERR_SURFACELOST;
    // Uploaded whole: a locked streaming texture is write-only.
    if (SDL_UpdateTexture(texture, NULL, pixels, pitch) != 0)
        return DDERR_GENERIC;
    presented = true;
    Render();
    return DD_OK;
}
