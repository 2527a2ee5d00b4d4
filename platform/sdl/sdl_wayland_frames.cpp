// Frames in shared memory on a Wayland sub-surface of our own, in device pixels. Our own surface,
// since SDL keeps the window's for itself: its viewport and fractional scale, where it makes them,
// would clash with ours. Everything reports to a queue of our own, so that SDL's dispatching never
// sees our events and waiting for ours never runs SDL's.
#include "platform/sdl/sdl_wayland_frames.h"

#include <poll.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "fractional-scale-v1-client-protocol.h"
#include "platform/sdl/sdl_scale.h"
#include "platform/sdl/sdl_wayland_globals.h"
#include "viewporter-client-protocol.h"

static wl_display *display;         // the connection
static wl_event_queue *queue;       // our events (the globals')
static wl_surface *window;          // the toplevel's surface: black, under ours
static wl_surface *surface;         // ours, with the frames
static wl_subsurface *subsurface;
static wp_viewport *viewport;                   // where the compositor offers one
static wp_fractional_scale_v1 *fractionalScale; // likewise
static int preferred;               // the compositor's preferred scale in 120ths; 0 until told
static wl_callback *frameCallback;  // the compositor's word that it wants the next frame; NULL once given
static int frameWidth, frameHeight;
static FRAMES_Placement placed;
static FRAMES_Counts counts;
static long long lastCommit;        // when a frame was last committed, in milliseconds

// The buffers and the window's black one, in one file that the compositor maps too.
static struct Pool {
    int fd;
    uint8_t *memory;
    size_t size;
} pool = {-1, NULL, 0};
// Three: one the compositor shows, one it may still read until the next is shown, one to draw.
enum { BUFFERS = 3 };
static struct Buffer {
    wl_buffer *buffer;
    uint8_t *pixels;
    bool busy;    // the compositor holds it: attached and not yet released
    bool barred;  // its bars are black already
} buffers[BUFFERS];
static wl_buffer *black;            // the window's
static bool damageAll;              // the next frame goes into buffers whose bars the compositor has not seen

// How long a frame waits for the compositor to ask for it: a hidden window is asked for none, and
// must neither stop the program nor spin. After a second without, a frame goes anyway.
static const int waitLimit = 100, unaskedLimit = 1000;  // milliseconds

static long long Now()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (long long)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

static void Released(void *, wl_buffer *released)
{
    for (Buffer &each : buffers)
        if (each.buffer == released)
            each.busy = false;
}
static const wl_buffer_listener bufferListener = {.release = Released};

static void FrameAsked(void *, wl_callback *callback, uint32_t)
{
    wl_callback_destroy(callback);
    if (callback == frameCallback)
        frameCallback = NULL;
}
static const wl_callback_listener frameListener = {.done = FrameAsked};

static void PreferredScale(void *, wp_fractional_scale_v1 *, uint32_t scale)
{
    preferred = (int)scale;
}
static const wp_fractional_scale_v1_listener fractionalListener = {.preferred_scale = PreferredScale};

// Runs our queue's events until `done` holds or `milliseconds` pass, reading from the connection
// only when our queue is empty, and what has arrived even when no time is left; false when the
// connection has failed.
static bool Dispatch(bool (*done)(), int milliseconds)
{
    const long long deadline = Now() + milliseconds;
    for (;;) {
        if (wl_display_dispatch_queue_pending(display, queue) < 0)
            return false;
        if (done())
            return true;
        if (wl_display_prepare_read_queue(display, queue) != 0)
            continue;  // events arrived on our queue meanwhile
        if (wl_display_flush(display) < 0 && errno != EAGAIN) {
            wl_display_cancel_read(display);
            return false;
        }
        const long long left = deadline - Now();
        pollfd connection = {wl_display_get_fd(display), POLLIN, 0};
        const int ready = poll(&connection, 1, left > 0 ? (int)left : 0);
        if (ready > 0) {
            if (wl_display_read_events(display) < 0)
                return false;
            continue;
        }
        wl_display_cancel_read(display);
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready == 0 && left <= 0)
            return true;
    }
}

static bool Never() { return false; }
static bool FrameAskedFor() { return frameCallback == NULL; }
static Buffer *FreeBuffer()
{
    for (Buffer &each : buffers)
        if (!each.busy)
            return &each;
    return NULL;
}
static bool BufferFree() { return FreeBuffer() != NULL; }

static void DropBuffers()
{
    for (Buffer &each : buffers) {
        if (each.buffer)
            wl_buffer_destroy(each.buffer);
        each = Buffer{};
    }
    if (black)
        wl_buffer_destroy(black);
    black = NULL;
    if (pool.memory)
        munmap(pool.memory, pool.size);
    if (pool.fd >= 0)
        close(pool.fd);
    pool = Pool{-1, NULL, 0};
}

// The frames' buffers of `to`'s size, and the window's black one of its logical size. A new file
// is all zeros: black in XRGB.
static bool MakeBuffers(const FRAMES_Placement &to, std::string *why)
{
    DropBuffers();
    const int stride = to.bufferWidth * 4, blackStride = to.logicalWidth * 4;
    const size_t each = (size_t)stride * to.bufferHeight;
    const size_t size = each * BUFFERS + (size_t)blackStride * to.logicalHeight;
    pool.fd = memfd_create("tracker-screen-frames", MFD_CLOEXEC);
    if (pool.fd < 0 || ftruncate(pool.fd, (off_t)size) != 0) {
        *why = std::string("no shared memory for the frames: ") + strerror(errno);
        return false;
    }
    void *memory = mmap(NULL, size, PROT_READ | PROT_WRITE, MAP_SHARED, pool.fd, 0);
    if (memory == MAP_FAILED) {
        *why = std::string("cannot map the frames' shared memory: ") + strerror(errno);
        return false;
    }
    pool.memory = static_cast<uint8_t *>(memory);
    pool.size = size;
    wl_shm_pool *shared = wl_shm_create_pool(WLGLOBAL_Globals.shm, pool.fd, (int32_t)size);
    // XRGB8888: opaque, the one layout every compositor takes, and the frame's own.
    for (int i = 0; i < BUFFERS; ++i) {
        buffers[i].buffer = wl_shm_pool_create_buffer(shared, (int32_t)(each * i), to.bufferWidth,
                                                      to.bufferHeight, stride, WL_SHM_FORMAT_XRGB8888);
        buffers[i].pixels = pool.memory + each * i;
        wl_buffer_add_listener(buffers[i].buffer, &bufferListener, NULL);
    }
    black = wl_shm_pool_create_buffer(shared, (int32_t)(each * BUFFERS), to.logicalWidth, to.logicalHeight,
                                      blackStride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(shared);  // the buffers keep the memory shared
    damageAll = true;
    return true;
}

// Where the frames go in a window of width x height: device pixels at the preferred fractional
// scale where a viewport can show them, else at the outputs' whole scale.
static bool Place(int width, int height, FRAMES_Placement *to, std::string *why)
{
    *to = FRAMES_Placement{width, height, 0, 0, 1, 0, 0, SDL_Rect{}};
    if (viewport && preferred > 0) {
        to->preferred = preferred;
        // Rounded half away from zero, as the compositor sizes a toplevel at that scale.
        to->bufferWidth = (width * preferred + 60) / 120;
        to->bufferHeight = (height * preferred + 60) / 120;
    } else {
        const int scale = WLGLOBAL_OutputScale();
        to->bufferScale = viewport ? 1 : scale;
        to->bufferWidth = width * scale;
        to->bufferHeight = height * scale;
    }
    if (SCALE_Fit(to->bufferWidth, to->bufferHeight, frameWidth, frameHeight, &to->shown, &to->scale))
        return true;
    *why = "the window is " + std::to_string(width) + " x " + std::to_string(height) + ", empty";
    return false;
}

// New buffers for a new place; the window gets its black buffer of the new size under them.
static bool Rebuild(const FRAMES_Placement &to, std::string *why)
{
    if (!MakeBuffers(to, why))
        return false;
    wl_surface_set_buffer_scale(window, 1);
    wl_surface_attach(window, black, 0, 0);
    wl_surface_damage_buffer(window, 0, 0, to.logicalWidth, to.logicalHeight);
    wl_surface_commit(window);
    if (viewport)
        wp_viewport_set_destination(viewport, to.logicalWidth, to.logicalHeight);
    wl_surface_set_buffer_scale(surface, to.bufferScale);
    wl_region *opaque = wl_compositor_create_region(WLGLOBAL_Globals.compositor);
    wl_region_add(opaque, 0, 0, to.logicalWidth, to.logicalHeight);
    wl_surface_set_opaque_region(surface, opaque);
    wl_region_destroy(opaque);
    placed = to;
    return true;
}

bool FRAMES_Start(wl_display *connection, wl_surface *toplevel, int width, int height, int logicalWidth,
                  int logicalHeight, std::string *why)
{
    display = connection;
    window = toplevel;
    frameWidth = width;
    frameHeight = height;
    if (!WLGLOBAL_Bind(display, why))
        return false;
    queue = WLGLOBAL_Queue();
    const WLGLOBAL_Bound &bound = WLGLOBAL_Globals;
    surface = wl_compositor_create_surface(bound.compositor);
    WLGLOBAL_Watch(surface);
    subsurface = wl_subcompositor_get_subsurface(bound.subcompositor, surface, window);
    // Shown as soon as it is committed, not with the window's next commit.
    wl_subsurface_set_desync(subsurface);
    // The pointer's and the touches' events go to the window beneath, which SDL reads.
    wl_region *none = wl_compositor_create_region(bound.compositor);
    wl_surface_set_input_region(surface, none);
    wl_region_destroy(none);
    if (bound.viewporter && bound.fractional) {
        viewport = wp_viewporter_get_viewport(bound.viewporter, surface);
        fractionalScale = wp_fractional_scale_manager_v1_get_fractional_scale(bound.fractional, surface);
        wp_fractional_scale_v1_add_listener(fractionalScale, &fractionalListener, NULL);
    }
    FRAMES_Placement to;
    if (!Place(logicalWidth, logicalHeight, &to, why) || !Rebuild(to, why))
        return false;
    // A compositor that refuses the buffers ends the connection; better now than at the first frame.
    if (wl_display_roundtrip_queue(display, queue) < 0) {
        *why = "the compositor refused the shared-memory buffers";
        return false;
    }
    return true;
}

bool FRAMES_Show(const uint8_t *pixels, long pitch, int width, int height, std::string *why)
{
    if (!display || !Dispatch(Never, 0)) {
        *why = "the connection to the compositor failed";
        return false;
    }
    // The place follows the window's size and the scale of the output it is on.
    FRAMES_Placement to;
    if (!Place(width, height, &to, why))
        return false;
    if ((to.logicalWidth != placed.logicalWidth || to.logicalHeight != placed.logicalHeight ||
         to.bufferWidth != placed.bufferWidth || to.bufferHeight != placed.bufferHeight ||
         to.bufferScale != placed.bufferScale || to.preferred != placed.preferred) &&
        !Rebuild(to, why))
        return false;
    // Paced by the compositor: a frame goes once it asks for one.
    if (!Dispatch(FrameAskedFor, waitLimit) || !Dispatch(BufferFree, waitLimit)) {
        *why = "the connection to the compositor failed";
        return false;
    }
    Buffer *free = FreeBuffer();
    if ((frameCallback && Now() - lastCommit < unaskedLimit) || !free) {
        ++counts.unasked;
        return true;
    }
    const SDL_Rect shown = SCALE_Visible(placed.bufferWidth, placed.bufferHeight, placed.shown);
    const long stride = placed.bufferWidth * 4;
    if (!free->barred) {
        SCALE_Bars(free->pixels, stride, placed.bufferWidth, placed.bufferHeight, shown);
        free->barred = true;
    }
    SCALE_Frame(pixels, pitch, frameWidth, frameHeight, placed.scale, free->pixels, stride, placed.bufferWidth,
                placed.bufferHeight, placed.shown);
    wl_surface_attach(surface, free->buffer, 0, 0);
    if (damageAll)
        wl_surface_damage_buffer(surface, 0, 0, placed.bufferWidth, placed.bufferHeight);
    else
        wl_surface_damage_buffer(surface, shown.x, shown.y, shown.w, shown.h);
    damageAll = false;
    if (frameCallback)
        wl_callback_destroy(frameCallback);  // never answered; the next one paces instead
    frameCallback = wl_surface_frame(surface);
    wl_callback_add_listener(frameCallback, &frameListener, NULL);
    wl_surface_commit(surface);
    free->busy = true;
    lastCommit = Now();
    ++counts.committed;
    if (wl_display_flush(display) < 0 && errno != EAGAIN) {
        *why = "the connection to the compositor failed";
        return false;
    }
    return true;
}

void FRAMES_Stop()
{
    if (frameCallback)
        wl_callback_destroy(frameCallback);
    frameCallback = NULL;
    DropBuffers();
    if (fractionalScale)
        wp_fractional_scale_v1_destroy(fractionalScale);
    if (viewport)
        wp_viewport_destroy(viewport);
    if (subsurface)
        wl_subsurface_destroy(subsurface);
    if (surface)
        wl_surface_destroy(surface);
    // What reached our queue for the objects just destroyed goes with them.
    if (queue && wl_display_get_error(display) == 0)
        wl_display_dispatch_queue_pending(display, queue);
    fractionalScale = NULL;
    viewport = NULL;
    subsurface = NULL;
    surface = NULL;
    queue = NULL;
    display = NULL;
    window = NULL;
    preferred = 0;
    placed = FRAMES_Placement{};
    counts = FRAMES_Counts{};
    lastCommit = 0;
}

FRAMES_Placement FRAMES_Placed() { return placed; }
FRAMES_Counts FRAMES_Count() { return counts; }
