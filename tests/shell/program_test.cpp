// WinMain end to end against the double: start-up order and failures, the loop, the window.
#include "harness.h"

#include "platform/emulation/emulation.h"

#include <cerrno>
#include <cstring>

static const size_t FrameBytes =
    static_cast<size_t>(DisplayConfig.width) * DisplayConfig.height * (DisplayConfig.depth == 8 ? 1 : DisplayConfig.depth / 8);

static std::vector<std::string> Boxes()
{
    return DBL_Calls("MessageBoxA");
}

TEST(StartUp, WindowThenDisplayThenClockInOrder)
{
    ScriptFramesThenEscape(1);
    ASSERT_EQ(RunProgram(), 0);
    std::vector<std::string> startUp;
    for (const std::string &entry : DBL_Log()) {
        if (entry.rfind("PeekMessageA", 0) == 0)
            break;
        startUp.push_back(entry);
    }
    const std::vector<std::string> expected = {
        "LoadIconA(instance,IDI_APPLICATION)",
        "LoadCursorA(NULL,IDC_ARROW)",
        "RegisterClassA({style=0x3,cbClsExtra=0,cbWndExtra=0,hInstance=instance,hIcon=NULL,"
        "hCursor=IDC_ARROW,hbrBackground=NULL,lpszMenuName=NULL,lpszClassName=\"cname\"})",
        "GetSystemMetrics(0)",
        "GetSystemMetrics(1)",
        "CreateWindowExA(0x0,\"cname\",\"cname\",0x80000000,0,0,1920,1080,NULL,NULL,instance,NULL)",
        "ShowWindow(window,10)",
        "UpdateWindow(window)",
        "SetFocus(window)",
        "DirectDrawCreateEx(NULL,IID_IDirectDraw7,NULL)",
        "SetCooperativeLevel(draw,window,0x51)",
        "SetDisplayMode(draw,640,480,32,0,0x0)",
        "CreateSurface(draw,{dwSize=" + std::to_string(sizeof(DDSURFACEDESC2)) +
            ",dwFlags=0x21,dwBackBufferCount=1,ddsCaps.dwCaps=0x218},NULL)",
        "GetAttachedSurface(primary,{dwCaps=0x4})",
        "GetTickCount()",
        "timeGetTime()",
    };
    EXPECT_EQ(startUp, expected);
    EXPECT_TRUE(Boxes().empty());
}

// Each failing step: its boxes in order, exit 0, and nothing after them.
struct SetUpFailure {
    const char *service;
    std::vector<std::string> boxes;
    std::vector<std::string> releases;  // what was made before the failure, released before the box
    const char *reason;                 // the line on standard error, as a regular expression
};

TEST(StartUp, EachFailingStepShowsItsBoxesAndEndsWithZero)
{
    const SetUpFailure failures[] = {
        {"RegisterClassA", {"MessageBoxA(NULL,\"WIN_Init\",\"ERROR\",0x30)"}, {}, ""},
        {"CreateWindowExA", {"MessageBoxA(NULL,\"WIN_Init\",\"ERROR\",0x30)"}, {}, ""},
        {"DirectDrawCreateEx",
         {"MessageBoxA(window,\"Could not create Direct Draw Instance\\n\",\"Error\",0x0)",
          "MessageBoxA(NULL,\"DDRAW_Init\",\"ERROR\",0x30)"},
         {},
         "DDRAW_Init: DirectDrawCreateEx failed with DDERR_GENERIC \\(0x80004005\\)\n"},
        {"SetCooperativeLevel",
         {"MessageBoxA(window,\"Could not take control of the screen\\n\",\"Error\",0x0)",
          "MessageBoxA(NULL,\"DDRAW_Init\",\"ERROR\",0x30)"},
         {"Release(draw)"},
         "DDRAW_Init: SetCooperativeLevel failed with DDERR_GENERIC \\(0x80004005\\)\n"},
        {"SetDisplayMode",
         {"MessageBoxA(window,\"Video mode not found\\n\",\"Error\",0x0)",
          "MessageBoxA(NULL,\"DDRAW_Init\",\"ERROR\",0x30)"},
         {"Release(draw)"},
         "DDRAW_Init: SetDisplayMode failed with DDERR_GENERIC \\(0x80004005\\)\n"},
        {"CreateSurface",
         {"MessageBoxA(window,\"Could not create the primary surface\\n\",\"Error\",0x0)",
          "MessageBoxA(NULL,\"DDRAW_Init\",\"ERROR\",0x30)"},
         {"Release(draw)"},
         "DDRAW_Init: CreateSurface failed with DDERR_GENERIC \\(0x80004005\\)\n"},
        {"GetAttachedSurface",
         {"MessageBoxA(window,\"Could not get the back surface\\n\",\"Error\",0x0)",
          "MessageBoxA(NULL,\"DDRAW_Init\",\"ERROR\",0x30)"},
         {"Release(primary)", "Release(draw)"},
         "DDRAW_Init: GetAttachedSurface failed with DDERR_GENERIC \\(0x80004005\\)\n"},
    };
    for (const SetUpFailure &failure : failures) {
        // One process per test keeps the globals fresh: run each case in a child.
        EXPECT_EXIT(
            {
                DBL_Fail(failure.service, 1);
                const int status = RunProgram();
                // The releases come after the failing call and before the first box.
                std::vector<std::string> released;
                for (const std::string &entry : DBL_Log()) {
                    if (entry.rfind("MessageBoxA", 0) == 0)
                        break;
                    if (entry.rfind("Release(", 0) == 0)
                        released.push_back(entry);
                }
                const bool ok = status == 0 && Boxes() == failure.boxes &&
                                released == failure.releases &&
                                DBL_Log().back().rfind("MessageBoxA", 0) == 0 && DBL_Count("PeekMessageA") == 0;
                if (!ok) {
                    for (const std::string &entry : DBL_Log())
                        fprintf(stderr, "%s\n", entry.c_str());
                }
                std::exit(ok ? 0 : 1);
            },
            testing::ExitedWithCode(0), failure.reason)
            << failure.service;
    }
}

TEST(StartUp, FailedFrameMemoryShowsNoBoxButSaysWhy)
{
    FailAllocation(FrameBytes, 0);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "frame memory: " + std::to_string(FrameBytes) + " bytes: " + std::strerror(ENOMEM) + "\n");
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(DBL_Count("DirectDrawCreateEx"), 0);
    EXPECT_EQ(DBL_Count("SetFocus"), 1);
}

TEST(StartUp, FailedPatternLineReportsTheScene)
{
    for (int line : {0, 31, 63}) {
        EXPECT_EXIT(
            {
                FailAllocation(256, line);
                const int status = RunProgram();
                const bool ok = status == 0 &&
                                Boxes() == std::vector<std::string>{"MessageBoxA(NULL,\"FFX_Init\",\"ERROR\",0x30)"} &&
                                DBL_Count("timeGetTime") == 0 && DBL_Count("PeekMessageA") == 0;
                std::exit(ok ? 0 : 1);
            },
            testing::ExitedWithCode(0), "FFX_Init: the pattern's lines: ")
            << "line " << line;
    }
}

TEST(Loop, NoFrameBeforeTheFirstActivation)
{
    DBL_Post(WM_KEYDOWN, 'A', 0);
    DBL_OnCall("WaitMessage", [] {
        EXPECT_EQ(DBL_Count("Flip"), 0);
        if (DBL_Count("WaitMessage") == 1)
            DBL_Post(WM_ACTIVATEAPP, 1, 0);
    });
    DBL_OnCall("Flip", [] {
        if (DBL_Count("Flip") == 2)
            DBL_Post(WM_KEYDOWN, VK_ESCAPE, 0);
    });
    ASSERT_EQ(RunProgram(), 0);
    EXPECT_EQ(DBL_Count("WaitMessage"), 1);
    EXPECT_EQ(DBL_Count("Flip"), 2);
}

TEST(Loop, OneMessagePerPassAndTheQuitMessageDispatched)
{
    DBL_Post(WM_ACTIVATEAPP, 1, 0);
    DBL_Post(WM_KEYDOWN, 'A', 0);
    DBL_Post(WM_KEYDOWN, 'B', 0);
    DBL_Post(WM_KEYDOWN, VK_ESCAPE, 0);
    ASSERT_EQ(RunProgram(), 0);
    // Every message taken is translated and dispatched before the next peek; no frame runs
    // while messages wait.
    EXPECT_EQ(DBL_Count("Flip"), 0);
    const std::vector<int> gets = CountsBetween("GetMessageA", "PeekMessageA");
    for (size_t i = 1; i < gets.size(); ++i)
        EXPECT_LE(gets[i], 1) << "pass " << i;
    const std::vector<MSG> &dispatched = DBL_Dispatched();
    ASSERT_EQ(dispatched.size(), 6u);  // activate, A, B, Escape, close, quit
    EXPECT_EQ(dispatched[4].message, static_cast<UINT>(WM_CLOSE));
    EXPECT_EQ(dispatched[5].message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(DBL_Count("TranslateMessage"), 6);
    EXPECT_TRUE(DBL_WindowDestroyed());
}

TEST(Loop, MessageErrorIsNeitherTranslatedNorDispatched)
{
    DBL_Post(WM_ACTIVATEAPP, 1, 0);
    DBL_Post(WM_KEYDOWN, VK_SPACE, 0);
    DBL_Fail("GetMessageA", 1);
    DBL_OnCall("Flip", [] {
        if (DBL_Count("Flip") == 1)
            DBL_Post(WM_KEYDOWN, VK_ESCAPE, 0);
    });
    ASSERT_EQ(RunProgram(), 0);
    // The failed get left the activation waiting; it and the rest came through afterwards.
    EXPECT_EQ(DBL_Count("GetMessageA"), 6);
    EXPECT_EQ(DBL_Count("DispatchMessageA"), 5);
    EXPECT_EQ(DBL_Count("TranslateMessage"), 5);
}

TEST(Loop, DeactivationPausesFramesUntilReactivated)
{
    DBL_Post(WM_ACTIVATEAPP, 1, 0);
    DBL_OnCall("Flip", [] {
        if (DBL_Count("Flip") == 3)
            DBL_Post(WM_ACTIVATEAPP, 0, 0);
        if (DBL_Count("Flip") == 5)
            DBL_Post(WM_KEYDOWN, VK_ESCAPE, 0);
    });
    DBL_OnCall("WaitMessage", [] {
        EXPECT_EQ(DBL_Count("Flip"), 3) << "no frame while inactive";
        if (DBL_Count("WaitMessage") == 2)
            DBL_Post(WM_ACTIVATEAPP, 1, 0);
        else
            DBL_Post(WM_KEYDOWN, 'Q', 0);  // messages keep being dispatched meanwhile
    });
    ASSERT_EQ(RunProgram(), 0);
    EXPECT_EQ(DBL_Count("WaitMessage"), 2);
    EXPECT_EQ(DBL_Count("Flip"), 5);
}

TEST(Loop, AnyNonZeroActivationFlagCountsAsActive)
{
    DBL_Post(WM_ACTIVATEAPP, static_cast<WPARAM>(0x100), 0);
    ScriptFramesThenEscape(2);
    ASSERT_EQ(RunProgram(), 0);
    EXPECT_EQ(DBL_Count("Flip"), 2);
}

TEST(Loop, ClockIsTheUnsignedElapsedTimeAcrossTheWrap)
{
    DBL_SetTime(0xFFFFFF00u);  // the start time, 256 ms before the counter wraps
    DBL_Post(WM_ACTIVATEAPP, 1, 0);
    DBL_OnCall("timeGetTime", [] {
        if (DBL_Count("timeGetTime") == 2)
            DBL_SetTime(0x00000100u);  // 512 ms after the start
    });
    DBL_OnCall("Flip", [] { DBL_Post(WM_KEYDOWN, VK_ESCAPE, 0); });
    ASSERT_EQ(RunProgram(), 0);
    EXPECT_EQ(BackBufferRows(), ExpectedFrame(0.512f));
}

TEST(Loop, FrameMemoryStartsZeroedSoTheLastRowIsBlack)
{
    ScriptFramesThenEscape(1);
    ASSERT_EQ(RunProgram(), 0);
    const std::vector<uint32_t> rows = BackBufferRows();
    const uint32_t black = DisplayConfig.depth == 8 ? 0xFF000000u : 0u;
    for (int32_t x = 0; x < DisplayConfig.width; ++x)
        ASSERT_EQ(rows[static_cast<size_t>(DisplayConfig.height - 1) * DisplayConfig.width + x], black) << x;
}

TEST(Window, EscapeClosesDestroysAndQuitsWithZero)
{
    ScriptFramesThenEscape(2);
    ASSERT_EQ(RunProgram(), 0);
    std::vector<UINT> chain;
    for (const DBL_ProcCall &call : DBL_ProcCalls())
        if (call.message == WM_KEYDOWN || call.message == WM_CLOSE || call.message == WM_DESTROY)
            chain.push_back(call.message);
    EXPECT_EQ(chain, (std::vector<UINT>{WM_KEYDOWN, WM_CLOSE, WM_DESTROY}));
    EXPECT_EQ(DBL_Calls("PostMessageA"), std::vector<std::string>{"PostMessageA(window,WM_CLOSE,0x0,0x0)"});
    EXPECT_EQ(DBL_Calls("PostQuitMessage"), std::vector<std::string>{"PostQuitMessage(0)"});
    EXPECT_TRUE(DBL_WindowDestroyed());
}

TEST(Window, SystemCloseEndsTheProgramLikeEscape)
{
    DBL_Post(WM_ACTIVATEAPP, 1, 0);
    DBL_Post(WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_TRUE(DBL_WindowDestroyed());
}

// Another X client destroying the window: the program hears WM_DESTROY, stops touching the screen
// that went with it, and ends as it would after Escape.
TEST(Window, DestroyedByThePlatformEndsTheProgramWithZero)
{
    DBL_Post(WM_ACTIVATEAPP, 1, 0);
    DBL_OnCall("Flip", [] {
        if (DBL_Count("Flip") == 2)
            EMU_WindowDestroyed(DBL_Window());
    });
    ASSERT_EQ(RunProgram(), 0);
    EXPECT_TRUE(DBL_WindowDestroyed());
    EXPECT_EQ(DBL_Calls("PostQuitMessage"), std::vector<std::string>{"PostQuitMessage(0)"});
    // The lost screen cannot be restored, so the gone window is neither shown nor focused again.
    EXPECT_EQ(DBL_Count("ShowWindow"), 1);
    EXPECT_EQ(DBL_Count("SetFocus"), 1);
    EXPECT_EQ(DBL_Count("Flip"), 2);
}

// Calls the program's window procedure directly for one message; true if it reached default processing.
static bool ReachesDefault(UINT message, WPARAM wParam, LRESULT *result = nullptr)
{
    const int before = DBL_Count("DefWindowProcA");
    const LRESULT r = DBL_WindowProc()(DBL_Window(), message, wParam, 0);
    if (result)
        *result = r;
    return DBL_Count("DefWindowProcA") > before;
}

TEST(Window, ProcedureAnswersAsItsTableSays)
{
    DBL_Post(WM_ACTIVATEAPP, 1, 0);
    DBL_OnCall("Flip", [] {
        LRESULT result = -1;
        EXPECT_FALSE(ReachesDefault(WM_SYSCOMMAND, SC_SCREENSAVE, &result));
        EXPECT_EQ(result, 0);
        EXPECT_FALSE(ReachesDefault(WM_SYSCOMMAND, SC_MONITORPOWER, &result));
        EXPECT_EQ(result, 0);
        EXPECT_TRUE(ReachesDefault(WM_SYSCOMMAND, 0xF141)) << "compared exactly, not masked";
        EXPECT_TRUE(ReachesDefault(WM_SYSCOMMAND, 0xF171));
        const int cursors = DBL_Count("SetCursor");
        EXPECT_FALSE(ReachesDefault(WM_SETCURSOR, 0, &result));
        EXPECT_EQ(result, 1);
        EXPECT_EQ(DBL_Count("SetCursor"), cursors + 1);
        EXPECT_EQ(DBL_Calls("SetCursor").back(), "SetCursor(NULL)");
        EXPECT_TRUE(ReachesDefault(WM_KEYDOWN, 'X'));
        EXPECT_TRUE(ReachesDefault(WM_KEYDOWN, VK_SPACE));
        EXPECT_TRUE(ReachesDefault(WM_ACTIVATEAPP, 1));
        EXPECT_TRUE(ReachesDefault(0x0401, 7));
        DBL_Post(WM_KEYDOWN, VK_ESCAPE, 0);
    });
    ASSERT_EQ(RunProgram(), 0);
}
