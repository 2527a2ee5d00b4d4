// tracker-render: renders frames of the scene for given clock values and writes them as images.
// Usage: tracker-render --out DIR [--raw] SECONDS...
#include <png.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "scene/scene.h"

static const char *const Usage = "usage: tracker-render --out DIR [--raw] SECONDS...";

// Reads a clock value as the frame loop would hold it: a decimal rounded once to a float.
// Only values whose row step fits a signed 32-bit integer can be drawn.
static bool ParseSeconds(const char *text, float *seconds)
{
    if (*text == '\0' || std::strspn(text, "0123456789+-.eE") != std::strlen(text))
        return false;
    char *end = nullptr;
    errno = 0;
    const float value = std::strtof(text, &end);
    if (*end != '\0' || !std::isfinite(value))
        return false;
    const double tenfold = static_cast<double>(value) * 10.0;
    if (!(tenfold > -2147483649.0 && tenfold < 2147483648.0))
        return false;
    *seconds = value;
    return true;
}

static bool WritePng(const std::string &path, const uint32_t *frame, int32_t width, int32_t height)
{
    FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<png_byte> row(static_cast<size_t>(width) * 3);
    bool written = false;
    if (png != nullptr && info != nullptr && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int32_t y = 0; y < height; ++y) {
            const uint32_t *pixel = frame + static_cast<size_t>(y) * width;
            for (int32_t x = 0; x < width; ++x) {
                row[3 * x + 0] = static_cast<png_byte>(pixel[x] >> 16);
                row[3 * x + 1] = static_cast<png_byte>(pixel[x] >> 8);
                row[3 * x + 2] = static_cast<png_byte>(pixel[x]);
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
        written = true;
    }
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    return std::fclose(file) == 0 && written;
}

// The frame's words exactly as drawn, little-endian whatever the host.
static bool WriteRaw(const std::string &path, const uint32_t *frame, size_t pixels)
{
    FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    std::vector<unsigned char> bytes(pixels * 4);
    for (size_t i = 0; i < pixels; ++i) {
        for (int b = 0; b < 4; ++b)
            bytes[4 * i + b] = static_cast<unsigned char>(frame[i] >> (8 * b));
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

int main(int argc, char **argv)
{
    std::string outDir;
    bool raw = false;
    std::vector<float> clocks;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (std::strcmp(arg, "--out") == 0) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                std::fprintf(stderr, "tracker-render: --out needs a folder (%s)\n", Usage);
                return 2;
            }
            outDir = argv[++i];
        } else if (std::strcmp(arg, "--raw") == 0) {
            raw = true;
        } else if (arg[0] == '-' && arg[1] == '-') {
            std::fprintf(stderr, "tracker-render: unknown option '%s' (%s)\n", arg, Usage);
            return 2;
        } else {
            float seconds = 0.0f;
            if (!ParseSeconds(arg, &seconds)) {
                std::fprintf(stderr,
                             "tracker-render: '%s' is not a clock value in seconds "
                             "(a finite decimal whose tenfold fits a 32-bit integer)\n",
                             arg);
                return 2;
            }
            clocks.push_back(seconds);
        }
    }
    if (outDir.empty()) {
        std::fprintf(stderr, "tracker-render: no --out folder given (%s)\n", Usage);
        return 2;
    }
    if (clocks.empty()) {
        std::fprintf(stderr, "tracker-render: no clock value given (%s)\n", Usage);
        return 2;
    }

    const int32_t width = DisplayConfig.width;
    const int32_t height = DisplayConfig.height;
    const size_t pixels = static_cast<size_t>(width) * height;
    // Zero-filled, so whatever the scene never writes comes out black.
    uint32_t *frame = static_cast<uint32_t *>(std::calloc(pixels, sizeof(uint32_t)));
    if (frame == nullptr || !FFX_Init(frame)) {
        std::fprintf(stderr, "tracker-render: out of memory\n");
        return 1;
    }
    for (size_t n = 0; n < clocks.size(); ++n) {
        FFX_Render(frame, clocks[n]);
        char name[32];
        std::snprintf(name, sizeof name, "/frame-%04zu", n);
        const std::string png = outDir + name + ".png";
        const std::string rawPath = outDir + name + ".raw";
        errno = 0;
        const char *failed = !WritePng(png, frame, width, height)               ? png.c_str()
                             : (raw && !WriteRaw(rawPath, frame, pixels)) ? rawPath.c_str()
                                                                          : nullptr;
        if (failed != nullptr) {
            std::fprintf(stderr, "tracker-render: cannot write %s: %s\n", failed,
                         errno ? std::strerror(errno) : "write failed");
            return 1;
        }
    }
    FFX_Shutdown();
    std::free(frame);
    return 0;
}
