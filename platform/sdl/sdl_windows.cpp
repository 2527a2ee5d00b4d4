// SDL host: windows and their events as window messages; the cursor, the message box, the clock.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/emulation/emulation.h"
#include "platform/emulation/host.h"
#include "platform/sdl/sdl_host.h"

#include "icon_pixels.h"

SDLHOST_State SDLHOST_Shared;
static SDL_Window *focusWindow;  // gets key events that name no window

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

// The display window is a window on the desktop: seen, it draws whatever has the focus.
static bool Windowed(SDL_Window *native)
{
    return native == SDLHOST_Shared.displayWindow && SDLHOST_Shared.windowed;
}

static void Translate(const SDL_Event &event)
{
    switch (event.type) {
    case SDL_QUIT:
        // A signal or the session ending: every window is asked to close.
        for (SDL_Window *each : SDLHOST_Shared.all)
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
            // A window still seen goes on drawing; only the full screen pauses behind another.
            if (!Windowed(native))
                EMU_Post(window, WM_ACTIVATEAPP, 0, 0);
            break;
        case SDL_WINDOWEVENT_MINIMIZED:
        case SDL_WINDOWEVENT_HIDDEN:
            if (Windowed(native))
                EMU_Post(window, WM_ACTIVATEAPP, 0, 0);
            break;
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_SHOWN:
            if (Windowed(native))
                EMU_Post(window, WM_ACTIVATEAPP, 1, 0);
            break;
        case SDL_WINDOWEVENT_CLOSE:
            EMU_Post(window, WM_CLOSE, 0, 0);
            break;
        case SDL_WINDOWEVENT_EXPOSED:
            // Uncovered while no frames come (the program is paused): the last frame again.
            if (native == SDLHOST_Shared.displayWindow)
                PRESENT_ShowAgain();
            break;
        case SDL_WINDOWEVENT_ENTER:
            AskForCursor(window);
            break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            if (native == SDLHOST_Shared.displayWindow && PRESENT_Resized())
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
            // Keys held with Alt are system keys: Alt+F4 closes; Alt+Enter, the host's own, switches
            // between the full screen and a window without the program knowing.
            const SDL_Keycode key = event.key.keysym.sym;
            if (key == SDLK_F4 && !event.key.repeat)
                EMU_Post(window, WM_SYSCOMMAND, SC_CLOSE, 0);
            else if ((key == SDLK_RETURN || key == SDLK_KP_ENTER) && !event.key.repeat)
                WINDOW_Toggle();
            break;
        }
        WPARAM key = VirtualKey(event.key.keysym.sym);
        if (key)  // repeat count 1; bit 30 says the key was already down
            EMU_Post(window, WM_KEYDOWN, key, 1 | (event.key.repeat ? (LPARAM)1 << 30 : 0));
        break;
    }
    case SDL_SYSWMEVENT:
        XWATCH_Event(event.syswm.msg);
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
    while (SDLHOST_Shared.videoUp && SDL_PollEvent(&event))
        Translate(event);
    XWATCH_ReportGone();
}

bool HOST_WaitEvents()
{
    // With no display there is nothing that could ever arrive.
    return SDLHOST_Shared.videoUp && SDL_WaitEvent(NULL);
}

uint64_t HOST_Milliseconds()
{
    return SDL_GetTicks64();
}

// The program's icon, for the window manager's task bar and switcher; a window goes on without one.
static void GiveIcon(SDL_Window *window)
{
    SDL_Surface *icon = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t *>(ICON_Pixels), ICON_Size, ICON_Size,
                                                           32, ICON_Size * 4, SDL_PIXELFORMAT_ARGB8888);
    if (!icon) {
        SDLHOST_Reason("no icon", "%s", SDLHOST_Failed("SDL_CreateRGBSurfaceWithFormatFrom").c_str());
        return;
    }
    SDL_SetWindowIcon(window, icon);  // SDL keeps a copy
    SDL_FreeSurface(icon);
}

void *HOST_CreateWindow(const char *, int x, int y, int width, int height, bool popup)
{
    if (!SDLHOST_InitVideo())
        return NULL;
    // The name in the desktop's menus, task bar and switcher, full screen too; the program's own
    // window text, which its borderless full screen never shows, stays the emulation's business.
    SDL_Window *window = SDL_CreateWindow("Tracker Screen", x, y, width, height,
                                          SDL_WINDOW_HIDDEN | (popup ? SDL_WINDOW_BORDERLESS : 0));
    if (!window) {
        // SDL 2.26 makes every Wayland window an EGL one, so there even our own memory needs EGL.
        const char *error = SDL_GetError();
        if (SDL_strcmp(SDL_GetCurrentVideoDriver(), "wayland") == 0 && SDL_strstr(error, "EGL"))
            SDLHOST_Reason("SDL_CreateWindow", "%s (SDL %s opens no Wayland window without EGL and a driver for it, "
                                       "such as Mesa's)", error, SDLHOST_Version().c_str());
        else
            SDLHOST_Reason("SDL_CreateWindow");
        return NULL;
    }
    GiveIcon(window);
    SDLHOST_Shared.all.push_back(window);
    XWATCH_Watch(window);
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

void HOST_DestroyWindow(void *native)
{
    SDL_Window *window = static_cast<SDL_Window *>(native);
    if (window == SDLHOST_Shared.displayWindow) {
        PRESENT_Drop();
        SDLHOST_Shared.displayWindow = NULL;
    }
    if (window == focusWindow)
        focusWindow = NULL;
    std::vector<SDL_Window *> &all = SDLHOST_Shared.all;
    all.erase(std::remove(all.begin(), all.end(), window), all.end());
    const bool gone = XWATCH_Forget(window);
    SDL_DestroyWindow(window);
    if (gone)
        XWATCH_Settle();
}

void HOST_ShowCursor(bool shown)
{
    if (SDLHOST_Shared.videoUp)
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
