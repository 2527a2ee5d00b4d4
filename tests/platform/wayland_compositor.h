// A Wayland compositor of the test's own, in the test's process on a thread of its own, for the
// Wayland frames: it records each commit (the buffer's format, size and pixels, damage, scale,
// viewport) and asks for frames, tells scales and lets buffers go only when the test says.
#pragma once

#include <wayland-client.h>
#include <wayland-server.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

struct TestRect {
    int x, y, w, h;
    bool operator==(const TestRect &o) const { return x == o.x && y == o.y && w == o.w && h == o.h; }
};

struct TestCommit {
    bool frames;                  // of the frames' surface (a sub-surface), not the window's
    bool hasBuffer;
    uint32_t format;
    int width, height;
    std::vector<uint32_t> pixels; // the buffer's, row after row
    std::vector<TestRect> damageBuffer;
    int surfaceDamages;           // damage given in surface units
    int bufferScale;
    int viewportWidth, viewportHeight;  // -1: no destination
    int frameCallbacks;           // asked for with this commit
    bool inputRegionEmpty;
};

struct TestCompositorOptions {
    int outputScale = 1;
    bool viewporter = true, fractional = true, subcompositor = true;
    bool refuseBuffers = false;   // an error on the first attach
    int keep = 1;                 // buffers held after a newer one is committed (releases lag)
};

class TestCompositor {
  public:
    explicit TestCompositor(TestCompositorOptions options);
    ~TestCompositor();
    wl_display *client() const { return client_; }

    // Runs `step` on the compositor's thread, flushes to the client, and returns when done.
    void Do(const std::function<void()> &step);
    // Sends done to every frame callback committed so far.
    void AskForFrame();
    void SetPreferredScale(uint32_t scale);  // in 120ths
    void SetOutputScale(int scale);
    // What the compositor had received when the client's requests so far were all handled.
    std::vector<TestCommit> Commits();

    // Server-side state, touched only on the compositor's thread.
    struct Surface;
    TestCompositorOptions options;
    wl_display *server = nullptr;
    std::vector<wl_resource *> outputs, fractionals, answered;
    std::vector<Surface *> surfaces;
    std::vector<wl_resource *> held;  // committed buffers not yet released, oldest first
    std::vector<TestCommit> commits;

  private:
    void Loop();
    wl_display *client_ = nullptr;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<const std::function<void()> *> steps_;
    bool stop_ = false;
    int pipe_[2] = {-1, -1};  // wakes the loop for a step
};
