// Whole runs of the program against the platform double, and what a frame should look like.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform_double.h"
#include "scene/scene.h"
#include "text/text.h"

// Fails the next allocation of `bytes` bytes made by the program after `skip` others of that size.
void FailAllocation(size_t bytes, int skip);

static const int RunStopped = -1;

// Runs WinMain; RunStopped when the double ended the run instead of the program.
inline int RunProgram()
{
    try {
        return WinMain(DBL_Instance(), NULL, const_cast<LPSTR>(""), 10);
    } catch (const DBL_Stop &) {
        return RunStopped;
    }
}

// Activates the program at once and presses Escape once `frames` frames have flipped.
inline void ScriptFramesThenEscape(int frames)
{
    DBL_Post(WM_ACTIVATEAPP, 1, 0);
    DBL_OnCall("Flip", [frames] {
        if (DBL_Count("Flip") == frames)
            DBL_Post(WM_KEYDOWN, VK_ESCAPE, 0);
    });
}

// Frames after the start see the clock at `ms` milliseconds: outside a generation window, so a
// frame rendered again here shows the same pattern text.
inline void ScriptClockAt(DWORD ms)
{
    DBL_OnCall("timeGetTime", [ms] {
        if (DBL_Count("timeGetTime") == 2)
            DBL_SetTime(DBL_Time() + ms);
    });
}

// The 32-bit rows the back buffer should hold after a frame at `seconds`: the scene's own
// picture at 32 bits, the greyscale ramp's black for the palette mode's zeroed indices; with
// the read-out's text on top, in white, when the frame drew one.
inline std::vector<uint32_t> ExpectedFrame(float seconds, const std::string &readOut = "")
{
    const size_t pixels = static_cast<size_t>(DisplayConfig.width) * DisplayConfig.height;
    std::vector<uint32_t> frame(pixels, DisplayConfig.depth == 8 ? 0xFF000000u : 0u);
    if (DisplayConfig.depth == 32)
        FFX_Render(frame.data(), seconds);
    GFX_DrawText(readOut.c_str(), frame.data(), 0, 0, DisplayConfig.width, DisplayConfig.height,
                 0xFFFFFFFFu);
    return frame;
}

// The text of the last read-out the program drew, from the log.
inline std::string LastReadOut()
{
    const std::vector<std::string> calls = DBL_Calls("TextOutA");
    if (calls.empty())
        return "";
    const std::string &call = calls.back();
    const size_t open = call.find('"'), close = call.rfind('"');
    return close > open ? call.substr(open + 1, close - open - 1) : "";
}

// The back buffer's rows without their padding.
inline std::vector<uint32_t> BackBufferRows()
{
    std::vector<uint32_t> rows(static_cast<size_t>(DisplayConfig.width) * DisplayConfig.height);
    for (int32_t y = 0; y < DisplayConfig.height; ++y)
        std::memcpy(&rows[static_cast<size_t>(y) * DisplayConfig.width],
                    DBL_BackBuffer() + static_cast<size_t>(y) * DBL_Pitch(), DisplayConfig.width * 4u);
    return rows;
}

// How many log entries of `name` lie between the n-th and the (n+1)-th of `boundary`.
inline std::vector<int> CountsBetween(const std::string &name, const std::string &boundary)
{
    std::vector<int> counts(1, 0);
    for (const std::string &entry : DBL_Log()) {
        if (entry.rfind(boundary + "(", 0) == 0)
            counts.push_back(0);
        else if (entry.rfind(name + "(", 0) == 0)
            ++counts.back();
    }
    return counts;
}
