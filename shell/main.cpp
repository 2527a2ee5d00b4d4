// The entry: set-up in a fixed order, then the frame loop until the quit message.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "display/display.h"
#include "scene/scene.h"
#include "shell/shell.h"

void *FrameBuffer;
uint32_t *Expansion;
static DWORD StartTime;  // timeGetTime when the loop began: the frame clock's zero

// A failed set-up step, named in a box of its own; the frame memory made before it goes back.
static int Report(const char *step)
{
    std::free(FrameBuffer);
    std::free(Expansion);
    FrameBuffer = nullptr;
    Expansion = nullptr;
    MessageBoxA(NULL, step, "ERROR", MB_ICONEXCLAMATION);
    return 0;
}

// An allocation that failed: what it was for and the system's reason, on one line of standard
// error; the memory made before it goes back.
static int ReportMemory(const char *what, size_t bytes)
{
    const int reason = errno;
    std::fprintf(stderr, "%s: %zu bytes: %s\n", what, bytes, std::strerror(reason));
    std::fflush(stderr);
    std::free(FrameBuffer);
    std::free(Expansion);
    FrameBuffer = nullptr;
    Expansion = nullptr;
    return 0;
}

// Seconds since the start: the unsigned difference survives the millisecond counter's wrap.
static float FrameClock()
{
    const DWORD elapsed = timeGetTime() - StartTime;
    return static_cast<float>(static_cast<double>(elapsed) / 1000.0);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int nCmdShow)
{
    (void)previous;
    (void)commandLine;
    if (!WIN_Init(instance, nCmdShow))
        return Report("WIN_Init");

    const size_t pixels = static_cast<size_t>(DisplayConfig.width) * DisplayConfig.height;
    int32_t displayDepth = DisplayConfig.depth;
    // A failed allocation shows no box; its reason goes to standard error alone.
    if (DisplayConfig.depth == 8) {
        // Palette mode: the scene's indices are expanded, and the screen still runs at 32 bits.
        PAL_Init(nullptr);
        Expansion = static_cast<uint32_t *>(std::malloc(pixels * 4));
        if (Expansion == nullptr)
            return ReportMemory("palette expansion buffer", pixels * 4);
        FrameBuffer = std::calloc(pixels, 1);
        if (FrameBuffer == nullptr)
            return ReportMemory("frame memory", pixels);
        displayDepth = 32;
    } else {
        // Zero-filled: the scene never draws the last row, which must not show stale heap.
        const size_t bytes = (pixels * DisplayConfig.depth) >> 3;
        FrameBuffer = std::calloc(bytes, 1);
        if (FrameBuffer == nullptr)
            return ReportMemory("frame memory", bytes);
    }
    if (!DDRAW_Init(DisplayConfig.width, DisplayConfig.height, displayDepth, Window))
        return Report("DDRAW_Init");
    if (!FFX_Init(static_cast<uint32_t *>(FrameBuffer))) {
        std::fprintf(stderr, "FFX_Init: the pattern's lines: %s\n", std::strerror(ENOMEM));
        std::fflush(stderr);
        return Report("FFX_Init");
    }
    StartTime = timeGetTime();

    MSG msg = {};
    int quit = 0;
    while (!quit) {
        if (PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE)) {
            const BOOL got = GetMessageA(&msg, NULL, 0, 0);
            if (got == 0)
                quit = 1;
            // An error leaves the record undefined: nothing to hand on.
            if (got != -1) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        } else if (Active) {
            const float seconds = FrameClock();
            // The scene draws 32-bit pixels; any other frame memory is presented as it stands.
            if (DisplayConfig.depth == 32)
                FFX_Render(static_cast<uint32_t *>(FrameBuffer), seconds);
            DDRAW_Present();
            DDRAW_Flip();
        } else {
            WaitMessage();
        }
    }
    FFX_Shutdown();
    return static_cast<int>(msg.wParam);
}
