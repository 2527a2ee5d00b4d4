// tracker-render: renders frames of the scene for given clock values and writes them as images.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "scene/scene.h"
#include "tools/frame_files.h"
#include "tools/output_file.h"

static const char *const Usage = "usage: tracker-render --out DIR [--raw] SECONDS...";

static const char *const Help =
    "usage: tracker-render --out DIR [--raw] SECONDS...\n"
    "\n"
    "Renders one frame of the tracker screen for each clock value, in the order given, in one\n"
    "scene (the pattern generator carries on from frame to frame as in the running program).\n"
    "\n"
    "  --out DIR   write DIR/frame-0000.png, DIR/frame-0001.png, ... (more digits when there\n"
    "              are more than 10000 frames, so the names always sort in frame order)\n"
    "  --raw       also write DIR/frame-NNNN.raw: the frame's 640 x 480 32-bit words\n"
    "              0xAARRGGBB, little-endian, top byte included\n"
    "  SECONDS     a clock value in seconds, held as a 32-bit float like the program's clock,\n"
    "              from -214748360 to 214748360 (beyond, the tenth-second row step no longer\n"
    "              fits a 32-bit integer)\n"
    "  -h, --help  show this and exit\n"
    "\n"
    "Exit status: 0 when every file was written, 1 when one could not be (nothing partial is\n"
    "left behind), 2 for bad arguments.\n";

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

int main(int argc, char **argv)
{
    std::string outDir;
    bool outGiven = false;
    bool raw = false;
    std::vector<float> clocks;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
            std::fputs(Help, stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        } else if (std::strcmp(arg, "--out") == 0) {
            if (outGiven)
                return UsageError("--out given twice");
            if (i + 1 >= argc || argv[i + 1][0] == '\0' || IsOption(argv[i + 1]))
                return UsageError("--out needs a folder");
            outDir = argv[++i];
            outGiven = true;
        } else if (std::strcmp(arg, "--raw") == 0) {
            raw = true;
        } else if (IsOption(arg)) {
            return UsageError("unknown option '" + std::string(arg) + "'");
        } else {
            float seconds = 0.0f;
            if (!ParseSeconds(arg, &seconds))
                return UsageError("'" + std::string(arg) +
                                  "' is not a clock value: a decimal number of seconds from "
                                  "-214748360 to 214748360");
            clocks.push_back(seconds);
        }
    }
    if (!outGiven)
        return UsageError("no --out folder given");
    if (clocks.empty())
        return UsageError("no clock value given");

    OUT_Prepare();
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
        const std::string name = outDir + "/" + IMG_FrameName(n, clocks.size());
        OutputFile file;
        bool written = OUT_Open(&file, name + ".png") &&
                       IMG_WritePng(&file, frame, width, height) && OUT_Commit(&file);
        if (written && raw)
            written = OUT_Open(&file, name + ".raw") && IMG_WriteRaw(&file, frame, pixels) &&
                      OUT_Commit(&file);
        if (!written) {
            OUT_Abandon(&file);
            std::fprintf(stderr, "tracker-render: %s\n", OUT_Failure(file).c_str());
            return 1;
        }
    }
    FFX_Shutdown();
    std::free(frame);
    return 0;
}
