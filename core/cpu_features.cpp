#include "core/cpu_features.h"

namespace {

CpuFeatures readFeatures() {
    CpuFeatures features;
#if defined(__i386__) || defined(__x86_64__)
    // The compiler's own cpuid reader also checks through xgetbv that the system saves the wider
    // registers, which cpuid alone does not say.
    __builtin_cpu_init();
    features.sse2 = __builtin_cpu_supports("sse2");
    features.avx2 = __builtin_cpu_supports("avx2");
    features.avx512bw = __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512f");
#endif
    return features;
}

}  // namespace

const CpuFeatures& cpuFeatures() {
    static const CpuFeatures features = readFeatures();
    return features;
}
