// Whole frames against golden images kept in the tree, at clock values on the scene's boundaries.
// A mismatch says where: the clock, how many pixels, the first one, the bounding box, the scene
// areas it touches, and expected/got/diff images in the build folder.
//
// After an intended change to the picture, regenerate the goldens with
//     TRACKER_GOLDEN_UPDATE=1 build/default/tests/test-golden
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "scene/scene.h"

namespace {

const int32_t Width = DisplayConfig.width;
const int32_t Height = DisplayConfig.height;

// In the order a running program meets them, in one scene: the generator carries on between them.
// The first frame (a generation), a repeat inside the same window (generated anew), the first
// scroll step, a mid-cycle frame, the second generation, the step after it, and a late clock.
const float Clocks[] = {0.0f, 0.05f, 0.1f, 3.3f, 6.4f, 6.55f, 100000.7f};

using Frame = std::vector<uint32_t>;

std::string GoldenPath(size_t index)
{
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%zu.png", index);
    return std::string(TRACKER_GOLDEN_DIR) + name;
}

// PNG as RGBA with the pixel's top byte as alpha, so all 32 bits of every word are kept.
bool WritePng(const std::string &path, const Frame &frame)
{
    std::vector<png_byte> rgba(frame.size() * 4);
    for (size_t i = 0; i < frame.size(); ++i) {
        rgba[4 * i] = static_cast<png_byte>(frame[i] >> 16);
        rgba[4 * i + 1] = static_cast<png_byte>(frame[i] >> 8);
        rgba[4 * i + 2] = static_cast<png_byte>(frame[i]);
        rgba[4 * i + 3] = static_cast<png_byte>(frame[i] >> 24);
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(Width);
    image.height = static_cast<png_uint_32>(frame.size() / Width);
    image.format = PNG_FORMAT_RGBA;
    return png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), 0, nullptr) != 0;
}

bool ReadPng(const std::string &path, Frame &frame, std::string &error)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        error = image.message;
        return false;
    }
    if (image.width != static_cast<png_uint_32>(Width) || image.height != static_cast<png_uint_32>(Height)) {
        png_image_free(&image);
        error = "not " + std::to_string(Width) + " x " + std::to_string(Height);
        return false;
    }
    image.format = PNG_FORMAT_RGBA;
    std::vector<png_byte> rgba(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) {
        error = image.message;
        return false;
    }
    frame.resize(static_cast<size_t>(Width) * Height);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<uint32_t>(rgba[4 * i + 3]) << 24 | rgba[4 * i] << 16 | rgba[4 * i + 1] << 8 |
                   rgba[4 * i + 2];
    return true;
}

// The scene area a pixel belongs to, for telling a reader where to look.
const char *AreaOf(int32_t x, int32_t y)
{
    if (y >= 336 && y <= 354)
        return "highlight bar";
    if (y >= 200)
        return "pattern";
    for (int32_t row = 0; row < 2; ++row)
        for (int32_t column = 0; column < 4; ++column) {
            const int32_t x0 = 72 * column + 2, y0 = 67 * row + 80;
            if (x >= x0 - 1 && x <= x0 + 65 && y >= y0 - 1 && y <= y0 + 46)
                return "scopes";
        }
    return "panel";
}

std::string Hex(uint32_t word)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", word);
    return text;
}

// Describes how `got` differs from `expected` and writes the three images; empty when equal.
std::string Explain(size_t index, float clock, const Frame &expected, const Frame &got)
{
    size_t count = 0;
    int32_t firstX = -1, firstY = -1;
    int32_t left = Width, top = Height, right = -1, bottom = -1;
    std::map<std::string, size_t> areas;
    Frame diff(expected.size());
    for (int32_t y = 0; y < Height; ++y)
        for (int32_t x = 0; x < Width; ++x) {
            const size_t i = static_cast<size_t>(y) * Width + x;
            // Dimmed expected picture, differing pixels in full red.
            const uint32_t dim = (expected[i] >> 2) & 0x003F3F3F;
            diff[i] = 0xFF000000 | dim;
            if (expected[i] == got[i])
                continue;
            diff[i] = 0xFFFF0000;
            if (count++ == 0)
                firstX = x, firstY = y;
            left = std::min(left, x), right = std::max(right, x);
            top = std::min(top, y), bottom = std::max(bottom, y);
            ++areas[AreaOf(x, y)];
        }
    if (count == 0)
        return "";

    std::ostringstream out;
    out << "frame " << index << " at clock " << clock << " s: " << count << " pixels differ\n"
        << "  first at (" << firstX << ", " << firstY << "): expected " << Hex(expected[firstY * Width + firstX])
        << ", got " << Hex(got[firstY * Width + firstX]) << "\n"
        << "  bounding box: x " << left << " ... " << right << ", y " << top << " ... " << bottom << "\n"
        << "  areas:";
    for (const auto &[area, pixels] : areas)
        out << " " << area << " (" << pixels << " px)";
    out << "\n";
    const std::string stem = std::string(TRACKER_GOLDEN_OUT) + "/frame-" + std::to_string(index);
    const struct {
        const char *suffix;
        const Frame &frame;
    } images[] = {{"-expected.png", expected}, {"-got.png", got}, {"-diff.png", diff}};
    for (const auto &image : images) {
        const std::string path = stem + image.suffix;
        out << "  " << (WritePng(path, image.frame) ? "wrote " : "could not write ") << path << "\n";
    }
    return out.str();
}

std::vector<Frame> RenderAll()
{
    std::vector<Frame> frames;
    // Row 479 is never drawn: it keeps what the memory held, zero here.
    Frame frame(static_cast<size_t>(Width) * Height, 0);
    EXPECT_EQ(FFX_Init(frame.data()), 1);
    for (float clock : Clocks) {
        FFX_Render(frame.data(), clock);
        frames.push_back(frame);
    }
    return frames;
}

}  // namespace

TEST(Golden, WholeFramesMatchTheGoldenImages)
{
    const std::vector<Frame> frames = RenderAll();
    const char *update = std::getenv("TRACKER_GOLDEN_UPDATE");
    for (size_t i = 0; i < frames.size(); ++i) {
        if (update && *update) {
            ASSERT_TRUE(WritePng(GoldenPath(i), frames[i])) << "could not write " << GoldenPath(i);
            std::printf("wrote %s\n", GoldenPath(i).c_str());
        }
        Frame expected;
        std::string error;
        ASSERT_TRUE(ReadPng(GoldenPath(i), expected, error)) << GoldenPath(i) << ": " << error;
        const std::string report = Explain(i, Clocks[i], expected, frames[i]);
        EXPECT_TRUE(report.empty()) << report;
    }
}

// The report must name the right place; a broken pixel in each area is found and located.
TEST(Golden, AMismatchIsLocatedAndImaged)
{
    Frame expected(static_cast<size_t>(Width) * Height, 0xFF607080);
    struct Case {
        int32_t x, y;
        const char *area;
    } cases[] = {{300, 10, "panel"}, {74 + 30, 147 + 44, "scopes"}, {1, 79, "scopes"},
                 {639, 336, "highlight bar"}, {0, 354, "highlight bar"}, {100, 355, "pattern"}, {5, 479, "pattern"}};
    for (const Case &c : cases) {
        Frame got = expected;
        got[static_cast<size_t>(c.y) * Width + c.x] = 0x00000000;
        const std::string report = Explain(99, 1.5f, expected, got);
        const std::string at = "(" + std::to_string(c.x) + ", " + std::to_string(c.y) + ")";
        EXPECT_NE(report.find("1 pixels differ"), std::string::npos) << report;
        EXPECT_NE(report.find("first at " + at + ": expected 0xFF607080, got 0x00000000"), std::string::npos) << report;
        EXPECT_NE(report.find("areas: " + std::string(c.area) + " (1 px)"), std::string::npos) << report;
        EXPECT_NE(report.find("x " + std::to_string(c.x) + " ... " + std::to_string(c.x)), std::string::npos) << report;
    }

    // A box shifted by a row: two rows differ, bounded exactly, and the images read back.
    Frame got = expected;
    for (int32_t x = 10; x < 60; ++x)
        got[static_cast<size_t>(22) * Width + x] = got[static_cast<size_t>(35) * Width + x] = 0xFF000000;
    const std::string report = Explain(98, 2.0f, expected, got);
    EXPECT_NE(report.find("100 pixels differ"), std::string::npos) << report;
    EXPECT_NE(report.find("bounding box: x 10 ... 59, y 22 ... 35"), std::string::npos) << report;
    Frame back;
    std::string error;
    ASSERT_TRUE(ReadPng(std::string(TRACKER_GOLDEN_OUT) + "/frame-98-got.png", back, error)) << error;
    EXPECT_EQ(back, got);
    ASSERT_TRUE(ReadPng(std::string(TRACKER_GOLDEN_OUT) + "/frame-98-diff.png", back, error)) << error;
    EXPECT_EQ(back[static_cast<size_t>(22) * Width + 10], 0xFFFF0000u);
    EXPECT_EQ(back[static_cast<size_t>(23) * Width + 10], 0xFF181C20u);
}
