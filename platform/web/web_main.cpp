// The web build's entry: hands over to the program's WinMain as Windows would, then tells the
// page how the program ended.
#include "platform/emulation/emulation.h"

extern "C" void web_end(int status);

static char moduleToken;  // stands for the program's module handle

int main()
{
    char commandLine[] = "";
    const int status = WinMain(reinterpret_cast<HINSTANCE>(&moduleToken), NULL, commandLine, SW_SHOWDEFAULT);
    web_end(status);
    return status;
}
