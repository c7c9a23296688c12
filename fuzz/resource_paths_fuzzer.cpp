// Resource lookup: a small tree of archives built in memory from the input (names with slashes, stars
// and letter cases, containers whose factory refuses, is missing or hands out no "IArchive",
// archives listed twice or inside themselves, entries without records or streams), searched with
// paths for find and with names, types and previous results for findEntry, and read through subDir and
// read.
//
// Run: build/fuzz/fuzz/resource_paths_fuzzer fuzz/corpus/resource_paths -max_total_time=600
#include "fuzz/fuzz_host.h"

using namespace fuzzhost;

namespace {

const char* const kNames[] = {"a", "A", "b", "buzz1.wav", "sequence.ini", "color", "*", "", "dual.avi", "scorefontphase"};
const char* const kTypes[] = {"text", "archive/memory", "video", "archive/nothing", "none"};

std::string nameFrom(FuzzInput& in) {
    if (in.below(4) != 0) return kNames[in.below(sizeof kNames / sizeof *kNames)];
    return in.text(8);
}

// A path of up to six components from the names above, or raw bytes.
std::string pathFrom(FuzzInput& in) {
    if (in.below(5) == 0) return in.text(24);
    std::string path;
    const std::uint32_t components = in.below(7);
    for (std::uint32_t i = 0; i < components; ++i) {
        if (i > 0) path += '/';
        path += nameFrom(in);
    }
    if (in.below(8) == 0) path += '/';
    return path;
}

// Fills `archive` with entries, recursing into containers while the input lasts. The first archive
// made is offered again now and then, so that listings may contain themselves.
void fill(FuzzInput& in, MemArchive& archive, MemArchive& first, int depth, bool& looped) {
    const std::uint32_t entries = in.below(6);
    for (std::uint32_t i = 0; i < entries && !in.empty(); ++i) {
        const std::string name = nameFrom(in);
        if (depth < 4 && in.below(3) == 0) {
            const auto openAs = static_cast<OpenAs>(in.below(6) < 3 ? 0 : in.below(4));
            // One loop at most: two would let a search grow exponentially with the depth bound.
            const bool loop = !looped && depth > 0 && in.below(48) == 0;
            looped = looped || loop;
            MemArchive* inner = archive.addArchive(name, openAs, loop ? &first : nullptr);
            if (!loop) fill(in, *inner, first, depth + 1, looped);
        } else {
            const std::string bytes = in.text(20);
            MemArchive::Item& item = archive.add(name, bytes, kTypes[in.below(3) == 0 ? 2 : 0]);
            item.mode = readModeFrom(in);
            item.noInfo = in.below(12) == 0;
            item.openFails = in.below(12) == 0;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return runInput(data, size, [](FuzzInput& in) {
        MemArchiveFactory archives;
        MemArchive rootArchive;
        bool looped = false;
        fill(in, rootArchive, rootArchive, 0, looped);
        MemRoot root(rootArchive);

        std::vector<ResourceEntry*> found;
        auto remember = [&found](ResourceEntry* entry) {
            if (entry && found.size() < 32) found.push_back(entry);
        };
        for (int step = 0; step < 32 && !in.empty(); ++step) {
            switch (in.below(5)) {
                case 0: case 1:
                    remember(root.find(pathFrom(in).c_str()));
                    break;
                case 2: {
                    ResourceEntry* after = found.empty() || in.flag() ? nullptr : found[in.below(static_cast<std::uint32_t>(found.size()))];
                    const std::string name = nameFrom(in);
                    const std::uint32_t type = in.below(7);
                    remember(root.findEntry(after, in.below(6) == 0 ? nullptr : name.c_str(), type < 5 ? kTypes[type] : nullptr));
                    break;
                }
                case 3:
                    if (!found.empty()) {
                        ResourceDir* dir = root.subDir(found[in.below(static_cast<std::uint32_t>(found.size()))]);
                        if (dir) remember(dir->find(pathFrom(in).c_str()));
                    }
                    break;
                default:
                    if (!found.empty()) {
                        char buffer[32];
                        const std::int32_t wanted = in.range(-2, 31);
                        (void)root.read(found[in.below(static_cast<std::uint32_t>(found.size()))], buffer, wanted);
                    }
                    break;
            }
        }
    });
}
