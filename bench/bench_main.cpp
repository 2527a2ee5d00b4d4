// tracker-bench: runs the benchmarks with the library's own display reporter (so every
// --benchmark_format works), keeps what it reports, and prints the ratios against the baselines.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench.h"

// Hands every report on to the display reporter and keeps the CPU time per iteration of each
// benchmark: the median when repetitions were aggregated, else the mean of its runs.
class Collector : public benchmark::BenchmarkReporter {
public:
    explicit Collector(benchmark::BenchmarkReporter *display) : display_(display) {}

    bool ReportContext(const Context &context) override { return display_->ReportContext(context); }

    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.error_occurred)
                continue;
            const std::string name = run.run_name.str();
            const double seconds =
                run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            Timing &timing = timings_[name];
            if (run.run_type == Run::RT_Aggregate) {
                if (run.aggregate_name == "median") {
                    timing.median = seconds;
                    timing.repetitions = static_cast<int>(run.repetitions);
                }
            } else {
                timing.sum += seconds;
                ++timing.runs;
            }
        }
        display_->ReportRuns(runs);
    }

    void Finalize() override { display_->Finalize(); }

    // Seconds per iteration, or a negative value when the benchmark did not run.
    double Seconds(const std::string &name) const
    {
        const auto found = timings_.find(name);
        if (found == timings_.end())
            return -1.0;
        if (found->second.median >= 0.0)
            return found->second.median;
        return found->second.runs > 0 ? found->second.sum / found->second.runs : -1.0;
    }

    // The fewest repetitions behind any median, or 0 when nothing was repeated.
    int Repetitions() const
    {
        int fewest = 0;
        for (const auto &entry : timings_) {
            const int n = entry.second.repetitions;
            if (n > 0 && (fewest == 0 || n < fewest))
                fewest = n;
        }
        return fewest;
    }

    // Every benchmark reported, in name order (BM_Present/2560 before BM_Present/2816).
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const auto &entry : timings_)
            names.push_back(entry.first);
        return names;
    }

private:
    struct Timing {
        double median = -1.0;
        int repetitions = 0;
        double sum = 0.0;
        int runs = 0;
    };
    benchmark::BenchmarkReporter *display_;
    std::map<std::string, Timing> timings_;
};

static void PrintRatio(FILE *out, const Collector &collector, const std::string &over,
                       const std::string &under, const char *target)
{
    const double a = collector.Seconds(over);
    const double b = collector.Seconds(under);
    if (a <= 0.0 || b <= 0.0)
        return;
    std::fprintf(out, "  %-40s %7.2f   (target %s)\n", (over + " / " + under).c_str(), a / b, target);
}

int main(int argc, char **argv)
{
    // Unless told otherwise: medians of five repetitions, run in random order so a burst of load
    // on a shared machine falls on every benchmark alike rather than on one. Later flags win.
    std::vector<char *> args(argv, argv + argc);
    static char repetitions[] = "--benchmark_repetitions=5";
    static char aggregates[] = "--benchmark_report_aggregates_only=true";
    static char interleaving[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, {repetitions, aggregates, interleaving});
    // --pitch=BYTES: the back buffer's row pitch for BM_Present, a row's size unless given, since
    // the display makes its surfaces once per process (drivers often pad, e.g. --pitch=2816).
    int32_t pitch = 640 * 4;
    for (size_t i = 1; i < args.size(); ++i) {
        if (std::strncmp(args[i], "--pitch=", 8) != 0)
            continue;
        char *end = nullptr;
        const long value = std::strtol(args[i] + 8, &end, 10);
        if (*end != '\0' || end == args[i] + 8 || value <= 0 || value > 1 << 20) {
            std::fprintf(stderr, "tracker-bench: --pitch takes a number of bytes, not '%s'\n", args[i] + 8);
            return 2;
        }
        pitch = static_cast<int32_t>(value);
        args.erase(args.begin() + static_cast<ptrdiff_t>(i--));
    }
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);
    benchmark::Initialize(&count, args.data());
    argc = count;
    argv = args.data();
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    std::string error;
    if (!BENCH_SetUp(pitch, &error)) {
        std::fprintf(stderr, "tracker-bench: %s\n", error.c_str());
        return 1;
    }

    BENCH_RegisterPresent();

    std::unique_ptr<benchmark::BenchmarkReporter> display(benchmark::CreateDefaultDisplayReporter());
    Collector collector(display.get());
    benchmark::RunSpecifiedBenchmarks(&collector);

    // After the console table on standard output; beside any other format, on standard error,
    // so JSON and CSV output stays parseable.
    FILE *out = dynamic_cast<benchmark::ConsoleReporter *>(display.get()) != nullptr ? stdout : stderr;
    std::fflush(stdout);
    const int repeated = collector.Repetitions();
    if (repeated > 0)
        std::fprintf(out, "\nRatios of CPU time per iteration (medians of %d repetitions):\n", repeated);
    else
        std::fprintf(out, "\nRatios of CPU time per iteration:\n");
    PrintRatio(out, collector, "BM_Render", "BM_FrameFill", "<= 2");
    PrintRatio(out, collector, "BM_RenderNarrow", "BM_FrameFill", "<= 3");
    for (const std::string &name : collector.Names()) {
        if (name.rfind("BM_Present/", 0) == 0)
            PrintRatio(out, collector, name, "BM_FrameCopy", "<= 1.25");
    }
    PrintRatio(out, collector, "BM_PeerSdlSoftware", "BM_Render", ">= 3");
    benchmark::Shutdown();
    return 0;
}
