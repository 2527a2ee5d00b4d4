// The command line of the Linux program: --window, --help, --version.
#pragma once

#include <cstdio>

// Reads the arguments after the program's name. -1: run, *window telling whether in a window;
// otherwise the status to exit with, its text written already: 0 after --help on `out` or
// --version, 1 when that could not be written, 2 with the usage on `err` for a bad argument.
int OPTIONS_Read(int argc, char **argv, bool *window, FILE *out, FILE *err);

// The SDL host's side (sdl_window.cpp): the display window starts as a window.
void SDLHOST_StartInWindow(bool window);
