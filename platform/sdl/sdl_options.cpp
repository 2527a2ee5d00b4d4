// The command line of the Linux program, read before anything of SDL or the program starts.
#include "platform/sdl/sdl_options.h"

#include <cstring>

static const char *const Usage = "usage: tracker-screen [--window]";

static const char *const Help =
    "usage: tracker-screen [--window]\n"
    "\n"
    "Shows a music tracker's main screen, drawn by software at 640 x 480 and shown at the largest\n"
    "whole scale that fits, centred on black: full screen, or in a window.\n"
    "\n"
    "  --window   start in a window (Alt+Enter switches between a window and full screen)\n"
    "  -h, --help show this and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "Keys: Alt+Enter full screen or window, Space the frame rate, Escape quits.\n"
    "\n"
    "Exit status: 0 when it was closed or quit, 2 for bad arguments.\n";

int OPTIONS_Read(int argc, char **argv, bool *window, FILE *out, FILE *err)
{
    *window = false;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
            std::fputs(Help, out);
            return std::fflush(out) == 0 && !std::ferror(out) ? 0 : 1;
        }
        if (std::strcmp(arg, "--version") == 0) {
            std::fprintf(out, "tracker-screen %s\n", TRACKER_VERSION);
            return std::fflush(out) == 0 && !std::ferror(out) ? 0 : 1;
        }
        if (std::strcmp(arg, "--window") == 0) {
            *window = true;
            continue;
        }
        std::fprintf(err, "tracker-screen: %s '%s' (%s)\n", arg[0] == '-' ? "unknown option" : "unexpected argument",
                     arg, Usage);
        std::fflush(err);
        return 2;
    }
    return -1;
}
