// The test's own compositor: just the globals the Wayland frames use, each request recorded.
#include "tests/platform/wayland_compositor.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "fractional-scale-v1-server-protocol.h"
#include "viewporter-server-protocol.h"

struct TestCompositor::Surface {
    TestCompositor *owner = nullptr;
    wl_resource *resource = nullptr;
    bool child = false;
    wl_resource *buffer = nullptr;  // attached, not yet committed
    bool attached = false;
    std::vector<TestRect> damage;
    int surfaceDamages = 0, scale = 1, pendingScale = 1;
    int viewportWidth = -1, viewportHeight = -1, pendingWidth = -1, pendingHeight = -1;
    std::vector<wl_resource *> callbacks, committedCallbacks;
    bool inputRegionEmpty = false;
};
using Surface = TestCompositor::Surface;

// A buffer the client destroys while the compositor holds it is no longer held.
struct Held {
    TestCompositor *owner;
    wl_resource *buffer;
    wl_listener gone;
};
static void HeldGone(wl_listener *listener, void *)
{
    Held *held = wl_container_of(listener, held, gone);
    auto &all = held->owner->held;
    all.erase(std::remove(all.begin(), all.end(), held->buffer), all.end());
    wl_list_remove(&held->gone.link);
    delete held;
}
static void Hold(TestCompositor *owner, wl_resource *buffer)
{
    if (std::find(owner->held.begin(), owner->held.end(), buffer) != owner->held.end())
        return;
    Held *held = new Held{owner, buffer, {}};
    held->gone.notify = HeldGone;
    wl_resource_add_destroy_listener(buffer, &held->gone);
    owner->held.push_back(buffer);
}
static void Release(TestCompositor *owner)
{
    wl_resource *buffer = owner->held.front();
    owner->held.erase(owner->held.begin());
    wl_listener *listener = wl_resource_get_destroy_listener(buffer, HeldGone);
    Held *held = wl_container_of(listener, held, gone);
    wl_list_remove(&held->gone.link);
    delete held;
    wl_buffer_send_release(buffer);
}

static Surface *Of(wl_resource *resource) { return static_cast<Surface *>(wl_resource_get_user_data(resource)); }
static void Destroy(wl_client *, wl_resource *resource) { wl_resource_destroy(resource); }

// --- Regions: only whether one is empty matters ---
static void RegionAdd(wl_client *, wl_resource *resource, int32_t, int32_t, int32_t w, int32_t h)
{
    if (w > 0 && h > 0)
        wl_resource_set_user_data(resource, resource);  // not empty
}
static void RegionSubtract(wl_client *, wl_resource *, int32_t, int32_t, int32_t, int32_t) {}
static const struct wl_region_interface regionImpl = {Destroy, RegionAdd, RegionSubtract};

// --- Surfaces ---
static void Attach(wl_client *, wl_resource *resource, wl_resource *buffer, int32_t, int32_t)
{
    Surface *surface = Of(resource);
    if (surface->owner->options.refuseBuffers && buffer) {
        wl_resource_post_error(resource, 2, "this compositor refuses every buffer");
        return;
    }
    surface->buffer = buffer;
    surface->attached = true;
}
static void Damage(wl_client *, wl_resource *resource, int32_t, int32_t, int32_t, int32_t) { ++Of(resource)->surfaceDamages; }
static void Frame(wl_client *client, wl_resource *resource, uint32_t id)
{
    Of(resource)->callbacks.push_back(wl_resource_create(client, &wl_callback_interface, 1, id));
}
static void SetOpaque(wl_client *, wl_resource *, wl_resource *) {}
static void SetInput(wl_client *, wl_resource *resource, wl_resource *region)
{
    Of(resource)->inputRegionEmpty = region && wl_resource_get_user_data(region) == nullptr;
}
static void Commit(wl_client *, wl_resource *resource)
{
    Surface *surface = Of(resource);
    TestCompositor *owner = surface->owner;
    surface->scale = surface->pendingScale;
    surface->viewportWidth = surface->pendingWidth;
    surface->viewportHeight = surface->pendingHeight;
    TestCommit commit = {surface->child, false, 0, 0, 0, {}, surface->damage, surface->surfaceDamages,
                         surface->scale, surface->viewportWidth, surface->viewportHeight,
                         (int)surface->callbacks.size(), surface->inputRegionEmpty};
    if (surface->attached && surface->buffer) {
        wl_shm_buffer *shm = wl_shm_buffer_get(surface->buffer);
        commit.hasBuffer = shm != nullptr;
        if (shm) {
            commit.format = wl_shm_buffer_get_format(shm);
            commit.width = wl_shm_buffer_get_width(shm);
            commit.height = wl_shm_buffer_get_height(shm);
            const int stride = wl_shm_buffer_get_stride(shm);
            wl_shm_buffer_begin_access(shm);
            const uint8_t *data = static_cast<const uint8_t *>(wl_shm_buffer_get_data(shm));
            commit.pixels.resize((size_t)commit.width * commit.height);
            for (int y = 0; y < commit.height; ++y)
                memcpy(&commit.pixels[(size_t)y * commit.width], data + (size_t)y * stride, (size_t)commit.width * 4);
            wl_shm_buffer_end_access(shm);
        }
        if (surface->child) {
            // Like a compositor that reads the buffer until `keep` newer ones have come.
            Hold(owner, surface->buffer);
            while ((int)owner->held.size() > owner->options.keep)
                Release(owner);
        } else {
            wl_buffer_send_release(surface->buffer);
        }
    }
    owner->commits.push_back(std::move(commit));
    surface->committedCallbacks.insert(surface->committedCallbacks.end(), surface->callbacks.begin(),
                                       surface->callbacks.end());
    surface->callbacks.clear();
    surface->damage.clear();
    surface->surfaceDamages = 0;
    surface->attached = false;
}
static void SetTransform(wl_client *, wl_resource *, int32_t) {}
static void SetScale(wl_client *, wl_resource *resource, int32_t scale) { Of(resource)->pendingScale = scale; }
static void DamageBuffer(wl_client *, wl_resource *resource, int32_t x, int32_t y, int32_t w, int32_t h)
{
    Of(resource)->damage.push_back(TestRect{x, y, w, h});
}
static struct wl_surface_interface SurfaceImpl()
{
    struct wl_surface_interface impl = {};
    impl.destroy = Destroy;
    impl.attach = Attach;
    impl.damage = Damage;
    impl.frame = Frame;
    impl.set_opaque_region = SetOpaque;
    impl.set_input_region = SetInput;
    impl.commit = Commit;
    impl.set_buffer_transform = SetTransform;
    impl.set_buffer_scale = SetScale;
    impl.damage_buffer = DamageBuffer;
    return impl;
}
static const struct wl_surface_interface surfaceImpl = SurfaceImpl();

static void SurfaceGone(wl_resource *resource)
{
    Surface *surface = Of(resource);
    auto &all = surface->owner->surfaces;
    all.erase(std::remove(all.begin(), all.end(), surface), all.end());
    delete surface;
}

static void CreateSurface(wl_client *client, wl_resource *resource, uint32_t id)
{
    TestCompositor *owner = static_cast<TestCompositor *>(wl_resource_get_user_data(resource));
    wl_resource *made = wl_resource_create(client, &wl_surface_interface, wl_resource_get_version(resource), id);
    Surface *surface = new Surface();
    surface->owner = owner;
    surface->resource = made;
    owner->surfaces.push_back(surface);
    wl_resource_set_implementation(made, &surfaceImpl, surface, SurfaceGone);
    // Every new surface is on the one output, as each binding of it tells.
    for (wl_resource *output : owner->outputs)
        if (wl_resource_get_client(output) == client)
            wl_surface_send_enter(made, output);
}
static void CreateRegion(wl_client *client, wl_resource *, uint32_t id)
{
    wl_resource *made = wl_resource_create(client, &wl_region_interface, 1, id);
    wl_resource_set_implementation(made, &regionImpl, nullptr, nullptr);
}
static const struct wl_compositor_interface compositorImpl = {CreateSurface, CreateRegion};

// --- Sub-surfaces ---
static void Nothing(wl_client *, wl_resource *) {}
static void Position(wl_client *, wl_resource *, int32_t, int32_t) {}
static void Place(wl_client *, wl_resource *, wl_resource *) {}
static const struct wl_subsurface_interface subsurfaceImpl = {Destroy, Position, Place, Place, Nothing, Nothing};
static void GetSubsurface(wl_client *client, wl_resource *, uint32_t id, wl_resource *surface, wl_resource *)
{
    Of(surface)->child = true;
    wl_resource *made = wl_resource_create(client, &wl_subsurface_interface, 1, id);
    wl_resource_set_implementation(made, &subsurfaceImpl, nullptr, nullptr);
}
static const struct wl_subcompositor_interface subcompositorImpl = {Destroy, GetSubsurface};

// --- Viewports and fractional scales ---
static void ViewportSource(wl_client *, wl_resource *, wl_fixed_t, wl_fixed_t, wl_fixed_t, wl_fixed_t) {}
static void ViewportDestination(wl_client *, wl_resource *resource, int32_t w, int32_t h)
{
    Surface *surface = static_cast<Surface *>(wl_resource_get_user_data(resource));
    surface->pendingWidth = w;
    surface->pendingHeight = h;
}
static const struct wp_viewport_interface viewportImpl = {Destroy, ViewportSource, ViewportDestination};
static void GetViewport(wl_client *client, wl_resource *, uint32_t id, wl_resource *surface)
{
    wl_resource *made = wl_resource_create(client, &wp_viewport_interface, 1, id);
    wl_resource_set_implementation(made, &viewportImpl, Of(surface), nullptr);
}
static const struct wp_viewporter_interface viewporterImpl = {Destroy, GetViewport};

static const struct wp_fractional_scale_v1_interface fractionalImpl = {Destroy};
static void FractionalGone(wl_resource *resource)
{
    TestCompositor *owner = static_cast<TestCompositor *>(wl_resource_get_user_data(resource));
    auto &all = owner->fractionals;
    all.erase(std::remove(all.begin(), all.end(), resource), all.end());
}
static void GetFractional(wl_client *client, wl_resource *resource, uint32_t id, wl_resource *)
{
    TestCompositor *owner = static_cast<TestCompositor *>(wl_resource_get_user_data(resource));
    wl_resource *made = wl_resource_create(client, &wp_fractional_scale_v1_interface, 1, id);
    wl_resource_set_implementation(made, &fractionalImpl, owner, FractionalGone);
    owner->fractionals.push_back(made);
}
static const struct wp_fractional_scale_manager_v1_interface fractionalManagerImpl = {Destroy, GetFractional};

// --- Outputs ---
static const struct wl_output_interface outputImpl = {Destroy};
static void OutputGone(wl_resource *resource)
{
    TestCompositor *owner = static_cast<TestCompositor *>(wl_resource_get_user_data(resource));
    auto &all = owner->outputs;
    all.erase(std::remove(all.begin(), all.end(), resource), all.end());
}

static void Bind(wl_client *client, void *data, uint32_t version, uint32_t id, const wl_interface *interface,
                 const void *implementation)
{
    wl_resource *made = wl_resource_create(client, interface, (int)version, id);
    TestCompositor *owner = static_cast<TestCompositor *>(data);
    if (interface != &wl_output_interface) {
        wl_resource_set_implementation(made, implementation, owner, nullptr);
        return;
    }
    wl_resource_set_implementation(made, implementation, owner, OutputGone);
    owner->outputs.push_back(made);
    wl_output_send_geometry(made, 0, 0, 300, 200, 0, "test", "test", 0);
    wl_output_send_mode(made, WL_OUTPUT_MODE_CURRENT, 1920, 1080, 60000);
    if (version >= 2) {
        wl_output_send_scale(made, owner->options.outputScale);
        wl_output_send_done(made);
    }
}

TestCompositor::TestCompositor(TestCompositorOptions chosen) : options(chosen)
{
    server = wl_display_create();
    wl_display_init_shm(server);
    wl_global_create(server, &wl_compositor_interface, 4, this, [](wl_client *c, void *d, uint32_t v, uint32_t id) { Bind(c, d, v, id, &wl_compositor_interface, &compositorImpl); });
    wl_global_create(server, &wl_output_interface, 2, this, [](wl_client *c, void *d, uint32_t v, uint32_t id) { Bind(c, d, v, id, &wl_output_interface, &outputImpl); });
    if (options.subcompositor)
        wl_global_create(server, &wl_subcompositor_interface, 1, this,
                         [](wl_client *c, void *d, uint32_t v, uint32_t id) { Bind(c, d, v, id, &wl_subcompositor_interface, &subcompositorImpl); });
    if (options.viewporter)
        wl_global_create(server, &wp_viewporter_interface, 1, this, [](wl_client *c, void *d, uint32_t v, uint32_t id) { Bind(c, d, v, id, &wp_viewporter_interface, &viewporterImpl); });
    if (options.fractional)
        wl_global_create(server, &wp_fractional_scale_manager_v1_interface, 1, this,
                         [](wl_client *c, void *d, uint32_t v, uint32_t id) { Bind(c, d, v, id, &wp_fractional_scale_manager_v1_interface, &fractionalManagerImpl); });
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        abort();
    wl_client_create(server, fds[0]);
    client_ = wl_display_connect_to_fd(fds[1]);
    thread_ = std::thread(&TestCompositor::Loop, this);
}

TestCompositor::~TestCompositor()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    thread_.join();
    wl_display_disconnect(client_);
    wl_display_destroy_clients(server);
    wl_display_destroy(server);
}

void TestCompositor::Loop()
{
    wl_event_loop *loop = wl_display_get_event_loop(server);
    for (;;) {
        wl_event_loop_dispatch(loop, 5);
        std::unique_lock<std::mutex> lock(mutex_);
        // A step sees all its caller sent before asking for it, not only what the last wait took in.
        if (!steps_.empty())
            wl_event_loop_dispatch(loop, 0);
        for (const std::function<void()> *step : steps_)
            (*step)();
        wl_display_flush_clients(server);
        const bool ran = !steps_.empty();
        steps_.clear();
        if (ran)
            changed_.notify_all();
        if (stop_)
            return;
    }
}

void TestCompositor::Do(const std::function<void()> &step)
{
    std::unique_lock<std::mutex> lock(mutex_);
    steps_.push_back(&step);
    changed_.wait(lock, [&] { return std::find(steps_.begin(), steps_.end(), &step) == steps_.end(); });
}

void TestCompositor::AskForFrame()
{
    Do([this] {
        for (Surface *surface : surfaces) {
            for (wl_resource *callback : surface->committedCallbacks) {
                wl_callback_send_done(callback, 0);
                wl_resource_destroy(callback);
            }
            surface->committedCallbacks.clear();
        }
    });
}

void TestCompositor::SetPreferredScale(uint32_t scale)
{
    Do([this, scale] {
        for (wl_resource *each : fractionals)
            wp_fractional_scale_v1_send_preferred_scale(each, scale);
    });
}

void TestCompositor::SetOutputScale(int scale)
{
    Do([this, scale] {
        for (wl_resource *each : outputs) {
            wl_output_send_scale(each, scale);
            wl_output_send_done(each);
        }
    });
}

std::vector<TestCommit> TestCompositor::Commits()
{
    // A round trip on the client's default queue: every request before it has been handled.
    wl_display_roundtrip(client_);
    std::vector<TestCommit> copy;
    Do([&] { copy = commits; });
    return copy;
}
