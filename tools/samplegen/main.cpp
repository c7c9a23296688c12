// samplegen OUTPUT_DIR [FRAMES_DIR]: draws and writes the bundled sample content (samples.h lists it),
// and with FRAMES_DIR one figure's frames as PNG files, for the archive tools' tutorial.
#include <cstdio>
#include <exception>

#include "tools/samplegen/samples.h"

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: samplegen OUTPUT_DIR [FRAMES_DIR]\n");
        return 2;
    }
    try {
        samplegen::writeSamples(argv[1], argc == 3 ? argv[2] : "");
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "samplegen: %s\n", failure.what());
        return 1;
    }
    return 0;
}
