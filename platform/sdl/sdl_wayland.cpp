// Frames on Wayland without a GPU: SDL2 gives a Wayland window no memory of its own, and its
// renderer would draw with OpenGL on the processor, so the frame goes into shared-memory buffers
// of our own, attached to SDL's surface and paced by the compositor's frame callbacks.
#include <SDL.h>
#include <SDL_syswm.h>
#include <wayland-client.h>

#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/sdl/sdl_scale.h"
#include "platform/sdl/sdl_way.h"
#include "platform/sdl/sdl_wayland.h"

// Everything lives on a queue of our own, so that SDL's dispatching never sees our events and
// waiting for ours never runs SDL's.
static SDL_Window *window;          // the full-screen window shown into
static wl_display *display;         // SDL's connection to the compositor
static wl_event_queue *queue;       // our events: the registry's, the buffers' and the frame callbacks'
static wl_display *displayOnQueue;  // the display as a proxy whose new objects report to our queue
static wl_surface *surfaceOnQueue;  // SDL's surface, likewise
static wl_registry *registry;       // the compositor's globals, for the shared-memory one
static wl_shm *shm;                 // the compositor's shared memory
static wl_callback *frameCallback;  // the compositor's word that the last frame was shown; NULL once given
static int frameWidth, frameHeight; // the mode
static struct Pool {                // the buffers' memory, one file mapped once
    int fd;
    uint8_t *memory;
    size_t size;
    int width, height, stride;      // each buffer's, the window's size in pixels
} pool = {-1, NULL, 0, 0, 0, 0};
static struct Buffer {
    wl_buffer *buffer;
    uint8_t *pixels;
    bool busy;                      // the compositor holds it: attached and not yet released
    bool barred;                    // its bars are black already
} buffers[2];
static bool damageAll;              // the next frame goes into buffers whose bars the compositor has not seen

// How long a frame waits for the compositor at most: a window it does not show gets no frame
// callbacks, and must not stop the program for ever.
static const int waitLimit = 100;  // milliseconds

static void Released(void *, wl_buffer *released)
{
    for (Buffer &each : buffers)
        if (each.buffer == released)
            each.busy = false;
}
static const wl_buffer_listener bufferListener = {Released};

static void FrameShown(void *, wl_callback *callback, uint32_t)
{
    wl_callback_destroy(callback);
    if (callback == frameCallback)
        frameCallback = NULL;
}
static const wl_callback_listener frameListener = {FrameShown};

static void Global(void *, wl_registry *from, uint32_t name, const char *interface, uint32_t)
{
    if (!shm && strcmp(interface, wl_shm_interface.name) == 0)
        shm = static_cast<wl_shm *>(wl_registry_bind(from, name, &wl_shm_interface, 1));
}
static void GlobalGone(void *, wl_registry *, uint32_t) {}
static const wl_registry_listener registryListener = {Global, GlobalGone};

// Runs our queue's events until `done` holds or `milliseconds` pass, reading from the connection
// only when our queue is empty; false when the connection has failed.
static bool Dispatch(bool (*done)(), int milliseconds)
{
    const Uint64 deadline = SDL_GetTicks64() + milliseconds;
    for (;;) {
        if (wl_display_dispatch_queue_pending(display, queue) < 0)
            return false;
        const Uint64 now = SDL_GetTicks64();
        if (done() || now >= deadline)
            return true;
        if (wl_display_prepare_read_queue(display, queue) != 0)
            continue;  // events arrived on our queue meanwhile
        if (wl_display_flush(display) < 0 && errno != EAGAIN) {
            wl_display_cancel_read(display);
            return false;
        }
        pollfd connection = {wl_display_get_fd(display), POLLIN, 0};
        const int ready = poll(&connection, 1, (int)(deadline - now));
        if (ready > 0) {
            if (wl_display_read_events(display) < 0)
                return false;
        } else {
            wl_display_cancel_read(display);
            if (ready < 0 && errno != EINTR)
                return false;
        }
    }
}

static bool Never() { return false; }
static bool FrameWasShown() { return frameCallback == NULL; }
static bool BufferFree() { return !buffers[0].busy || !buffers[1].busy; }

static void DropBuffers()
{
    for (Buffer &each : buffers) {
        if (each.buffer)
            wl_buffer_destroy(each.buffer);
        each = Buffer{};
    }
    if (pool.memory)
        munmap(pool.memory, pool.size);
    if (pool.fd >= 0)
        close(pool.fd);
    pool = Pool{-1, NULL, 0, 0, 0, 0};
}

// Two buffers the window's size, in one file that the compositor maps too.
static bool MakeBuffers(int width, int height, std::string *why)
{
    DropBuffers();
    const int stride = width * 4;
    const size_t size = (size_t)stride * height * 2;
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
    pool = Pool{pool.fd, static_cast<uint8_t *>(memory), size, width, height, stride};
    wl_shm_pool *shared = wl_shm_create_pool(shm, pool.fd, (int32_t)size);
    for (int i = 0; i < 2; ++i) {
        const int32_t offset = (int32_t)((size_t)stride * height * i);
        // XRGB8888 is the one layout every compositor takes, and the frame's own.
        buffers[i].buffer = wl_shm_pool_create_buffer(shared, offset, width, height, stride, WL_SHM_FORMAT_XRGB8888);
        buffers[i].pixels = pool.memory + offset;
        wl_buffer_add_listener(buffers[i].buffer, &bufferListener, NULL);
    }
    wl_shm_pool_destroy(shared);  // the buffers keep the memory shared
    damageAll = true;
    return true;
}

static void Drop()
{
    if (frameCallback)
        wl_callback_destroy(frameCallback);
    frameCallback = NULL;
    DropBuffers();
    if (shm)
        wl_shm_destroy(shm);
    if (registry)
        wl_registry_destroy(registry);
    if (surfaceOnQueue)
        wl_proxy_wrapper_destroy(surfaceOnQueue);
    if (displayOnQueue)
        wl_proxy_wrapper_destroy(displayOnQueue);
    if (queue)
        wl_event_queue_destroy(queue);
    shm = NULL;
    registry = NULL;
    surfaceOnQueue = NULL;
    displayOnQueue = NULL;
    queue = NULL;
    display = NULL;
    window = NULL;
}

static bool SetUp(SDL_Window *shown, int width, int height, std::string *why)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(shown, &info)) {
        *why = std::string("SDL_GetWindowWMInfo: ") + SDL_GetError();
        return false;
    }
    if (info.subsystem != SDL_SYSWM_WAYLAND) {
        *why = std::string("the window is not on Wayland but on ") + SDL_GetCurrentVideoDriver();
        return false;
    }
    window = shown;
    frameWidth = width;
    frameHeight = height;
    display = info.info.wl.display;
    queue = wl_display_create_queue(display);
    displayOnQueue = static_cast<wl_display *>(wl_proxy_create_wrapper(display));
    surfaceOnQueue = static_cast<wl_surface *>(wl_proxy_create_wrapper(info.info.wl.surface));
    if (!queue || !displayOnQueue || !surfaceOnQueue) {
        *why = "out of memory for the Wayland proxies";
        return false;
    }
    wl_proxy_set_queue(reinterpret_cast<wl_proxy *>(displayOnQueue), queue);
    wl_proxy_set_queue(reinterpret_cast<wl_proxy *>(surfaceOnQueue), queue);
    registry = wl_display_get_registry(displayOnQueue);
    wl_registry_add_listener(registry, &registryListener, NULL);
    if (wl_display_roundtrip_queue(display, queue) < 0) {
        *why = "the compositor does not answer";
        return false;
    }
    if (!shm) {
        *why = "the compositor offers no shared memory (wl_shm)";
        return false;
    }
    int w, h;
    SDL_GetWindowSize(window, &w, &h);
    SDL_Rect place;
    int scale;
    if (!SCALE_Fit(w, h, width, height, &place, &scale)) {
        *why = "the window is " + std::to_string(w) + " x " + std::to_string(h) + ", smaller than the mode";
        return false;
    }
    if (!MakeBuffers(w, h, why))
        return false;
    // A compositor that refuses the buffers ends the connection; better now than at the first frame.
    if (wl_display_roundtrip_queue(display, queue) < 0) {
        *why = "the compositor refused the shared-memory buffers";
        return false;
    }
    return true;
}

static HRESULT Present(const uint8_t *pixels, LONG pitch)
{
    if (!display || !Dispatch(Never, 0))
        return DDERR_SURFACELOST;
    // The window follows the output's size; the buffers follow the window.
    int w, h;
    SDL_GetWindowSize(window, &w, &h);
    SDL_Rect shown;
    int scale;
    if (!SCALE_Fit(w, h, frameWidth, frameHeight, &shown, &scale))
        return DDERR_SURFACELOST;  // shrunk below the mode
    std::string why;
    if ((w != pool.width || h != pool.height) && !MakeBuffers(w, h, &why))
        return DDERR_SURFACELOST;
    // Paced by the compositor: the next frame goes once the last one was shown.
    if (!Dispatch(FrameWasShown, waitLimit) || !Dispatch(BufferFree, waitLimit))
        return DDERR_SURFACELOST;
    Buffer *free = !buffers[0].busy ? &buffers[0] : !buffers[1].busy ? &buffers[1] : NULL;
    if (!free)
        return DD_OK;  // the compositor still holds both: this frame is not shown
    if (!free->barred) {
        SCALE_Bars(free->pixels, pool.stride, pool.width, pool.height, shown);
        free->barred = true;
    }
    SCALE_Frame(pixels, pitch, frameWidth, frameHeight, scale, free->pixels, pool.stride, shown);
    wl_surface_attach(surfaceOnQueue, free->buffer, 0, 0);
    if (damageAll)
        wl_surface_damage(surfaceOnQueue, 0, 0, pool.width, pool.height);
    else
        wl_surface_damage(surfaceOnQueue, shown.x, shown.y, shown.w, shown.h);
    damageAll = false;
    if (frameCallback)
        wl_callback_destroy(frameCallback);  // late; the next one paces instead
    frameCallback = wl_surface_frame(surfaceOnQueue);
    wl_callback_add_listener(frameCallback, &frameListener, NULL);
    wl_surface_commit(surfaceOnQueue);
    free->busy = true;
    if (wl_display_flush(display) < 0 && errno != EAGAIN)
        return DDERR_SURFACELOST;
    return DD_OK;
}

const WAY_Way WAY_WaylandMemory = {"wayland", "Wayland shared memory", SetUp, Present, NULL, NULL, NULL, Drop};

// --- The compositor before SDL starts ---

static void SeatSeen(void *seen, wl_registry *, uint32_t, const char *interface, uint32_t)
{
    if (strcmp(interface, wl_seat_interface.name) == 0)
        *static_cast<bool *>(seen) = true;
}
static const wl_registry_listener seatListener = {SeatSeen, GlobalGone};

bool WAYLAND_Seatless()
{
    wl_display *compositor = wl_display_connect(NULL);
    if (!compositor)
        return false;  // none answers: SDL's own start-up says so
    bool seat = false;
    wl_registry *globals = wl_display_get_registry(compositor);
    wl_registry_add_listener(globals, &seatListener, &seat);
    const bool answered = wl_display_roundtrip(compositor) >= 0;
    wl_registry_destroy(globals);
    wl_display_disconnect(compositor);
    return answered && !seat;
}
