// What the SDL host needs to know of Wayland beyond what SDL2 tells it.
#pragma once

// Whether the Wayland compositor that SDL would connect to answers but has no seat (no keyboard,
// pointer or touch), as a headless one: SDL 2.26 crashes inside its video start-up there.
bool WAYLAND_Seatless();
