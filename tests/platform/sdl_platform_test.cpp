// The emulation core on its SDL2 host under SDL's dummy video driver: events in, messages out;
// the display services down to the pixels that reach the renderer.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <SDL.h>

#include "platform/emulation/emulation.h"
#include "platform/sdl/sdl_options.h"
#include "platform/sdl/sdl_scale.h"
#include "platform/sdl/sdl_way.h"
#include "tests/platform/chain.h"
#include "text/text.h"

namespace {

std::vector<MSG> received;  // what the test window's procedure was given, in order

// The SDL window behind a window handle, found the way the host's events find the handle.
SDL_Window *SdlWindowOf(HWND window)
{
    for (Uint32 id = 1; window && id < 64; ++id)
        if (SDL_Window *sdl = SDL_GetWindowFromID(id))
            if (EMU_WindowOf(sdl) == window)
                return sdl;
    return NULL;
}

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    received.push_back(MSG{window, message, wParam, lParam});
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcA(window, message, wParam, lParam);
}

class Sdl : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        unsetenv("TRACKER_PRESENT");
    }

    HWND MakeWindow()
    {
        WNDCLASSA windowClass = {};
        windowClass.style = CS_HREDRAW | CS_VREDRAW;
        windowClass.lpfnWndProc = Procedure;
        windowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
        windowClass.lpszClassName = "cname";
        EXPECT_NE(RegisterClassA(&windowClass), 0);
        HWND window = CreateWindowExA(0, "cname", "cname", WS_POPUP, 0, 0,
                                      GetSystemMetrics(SM_CXSCREEN),
                                      GetSystemMetrics(SM_CYSCREEN), NULL, NULL, NULL, NULL);
        EXPECT_NE(window, nullptr);
        ShowWindow(window, 10);
        SetFocus(window);
        DrainMessages();
        return window;
    }

    // Whatever showing the window produced, so a test sees only what it caused.
    static void DrainMessages()
    {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE))
            GetMessageA(&msg, NULL, 0, 0);
    }

    static std::vector<MSG> TakeAll()
    {
        std::vector<MSG> taken;
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE)) {
            GetMessageA(&msg, NULL, 0, 0);
            taken.push_back(msg);
        }
        return taken;
    }

    static Uint32 IdOf(HWND window) { return SDL_GetWindowID(SdlWindowOf(window)); }

    static void PushKey(HWND window, SDL_Keycode key, Uint16 mod = KMOD_NONE, Uint8 repeat = 0,
                        Uint32 type = SDL_KEYDOWN)
    {
        SDL_Event event = {};
        event.type = type;
        event.key.windowID = IdOf(window);
        event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
        event.key.repeat = repeat;
        event.key.keysym.sym = key;
        event.key.keysym.mod = mod;
        ASSERT_EQ(SDL_PushEvent(&event), 1);
    }

    static void PushWindowEvent(HWND window, Uint8 what)
    {
        SDL_Event event = {};
        event.type = SDL_WINDOWEVENT;
        event.window.windowID = IdOf(window);
        event.window.event = what;
        ASSERT_EQ(SDL_PushEvent(&event), 1);
    }

    // Locks the back buffer and hands back its memory and pitch, unlocked again.
    static uint32_t *BackPixels(IDirectDrawSurface7 *back, LONG *pitch)
    {
        DDSURFACEDESC2 desc = {};
        desc.dwSize = sizeof desc;
        EXPECT_EQ(back->Lock(NULL, &desc, 0, NULL), DD_OK);
        EXPECT_EQ(back->Unlock(NULL), DD_OK);
        *pitch = desc.lPitch;
        return static_cast<uint32_t *>(desc.lpSurface);
    }
};

bool SameMessage(const MSG &a, const MSG &b)
{
    return a.hwnd == b.hwnd && a.message == b.message && a.wParam == b.wParam &&
           a.lParam == b.lParam;
}

}  // namespace

// --- Windows ---

TEST_F(Sdl, WindowIsABorderlessDesktopSizedPopUpShownOnlyWhenAsked)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = Procedure;
    windowClass.lpszClassName = "cname";
    ASSERT_NE(RegisterClassA(&windowClass), 0);
    EXPECT_EQ(RegisterClassA(&windowClass), 0);  // a class name is taken once

    SDL_DisplayMode desktop;
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &desktop), 0);
    EXPECT_EQ(width, desktop.w);
    EXPECT_EQ(height, desktop.h);

    EXPECT_EQ(CreateWindowExA(0, "other", "x", WS_POPUP, 0, 0, 8, 8, NULL, NULL, NULL, NULL),
              nullptr);
    HWND window = CreateWindowExA(0, "cname", "cname", WS_POPUP, 0, 0, width, height, NULL,
                                  NULL, NULL, NULL);
    SDL_Window *sdl = SdlWindowOf(window);
    ASSERT_NE(sdl, nullptr);
    int w, h;
    SDL_GetWindowSize(sdl, &w, &h);
    EXPECT_EQ(w, desktop.w);
    EXPECT_EQ(h, desktop.h);
    EXPECT_TRUE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_BORDERLESS);
    EXPECT_FALSE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_SHOWN);
    EXPECT_STREQ(SDL_GetWindowTitle(sdl), "Tracker Screen") << "the desktop's name for it, not the program's window text";
    EXPECT_FALSE(SDL_IsScreenSaverEnabled());

    EXPECT_FALSE(ShowWindow(window, 10));
    EXPECT_TRUE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_SHOWN);
    EXPECT_TRUE(UpdateWindow(window));
}

TEST_F(Sdl, WindowCreationFailsWhenNoDisplayCanBeOpened)
{
    setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = Procedure;
    windowClass.lpszClassName = "cname";
    ASSERT_NE(RegisterClassA(&windowClass), 0);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 0);
    EXPECT_EQ(CreateWindowExA(0, "cname", "cname", WS_POPUP, 0, 0, 640, 480, NULL, NULL, NULL,
                              NULL), nullptr);
    IDirectDraw7 *draw = NULL;
    EXPECT_NE(DirectDrawCreateEx(NULL, (void **)&draw, IID_IDirectDraw7, NULL), DD_OK);
}

TEST_F(Sdl, NoDisplayAtAllIsAFailureNotAnInvisibleWindow)
{
    // Unasked, SDL would fall back to a driver that draws nowhere.
    unsetenv("SDL_VIDEODRIVER");
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = Procedure;
    windowClass.lpszClassName = "cname";
    ASSERT_NE(RegisterClassA(&windowClass), 0);
    EXPECT_EQ(CreateWindowExA(0, "cname", "cname", WS_POPUP, 0, 0, 640, 480, NULL, NULL, NULL,
                              NULL), nullptr);
}

TEST_F(Sdl, IconsCursorAndHiddenCursor)
{
    MakeWindow();
    static char module;  // stands for the program's module handle
    // The program's module has no icon; the system's application icon and arrow exist.
    EXPECT_EQ(LoadIconA(reinterpret_cast<HINSTANCE>(&module), IDI_APPLICATION), nullptr);
    EXPECT_NE(LoadIconA(NULL, IDI_APPLICATION), nullptr);
    HCURSOR arrow = LoadCursorA(NULL, IDC_ARROW);
    ASSERT_NE(arrow, nullptr);

    ASSERT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
    EXPECT_EQ(SetCursor(NULL), arrow);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    EXPECT_EQ(SetCursor(arrow), nullptr);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
}

// --- Messages ---

TEST_F(Sdl, EventsBecomeTheMessagesTheProgramKnows)
{
    HWND window = MakeWindow();
    PushWindowEvent(window, SDL_WINDOWEVENT_FOCUS_GAINED);
    PushWindowEvent(window, SDL_WINDOWEVENT_FOCUS_LOST);
    PushKey(window, SDLK_ESCAPE);
    PushKey(window, SDLK_SPACE);
    PushKey(window, SDLK_SPACE, KMOD_NONE, 1);           // auto-repeat: bit 30
    PushKey(window, SDLK_SPACE, KMOD_NONE, 0, SDL_KEYUP);  // no message
    PushKey(window, SDLK_a, KMOD_LSHIFT);
    PushKey(window, SDLK_z);
    PushKey(window, SDLK_7);
    PushKey(window, SDLK_F1);
    PushKey(window, SDLK_ESCAPE, KMOD_LALT);  // a system key: no message
    PushKey(window, SDLK_F4, KMOD_LALT);
    PushWindowEvent(window, SDL_WINDOWEVENT_CLOSE);
    SDL_Event quit = {};
    quit.type = SDL_QUIT;
    ASSERT_EQ(SDL_PushEvent(&quit), 1);

    const LPARAM once = 1, repeated = 1 | (LPARAM)1 << 30;
    std::vector<MSG> expected = {
        {window, WM_ACTIVATEAPP, 1, 0},     {window, WM_ACTIVATEAPP, 0, 0},
        {window, WM_KEYDOWN, VK_ESCAPE, once}, {window, WM_KEYDOWN, VK_SPACE, once},
        {window, WM_KEYDOWN, VK_SPACE, repeated}, {window, WM_KEYDOWN, 'A', once},
        {window, WM_KEYDOWN, 'Z', once},    {window, WM_KEYDOWN, '7', once},
        {window, WM_KEYDOWN, 0x70, once},   {window, WM_SYSCOMMAND, SC_CLOSE, 0},
        {window, WM_CLOSE, 0, 0},           {window, WM_CLOSE, 0, 0},
    };
    std::vector<MSG> taken = TakeAll();
    ASSERT_EQ(taken.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_TRUE(SameMessage(taken[i], expected[i]))
            << "message " << i << ": got " << std::hex << taken[i].message << " "
            << taken[i].wParam << " " << taken[i].lParam;
}

// SDL's dummy driver never gives a window the focus; waiting for it would mean never drawing.
TEST_F(Sdl, AWindowThatCannotHaveTheFocusIsActiveOnceFocused)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = Procedure;
    windowClass.lpszClassName = "cname";
    ASSERT_NE(RegisterClassA(&windowClass), 0);
    HWND window = CreateWindowExA(0, "cname", "cname", WS_POPUP, 0, 0, 640, 480, NULL, NULL,
                                  NULL, NULL);
    ASSERT_NE(window, nullptr);
    ShowWindow(window, 10);
    EXPECT_TRUE(TakeAll().empty()) << "shown is not yet focused";
    SetFocus(window);
    std::vector<MSG> taken = TakeAll();
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_TRUE(SameMessage(taken[0], MSG{window, WM_ACTIVATEAPP, 1, 0}));
}

// --window: the full screen the program asks for becomes a titled, resizable window at the first
// size; unfocused it stays active, minimised it pauses. Alt+Enter goes to the full screen, where
// losing the focus pauses again, and back to the window's size, any number of times.
TEST_F(Sdl, AWindowDrawsUnfocusedPausesMinimisedAndAltEnterSwitchesBothWays)
{
    SDLHOST_StartInWindow(true);
    HWND window = MakeWindow();
    SDL_Window *sdl = SdlWindowOf(window);
    IDirectDraw7 *draw = NULL;
    ASSERT_EQ(DirectDrawCreateEx(NULL, (void **)&draw, IID_IDirectDraw7, NULL), DD_OK);
    ASSERT_EQ(draw->SetCooperativeLevel(window, 0x51), DD_OK);
    ASSERT_EQ(draw->SetDisplayMode(640, 480, 32, 0, 0), DD_OK);
    SDL_Rect usable;
    ASSERT_EQ(SDL_GetDisplayUsableBounds(0, &usable), 0);
    const SDL_Point first = SCALE_WindowSize(usable.w, usable.h, 640, 480);
    // The dummy driver keeps no frame or resizability, only the size and the full screen.
    const auto expectWindow = [&](int w, int h) {
        EXPECT_EQ(SDL_GetWindowFlags(sdl) & SDL_WINDOW_FULLSCREEN_DESKTOP, 0u);
        int width, height;
        SDL_GetWindowSize(sdl, &width, &height);
        EXPECT_EQ(width, w);
        EXPECT_EQ(height, h);
    };
    expectWindow(first.x, first.y);
    EXPECT_STREQ(SDL_GetWindowTitle(sdl), "Tracker Screen");
    int minimumW, minimumH;
    SDL_GetWindowMinimumSize(sdl, &minimumW, &minimumH);
    EXPECT_EQ(minimumW, 640);
    EXPECT_EQ(minimumH, 480);
    DrainMessages();

    const auto activations = [&] {
        std::vector<WPARAM> seen;
        for (const MSG &each : TakeAll())
            if (each.message == WM_ACTIVATEAPP)
                seen.push_back(each.wParam);
        return seen;
    };
    PushWindowEvent(window, SDL_WINDOWEVENT_FOCUS_LOST);
    EXPECT_EQ(activations(), std::vector<WPARAM>{}) << "a window seen pauses without the focus";
    PushWindowEvent(window, SDL_WINDOWEVENT_MINIMIZED);
    PushWindowEvent(window, SDL_WINDOWEVENT_RESTORED);
    PushWindowEvent(window, SDL_WINDOWEVENT_HIDDEN);
    PushWindowEvent(window, SDL_WINDOWEVENT_SHOWN);
    EXPECT_EQ(activations(), (std::vector<WPARAM>{0, 1, 0, 1}));

    SDL_SetWindowSize(sdl, 700, 500);  // resized by the user before going full screen
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        PushKey(window, SDLK_RETURN, KMOD_LALT);
        PushKey(window, SDLK_RETURN, KMOD_LALT, 1);  // held: once only
        activations();
        EXPECT_EQ(SDL_GetWindowFlags(sdl) & SDL_WINDOW_FULLSCREEN_DESKTOP, (Uint32)SDL_WINDOW_FULLSCREEN_DESKTOP);
        PushWindowEvent(window, SDL_WINDOWEVENT_FOCUS_LOST);
        PushWindowEvent(window, SDL_WINDOWEVENT_FOCUS_GAINED);
        EXPECT_EQ(activations(), (std::vector<WPARAM>{0, 1})) << "the full screen pauses without the focus";
        PushKey(window, SDLK_KP_ENTER, KMOD_RALT);
        activations();
        expectWindow(700, 500);
    }
    draw->Release();
    SDLHOST_StartInWindow(false);
}

TEST_F(Sdl, MouseOverTheWindowAsksForTheCursorOnce)
{
    HWND window = MakeWindow();
    for (int i = 0; i < 3; ++i) {
        SDL_Event motion = {};
        motion.type = SDL_MOUSEMOTION;
        motion.motion.windowID = IdOf(window);
        ASSERT_EQ(SDL_PushEvent(&motion), 1);
    }
    std::vector<MSG> taken = TakeAll();
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0].message, (UINT)WM_SETCURSOR);
    EXPECT_EQ(taken[0].wParam, reinterpret_cast<WPARAM>(window));
}

TEST_F(Sdl, PeekReportsAWaitingMessageWithoutRemovingIt)
{
    HWND window = MakeWindow();
    MSG msg = {};
    EXPECT_FALSE(PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE));
    PushKey(window, SDLK_SPACE);
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE));
        EXPECT_EQ(msg.message, (UINT)WM_KEYDOWN);
    }
    ASSERT_EQ(GetMessageA(&msg, NULL, 0, 0), 1);
    EXPECT_EQ(msg.wParam, (WPARAM)VK_SPACE);
    EXPECT_FALSE(PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE));
}

TEST_F(Sdl, CloseRunsThroughDefaultProcessingToDestroyAndQuit)
{
    HWND window = MakeWindow();
    Uint32 id = IdOf(window);
    PushWindowEvent(window, SDL_WINDOWEVENT_CLOSE);
    MSG msg = {};
    ASSERT_EQ(GetMessageA(&msg, NULL, 0, 0), 1);
    ASSERT_EQ(msg.message, (UINT)WM_CLOSE);
    PostMessageA(window, WM_KEYDOWN, VK_SPACE, 0);  // dropped when the window goes
    received.clear();
    DispatchMessageA(&msg);

    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].message, (UINT)WM_CLOSE);
    EXPECT_EQ(received[1].message, (UINT)WM_DESTROY);  // sent inside the default processing
    EXPECT_EQ(SdlWindowOf(window), nullptr);
    EXPECT_EQ(SDL_GetWindowFromID(id), nullptr);

    ASSERT_EQ(GetMessageA(&msg, NULL, 0, 0), 0);
    EXPECT_EQ(msg.message, (UINT)WM_QUIT);
    EXPECT_EQ(msg.wParam, 0u);
    EXPECT_FALSE(PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE));
}

TEST_F(Sdl, AltF4ClosesThroughTheSystemCommand)
{
    HWND window = MakeWindow();
    PushKey(window, SDLK_F4, KMOD_RALT);
    MSG msg = {};
    ASSERT_EQ(GetMessageA(&msg, NULL, 0, 0), 1);
    received.clear();
    DispatchMessageA(&msg);
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[0].message, (UINT)WM_SYSCOMMAND);
    EXPECT_EQ(received[1].message, (UINT)WM_CLOSE);
    EXPECT_EQ(received[2].message, (UINT)WM_DESTROY);
    EXPECT_EQ(GetMessageA(&msg, NULL, 0, 0), 0);
}

TEST_F(Sdl, WaitBlocksUntilAnEventBecomesAMessage)
{
    HWND window = MakeWindow();
    Uint32 id = IdOf(window);
    std::atomic<bool> returned{false}, returnedOnClick{false};
    std::thread later([id, &returned, &returnedOnClick] {
        SDL_Event click = {};  // means nothing to the program, so the wait goes on
        click.type = SDL_MOUSEBUTTONDOWN;
        click.button.windowID = id;
        SDL_PushEvent(&click);
        // Once the wait has taken the click off SDL's queue it must go on waiting; a wait that
        // ended on it would be over within a moment.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_MOUSEBUTTONDOWN, SDL_MOUSEBUTTONDOWN) > 0 &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
        while (!returned && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        returnedOnClick = returned.load();
        SDL_Event key = {};
        key.type = SDL_KEYDOWN;
        key.key.windowID = id;
        key.key.keysym.sym = SDLK_ESCAPE;
        SDL_PushEvent(&key);
    });
    BOOL woke = WaitMessage();
    returned = true;
    later.join();

    EXPECT_TRUE(woke);
    EXPECT_FALSE(returnedOnClick) << "the wait ended on an event that makes no message";
    MSG msg = {};
    ASSERT_TRUE(PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, (UINT)WM_KEYDOWN);
    EXPECT_EQ(msg.wParam, (WPARAM)VK_ESCAPE);

    // A message already waits: no blocking. Should the wait block, a watchdog ends it after a
    // deadline, and says so.
    std::mutex lock;
    std::condition_variable done;
    bool finished = false, watchdogFired = false;
    std::thread watchdog([&] {
        std::unique_lock<std::mutex> hold(lock);
        if (!done.wait_for(hold, std::chrono::seconds(10), [&] { return finished; })) {
            watchdogFired = true;
            SDL_Event key = {};
            key.type = SDL_KEYDOWN;
            key.key.windowID = id;
            key.key.keysym.sym = SDLK_SPACE;
            SDL_PushEvent(&key);
        }
    });
    EXPECT_TRUE(WaitMessage());
    {
        std::lock_guard<std::mutex> hold(lock);
        finished = true;
    }
    done.notify_one();
    watchdog.join();
    EXPECT_FALSE(watchdogFired) << "the wait blocked with a message in the queue";
}

// --- Display ---

TEST_F(Sdl, DisplayModeNeedsExclusiveFullScreenAndA32BitModeThatFits)
{
    // Through SDL's renderer, as where a GPU draws.
    setenv("TRACKER_PRESENT", "renderer", 1);
    HWND window = MakeWindow();
    IDirectDraw7 *draw = NULL;
    ASSERT_EQ(DirectDrawCreateEx(NULL, (void **)&draw, IID_IDirectDraw7, NULL), DD_OK);
    EXPECT_NE(draw->SetDisplayMode(640, 480, 32, 0, 0), DD_OK);  // no cooperative level yet
    ASSERT_EQ(draw->SetCooperativeLevel(window, 0x51), DD_OK);
    EXPECT_EQ(SDL_GetWindowFlags(SdlWindowOf(window)) & SDL_WINDOW_FULLSCREEN_DESKTOP,
              (Uint32)SDL_WINDOW_FULLSCREEN_DESKTOP);

    EXPECT_NE(draw->SetDisplayMode(640, 480, 16, 0, 0), DD_OK);
    EXPECT_NE(draw->SetDisplayMode(640, 480, 8, 0, 0), DD_OK);
    EXPECT_NE(draw->SetDisplayMode(640, 480, 32, 75, 0), DD_OK);
    SDL_DisplayMode desktop;
    ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &desktop), 0);
    EXPECT_NE(draw->SetDisplayMode(desktop.w + 1, 480, 32, 0, 0), DD_OK);
    ASSERT_EQ(draw->SetDisplayMode(640, 480, 32, 0, 0), DD_OK);

    // What shows the frames comes with the flip chain.
    DDSURFACEDESC2 desc = ChainDescription();
    IDirectDrawSurface7 *primary = NULL;
    EXPECT_EQ(SDL_GetRenderer(SdlWindowOf(window)), nullptr);
    ASSERT_EQ(draw->CreateSurface(&desc, &primary, NULL), DD_OK);
    SDL_Renderer *renderer = SDL_GetRenderer(SdlWindowOf(window));
    ASSERT_NE(renderer, nullptr);
    int width, height;
    SDL_RenderGetLogicalSize(renderer, &width, &height);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);
    EXPECT_TRUE(SDL_RenderGetIntegerScale(renderer));
}

TEST_F(Sdl, WithoutAGpuTheModeIsTheWindowsOwnSurfaceAndTooLargeAModeFails)
{
    // The dummy driver's renderer is SDL's software one: drawn by the processor.
    HWND window = MakeWindow();
    IDirectDraw7 *draw = NULL;
    ASSERT_NO_FATAL_FAILURE(MakeExclusive(window, &draw));
    SDL_DisplayMode desktop;
    ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &desktop), 0);
    EXPECT_EQ(draw->SetDisplayMode(640, desktop.h + 1, 32, 0, 0), DDERR_INVALIDMODE);
    ASSERT_EQ(draw->SetDisplayMode(640, 480, 32, 0, 0), DD_OK);
    EXPECT_EQ(SDL_GetRenderer(SdlWindowOf(window)), nullptr);
    SDL_Surface *screen = SDL_GetWindowSurface(SdlWindowOf(window));
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(*(uint32_t *)((uint8_t *)screen->pixels + (screen->h / 2) * screen->pitch + screen->w * 2) &
                  0xFFFFFF, 0u) << "black until the first flip";
}

TEST_F(Sdl, LockGivesWritableBackBufferMemoryAndItsPitch)
{
    HWND window = MakeWindow();
    IDirectDrawSurface7 *primary = NULL, *back = NULL;
    MakeChain(window, &primary, &back);

    DDSURFACEDESC2 desc = {};
    desc.dwSize = sizeof desc;
    ASSERT_EQ(back->Lock(NULL, &desc, 0, NULL), DD_OK);
    ASSERT_NE(desc.lpSurface, nullptr);
    ASSERT_GE(desc.lPitch, 640 * 4);
    uint8_t *rows = static_cast<uint8_t *>(desc.lpSurface);
    memset(rows, 0x5A, (size_t)desc.lPitch * 479 + 640 * 4);  // every row, to its last pixel
    DDSURFACEDESC2 again = {};
    again.dwSize = sizeof again;
    EXPECT_NE(back->Lock(NULL, &again, 0, NULL), DD_OK);  // already locked
    HDC context;
    EXPECT_NE(back->GetDC(&context), DD_OK);
    EXPECT_NE(primary->Flip(NULL, 0), DD_OK);
    EXPECT_EQ(back->Unlock(NULL), DD_OK);
    EXPECT_NE(back->Unlock(NULL), DD_OK);

    ASSERT_EQ(back->Lock(NULL, &again, 0, NULL), DD_OK);
    EXPECT_EQ(again.lpSurface, desc.lpSurface);
    EXPECT_EQ(again.lPitch, desc.lPitch);
    EXPECT_EQ(rows[(size_t)desc.lPitch * 479 + 640 * 4 - 1], 0x5A);  // the memory kept its bytes
    EXPECT_EQ(back->Unlock(NULL), DD_OK);

    DDSURFACEDESC2 wrongSize = {};
    wrongSize.dwSize = 124 + 4;
    EXPECT_NE(back->Lock(NULL, &wrongSize, 0, NULL), DD_OK);
}

TEST_F(Sdl, TextOutDrawsTheFontTransparentlyInTheTopLeftCornerOnly)
{
    HWND window = MakeWindow();
    IDirectDrawSurface7 *primary = NULL, *back = NULL;
    MakeChain(window, &primary, &back);
    LONG pitch;
    uint32_t *pixels = BackPixels(back, &pitch);
    int stride = pitch / 4;
    for (int i = 0; i < stride * 480; ++i)
        pixels[i] = 0xFF203040;
    std::vector<uint32_t> expected(pixels, pixels + stride * 480);
    GFX_DrawText("12.5 fps", expected.data(), 0, 0, stride, 480, 0xFF123456);

    HDC context = NULL;
    ASSERT_EQ(back->GetDC(&context), DD_OK);
    EXPECT_EQ(SetBkMode(context, TRANSPARENT), 2);  // a fresh context is opaque
    EXPECT_EQ(SetTextColor(context, RGB(0x12, 0x34, 0x56)), RGB(0, 0, 0));
    EXPECT_EQ(SetTextColor(context, 0xFFFFFFFF), 0xFFFFFFFFu);  // not a colour: refused
    EXPECT_TRUE(TextOutA(context, 0, 0, "12.5 fps", 8));
    EXPECT_NE(primary->Flip(NULL, 0), DD_OK);  // not while the context is out
    ASSERT_EQ(back->ReleaseDC(context), DD_OK);
    EXPECT_FALSE(TextOutA(context, 0, 0, "x", 1));  // a released context draws nothing

    int changed = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < stride; ++x) {
            uint32_t pixel = pixels[y * stride + x];
            ASSERT_EQ(pixel, expected[y * stride + x]) << "at " << x << "," << y;
            if (pixel != 0xFF203040) {
                ++changed;
                EXPECT_TRUE(x < 8 * 8 && y < 16) << "outside the text at " << x << "," << y;
            }
        }
    EXPECT_GT(changed, 50);
}

class SdlPresent : public Sdl {
protected:
    // Flips a frame of distinct colours and checks it on the screen, centred between black bars.
    void ExpectFramePresented(bool throughRenderer);
    void ExpectExposureShowsTheLastFrame(int width, int height);
    void ExpectPacedInAWindow();
};

void SdlPresent::ExpectFramePresented(bool throughRenderer)
{
    HWND window = MakeWindow();
    IDirectDrawSurface7 *primary = NULL, *back = NULL;
    MakeChain(window, &primary, &back);
    LONG pitch;
    uint32_t *pixels = BackPixels(back, &pitch);
    // Every pixel its own colour; the top byte varies and must not matter.
    auto colour = [](int x, int y) {
        return (uint32_t)((x * 7 + y * 13) & 0xFF) | (uint32_t)(x & 0xFF) << 8 |
               (uint32_t)(y & 0xFF) << 16 | (x & 1 ? 0x00000000u : 0xFF000000u);
    };
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            pixels[y * (pitch / 4) + x] = colour(x, y);

    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(primary->Flip(NULL, 0), DD_OK);  // never busy

    // The dummy desktop is larger than 640 x 480 but less than twice it: scale 1, centred.
    SDL_Surface *screen = SDL_GetWindowSurface(SdlWindowOf(window));
    ASSERT_NE(screen, nullptr);
    ASSERT_EQ(screen->format->BytesPerPixel, 4);
    int left = (screen->w - 640) / 2, top = (screen->h - 480) / 2;
    ASSERT_GT(left, 0);
    ASSERT_GT(top, 0);
    auto at = [screen](int x, int y) {
        return *(uint32_t *)((uint8_t *)screen->pixels + y * screen->pitch + x * 4) &
               (screen->format->Rmask | screen->format->Gmask | screen->format->Bmask);
    };
    std::vector<uint32_t> shown(640 * 480);
    SDL_Renderer *renderer = SDL_GetRenderer(SdlWindowOf(window));
    ASSERT_EQ(renderer != nullptr, throughRenderer);
    if (renderer)
        ASSERT_EQ(SDL_RenderReadPixels(renderer, NULL, SDL_PIXELFORMAT_ARGB8888, shown.data(), 640 * 4), 0);
    else
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x)
                shown[y * 640 + x] = at(left + x, top + y);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            ASSERT_EQ(shown[y * 640 + x] & 0xFFFFFF, colour(x, y) & 0xFFFFFF)
                << "at " << x << "," << y;

    EXPECT_EQ(at(0, 0), 0u);
    EXPECT_EQ(at(left - 1, top + 10), 0u);
    EXPECT_EQ(at(left + 640, top + 479), 0u);
    EXPECT_EQ(at(screen->w - 1, screen->h - 1), 0u);
    EXPECT_EQ(at(left + 10, top - 1), 0u);
    EXPECT_NE(at(left + 639, top + 479), 0u);
}

// Uncovered while paused, the window shows the last frame again without a new flip.
void SdlPresent::ExpectExposureShowsTheLastFrame(int width, int height)
{
    HWND window = MakeWindow();
    IDirectDrawSurface7 *primary = NULL, *back = NULL;
    MakeChain(window, &primary, &back, width, height);
    LONG pitch;
    uint32_t *pixels = BackPixels(back, &pitch);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels[y * (pitch / 4) + x] = 0xFF000000u | (uint32_t)(x ^ y) << 8 | 0x40;
    ASSERT_EQ(primary->Flip(NULL, 0), DD_OK);

    SDL_Surface *screen = SDL_GetWindowSurface(SdlWindowOf(window));
    ASSERT_NE(screen, nullptr);
    const int scale = std::min(screen->w / width, screen->h / height);
    const int left = (screen->w - width * scale) / 2, top = (screen->h - height * scale) / 2;
    auto at = [screen](int x, int y) {
        return *(uint32_t *)((uint8_t *)screen->pixels + y * screen->pitch + x * 4) &
               (screen->format->Rmask | screen->format->Gmask | screen->format->Bmask);
    };
    const int right = left + width * scale - 1, bottom = top + height * scale - 1;
    const uint32_t shown = at(left + 100, top + 37), corner = at(right, bottom);
    ASSERT_NE(shown, corner);
    // Another window drew over it, and went away. Where the back buffer is the surface's own
    // memory nothing but the program writes the picture, so only the bars can have suffered.
    const bool inside = (uint8_t *)pixels >= (uint8_t *)screen->pixels &&
                        (uint8_t *)pixels < (uint8_t *)screen->pixels + (size_t)screen->h * screen->pitch;
    const SDL_Rect bar = {0, 0, screen->w, top};
    ASSERT_EQ(SDL_FillRect(screen, inside ? &bar : NULL, SDL_MapRGB(screen->format, 0x12, 0x34, 0x56)), 0);
    // Only the exposure brings the picture back: the window is not asked to repaint otherwise.
    EXPECT_TRUE(TakeAll().empty());
    if (!inside) {
        EXPECT_NE(at(left + 100, top + 37), shown);
    }
    PushWindowEvent(window, SDL_WINDOWEVENT_EXPOSED);
    EXPECT_TRUE(TakeAll().empty()) << "an exposure is the platform's business, not a message";
    EXPECT_EQ(at(left + 100, top + 37), shown);
    EXPECT_EQ(at(right, bottom), corner);
    EXPECT_EQ(at(0, 0), 0u) << "the bars are black again";
}

TEST_F(SdlPresent, AnExposedWindowShowsTheLastFrameAgain)
{
    ExpectExposureShowsTheLastFrame(640, 480);  // scale 1: the back buffer is the window's surface
}

TEST_F(SdlPresent, AnExposedWindowShowsTheLastFrameAgainAtAScaleAboveOne)
{
    ExpectExposureShowsTheLastFrame(320, 240);
}

TEST_F(SdlPresent, AnExposedWindowShowsTheLastFrameAgainThroughTheRenderer)
{
    setenv("TRACKER_PRESENT", "renderer", 1);
    ExpectExposureShowsTheLastFrame(640, 480);
}

TEST_F(SdlPresent, FlipPresentsTheBackBufferBetweenBlackBars)
{
    setenv("TRACKER_PRESENT", "renderer", 1);
    ExpectFramePresented(true);
}

TEST_F(SdlPresent, FlipBlitsTheBackBufferBetweenBlackBarsWithoutAGpu)
{
    ExpectFramePresented(false);
}

// At scale 1 the back buffer lives in the window's surface, and a flip copies nothing; when
// the window's size changes the surfaces are lost, and Restore finds the new place.
TEST_F(SdlPresent, AtScaleOneTheBackBufferIsTheWindowsSurfaceAndMovesWithIt)
{
    HWND window = MakeWindow();
    IDirectDrawSurface7 *primary = NULL, *back = NULL;
    MakeChain(window, &primary, &back);
    SDL_Surface *screen = SDL_GetWindowSurface(SdlWindowOf(window));
    ASSERT_NE(screen, nullptr);
    const int left = (screen->w - 640) / 2, top = (screen->h - 480) / 2;
    LONG pitch;
    uint32_t *pixels = BackPixels(back, &pitch);
    EXPECT_EQ((uint8_t *)pixels, (uint8_t *)screen->pixels + (size_t)top * screen->pitch + left * 4);
    EXPECT_EQ(pitch, screen->pitch);
    pixels[0] = 0x00ABCDEF;
    ASSERT_EQ(primary->Flip(NULL, 0), DD_OK);
    EXPECT_EQ(*(uint32_t *)((uint8_t *)screen->pixels + (size_t)top * screen->pitch + left * 4) & 0xFFFFFF,
              0xABCDEFu);

    PushWindowEvent(window, SDL_WINDOWEVENT_SIZE_CHANGED);
    TakeAll();
    DDSURFACEDESC2 desc = LockDescription();
    EXPECT_EQ(back->Lock(NULL, &desc, 0, NULL), DDERR_SURFACELOST);
    EXPECT_EQ(primary->Flip(NULL, 0), DDERR_SURFACELOST);
    ASSERT_EQ(primary->Restore(), DD_OK);
    screen = SDL_GetWindowSurface(SdlWindowOf(window));
    ASSERT_NE(screen, nullptr);
    pixels = BackPixels(back, &pitch);
    EXPECT_EQ((uint8_t *)pixels, (uint8_t *)screen->pixels + (size_t)top * screen->pitch + left * 4);
    EXPECT_EQ(primary->Flip(NULL, 0), DD_OK);
}

// Modes smaller than the screen, each scale at aligned and unaligned places, with rows whose
// length is and is not a multiple of four pixels: every pixel repeated, every bar black.
TEST_F(SdlPresent, EveryWholeNumberScaleRepeatsEachPixelBetweenBlackBars)
{
    HWND window = MakeWindow();
    const struct {
        int width, height;
    } modes[] = {{640, 480}, {642, 380}, {508, 380}, {510, 300}, {340, 250}, {256, 192}, {255, 191}};
    for (const auto &mode : modes) {
        SCOPED_TRACE(std::to_string(mode.width) + " x " + std::to_string(mode.height));
        IDirectDraw7 *draw = NULL;
        IDirectDrawSurface7 *primary = NULL, *back = NULL;
        ASSERT_NO_FATAL_FAILURE(MakeChain(window, &primary, &back, mode.width, mode.height, &draw));
        LONG pitch;
        uint32_t *pixels = BackPixels(back, &pitch);
        auto colour = [](int x, int y) { return (uint32_t)(x * 0x10203 + y * 0x30201) & 0xFFFFFF; };
        for (int y = 0; y < mode.height; ++y)
            for (int x = 0; x < mode.width; ++x)
                pixels[y * (pitch / 4) + x] = colour(x, y) | (uint32_t)(x & 1) << 24;
        ASSERT_EQ(primary->Flip(NULL, 0), DD_OK);

        SDL_Surface *screen = SDL_GetWindowSurface(SdlWindowOf(window));
        ASSERT_NE(screen, nullptr);
        const int scale = std::min(screen->w / mode.width, screen->h / mode.height);
        const int left = (screen->w - mode.width * scale) / 2, top = (screen->h - mode.height * scale) / 2;
        const uint32_t rgb = screen->format->Rmask | screen->format->Gmask | screen->format->Bmask;
        int wrong = 0;
        for (int y = 0; y < screen->h; ++y)
            for (int x = 0; x < screen->w; ++x) {
                const bool inside = x >= left && x < left + mode.width * scale && y >= top &&
                                    y < top + mode.height * scale;
                const uint32_t expected = inside ? colour((x - left) / scale, (y - top) / scale) : 0;
                const uint32_t got = *(uint32_t *)((uint8_t *)screen->pixels + y * screen->pitch + x * 4) & rgb;
                if (got != expected && wrong++ < 3)
                    ADD_FAILURE() << "at " << x << "," << y << " (scale " << scale << "): " << std::hex << got
                                  << " instead of " << expected;
            }
        EXPECT_EQ(wrong, 0);
        draw->Release();
    }
}

// In a window, flips go no faster than the display, however fast the machine: each after the
// first waits for a refresh, so N take at least N - 1 periods of the monotonic clock from before
// the chain was made. Only a lower bound, which a slow machine meets all the more; the sleeps are
// in whole milliseconds.
void SdlPresent::ExpectPacedInAWindow()
{
    SDLHOST_StartInWindow(true);
    HWND window = MakeWindow();
    SDL_DisplayMode mode;
    ASSERT_EQ(SDL_GetWindowDisplayMode(SdlWindowOf(window), &mode), 0);
    const double period = 1e6 / (mode.refresh_rate > 0 ? mode.refresh_rate : 60);  // the dummy tells none
    const Uint64 start = SDL_GetPerformanceCounter();
    IDirectDrawSurface7 *primary = NULL, *back = NULL;
    MakeChain(window, &primary, &back);
    ASSERT_EQ(SDL_GetWindowFlags(SdlWindowOf(window)) & SDL_WINDOW_FULLSCREEN_DESKTOP, 0u);
    const int flips = 10;
    for (int i = 0; i < flips; ++i)
        ASSERT_EQ(primary->Flip(NULL, 0), DD_OK);
    const double took = (double)(SDL_GetPerformanceCounter() - start) * 1e6 / (double)SDL_GetPerformanceFrequency();
    EXPECT_GE(took, (flips - 1) * period - 1000) << flips << " flips, in microseconds";
    SDLHOST_StartInWindow(false);
}

TEST_F(SdlPresent, InAWindowTheWindowsMemoryGoesNoFasterThanTheDisplay)
{
    ExpectPacedInAWindow();
}

// SDL's software renderer, here on the dummy display, claims a vertical sync that it never waits for.
TEST_F(SdlPresent, InAWindowTheRendererGoesNoFasterThanTheDisplay)
{
    setenv("TRACKER_PRESENT", "renderer", 1);
    ExpectPacedInAWindow();
}

// --- Frames into memory that a display reads ---

// Screens of odd and even sizes, a row longer than the screen (padding), scales 1 to 3, and
// screens smaller than the frame (a window left too small), where it stays at 1, centred and cut:
// every pixel of the screen is black outside the picture and the frame's, repeated, inside; the
// padding is never written.
TEST(Scale, TheFrameFillsTheLargestWholeScaleCentredAndTheBarsAreBlack)
{
    const int width = 7, height = 5;
    std::vector<uint32_t> frame(width * height);
    for (int i = 0; i < width * height; ++i)
        frame[i] = 0x01000000u * (uint32_t)(i & 1) | (uint32_t)(0x10101 * (i + 1));
    const struct {
        int w, h, scale;
    } screens[] = {{7, 5, 1}, {8, 6, 1}, {14, 11, 2}, {15, 10, 2}, {23, 19, 3}, {40, 15, 3},
                   {6, 5, 1}, {7, 4, 1}, {3, 2, 1}, {10, 3, 1}, {1, 1, 1}};
    for (const auto &size : screens) {
        SCOPED_TRACE(std::to_string(size.w) + " x " + std::to_string(size.h));
        SDL_Rect shown;
        int scale;
        ASSERT_TRUE(SCALE_Fit(size.w, size.h, width, height, &shown, &scale));
        EXPECT_EQ(scale, size.scale);
        EXPECT_EQ(shown.w, width * scale);
        EXPECT_EQ(shown.h, height * scale);
        EXPECT_EQ(shown.x, (size.w - shown.w) / 2);
        EXPECT_EQ(shown.y, (size.h - shown.h) / 2);
        const int stride = size.w + 3;  // words per row, padding included
        std::vector<uint32_t> screen(stride * size.h, 0xDEADBEEF);
        uint8_t *memory = reinterpret_cast<uint8_t *>(screen.data());
        SCALE_Bars(memory, stride * 4, size.w, size.h, shown);
        SCALE_Frame(reinterpret_cast<const uint8_t *>(frame.data()), width * 4, width, height, scale, memory,
                    stride * 4, size.w, size.h, shown);
        int wrong = 0;
        for (int y = 0; y < size.h; ++y)
            for (int x = 0; x < stride; ++x) {
                const bool inside = x >= shown.x && x < shown.x + shown.w && y >= shown.y && y < shown.y + shown.h;
                const uint32_t expected = x >= size.w ? 0xDEADBEEF
                                          : inside   ? frame[(y - shown.y) / scale * width + (x - shown.x) / scale]
                                                     : 0;
                if (screen[y * stride + x] != expected && wrong++ < 3)
                    ADD_FAILURE() << "at " << x << "," << y << ": " << std::hex << screen[y * stride + x]
                                  << " instead of " << expected;
            }
        EXPECT_EQ(wrong, 0);
    }
    SDL_Rect shown;
    int scale;
    EXPECT_FALSE(SCALE_Fit(0, 5, width, height, &shown, &scale)) << "an empty screen";
    EXPECT_FALSE(SCALE_Fit(7, 5, 0, height, &shown, &scale)) << "an empty frame";
}

// A window's first size is the largest whole multiple of the frame within three quarters of the
// usable area, 1x where nothing larger fits, and the frame itself on a screen smaller than it.
TEST(Scale, TheWindowOpensAtTheLargestWholeMultipleInThreeQuartersOfTheUsableArea)
{
    const struct {
        int usableW, usableH, w, h;
    } cases[] = {{1920, 1050, 640, 480},   // 1440 x 787: 2x is 1280 x 960, too tall
                 {1920, 1280, 1280, 960},  // 1440 x 960: 2x just fits
                 {3840, 2110, 1920, 1440}, // 2880 x 1582: 3x
                 {1024, 768, 640, 480},    // 768 x 576: only 1x
                 {800, 600, 640, 480},     // 600 x 450: nothing fits, still 1x
                 {320, 200, 640, 480}};
    for (const auto &each : cases) {
        const SDL_Point size = SCALE_WindowSize(each.usableW, each.usableH, 640, 480);
        EXPECT_EQ(size.x, each.w) << each.usableW << " x " << each.usableH;
        EXPECT_EQ(size.y, each.h) << each.usableW << " x " << each.usableH;
    }
}

// --- The chain of ways to show frames ---

namespace {

int refusedSetUps, refusedDrops;  // what the chain did with the refusing way below

bool Refuse(SDL_Window *, int, int, std::string *why)
{
    ++refusedSetUps;
    *why = "refused by the test";
    return false;
}

HRESULT NeverPresent(const uint8_t *, LONG)
{
    ADD_FAILURE() << "a way that was passed over presented a frame";
    return DDERR_GENERIC;
}

void CountDrop()
{
    ++refusedDrops;
}

const WAY_Way refusing = {"refusing", "a refusing way", Refuse, NeverPresent, NULL, NULL, NULL, CountDrop};

// CreateSurface's result for a 640 x 480 flip chain on a full-screen window, with what the host
// wrote on standard error meanwhile; the DirectDraw object, to release, in *drawMade when asked.
HRESULT TryChain(HWND window, std::string *said, IDirectDrawSurface7 **primary, IDirectDraw7 **drawMade = NULL)
{
    IDirectDraw7 *draw = NULL;
    if (drawMade)
        *drawMade = NULL;
    EXPECT_EQ(DirectDrawCreateEx(NULL, (void **)&draw, IID_IDirectDraw7, NULL), DD_OK);
    EXPECT_EQ(draw->SetCooperativeLevel(window, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE | DDSCL_ALLOWMODEX), DD_OK);
    EXPECT_EQ(draw->SetDisplayMode(640, 480, 32, 0, 0), DD_OK);
    DDSURFACEDESC2 desc = ChainDescription();
    ::testing::internal::CaptureStderr();
    const HRESULT result = draw->CreateSurface(&desc, primary, NULL);
    *said = ::testing::internal::GetCapturedStderr();
    if (drawMade)
        *drawMade = draw;
    return result;
}

}  // namespace

TEST_F(Sdl, AWayThatCannotBeSetUpIsLeftForTheNextAndTheLineSaysWhy)
{
    WAY_Chain[0] = &refusing;
    HWND window = MakeWindow();
    std::string said;
    IDirectDrawSurface7 *primary = NULL, *back = NULL;
    ASSERT_EQ(TryChain(window, &said, &primary), DD_OK);
    EXPECT_EQ(said, "SDL: present: the window's own memory, having passed over a refusing way (refused by the test)\n");
    EXPECT_EQ(refusedSetUps, 1);
    EXPECT_EQ(refusedDrops, 1) << "what a failed set-up made is dropped at once";

    // The way taken shows the frames.
    DDSCAPS2 caps = {};
    caps.dwCaps = DDSCAPS_BACKBUFFER;
    ASSERT_EQ(primary->GetAttachedSurface(&caps, &back), DD_OK);
    LONG pitch;
    BackPixels(back, &pitch)[0] = 0x00123456;
    ASSERT_EQ(primary->Flip(NULL, 0), DD_OK);
    SDL_Surface *screen = SDL_GetWindowSurface(SdlWindowOf(window));
    ASSERT_NE(screen, nullptr);
    const int left = (screen->w - 640) / 2, top = (screen->h - 480) / 2;
    EXPECT_EQ(*(uint32_t *)((uint8_t *)screen->pixels + (size_t)top * screen->pitch + left * 4) & 0xFFFFFF, 0x123456u);
}

TEST_F(Sdl, TheFirstWayTakenSaysNothing)
{
    WAY_Chain[0] = WAY_Chain[1];  // the window's own memory, which the dummy driver gives
    HWND window = MakeWindow();
    std::string said;
    IDirectDrawSurface7 *primary = NULL;
    EXPECT_EQ(TryChain(window, &said, &primary), DD_OK);
    EXPECT_EQ(said, "");
}

TEST_F(Sdl, WhenEveryWayFailsCreateSurfaceFailsWithEachReason)
{
    for (const WAY_Way *&each : WAY_Chain)
        each = &refusing;
    HWND window = MakeWindow();
    std::string said;
    IDirectDrawSurface7 *primary = NULL;
    EXPECT_NE(TryChain(window, &said, &primary), DD_OK);
    EXPECT_EQ(primary, nullptr);
    std::string each = "a refusing way (refused by the test)";
    EXPECT_EQ(said, "SDL: present: no way of showing frames works here: " + each + "; " + each + "; " + each + "; " +
                        each + "\n");
    EXPECT_EQ(refusedSetUps, 4);
    EXPECT_EQ(refusedDrops, 4);
}

TEST_F(Sdl, AChosenWayIsTheOnlyOneTriedAndItsFailureIsTheChains)
{
    // Chosen and working: the refusing way in front is not even tried.
    WAY_Chain[0] = &refusing;
    setenv("TRACKER_PRESENT", "surface", 1);
    HWND window = MakeWindow();
    std::string said;
    IDirectDrawSurface7 *primary = NULL;
    IDirectDraw7 *draw = NULL;
    EXPECT_EQ(TryChain(window, &said, &primary, &draw), DD_OK);
    EXPECT_EQ(said, "");
    EXPECT_EQ(refusedSetUps, 0);
    ASSERT_NE(draw, nullptr);
    draw->Release();

    // Chosen and failing: no other way stands in.
    setenv("TRACKER_PRESENT", "refusing", 1);
    primary = NULL;
    EXPECT_NE(TryChain(window, &said, &primary), DD_OK);
    EXPECT_EQ(said, "SDL: present: TRACKER_PRESENT=refusing: a refusing way (refused by the test)\n");
    EXPECT_EQ(refusedSetUps, 1);
    EXPECT_EQ(SDL_GetRenderer(SdlWindowOf(window)), nullptr);
}

TEST_F(Sdl, AChoiceThatNamesNoWaySaysWhichThereAre)
{
    setenv("TRACKER_PRESENT", "nonsense", 1);
    HWND window = MakeWindow();
    std::string said;
    IDirectDrawSurface7 *primary = NULL;
    EXPECT_NE(TryChain(window, &said, &primary), DD_OK);
    EXPECT_EQ(said, "SDL: present: TRACKER_PRESENT=nonsense is none of surface, wayland, renderer\n");
}

TEST_F(Sdl, WaylandMemoryIsRefusedOffWaylandWithTheReason)
{
    setenv("TRACKER_PRESENT", "wayland", 1);
    HWND window = MakeWindow();
    std::string said;
    IDirectDrawSurface7 *primary = NULL;
    EXPECT_NE(TryChain(window, &said, &primary), DD_OK);
    EXPECT_EQ(said, "SDL: present: TRACKER_PRESENT=wayland: Wayland shared memory (SDL_GetWindowWMInfo: That operation is not supported)\n");
}

// Failures name their reason on one line; releasing the DirectDraw object gives the screen back.
TEST_F(Sdl, AModeLargerThanTheScreenSaysWhyAndReleaseLeavesTheFullScreen)
{
    HWND window = MakeWindow();
    IDirectDraw7 *draw = NULL;
    ASSERT_NO_FATAL_FAILURE(MakeExclusive(window, &draw));
    SDL_DisplayMode desktop;
    ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &desktop), 0);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(draw->SetDisplayMode(desktop.w, desktop.h + 1, 32, 0, 0), DDERR_INVALIDMODE);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "SDL: no such mode: the screen is " + std::to_string(desktop.w) + " x " +
                  std::to_string(desktop.h) + ", smaller than " + std::to_string(desktop.w) +
                  " x " + std::to_string(desktop.h + 1) + "\n");

    EXPECT_EQ(draw->Release(), 0u);
    SDL_Window *sdl = SdlWindowOf(window);
    EXPECT_EQ(SDL_GetWindowFlags(sdl) & SDL_WINDOW_FULLSCREEN_DESKTOP, 0u);
    EXPECT_EQ(SDL_GetRenderer(sdl), nullptr);
    // Taken again from the start, the screen works as before.
    ASSERT_NO_FATAL_FAILURE(MakeExclusive(window, &draw));
    EXPECT_EQ(draw->SetDisplayMode(640, 480, 32, 0, 0), DD_OK);
}

TEST_F(Sdl, NoVideoAtAllSaysWhyOnceWithoutTheDriversNoise)
{
    setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 0);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 0);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(said.rfind("SDL: no video: ", 0), 0u) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
}

// --- Message box and clocks ---

TEST_F(Sdl, MessageBoxFallsBackToOneLineOnStandardError)
{
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(NULL, "Video mode not found\n", "Error", MB_OK), 1);
    EXPECT_EQ(MessageBoxA(NULL, "WIN_Init", "ERROR", MB_ICONEXCLAMATION), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Error: Video mode not found\nERROR: WIN_Init\n");
}

TEST_F(Sdl, BothClocksCountMilliseconds)
{
    // Both clocks read between two readings of SDL's own, 60 ms or more apart.
    const Uint64 before = SDL_GetTicks64();
    const DWORD time = timeGetTime(), tick = GetTickCount();
    const Uint64 started = SDL_GetTicks64();
    while (SDL_GetTicks64() - started < 60)
        SDL_Delay(5);
    const Uint64 ended = SDL_GetTicks64();
    const DWORD timeElapsed = timeGetTime() - time, tickElapsed = GetTickCount() - tick;
    const Uint64 after = SDL_GetTicks64();
    EXPECT_GE(timeElapsed, ended - started);
    EXPECT_LE(timeElapsed, after - before);
    EXPECT_GE(tickElapsed, ended - started);
    EXPECT_LE(tickElapsed, after - before);
}
