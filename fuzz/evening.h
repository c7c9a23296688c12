// A game's evening on real archives, for the tests that watch the module's own heap (the allocation-
// failure test and the soak): files written once into a temporary directory (a pawn archive with an
// uncompressed dual.avi and its sequence table, four buzzers, a score font phase, the producer's
// media), the reference host's archives, sounds, videos and producer over them, a screen, and the test
// twin of the plug-in (pawn_testhooks.kvx) with its exports.
#pragma once

#include <dlfcn.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/abi.h"
#include "tests/support/counted_message.h"
#include "core/allocator.h"
#include "host/core/bitmap_font.h"
#include "host/core/host_engine.h"
#include "host/core/plugin_loader.h"
#include "host/core/producer.h"
#include "host/core/raw_avi.h"
#include "host/core/resource_root.h"
#include "host/core/sound_factory.h"
#include "host/core/surface.h"

namespace evening {

namespace fs = std::filesystem;


// ---------------------------------------------------------------------------------------------------
// Files

inline void writeFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// Mono 16-bit PCM at 8 kHz, `frames` samples of a quiet saw.
inline void writeWav(const fs::path& path, int frames) {
    auto put = [](std::string& out, std::uint32_t value, int width) {
        for (int i = 0; i < width; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    const std::uint32_t dataBytes = static_cast<std::uint32_t>(frames) * 2;
    std::string out = "RIFF";
    put(out, 36 + dataBytes, 4);
    out += "WAVEfmt ";
    put(out, 16, 4);
    put(out, 1, 2);
    put(out, 1, 2);
    put(out, 8000, 4);
    put(out, 16000, 4);
    put(out, 2, 2);
    put(out, 16, 2);
    out += "data";
    put(out, dataBytes, 4);
    for (int i = 0; i < frames; ++i) put(out, static_cast<std::uint32_t>((i % 64) * 64), 2);
    writeFile(path, out);
}

struct Run {
    std::string name;
    int count;
};

// A figure archive: dual.avi of 8 x 8 opaque frames (one grey level per frame) and sequence.ini whose
// section "color" lays the runs out one after another as "count@first".
inline void writeFigure(const fs::path& directory, const std::vector<Run>& runs) {
    int frames = 0;
    std::string ini = "[color]\n";
    for (const Run& run : runs) {
        ini += run.name + "=" + std::to_string(run.count) + "@" + std::to_string(frames) + "\n";
        frames += run.count;
    }
    std::vector<std::vector<std::uint8_t>> pictures;
    for (int f = 0; f < frames; ++f) pictures.emplace_back(8 * 8 * 4, static_cast<std::uint8_t>(f * 3));
    for (auto& picture : pictures)
        for (std::size_t p = 3; p < picture.size(); p += 4) picture[p] = 255;
    fs::create_directories(directory);
    hostengine::writeRawAvi((directory / "dual.avi").string(), 8, 8, 12, pictures);
    writeFile(directory / "sequence.ini", ini);
}

inline std::vector<Run> pawnRuns() {
    std::vector<Run> runs;
    for (int i = 1; i <= 7; ++i) runs.push_back({"wait0" + std::to_string(i), 4});
    for (int i = 1; i <= 3; ++i) runs.push_back({"buzz0" + std::to_string(i), 6});
    for (int i = 1; i <= 3; ++i) runs.push_back({"hppy0" + std::to_string(i), 5});
    for (int i = 1; i <= 3; ++i) runs.push_back({"uhppy0" + std::to_string(i), 5});
    runs.push_back({"l_left", 4});
    runs.push_back({"l_rght", 4});
    runs.push_back({"freeze", 2});
    return runs;
}

inline std::vector<Run> penguinRuns() {
    std::vector<Run> runs;
    for (int i = 1; i <= 3; ++i) runs.push_back({"wait0" + std::to_string(i), 3});
    for (int i = 1; i <= 3; ++i) runs.push_back({"buzz0" + std::to_string(i), 4});
    runs.push_back({"freeze", 2});
    return runs;
}

// The evening's files, in a directory removed with the object.
class Files {
public:
    Files() {
        std::string pattern = (fs::temp_directory_path() / "pawn-evening-XXXXXX").string();
        if (mkdtemp(pattern.data())) path = pattern;
        writeFigure(path / "root/pawn", pawnRuns());
        for (int i = 1; i <= 4; ++i) writeWav(path / ("root/buzz" + std::to_string(i) + ".wav"), i * 800);
        writeFile(path / "root/scorefontphase", "2\n");
        writeWav(path / "media/scoresnd.wav", 4000);
        writeFigure(path / "media/pingouin", penguinRuns());
    }
    ~Files() {
        std::error_code ignored;
        if (!path.empty()) fs::remove_all(path, ignored);
    }
    Files(const Files&) = delete;
    Files& operator=(const Files&) = delete;

    fs::path path;
};

// ---------------------------------------------------------------------------------------------------
// The game's side

struct Stagehands {
    explicit Stagehands(const Files& files, std::int32_t screenWidth = 400) : surface(screenWidth, 480) {
        hostRoot = archives.makeRootDir((files.path / "root").string());
        mediaRoot = archives.makeRootDir((files.path / "media").string());
        producer = std::make_unique<hostengine::Producer>(host, mediaRoot, font.font());
        canvas = hostengine::makeCanvas(surface);
        host.setTime(1000);
    }
    ~Stagehands() {
        producer.reset();
        host.drainEvents();
    }
    Stagehands(const Stagehands&) = delete;
    Stagehands& operator=(const Stagehands&) = delete;

    hostengine::HostEngine host;
    hostengine::SoundFactory sounds{host};
    std::unique_ptr<hostengine::HostVideoFactory> videos = hostengine::registerRawAviVideoFactory(host);
    hostengine::HostArchives archives{host};
    hostengine::BitmapFont font{2, 1};
    ResourceDir* hostRoot = nullptr;
    ResourceDir* mediaRoot = nullptr;
    std::unique_ptr<hostengine::Producer> producer;
    hostengine::Surface surface;
    Canvas canvas;
    int sent = 0;     // game messages handed to pawns
    int deleted = 0;  // and deleted by them
};

// ---------------------------------------------------------------------------------------------------
// The test twin of the plug-in

struct Twin {
    hostengine::PluginLoader loader;
    void (*fail)(std::int64_t, std::int32_t) = nullptr;
    void (*stats)(AllocationStats*) = nullptr;
    ResourceDir* (*makeRoot)(IArchive*, InterfaceTable*) = nullptr;
    void (*freeRoot)(ResourceDir*) = nullptr;

    // Opens pawn_testhooks.kvx as a game opens pawn.kvx and finds its exports; false if any is missing.
    bool open() {
        if (!loader.open(PAWN_TESTHOOKS_PLUGIN_PATH)) return false;
        void* library = dlopen(PAWN_TESTHOOKS_PLUGIN_PATH, RTLD_NOW | RTLD_NOLOAD);
        if (!library) return false;
        fail = reinterpret_cast<void (*)(std::int64_t, std::int32_t)>(dlsym(library, "pawnFailAllocation"));
        stats = reinterpret_cast<void (*)(AllocationStats*)>(dlsym(library, "pawnAllocationStats"));
        makeRoot = reinterpret_cast<ResourceDir* (*)(IArchive*, InterfaceTable*)>(dlsym(library, "pawnMakeRoot"));
        freeRoot = reinterpret_cast<void (*)(ResourceDir*)>(dlsym(library, "pawnFreeRoot"));
        dlclose(library);  // the loader keeps it open
        return fail && stats && makeRoot && freeRoot;
    }
    AllocationStats now() const {
        AllocationStats s{};
        stats(&s);
        return s;
    }
    // A root of the twin's own over the host root's archive.
    ResourceDir* rootOver(ResourceDir* hostRoot) const { return makeRoot(hostRoot->archive, hostRoot->archiveHandle); }
};

}  // namespace evening
