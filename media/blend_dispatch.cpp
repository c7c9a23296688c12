#include <atomic>

#include "core/cpu_features.h"
#include "media/blend_fast.h"

namespace {

// -1: no override; otherwise the BlendKernel a test or benchmark forced.
std::atomic<std::int32_t> forcedKernel{-1};

BlendKernel widestKernel() {
    if (blendKernelAvailable(BlendKernel::Avx512)) return BlendKernel::Avx512;
    if (blendKernelAvailable(BlendKernel::Avx2)) return BlendKernel::Avx2;
    if (blendKernelAvailable(BlendKernel::Sse2)) return BlendKernel::Sse2;
    return BlendKernel::Reference;
}

// Null for the reference, which draws through the tables and the map.
const KernelFunctions* functionsOf(BlendKernel kernel) {
    switch (kernel) {
#if PAWN_X86_KERNELS
        case BlendKernel::Sse2: return &kSse2Functions;
        case BlendKernel::Avx2: return &kAvx2Functions;
        case BlendKernel::Avx512: return &kAvx512Functions;
#endif
        default: return nullptr;
    }
}

}  // namespace

const char* blendKernelName(BlendKernel kernel) {
    switch (kernel) {
        case BlendKernel::Reference: return "reference";
        case BlendKernel::Sse2: return "sse2";
        case BlendKernel::Avx2: return "avx2";
        case BlendKernel::Avx512: return "avx512bw";
    }
    return "unknown";
}

bool blendKernelAvailable(BlendKernel kernel) {
    const CpuFeatures& cpu = cpuFeatures();
    switch (kernel) {
        case BlendKernel::Reference: return true;
        case BlendKernel::Sse2: return PAWN_X86_KERNELS && cpu.sse2;
        case BlendKernel::Avx2: return PAWN_X86_KERNELS && cpu.avx2;
        case BlendKernel::Avx512: return PAWN_X86_KERNELS && cpu.avx512bw && cpu.avx2;
    }
    return false;
}

BlendKernel chosenBlendKernel() {
    const std::int32_t forced = forcedKernel.load(std::memory_order_relaxed);
    if (forced >= 0) return static_cast<BlendKernel>(forced);
    static const BlendKernel widest = widestKernel();
    return widest;
}

bool overrideBlendKernel(BlendKernel kernel) {
    if (!blendKernelAvailable(kernel)) return false;
    forcedKernel.store(static_cast<std::int32_t>(kernel), std::memory_order_relaxed);
    return true;
}

void clearBlendKernelOverride() { forcedKernel.store(-1, std::memory_order_relaxed); }

void blendDraw(const BlendTableSet& tables, double alphaScale, const std::int32_t* coordMap, double zoom,
               const PixelRows& colour, const PixelRows& alpha, const PixelRows& destination, const Rect& drawn,
               std::int32_t skipX, std::int32_t skipY) {
    // The kernels compute what the unit-scale tables hold, through the identity map; any other
    // state keeps the look-ups that define it.
    const bool unitState = alphaScale == 1.0 && zoom == 1.0;
    const KernelFunctions* kernel = unitState ? functionsOf(chosenBlendKernel()) : nullptr;
    if (kernel) kernel->blend(colour, alpha, destination, drawn, skipX, skipY);
    else blendReference(tables, coordMap, colour, alpha, destination, drawn, skipX, skipY);
}

void copyDraw(const PixelRows& colour, const PixelRows& destination, const Rect& drawn, std::int32_t skipX,
              std::int32_t skipY) {
    const KernelFunctions* kernel = functionsOf(chosenBlendKernel());
    if (kernel) kernel->copy(colour, destination, drawn, skipX, skipY);
    else copyOpaque(colour, destination, drawn, skipX, skipY);
}

void buildBlendTablesFast(const BlendTableSet& tables, double scale) {
    const KernelFunctions* kernel = functionsOf(chosenBlendKernel());
    if (kernel) kernel->buildTables(tables, scale);
    else buildBlendTables(tables, scale);
}
