// An independent reading of an animated GIF: each frame composed as a viewer shows it.
#pragma once

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

struct GifRect {
    int left, top, width, height;
    bool operator==(const GifRect &o) const
    {
        return left == o.left && top == o.top && width == o.width && height == o.height;
    }
};

struct DecodedGif {
    bool ok = false;
    int width = 0, height = 0;
    bool loopsForever = false;
    std::vector<std::vector<uint32_t>> frames;  // what is on show after each frame, 0x00RRGGBB
    std::vector<int> delays;                    // hundredths of a second
    std::vector<GifRect> rects;                 // the part each frame stores
    std::vector<bool> localTables;              // whether each frame carries a colour table of its own
    std::string version;                        // the file's first six bytes, its signature
};

inline std::ostream &operator<<(std::ostream &out, const GifRect &r)
{
    return out << r.width << "x" << r.height << "+" << r.left << "+" << r.top;
}

// Every frame must leave its pixels in place for the next (the only disposal we write).
inline DecodedGif DecodeGif(const std::string &path)
{
    DecodedGif result;
    int error = 0;
    GifFileType *gif = DGifOpenFileName(path.c_str(), &error);
    if (gif == nullptr) {
        ADD_FAILURE() << path << ": " << GifErrorString(error);
        return result;
    }
    if (DGifSlurp(gif) != GIF_OK) {
        ADD_FAILURE() << path << ": " << GifErrorString(gif->Error);
        DGifCloseFile(gif, &error);
        return result;
    }
    char signature[6] = {};
    if (FILE *file = std::fopen(path.c_str(), "rb")) {
        result.version.assign(signature, std::fread(signature, 1, sizeof signature, file));
        std::fclose(file);
    }
    result.width = gif->SWidth;
    result.height = gif->SHeight;
    std::vector<uint32_t> canvas(static_cast<size_t>(gif->SWidth) * gif->SHeight, 0);
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage &image = gif->SavedImages[i];
        for (int e = 0; e < image.ExtensionBlockCount; ++e) {
            const ExtensionBlock &block = image.ExtensionBlocks[e];
            if (block.Function == APPLICATION_EXT_FUNC_CODE && block.ByteCount == 11 &&
                std::memcmp(block.Bytes, "NETSCAPE2.0", 11) == 0 && e + 1 < image.ExtensionBlockCount) {
                const ExtensionBlock &data = image.ExtensionBlocks[e + 1];
                result.loopsForever = data.ByteCount == 3 && data.Bytes[0] == 1 && data.Bytes[1] == 0 &&
                                      data.Bytes[2] == 0;
            }
        }
        GraphicsControlBlock control = {};
        if (DGifSavedExtensionToGCB(gif, i, &control) != GIF_OK) {
            ADD_FAILURE() << "frame " << i << " has no graphics control block";
            break;
        }
        EXPECT_EQ(control.DisposalMode, DISPOSE_DO_NOT) << "frame " << i;
        const GifImageDesc &desc = image.ImageDesc;
        const ColorMapObject *table = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
        EXPECT_FALSE(desc.Interlace);
        if (table == nullptr || desc.Left + desc.Width > gif->SWidth || desc.Top + desc.Height > gif->SHeight) {
            ADD_FAILURE() << "frame " << i << " has no colour table or lies outside the screen";
            break;
        }
        for (int y = 0; y < desc.Height; ++y) {
            for (int x = 0; x < desc.Width; ++x) {
                const int index = image.RasterBits[y * desc.Width + x];
                if (index == control.TransparentColor)
                    continue;
                EXPECT_LT(index, table->ColorCount);
                const GifColorType c = table->Colors[index];
                canvas[static_cast<size_t>(desc.Top + y) * gif->SWidth + desc.Left + x] =
                    static_cast<uint32_t>(c.Red) << 16 | c.Green << 8 | c.Blue;
            }
        }
        result.frames.push_back(canvas);
        result.delays.push_back(control.DelayTime);
        result.rects.push_back({desc.Left, desc.Top, desc.Width, desc.Height});
        result.localTables.push_back(desc.ColorMap != nullptr);
    }
    result.ok = true;
    DGifCloseFile(gif, &error);
    return result;
}
