#include "tools/gif_file.h"

#include <gif_lib.h>

#include <unordered_map>

static const uint32_t Rgb = 0x00FFFFFF;

int32_t GIF_Delay(uint64_t frame, int32_t fps)
{
    const uint64_t half = static_cast<uint64_t>(fps) / 2;
    return static_cast<int32_t>((100 * (frame + 1) + half) / fps - (100 * frame + half) / fps);
}

static int WriteBytes(GifFileType *gif, const GifByteType *data, int size)
{
    return OUT_Write(static_cast<OutputFile *>(gif->UserData), data, static_cast<size_t>(size)) ? size : 0;
}

// Records why giflib failed: the file's own error when the writing failed, else giflib's reason.
static bool Failed(GifAnimation *animation, int gifError)
{
    if (animation->file.error != 0 || gifError == E_GIF_ERR_WRITE_FAILED)
        animation->failure = OUT_Failure(animation->file);
    else
        animation->failure = "cannot write " + animation->file.path + ": " + GifErrorString(gifError);
    return false;
}

// The smallest table a GIF allows that holds `count` colours: a power of two from 2 to 256.
static int32_t TableSize(size_t count)
{
    int32_t size = 2;
    while (static_cast<size_t>(size) < count)
        size *= 2;
    return size;
}

static ColorMapObject *MakeTable(const std::vector<uint32_t> &colours, size_t count)
{
    ColorMapObject *table = GifMakeMapObject(TableSize(count), nullptr);
    if (table == nullptr)
        return nullptr;
    for (int32_t i = 0; i < table->ColorCount; ++i) {
        const uint32_t colour = static_cast<size_t>(i) < count ? colours[i] : 0;
        table->Colors[i] = {static_cast<GifByteType>(colour >> 16), static_cast<GifByteType>(colour >> 8),
                            static_cast<GifByteType>(colour)};
    }
    return table;
}

// The colour indices of the rectangle, taking new colours into the table as they come; false
// past 256 colours, which a GIF cannot keep apart.
static bool IndexRectangle(GifAnimation *animation, std::unordered_map<uint32_t, uint8_t> *lookup,
                           const uint32_t *frame, int32_t left, int32_t top, int32_t w, int32_t h,
                           size_t *highest)
{
    animation->indices.resize(static_cast<size_t>(w) * h);
    uint32_t lastColour = ~0u;
    uint8_t lastIndex = 0;
    size_t out = 0;
    *highest = 0;
    for (int32_t y = top; y < top + h; ++y) {
        const uint32_t *row = frame + static_cast<size_t>(y) * animation->width + left;
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t colour = row[x] & Rgb;
            if (colour != lastColour) {
                auto found = lookup->find(colour);
                if (found == lookup->end()) {
                    if (animation->colours.size() == 256)
                        return false;
                    found = lookup->emplace(colour, static_cast<uint8_t>(animation->colours.size())).first;
                    animation->colours.push_back(colour);
                }
                lastColour = colour;
                lastIndex = found->second;
                if (lastIndex > *highest)
                    *highest = lastIndex;
            }
            animation->indices[out++] = lastIndex;
        }
    }
    return true;
}

bool GIF_Begin(GifAnimation *animation, const std::string &path, int32_t width, int32_t height,
               int32_t fps)
{
    animation->gif = nullptr;
    animation->width = width;
    animation->height = height;
    animation->fps = fps;
    animation->frames = 0;
    animation->shown.assign(static_cast<size_t>(width) * height, 0);
    animation->colours.clear();
    animation->globalColours = 0;
    animation->failure.clear();
    if (!OUT_Open(&animation->file, path)) {
        animation->failure = OUT_Failure(animation->file);
        return false;
    }
    return true;
}

// The first frame's colours become the global table; the file starts with the screen, that
// table and the endless loop.
static bool StartFile(GifAnimation *animation)
{
    int error = 0;
    animation->gif = EGifOpen(&animation->file, WriteBytes, &error);
    if (animation->gif == nullptr)
        return Failed(animation, error);
    EGifSetGifVersion(animation->gif, true);
    // The table's padding up to a power of two is black, not a colour a later frame may use.
    animation->globalColours = static_cast<int32_t>(animation->colours.size());
    ColorMapObject *table = MakeTable(animation->colours, animation->colours.size());
    if (table == nullptr)
        return Failed(animation, E_GIF_ERR_NOT_ENOUGH_MEM);
    const bool written =
        EGifPutScreenDesc(animation->gif, animation->width, animation->height, 8, 0, table) == GIF_OK;
    GifFreeMapObject(table);
    static const GifByteType Netscape[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    static const GifByteType LoopForever[] = {1, 0, 0};
    if (!written || EGifPutExtensionLeader(animation->gif, APPLICATION_EXT_FUNC_CODE) != GIF_OK ||
        EGifPutExtensionBlock(animation->gif, sizeof Netscape, Netscape) != GIF_OK ||
        EGifPutExtensionBlock(animation->gif, sizeof LoopForever, LoopForever) != GIF_OK ||
        EGifPutExtensionTrailer(animation->gif) != GIF_OK)
        return Failed(animation, animation->gif->Error);
    return true;
}

// The rectangle around every pixel whose colour differs from what is on show; for an unchanged
// frame, which still takes its time on screen, the top-left pixel as it is.
static void ChangedRectangle(const GifAnimation *animation, const uint32_t *frame, int32_t *left,
                             int32_t *top, int32_t *right, int32_t *bottom)
{
    const int32_t width = animation->width;
    *top = animation->height, *bottom = -1, *left = width, *right = -1;
    for (int32_t y = 0; y < animation->height; ++y) {
        const uint32_t *now = frame + static_cast<size_t>(y) * width;
        const uint32_t *was = animation->shown.data() + static_cast<size_t>(y) * width;
        int32_t first = 0;
        while (first < width && ((now[first] ^ was[first]) & Rgb) == 0)
            ++first;
        if (first == width)
            continue;
        int32_t last = width - 1;
        while (((now[last] ^ was[last]) & Rgb) == 0)
            --last;
        *top = *top < y ? *top : y;
        *bottom = y;
        *left = *left < first ? *left : first;
        *right = *right > last ? *right : last;
    }
    if (*bottom < 0)
        *top = *bottom = *left = *right = 0;
}

bool GIF_AddFrame(GifAnimation *animation, const uint32_t *frame)
{
    const int32_t width = animation->width;
    int32_t left = 0, top = 0, right = width - 1, bottom = animation->height - 1;
    if (animation->gif != nullptr)
        ChangedRectangle(animation, frame, &left, &top, &right, &bottom);
    const int32_t w = right - left + 1, h = bottom - top + 1;

    // The colour lookup follows the table; rebuilt each frame, it costs nothing next to one.
    std::unordered_map<uint32_t, uint8_t> lookup;
    for (size_t i = 0; i < animation->colours.size(); ++i)
        lookup.emplace(animation->colours[i], static_cast<uint8_t>(i));
    size_t highest = 0;
    if (!IndexRectangle(animation, &lookup, frame, left, top, w, h, &highest)) {
        animation->failure = "cannot write " + animation->file.path +
                             ": the frames hold more than the 256 colours a GIF can keep apart";
        return false;
    }
    if (animation->gif == nullptr && !StartFile(animation))
        return false;

    GraphicsControlBlock control = {};
    control.DisposalMode = DISPOSE_DO_NOT;
    control.UserInputFlag = false;
    control.DelayTime = GIF_Delay(animation->frames, animation->fps);
    control.TransparentColor = NO_TRANSPARENT_COLOR;
    GifByteType extension[4];
    EGifGCBToExtension(&control, extension);
    // Colours first seen after the first frame lie beyond the global table: such a frame
    // carries a table of its own with every colour so far.
    ColorMapObject *local = nullptr;
    if (highest >= static_cast<size_t>(animation->globalColours)) {
        local = MakeTable(animation->colours, animation->colours.size());
        if (local == nullptr)
            return Failed(animation, E_GIF_ERR_NOT_ENOUGH_MEM);
    }
    // giflib forgets, without freeing, the copy it keeps of the last frame's own table when the
    // next frame has none.
    if (local == nullptr && animation->gif->Image.ColorMap != nullptr) {
        GifFreeMapObject(animation->gif->Image.ColorMap);
        animation->gif->Image.ColorMap = nullptr;
    }
    bool written = EGifPutExtension(animation->gif, GRAPHICS_EXT_FUNC_CODE, sizeof extension, extension) == GIF_OK &&
                   EGifPutImageDesc(animation->gif, left, top, w, h, false, local) == GIF_OK;
    for (int32_t y = 0; written && y < h; ++y)
        written = EGifPutLine(animation->gif, animation->indices.data() + static_cast<size_t>(y) * w, w) == GIF_OK;
    GifFreeMapObject(local);
    if (!written)
        return Failed(animation, animation->gif->Error);

    for (int32_t y = top; y <= bottom; ++y) {
        for (int32_t x = left; x <= right; ++x) {
            const size_t i = static_cast<size_t>(y) * width + x;
            animation->shown[i] = frame[i] & Rgb;
        }
    }
    ++animation->frames;
    return true;
}

bool GIF_Finish(GifAnimation *animation)
{
    if (animation->gif == nullptr) {
        animation->failure = "cannot write " + animation->file.path + ": no frames";
        OUT_Abandon(&animation->file);
        return false;
    }
    int error = 0;
    const bool closed = EGifCloseFile(animation->gif, &error) == GIF_OK;
    animation->gif = nullptr;
    if (!closed) {
        Failed(animation, error);
        OUT_Abandon(&animation->file);
        return false;
    }
    if (!OUT_Commit(&animation->file)) {
        animation->failure = OUT_Failure(animation->file);
        return false;
    }
    return true;
}

void GIF_Abandon(GifAnimation *animation)
{
    if (animation->gif != nullptr) {
        int error = 0;
        EGifCloseFile(animation->gif, &error);
        animation->gif = nullptr;
    }
    OUT_Abandon(&animation->file);
}
