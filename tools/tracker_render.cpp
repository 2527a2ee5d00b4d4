// tracker-render: renders frames of the scene for given clock values and writes them as images.
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
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
#include "tools/video_file.h"

#define TRACKER_USAGE                                                                                \
    "usage: tracker-render [--out DIR|- [--raw]] [--gif FILE] [--video FILE [--lossless]] [--quiet]\n" \
    "                      (SECONDS... | --from SECONDS --to SECONDS --fps N)"
static const char *const Usage = TRACKER_USAGE;

static const char *const Help =
    TRACKER_USAGE "\n"
    "\n"
    "Renders frames of the tracker screen, in order, in one scene (the pattern generator carries\n"
    "on from frame to frame as in the running program): one for each clock value given, or for\n"
    "the clock values SECONDS, SECONDS + 1/N, ... before the --to value.\n"
    "\n"
    "  --out DIR       write DIR/frame-0000.png, DIR/frame-0001.png, ... (more digits past\n"
    "                  10000 frames, so that the names always sort in frame order)\n"
    "  --raw           also write DIR/frame-NNNN.raw: the frame's 640 x 480 32-bit words\n"
    "                  0xAARRGGBB, little-endian, top byte included\n"
    "  --out - --raw   write the raw frames one after another to standard output, for a pipe:\n"
    "                    tracker-render --out - --raw --from 0 --to 10 --fps 60 |\n"
    "                    ffmpeg -f rawvideo -pixel_format bgra -video_size 640x480 \\\n"
    "                    -framerate 60 -i - out.mkv\n"
    "  --gif FILE      write the frames as one endlessly looping GIF that keeps every colour\n"
    "                  exactly; needs --from, --to and --fps, at most 50 frames a second\n"
    "  --video FILE    write the frames as a video: FILE.webm is VP9, FILE.mp4 is AV1, both\n"
    "                  with full chroma (4:4:4) so one-pixel lines keep their colour; needs\n"
    "                  --from, --to and --fps, at most 240 frames a second\n"
    "  --lossless      make the video keep every pixel's colour exactly (a larger file)\n"
    "  --quiet         show no progress (shown only when standard error is a terminal)\n"
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

// The usage on one line, for messages that must stay one line.
static std::string OneLine(const char *text)
{
    std::string line;
    for (const char *c = text; *c != '\0'; ++c) {
        if (*c == '\n') {
            while (c[1] == ' ')
                ++c;
            line += ' ';
        } else {
            line += *c;
        }
    }
    return line;
}

// One line on standard error: what was wrong, then how to call the tool.
static int UsageError(const std::string &reason)
{
    std::fprintf(stderr, "tracker-render: %s (%s)\n", reason.c_str(), OneLine(Usage).c_str());
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

// What a run writes, from the arguments.
struct Outputs {
    const char *outDir;    // a folder for frame files, "-" for standard output, or null
    bool raw;
    const char *gifPath;   // or null
    const char *videoPath; // or null
    bool lossless;
    bool progress;         // a line on the terminal that standard error is
};

// The files open while a run goes on, owned by main so that whatever ends the run removes them.
struct OpenFiles {
    OutputFile file;
    GifAnimation animation;
    VideoFile video;
};

// One line on the terminal, rewritten in place: frames done of the total, the rate, time left.
class Progress {
public:
    Progress(bool shown, uint64_t total) : shown_(shown), total_(total), start_(Clock::now()), last_(start_) {}
    void Done(uint64_t done)
    {
        const Clock::time_point now = Clock::now();
        // A few times a second is enough to read, and costs nothing next to a frame.
        if (!shown_ || (now - last_ < std::chrono::milliseconds(200) && done < total_))
            return;
        last_ = now;
        const double seconds = std::chrono::duration<double>(now - start_).count();
        const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0.0;
        const double left = rate > 0 ? static_cast<double>(total_ - done) / rate : 0.0;
        std::fprintf(stderr, "\r%llu of %llu frames, %.1f frames a second, %.0f s left\033[K",
                     static_cast<unsigned long long>(done), static_cast<unsigned long long>(total_), rate, left);
        std::fflush(stderr);
        OUT_ProgressShown(true);
    }
    // Leaves the terminal's line as it was, before a message or at the end.
    void Clear()
    {
        if (shown_) {
            std::fputs("\r\033[K", stderr);
            std::fflush(stderr);
            OUT_ProgressShown(false);
        }
    }

private:
    using Clock = std::chrono::steady_clock;
    bool shown_;
    uint64_t total_;
    Clock::time_point start_, last_;
};

// Ends a failed run: removes whatever is unfinished, says why on one line, status 1.
static int Fail(OpenFiles *open, Progress *progress, const std::string &failure)
{
    OUT_Abandon(&open->file);
    GIF_Abandon(&open->animation);
    VID_Abandon(&open->video);
    progress->Clear();
    std::fprintf(stderr, "tracker-render: %s\n", failure.c_str());
    return 1;
}

// The frame's files in the folder, or its raw words on standard output.
static bool WriteFrameFiles(const Outputs &outputs, OutputFile *file, const uint32_t *frame, uint64_t n,
                            uint64_t count)
{
    const int32_t width = DisplayConfig.width, height = DisplayConfig.height;
    const size_t pixels = static_cast<size_t>(width) * height;
    if (std::strcmp(outputs.outDir, "-") == 0) {
        file->path = "standard output";
        file->stream = stdout;
        file->error = 0;
        bool written = IMG_WriteRaw(file, frame, pixels);
        // Each frame whole to the reader at once, not when the buffer fills.
        if (written && std::fflush(stdout) != 0) {
            file->error = errno ? errno : EIO;
            written = false;
        }
        file->stream = nullptr;
        return written;
    }
    const std::string name = std::string(outputs.outDir) + "/" + IMG_FrameName(n, count);
    bool written = OUT_Open(file, name + ".png") && IMG_WritePng(file, frame, width, height) && OUT_Commit(file);
    if (written && outputs.raw)
        written = OUT_Open(file, name + ".raw") && IMG_WriteRaw(file, frame, pixels) && OUT_Commit(file);
    return written;
}

// Renders every frame and writes its files; the exit status.
static int Render(const Outputs &outputs, const Clocks &clocks, OpenFiles *open)
{
    const int32_t width = DisplayConfig.width;
    const int32_t height = DisplayConfig.height;
    const size_t pixels = static_cast<size_t>(width) * height;
    const uint64_t count = ClockCount(clocks);
    Progress progress(outputs.progress, count);
    // Zero-filled, so whatever the scene never writes comes out black; freed on every way out.
    std::vector<uint32_t> frameMemory(pixels, 0);
    uint32_t *frame = frameMemory.data();
    if (!FFX_Init(frame))
        return Fail(open, &progress, "out of memory");
    if (outputs.gifPath != nullptr && !GIF_Begin(&open->animation, outputs.gifPath, width, height, clocks.fps))
        return Fail(open, &progress, open->animation.failure);
    if (outputs.videoPath != nullptr &&
        !VID_Begin(&open->video, outputs.videoPath, width, height, clocks.fps, outputs.lossless))
        return Fail(open, &progress, open->video.failure);
    for (uint64_t n = 0; n < count; ++n) {
        FFX_Render(frame, ClockAt(clocks, n));
        if (outputs.outDir != nullptr && !WriteFrameFiles(outputs, &open->file, frame, n, count))
            return Fail(open, &progress, OUT_Failure(open->file));
        if (outputs.gifPath != nullptr && !GIF_AddFrame(&open->animation, frame))
            return Fail(open, &progress, open->animation.failure);
        if (outputs.videoPath != nullptr && !VID_AddFrame(&open->video, frame))
            return Fail(open, &progress, open->video.failure);
        progress.Done(n + 1);
    }
    if (outputs.gifPath != nullptr && !GIF_Finish(&open->animation))
        return Fail(open, &progress, open->animation.failure);
    if (outputs.videoPath != nullptr && !VID_Finish(&open->video))
        return Fail(open, &progress, open->video.failure);
    progress.Clear();
    FFX_Shutdown();
    return 0;
}

int main(int argc, char **argv)
{
    const char *fromText = nullptr, *toText = nullptr, *fpsText = nullptr;
    Outputs outputs = {};
    bool quiet = false;
    Clocks clocks = {};
    struct ValueOption {
        const char *name;
        const char **value;
        const char *what;
    };
    const ValueOption valueOptions[] = {
        {"--out", &outputs.outDir, "a folder"},      {"--gif", &outputs.gifPath, "a file name"},
        {"--video", &outputs.videoPath, "a file name"}, {"--from", &fromText, "a clock value"},
        {"--to", &toText, "a clock value"},          {"--fps", &fpsText, "a frame rate"},
    };
    struct FlagOption {
        const char *name;
        bool *value;
    };
    const FlagOption flagOptions[] = {{"--raw", &outputs.raw}, {"--lossless", &outputs.lossless}, {"--quiet", &quiet}};
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        const ValueOption *option = nullptr;
        for (const ValueOption &candidate : valueOptions)
            option = std::strcmp(arg, candidate.name) == 0 ? &candidate : option;
        const FlagOption *flag = nullptr;
        for (const FlagOption &candidate : flagOptions)
            flag = std::strcmp(arg, candidate.name) == 0 ? &candidate : flag;
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
            // "--out -" alone is standard output.
            const bool isPath = option->value != &fromText && option->value != &toText && option->value != &fpsText;
            const bool standardOutput = option->value == &outputs.outDir && value != nullptr && std::strcmp(value, "-") == 0;
            if (value == nullptr || (isPath && IsOption(value) && !standardOutput) ||
                (!isPath && value[0] == '-' && value[1] == '-'))
                return UsageError(std::string(option->name) + " needs " + option->what);
            *option->value = value;
        } else if (flag != nullptr) {
            *flag->value = true;
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
        if (outputs.gifPath != nullptr && clocks.fps > 50)
            return UsageError("--gif plays at most 50 frames a second, not " + std::string(fpsText));
        if (outputs.videoPath != nullptr && clocks.fps > VideoMostFps)
            return UsageError("--video plays at most " + std::to_string(VideoMostFps) + " frames a second, not " +
                              std::string(fpsText));
    }
    if (outputs.outDir == nullptr && outputs.gifPath == nullptr && outputs.videoPath == nullptr)
        return UsageError("no --out folder, --gif file or --video file given");
    if (outputs.raw && outputs.outDir == nullptr)
        return UsageError("--raw needs --out");
    if (outputs.outDir != nullptr && std::strcmp(outputs.outDir, "-") == 0 && !outputs.raw)
        return UsageError("--out - writes raw frames only, and needs --raw");
    if (outputs.gifPath != nullptr && !clocks.ranged)
        return UsageError("--gif needs --from, --to and --fps, for the frames' delays");
    if (outputs.videoPath != nullptr) {
        if (VID_KindOf(outputs.videoPath) == nullptr)
            return UsageError("--video '" + std::string(outputs.videoPath) + "' is not a .webm or .mp4 file");
        if (!clocks.ranged)
            return UsageError("--video needs --from, --to and --fps, for the frames' times");
    }
    if (outputs.lossless && outputs.videoPath == nullptr)
        return UsageError("--lossless needs --video");
    if (!clocks.ranged && clocks.listed.empty())
        return UsageError("no clock value given");
    if (outputs.videoPath != nullptr) {
        std::string failure;
        // A build without video says so plainly: nothing on the machine can change it.
        if (!VID_Load(&failure))
            return std::fprintf(stderr, "tracker-render: %s\n", failure.c_str()), TRACKER_VIDEO ? 1 : 2;
        const std::string missing = VID_Missing(*VID_KindOf(outputs.videoPath));
        if (!missing.empty()) {
            std::fprintf(stderr, "tracker-render: cannot write %s: %s\n", outputs.videoPath, missing.c_str());
            return 1;
        }
    }
    outputs.progress = !quiet && isatty(STDERR_FILENO);

    OUT_Prepare();
    // Frames to a pipe that closes end the run with the reason, not silently by the signal.
    if (outputs.outDir != nullptr && std::strcmp(outputs.outDir, "-") == 0)
        std::signal(SIGPIPE, SIG_IGN);
    // Outside the body, so that a run out of memory anywhere removes what it had open.
    OpenFiles open;
    open.file.stream = nullptr;
    open.animation.file.stream = nullptr;
    open.animation.gif = nullptr;
    open.video.file.stream = nullptr;
    open.video.encoder = nullptr;
    try {
        return Render(outputs, clocks, &open);
    } catch (const std::bad_alloc &) {
        OUT_Abandon(&open.file);
        GIF_Abandon(&open.animation);
        VID_Abandon(&open.video);
        if (outputs.progress)
            std::fputs("\r\033[K", stderr);
        std::fprintf(stderr, "tracker-render: out of memory\n");
        return 1;
    }
}
