// samplegen OUTPUT_DIR: draws and writes the bundled sample content (samples.h lists it).
#include <cstdio>
#include <exception>

#include "tools/samplegen/samples.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: samplegen OUTPUT_DIR\n");
        return 2;
    }
    try {
        samplegen::writeSamples(argv[1]);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "samplegen: %s\n", failure.what());
        return 1;
    }
    return 0;
}
