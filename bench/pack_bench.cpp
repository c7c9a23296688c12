// pawnstage pack of the bundled robot (252 frames of 150 x 200) from the PNG frames an artist would
// hand in: the whole pack (read, judge, encode, publish), and its two halves, reading the PNG files
// and encoding the archive from frames in memory.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "bench/bench.h"
#include "tools/archive/archive_writer.h"
#include "tools/archive/frame_folder.h"
#include "tools/pawnstage/frame_sources.h"
#include "tools/pawnstage/pack_archive.h"

namespace pawnbench {

namespace {

namespace fs = std::filesystem;

const fs::path kRobot = fs::path(PAWN_BENCH_SAMPLES) / "pawns" / "robot";

// A scratch folder for the benchmarks' files, removed when the program ends.
const fs::path& scratch() {
    static const struct Scratch {
        fs::path path = fs::temp_directory_path() / ("pawn_pack_bench_" + std::to_string(::getpid()));
        Scratch() { fs::create_directories(path); }
        ~Scratch() {
            std::error_code ignored;
            fs::remove_all(path, ignored);
        }
    } folder;
    return folder.path;
}

// The robot's frames as PNG files, unpacked once.
const fs::path& robotFrames() {
    static const fs::path folder = [] {
        const fs::path out = scratch() / "frames";
        pawnstage::Findings findings;
        const pawnstage::PawnFrames frames = pawnstage::readArchiveFrames(kRobot, findings);
        for (const auto& sequence : frames.sequences)
            for (std::size_t i = 0; i < sequence.frames.size(); ++i)
                pawnarchive::writeFrameFile(out, sequence.name, static_cast<int>(i), sequence.frames[i].width, sequence.frames[i].height,
                                            sequence.frames[i].bgra);
        return out;
    }();
    return folder;
}

void packWhole(benchmark::State& state) {
    const pawnstage::Material material{pawnstage::MaterialKind::FrameFolder, robotFrames(), {}};
    for (auto _ : state) {
        pawnstage::Findings findings;
        pawnstage::PawnFrames frames;
        if (!pawnstage::packArchive(material, false, scratch() / "robot", findings, frames, true)) state.SkipWithError("the robot's frames do not pack");
    }
    state.SetItemsProcessed(state.iterations() * 252);
}

void packRead(benchmark::State& state) {
    for (auto _ : state) {
        pawnstage::Findings findings;
        benchmark::DoNotOptimize(pawnstage::readFrameFolder(robotFrames(), findings));
    }
    state.SetItemsProcessed(state.iterations() * 252);
}

void packEncode(benchmark::State& state) {
    pawnstage::Findings findings;
    const pawnstage::PawnFrames frames = pawnstage::readFrameFolder(robotFrames(), findings);
    for (auto _ : state) {
        pawnarchive::ArchiveWriter archive(scratch() / "encoded", 150, 200);
        for (const auto& sequence : frames.sequences) {
            archive.beginSequence(sequence.name);
            for (const auto& picture : sequence.frames) archive.addFrame(picture.bgra);
        }
        archive.commit();
    }
    state.SetItemsProcessed(state.iterations() * 252);
}

}  // namespace

bool registerPackBenchmarks() {
    if (!fs::is_directory(kRobot)) {
        std::printf("pack benchmarks left out: no robot in %s (build the samples target)\n", kRobot.c_str());
        return false;
    }
    benchmark::RegisterBenchmark("pack/robot", packWhole)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("pack/robot/read", packRead)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("pack/robot/encode", packEncode)->Unit(benchmark::kMillisecond);
    return true;
}

void printPackSummary(const Results& results) {
    auto millis = [&](const char* name) {
        auto found = results.find(name);
        return found == results.end() ? -1.0 : found->second.secondsPerIteration * 1e3;
    };
    if (millis("pack/robot") < 0) return;
    std::printf("\npawnstage pack of the bundled robot (252 PNG frames of 150 x 200), CPU milliseconds:\n");
    std::printf("  %-44s %8.1f\n", "whole pack (read, judge, encode, publish)", millis("pack/robot"));
    std::printf("  %-44s %8.1f\n", "reading the PNG files", millis("pack/robot/read"));
    std::printf("  %-44s %8.1f\n", "encoding and writing dual.avi, sequence.ini", millis("pack/robot/encode"));
}

}  // namespace pawnbench
