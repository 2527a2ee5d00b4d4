// The SDL build's entry: hands over to the program's WinMain as Windows would.
#define SDL_MAIN_HANDLED
#include <SDL.h>

#include <string>

#include "platform/emulation/emulation.h"
#include "platform/sdl/sdl_options.h"

static char moduleToken;  // stands for the program's module handle

int main(int argc, char **argv)
{
    bool window;
    const int asked = OPTIONS_Read(argc, argv, &window, stdout, stderr);
    if (asked >= 0)
        return asked;
    SDLHOST_StartInWindow(window);
    SDL_SetMainReady();
    // Windows passes the arguments after the program's name as one line; the host read them all.
    std::string commandLine;
    const int status = WinMain(reinterpret_cast<HINSTANCE>(&moduleToken), NULL, commandLine.data(),
                               SW_SHOWDEFAULT);
    // Here, not at exit: when the X server goes away Xlib exits from its error handler, and a
    // shutdown that talks to the dead server then would never finish.
    SDL_Quit();
    return status;
}
