// The compositor's globals the Wayland frames use, bound on a queue of our own, and the scales
// of the outputs a surface is on. Bound once for the connection and kept while it lasts: SDL's
// surface is told of our outputs too, and SDL's handler would crash on one we had destroyed.
#pragma once

#include <wayland-client.h>

#include <string>

struct wp_viewporter;
struct wp_fractional_scale_manager_v1;

struct WLGLOBAL_Bound {
    wl_shm *shm;                                // shared memory, which takes XRGB8888
    wl_compositor *compositor;                  // version 4 or later: damage in buffer units
    wl_subcompositor *subcompositor;            // the frames' surface over the window's
    wp_viewporter *viewporter;                  // NULL where not offered
    wp_fractional_scale_manager_v1 *fractional; // NULL where not offered
};
extern WLGLOBAL_Bound WLGLOBAL_Globals;

// Binds the globals of `display`'s compositor on our queue, unless they are bound already, and
// waits for their first events; false, with the reason, when one the frames need is missing.
bool WLGLOBAL_Bind(wl_display *display, std::string *why);
// Our queue, and the display as a proxy whose new objects report to it; NULL before Bind.
wl_event_queue *WLGLOBAL_Queue();
wl_display *WLGLOBAL_OnQueue();
// Everything bound goes, for a connection that is about to close with no other client library
// on it (a test's); the program keeps them while SDL's connection lasts.
void WLGLOBAL_Drop();
// Follows the outputs `surface` enters and leaves.
void WLGLOBAL_Watch(wl_surface *surface);
// The largest whole scale of the outputs the watched surface is on; before it is on any, of all
// outputs (a full-screen window goes on one of them); 1 without outputs.
int WLGLOBAL_OutputScale();
