// What this processor can run, asked once for the whole program.
#pragma once

#include <cstdint>

// The widest x86-64 micro-architecture level the processor supports: 4 for
// x86-64-v4 (AVX-512), 3 for x86-64-v3 (AVX2 and FMA), 0 otherwise and on
// other architectures.
int32_t fft_cpu_x86_level();
