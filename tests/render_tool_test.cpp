// tracker-render as a user runs it: arguments, exit status, files and their contents.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

class RenderTool : public testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/tracker-render-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }

    ToolRun Render(const std::string &args)
    {
        const std::string errFile = dir + ".err";
        const int raw = std::system((std::string(TRACKER_RENDER) + " " + args + " 2>'" + errFile + "'").c_str());
        std::ifstream in(errFile);
        std::string err((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::remove(errFile.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, err};
    }
    int FilesInDir()
    {
        return std::system(("test -z \"$(ls -A '" + dir + "')\"").c_str()) == 0 ? 0 : 1;
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

TEST_F(RenderTool, BadInputGetsOneLineStatusTwoAndNoFiles)
{
    const std::string out = "--out '" + dir + "' ";
    const std::string cases[] = {
        out + "--bogus 1", "1", out, out + "abc", out + "1.5x", out + "inf", out + "nan",
        out + "''", out + "1e10", out + "214748364.8", out + "-214748365", out + "0x10", "--out",
    };
    for (const std::string &args : cases) {
        const ToolRun run = Render(args);
        EXPECT_EQ(run.status, 2) << args;
        EXPECT_FALSE(run.err.empty()) << args;
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line for: " << args << "\n" << run.err;
        EXPECT_EQ(FilesInDir(), 0) << args;
    }
}

TEST_F(RenderTool, UnwritableFolderIsStatusOne)
{
    const ToolRun run = Render("--out '" + dir + "/missing/deeper' 0");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot write"), std::string::npos) << run.err;
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
