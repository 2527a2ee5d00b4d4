// The emulation core's host in a web page: the page's events become window messages,
// performance.now() is the clock, and the display is a canvas scaled by whole numbers on black.
// The JavaScript half is library.js; the waits below return only when the page has something
// for the program, the program's stack kept across them by emscripten's ASYNCIFY.
#include <cstdint>
#include <vector>

#include "platform/emulation/emulation.h"
#include "platform/emulation/host.h"

// The page's events, as library.js queues them.
enum WebEvent { WEB_ACTIVATE = 1, WEB_KEYDOWN = 2, WEB_POINTER = 3 };

extern "C" {
// library.js: see there for what each does.
int web_next_event(int *kind, int *value, int *repeat);
void web_wait_event(void);
double web_now(void);
int web_screen_size(int *width, int *height);
int web_create_window(void);
void web_show_window(int show);
void web_focus(void);
void web_destroy_window(void);
void web_show_cursor(int shown);
void web_message_box(const char *text, const char *caption, unsigned icon);
void web_set_mode(int width, int height, uint32_t *canvasPixels);
void web_present(void);
void web_wait_frame(void);
}

// The page has one canvas, so one window; this stands for it.
static char canvasToken;
static bool windowMade;               // the canvas is the program's window
static std::vector<uint32_t> canvas;  // the mode's pixels as the canvas takes them, bytes R, G, B, A
static int modeWidth, modeHeight;     // the display mode's size

static HWND Canvas()
{
    return windowMade ? EMU_WindowOf(&canvasToken) : NULL;
}

void HOST_PollEvents()
{
    int kind, value, repeat;
    while (web_next_event(&kind, &value, &repeat)) {
        HWND window = Canvas();
        if (!window)
            continue;  // nothing to tell before the window exists or after it is gone
        switch (kind) {
        case WEB_ACTIVATE:
            EMU_Post(window, WM_ACTIVATEAPP, value, 0);
            break;
        case WEB_KEYDOWN:  // repeat count 1; bit 30 says the key was already down
            EMU_Post(window, WM_KEYDOWN, (WPARAM)value, 1 | (repeat ? (LPARAM)1 << 30 : 0));
            break;
        case WEB_POINTER:  // Windows asks for the cursor as the mouse moves; one asking waits at most
            if (!EMU_Waiting(window, WM_SETCURSOR))
                EMU_Post(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window),
                         HTCLIENT | (LPARAM)WM_MOUSEMOVE << 16);
            break;
        }
    }
}

bool HOST_WaitEvents()
{
    web_wait_event();
    return true;
}

uint64_t HOST_Milliseconds()
{
    return static_cast<uint64_t>(web_now());
}

bool HOST_ScreenSize(int *width, int *height)
{
    return web_screen_size(width, height) != 0;
}

void *HOST_CreateWindow(const char *, int, int, int, int, bool)
{
    if (windowMade || !web_create_window())
        return NULL;
    windowMade = true;
    return &canvasToken;
}

void HOST_ShowWindow(void *, bool show)
{
    web_show_window(show);
}

void HOST_Focus(void *)
{
    web_focus();
}

void HOST_DestroyWindow(void *)
{
    web_destroy_window();
    windowMade = false;
}

void HOST_ShowCursor(bool shown)
{
    web_show_cursor(shown);
}

void HOST_MessageBox(void *, const char *text, const char *caption, UINT icon)
{
    web_message_box(text, caption, icon);
}

void HOST_Misuse(const char *)
{
    // Windows refuses such calls with an error and says nothing; so does this host.
}

bool HOST_FullScreen(void *)
{
    // The canvas always fills the page.
    return true;
}

void HOST_LeaveFullScreen(void *)
{
    // The canvas is the page's whether or not the program holds it.
}

HRESULT HOST_SetMode(void *, int width, int height)
{
    modeWidth = width;
    modeHeight = height;
    canvas.assign(static_cast<size_t>(width) * height, 0xFF000000u);
    // The page reads the canvas's pixels straight from this memory on every present.
    web_set_mode(width, height, canvas.data());
    return DD_OK;
}

LONG HOST_Pitch(int width)
{
    return width * 4;
}

uint8_t *HOST_ScreenMemory(LONG *)
{
    return NULL;  // the canvas's byte order is not the frame's: every present converts
}

HRESULT HOST_Present(const uint8_t *pixels, LONG pitch)
{
    if (!windowMade)
        return DDERR_SURFACELOST;  // the canvas, and with it the screen, is gone
    // Canvas bytes are R, G, B, A: in a little-endian word red and blue swap places, and the
    // top byte, which a 32-bit display ignores, becomes opaque. (A loop the compiler vectorises.)
    uint32_t *out = canvas.data();
    for (int y = 0; y < modeHeight; ++y) {
        const uint32_t *row = reinterpret_cast<const uint32_t *>(pixels + static_cast<size_t>(y) * pitch);
        for (int x = 0; x < modeWidth; ++x) {
            const uint32_t p = row[x];
            *out++ = 0xFF000000u | (p & 0xFF00u) | ((p >> 16) & 0xFFu) | ((p & 0xFFu) << 16);
        }
    }
    web_present();
    // Paced by the browser's frames, as a flip waits for the vertical blank.
    web_wait_frame();
    return DD_OK;
}
