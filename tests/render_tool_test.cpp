// tracker-render as a user runs it: arguments, exit status, files and their contents.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

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
    void TearDown() override { std::system(("rm -rf '" + dir + "' '" + dir + "'.*").c_str()); }

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
        std::system(("LC_ALL=C ls -A '" + folder + "' >'" + listFile + "'").c_str());
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
        out + "-214748360.01",
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

TEST_F(RenderTool, HelpGoesToStandardOutputWithStatusZero)
{
    for (const char *option : {"-h", "--help", "--out x -h 1"}) {
        const std::string outFile = dir + ".out";
        const ToolRun run = Render(std::string(option) + " >'" + outFile + "'");
        const std::string out = ReadText(outFile);
        EXPECT_EQ(run.status, 0) << option;
        EXPECT_EQ(run.err, "") << option;
        EXPECT_EQ(out.rfind("usage: tracker-render", 0), 0u) << option << "\n" << out;
        EXPECT_NE(out.find("--raw"), std::string::npos) << option;
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
// and needs no privileges: the PNG fits, the 1.2 MB raw file does not.
TEST_F(RenderTool, FailedWriteLeavesNoPartialFile)
{
    const ToolRun run = Shell("trap '' XFSZ; ulimit -f 200; " + std::string(TRACKER_RENDER) +
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
