// The compositor's globals for the Wayland frames, and the outputs' scales: everything reports to
// our own queue, so SDL's dispatching never sees it.
#include "platform/sdl/sdl_wayland_globals.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "fractional-scale-v1-client-protocol.h"
#include "viewporter-client-protocol.h"

WLGLOBAL_Bound WLGLOBAL_Globals;

static wl_display *boundTo;        // the connection they are bound on
static wl_event_queue *queue;      // our events
static wl_display *displayOnQueue; // the display as a proxy whose new objects report to our queue
static wl_registry *registry;
static bool xrgb;  // the compositor's shared memory takes the frame's own layout

struct Output {
    uint32_t name;      // the registry's
    wl_output *output;
    int scale;          // 1 until told
};
static std::vector<Output> outputs;
static std::vector<wl_output *> entered;  // the outputs the watched surface is on

static void Format(void *, wl_shm *, uint32_t format)
{
    if (format == WL_SHM_FORMAT_XRGB8888)
        xrgb = true;
}
static const wl_shm_listener shmListener = {.format = Format};

static void Geometry(void *, wl_output *, int32_t, int32_t, int32_t, int32_t, int32_t, const char *, const char *, int32_t) {}
static void Mode(void *, wl_output *, uint32_t, int32_t, int32_t, int32_t) {}
static void Done(void *, wl_output *) {}
static void Scale(void *, wl_output *output, int32_t factor)
{
    for (Output &each : outputs)
        if (each.output == output)
            each.scale = std::max(1, (int)factor);
}
// Filled member by member: later libraries' listeners have more, for versions not bound.
static wl_output_listener OutputListener()
{
    wl_output_listener listener = {};
    listener.geometry = Geometry;
    listener.mode = Mode;
    listener.done = Done;
    listener.scale = Scale;
    return listener;
}
static const wl_output_listener outputListener = OutputListener();

static void Global(void *, wl_registry *from, uint32_t name, const char *interface, uint32_t version)
{
    WLGLOBAL_Bound &bound = WLGLOBAL_Globals;
    if (!bound.shm && strcmp(interface, wl_shm_interface.name) == 0) {
        bound.shm = static_cast<wl_shm *>(wl_registry_bind(from, name, &wl_shm_interface, 1));
        wl_shm_add_listener(bound.shm, &shmListener, NULL);
    } else if (!bound.compositor && strcmp(interface, wl_compositor_interface.name) == 0 && version >= 4) {
        // Version 4 and no later: damage in buffer units, and no events past enter and leave.
        bound.compositor = static_cast<wl_compositor *>(wl_registry_bind(from, name, &wl_compositor_interface, 4));
    } else if (!bound.subcompositor && strcmp(interface, wl_subcompositor_interface.name) == 0) {
        bound.subcompositor = static_cast<wl_subcompositor *>(wl_registry_bind(from, name, &wl_subcompositor_interface, 1));
    } else if (!bound.viewporter && strcmp(interface, wp_viewporter_interface.name) == 0) {
        bound.viewporter = static_cast<wp_viewporter *>(wl_registry_bind(from, name, &wp_viewporter_interface, 1));
    } else if (!bound.fractional && strcmp(interface, wp_fractional_scale_manager_v1_interface.name) == 0) {
        bound.fractional = static_cast<wp_fractional_scale_manager_v1 *>(
            wl_registry_bind(from, name, &wp_fractional_scale_manager_v1_interface, 1));
    } else if (strcmp(interface, wl_output_interface.name) == 0 && version >= 2) {
        // Version 2 tells the scale; later ones only add names.
        wl_output *output = static_cast<wl_output *>(wl_registry_bind(from, name, &wl_output_interface, 2));
        wl_output_add_listener(output, &outputListener, NULL);
        outputs.push_back(Output{name, output, 1});
    }
}

// An output unplugged: the surface is no longer on it. Its proxy stays (see the header).
static void GlobalGone(void *, wl_registry *, uint32_t name)
{
    for (auto each = outputs.begin(); each != outputs.end(); ++each)
        if (each->name == name) {
            entered.erase(std::remove(entered.begin(), entered.end(), each->output), entered.end());
            each->scale = 0;
            return;
        }
}
static const wl_registry_listener registryListener = {.global = Global, .global_remove = GlobalGone};

bool WLGLOBAL_Bind(wl_display *display, std::string *why)
{
    if (boundTo != display) {
        WLGLOBAL_Drop();
        boundTo = display;
        queue = wl_display_create_queue(display);
        displayOnQueue = static_cast<wl_display *>(wl_proxy_create_wrapper(display));
        if (!queue || !displayOnQueue) {
            *why = "out of memory for the Wayland proxies";
            return false;
        }
        wl_proxy_set_queue(reinterpret_cast<wl_proxy *>(displayOnQueue), queue);
        registry = wl_display_get_registry(displayOnQueue);
        wl_registry_add_listener(registry, &registryListener, NULL);
        // The first round binds; the second brings what the bound objects tell at once (formats, scales).
        if (wl_display_roundtrip_queue(display, queue) < 0 || wl_display_roundtrip_queue(display, queue) < 0) {
            *why = "the compositor does not answer";
            return false;
        }
    }
    const WLGLOBAL_Bound &bound = WLGLOBAL_Globals;
    if (!bound.shm)
        *why = "the compositor offers no shared memory (wl_shm)";
    else if (!xrgb)
        *why = "the compositor's shared memory does not take XRGB8888";
    else if (!bound.compositor)
        *why = "the compositor offers no wl_compositor of version 4 or later";
    else if (!bound.subcompositor)
        *why = "the compositor offers no sub-surfaces (wl_subcompositor)";
    else
        return true;
    return false;
}

void WLGLOBAL_Drop()
{
    WLGLOBAL_Bound &bound = WLGLOBAL_Globals;
    if (bound.fractional)
        wp_fractional_scale_manager_v1_destroy(bound.fractional);
    if (bound.viewporter)
        wp_viewporter_destroy(bound.viewporter);
    if (bound.subcompositor)
        wl_subcompositor_destroy(bound.subcompositor);
    if (bound.compositor)
        wl_compositor_destroy(bound.compositor);
    if (bound.shm)
        wl_shm_destroy(bound.shm);
    for (Output &each : outputs)
        wl_output_destroy(each.output);
    if (registry)
        wl_registry_destroy(registry);
    if (displayOnQueue)
        wl_proxy_wrapper_destroy(displayOnQueue);
    if (queue)
        wl_event_queue_destroy(queue);
    bound = WLGLOBAL_Bound{};
    outputs.clear();
    entered.clear();
    registry = NULL;
    displayOnQueue = NULL;
    queue = NULL;
    boundTo = NULL;
    xrgb = false;
}

wl_event_queue *WLGLOBAL_Queue() { return queue; }
wl_display *WLGLOBAL_OnQueue() { return displayOnQueue; }

// The compositor tells of SDL's outputs too, each output once for every binding of it: ours count.
static void Enter(void *, wl_surface *, wl_output *output)
{
    for (const Output &each : outputs)
        if (output && each.output == output && std::find(entered.begin(), entered.end(), output) == entered.end())
            entered.push_back(output);
}
static void Leave(void *, wl_surface *, wl_output *output)
{
    entered.erase(std::remove(entered.begin(), entered.end(), output), entered.end());
}
static wl_surface_listener SurfaceListener()
{
    wl_surface_listener listener = {};
    listener.enter = Enter;
    listener.leave = Leave;
    return listener;
}
static const wl_surface_listener surfaceListener = SurfaceListener();

void WLGLOBAL_Watch(wl_surface *surface)
{
    entered.clear();
    wl_surface_add_listener(surface, &surfaceListener, NULL);
}

int WLGLOBAL_OutputScale()
{
    int scale = 1;
    for (const Output &each : outputs)
        if (entered.empty() || std::find(entered.begin(), entered.end(), each.output) != entered.end())
            scale = std::max(scale, each.scale);
    return scale;
}
