// The Wayland frames against the test's own compositor: paced by its frame callbacks, opaque,
// in device pixels at its scales, rebuilt on any resize, damage in buffer units, and the reasons
// when it lacks what they need.
#include <gtest/gtest.h>

#include <time.h>

#include <chrono>

#include "platform/sdl/sdl_wayland_frames.h"
#include "platform/sdl/sdl_wayland_globals.h"
#include "tests/platform/wayland_compositor.h"

namespace {

const int W = 640, H = 480;

// A frame whose every pixel differs from its neighbours, so that a misplaced or smeared one shows.
struct Picture {
    std::vector<uint32_t> pixels;
    explicit Picture(uint32_t seed) : pixels((size_t)W * H)
    {
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                pixels[(size_t)y * W + x] = 0xff000000u | ((x * 7 + seed) & 0xff) << 16 | ((y * 5) & 0xff) << 8 | ((x ^ y) & 0xff);
    }
    const uint8_t *data() const { return reinterpret_cast<const uint8_t *>(pixels.data()); }
};

// The frames on a test compositor, stopped and unbound before it goes.
struct Frames {
    TestCompositor compositor;
    wl_surface *window;
    explicit Frames(TestCompositorOptions options) : compositor(options)
    {
        wl_registry *registry = wl_display_get_registry(compositor.client());
        static const wl_registry_listener listener = {
            [](void *data, wl_registry *from, uint32_t name, const char *interface, uint32_t) {
                if (strcmp(interface, wl_compositor_interface.name) == 0)
                    *static_cast<wl_compositor **>(data) =
                        static_cast<wl_compositor *>(wl_registry_bind(from, name, &wl_compositor_interface, 4));
            },
            [](void *, wl_registry *, uint32_t) {}};
        wl_compositor *made = nullptr;
        wl_registry_add_listener(registry, &listener, &made);
        wl_display_roundtrip(compositor.client());
        window = wl_compositor_create_surface(made);
        wl_compositor_destroy(made);
        wl_registry_destroy(registry);
    }
    ~Frames()
    {
        FRAMES_Stop();
        WLGLOBAL_Drop();
        wl_surface_destroy(window);
        wl_display_flush(compositor.client());
    }
    bool Start(int width, int height, std::string *why)
    {
        return FRAMES_Start(compositor.client(), window, W, H, width, height, why);
    }
};

// The frame's commits only.
std::vector<TestCommit> Shown(TestCompositor &compositor)
{
    std::vector<TestCommit> shown;
    for (TestCommit &each : compositor.Commits())
        if (each.frames)
            shown.push_back(std::move(each));
    return shown;
}

// Every frame pixel is a scale x scale block of its own colour at `at`, and everything else is black.
void ExpectPlaced(const TestCommit &commit, const Picture &picture, const SDL_Rect &at, int scale)
{
    ASSERT_EQ(commit.pixels.size(), (size_t)commit.width * commit.height);
    long wrong = 0, bars = 0;
    for (int y = 0; y < commit.height; ++y)
        for (int x = 0; x < commit.width; ++x) {
            const uint32_t got = commit.pixels[(size_t)y * commit.width + x] & 0xffffff;
            const bool inside = x >= at.x && x < at.x + at.w && y >= at.y && y < at.y + at.h;
            if (!inside)
                bars += got != 0;
            else
                wrong += got != (picture.pixels[(size_t)((y - at.y) / scale) * W + (x - at.x) / scale] & 0xffffff);
        }
    EXPECT_EQ(wrong, 0) << "frame pixels not where they belong at scale " << scale;
    EXPECT_EQ(bars, 0) << "pixels in the bars that are not black";
}

double CpuMilliseconds()
{
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

}  // namespace

// A frame goes when the compositor asks for one and only then, none is lost for want of a free
// buffer while it still holds two, and one it does not ask for costs no spinning.
TEST(WaylandFrames, PacedByTheCompositorWithAThirdBufferAndNoSpinning)
{
    TestCompositorOptions options;
    options.keep = 2;  // the shown buffer and the one before it, as a compositor that reads late
    Frames frames(options);
    std::string why;
    ASSERT_TRUE(frames.Start(W, H, &why)) << why;
    const Picture picture(1);
    ASSERT_TRUE(FRAMES_Show(picture.data(), W * 4, W, H, &why)) << why;  // the first goes unasked
    const double cpu = CpuMilliseconds();
    const auto asked = std::chrono::steady_clock::now();
    ASSERT_TRUE(FRAMES_Show(picture.data(), W * 4, W, H, &why)) << why;
    // Unasked, it waits its tenth of a second before giving up, rather than have the program spin
    // drawing frames nobody shows: a lower bound only.
    const std::chrono::duration<double, std::milli> waited = std::chrono::steady_clock::now() - asked;
    EXPECT_GE(waited.count(), 99) << "gave up without waiting, in milliseconds";
    EXPECT_LT(CpuMilliseconds() - cpu, 50) << "waiting for the compositor spun";
    EXPECT_EQ(Shown(frames.compositor).size(), 1u) << "a frame went that the compositor had not asked for";
    EXPECT_EQ(FRAMES_Count().unasked, 1);
    for (int i = 0; i < 6; ++i) {
        frames.compositor.AskForFrame();
        ASSERT_TRUE(FRAMES_Show(Picture(i).data(), W * 4, W, H, &why)) << why;
    }
    const std::vector<TestCommit> shown = Shown(frames.compositor);
    ASSERT_EQ(shown.size(), 7u) << "a frame the compositor asked for was not shown";
    EXPECT_EQ(FRAMES_Count().unasked, 1);
    for (const TestCommit &each : shown) {
        EXPECT_EQ(each.format, (uint32_t)WL_SHM_FORMAT_XRGB8888) << "a buffer with alpha";
        EXPECT_EQ(each.frameCallbacks, 1);
        EXPECT_TRUE(each.inputRegionEmpty) << "the pointer would miss SDL's surface";
    }
    ExpectPlaced(shown.back(), Picture(5), SDL_Rect{0, 0, W, H}, 1);
}

// At a whole output scale the buffer has the device pixels; damage is in the buffer's units, all
// of it after a new buffer and the frame's place after that; a resize of the height alone makes
// new buffers with new bars, and the window's black buffer follows.
TEST(WaylandFrames, WholeOutputScaleResizesAndDamageInBufferUnits)
{
    TestCompositorOptions options;
    options.outputScale = 2;
    options.viewporter = options.fractional = false;
    Frames frames(options);
    std::string why;
    ASSERT_TRUE(frames.Start(700, 500, &why)) << why;
    const Picture picture(3);
    for (int i = 0; i < 2; ++i) {
        frames.compositor.AskForFrame();
        ASSERT_TRUE(FRAMES_Show(picture.data(), W * 4, 700, 500, &why)) << why;
    }
    std::vector<TestCommit> shown = Shown(frames.compositor);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].width, 1400);
    EXPECT_EQ(shown[0].height, 1000);
    EXPECT_EQ(shown[0].bufferScale, 2);
    EXPECT_EQ(shown[0].surfaceDamages, 0);
    EXPECT_EQ(shown[0].damageBuffer, std::vector<TestRect>{TestRect({0, 0, 1400, 1000})});
    EXPECT_EQ(shown[1].damageBuffer, std::vector<TestRect>{TestRect({60, 20, 1280, 960})});
    ExpectPlaced(shown[1], picture, SDL_Rect{60, 20, 1280, 960}, 2);

    // Taller only: 700 x 620 is 1400 x 1240 pixels, the frame still at 2.
    frames.compositor.AskForFrame();
    ASSERT_TRUE(FRAMES_Show(picture.data(), W * 4, 700, 620, &why)) << why;
    shown = Shown(frames.compositor);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[2].height, 1240);
    EXPECT_EQ(shown[2].damageBuffer, std::vector<TestRect>{TestRect({0, 0, 1400, 1240})});
    ExpectPlaced(shown[2], picture, SDL_Rect{60, 140, 1280, 960}, 2);
    int windowHeight = 0;
    for (const TestCommit &each : frames.compositor.Commits())
        if (!each.frames && each.hasBuffer)
            windowHeight = each.height;
    EXPECT_EQ(windowHeight, 620) << "the window's black buffer did not follow its size";

    // The output's scale drops to 1: the frame follows it.
    frames.compositor.SetOutputScale(1);
    frames.compositor.AskForFrame();
    ASSERT_TRUE(FRAMES_Show(picture.data(), W * 4, 700, 620, &why)) << why;
    shown = Shown(frames.compositor);
    EXPECT_EQ(shown.back().bufferScale, 1);
    ExpectPlaced(shown.back(), picture, SDL_Rect{30, 70, 640, 480}, 1);
}

// With a viewport and a preferred fractional scale, the buffer has the device pixels of the
// window's logical size, the viewport shows it at that size, and the frame follows a new scale.
TEST(WaylandFrames, PreferredFractionalScaleThroughAViewport)
{
    Frames frames(TestCompositorOptions{});
    std::string why;
    ASSERT_TRUE(frames.Start(1280, 720, &why)) << why;
    frames.compositor.SetPreferredScale(180);  // 1.5: a 1920 x 1080 output, 1280 x 720 logical
    const Picture picture(9);
    ASSERT_TRUE(FRAMES_Show(picture.data(), W * 4, 1280, 720, &why)) << why;
    std::vector<TestCommit> shown = Shown(frames.compositor);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].width, 1920);
    EXPECT_EQ(shown[0].height, 1080);
    EXPECT_EQ(shown[0].bufferScale, 1);
    EXPECT_EQ(shown[0].viewportWidth, 1280);
    EXPECT_EQ(shown[0].viewportHeight, 720);
    ExpectPlaced(shown[0], picture, SDL_Rect{320, 60, 1280, 960}, 2);
    EXPECT_EQ(FRAMES_Placed().preferred, 180);

    frames.compositor.SetPreferredScale(240);  // moved to an output at 2
    frames.compositor.AskForFrame();
    ASSERT_TRUE(FRAMES_Show(picture.data(), W * 4, 1280, 720, &why)) << why;
    shown = Shown(frames.compositor);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].width, 2560);
    EXPECT_EQ(shown[1].height, 1440);
    ExpectPlaced(shown[1], picture, SDL_Rect{320, 0, 1920, 1440}, 3);
}

// A compositor without what the frames need, or one that refuses their buffers, ends the set-up
// with the reason.
TEST(WaylandFrames, WhatTheCompositorLacksOrRefusesIsTheReason)
{
    std::string why;
    {
        TestCompositorOptions options;
        options.subcompositor = false;
        Frames frames(options);
        EXPECT_FALSE(frames.Start(W, H, &why));
        EXPECT_NE(why.find("wl_subcompositor"), std::string::npos) << why;
    }
    {
        TestCompositorOptions options;
        options.refuseBuffers = true;
        Frames frames(options);
        EXPECT_FALSE(frames.Start(W, H, &why));
        EXPECT_NE(why.find("refused"), std::string::npos) << why;
    }
}

// A window the window manager leaves smaller than the frame shows it at 1, centred and cut, never
// shrunk; grown again, the frame goes back to the whole scale with no cut pixel left over.
TEST(WaylandFrames, AWindowSmallerThanTheFrameShowsItCut)
{
    TestCompositorOptions options;
    options.viewporter = options.fractional = false;
    Frames frames(options);
    std::string why;
    ASSERT_TRUE(frames.Start(600, 451, &why)) << why;
    const Picture picture(5);
    ASSERT_TRUE(FRAMES_Show(picture.data(), W * 4, 600, 451, &why)) << why;
    std::vector<TestCommit> shown = Shown(frames.compositor);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].width, 600);
    EXPECT_EQ(shown[0].height, 451);
    ExpectPlaced(shown[0], picture, SDL_Rect{-20, -14, W, H}, 1);

    frames.compositor.AskForFrame();
    ASSERT_TRUE(FRAMES_Show(picture.data(), W * 4, 1300, 980, &why)) << why;
    shown = Shown(frames.compositor);
    ASSERT_EQ(shown.size(), 2u);
    ExpectPlaced(shown[1], picture, SDL_Rect{10, 10, 2 * W, 2 * H}, 2);
}
