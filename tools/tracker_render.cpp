// tracker-render: renders frames of the scene for given clock values and writes them as images.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "scene/scene.h"
#include "tools/frame_files.h"
#include "tools/gif_file.h"
#include "tools/output_file.h"

static const char *const Usage =
    "usage: tracker-render [--out DIR [--raw]] [--gif FILE] (SECONDS... | --from SECONDS --to SECONDS --fps N)";

static const char *const Help =
    "usage: tracker-render [--out DIR [--raw]] [--gif FILE] (SECONDS... | --from SECONDS --to SECONDS --fps N)\n"
    "\n"
    "Renders frames of the tracker screen, in order, in one scene (the pattern generator carries\n"
    "on from frame to frame as in the running program): one for each clock value given, or for\n"
    "the clock values SECONDS, SECONDS + 1/N, ... before the --to value.\n"
    "\n"
    "  --out DIR       write DIR/frame-0000.png, DIR/frame-0001.png, ... (more digits past\n"
    "                  10000 frames, so that the names always sort in frame order)\n"
    "  --raw           also write DIR/frame-NNNN.raw: the frame's 640 x 480 32-bit words\n"
    "                  0xAARRGGBB, little-endian, top byte included\n"
    "  --gif FILE      write the frames as one endlessly looping GIF that keeps every colour\n"
    "                  exactly; needs --from, --to and --fps, at most 50 frames a second\n"
    "  --from SECONDS  the first frame's clock value\n"
    "  --to SECONDS    the clock value the frames stop before\n"
    "  --fps N         frames a second, a whole number from 1 to 1000\n"
    "  SECONDS         a clock value in seconds, held as a 32-bit float like the program's\n"
    "                  clock, from -214748360 to 214748360 (beyond, the tenth-second row\n"
    "                  step no longer fits a 32-bit integer)\n"
    "  -h, --help      show this and exit\n"
    "  --version       show the version and exit\n"
    "\n"
    "Exit status: 0 when every file was written, 1 when one could not be (nothing partial is\n"
    "left behind), 2 for bad arguments.\n";

static const char *const ClockRange = "a decimal number of seconds from -214748360 to 214748360";

// Reads a clock value as the frame loop would hold it: a decimal rounded once to a float.
// The pattern's row step, seconds * 10 truncated, must fit a signed 32-bit integer. Floats
// are 16 apart there, so the largest such float is 214748352 (its next, 214748368, steps
// past 2^31 - 1), and every decimal up to 214748360 rounds down onto it.
static bool ParseSeconds(const char *text, float *seconds)
{
    if (*text == '\0' || std::strspn(text, "0123456789+-.eE") != std::strlen(text))
        return false;
    char *end = nullptr;
    const float value = std::strtof(text, &end);
    if (*end != '\0' || !std::isfinite(value))
        return false;
    const double tenfold = static_cast<double>(value) * 10.0;
    if (!(tenfold > -2147483649.0 && tenfold < 2147483648.0))
        return false;
    *seconds = value;
    return true;
}

// One line on standard error: what was wrong, then how to call the tool.
static int UsageError(const std::string &reason)
{
    std::fprintf(stderr, "tracker-render: %s (%s)\n", reason.c_str(), Usage);
    return 2;
}

// A negative number is a clock value; anything else starting with '-' is an option.
static bool IsOption(const char *arg)
{
    return arg[0] == '-' && !(std::isdigit(static_cast<unsigned char>(arg[1])) || arg[1] == '.');
}

// A whole number of frames a second from 1 to 1000: the program's clock counts milliseconds.
static bool ParseFps(const char *text, int32_t *fps)
{
    if (*text == '\0' || std::strspn(text, "0123456789") != std::strlen(text) || std::strlen(text) > 4)
        return false;
    *fps = static_cast<int32_t>(std::strtol(text, nullptr, 10));
    return *fps >= 1 && *fps <= 1000;
}

// The clock values to render: the ones listed, or a range at a frame rate.
struct Clocks {
    std::vector<float> listed;
    bool ranged;
    double from, to; // the range's ends as given, before any rounding to float
    int32_t fps;
};

// Frame k of a range is at (from * fps + k) / fps, rounded once to a float, for every k below
// (to - from) * fps. Ends that are whole multiples of 1 / fps give whole products (a decimal's
// nearest double, times a small integer, rounds back onto the integer), so such a range holds
// exactly the frames a user counts, and frame k is the clock value its decimal would give.
static uint64_t ClockCount(const Clocks &clocks)
{
    if (!clocks.ranged)
        return clocks.listed.size();
    const double frames = std::ceil(clocks.to * clocks.fps - clocks.from * clocks.fps);
    return frames > 0 ? static_cast<uint64_t>(frames) : 0;
}

static float ClockAt(const Clocks &clocks, uint64_t n)
{
    if (!clocks.ranged)
        return clocks.listed[n];
    return static_cast<float>((clocks.from * clocks.fps + static_cast<double>(n)) / clocks.fps);
}

// The value after option argv[*i], which must be there and must not be another option.
static const char *OptionValue(int argc, char **argv, int *i)
{
    if (*i + 1 >= argc || argv[*i + 1][0] == '\0')
        return nullptr;
    return argv[++*i];
}

// Renders every frame and writes its files; the exit status. `file` and `animation` are the
// caller's, so that it can remove whatever is open when this ends by an exception.
static int Render(const char *outDir, bool raw, const char *gifPath, const Clocks &clocks,
                  OutputFile *file, GifAnimation *animation)
{
    const int32_t width = DisplayConfig.width;
    const int32_t height = DisplayConfig.height;
    const size_t pixels = static_cast<size_t>(width) * height;
    // Zero-filled, so whatever the scene never writes comes out black; freed on every way out.
    std::vector<uint32_t> frameMemory(pixels, 0);
    uint32_t *frame = frameMemory.data();
    if (!FFX_Init(frame)) {
        std::fprintf(stderr, "tracker-render: out of memory\n");
        return 1;
    }
    if (gifPath != nullptr && !GIF_Begin(animation, gifPath, width, height, clocks.fps)) {
        std::fprintf(stderr, "tracker-render: %s\n", animation->failure.c_str());
        return 1;
    }
    const uint64_t count = ClockCount(clocks);
    for (uint64_t n = 0; n < count; ++n) {
        FFX_Render(frame, ClockAt(clocks, n));
        bool written = true;
        if (outDir != nullptr) {
            const std::string name = std::string(outDir) + "/" + IMG_FrameName(n, count);
            written = OUT_Open(file, name + ".png") && IMG_WritePng(file, frame, width, height) &&
                      OUT_Commit(file);
            if (written && raw)
                written = OUT_Open(file, name + ".raw") && IMG_WriteRaw(file, frame, pixels) &&
                          OUT_Commit(file);
        }
        std::string failure = written ? "" : OUT_Failure(*file);
        if (written && gifPath != nullptr && !GIF_AddFrame(animation, frame)) {
            written = false;
            failure = animation->failure;
        }
        if (!written) {
            OUT_Abandon(file);
            if (gifPath != nullptr)
                GIF_Abandon(animation);
            std::fprintf(stderr, "tracker-render: %s\n", failure.c_str());
            return 1;
        }
    }
    if (gifPath != nullptr && !GIF_Finish(animation)) {
        std::fprintf(stderr, "tracker-render: %s\n", animation->failure.c_str());
        return 1;
    }
    FFX_Shutdown();
    return 0;
}

int main(int argc, char **argv)
{
    const char *outDir = nullptr, *gifPath = nullptr, *fromText = nullptr, *toText = nullptr,
               *fpsText = nullptr;
    bool raw = false;
    Clocks clocks = {};
    struct ValueOption {
        const char *name;
        const char **value;
        const char *what;
    };
    const ValueOption valueOptions[] = {
        {"--out", &outDir, "a folder"},       {"--gif", &gifPath, "a file name"},
        {"--from", &fromText, "a clock value"}, {"--to", &toText, "a clock value"},
        {"--fps", &fpsText, "a frame rate"},
    };
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        const ValueOption *option = nullptr;
        for (const ValueOption &candidate : valueOptions)
            option = std::strcmp(arg, candidate.name) == 0 ? &candidate : option;
        if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
            std::fputs(Help, stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        } else if (std::strcmp(arg, "--version") == 0) {
            std::printf("tracker-render %s\n", TRACKER_VERSION);
            return std::fflush(stdout) == 0 ? 0 : 1;
        } else if (option != nullptr) {
            if (*option->value != nullptr)
                return UsageError(std::string(option->name) + " given twice");
            const char *value = OptionValue(argc, argv, &i);
            // A path that looks like an option is a forgotten value; "./-name" reaches such a file.
            const bool isPath = option->value == &outDir || option->value == &gifPath;
            if (value == nullptr || (isPath && IsOption(value)) ||
                (!isPath && value[0] == '-' && value[1] == '-'))
                return UsageError(std::string(option->name) + " needs " + option->what);
            *option->value = value;
        } else if (std::strcmp(arg, "--raw") == 0) {
            raw = true;
        } else if (IsOption(arg)) {
            return UsageError("unknown option '" + std::string(arg) + "'");
        } else {
            float seconds = 0.0f;
            if (!ParseSeconds(arg, &seconds))
                return UsageError("'" + std::string(arg) + "' is not a clock value: " + ClockRange);
            clocks.listed.push_back(seconds);
        }
    }
    clocks.ranged = fromText != nullptr || toText != nullptr || fpsText != nullptr;
    if (clocks.ranged) {
        if (fromText == nullptr || toText == nullptr || fpsText == nullptr)
            return UsageError("--from, --to and --fps go together");
        if (!clocks.listed.empty())
            return UsageError("clock values and --from/--to/--fps do not go together");
        float end = 0.0f;
        if (!ParseSeconds(fromText, &end))
            return UsageError("--from '" + std::string(fromText) + "' is not a clock value: " + ClockRange);
        if (!ParseSeconds(toText, &end))
            return UsageError("--to '" + std::string(toText) + "' is not a clock value: " + ClockRange);
        if (!ParseFps(fpsText, &clocks.fps))
            return UsageError("--fps '" + std::string(fpsText) + "' is not a whole number from 1 to 1000");
        clocks.from = std::strtod(fromText, nullptr);
        clocks.to = std::strtod(toText, nullptr);
        if (ClockCount(clocks) == 0)
            return UsageError("--to must be later than --from");
        // Viewers show GIF delays under two hundredths of a second as a tenth.
        if (gifPath != nullptr && clocks.fps > 50)
            return UsageError("--gif plays at most 50 frames a second, not " + std::string(fpsText));
    }
    if (outDir == nullptr && gifPath == nullptr)
        return UsageError("no --out folder or --gif file given");
    if (raw && outDir == nullptr)
        return UsageError("--raw needs --out");
    if (gifPath != nullptr && !clocks.ranged)
        return UsageError("--gif needs --from, --to and --fps, for the frames' delays");
    if (!clocks.ranged && clocks.listed.empty())
        return UsageError("no clock value given");

    OUT_Prepare();
    // Outside the body, so that a run out of memory anywhere removes what it had open.
    OutputFile file;
    file.stream = nullptr;
    GifAnimation animation;
    animation.file.stream = nullptr;
    animation.gif = nullptr;
    try {
        return Render(outDir, raw, gifPath, clocks, &file, &animation);
    } catch (const std::bad_alloc &) {
        OUT_Abandon(&file);
        GIF_Abandon(&animation);
        std::fprintf(stderr, "tracker-render: out of memory\n");
        return 1;
    }
}
