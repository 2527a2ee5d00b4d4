// tracker-render as a user runs it: arguments, exit status, files and their contents.
#include <gtest/gtest.h>
#include <png.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "gif_decode.h"
#if TRACKER_VIDEO
#include "video_decode.h"
#endif

struct ToolRun {
    int status;
    std::string err;
};

static std::string ReadText(const std::string &path)
{
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class RenderTool : public testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/tracker-render-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { EXPECT_EQ(std::system(("rm -rf '" + dir + "' '" + dir + "'.*").c_str()), 0) << "cannot remove " << dir; }

    ToolRun Render(const std::string &args, const std::string &command = TRACKER_RENDER)
    {
        const std::string errFile = dir + ".err";
        const int raw = std::system((command + " " + args + " 2>'" + errFile + "'").c_str());
        const std::string err = ReadText(errFile);
        std::remove(errFile.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, err};
    }
    // Runs `script` with sh; its standard error is the run's.
    ToolRun Shell(const std::string &script)
    {
        const std::string scriptFile = dir + ".sh";
        std::ofstream(scriptFile) << script << "\n";
        const ToolRun run = Render("", "sh '" + scriptFile + "'");
        std::remove(scriptFile.c_str());
        return run;
    }
    int FilesInDir()
    {
        return std::system(("test -z \"$(ls -A '" + dir + "')\"").c_str()) == 0 ? 0 : 1;
    }
    // Every name in `folder`, hidden ones included, one a line in sorted order.
    std::string Listing(const std::string &folder)
    {
        const std::string listFile = dir + ".list";
        EXPECT_EQ(std::system(("LC_ALL=C ls -A '" + folder + "' >'" + listFile + "'").c_str()), 0) << "cannot list " << folder;
        const std::string text = ReadText(listFile);
        std::remove(listFile.c_str());
        return text;
    }
    std::vector<uint32_t> Raw(int n)
    {
        char name[32];
        std::snprintf(name, sizeof name, "/frame-%04d.raw", n);
        std::ifstream in(dir + name, std::ios::binary);
        std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<uint32_t> words(bytes.size() / 4);
        for (size_t i = 0; i < words.size(); ++i)
            words[i] = bytes[4 * i] | bytes[4 * i + 1] << 8 | bytes[4 * i + 2] << 16 |
                       static_cast<uint32_t>(bytes[4 * i + 3]) << 24;
        EXPECT_EQ(bytes.size(), 640u * 480u * 4u);
        return words;
    }
    std::string dir;
};

// The PNG's RGB bytes, empty when it does not decode completely.
static std::vector<unsigned char> ReadPng(const std::string &path)
{
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return {};
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr))
        return {};
    return rgb;
}

static std::string FrameName(size_t n)
{
    char name[32];
    std::snprintf(name, sizeof name, "frame-%04zu", n);
    return name;
}

TEST_F(RenderTool, BadInputGetsOneLineStatusTwoAndNoFiles)
{
    const std::string out = "--out '" + dir + "' ";
    const std::string cases[] = {
        out + "--bogus 1", "1", out, out + "abc", out + "1.5x", out + "inf", out + "nan",
        out + "''", out + "1e10", out + "214748364.8", out + "-214748365", out + "0x10", "--out",
        "--out --raw 1", out + out + "1", out + "-x 1", "--out - 1", out + "214748360.01",
        out + "-214748360.01", "--raw 1",
        // Ranges and the GIF.
        out + "--from 0 --to 1", out + "--from 0 --fps 10", out + "--to 1 --fps 10",
        out + "--from 0 --to 1 --fps 0", out + "--from 0 --to 1 --fps -5", out + "--from 0 --to 1 --fps 2.5",
        out + "--from 0 --to 1 --fps abc", out + "--from 0 --to 1 --fps 1001", out + "--from 0 --to 1 --fps ''",
        out + "--from 0 --to 1 --fps", out + "--from 1 --to 1 --fps 10", out + "--from 2 --to 1 --fps 10",
        out + "--from nan --to 1 --fps 10", out + "--from 0 --to 1e10 --fps 10", out + "--from x --to 1 --fps 10",
        out + "--from --to 1 --fps 10", out + "--from 0 --from 0 --to 1 --fps 10",
        out + "--from 0 --to 1 --fps 10 --fps 10", out + "--from 0 --to 1 --fps 10 0.5",
        "--gif '" + dir + "/a.gif' --from 0 --to 1 --fps 51", "--gif '" + dir + "/a.gif' 0 1",
        "--gif --from 0 --to 1 --fps 10", "--gif '" + dir + "/a.gif' --gif '" + dir + "/b.gif' --from 0 --to 1 --fps 10",
        "--raw --gif '" + dir + "/a.gif' --from 0 --to 1 --fps 10",
        // Video, and frames to standard output.
        "--video '" + dir + "/a.avi' --from 0 --to 1 --fps 10", "--video '" + dir + "/webm' --from 0 --to 1 --fps 10",
        "--video '" + dir + "/a.webm' 0 1", "--video --from 0 --to 1 --fps 10",
        "--video '" + dir + "/a.mp4' --from 0 --to 1 --fps 241", out + "--lossless --from 0 --to 1 --fps 10",
        "--out - --from 0 --to 1 --fps 10", out + "--quiet",
    };
    for (const std::string &args : cases) {
        const ToolRun run = Render(args);
        EXPECT_EQ(run.status, 2) << args;
        EXPECT_FALSE(run.err.empty()) << args;
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line for: " << args << "\n" << run.err;
        EXPECT_NE(run.err.find("usage: tracker-render"), std::string::npos) << args << "\n" << run.err;
        EXPECT_EQ(FilesInDir(), 0) << args;
    }
}

// Frames to a pipe: the raw words one frame after another, the same as the files; a reader that
// stops early ends the run with status 1 and one line, and nothing else is left.
TEST_F(RenderTool, RawFramesGoToStandardOutputAndAClosedPipeIsStatusOne)
{
    const std::string range = " --from 0.5 --to 0.55 --fps 60";
    const std::string piped = dir + ".piped";
    ASSERT_EQ(Render("--out - --raw" + range + " >'" + piped + "'").status, 0);
    ASSERT_EQ(Render("--out '" + dir + "' --raw" + range).status, 0);
    std::string files;
    for (int n = 0; n < 3; ++n)
        files += ReadText(dir + "/" + FrameName(n) + ".raw");
    EXPECT_EQ(files.size(), 3u * 640 * 480 * 4);
    EXPECT_TRUE(ReadText(piped) == files) << "the piped bytes differ from the frame files";
    std::remove(piped.c_str());

    ASSERT_EQ(std::system(("rm -f '" + dir + "'/*").c_str()), 0);
    const ToolRun run = Shell("{ " + std::string(TRACKER_RENDER) + " --out - --raw --gif '" + dir +
                              "/a.gif' --from 0 --to 100 --fps 50; echo $? >'" + dir + ".status'; } | head -c 1000 >/dev/null");
    EXPECT_EQ(ReadText(dir + ".status"), "1\n");
    std::remove((dir + ".status").c_str());
    EXPECT_EQ(run.err, "tracker-render: cannot write standard output: Broken pipe\n");
    EXPECT_EQ(Listing(dir), "") << "the unfinished GIF is removed";
}

// On a terminal a line shows how far the run is and is cleared at the end; with --quiet, or when
// standard error is no terminal (every other test here), nothing is shown.
TEST_F(RenderTool, ProgressOnATerminalIsOneLineClearedAtTheEnd)
{
    if (std::system("script -qec true /dev/null >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "script (util-linux) cannot run a program on a pseudo-terminal here";
    const auto onTerminal = [&](const std::string &options) {
        const std::string typed = dir + ".typed";
        const std::string command = std::string(TRACKER_RENDER) + " --out '" + dir + "' --from 0 --to 1 --fps 60 " + options;
        EXPECT_EQ(std::system(("script -qec \"" + command + " >/dev/null\" /dev/null >'" + typed + "'").c_str()), 0);
        const std::string text = ReadText(typed);
        std::remove(typed.c_str());
        return text;
    };
    const std::string shown = onTerminal("");
    EXPECT_NE(shown.find("\r60 of 60 frames, "), std::string::npos) << shown;
    EXPECT_NE(shown.find(" frames a second, 0 s left\033[K"), std::string::npos) << shown;
    const size_t cleared = shown.rfind("\r\033[K");
    ASSERT_NE(cleared, std::string::npos) << shown;
    EXPECT_EQ(shown.substr(cleared), "\r\033[K") << "cleared at the end, and nothing after";
    EXPECT_EQ(shown.find('\n'), std::string::npos) << "one line, rewritten in place";
    EXPECT_EQ(onTerminal("--quiet"), "");
    EXPECT_EQ(Listing(dir).size(), 60 * std::string("frame-0000.png\n").size());
}

TEST_F(RenderTool, HelpGoesToStandardOutputWithStatusZero)
{
    for (const char *option : {"-h", "--help", "--out x -h 1", "--version"}) {
        const std::string outFile = dir + ".out";
        const ToolRun run = Render(std::string(option) + " >'" + outFile + "'");
        const std::string out = ReadText(outFile);
        EXPECT_EQ(run.status, 0) << option;
        EXPECT_EQ(run.err, "") << option;
        if (std::string(option) == "--version") {
            EXPECT_EQ(out, "tracker-render " TRACKER_VERSION "\n");
            continue;
        }
        EXPECT_EQ(out.rfind("usage: tracker-render", 0), 0u) << option << "\n" << out;
        EXPECT_NE(out.find("--gif"), std::string::npos) << option;
    }
}

// Floats are 16 apart near 2^27.7: 214748352 is the last whose row step fits an int, and every
// decimal up to 214748360 rounds onto it; the message must name that bound.
TEST_F(RenderTool, ClockRangeEndsWhereTheRowStepStopsFittingAnInt)
{
    EXPECT_EQ(Render("--out '" + dir + "' -214748360 214748360").status, 0);
    EXPECT_EQ(Listing(dir), "frame-0000.png\nframe-0001.png\n");
    const ToolRun over = Render("--out '" + dir + "' 214748361");
    EXPECT_EQ(over.status, 2);
    EXPECT_NE(over.err.find("-214748360 to 214748360"), std::string::npos) << over.err;
}

TEST_F(RenderTool, UnwritableFolderIsStatusOneWithTheReason)
{
    const ToolRun run = Render("--out '" + dir + "/missing/deeper' 0");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "tracker-render: cannot write " + dir +
                           "/missing/deeper/frame-0000.png: No such file or directory\n");
}

// A file-size limit makes every write past it fail with EFBIG, as a full disk fails with ENOSPC,
// and needs no privileges: the PNG fits, the 1.2 MB raw file does not. The renderer ignores the
// limit's signal itself, which would otherwise end it with the raw file half written.
TEST_F(RenderTool, FailedWriteLeavesNoPartialFile)
{
    const ToolRun run = Shell("ulimit -f 200; " + std::string(TRACKER_RENDER) +
                              " --out '" + dir + "' --raw 0 1");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "tracker-render: cannot write " + dir + "/frame-0000.raw: File too large\n");
    EXPECT_EQ(Listing(dir), "frame-0000.png\n") << "the finished PNG stays, nothing partial does";
    EXPECT_EQ(ReadPng(dir + "/frame-0000.png").size(), 640u * 480u * 3u);
}

// The full disk itself, on a 300 KB tmpfs in a mount namespace of our own: some frames fit, then
// one fails; the run stops with the reason and leaves only whole files.
TEST_F(RenderTool, FullDiskStopsWithTheReasonAndOnlyWholeFiles)
{
    if (std::system("unshare -rm true 2>/dev/null") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here: unshare -rm (a user and mount namespace) "
                        "is not permitted";
    std::string clocks;
    for (int n = 0; n < 60; ++n)
        clocks += " " + std::to_string(n * 0.37);
    const std::string full = dir + "/full", kept = dir + "/kept";
    ASSERT_EQ(std::system(("mkdir '" + full + "' '" + kept + "'").c_str()), 0);
    // The tmpfs vanishes with the namespace, so its contents are copied out before it ends.
    const std::string inner = dir + ".inner";
    std::ofstream(inner) << "mount -t tmpfs -o size=300k tmpfs '" << full << "' || exit 99\n"
                         << TRACKER_RENDER << " --out '" << full << "'" << clocks << "\n"
                         << "status=$?\ncp -a '" << full << "/.' '" << kept << "/' || exit 98\n"
                         << "exit $status\n";
    const ToolRun run = Shell("unshare -rm sh '" + inner + "'");
    EXPECT_EQ(run.status, 1);
    const std::string listing = Listing(kept);
    const size_t files = std::count(listing.begin(), listing.end(), '\n');
    EXPECT_GT(files, 1u);
    EXPECT_LT(files, 60u);
    EXPECT_EQ(run.err, "tracker-render: cannot write " + full + "/" + FrameName(files) +
                           ".png: No space left on device\n");
    for (size_t n = 0; n < files; ++n) {
        const std::string name = FrameName(n) + ".png";
        EXPECT_NE(listing.find(name + "\n"), std::string::npos) << listing;
        EXPECT_EQ(ReadPng(kept + "/" + name).size(), 640u * 480u * 3u) << name;
    }
}

// Stopped while it writes, the renderer removes the file it had open and still dies of the signal.
TEST_F(RenderTool, InterruptedRunLeavesNoPartialFile)
{
    std::string clocks;
    for (int n = 0; n < 400; ++n)
        clocks += " " + std::to_string(n * 0.05);
    const ToolRun run = Shell(std::string(TRACKER_RENDER) + " --out '" + dir + "' --raw" + clocks +
                              " & pid=$!; i=0; while [ ! -e '" + dir + "/frame-0002.raw' ] && [ $i -lt 3000 ]; " +
                              "do sleep 0.01; i=$((i+1)); done; kill -TERM $pid; wait $pid");
    EXPECT_EQ(run.status, 128 + 15);
    const std::string listing = Listing(dir);
    EXPECT_NE(listing.find("frame-0002.raw\n"), std::string::npos) << listing;
    EXPECT_EQ(listing.find("frame-0399"), std::string::npos) << "it was stopped before the end";
    EXPECT_TRUE(listing[0] != '.' && listing.find("\n.") == std::string::npos)
        << "temporary files left behind:\n" << listing;
}

// One moment of a run: the signal arrives on the `when`-th call of system call `call`.
struct Moment {
    std::string call;
    int when;
    int signal;
};

// Every signal that ends a run by default.
static const int EndingSignals[] = {SIGHUP,  SIGINT,    SIGQUIT, SIGTERM, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2,
                                    SIGXCPU, SIGVTALRM, SIGPROF, SIGABRT, SIGBUS,  SIGFPE,  SIGILL,  SIGSEGV};
// Under an emulator strace sees the emulator's own system calls, and the emulator takes a fault
// signal as a fault of its own rather than passing it on: there only the others are sent, and the
// moments start where the program's files do, past the emulator's own start.
static const size_t SignalsSent = TRACKER_RENDER_EMULATED ? 12 : sizeof EndingSignals / sizeof EndingSignals[0];

// The system calls of a run that touch files or the signal mask, from the first handler the run
// puts in place (before any file of its own exists) to the end of its last file. Only these:
// the number of others varies from run to run (memory, and the random bits of a temporary name),
// so their n-th call may never come. `firstFile` is the index of the moment that makes the first file.
static std::vector<Moment> MomentsOf(const std::string &trace, const std::string &folder, size_t *firstFile)
{
    std::vector<std::string> calls;
    std::istringstream lines(ReadText(trace));
    size_t start = std::string::npos, made = std::string::npos, lastFile = std::string::npos;
    for (std::string line; std::getline(lines, line);) {
        const size_t open = line.find('(');
        if (open == std::string::npos || line.find_first_not_of("abcdefghijklmnopqrstuvwxyz_0123456789") != open)
            continue;  // a signal's or the exit's line
        // Found by the call, not by a path in the program's arguments, which strace shortens.
        if (start == std::string::npos && line.rfind("rt_sigaction(SIGHUP,", 0) == 0)
            start = calls.size();
        if (line.find('"' + folder + "/") != std::string::npos && line.rfind("execve(", 0) != 0) {
            lastFile = calls.size();
            made = std::min(made, calls.size());
        }
        calls.push_back(line.substr(0, open));
    }
    std::vector<Moment> moments;
    *firstFile = std::string::npos;
    if (TRACKER_RENDER_EMULATED && made != std::string::npos) {
        start = made;
        while (start > 0 && calls[start - 1] != "rt_sigaction")
            --start;
    }
    if (start == std::string::npos || made == std::string::npos || made < start)
        return moments;
    size_t end = lastFile + 1;  // the renamed file's release of the signals is a moment too
    while (end < calls.size() && calls[end - 1] != "rt_sigprocmask")
        ++end;
    std::map<std::string, int> seen;
    const std::set<std::string> files = {"rt_sigaction", "openat", "umask",  "fchmod", "fcntl",  "newfstatat", "fstat",
                                         "lseek",        "write",  "close",  "rename", "unlink", "rt_sigprocmask"};
    for (size_t i = 0; i < end; ++i) {
        const int when = ++seen[calls[i]];
        if (i == made)
            *firstFile = moments.size();
        if (i >= start && files.count(calls[i]))
            moments.push_back({calls[i], when, EndingSignals[moments.size() % SignalsSent]});
    }
    return moments;
}

// Runs each command with sh, a few at a time; each one's wait status, in order.
static std::vector<int> RunAll(const std::vector<std::string> &commands)
{
    std::vector<int> statuses(commands.size(), -1);
    std::map<pid_t, size_t> running;
    for (size_t next = 0; next < commands.size() || !running.empty();) {
        if (next < commands.size() && running.size() < 4) {
            const char *argv[] = {"sh", "-c", commands[next].c_str(), nullptr};
            pid_t pid;
            EXPECT_EQ(posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char **>(argv), environ), 0);
            running[pid] = next++;
            continue;
        }
        int status = 0;
        const pid_t pid = waitpid(-1, &status, 0);
        if (pid < 0)
            break;
        statuses[running[pid]] = status;
        running.erase(pid);
    }
    return statuses;
}

// Stopped at any moment by any of the signals that end a run, the renderer leaves only whole
// files, never a temporary one, and ends by that signal. The moments are the run's own system
// calls, each one hit exactly by strace, so the window between making a file and listing it for
// removal is hit every time rather than once in many runs.
TEST_F(RenderTool, AnEndingSignalAtAnyMomentLeavesOnlyWholeFiles)
{
    const std::string check = "strace -qq -o /dev/null true 2>'" + dir + ".why'";
    if (std::system(check.c_str()) != 0)
        GTEST_SKIP() << "strace cannot trace a program here: " << ReadText(dir + ".why");
    // LeakSanitizer cannot run under a tracer; the other tests look for leaks. The fault signals
    // are sent from outside here, so the sanitizer's reports of them would only get in the way;
    // and no signal leaves a core file.
    const std::string render = "ulimit -c 0; ASAN_OPTIONS=$ASAN_OPTIONS:detect_leaks=0:handle_segv=0:handle_sigbus=0:"
                               "handle_sigfpe=0 exec strace -qq ";
    const auto args = [](const std::string &folder) {
        return " --out '" + folder + "' --raw --gif '" + folder + "/a.gif'" +
               (TRACKER_VIDEO ? " --video '" + folder + "/a.webm'" : "") + " --from 0 --to 0.04 --fps 25";
    };
    const std::string whole = dir + "/whole";
    ASSERT_EQ(mkdir(whole.c_str(), 0755), 0);
    ASSERT_EQ(Shell(render + "-o '" + dir + "/trace' " + TRACKER_RENDER + args(whole)).status, 0);
    size_t firstFile = 0;
    std::vector<Moment> moments = MomentsOf(dir + "/trace", whole, &firstFile);
    ASSERT_GT(moments.size(), 20u) << ReadText(dir + "/trace");
    if (!TRACKER_RENDER_EMULATED) {
        ASSERT_GT(firstFile, 0u) << "no moment before the first file is made";
    }
    ASSERT_LT(firstFile, moments.size());
    EXPECT_EQ(moments[firstFile].call, "openat");
    // The making of the first file, the narrowest moment, with every ending signal.
    for (size_t k = 0; k < SignalsSent; ++k)
        moments.push_back({moments[firstFile].call, moments[firstFile].when, EndingSignals[k]});

    // Every moment, each with its signal; then a hang-up that the starter ignores (as nohup
    // does) and a file-size signal, neither of which may stop the run.
    std::vector<std::string> commands, folders;
    for (size_t i = 0; i < moments.size() + 2; ++i) {
        folders.push_back(dir + "/" + std::to_string(i));
        EXPECT_EQ(mkdir(folders.back().c_str(), 0755), 0);
        const Moment &moment = i < moments.size() ? moments[i] : moments[moments.size() / 2];
        const int signal = i < moments.size() ? moment.signal : i == moments.size() ? SIGHUP : SIGXFSZ;
        commands.push_back(std::string(i == moments.size() ? "trap '' HUP; " : "") + render + "-o /dev/null -e inject=" +
                           moment.call + ":signal=" + std::to_string(signal) + ":when=" + std::to_string(moment.when) + " " +
                           TRACKER_RENDER + args(folders.back()) + " 2>'" + folders.back() + ".err'");
    }
    const std::vector<int> statuses = RunAll(commands);

    std::vector<std::string> stages = {"", "frame-0000.png\n", "frame-0000.png\nframe-0000.raw\n",
                                       "a.gif\nframe-0000.png\nframe-0000.raw\n"};
    if (TRACKER_VIDEO)
        stages.push_back("a.gif\na.webm\nframe-0000.png\nframe-0000.raw\n");
    std::set<std::string> reached;
    for (size_t i = 0; i < commands.size(); ++i) {
        const bool stopped = i < moments.size();
        const std::string listing = Listing(folders[i]);
        SCOPED_TRACE(commands[i] + "\n" + ReadText(folders[i] + ".err"));
        if (stopped) {
            EXPECT_TRUE(WIFSIGNALED(statuses[i]) && WTERMSIG(statuses[i]) == moments[i].signal)
                << "wait status " << statuses[i];
        } else {
            EXPECT_TRUE(WIFEXITED(statuses[i]) && WEXITSTATUS(statuses[i]) == 0) << "wait status " << statuses[i];
            EXPECT_EQ(listing, stages.back());
        }
        EXPECT_NE(std::find(stages.begin(), stages.end(), listing), stages.end())
            << "a temporary or unexpected file:\n" << listing;
        reached.insert(listing);
        struct stat file;
        if (stat((folders[i] + "/frame-0000.png").c_str(), &file) == 0) {
            EXPECT_EQ(ReadPng(folders[i] + "/frame-0000.png").size(), 640u * 480u * 3u);
        }
        if (stat((folders[i] + "/frame-0000.raw").c_str(), &file) == 0) {
            EXPECT_EQ(file.st_size, 640 * 480 * 4);
        }
        if (stat((folders[i] + "/a.gif").c_str(), &file) == 0) {
            const DecodedGif gif = DecodeGif(folders[i] + "/a.gif");
            EXPECT_TRUE(gif.ok && gif.frames.size() == 1u);
        }
#if TRACKER_VIDEO
        if (stat((folders[i] + "/a.webm").c_str(), &file) == 0) {
            const DecodedVideo video = DecodeVideo(folders[i] + "/a.webm", 0);
            EXPECT_TRUE(video.error.empty() && video.times.size() == 1u) << video.error;
        }
#endif
    }
    EXPECT_EQ(reached, std::set<std::string>(stages.begin(), stages.end()))
        << "the moments did not span the run from before the first file to after the last";
}

// Under every address-space limit from one that barely starts the program to one that is
// enough, the run stops with status 1 and one line saying why (or finishes, or does not start,
// the limits' edges moving a little from run to run), and never leaves a temporary file behind. Just above the
// least limit that starts it, the C++ runtime has no memory left even to raise its
// out-of-memory exception and aborts: then too the files go.
TEST_F(RenderTool, RunningOutOfMemoryAnywhereStopsWithTheReasonAndOnlyWholeFiles)
{
    // qemu-user, starved of address space, hangs rather than failing the program's allocations.
    if (TRACKER_RENDER_EMULATED)
        GTEST_SKIP() << "the renderer runs under an emulator here, and an address-space limit would "
                        "bind the emulator, not the renderer";
    int runs = 0;
    const auto run = [&](long kilobytes) {
        const std::string folder = dir + "/" + std::to_string(runs++);
        EXPECT_EQ(mkdir(folder.c_str(), 0755), 0);
        const ToolRun result = Shell("ulimit -v " + std::to_string(kilobytes) + "; exec " + TRACKER_RENDER +
                                     " --out '" + folder + "' --raw --gif '" + folder + "/a.gif' --from 0 --to 0.04 --fps 25");
        return std::make_pair(result, folder);
    };
    const long most = 1L << 20;  // a gigabyte
    const ToolRun roomy = run(most).first;
    if (roomy.status != 0)
        GTEST_SKIP() << "the renderer does not run within a gigabyte of address space here (a sanitizer's "
                        "shadow memory needs more): "
                     << roomy.err;
    // The least limits at which the program starts (the loader maps its libraries) and finishes.
    const auto least = [&](long high, auto works) {
        long low = 1024;
        while (high - low > 32) {
            const long middle = (low + high) / 2;
            (works(run(middle).first) ? high : low) = middle;
        }
        return high;
    };
    const long enough = least(most, [](const ToolRun &r) { return r.status == 0; });
    const long starts = least(enough, [](const ToolRun &r) { return r.status != 127; });
    ASSERT_LT(starts, enough);

    const std::vector<std::string> stages = {"", "frame-0000.png\n", "frame-0000.png\nframe-0000.raw\n"};
    std::set<std::string> reached;
    const int steps = 16;
    for (int step = 0; step < steps; ++step) {
        const long limit = starts + (enough - 1 - starts) * step / (steps - 1);
        const auto [result, folder] = run(limit);
        const std::string listing = Listing(folder);
        SCOPED_TRACE("ulimit -v " + std::to_string(limit) + ": " + result.err + listing);
        if (result.status == 1) {
            EXPECT_EQ(result.err.rfind("tracker-render: ", 0), 0u);
            EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << "one line";
            EXPECT_TRUE(result.err.find("out of memory") != std::string::npos ||
                        result.err.find("Cannot allocate memory") != std::string::npos);
        } else if (result.status == 0) {
            EXPECT_EQ(listing, "a.gif\n" + stages.back());
            continue;
        } else if (result.status == 127) {
            EXPECT_NE(result.err.find("error while loading shared libraries"), std::string::npos);
        } else {
            EXPECT_EQ(result.err.rfind("terminate called without an active exception\n", 0), 0u) << "status " << result.status;
        }
        EXPECT_NE(std::find(stages.begin(), stages.end(), listing), stages.end())
            << "a temporary or unexpected file";
        if (listing.find("frame-0000.png") != std::string::npos) {
            EXPECT_EQ(ReadPng(folder + "/frame-0000.png").size(), 640u * 480u * 3u);
        }
        reached.insert(listing);
    }
    EXPECT_GT(reached.size(), 1u) << "every limit stopped the run before its first file";
}

TEST_F(RenderTool, RawWordsKeepTheTopByteAndPngMatchesThem)
{
    ASSERT_EQ(Render("--out '" + dir + "' --raw 0 2.5").status, 0);
    const std::vector<uint32_t> frame = Raw(0);
    ASSERT_EQ(frame.size(), 640u * 480u);
    EXPECT_EQ(frame[0], 0xFF607080u);                  // panel
    EXPECT_EQ(frame[1 * 640 + 300], 0x00000000u);      // a button outline
    EXPECT_EQ(frame[10 * 640 + 10], 0xFF000000u);      // the position box
    for (int x = 0; x < 640; ++x)
        ASSERT_EQ(frame[479 * 640 + x], 0u) << "row 479 is never drawn and starts zeroed";
    EXPECT_NE(Raw(1), frame);

    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, (dir + "/frame-0000.png").c_str()));
    EXPECT_EQ(image.width, 640u);
    EXPECT_EQ(image.height, 480u);
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
    for (size_t i = 0; i < frame.size(); ++i) {
        const unsigned char expected[3] = {static_cast<unsigned char>(frame[i] >> 16),
                                           static_cast<unsigned char>(frame[i] >> 8),
                                           static_cast<unsigned char>(frame[i])};
        ASSERT_EQ(std::vector<unsigned char>(rgb.begin() + 3 * i, rgb.begin() + 3 * i + 3),
                  std::vector<unsigned char>(expected, expected + 3))
            << "pixel " << i;
    }
}

// Rows 200 ... 478: the pattern area alone, which only the text and the step change.
static std::vector<uint32_t> PatternArea(const std::vector<uint32_t> &frame)
{
    return std::vector<uint32_t>(frame.begin() + 200 * 640, frame.begin() + 479 * 640);
}

TEST_F(RenderTool, OneSceneCarriesTheGeneratorFromFrameToFrame)
{
    ASSERT_EQ(Render("--out '" + dir + "' --raw 0 0.05").status, 0);
    const std::vector<uint32_t> first = PatternArea(Raw(0)), second = PatternArea(Raw(1));
    ASSERT_EQ(Render("--out '" + dir + "' --raw 0.05").status, 0);
    const std::vector<uint32_t> alone = PatternArea(Raw(0));
    EXPECT_EQ(alone, first) << "a fresh scene's first generation";
    EXPECT_NE(second, first) << "the second frame in the window generates anew";
}

TEST_F(RenderTool, ClockValuesAreRoundedToFloat)
{
    // 6.3999999 rounds to the float 6.4000001, whose row step is 64: a generation frame,
    // the same as 6.4. Read as a double it would be step 63 with the lines still empty.
    ASSERT_EQ(Render("--out '" + dir + "' --raw 6.3999999").status, 0);
    const std::vector<uint32_t> rounded = PatternArea(Raw(0));
    ASSERT_EQ(Render("--out '" + dir + "' --raw 6.4").status, 0);
    EXPECT_EQ(rounded, PatternArea(Raw(0)));
    ASSERT_EQ(Render("--out '" + dir + "' --raw 6.3999").status, 0);
    EXPECT_NE(rounded, PatternArea(Raw(0))) << "step 63: no generation yet";
}

TEST_F(RenderTool, RangeRendersFromUpToButNotIncludingTo)
{
    ASSERT_EQ(Render("--out '" + dir + "' --raw 0 0.1 0.2 6.4 6.5").status, 0);
    std::vector<std::vector<uint32_t>> listed;
    for (int n = 0; n < 5; ++n)
        listed.push_back(Raw(n));
    ASSERT_EQ(std::system(("rm -f '" + dir + "'/*").c_str()), 0);
    ASSERT_EQ(Render("--out '" + dir + "' --raw --from 0 --to 0.3 --fps 10").status, 0);
    EXPECT_EQ(Listing(dir), "frame-0000.png\nframe-0000.raw\nframe-0001.png\nframe-0001.raw\n"
                            "frame-0002.png\nframe-0002.raw\n");
    for (int n = 0; n < 3; ++n)
        EXPECT_EQ(Raw(n), listed[n]) << "frame " << n;

    // 6.4 + 1/10 is not exactly 6.5 in binary, yet the range stops before it.
    ASSERT_EQ(std::system(("rm -f '" + dir + "'/*").c_str()), 0);
    ASSERT_EQ(Render("--out '" + dir + "' --raw --from 6.4 --to 6.5 --fps 10").status, 0);
    EXPECT_EQ(Listing(dir), "frame-0000.png\nframe-0000.raw\n");
    // A range that is not a whole number of frames ends with the last frame before --to: 2.1
    // frames' time is three frames, at 0, 0.1 and 0.2.
    ASSERT_EQ(std::system(("rm -f '" + dir + "'/*").c_str()), 0);
    ASSERT_EQ(Render("--out '" + dir + "' --raw --from 0 --to 0.21 --fps 10").status, 0);
    EXPECT_EQ(Listing(dir), "frame-0000.png\nframe-0000.raw\nframe-0001.png\nframe-0001.raw\n"
                            "frame-0002.png\nframe-0002.raw\n");
    EXPECT_EQ(Raw(2), listed[2]);

    // A negative clock without its leading zero is a clock value, listed or as a range's end.
    ASSERT_EQ(std::system(("rm -f '" + dir + "'/*").c_str()), 0);
    ASSERT_EQ(Render("--out '" + dir + "' --raw -.5 -0.45").status, 0);
    const std::vector<uint32_t> negative[] = {Raw(0), Raw(1)};
    ASSERT_EQ(Render("--out '" + dir + "' --raw --from -.5 --to -.4 --fps 20").status, 0);
    EXPECT_EQ(Raw(0), negative[0]);
    EXPECT_EQ(Raw(1), negative[1]);
    ASSERT_EQ(Render("--out '" + dir + "' --raw -0.5 0.5").status, 0);
    EXPECT_EQ(Raw(0), negative[0]);
    EXPECT_NE(Raw(1), negative[0]) << "-.5 read as .5";

    ASSERT_EQ(std::system(("rm -f '" + dir + "'/*").c_str()), 0);
    ASSERT_EQ(Render("--out '" + dir + "' --from -0.05 --to 0 --fps 1000").status, 0);
    const std::string many = Listing(dir);
    EXPECT_EQ(std::count(many.begin(), many.end(), '\n'), 50);
    EXPECT_NE(many.find("frame-0049.png"), std::string::npos);
}

// Frame k's pixels as 0x00RRGGBB, as a GIF keeps them.
static std::vector<uint32_t> Colours(std::vector<uint32_t> frame)
{
    for (uint32_t &pixel : frame)
        pixel &= 0x00FFFFFF;
    return frame;
}

static GifRect Changed(const std::vector<uint32_t> &before, const std::vector<uint32_t> &after)
{
    int left = 640, top = 480, right = -1, bottom = -1;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            if (before[y * 640 + x] != after[y * 640 + x]) {
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = y;
            }
    return right < 0 ? GifRect{0, 0, 1, 1} : GifRect{left, top, right - left + 1, bottom - top + 1};
}

// The GIF shows, frame for frame, exactly the pixels of the raw frames rendered with it, each
// frame storing only the rectangle that changed, for as long as the frame rate says.
TEST_F(RenderTool, GifFramesAreTheRenderedPixelsForTheirTime)
{
    struct Range {
        const char *args;
        int fps;
        size_t frames;
    };
    // Through a generation window and scroll steps at 30 fps (delays 3, 4, 3 hundredths); and
    // where the float clock is 1/8 s apart, so that some frames repeat the one before.
    for (const Range &range : {Range{"--from 0 --to 0.5 --fps 30", 30, 15},
                               Range{"--from 1048576 --to 1048577 --fps 20", 20, 20},
                               // The GIF's highest rate, from a negative clock, over 4.5 frames' time.
                               Range{"--from -.5 --to -.41 --fps 50", 50, 5}}) {
        ASSERT_EQ(std::system(("rm -f '" + dir + "'/*").c_str()), 0);
        const std::string gif = dir + "/demo.gif";
        const ToolRun run = Render("--out '" + dir + "' --raw --gif '" + gif + "' " + range.args);
        ASSERT_EQ(run.status, 0) << run.err;
        const DecodedGif decoded = DecodeGif(gif);
        ASSERT_TRUE(decoded.ok);
        EXPECT_EQ(decoded.width, 640);
        EXPECT_EQ(decoded.height, 480);
        EXPECT_TRUE(decoded.loopsForever);
        ASSERT_EQ(decoded.frames.size(), range.frames) << range.args;
        int shown = 0, repeats = 0;
        std::vector<uint32_t> before;
        for (size_t n = 0; n < range.frames; ++n) {
            const std::vector<uint32_t> frame = Colours(Raw(static_cast<int>(n)));
            EXPECT_TRUE(decoded.frames[n] == frame) << range.args << ": frame " << n << " differs";
            const GifRect expected = n == 0 ? GifRect{0, 0, 640, 480} : Changed(before, frame);
            EXPECT_EQ(decoded.rects[n], expected) << range.args << ": frame " << n;
            repeats += n > 0 && before == frame;
            before = frame;
            shown += decoded.delays[n];
            EXPECT_EQ(shown, static_cast<int>((100 * (n + 1) + range.fps / 2) / range.fps))
                << range.args << ": frame " << n << " ends at the wrong time";
        }
        if (range.fps == 20) {
            EXPECT_GT(repeats, 5) << "the repeated frames were meant to be tested";
        }
    }
}

// The animation is written whole or not at all: past a file-size limit, nothing is left.
TEST_F(RenderTool, GifThatCannotBeWrittenLeavesNothing)
{
    const ToolRun run = Shell("trap '' XFSZ; ulimit -f 100; " + std::string(TRACKER_RENDER) +
                              " --gif '" + dir + "/demo.gif' --from 0 --to 5 --fps 25");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "tracker-render: cannot write " + dir + "/demo.gif: File too large\n");
    EXPECT_EQ(Listing(dir), "");
    const ToolRun missing = Render("--gif '" + dir + "/missing/demo.gif' --from 0 --to 1 --fps 10");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "tracker-render: cannot write " + dir + "/missing/demo.gif: No such file or directory\n");
}

// Each kind of video, lossy and lossless, read back with FFmpeg's libraries: the frames, their
// times and size, full chroma, and the first frame within the codec's loss (exact when lossless)
// against the raw frames rendered with it.
TEST_F(RenderTool, VideosHoldEveryFrameAtItsTime)
{
#if !TRACKER_VIDEO
    GTEST_SKIP() << "this build has no video support (FFmpeg's -dev packages were not found)";
#else
    struct Kind {
        const char *file, *codec, *format;
    };
    for (const Kind &kind : {Kind{"a.webm", "vp9", "webm"}, Kind{"a.mp4", "av1", "mp4"}}) {
        for (const bool lossless : {false, true}) {
            SCOPED_TRACE(std::string(kind.file) + (lossless ? " --lossless" : ""));
            ASSERT_EQ(std::system(("rm -f '" + dir + "'/*").c_str()), 0);
            // 6 frames at 60 a second, from a generation frame of the pattern on.
            const ToolRun run = Render("--out '" + dir + "' --raw --video '" + dir + "/" + kind.file + "'" +
                                       (lossless ? " --lossless" : "") + " --from 6.4 --to 6.5 --fps 60");
            ASSERT_EQ(run.status, 0) << run.err;
            EXPECT_EQ(run.err, "");
            const DecodedVideo video = DecodeVideo(dir + "/" + kind.file, lossless ? 6 : 1);
            ASSERT_EQ(video.error, "");
            EXPECT_EQ(video.codec, kind.codec);
            EXPECT_NE(video.format.find(kind.format), std::string::npos) << video.format;
            EXPECT_EQ(video.width, 640);
            EXPECT_EQ(video.height, 480);
            EXPECT_EQ(video.rate.num, 60 * video.rate.den);
            EXPECT_EQ(video.pixels, lossless ? AV_PIX_FMT_GBRP : AV_PIX_FMT_YUV444P);
            ASSERT_EQ(video.times.size(), 6u);
            for (size_t n = 0; n < video.times.size(); ++n)
                EXPECT_NEAR(video.times[n], n / 60.0, 0.0006) << "frame " << n;
            for (size_t n = 0; n < video.frames.size(); ++n) {
                const std::vector<uint32_t> frame = Colours(Raw(static_cast<int>(n)));
                if (lossless) {
                    EXPECT_TRUE(video.frames[n] == frame) << "frame " << n << " is not exact";
                } else {
                    EXPECT_GE(Psnr(frame, video.frames[n]), 40.0) << "frame " << n;
                }
            }
        }
    }
    // The highest rate a video takes.
    ASSERT_EQ(Render("--video '" + dir + "/fast.webm' --from 0 --to 0.02 --fps 240").status, 0);
    const DecodedVideo fast = DecodeVideo(dir + "/fast.webm", 0);
    EXPECT_EQ(fast.times.size(), 5u);
    EXPECT_EQ(fast.rate.num, 240 * fast.rate.den);

    const ToolRun missing = Render("--video '" + dir + "/missing/a.webm' --from 0 --to 1 --fps 10");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "tracker-render: cannot write " + dir + "/missing/a.webm: No such file or directory\n");
#endif
}

// A video that cannot be written whole leaves nothing: past a file-size limit, and where the
// video module or FFmpeg's libraries cannot be loaded, which the message names.
TEST_F(RenderTool, VideoThatCannotBeWrittenLeavesNothing)
{
#if !TRACKER_VIDEO
    const ToolRun run = Render("--video '" + dir + "/a.webm' --from 0 --to 1 --fps 10");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "tracker-render: this build has no video support\n");
#else
    for (const char *file : {"a.webm", "a.mp4"}) {
        const ToolRun run = Shell("trap '' XFSZ; ulimit -f 40; " + std::string(TRACKER_RENDER) + " --video '" + dir +
                                  "/" + file + "' --lossless --from 0 --to 0.5 --fps 30");
        EXPECT_EQ(run.status, 1) << file;
        EXPECT_EQ(run.err, "tracker-render: cannot write " + dir + "/" + file + ": File too large\n");
        EXPECT_EQ(Listing(dir), "");
    }
    // A copy of the program beside a module it cannot load, which it takes before the installed one.
    const std::string copy = dir + ".bin";
    ASSERT_EQ(mkdir(copy.c_str(), 0755), 0);
    ASSERT_EQ(std::system(("cp '" TRACKER_RENDER_FILE "' '" + copy + "/tracker-render'").c_str()), 0);
    std::ofstream(copy + "/tracker-render-video.so") << "not a module\n";
    const ToolRun unloadable = Render("--video '" + dir + "/a.mp4' --from 0 --to 1 --fps 10",
                                      TRACKER_RENDER_EMULATOR " '" + copy + "/tracker-render'");
    EXPECT_EQ(unloadable.status, 1);
    EXPECT_EQ(unloadable.err.rfind("tracker-render: video needs FFmpeg's libraries (libavcodec", 0), 0u) << unloadable.err;
    EXPECT_NE(unloadable.err.find(copy + "/tracker-render-video.so"), std::string::npos) << unloadable.err;
    EXPECT_EQ(unloadable.err.find('\n'), unloadable.err.size() - 1) << "one line: " << unloadable.err;
    EXPECT_EQ(Listing(dir), "");
#endif
}
