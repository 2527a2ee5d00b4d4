#include "tools/frame_files.h"

#include <png.h>

#include <cerrno>
#include <vector>

// libpng reports through a long jump; the reason is already in the file's error when the
// writing failed, and anything else libpng refuses is out of memory or a fault of ours.
static void PngError(png_structp png, png_const_charp)
{
    OutputFile *file = static_cast<OutputFile *>(png_get_io_ptr(png));
    if (file->error == 0)
        file->error = ENOMEM;
    png_longjmp(png, 1);
}

static void PngWarning(png_structp, png_const_charp) {}

static void PngWrite(png_structp png, png_bytep data, size_t size)
{
    if (!OUT_Write(static_cast<OutputFile *>(png_get_io_ptr(png)), data, size))
        png_error(png, "write failed");
}

static void PngFlush(png_structp) {}

bool IMG_WritePng(OutputFile *file, const uint32_t *frame, int32_t width, int32_t height)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (png == nullptr || info == nullptr) {
        png_destroy_write_struct(png ? &png : nullptr, nullptr);
        file->error = ENOMEM;
        return false;
    }
    std::vector<png_byte> row(static_cast<size_t>(width) * 3);
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_set_write_fn(png, file, PngWrite, PngFlush);
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
    }
    png_destroy_write_struct(&png, &info);
    return file->error == 0;
}

bool IMG_WriteRaw(OutputFile *file, const uint32_t *frame, size_t pixels)
{
    std::vector<unsigned char> bytes(pixels * 4);
    for (size_t i = 0; i < pixels; ++i) {
        for (int b = 0; b < 4; ++b)
            bytes[4 * i + b] = static_cast<unsigned char>(frame[i] >> (8 * b));
    }
    return OUT_Write(file, bytes.data(), bytes.size());
}

std::string IMG_FrameName(uint64_t index, uint64_t count)
{
    size_t digits = 4;
    for (uint64_t last = count > 0 ? count - 1 : 0; last >= 10000; last /= 10)
        ++digits;
    const std::string number = std::to_string(index);
    return "frame-" + std::string(digits > number.size() ? digits - number.size() : 0, '0') + number;
}
