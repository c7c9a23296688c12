// What the processor offers the pixel kernels, read once through cpuid. Only instruction sets whose
// register state the operating system also saves count as present, so a kernel chosen from here can
// always run.
#pragma once

struct CpuFeatures {
    bool sse2 = false;      // every processor the 32-bit Windows target runs on
    bool avx2 = false;      // 256-bit integer vectors
    bool avx512bw = false;  // 512-bit vectors of bytes and 16-bit words, with mask registers
};

// The features of this processor; the first call reads them, later calls return the same answer.
const CpuFeatures& cpuFeatures();
