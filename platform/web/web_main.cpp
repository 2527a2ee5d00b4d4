// The web build's entry: checks it is of its page's release, hands over to the program's WinMain
// as Windows would, then tells the page how the program ended.
#include "platform/emulation/emulation.h"

extern "C" void web_end(int status);
extern "C" int web_same_version(const char *version);

static char moduleToken;  // stands for the program's module handle

int main()
{
    // A module of another release than its page never runs: the page reloads, or says why.
    if (!web_same_version(TRACKER_VERSION))
        return 1;
    char commandLine[] = "";
    const int status = WinMain(reinterpret_cast<HINSTANCE>(&moduleToken), NULL, commandLine, SW_SHOWDEFAULT);
    web_end(status);
    return status;
}
