// The Linux program's command line: what each option prints where, and the exit status; the real
// program too, which must end on them before it looks for a display.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/sdl/sdl_options.h"

namespace {

struct Read {
    int status;
    bool window;
    std::string out, err;
};

std::string Contents(FILE *file)
{
    std::string text;
    rewind(file);
    for (int c; (c = fgetc(file)) != EOF;)
        text += (char)c;
    fclose(file);
    return text;
}

Read Options(std::vector<std::string> words)
{
    std::vector<char *> argv{const_cast<char *>("tracker-screen")};
    for (std::string &each : words)
        argv.push_back(each.data());
    argv.push_back(nullptr);
    FILE *out = tmpfile(), *err = tmpfile();
    Read read{};
    read.status = OPTIONS_Read((int)argv.size() - 1, argv.data(), &read.window, out, err);
    read.out = Contents(out);
    read.err = Contents(err);
    return read;
}

}  // namespace

TEST(Options, RunFullScreenOrInAWindow)
{
    Read none = Options({});
    EXPECT_EQ(none.status, -1);
    EXPECT_FALSE(none.window);
    Read window = Options({"--window"});
    EXPECT_EQ(window.status, -1);
    EXPECT_TRUE(window.window);
    EXPECT_EQ(window.out + window.err, "");
}

TEST(Options, HelpAndVersionOnStandardOutputWithStatusZero)
{
    for (const char *help : {"--help", "-h"}) {
        Read read = Options({"--window", help});
        EXPECT_EQ(read.status, 0);
        EXPECT_EQ(read.out.rfind("usage: tracker-screen [--window]\n", 0), 0u) << read.out;
        EXPECT_NE(read.out.find("Alt+Enter"), std::string::npos);
        EXPECT_EQ(read.err, "");
    }
    Read version = Options({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "tracker-screen " TRACKER_VERSION "\n");
}

TEST(Options, AnythingElseIsTheUsageOnStandardErrorWithStatusTwo)
{
    for (const char *bad : {"--fullscreen", "-w", "window", "--window=1", ""}) {
        Read read = Options({"--window", bad});
        EXPECT_EQ(read.status, 2) << bad;
        EXPECT_EQ(read.out, "") << bad;
        EXPECT_NE(read.err.find("'" + std::string(bad) + "'"), std::string::npos) << read.err;
        EXPECT_NE(read.err.find("usage: tracker-screen [--window]"), std::string::npos) << read.err;
    }
}

// The real program, with no display at all: the options end it before it looks for one.
TEST(Options, TheProgramEndsOnThemWithoutADisplay)
{
    const std::string program = TRACKER_SCREEN, out = testing::TempDir() + "options-out";
    const struct {
        const char *args;
        int status;
        const char *start;
    } runs[] = {{"--help", 0, "usage: tracker-screen"}, {"--version", 0, "tracker-screen " TRACKER_VERSION},
                {"--bogus", 2, ""}};
    for (const auto &run : runs) {
        const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY " + program + " " + run.args + " >" + out + " 2>/dev/null";
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status)) << command;
        EXPECT_EQ(WEXITSTATUS(status), run.status) << command;
        std::ifstream in(out);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(text.rfind(run.start, 0), 0u) << command << ": " << text;
    }
    std::remove(out.c_str());
}
