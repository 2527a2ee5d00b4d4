// tracker-icon: draws the program's icon, a raised panel with a scope tracing a sine over a
// pattern row, in the scene's colours, and writes it in the sizes the packages need.
// Usage: tracker-icon DIR   (writes DIR/tracker-screen-N.png, DIR/tracker-screen-maskable-512.png
// and DIR/tracker-screen.ico)
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "scene/scene.h"
#include "tools/frame_files.h"
#include "tools/output_file.h"

static const int32_t Width = DisplayConfig.width;

// The design on a grid of `n` pixels (16 or 32), at the top-left of the frame.
static void DrawIcon(uint32_t *frame, int32_t n)
{
    const int32_t k = n / 16;
    GFX_FillRect(frame, 0, 0, n, n, 0xFF000000);
    GFX_FillRect(frame, 1, 1, n - 2, n - 2, 0xFFF0F0F0);
    GFX_FillRect(frame, 1 + k, 1 + k, n - 2 - k, n - 2 - k, 0xFF404040);
    GFX_FillRect(frame, 1 + k, 1 + k, n - 2 - 2 * k, n - 2 - 2 * k, 0xFF607080);
    // The scope: a black window with one and a half periods of a white sine, drawn unbroken.
    const int32_t left = 3 * k, top = 3 * k, w = n - 6 * k, h = 7 * k;
    GFX_FillRect(frame, left, top, w, h, 0x00000000);
    int32_t previous = -1;
    for (int32_t x = 0; x < w; ++x) {
        const double phase = 3.0 * 3.14159265358979 * (x + 0.5) / w;
        const int32_t y = top + (h - 1) / 2 - static_cast<int32_t>(std::lround(std::sin(phase) * (h - 2 * k) / 2.0));
        const int32_t from = previous < 0 ? y : (previous < y ? previous + 1 : y);
        const int32_t to = previous < 0 ? y : (previous > y ? previous - 1 : y);
        for (int32_t row = from; row <= to; ++row)
            frame[row * Width + left + x] = 0xFFFFFFFF;
        previous = y;
    }
    // The pattern: a black strip with the highlight bar, notes in pale yellow on each side.
    const int32_t strip = top + h + k;
    GFX_FillRect(frame, left, strip, w, 3 * k, 0xFF000000);
    GFX_FillRect(frame, left, strip + k, w, k, 0xFF607080);
    for (int32_t x = k; x + 2 * k <= w; x += 3 * k) {
        GFX_FillRect(frame, left + x, strip, 2 * k, k, 0xFFFFFFC0);
        GFX_FillRect(frame, left + x, strip + 2 * k, 2 * k, k, 0xFFFFFFC0);
    }
}

// The `n`-pixel design scaled by `scale`, as rows of 0xAARRGGBB with an opaque top byte.
static std::vector<uint32_t> Icon(const uint32_t *frame, int32_t n, int32_t scale)
{
    std::vector<uint32_t> icon(static_cast<size_t>(n * scale) * n * scale);
    for (int32_t y = 0; y < n * scale; ++y)
        for (int32_t x = 0; x < n * scale; ++x)
            icon[y * n * scale + x] = frame[(y / scale) * Width + x / scale] | 0xFF000000;
    return icon;
}

static void Put16(std::vector<unsigned char> *out, uint32_t value)
{
    out->push_back(value & 0xFF);
    out->push_back((value >> 8) & 0xFF);
}

static void Put32(std::vector<unsigned char> *out, uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

// An icon image as Windows stores it: a bitmap header of twice the height, the pixels as
// bottom-up BGRA rows, then the all-opaque one-bit mask with rows padded to four bytes.
static std::vector<unsigned char> IconBitmap(const std::vector<uint32_t> &icon, int32_t size)
{
    std::vector<unsigned char> out;
    Put32(&out, 40);
    Put32(&out, size);
    Put32(&out, 2 * size);
    Put16(&out, 1);
    Put16(&out, 32);
    for (int i = 0; i < 6; ++i)
        Put32(&out, 0);
    for (int32_t y = size - 1; y >= 0; --y)
        for (int32_t x = 0; x < size; ++x)
            Put32(&out, icon[y * size + x]);
    out.resize(out.size() + static_cast<size_t>((size + 31) / 32 * 4) * size, 0);
    return out;
}

static bool WriteBytes(const std::string &path, const std::vector<unsigned char> &bytes)
{
    OutputFile file;
    if (!(OUT_Open(&file, path) && OUT_Write(&file, bytes.data(), bytes.size()) && OUT_Commit(&file))) {
        OUT_Abandon(&file);
        std::fprintf(stderr, "tracker-icon: %s\n", OUT_Failure(file).c_str());
        return false;
    }
    return true;
}

// Small sizes drawn on their own grid, large ones the 32-pixel design scaled up whole.
struct IconSize {
    int32_t size, grid;
};
static const IconSize Sizes[] = {{16, 16}, {32, 32}, {48, 16}, {64, 32}, {128, 32}, {256, 32}, {192, 32}, {512, 32}};

// The web page's maskable icon: the design 9 times over (288 pixels) in the middle of 512 on
// black, so that it stays whole inside the circle of 40% radius that every mask keeps.
static bool WriteMaskable(const uint32_t *frame, const std::string &path)
{
    const int32_t size = 512, scale = 9, inset = (size - 32 * scale) / 2;
    std::vector<uint32_t> icon(static_cast<size_t>(size) * size, 0xFF000000);
    const std::vector<uint32_t> design = Icon(frame, 32, scale);
    for (int32_t y = 0; y < 32 * scale; ++y)
        for (int32_t x = 0; x < 32 * scale; ++x)
            icon[(inset + y) * size + inset + x] = design[y * 32 * scale + x];
    OutputFile file;
    if (!(OUT_Open(&file, path) && IMG_WritePng(&file, icon.data(), size, size) && OUT_Commit(&file))) {
        OUT_Abandon(&file);
        std::fprintf(stderr, "tracker-icon: %s\n", OUT_Failure(file).c_str());
        return false;
    }
    return true;
}

int main(int argc, char **argv)
{
    if (argc != 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "tracker-icon: usage: tracker-icon DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    OUT_Prepare();
    std::vector<uint32_t> frame(static_cast<size_t>(Width) * DisplayConfig.height, 0);
    std::vector<unsigned char> ico, images;
    const int32_t icoSizes[] = {16, 32, 48, 256};
    Put16(&ico, 0);
    Put16(&ico, 1);
    Put16(&ico, 4);
    for (const IconSize &size : Sizes) {
        DrawIcon(frame.data(), size.grid);
        const std::vector<uint32_t> icon = Icon(frame.data(), size.grid, size.size / size.grid);
        const std::string png = dir + "/tracker-screen-" + std::to_string(size.size) + ".png";
        OutputFile file;
        if (!(OUT_Open(&file, png) && IMG_WritePng(&file, icon.data(), size.size, size.size) && OUT_Commit(&file))) {
            OUT_Abandon(&file);
            std::fprintf(stderr, "tracker-icon: %s\n", OUT_Failure(file).c_str());
            return 1;
        }
        bool inIco = false;
        for (int32_t s : icoSizes)
            inIco = inIco || s == size.size;
        if (!inIco)
            continue;
        // 256 pixels as PNG, as Windows expects at that size; the rest as bitmaps.
        std::vector<unsigned char> image;
        if (size.size == 256) {
            std::FILE *in = std::fopen(png.c_str(), "rb");
            for (int c; in != nullptr && (c = std::fgetc(in)) != EOF;)
                image.push_back(static_cast<unsigned char>(c));
            if (in != nullptr)
                std::fclose(in);
        } else {
            image = IconBitmap(icon, size.size);
        }
        ico.push_back(static_cast<unsigned char>(size.size & 0xFF));
        ico.push_back(static_cast<unsigned char>(size.size & 0xFF));
        ico.push_back(0);
        ico.push_back(0);
        Put16(&ico, 1);
        Put16(&ico, 32);
        Put32(&ico, static_cast<uint32_t>(image.size()));
        Put32(&ico, 0); // the offset, known once every entry is in
        images.insert(images.end(), image.begin(), image.end());
    }
    // Each entry's offset: past the header, the four entries and the images before it.
    uint32_t offset = 6 + 16 * 4;
    for (int entry = 0; entry < 4; ++entry) {
        unsigned char *size = &ico[6 + 16 * entry + 8];
        unsigned char *at = size + 4;
        for (int b = 0; b < 4; ++b)
            at[b] = static_cast<unsigned char>(offset >> (8 * b));
        offset += size[0] | size[1] << 8 | size[2] << 16 | static_cast<uint32_t>(size[3]) << 24;
    }
    ico.insert(ico.end(), images.begin(), images.end());
    DrawIcon(frame.data(), 32);
    if (!WriteMaskable(frame.data(), dir + "/tracker-screen-maskable-512.png"))
        return 1;
    return WriteBytes(dir + "/tracker-screen.ico", ico) ? 0 : 1;
}
