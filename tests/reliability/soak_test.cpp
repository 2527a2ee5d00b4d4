// A million frames of the real loop against the double: days of frame clock across the wraps of
// both millisecond counters, the read-out switched on and off, and the display failing now and
// then. Every frame is checked for having been copied and for showing the row its clock gives.
#include "mismatches.h"
#include "harness.h"

#include <array>
#include <chrono>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>

#include "heap.h"
#include "scene/colours.h"
#include "shell/shell.h"
#include "text/text.h"

namespace {

const DWORD Day = 86400000u;
const uint64_t CounterSpan = 0x100000000ull;  // milliseconds until a 32-bit counter wraps

// A million frames; fewer under the sanitizers, whose frames cost several times more.
long SoakFrames()
{
    if (const char *asked = std::getenv("TRACKER_SOAK_FRAMES"))
        return std::strtol(asked, nullptr, 10);
    return UnderSanitizer() ? 100000 : 1000000;
}

uint32_t Seed()
{
    if (const char *asked = std::getenv("TRACKER_SOAK_SEED"))
        return static_cast<uint32_t>(std::strtoul(asked, nullptr, 10));
    return 20261208u;
}

// The clock a frame must hand the scene: the unsigned milliseconds since the start, in seconds.
float ClockAt(DWORD now, DWORD start)
{
    return static_cast<float>(static_cast<double>(static_cast<DWORD>(now - start)) / 1000.0);
}

// The pattern's row step for a clock: a tenth of a second each.
int32_t StepAt(float seconds)
{
    return static_cast<int32_t>(static_cast<double>(seconds) * 10.0);
}

// Reads the number of the pattern's top row (the row step modulo 64) off the back buffer:
// its two glyphs at (4, 202), matched against the font's rendering of 00 ... 3f.
class RowReader {
public:
    RowReader()
    {
        for (int row = 0; row < 64; ++row) {
            std::array<uint32_t, 16 * 16> cell{};
            char number[4];
            std::snprintf(number, sizeof number, "%02x", row);
            GFX_DrawText(number, cell.data(), 0, 0, 16, 16, ColourWhite);
            Key key{};
            for (int i = 0; i < 256; ++i)
                if (cell[i] != 0)
                    key[i / 64] |= 1ull << (i % 64);
            rows_[key] = row;
        }
    }

    // The row shown, or -1 when the cell holds no row number.
    int Read(const uint8_t *back, LONG pitch) const
    {
        Key key{};
        for (int y = 0; y < 16; ++y) {
            const uint32_t *line = reinterpret_cast<const uint32_t *>(back + (202 + y) * pitch) + 4;
            for (int x = 0; x < 16; ++x)
                if (line[x] != ColourBackground)
                    key[(y * 16 + x) / 64] |= 1ull << ((y * 16 + x) % 64);
        }
        auto found = rows_.find(key);
        return found == rows_.end() ? -1 : found->second;
    }

private:
    using Key = std::array<uint64_t, 4>;
    std::map<Key, int> rows_;
};

enum Fault { None, LockFails, LostAtLock, ReadOutFails, LostAtReadOut, FlipBusy, LostAtFlip, Kinds };
const char *const FaultNames[Kinds] = {"none", "lock fails", "lost at lock", "read-out context fails",
                                       "lost at read-out", "flip busy", "lost at flip"};

// A pixel the scene paints with the panel colour in every frame; poisoned before each lock, it
// tells whether that frame reached the back buffer.
const int ProbeX = 270, ProbeY = 10;
const uint32_t Poison = 0xDEADBEEFu;

uint32_t &Probe()
{
    return reinterpret_cast<uint32_t *>(DBL_BackBuffer() + ProbeY * DBL_Pitch())[ProbeX];
}

struct Soak {
    long frames;                 // frames to run before Escape
    std::mt19937 random;
    DWORD normalStep;            // mean milliseconds between frames outside bursts
    DWORD start = 0;             // the program's start time
    long frame = 0;              // frames begun
    long burstLeft = 0;          // frames left in a burst of 0 ... 2 ms steps
    Fault fault = None;          // this frame's
    long lastFault = 0;          // the frame of the last fault
    int flipsThisFrame = 0;
    int readOutsThisFrame = 0;
    int textsBefore = 0;         // TextOutA calls before this frame
    bool readOut = false;        // the flag as the space presses so far set it
    bool togglePosted = false;   // a space press waits for the next frame
    bool pauseAhead = false;     // a deactivation waits for the loop's WaitMessage
    DWORD pauseLength = 0;
    bool longPauseDone = false;
    float clock = 0, shownClock = -1;
    DWORD elapsed = 0;           // milliseconds since the start, as the counters give it
    long timeWrap = 0, tickWrap = 0, elapsedWrap = 0;  // the first frames after the first wraps
    long timeWraps = 0, tickWraps = 0;
    long backwards = 0;          // frames whose clock was below the frame before's
    long faults[Kinds] = {};
    long busyAnswers = 0, lostSurfaces = 0, toggles = 0, pauses = 0, readOutFrames = 0;
    long fullFrames = 0;         // frames compared whole with the scene's own picture
    long compareAt = 0;          // the next frame to compare whole, or the first after it
    size_t heapEarly = 0, heapLate = 0;
    long allocationsEarly = 0, allocationsLate = 0;
    RowReader reader;
    Mismatches notCopied, copiedAnyway, wrongRow, wrongReadOut, wrongFrame, unexpectedWait;

    Soak(long frames, uint32_t seed) : frames(frames), random(seed)
    {
        // Three and a half days of clock while active, whatever the frame count.
        normalStep = static_cast<DWORD>(3.5 * Day / frames);
    }

    DWORD Below(DWORD n) { return static_cast<DWORD>(random() % n); }

    // Moves both counters on; notes their wraps and the elapsed time's.
    void Advance(DWORD ms)
    {
        const DWORD time = DBL_Time() + ms, tick = DBL_Tick() + ms;
        // The first frame after each wrap is compared whole.
        if (time < DBL_Time()) {
            ++timeWraps;
            timeWrap = timeWrap ? timeWrap : frame + 1;
            compareAt = frame + 1;
        }
        if (tick < DBL_Tick()) {
            ++tickWraps;
            tickWrap = tickWrap ? tickWrap : frame + 1;
            compareAt = frame + 1;
        }
        DBL_SetTime(time);
        DBL_SetTick(tick);
    }

    void BeginFrame()
    {
        ++frame;
        flipsThisFrame = 0;
        readOutsThisFrame = 0;
        textsBefore = DBL_Count("TextOutA");
        if (togglePosted) {
            readOut = !readOut;
            togglePosted = false;
        }
        DWORD step;
        if (burstLeft > 0) {
            --burstLeft;
            step = Below(3);
        } else {
            if (Below(500) == 0)
                burstLeft = 50;  // as fast as a real machine draws: several frames per row
            step = normalStep * 4 / 5 + Below(normalStep * 2 / 5 + 1);
        }
        Advance(step);
        const DWORD now = DBL_Time() - start;
        const float previous = clock;
        clock = ClockAt(DBL_Time(), start);
        if (now < elapsed)
            elapsedWrap = compareAt = frame;
        if (clock < previous)
            ++backwards;
        elapsed = now;

        fault = None;
        if (frame > 2 && frame < frames - 2 && frame - lastFault >= 3 && Below(150) == 0) {
            const Fault kinds[] = {LockFails, LostAtLock, FlipBusy, FlipBusy, LostAtFlip,
                                   readOut ? ReadOutFails : LockFails,
                                   readOut ? LostAtReadOut : LostAtFlip};
            fault = kinds[Below(7)];
            lastFault = frame;
            ++faults[fault];
        }
    }

    void OnLock()
    {
        Probe() = Poison;
        if (fault == LockFails)
            DBL_Fail("Lock", 1);
        if (fault == LostAtLock) {
            DBL_LoseSurfaces();
            ++lostSurfaces;
        }
    }

    void OnGetDC()
    {
        ++readOutsThisFrame;
        if (fault == ReadOutFails)
            DBL_Fail("GetDC", 1);
        if (fault == LostAtReadOut) {
            DBL_LoseSurfaces();
            ++lostSurfaces;
        }
    }

    void OnFlip()
    {
        if (flipsThisFrame++ > 0)
            return;  // a busy answer's retry
        Check();
        if (fault == FlipBusy) {
            const int busy = 1 + static_cast<int>(Below(8));
            DBL_FailWith("Flip", busy, DDERR_WASSTILLDRAWING);
            busyAnswers += busy;
        }
        if (fault == LostAtFlip) {
            DBL_LoseSurfaces();
            ++lostSurfaces;
        }
        Script();
    }

    // What the frame just presented shows, before it is flipped.
    void Check()
    {
        const bool copied = fault != LockFails && fault != LostAtLock;
        const uint32_t probe = Probe();
        if (copied && probe != ColourPanel)
            notCopied.Add("frame " + std::to_string(frame) + " did not reach the back buffer");
        if (!copied && probe != Poison)
            copiedAnyway.Add("frame " + std::to_string(frame) + " was copied through a failed lock");
        if (copied)
            shownClock = clock;
        const int row = reader.Read(DBL_BackBuffer(), DBL_Pitch());
        const int expected = StepAt(shownClock) & 63;
        if (row != expected)
            wrongRow.Add("frame " + std::to_string(frame) + " at " + std::to_string(shownClock) +
                         " s shows row " + std::to_string(row) + ", not " + std::to_string(expected));
        if (readOutsThisFrame != (readOut ? 1 : 0))
            wrongReadOut.Add("frame " + std::to_string(frame) + " drew the read-out " +
                             std::to_string(readOutsThisFrame) + " times with the flag " +
                             (readOut ? "on" : "off"));
        readOutFrames += readOutsThisFrame;

        // Whole frames now and then, and from each wrap on; never in a generation window, where
        // rendering the reference would draw from the scene's generator.
        if (frame >= compareAt && copied && (StepAt(clock) & 63) != 0) {
            const bool drewText = DBL_Count("TextOutA") > textsBefore;
            if (BackBufferRows() != ExpectedFrame(clock, drewText ? LastReadOut() : ""))
                wrongFrame.Add("frame " + std::to_string(frame) + " at " + std::to_string(clock) +
                               " s differs from the scene's picture for that clock");
            ++fullFrames;
            compareAt = frame + frames / 500;
        }

        if (frame == frames / 10) {
            heapEarly = HeapInUse();
            allocationsEarly = WrappedAllocations();
        }
        if (frame == frames) {
            heapLate = HeapInUse();
            allocationsLate = WrappedAllocations();
        }
    }

    // The messages: space now and then, pauses, and Escape at the end.
    void Script()
    {
        if (frame == frames) {
            DBL_Post(WM_KEYDOWN, VK_ESCAPE, 0);
            return;
        }
        if (Below(static_cast<DWORD>(frames / 300 + 1)) == 0) {
            DBL_Post(WM_KEYDOWN, VK_SPACE, 0);
            togglePosted = true;
            ++toggles;
        }
        // Halfway, long enough in the background that the elapsed time wraps later on;
        // otherwise now and then for up to two hours.
        if (frame == frames / 2 && !longPauseDone) {
            pauseLength = static_cast<DWORD>(CounterSpan - elapsed - 6 * Day / 10);
            longPauseDone = true;
        } else if (Below(static_cast<DWORD>(frames / 20 + 1)) == 0) {
            pauseLength = 1000 + Below(2 * 3600 * 1000);
        } else {
            return;
        }
        DBL_Post(WM_ACTIVATEAPP, 0, 0);
        pauseAhead = true;
    }

    void OnWait()
    {
        if (!pauseAhead) {
            unexpectedWait.Add("a wait after frame " + std::to_string(frame));
        } else {
            Advance(pauseLength);
            pauseAhead = false;
            ++pauses;
        }
        // Any non-zero flag activates, however wide.
        const WPARAM flags[] = {1, 2, 0x8000, static_cast<WPARAM>(UINTPTR_MAX)};
        DBL_Post(WM_ACTIVATEAPP, flags[Below(4)], 0);
    }
};

TEST(Soak, DaysOfFramesThroughEveryFaultTheDisplayGives)
{
    const long frames = SoakFrames();
    const uint32_t seed = Seed();
    ASSERT_GT(frames, 1000) << "TRACKER_SOAK_FRAMES";
    std::printf("soak: %ld frames, seed %u (TRACKER_SOAK_FRAMES, TRACKER_SOAK_SEED)\n", frames, seed);
    Soak soak(frames, seed);

    // The timeGetTime counter wraps a day in; the tick counter runs 6 hours ahead of the
    // elapsed time, so it wraps 6 hours before the elapsed time does.
    DBL_SetTime(static_cast<DWORD>(CounterSpan - Day));
    DBL_SetTick(Day / 4);
    DBL_SetFrameLimit(INT_MAX);
    DBL_SetCallLimit(LONG_MAX);
    DBL_SetLogLimit(256);
    DBL_Post(WM_ACTIVATEAPP, 1, 0);
    DBL_OnCall("timeGetTime", [&soak] {
        if (DBL_Count("timeGetTime") == 1)
            soak.start = DBL_Time();
        else
            soak.BeginFrame();
    });
    DBL_OnCall("Lock", [&soak] { soak.OnLock(); });
    DBL_OnCall("GetDC", [&soak] { soak.OnGetDC(); });
    DBL_OnCall("Flip", [&soak] { soak.OnFlip(); });
    DBL_OnCall("WaitMessage", [&soak] { soak.OnWait(); });

    const auto began = std::chrono::steady_clock::now();
    const int status = RunProgram();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();

    std::printf("soak: %ld frames in %.1f s (%.1f us a frame); %.2f days of clock, %ld pauses, "
                "%ld space presses, %ld frames with the read-out, %ld compared whole\n",
                soak.frame, seconds, seconds * 1e6 / soak.frame,
                (static_cast<double>(soak.elapsed) + (soak.elapsedWrap ? CounterSpan : 0)) / Day,
                soak.pauses, soak.toggles, soak.readOutFrames, soak.fullFrames);
    for (int kind = LockFails; kind < Kinds; ++kind)
        std::printf("soak: fault %-24s %ld\n", FaultNames[kind], soak.faults[kind]);
    std::printf("soak: %ld busy answers, %ld lost surfaces; first wraps at frames %ld "
                "(timeGetTime, %ld wraps), %ld (GetTickCount, %ld), %ld (elapsed time)\n",
                soak.busyAnswers, soak.lostSurfaces, soak.timeWrap, soak.timeWraps, soak.tickWrap,
                soak.tickWraps, soak.elapsedWrap);
    std::printf("soak: heap in use %zu bytes at frame %ld, %zu at the end\n", soak.heapEarly,
                frames / 10, soak.heapLate);

    ASSERT_EQ(status, 0);
    EXPECT_EQ(soak.frame, frames);
    EXPECT_TRUE(DBL_WindowDestroyed());
    EXPECT_EQ(DBL_Dispatched().back().message, static_cast<UINT>(WM_QUIT));

    // The scenario itself: every wrap inside the run, on an active frame, and every fault.
    EXPECT_GT(soak.timeWrap, 0);
    EXPECT_LT(soak.timeWrap, frames / 2) << "timeGetTime wraps a day in";
    EXPECT_GT(soak.tickWrap, frames / 2) << "GetTickCount wraps after the long pause";
    EXPECT_GT(soak.elapsedWrap, soak.tickWrap) << "the elapsed time wraps after GetTickCount";
    EXPECT_EQ(soak.backwards, 1) << "the clock runs backwards once: when the elapsed time wraps";
    for (int kind = LockFails; kind < Kinds; ++kind)
        EXPECT_GT(soak.faults[kind], 0) << FaultNames[kind];

    // Every frame checked on its way: copied unless its lock failed, showing its own clock.
    EXPECT_EQ(soak.notCopied.count, 0);
    EXPECT_EQ(soak.copiedAnyway.count, 0);
    EXPECT_EQ(soak.wrongRow.count, 0);
    EXPECT_EQ(soak.wrongReadOut.count, 0);
    EXPECT_EQ(soak.wrongFrame.count, 0);
    EXPECT_EQ(soak.unexpectedWait.count, 0);
    EXPECT_GE(soak.fullFrames, 400);

    // Every busy answer retried at once and nothing more; every loss restored once.
    EXPECT_EQ(DBL_Count("Flip"), frames + soak.busyAnswers);
    EXPECT_EQ(DBL_Count("Restore"), soak.lostSurfaces);
    EXPECT_EQ(DBL_Count("GetDC"), DBL_Count("ReleaseDC") + soak.faults[ReadOutFails] +
                                      soak.faults[LostAtReadOut]);

    // Nothing on the frame path allocates, and the heap holds what it held early on.
    EXPECT_EQ(soak.allocationsLate, soak.allocationsEarly);
    EXPECT_LT(soak.heapLate, soak.heapEarly + (1u << 20));
    if (UnderSanitizer()) {
        // The frame memory has the poisoned zone right behind its last pixel.
        EXPECT_TRUE(SanitizerGuards(FrameBuffer, static_cast<size_t>(DisplayConfig.width) *
                                                     DisplayConfig.height * 4));
    }
}

}  // namespace
