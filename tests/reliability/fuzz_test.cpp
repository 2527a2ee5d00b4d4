// Long random message sequences through the real loop and window procedure: activation with any
// flag, any key, any system command, unknown messages and failing GetMessageA, ended by a close
// request of one kind or another with more messages behind it. Each seed is its own test.
#include "mismatches.h"
#include "harness.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace {

const int SeedCount = 16;

// Test i runs seed base + i: base 1000, or TRACKER_FUZZ_SEED for other sequences or a replay.
uint64_t SeedFor(int index)
{
    uint64_t base = 1000;
    if (const char *asked = std::getenv("TRACKER_FUZZ_SEED"))
        base = std::strtoull(asked, nullptr, 10);
    return base + static_cast<uint64_t>(index);
}

bool IsCloseRequest(const MSG &msg)
{
    return msg.message == WM_CLOSE || (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) ||
           (msg.message == WM_SYSCOMMAND && (msg.wParam & 0xFFF0) == SC_CLOSE);
}

// A close that acts when dispatched; Escape only posts one behind what already waits.
bool ClosesAtOnce(const MSG &msg)
{
    return IsCloseRequest(msg) && msg.message != WM_KEYDOWN;
}

// Messages the window procedure must keep from default processing.
bool Withheld(UINT message, WPARAM wParam)
{
    return message == WM_SETCURSOR ||
           (message == WM_SYSCOMMAND && (wParam == SC_SCREENSAVE || wParam == SC_MONITORPOWER));
}

std::string Hex(uint64_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%" PRIx64, value);
    return text;
}

// A DefWindowProcA call as the double logs it.
std::string DefaultCall(UINT message, WPARAM wParam, LPARAM lParam)
{
    std::string name;
    switch (message) {
    case WM_DESTROY: name = "WM_DESTROY"; break;
    case WM_CLOSE: name = "WM_CLOSE"; break;
    case WM_QUIT: name = "WM_QUIT"; break;
    case WM_ACTIVATEAPP: name = "WM_ACTIVATEAPP"; break;
    case WM_SETCURSOR: name = "WM_SETCURSOR"; break;
    case WM_KEYDOWN: name = "WM_KEYDOWN"; break;
    case WM_SYSCOMMAND: name = "WM_SYSCOMMAND"; break;
    default: name = Hex(message);
    }
    return "DefWindowProcA(window," + name + "," + Hex(wParam) + "," +
           Hex(static_cast<uint64_t>(lParam)) + ")";
}

struct Fuzz {
    std::mt19937_64 random;
    long planned;                 // messages before the first close request
    std::vector<MSG> sent;        // every posted message; its lParam is its index + 1
    long closeAt = 0;             // lParam of the first close request, once posted
    long getErrors = 0;           // GetMessageA calls made to fail
    size_t seen = 0;              // dispatched messages taken into the model so far
    bool active = false;          // the last activation flag dispatched
    long spaces = 0;              // space key downs dispatched
    long frames = 0, waits = 0;
    int readOutsBefore = 0;       // GetDC calls before this frame
    long kinds[5] = {};
    Mismatches inactiveFrames, activeWaits, waitsWithMessages, wrongReadOut, waitsAfterClose;

    Fuzz(uint64_t seed) : random(seed), planned(4000 + static_cast<long>(random() % 4000)) {}

    uint64_t Below(uint64_t n) { return random() % n; }

    // Catches the model up with what the program has dispatched.
    void Sync()
    {
        const std::vector<MSG> &dispatched = DBL_Dispatched();
        for (; seen < dispatched.size(); ++seen) {
            const MSG &msg = dispatched[seen];
            if (msg.message == WM_ACTIVATEAPP)
                active = msg.wParam != 0;
            if (msg.message == WM_KEYDOWN && msg.wParam == VK_SPACE)
                ++spaces;
        }
    }

    void Post(UINT message, WPARAM wParam)
    {
        const LPARAM tag = static_cast<LPARAM>(sent.size() + 1);
        sent.push_back(MSG{NULL, message, wParam, tag});
        DBL_Post(message, wParam, tag);
    }

    // One random message; close requests only when `closes` allows them.
    void PostRandom(bool closes)
    {
        const uint64_t wide = random();
        switch (Below(6)) {
        case 0: {
            ++kinds[0];
            // Zero, one, anything, or a flag whose low 32 bits are all clear.
            const WPARAM flags[] = {0, 0, 1, static_cast<WPARAM>(wide),
                                    static_cast<WPARAM>(wide << 32 | 1ull << 32)};
            Post(WM_ACTIVATEAPP, flags[Below(5)]);
            break;
        }
        case 1:
        case 2: {
            ++kinds[1];
            // Space often, and space with high bits set, which is another key.
            const WPARAM keys[] = {VK_SPACE, VK_SPACE, static_cast<WPARAM>(Below(256)),
                                   static_cast<WPARAM>(wide), static_cast<WPARAM>(VK_SPACE | wide << 32 | 1ull << 32)};
            WPARAM key = keys[Below(5)];
            if (key == VK_ESCAPE && !closes)
                key = 'E';
            Post(WM_KEYDOWN, key);
            break;
        }
        case 3: {
            ++kinds[2];
            // The two refused commands, their neighbours, and anything else.
            const WPARAM commands[] = {SC_SCREENSAVE, SC_MONITORPOWER,
                                       SC_SCREENSAVE | (1 + Below(15)), SC_MONITORPOWER | (1 + Below(15)),
                                       static_cast<WPARAM>(SC_SCREENSAVE | wide << 32 | 1ull << 32),
                                       static_cast<WPARAM>(Below(0x10000)), static_cast<WPARAM>(wide)};
            WPARAM command = commands[Below(7)];
            if ((command & 0xFFF0) == SC_CLOSE && !closes)
                command ^= 0x10;
            Post(WM_SYSCOMMAND, command);
            break;
        }
        case 4:
            ++kinds[3];
            Post(WM_SETCURSOR, static_cast<WPARAM>(wide));
            break;
        default: {
            ++kinds[4];
            // Anything the procedure does not handle, from the system range and beyond.
            UINT message = static_cast<UINT>(Below(2) ? Below(0x400) : wide);
            switch (message) {
            case WM_DESTROY: case WM_CLOSE: case WM_QUIT: case WM_ACTIVATEAPP:
            case WM_SETCURSOR: case WM_KEYDOWN: case WM_SYSCOMMAND:
                message = 0x0400;  // WM_USER
            }
            Post(message, static_cast<WPARAM>(wide));
        }
        }
    }

    // A few messages; once enough were posted, a close request with more behind it, then none.
    void Burst()
    {
        if (closeAt)
            return;
        if (static_cast<long>(sent.size()) >= planned) {
            const WPARAM closes[] = {0, VK_ESCAPE, SC_CLOSE | Below(16)};
            const UINT messages[] = {WM_CLOSE, WM_KEYDOWN, WM_SYSCOMMAND};
            const int kind = static_cast<int>(Below(3));
            Post(messages[kind], closes[kind]);
            closeAt = static_cast<long>(sent.size());
            for (uint64_t i = Below(6); i > 0; --i) {
                if (Below(4) == 0)
                    Post(WM_KEYDOWN, VK_ESCAPE);
                else if (Below(3) == 0)
                    Post(WM_CLOSE, 0);
                else
                    PostRandom(true);
            }
            return;
        }
        for (uint64_t i = 1 + Below(4); i > 0; --i)
            PostRandom(false);
    }

    void OnFrameStart()
    {
        if (DBL_Count("timeGetTime") == 1)
            return;  // the start time
        Sync();
        ++frames;
        if (!active)
            inactiveFrames.Add("frame " + std::to_string(frames) + " with the last activation flag 0");
        readOutsBefore = DBL_Count("GetDC");
        DBL_SetTime(DBL_Time() + static_cast<DWORD>(Below(40)));
    }

    void OnFlip()
    {
        Sync();
        const int readOuts = DBL_Count("GetDC") - readOutsBefore;
        if (readOuts != spaces % 2)
            wrongReadOut.Add("frame " + std::to_string(frames) + " drew " + std::to_string(readOuts) +
                             " read-outs after " + std::to_string(spaces) + " space presses");
        if (Below(5) < 3)
            Burst();
    }

    void OnWait()
    {
        Sync();
        ++waits;
        if (active)
            activeWaits.Add("a wait with the last activation flag non-zero");
        if (DBL_Pending() != 0)
            waitsWithMessages.Add("a wait with " + std::to_string(DBL_Pending()) + " messages queued");
        if (closeAt) {
            waitsAfterClose.Add("a wait after the close request");
            return;  // the double ends the run: nothing will come
        }
        do
            Burst();
        while (DBL_Pending() == 0 && !closeAt);
    }

    void OnGet()
    {
        if (Below(40) == 0) {
            DBL_Fail("GetMessageA", 1);  // this very call
            ++getErrors;
        }
    }

    // The fuzzed messages the program must have dispatched, by tag, and whether the close that
    // Escape posts comes after them: everything up to the first close that acts at once.
    void ExpectedDispatch(long *last, bool *programClose) const
    {
        const MSG &close = sent[closeAt - 1];
        if (ClosesAtOnce(close)) {
            *last = closeAt;
            *programClose = false;
            return;
        }
        for (long tag = closeAt + 1; tag <= static_cast<long>(sent.size()); ++tag)
            if (ClosesAtOnce(sent[tag - 1])) {
                *last = tag;
                *programClose = false;
                return;
            }
        *last = static_cast<long>(sent.size());
        *programClose = true;
    }
};

class Fuzzed : public testing::TestWithParam<int> {};

TEST_P(Fuzzed, MessagesNeverBreakTheLoopOrTheWindow)
{
    const uint64_t seed = SeedFor(GetParam());
    std::printf("fuzz: seed %" PRIu64 " (replay: TRACKER_FUZZ_SEED=%" PRIu64
                " test-fuzz --gtest_filter='*/0')\n", seed, seed);
    Fuzz fuzz(seed);
    DBL_SetFrameLimit(1000000);
    DBL_SetCallLimit(100000000);
    DBL_OnCall("timeGetTime", [&fuzz] { fuzz.OnFrameStart(); });
    DBL_OnCall("Flip", [&fuzz] { fuzz.OnFlip(); });
    DBL_OnCall("WaitMessage", [&fuzz] { fuzz.OnWait(); });
    DBL_OnCall("GetMessageA", [&fuzz] { fuzz.OnGet(); });

    ASSERT_EQ(RunProgram(), 0);
    std::printf("fuzz: %zu messages (%ld activations, %ld keys, %ld system commands, %ld cursor, "
                "%ld unknown), closed by %s at %ld of them, %ld GetMessageA errors, %ld frames, "
                "%ld waits\n",
                fuzz.sent.size(), fuzz.kinds[0], fuzz.kinds[1], fuzz.kinds[2], fuzz.kinds[3],
                fuzz.kinds[4], fuzz.closeAt == 0 ? "nothing"
                : fuzz.sent[fuzz.closeAt - 1].message == WM_CLOSE ? "WM_CLOSE"
                : fuzz.sent[fuzz.closeAt - 1].message == WM_KEYDOWN ? "Escape" : "SC_CLOSE",
                fuzz.closeAt, fuzz.getErrors, fuzz.frames, fuzz.waits);
    ASSERT_GT(fuzz.closeAt, 0);

    EXPECT_EQ(fuzz.inactiveFrames.count, 0);
    EXPECT_EQ(fuzz.activeWaits.count, 0);
    EXPECT_EQ(fuzz.waitsWithMessages.count, 0);
    EXPECT_EQ(fuzz.wrongReadOut.count, 0);
    EXPECT_EQ(fuzz.waitsAfterClose.count, 0);
    EXPECT_GT(fuzz.frames, 100);
    EXPECT_GT(fuzz.waits, 10);

    // Every message in order and none twice, up to the first close that acts; after it only
    // the close Escape posted, if that was the first, and then the quit message, last.
    const std::vector<MSG> &dispatched = DBL_Dispatched();
    long last = 0;
    bool programClose = false;
    fuzz.ExpectedDispatch(&last, &programClose);
    std::vector<std::string> expected, actual;
    for (long tag = 1; tag <= last; ++tag)
        expected.push_back(DefaultCall(fuzz.sent[tag - 1].message, fuzz.sent[tag - 1].wParam, tag));
    if (programClose)
        expected.push_back(DefaultCall(WM_CLOSE, 0, 0));
    expected.push_back(DefaultCall(WM_QUIT, 0, 0));
    for (const MSG &msg : dispatched) {
        if (msg.message == WM_QUIT)
            EXPECT_EQ(msg.hwnd, nullptr);
        else if (msg.hwnd != DBL_Window())
            ADD_FAILURE() << "dispatched to another window: " << DefaultCall(msg.message, msg.wParam, msg.lParam);
        actual.push_back(DefaultCall(msg.message, msg.wParam, msg.lParam));
    }
    EXPECT_EQ(actual, expected);
    EXPECT_EQ(DBL_Count("GetMessageA"), static_cast<int>(dispatched.size()) + fuzz.getErrors);
    EXPECT_EQ(DBL_Count("TranslateMessage"), static_cast<int>(dispatched.size()));

    // Default processing sees every call of the procedure, unchanged and in order, but the
    // refused system commands and the cursor; the procedure answers those itself.
    std::vector<std::string> reachDefault;
    long destroys = 0, cursors = 0;
    for (const DBL_ProcCall &call : DBL_ProcCalls()) {
        destroys += call.message == WM_DESTROY;
        if (!Withheld(call.message, call.wParam)) {
            reachDefault.push_back(DefaultCall(call.message, call.wParam, call.lParam));
            continue;
        }
        EXPECT_EQ(call.result, call.message == WM_SETCURSOR ? 1 : 0) << DefaultCall(call.message, call.wParam, call.lParam);
        cursors += call.message == WM_SETCURSOR;
    }
    EXPECT_EQ(DBL_Calls("DefWindowProcA"), reachDefault);
    EXPECT_EQ(destroys, 1);
    EXPECT_EQ(DBL_Count("SetCursor"), cursors);
    EXPECT_TRUE(DBL_WindowDestroyed());
}

INSTANTIATE_TEST_SUITE_P(Seeds, Fuzzed, testing::Range(0, SeedCount));

}  // namespace
