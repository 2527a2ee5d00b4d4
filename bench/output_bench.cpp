// tracker-bench-outputs: frames a second rendering to each file tracker-render writes (PNG, GIF,
// WebM, MP4), against rendering alone, measured in one run and printed as ratios to it.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "scene/scene.h"
#include "tools/frame_files.h"
#include "tools/gif_file.h"
#include "tools/video_file.h"

static const int32_t Width = DisplayConfig.width, Height = DisplayConfig.height;

// A scene running from clock 0 at 60 frames a second, as a render of the demo would.
class Scene {
public:
    Scene() : frame_(static_cast<size_t>(Width) * Height, 0) { FFX_Init(frame_.data()); }
    ~Scene() { FFX_Shutdown(); }
    const uint32_t *Next()
    {
        FFX_Render(frame_.data(), static_cast<float>(n_++ % 384) / 60.0f);
        return frame_.data();
    }

private:
    std::vector<uint32_t> frame_;
    uint64_t n_ = 0;
};

static std::string Folder()
{
    static std::string folder;
    if (folder.empty()) {
        char pattern[] = "/tmp/tracker-bench-outputs-XXXXXX";
        folder = mkdtemp(pattern) ? pattern : "/tmp";
    }
    return folder;
}

static void RenderAlone(benchmark::State &state)
{
    Scene scene;
    for (auto _ : state)
        benchmark::DoNotOptimize(scene.Next());
}

static void RenderToPng(benchmark::State &state)
{
    Scene scene;
    OutputFile file;
    const std::string path = Folder() + "/frame.png";
    for (auto _ : state) {
        const uint32_t *frame = scene.Next();
        if (!OUT_Open(&file, path) || !IMG_WritePng(&file, frame, Width, Height) || !OUT_Commit(&file))
            state.SkipWithError(OUT_Failure(file).c_str());
    }
    std::remove(path.c_str());
}

static void RenderToGif(benchmark::State &state)
{
    Scene scene;
    GifAnimation gif;
    if (!GIF_Begin(&gif, Folder() + "/demo.gif", Width, Height, 50)) {
        state.SkipWithError(gif.failure.c_str());
        return;
    }
    for (auto _ : state) {
        if (!GIF_AddFrame(&gif, scene.Next())) {
            state.SkipWithError(gif.failure.c_str());
            break;
        }
    }
    GIF_Abandon(&gif);
}

// The encoder's frames in flight are drained after the timing: a long render pays for them once.
static void RenderToVideo(benchmark::State &state, const char *name)
{
    Scene scene;
    VideoFile video;
    video.file.stream = nullptr;
    video.encoder = nullptr;
    if (!VID_Begin(&video, Folder() + "/" + name, Width, Height, 60, false)) {
        state.SkipWithError(video.failure.c_str());
        VID_Abandon(&video);
        return;
    }
    for (auto _ : state) {
        if (!VID_AddFrame(&video, scene.Next())) {
            state.SkipWithError(video.failure.c_str());
            break;
        }
    }
    VID_Abandon(&video);
}

BENCHMARK(RenderAlone)->Unit(benchmark::kMillisecond);
BENCHMARK(RenderToPng)->Unit(benchmark::kMillisecond);
BENCHMARK(RenderToGif)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RenderToVideo, WebM, "demo.webm")->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK_CAPTURE(RenderToVideo, MP4, "demo.mp4")->Unit(benchmark::kMillisecond)->MinTime(3.0);

// The console's report, and each run's frames a second kept for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (!run.error_occurred && run.iterations > 0)
                fps[run.benchmark_name()] = static_cast<double>(run.iterations) / run.real_accumulated_time;
        }
    }
    std::map<std::string, double> fps;
};

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
#if TRACKER_VIDEO
    VID_Use(&tracker_video_module);
#endif
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto alone = reporter.fps.find("RenderAlone");
    if (alone == reporter.fps.end())
        return 0;
    std::printf("\nframes a second, and as a ratio to rendering alone (%.0f frames a second):\n", alone->second);
    for (const auto &[name, fps] : reporter.fps)
        std::printf("  %-34s %8.1f  %8.4f\n", name.c_str(), fps, fps / alone->second);
    if (std::system(("rm -rf '" + Folder() + "'").c_str()) != 0)
        std::fprintf(stderr, "tracker-bench-outputs: cannot remove %s\n", Folder().c_str());
    return 0;
}
