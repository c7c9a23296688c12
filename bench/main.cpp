// The benchmark program: Google Benchmark's own report while it runs, then a short table with the
// ratios between the methods, all from the same run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "media/blend_fast.h"

namespace pawnbench {

namespace {

// The console report, keeping each benchmark's figures for the summary: the median where the
// benchmarks are repeated, else the single run.
class Collector : public benchmark::ConsoleReporter {
public:
    explicit Collector(bool quiet) : quiet_(quiet) {}

    bool ReportContext(const Context& context) override {
        if (quiet_) return true;
        return ConsoleReporter::ReportContext(context);
    }

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const bool aggregate = run.run_type == Run::RT_Aggregate;
            if (aggregate && run.aggregate_name != "median") continue;
            const std::string name = run.run_name.str();
            if (!aggregate && sawAggregate_.count(name)) continue;
            if (aggregate) sawAggregate_[name] = true;
            Result& result = results[name];
            result.secondsPerIteration = run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            auto items = run.counters.find("items_per_second");
            result.itemsPerSecond = items != run.counters.end() ? static_cast<double>(items->second) : 0.0;
            if (auto bytes = run.counters.find("cache_bytes"); bytes != run.counters.end()) result.cacheBytes = bytes->second;
            if (auto frames = run.counters.find("cache_frames"); frames != run.counters.end()) result.cacheFrames = frames->second;
        }
        if (quiet_) {
            std::fputc('.', stderr);  // progress while the table is being measured
            std::fflush(stderr);
        } else {
            ConsoleReporter::ReportRuns(runs);
        }
    }

    Results results;

private:
    bool quiet_;
    std::map<std::string, bool> sawAggregate_;
};

const Result* find(const Results& results, const std::string& name) {
    auto found = results.find(name);
    return found == results.end() ? nullptr : &found->second;
}

std::string ratio(const Result* a, const Result* b) {
    if (!a || !b || b->itemsPerSecond <= 0) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.2fx", a->itemsPerSecond / b->itemsPerSecond);
    return text;
}

void printPixelCase(const Results& results, const Case& c, bool withPixman) {
    const Result* memcpyResult = find(results, c.name + "/memcpy");
    if (!memcpyResult) return;  // left out by a filter
    const Result* reference = find(results, c.name + "/reference");
    const Result* pixman = withPixman ? find(results, c.name + "/pixman") : nullptr;
    std::printf("\n%s\n", c.heading.c_str());
    if (withPixman) std::printf("  %-10s %10s %10s %10s %10s\n", "method", "Mpx/s", "vs pixman", "vs ref", "vs memcpy");
    else std::printf("  %-10s %10s %10s %10s\n", "method", "Mpx/s", "vs ref", "vs memcpy");
    std::vector<std::string> methods = {"reference", "sse2", "avx2", "avx512bw"};
    if (withPixman) methods.push_back("pixman");
    methods.push_back("memcpy");
    for (const std::string& method : methods) {
        const Result* r = find(results, c.name + "/" + method);
        if (!r) continue;
        std::printf("  %-10s %10.0f", method.c_str(), r->itemsPerSecond / 1e6);
        if (withPixman) std::printf(" %10s", ratio(r, pixman).c_str());
        std::printf(" %10s %10s\n", ratio(r, reference).c_str(), ratio(r, memcpyResult).c_str());
    }
}

double micros(const Result* r) { return r ? r->secondsPerIteration * 1e6 : 0.0; }

void printShow(const Results& results, const std::string& prefix, const char* host) {
    const Result* frame = find(results, prefix + "frame");
    const Result* update = find(results, prefix + "update");
    const Result* draw = find(results, prefix + "draw");
    if (!frame || !update || !draw) return;
    const double budget = 1e6 / 60.0 / 100.0;
    const double parts = micros(update) + micros(draw);
    std::printf("  %s:\n", host);
    std::printf("    %-16s %9.2f  (%.0f%% of 1%% of a 60 Hz frame)\n", "update and draw", micros(frame),
                100.0 * micros(frame) / budget);
    std::printf("    %-16s %9.2f  (%.0f%%: outside pixel work: reactions, curves, the host's video frames)\n",
                "update only", micros(update), 100.0 * micros(update) / parts);
    std::printf("    %-16s %9.2f  (%.0f%%: figures, score text, bonus picture and its blink)\n", "draw only",
                micros(draw), 100.0 * micros(draw) / parts);
    if (frame->cacheBytes > 0)
        std::printf("    %-16s %9.1f MB in %.0f decoded frames\n", "video cache held", frame->cacheBytes / (1 << 20), frame->cacheFrames);
}

}  // namespace

void printSummary(const Results& results, const std::vector<Case>& blendCases, const std::vector<Case>& copyCases) {
    std::printf("\n==== Summary (kernel the module chooses here: %s)\n", blendKernelName(chosenBlendKernel()));
    std::printf("\nBlended draw, megapixels per second over the pixels drawn:");
    for (const Case& c : blendCases) printPixelCase(results, c, true);
    std::printf("\nOpaque copy:");
    for (const Case& c : copyCases) printPixelCase(results, c, false);

    std::printf("\nBlend table rebuild (all six tables, as setAlphaScale and setOpacity do), microseconds:\n");
    const Result* referenceBuild = find(results, "tables/reference");
    for (const char* method : {"reference", "sse2", "avx2", "setOpacity"}) {
        const Result* r = find(results, std::string("tables/") + method);
        if (!r) continue;
        std::printf("  %-28s %8.2f", method, micros(r));
        if (referenceBuild && r != referenceBuild) std::printf("  (%.1fx the reference)", micros(referenceBuild) / micros(r));
        std::printf("\n");
    }

    std::printf("\nOne show frame: four pawns updated and drawn with their scores, one blinking a bonus, on 640 x 480,\n"
                "microseconds (1%% of a 60 Hz frame is %.1f us):\n", 1e6 / 60.0 / 100.0);
    printShow(results, "show/", "reference host as it is: FFmpeg videos, decoded frames kept in its cache");
    printShow(results, "show-nocache/", "the same with the cache off: a video frame decoded whenever a pawn steps to it");
    const std::string best = blendKernelName(chosenBlendKernel());
    const Result* figure = find(results, "blend/150x200/" + best);
    const Result* opacity = find(results, "tables/setOpacity");
    if (figure && opacity) {
        const double pixels = 4 * micros(figure) + 2 * micros(opacity);
        std::printf("  the module's pixel work in a frame: four 150 x 200 figure blends (%s) %.2f + two blink table\n"
                    "  rebuilds %.2f = %.2f us, %.0f%% of 1%% of a 60 Hz frame\n",
                    best.c_str(), 4 * micros(figure), 2 * micros(opacity), pixels, 100.0 * pixels / (1e6 / 60.0 / 100.0));
    }
}

}  // namespace pawnbench

// Besides Google Benchmark's own flags: --quiet prints only the summary (and a dot per benchmark).
int main(int argc, char** argv) {
    bool quiet = false;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quiet") == 0) quiet = true;
        else argv[kept++] = argv[i];
    }
    argc = kept;
    std::vector<pawnbench::Case> blendCases, copyCases;
    pawnbench::registerBlendBenchmarks(blendCases, copyCases);
    pawnbench::registerTableBenchmarks();
    pawnbench::registerShowBenchmarks();
    pawnbench::registerPackBenchmarks();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    pawnbench::Collector collector(quiet);
    benchmark::RunSpecifiedBenchmarks(&collector);
    benchmark::Shutdown();
    if (quiet) std::fputc('\n', stderr);
    pawnbench::printSummary(collector.results, blendCases, copyCases);
    pawnbench::printPackSummary(collector.results);
    return 0;
}
